// The inventory stage: the Security Center queries, the inventory document
// and its output file, the inventory report.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "inventory/security_product.h"

namespace velmora {

// What the queries found, for the posture stage.
struct GatheredInventory {
    nlohmann::json document;  // null when no kind recorded a product
    SecurityInventory inventory;
};

struct InventoryStageResult {
    // The run's exit status as the stage leaves it: 0, -1 after a failed
    // query, or the failure status of opening the Security Center.
    std::int32_t exitStatus = 0;
    // Nothing when the Security Center could not be opened: the run ends.
    std::optional<GatheredInventory> gathered;
};

InventoryStageResult runInventoryStage(const std::vector<ProviderKind>& kinds, const std::u16string& outputPath);

}  // namespace velmora
