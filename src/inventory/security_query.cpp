#include "inventory/security_query.h"

#include <exception>
#include <memory>

#include "common/environment.h"
#include "common/status_codes.h"
#include "common/text.h"
#include "inventory/defender_status.h"
#include "inventory/file_info.h"
#include "inventory/firewall_status.h"
#include "inventory/inventory_slots.h"
#include "inventory/security_center.h"
#include "inventory/security_product.h"
#include "log/logger.h"

namespace velmora {

namespace {

struct ListRelease {
    void operator()(ScProductList* list) const { scReleaseList(list); }
};
struct ProductRelease {
    void operator()(ScProduct* product) const { scReleaseProduct(product); }
};
using ListHandle = std::unique_ptr<ScProductList, ListRelease>;
using ProductHandle = std::unique_ptr<ScProduct, ProductRelease>;

// Logs a failing Security Center call; the code prints as signed hex.
bool failed(std::int32_t hr, const char* call) {
    if (hr >= 0) return false;
    avLogger->error("{} returned error = {:08x}", call, hr);
    return true;
}

bool isKind(std::uint32_t provider) {
    return provider == PROVIDER_FIREWALL || provider == PROVIDER_ANTIVIRUS || provider == PROVIDER_ANTISPYWARE;
}

ProductState productStateOf(std::int32_t state) {
    switch (state) {
        case 0: return ProductState::On;
        case 1: return ProductState::Off;
        case 2: return ProductState::Snoozed;
        default: return ProductState::Expired;
    }
}

// The product version of the reporting executable. Defender (an antivirus
// and antispyware product, never a firewall) reports a path that is no
// executable: its version is the one its own provider gives, when the
// provider answers with a version of the usual form.
std::string productVersionOf(const std::string& path, std::uint32_t provider) {
    // The reading keeps the path as reported; the version is read from the
    // file it names once variables such as %ProgramFiles% are expanded.
    FileInfo info;
    getFileInfo(expandEnvironmentStrings(path).c_str(), info);
    if (provider == PROVIDER_FIREWALL || !isDefenderReportingPath(path)) return info.productVersion;
    const DefenderReading& defender = defenderStatusOfThisRun();
    if (defender.outcome != DefenderOutcome::Answered) return info.productVersion;
    return defenderVersionText(defender.properties);
}

void readReportingPath(const std::string& path, std::uint32_t provider, ProductReading& reading) {
    reading.reportingExe = path;
    reading.version = productVersionOf(path, provider);
}

// A text getter's answer: nothing for a null string.
std::optional<std::string> textOf(const ScText& text) {
    if (!text.present) return std::nullopt;
    return wideToUtf8(text.text);
}

// Reads one product's fields in the Security Center's order; stops at the
// first failing call and returns its code, else that of the last call.
std::int32_t readProduct(ScProduct* product, std::uint32_t provider, ProductReading& reading) {
    ScText name;
    std::int32_t hr = scGetProductName(product, name);
    if (failed(hr, "get_ProductName")) return hr;
    reading.name = textOf(name);
    std::int32_t state = 0;
    hr = scGetProductState(product, &state);
    if (failed(hr, "get_ProductState")) return hr;
    reading.state = productStateOf(state);
    if (provider != PROVIDER_FIREWALL) {
        std::int32_t status = 0;
        hr = scGetSignatureStatus(product, &status);
        if (failed(hr, "get_SignatureStatus")) return hr;
        reading.signaturesUpToDate = status == 1;
    }
    ScText path;
    hr = scGetRemediationPath(product, path);
    if (failed(hr, "get_RemediationPath")) return hr;
    if (path.present) readReportingPath(wideToUtf8(path.text), provider, reading);
    if (provider != PROVIDER_ANTIVIRUS) return hr;
    ScText timestamp;
    hr = scGetProductStateTimestamp(product, timestamp);
    if (failed(hr, "get_ProductStateTimestamp")) return hr;
    reading.lastUpdate = textOf(timestamp);
    return hr;
}

// listCreated tells a failing creation apart from later failures.
std::int32_t enumerate(KindReading& reading, bool& listCreated) {
    ScProductList* created = nullptr;
    std::int32_t hr = scCreateProductList(&created);
    ListHandle list(created);
    listCreated = hr >= 0;
    if (failed(hr, "CoCreateInstance")) return hr;
    hr = scInitialize(list.get(), reading.provider);
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
        noteProductOutsideInventory(reading.provider, index);
        hr = readProduct(product.get(), reading.provider, reading.products.emplace_back());
        if (hr < 0) return hr;
    }
    return hr;
}

KindReading guardedEnumerate(std::uint32_t provider, bool& listCreated) {
    KindReading reading;
    reading.provider = provider;
    listCreated = false;
    try {
        reading.status = enumerate(reading, listCreated);
    } catch (const std::exception& e) {
        // Only running out of memory can get here; every object is released.
        avLogger->error("querySecurityProducts stopped: {}", e.what());
        reading.status = kHrUnexpected;
    }
    reading.answered = reading.status >= 0;
    return reading;
}

// Defender as the kind's one product, in the order the Security Center's
// getters would give it. Its timestamp would be a null string, which gives
// nothing. Nothing is read when Defender's provider did not answer either.
void readDefenderInstead(KindReading& reading) {
    const DefenderReading& defender = defenderStatusOfThisRun();
    if (defender.outcome != DefenderOutcome::Answered) return;
    // The kind as its switch names it (-av, -as): fixed log text.
    avLogger->info("Microsoft Defender's status stands in for the missing Security Center ({})",
                   reading.provider == PROVIDER_ANTIVIRUS ? "av" : "antispyware");
    const DefenderProductState state = defenderProductState(defender.properties, reading.provider);
    ProductReading& product = reading.products.emplace_back();
    product.name = kDefenderProductName;
    product.state = productStateOf(state.productState);
    product.signaturesUpToDate = state.signatureStatus == 1;
    readReportingPath(kDefenderReportingPath, reading.provider, product);
}

// Windows Firewall as the firewall kind's one product. Nothing reports a
// path for it, so it has no reporting executable and no version.
void readFirewallInstead(KindReading& reading) {
    const FirewallReading& firewall = firewallStatusOfThisRun();
    if (firewall.outcome != BoundedOutcome::Answered) return;
    // Named by its switch, -fw.
    avLogger->info("Windows Firewall's status stands in for the missing Security Center (fw)");
    ProductReading& product = reading.products.emplace_back();
    product.name = kFirewallProductName;
    product.state = productStateOf(firewallProductState(firewall.profiles));
}

}  // namespace

KindReading readSecurityCenterProducts(std::uint32_t provider) {
    if (!isKind(provider)) return {provider, {}, kHrInvalidArg, false};
    bool listCreated = false;
    return guardedEnumerate(provider, listCreated);
}

KindReading queryProductsOfKind(std::uint32_t provider) {
    if (!isKind(provider)) return {provider, {}, kHrInvalidArg, false};
    bool listCreated = false;
    KindReading reading = guardedEnumerate(provider, listCreated);
    // Windows Server has no Security Center at all. There the failure says
    // nothing of the other kinds: each is still asked and gets its stand-in
    // (Defender's status for antivirus and antispyware, Windows Firewall's
    // for the firewall), or nothing when that cannot be read either.
    const bool noSecurityCenter = !listCreated && reading.status == kHrClassNotRegistered;
    if (!noSecurityCenter) return reading;
    try {
        if (provider == PROVIDER_FIREWALL) {
            readFirewallInstead(reading);
        } else {
            readDefenderInstead(reading);
        }
        reading.answered = true;
    } catch (const std::exception& e) {
        avLogger->error("querySecurityProducts stopped: {}", e.what());
    }
    return reading;
}

}  // namespace velmora
