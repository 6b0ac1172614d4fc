#include "app/inventory_stage.h"

#include <exception>

#include "app/inventory_document.h"
#include "inventory/inventory_slots.h"
#include "inventory/security_center.h"
#include "inventory/security_query.h"
#include "log/logger.h"
#include "system/system_identity.h"

namespace velmora {

namespace {

// Both outputs of one kind's reading. Running out of memory here ends the
// queries as it does inside the query, with the same line.
bool recordKind(const KindReading& reading, GatheredInventory& gathered) {
    try {
        addKindToDocument(gathered.document, reading);
        fillInventorySlots(reading, gathered.inventory);
        return true;
    } catch (const std::exception& e) {
        avLogger->error("querySecurityProducts stopped: {}", e.what());
        return false;
    }
}

}  // namespace

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
        const KindReading reading = queryProductsOfKind(kind);
        const bool recorded = recordKind(reading, gathered);
        if (reading.status < 0 || !recorded) stage.exitStatus = -1;
        if (!reading.answered || !recorded) break;
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
