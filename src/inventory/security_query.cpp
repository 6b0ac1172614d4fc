#include "inventory/security_query.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <string>

#include "common/environment.h"
#include "common/status_codes.h"
#include "common/text.h"
#include "inventory/defender_status.h"
#include "inventory/file_info.h"
#include "inventory/firewall_status.h"
#include "inventory/security_center.h"
#include "log/logger.h"

namespace velmora {

using nlohmann::json;

namespace {

struct ListRelease {
    void operator()(ScProductList* list) const { scReleaseList(list); }
};
struct ProductRelease {
    void operator()(ScProduct* product) const { scReleaseProduct(product); }
};
using ListHandle = std::unique_ptr<ScProductList, ListRelease>;
using ProductHandle = std::unique_ptr<ScProduct, ProductRelease>;

// Where one product goes: its object in the document and, for antivirus
// products that fit, its inventory slot (nullptr otherwise).
struct ProductTarget {
    std::uint32_t provider;
    const char* key;
    std::uint32_t index;
    SecurityProductInfo* slot;
};

// Logs a failing Security Center call; the code prints as signed hex.
bool failed(std::int32_t hr, const char* call) {
    if (hr >= 0) return false;
    avLogger->error("{} returned error = {:08x}", call, hr);
    return true;
}

// document[key][index], creating the object, the array, the null elements
// before index and the product object as needed.
json& productObject(json& document, const char* key, std::size_t index) {
    if (!document.is_object()) document = json::object();
    json& products = document[key];
    if (!products.is_array()) products = json::array();
    while (products.size() <= index) products.push_back(nullptr);
    json& product = products[index];
    if (!product.is_object()) product = json::object();
    return product;
}

void writeMember(json& document, const ProductTarget& target, const char* member, const std::string& value) {
    productObject(document, target.key, target.index)[member] = value;
}

struct StateMapping {
    const char* text;
    std::int32_t value;
};

// The Security Center's product state (0 on, 1 off, 2 snoozed, 3 expired).
StateMapping mapProductState(std::int32_t state) {
    switch (state) {
        case 0: return {"on", AV_ENABLED};
        case 1: return {"off", AV_DISABLED};
        case 2: return {"snoozed", AV_SNOOZED};
        default: return {"expired", AV_DISABLED};
    }
}

// The Security Center reports 1 for signatures that are up to date.
StateMapping mapSignatureStatus(std::int32_t status) {
    if (status == 1) return {"up-to-date", AVSIGNATURE_STATUS_UP_TO_DATE};
    return {"out-of-date", AVSIGNATURE_STATUS_OUT_OF_DATE};
}

SecurityProductInfo* slotFor(std::uint32_t provider, std::uint32_t index, SecurityInventory& inventory) {
    // Only antivirus products make up the inventory: the other kinds would
    // overwrite its slots with products that are no antivirus.
    if (provider != PROVIDER_ANTIVIRUS) return nullptr;
    if (index >= kInventorySlots) {
        avLogger->info("av product {} is left out of the inventory, which holds {} products; it is kept in the "
                       "document only",
                       index, kInventorySlots);
        return nullptr;
    }
    return &inventory.products[index];
}

// The record* functions write what one getter returned, whoever answered it:
// the Security Center, or Defender's status standing in for it.
void recordName(const std::string& text, const ProductTarget& target, json& document, SecurityInventory& inventory) {
    writeMember(document, target, "name", text);
    if (target.slot != nullptr) {
        target.slot->avName = text;
        inventory.productCount = target.index + 1;
    }
}

void recordState(std::int32_t state, const ProductTarget& target, json& document) {
    const StateMapping mapped = mapProductState(state);
    writeMember(document, target, "state", mapped.text);
    if (target.slot != nullptr) target.slot->avStateEnum = mapped.value;
}

void recordSignatureStatus(std::int32_t status, const ProductTarget& target, json& document) {
    const StateMapping mapped = mapSignatureStatus(status);
    writeMember(document, target, "signature_status", mapped.text);
    if (target.slot != nullptr) target.slot->signatureStatusEnum = mapped.value;
}

// The product version of the reporting executable. Defender (an antivirus
// and antispyware product, never a firewall) reports a path that is no
// executable: its version is the one its own provider gives, when the
// provider answers with a version of the usual form.
std::string productVersionOf(const std::string& path, std::uint32_t provider) {
    // The document keeps the path as reported; the version is read from the
    // file it names once variables such as %ProgramFiles% are expanded.
    FileInfo info;
    getFileInfo(expandEnvironmentStrings(path).c_str(), info);
    if (provider == PROVIDER_FIREWALL || !isDefenderReportingPath(path)) return info.productVersion;
    const DefenderReading& defender = defenderStatusOfThisRun();
    if (defender.outcome != DefenderOutcome::Answered) return info.productVersion;
    return defenderVersionText(defender.properties);
}

void recordReportingPath(const std::string& path, const ProductTarget& target, json& document) {
    writeMember(document, target, "reporting_exe", path);
    const std::string version = productVersionOf(path, target.provider);
    writeMember(document, target, "version", version);
    if (target.slot != nullptr) {
        target.slot->reportingExe = path;
        target.slot->avVersion = version;
    }
}

std::int32_t readName(ScProduct* product, const ProductTarget& target, json& document,
                      SecurityInventory& inventory) {
    ScText name;
    std::int32_t hr = scGetProductName(product, name);
    if (failed(hr, "get_ProductName") || !name.present) return hr;
    recordName(wideToUtf8(name.text), target, document, inventory);
    return hr;
}

std::int32_t readState(ScProduct* product, const ProductTarget& target, json& document) {
    std::int32_t state = 0;
    std::int32_t hr = scGetProductState(product, &state);
    if (failed(hr, "get_ProductState")) return hr;
    recordState(state, target, document);
    return hr;
}

std::int32_t readSignatureStatus(ScProduct* product, const ProductTarget& target, json& document) {
    std::int32_t status = 0;
    std::int32_t hr = scGetSignatureStatus(product, &status);
    if (failed(hr, "get_SignatureStatus")) return hr;
    recordSignatureStatus(status, target, document);
    return hr;
}

std::int32_t readRemediationPath(ScProduct* product, const ProductTarget& target, json& document) {
    ScText path;
    std::int32_t hr = scGetRemediationPath(product, path);
    if (failed(hr, "get_RemediationPath") || !path.present) return hr;
    recordReportingPath(wideToUtf8(path.text), target, document);
    return hr;
}

std::int32_t readTimestamp(ScProduct* product, const ProductTarget& target, json& document) {
    ScText timestamp;
    std::int32_t hr = scGetProductStateTimestamp(product, timestamp);
    if (failed(hr, "get_ProductStateTimestamp") || !timestamp.present) return hr;
    const std::string text = wideToUtf8(timestamp.text);
    writeMember(document, target, "last_update", text);
    if (target.slot != nullptr) target.slot->avLastUpdateTime = text;
    return hr;
}

// Reads one product's fields in the Security Center's order; stops at the
// first failing call and returns its code, else that of the last call.
std::int32_t readProduct(ScProduct* product, const ProductTarget& target, json& document,
                         SecurityInventory& inventory) {
    std::int32_t hr = readName(product, target, document, inventory);
    if (hr < 0) return hr;
    hr = readState(product, target, document);
    if (hr < 0) return hr;
    if (target.provider != PROVIDER_FIREWALL) {
        hr = readSignatureStatus(product, target, document);
        if (hr < 0) return hr;
    }
    hr = readRemediationPath(product, target, document);
    if (hr < 0 || target.provider != PROVIDER_ANTIVIRUS) return hr;
    return readTimestamp(product, target, document);
}

// listCreated tells a failing creation apart from later failures.
std::int32_t enumerate(std::uint32_t provider, const char* key, json& document, SecurityInventory& inventory,
                       bool& listCreated) {
    ScProductList* created = nullptr;
    std::int32_t hr = scCreateProductList(&created);
    ListHandle list(created);
    listCreated = hr >= 0;
    if (failed(hr, "CoCreateInstance")) return hr;
    hr = scInitialize(list.get(), provider);
    if (failed(hr, "Initialize")) return hr;
    std::int32_t count = 0;
    hr = scGetCount(list.get(), &count);
    if (failed(hr, "get_Count") || count <= 0) return hr;

    for (std::int32_t i = 0; i < count; ++i) {
        const auto index = static_cast<std::uint32_t>(i);
        ScProduct* item = nullptr;
        hr = scGetItem(list.get(), index, &item);
        ProductHandle product(item);
        if (failed(hr, "get_Item")) return hr;
        const ProductTarget target{provider, key, index, slotFor(provider, index, inventory)};
        hr = readProduct(product.get(), target, document, inventory);
        if (hr < 0) return hr;
    }
    return hr;
}

std::int32_t guardedEnumerate(std::uint32_t provider, const char* key, json& document, SecurityInventory& inventory,
                              bool& listCreated) {
    listCreated = false;
    try {
        return enumerate(provider, key, document, inventory, listCreated);
    } catch (const std::exception& e) {
        // Only running out of memory can get here; every object is released.
        avLogger->error("querySecurityProducts stopped: {}", e.what());
        return kHrUnexpected;
    }
}

// Defender as the kind's one product, in the order the Security Center's
// getters would give it. Its timestamp would be a null string, which records
// nothing. Nothing is recorded when Defender's provider did not answer either.
void recordDefenderInstead(std::uint32_t provider, const char* key, json& document, SecurityInventory& inventory) {
    const DefenderReading& defender = defenderStatusOfThisRun();
    if (defender.outcome != DefenderOutcome::Answered) return;
    avLogger->info("Microsoft Defender's status stands in for the missing Security Center ({})", key);
    const DefenderProductState state = defenderProductState(defender.properties, provider);
    const ProductTarget target{provider, key, 0, slotFor(provider, 0, inventory)};
    recordName(kDefenderProductName, target, document, inventory);
    recordState(state.productState, target, document);
    recordSignatureStatus(state.signatureStatus, target, document);
    recordReportingPath(kDefenderReportingPath, target, document);
}

// Windows Firewall as the firewall kind's one product. Nothing reports a
// path for it, so it has no reporting executable and no version.
void recordFirewallInstead(const char* key, json& document, SecurityInventory& inventory) {
    const FirewallReading& firewall = firewallStatusOfThisRun();
    if (firewall.outcome != BoundedOutcome::Answered) return;
    // Named by its switch, -fw.
    avLogger->info("Windows Firewall's status stands in for the missing Security Center (fw)");
    const ProductTarget target{PROVIDER_FIREWALL, key, 0, slotFor(PROVIDER_FIREWALL, 0, inventory)};
    recordName(kFirewallProductName, target, document, inventory);
    recordState(firewallProductState(firewall.profiles), target, document);
}

void recordStandIn(std::uint32_t provider, const char* key, json& document, SecurityInventory& inventory) {
    if (provider == PROVIDER_FIREWALL) {
        recordFirewallInstead(key, document, inventory);
    } else {
        recordDefenderInstead(provider, key, document, inventory);
    }
}

}  // namespace

const char* providerDocumentKey(std::uint32_t provider) {
    switch (provider) {
        case PROVIDER_FIREWALL: return "firewall";
        case PROVIDER_ANTIVIRUS: return "av";
        case PROVIDER_ANTISPYWARE: return "antispyware";
        default: return nullptr;
    }
}

std::int32_t querySecurityProducts(std::uint32_t provider, json& document, SecurityInventory& inventory) {
    const char* key = providerDocumentKey(provider);
    if (key == nullptr) return kHrInvalidArg;
    bool listCreated = false;
    return guardedEnumerate(provider, key, document, inventory, listCreated);
}

KindAnswer queryProductsOfKind(std::uint32_t provider, json& document, SecurityInventory& inventory) {
    const char* key = providerDocumentKey(provider);
    if (key == nullptr) return {kHrInvalidArg, false};
    bool listCreated = false;
    const std::int32_t hr = guardedEnumerate(provider, key, document, inventory, listCreated);
    if (hr >= 0) return {hr, true};
    // Windows Server has no Security Center at all. There the failure says
    // nothing of the other kinds: each is still asked and gets its stand-in
    // (Defender's status for antivirus and antispyware, Windows Firewall's
    // for the firewall), or nothing when that cannot be read either.
    const bool noSecurityCenter = !listCreated && hr == kHrClassNotRegistered;
    if (!noSecurityCenter) return {hr, false};
    try {
        recordStandIn(provider, key, document, inventory);
        return {hr, true};
    } catch (const std::exception& e) {
        avLogger->error("querySecurityProducts stopped: {}", e.what());
        return {hr, false};
    }
}

void reportInventory(SecurityInventory inventory) {
    avLogger->info("os: {}", winVersionName(inventory.os));
    avLogger->info("Total av installed: {}", inventory.productCount);
    const std::size_t shown = std::min<std::size_t>(inventory.productCount, kInventorySlots);
    for (std::size_t j = 0; j < shown; ++j) {
        const SecurityProductInfo& product = inventory.products[j];
        avLogger->info("\tavName: {}", product.avName);
        avLogger->info("\tavVersion: {}", product.avVersion);
        avLogger->info("\treportingExe: {}", product.reportingExe);
        avLogger->info("\tavLastUpdateTime: {}", product.avLastUpdateTime);
        avLogger->info("\tavStateEnum: {}", avStateName(product.avStateEnum));
        avLogger->info("\tsignatureStatusEnum: {}", avSignatureStatusName(product.signatureStatusEnum));
        avLogger->info("");
    }
}

}  // namespace velmora
