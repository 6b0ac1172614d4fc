// The posture stage: read the stored policy, evaluate it, write the verdict.
#pragma once

#include <string>

#include "inventory/security_product.h"

namespace velmora {

// haveInventoryDocument: the inventory stage made a document (some kind
// recorded a product); without one the policy is not evaluated.
void runPostureStage(bool haveInventoryDocument, const SecurityInventory& inventory);

// Writes the verdict file at path, its third line the machine's model name as
// the registry gives it, read once the file is open. Returns that line: "-"
// when the name could not be read or the file not opened.
std::string saveVerdict(const std::string& path, bool isVpnBlock, const std::string& message);

}  // namespace velmora
