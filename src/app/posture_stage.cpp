#include "app/posture_stage.h"

void runPostureStage(const nlohmann::json& document, const SecurityInventory& inventory) {
    (void)document;
    (void)inventory;
}
