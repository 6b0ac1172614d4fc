// The description of a machine's Security Center that tests hand to the
// program: <ProgramData>/SecurityCenter/products.json. One reader serves the
// Linux stand-in of the Security Center and the test COM server for Windows,
// so both answer the same file the same way.
//
//   { "antivirus":   [ product, ... ],      // served for provider 4
//     "antispyware": [ product, ... ],      // provider 8
//     "firewall":    [ product, ... ],      // provider 1
//     "failures":    [ failure, ... ],
//     "delay_ms":    0 }                   // creation answers after this long
//
// product: "name", "remediation_path", "timestamp" (strings; absent means the
// getter succeeds with a null string), "name_utf16" (array of UTF-16 code
// units, used instead of "name"), "state", "signature_status" (32-bit
// integers served as they stand; defaults 0 and 1).
// failure: "call" (one of the Security Center calls), "provider"
// ("antivirus", "antispyware", "firewall"; absent: every provider), "index"
// (absent: every product), "hresult" ("0x" + 8 hex digits), "dangling_out"
// (boolean, default false; see below). A negative code makes the call fail;
// any other code is returned by a call that otherwise works normally. A
// CoCreateInstance failure hits every creation, since the provider is not
// known yet when the list is created.
//
// "dangling_out": true makes a failing get_Item, get_ProductName,
// get_RemediationPath or get_ProductStateTimestamp leave a pointer in its out
// parameter that points at no object or string, as a careless server may:
// the caller must neither read nor release it. Only the test COM server of
// the Windows build hands out pointers; the Linux stand-in has none to leave.
//
// Every member is optional; unknown members are ignored. Anything else that
// does not fit the shape makes the whole file unusable.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/status_codes.h"

namespace velmora {

// The Security Center calls a failure can be injected into.
enum ScCall : int {
    SC_CALL_CO_CREATE_INSTANCE,
    SC_CALL_INITIALIZE,
    SC_CALL_GET_COUNT,
    SC_CALL_GET_ITEM,
    SC_CALL_GET_PRODUCT_NAME,
    SC_CALL_GET_PRODUCT_STATE,
    SC_CALL_GET_SIGNATURE_STATUS,
    SC_CALL_GET_REMEDIATION_PATH,
    SC_CALL_GET_PRODUCT_STATE_TIMESTAMP,
};

struct ServedText {
    bool present = false;  // false: the getter returns a null string
    std::u16string text;
};

struct ServedProduct {
    ServedText name;
    ServedText remediationPath;
    ServedText timestamp;
    std::int32_t state = 0;
    std::int32_t signatureStatus = 1;
};

struct InjectedFailure {
    ScCall call = SC_CALL_CO_CREATE_INSTANCE;
    std::uint32_t provider = 0;  // 0: every provider
    bool everyIndex = true;
    std::uint64_t index = 0;
    std::int32_t hresult = kHrFail;
    bool danglingOut = false;
};

struct ServedProducts {
    std::vector<ServedProduct> antivirus;
    std::vector<ServedProduct> antispyware;
    std::vector<ServedProduct> firewall;
    std::vector<InjectedFailure> failures;
    // How long creating the list takes: a Security Center that answers late,
    // or (with a delay beyond any bound) never.
    std::uint32_t delayMs = 0;
};

// Parses the file's bytes. False (and out left empty) when they are not a
// JSON object of the shape above.
bool parseServedProducts(const std::string& bytes, ServedProducts& out);

// Reads and parses the file: kHrOk, kHrClassNotRegistered when the file
// cannot be opened, kHrFail when it cannot be read or has a bad shape.
std::int32_t loadServedProducts(const std::string& path, ServedProducts& out);

// <ProgramData><sep>SecurityCenter<sep>products.json
std::string servedProductsPath();

// The products served for a provider value; nullptr for any other value.
const std::vector<ServedProduct>* servedProductsOf(const ServedProducts& served, std::uint32_t provider);

// The failure injected into this call (the first entry that applies);
// index is ignored for list-level calls. nullptr when none applies.
const InjectedFailure* findInjectedFailure(const ServedProducts& served, ScCall call, std::uint32_t provider,
                                           std::uint64_t index);

}  // namespace velmora
