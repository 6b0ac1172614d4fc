#include "app/inventory_stage.h"

InventoryStageResult runInventoryStage(const std::vector<ProviderKind>& kinds, const std::u16string& outputPath) {
    (void)kinds;
    (void)outputPath;
    return InventoryStageResult{};
}
