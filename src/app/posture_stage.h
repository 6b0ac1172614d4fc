// The posture stage: read the stored policy, evaluate it, write the verdict.
#pragma once

#include <nlohmann/json.hpp>

#include "inventory/security_product.h"

void runPostureStage(const nlohmann::json& document, const SecurityInventory& inventory);
