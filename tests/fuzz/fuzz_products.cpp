// products.json bytes through its reader and through the whole Security
// Center query of the Linux build (stand-in, enumeration, document, slots).
#include "fuzz_common.h"
#include "app/inventory_document.h"
#include "inventory/inventory_slots.h"
#include "standin/products_file.h"

#include <fstream>

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto programData = fuzzProgramData();
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    ServedProducts served;
    parseServedProducts(bytes, served);

    std::filesystem::create_directories(programData / "SecurityCenter");
    std::ofstream(programData / "SecurityCenter" / "products.json", std::ios::binary | std::ios::trunc) << bytes;
    nlohmann::json document;
    SecurityInventory inventory;
    for (std::uint32_t kind : {4u, 8u, 1u, 4u}) {
        const KindReading reading = readSecurityCenterProducts(kind);
        addKindToDocument(document, reading);
        fillInventorySlots(reading, inventory);
        if (reading.status < 0) break;
    }
    if (inventory.productCount > kInventorySlots) __builtin_trap();
    if (!document.is_null()) (void)document.dump(5, ' ', false, nlohmann::json::error_handler_t::strict);
    return 0;
}
