#include "app/inventory_stage.h"

#include <exception>

#include "app/inventory_document.h"
#include "common/status_codes.h"
#include "inventory/inventory_slots.h"
#include "inventory/security_center.h"
#include "inventory/security_query.h"
#include "log/logger.h"
#include "system/system_identity.h"

namespace velmora {

namespace {

// Both outputs of one kind's reading. Running out of memory here ends the
// queries as it does inside the reading, with the same line.
bool recordKind(const KindReading& reading, nlohmann::json& document, SecurityInventory& inventory) {
    try {
        addKindToDocument(document, reading);
        fillInventorySlots(reading, inventory);
        return true;
    } catch (const std::exception& e) {
        avLogger->error("querySecurityProducts stopped: {}", e.what());
        return false;
    }
}

}  // namespace

std::int32_t querySecurityProducts(std::uint32_t provider, nlohmann::json& document, SecurityInventory& inventory,
                                   bool* answered) {
    const KindReading reading = queryProductsOfKind(provider);
    const bool recorded = recordKind(reading, document, inventory);
    if (answered != nullptr) *answered = reading.answered && recorded;
    return recorded ? reading.status : kHrUnexpected;
}

InventoryStageResult runInventoryStage(const std::vector<ProviderKind>& kinds, const std::u16string& outputPath) {
    const std::int32_t started = scStart();
    if (started < 0) {
        avLogger->info("Error in CoInitializeEx,ERROR: [{}]", started);
        return {started, std::nullopt};
    }

    InventoryStageResult stage;
    GatheredInventory& gathered = stage.gathered.emplace();
    for (ProviderKind kind : kinds) {
        // The query logs its own failure; later kinds are not asked, unless
        // the machine has no Security Center (each kind has its stand-in).
        bool answered = false;
        if (querySecurityProducts(kind, gathered.document, gathered.inventory, &answered) < 0) stage.exitStatus = -1;
        if (!answered) break;
    }
    gathered.inventory.os = getSystemIdentity().winVersion;

    if (gathered.document.is_object()) {
        publishInventoryDocument(gathered.document, outputPath, winVersionText(gathered.inventory.os));
    } else {
        avLogger->info(std::string("output js is not valid!"));
    }

    scStop();
    reportInventory(gathered.inventory);
    return stage;
}

}  // namespace velmora
