// Registry path lists through the probe's prefix matching and the registry
// stand-in (any bytes: invalid UTF-8, "..", "/", NUL, thousands of items).
#include "fuzz_common.h"
#include "posture/registry_rule_probe.h"

using namespace velmora;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto programData = fuzzProgramData();
    static const bool seeded = [&] {
        std::filesystem::create_directories(programData / "Registry" / "HKEY_LOCAL_MACHINE" / "SOFTWARE" / "Contoso");
        std::filesystem::create_directories(programData / "Registry" / "HKEY_CURRENT_USER" / "Software");
        return true;
    }();
    (void)seeded;
    if (size == 0) return 0;
    // The first byte picks the operator, the rest is the registry value.
    const auto op = static_cast<PostureOperator>(data[0] % 10);
    const std::string value(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string message = "before";
    probeRegistryList(value, op, message);
    return 0;
}
