// A policy object standing in for Windows Firewall's (HNetCfg.FwPolicy2) in
// the test Wine prefix, registered there in place of the real class. It
// answers from C:\ProgramData\Firewall\status.json through the same reader
// the Linux stand-in uses, read afresh each time the object is created.
//
// The program calls only get_CurrentProfileTypes and get_FirewallEnabled,
// the first two methods after IDispatch's: the object's vtable ends there,
// so the rest of INetFwPolicy2 need not be written out.
#include <windows.h>
#include <oleauto.h>
#include <netfw.h>

#include <new>

#include "fake_com/class_factory.h"
#include "standin/firewall_status_file.h"

using namespace velmora;

namespace {

constexpr CLSID kClsidNetFwPolicy2 = {0xE2B3C97F, 0x6AE1, 0x41AC, {0x81, 0x7A, 0xF6, 0xF9, 0x21, 0x66, 0xD7, 0xDD}};

LONG g_liveObjects = 0;

// INetFwPolicy2's vtable as far as the program uses it.
struct PolicyHead : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_CurrentProfileTypes(LONG* profile) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_FirewallEnabled(NET_FW_PROFILE_TYPE2 profile, VARIANT_BOOL* enabled) = 0;
};

struct FakePolicy final : PolicyHead {
    LONG refs = 1;
    FirewallStatusFile status;

    FakePolicy() { InterlockedIncrement(&g_liveObjects); }
    FakePolicy(const FakePolicy&) = delete;
    FakePolicy& operator=(const FakePolicy&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (!IsEqualGUID(iid, IID_IUnknown) && !IsEqualGUID(iid, IID_IDispatch) &&
            !IsEqualGUID(iid, __uuidof(INetFwPolicy2))) {
            return E_NOINTERFACE;
        }
        AddRef();
        *out = this;
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs)); }
    ULONG STDMETHODCALLTYPE Release() override {
        LONG left = InterlockedDecrement(&refs);
        if (left == 0) delete this;
        return static_cast<ULONG>(left);
    }

    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE get_CurrentProfileTypes(LONG* profile) override {
        if (profile == nullptr) return E_POINTER;
        std::int32_t current = 0;
        const std::int32_t hr = serveCurrentProfileTypes(status, current);
        if (hr >= 0) *profile = current;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE get_FirewallEnabled(NET_FW_PROFILE_TYPE2 profile, VARIANT_BOOL* enabled) override {
        if (enabled == nullptr) return E_POINTER;
        bool on = false;
        const std::int32_t hr = serveFirewallEnabled(status, static_cast<std::uint32_t>(profile), on);
        if (hr >= 0) *enabled = on ? VARIANT_TRUE : VARIANT_FALSE;
        return hr;
    }

private:
    ~FakePolicy() { InterlockedDecrement(&g_liveObjects); }
};

// No status.json: the class is not registered, as where the firewall's
// component is missing.
HRESULT createServed(REFIID iid, void** out) {
    auto* policy = new (std::nothrow) FakePolicy;
    if (policy == nullptr) return E_OUTOFMEMORY;
    HRESULT hr = loadFirewallStatus(policy->status);
    if (SUCCEEDED(hr)) hr = policy->QueryInterface(iid, out);
    policy->Release();
    return hr;
}

fake_com::ClassFactory g_factory(createServed);

}  // namespace

extern "C" {

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
    return fake_com::getClassObject(g_factory, kClsidNetFwPolicy2, clsid, iid, out);
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() { return fake_com::canUnloadNow(g_factory, g_liveObjects); }

}  // extern "C"
