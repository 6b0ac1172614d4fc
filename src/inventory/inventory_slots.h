// The inventory's slots: which products fill them, from the kinds' readings,
// and their report in the log.
#pragma once

#include <cstdint>

#include "inventory/security_product.h"
#include "inventory/security_query.h"

namespace velmora {

// Antivirus products alone make up the inventory, in the Security Center's
// order, as many as there are slots. Logs that product `index` of a kind is
// left out, when it is an antivirus product beyond the slots; the query calls
// it as it comes to each product, so the line stands where the product's
// reading begins.
void noteProductOutsideInventory(std::uint32_t provider, std::uint32_t index);

// Writes what the reading holds into the slots of its products: a slot keeps
// what a product's reading lacks. productCount follows the last product that
// has a name.
void fillInventorySlots(const KindReading& reading, SecurityInventory& inventory);

// Logs the operating system, productCount and each counted slot.
void reportInventory(SecurityInventory inventory);

}  // namespace velmora
