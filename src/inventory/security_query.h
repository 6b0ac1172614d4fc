// Reading the Security Center's products of one kind into the inventory
// document and the inventory, and writing the inventory to the log.
#pragma once

#include <cstdint>

#include <nlohmann/json.hpp>

#include "inventory/security_product.h"

namespace velmora {

// Queries the products of one provider kind (1 firewall, 4 antivirus,
// 8 antispyware) and writes each as document[key][index]. Antivirus products
// also fill the inventory's slots (as many as there are) and productCount.
// Returns the HRESULT of the last Security Center call, or the first failing
// one; E_INVALIDARG for any other provider value. COM must be started.
std::int32_t querySecurityProducts(std::uint32_t provider, nlohmann::json& document, SecurityInventory& inventory);

// What asking for one kind came to.
struct KindAnswer {
    std::int32_t status;  // as querySecurityProducts returns it
    bool answered;        // false: the queries end here
};

// querySecurityProducts, except on a machine without a Security Center
// (creating the product list fails with class-not-registered): there the
// kind's own stand-in, when it can be read, is recorded as its one product:
// Microsoft Defender's status for antivirus and antispyware, Windows
// Firewall's for the firewall. The status still tells of the failed Security
// Center, but the kind counts as answered, stand-in or not, so that the
// order of the kinds makes no difference there.
KindAnswer queryProductsOfKind(std::uint32_t provider, nlohmann::json& document, SecurityInventory& inventory);

// Logs the operating system, productCount and each counted slot.
void reportInventory(SecurityInventory inventory);

// The document key of a provider kind ("firewall", "av", "antispyware"),
// nullptr for any other value.
const char* providerDocumentKey(std::uint32_t provider);

}  // namespace velmora
