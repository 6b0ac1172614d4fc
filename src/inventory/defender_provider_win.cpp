// Windows: Defender's status through WMI, the way Microsoft's WMI client
// samples read a class: IWbemLocator, ConnectServer, CoSetProxyBlanket,
// ExecQuery, Next, and IWbemClassObject::Get for each property.
#include "inventory/defender_provider.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>

#include "common/status_codes.h"
#include "common/text.h"
#include "inventory/com_worker_win.h"

namespace velmora {

namespace {

struct OwnedBstr {
    BSTR value;
    explicit OwnedBstr(const wchar_t* text) : value(SysAllocString(text)) {}
    OwnedBstr(const OwnedBstr&) = delete;
    OwnedBstr& operator=(const OwnedBstr&) = delete;
    ~OwnedBstr() { SysFreeString(value); }
};

struct OwnedVariant {
    VARIANT value;
    OwnedVariant() { VariantInit(&value); }
    OwnedVariant(const OwnedVariant&) = delete;
    OwnedVariant& operator=(const OwnedVariant&) = delete;
    ~OwnedVariant() { VariantClear(&value); }
};

// Get fails with WBEM_E_NOT_FOUND for a property the platform's class does
// not have, and gives VT_NULL for one without a value: both are absent, as
// is a value of a type the property should not have.
void getBool(IWbemClassObject* object, const wchar_t* name, std::optional<bool>& out) {
    OwnedVariant v;
    if (FAILED(object->Get(name, 0, &v.value, nullptr, nullptr))) return;
    if (v.value.vt == VT_BOOL) out = v.value.boolVal != VARIANT_FALSE;
}

void getString(IWbemClassObject* object, const wchar_t* name, std::optional<std::string>& out) {
    OwnedVariant v;
    if (FAILED(object->Get(name, 0, &v.value, nullptr, nullptr))) return;
    if (v.value.vt != VT_BSTR || v.value.bstrVal == nullptr) return;
    out = wideToUtf8(std::u16string(reinterpret_cast<const char16_t*>(v.value.bstrVal), SysStringLen(v.value.bstrVal)));
}

// WMI hands a CIM uint32 over as VT_I4; the bits are the unsigned value.
void getUint32(IWbemClassObject* object, const wchar_t* name, std::optional<std::uint32_t>& out) {
    OwnedVariant v;
    if (FAILED(object->Get(name, 0, &v.value, nullptr, nullptr))) return;
    if (v.value.vt == VT_I4) out = static_cast<std::uint32_t>(v.value.lVal);
    else if (v.value.vt == VT_UI4) out = v.value.ulVal;
}

void readProperties(IWbemClassObject* object, DefenderProperties& p) {
    getBool(object, L"AMServiceEnabled", p.amServiceEnabled);
    getBool(object, L"AntivirusEnabled", p.antivirusEnabled);
    getBool(object, L"AntispywareEnabled", p.antispywareEnabled);
    getBool(object, L"RealTimeProtectionEnabled", p.realTimeProtectionEnabled);
    getString(object, L"AMProductVersion", p.amProductVersion);
    getUint32(object, L"AntivirusSignatureAge", p.antivirusSignatureAge);
    getBool(object, L"DefenderSignaturesOutOfDate", p.defenderSignaturesOutOfDate);
    getString(object, L"AMRunningMode", p.amRunningMode);
}

HRESULT connect(IWbemServices** services) {
    ComRef<IWbemLocator> locator;
    HRESULT hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator, locator.out());
    if (FAILED(hr)) return hr;
    OwnedBstr ns(L"ROOT\\Microsoft\\Windows\\Defender");
    hr = locator.p->ConnectServer(ns.value, nullptr, nullptr, nullptr, 0, nullptr, nullptr, services);
    if (FAILED(hr)) return hr;
    // WMI runs in its own service: the proxy must be allowed to impersonate
    // us, as the samples set it. (CoInitializeSecurity, which the samples also
    // call, is process-wide and not ours to decide on this worker.) On an
    // in-process provider there is no proxy: CoSetProxyBlanket then asks the
    // object for IClientSecurity and fails with E_NOINTERFACE. Such a server
    // needs no blanket, so that one failure is no failure. Any other means a
    // proxy that refused the settings: its calls would go out without them,
    // so the read fails with that code.
    hr = CoSetProxyBlanket(*services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                           RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
    return hr == E_NOINTERFACE ? S_OK : hr;
}

HRESULT askInApartment(DefenderProperties& properties) {
    ComRef<IWbemServices> services;
    HRESULT hr = connect(&services.p);
    if (FAILED(hr)) return hr;
    OwnedBstr language(L"WQL");
    // Every property: asking for one the platform lacks would fail the query.
    OwnedBstr query(L"SELECT * FROM MSFT_MpComputerStatus");
    ComRef<IEnumWbemClassObject> instances;
    hr = services.p->ExecQuery(language.value, query.value, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                               nullptr, &instances.p);
    if (FAILED(hr)) return hr;
    // The caller bounds the time of the whole question, so Next may wait.
    ComRef<IWbemClassObject> status;
    ULONG returned = 0;
    hr = instances.p->Next(WBEM_INFINITE, 1, &status.p, &returned);
    if (FAILED(hr)) return hr;
    if (returned == 0 || status.p == nullptr) return kHrWbemNotFound;
    readProperties(status.p, properties);
    return S_OK;
}

}  // namespace

std::int32_t askDefenderProvider(DefenderProperties& properties) {
    properties = DefenderProperties{};
    MultithreadedApartment apartment;
    if (FAILED(apartment.started)) return apartment.started;
    // Every object is released before the apartment is left.
    return askInApartment(properties);
}

}  // namespace velmora
