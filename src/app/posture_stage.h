// The posture stage: read the stored policy, evaluate it, write the verdict.
#pragma once

#include <string>

#include "common/held_folder.h"
#include "inventory/security_product.h"

namespace velmora {

// haveInventoryDocument: the inventory stage made a document (some kind
// recorded a product); without one the policy is not evaluated. logs is the
// shared folder the log preparation holds: the policy is read from it and
// the verdict written to it.
void runPostureStage(const OpenFolder& logs, bool haveInventoryDocument, const SecurityInventory& inventory);

// Writes folder/name as the verdict file, its third line the machine's model
// name as the registry gives it, read once the file is open. Returns that
// line: "-" when the name could not be read or the file not opened.
std::string saveVerdict(const OpenFolder& folder, const std::string& name, bool isVpnBlock,
                        const std::string& message);

}  // namespace velmora
