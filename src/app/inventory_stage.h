// The inventory stage: the Security Center queries, the inventory document
// and its output file, the inventory report.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "inventory/security_product.h"

struct InventoryStageResult {
    bool endedEarly = false;     // the Security Center could not be opened: the run ends
    std::int32_t exitStatus = 0; // the run's exit status when endedEarly
    std::int32_t result = 0;     // 0, or -1 after a failed query
    nlohmann::json document;     // null when no kind recorded a product
    SecurityInventory inventory;
};

InventoryStageResult runInventoryStage(const std::vector<ProviderKind>& kinds, const std::u16string& outputPath);
