// Reading the Security Center's products of one kind. The reading is all a
// query gives; the inventory slots and the inventory document are each filled
// from it, by their own owners (querySecurityProducts hands it to both).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// What the Security Center's product state means (0 on, 1 off, 2 snoozed,
// anything else expired).
enum class ProductState { On, Off, Snoozed, Expired };

// One product as the Security Center's getters gave it, or a stand-in in
// its place. A member is empty when its getter failed, returned a null
// string, or is not asked of the kind (no signatures for a firewall, no
// timestamp but for antivirus products).
struct ProductReading {
    std::optional<std::string> name;
    std::optional<ProductState> state;
    std::optional<bool> signaturesUpToDate;  // the Security Center reports 1 for up to date
    std::optional<std::string> reportingExe;  // the remediation path, as reported
    std::optional<std::string> version;       // of what reportingExe names; read with it
    std::optional<std::string> lastUpdate;
};

// What asking for one kind came to.
struct KindReading {
    std::uint32_t provider = 0;
    // By the Security Center's index. A read that stopped is the last one,
    // holding what its getters gave before the one that failed.
    std::vector<ProductReading> products;
    // The HRESULT of the last Security Center call, or of the first failing
    // one; E_INVALIDARG for a provider value that is no kind.
    std::int32_t status = 0;
    bool answered = false;  // false: the queries end here
};

// Reads the products of one provider kind (1 firewall, 4 antivirus,
// 8 antispyware) in the Security Center's order of getters, logging each
// failing call. COM must be started.
KindReading readSecurityCenterProducts(std::uint32_t provider);

// readSecurityCenterProducts, except on a machine without a Security Center
// (creating the product list fails with class-not-registered): there the
// kind's own stand-in, when it can be read, is read as its one product:
// Microsoft Defender's status for antivirus and antispyware, Windows
// Firewall's for the firewall. The status still tells of the failed Security
// Center, but the kind counts as answered, stand-in or not, so that the
// order of the kinds makes no difference there.
KindReading queryProductsOfKind(std::uint32_t provider);

}  // namespace velmora
