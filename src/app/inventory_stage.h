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

// Reads the products of one provider kind (queryProductsOfKind) and hands the
// reading to the inventory document (addKindToDocument) and to the slots
// (fillInventorySlots). Returns the kind's HRESULT, or E_UNEXPECTED when
// recording the reading ran out of memory; answered (when given) is false
// when later kinds are not to be asked. COM must be started.
// answered, beyond the HRESULT: without a Security Center every kind fails, yet each stand-in is still asked.
std::int32_t querySecurityProducts(std::uint32_t provider, nlohmann::json& document, SecurityInventory& inventory,
                                   bool* answered = nullptr);

InventoryStageResult runInventoryStage(const std::vector<ProviderKind>& kinds, const std::u16string& outputPath);

}  // namespace velmora
