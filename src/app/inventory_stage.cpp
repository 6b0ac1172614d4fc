#include "app/inventory_stage.h"

#include "app/inventory_document.h"
#include "inventory/security_center.h"
#include "inventory/security_query.h"
#include "log/logger.h"
#include "system/system_identity.h"

InventoryStageResult runInventoryStage(const std::vector<ProviderKind>& kinds, const std::u16string& outputPath) {
    InventoryStageResult stage;
    const std::int32_t started = scStart();
    if (started < 0) {
        avLogger->info("Error in CoInitializeEx,ERROR: [{}]", started);
        stage.endedEarly = true;
        stage.exitStatus = started;
        return stage;
    }

    for (ProviderKind kind : kinds) {
        // The query logs its own failure; later kinds are not asked, unless
        // Defender's status answered for the missing Security Center.
        const KindAnswer answer = queryProductsOfKind(kind, stage.document, stage.inventory);
        if (answer.status < 0) stage.result = -1;
        if (!answer.answered) break;
    }
    stage.inventory.os = getSystemIdentity().winVersion;

    if (stage.document.is_object()) {
        publishInventoryDocument(stage.document, outputPath, winVersionText(stage.inventory.os));
    } else {
        avLogger->info(std::string("output js is not valid!"));
    }

    scStop();
    reportInventory(stage.inventory);
    return stage;
}
