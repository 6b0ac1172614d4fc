// The class factory of the test COM servers (the Security Center, Defender's
// WMI provider, Windows Firewall's policy): a static object that lives as long
// as its DLL and makes the one class the DLL serves through the server's own
// create function.
#pragma once

#include <windows.h>
#include <objbase.h>

namespace fake_com {

// Makes a new object and asks it for iid; the object's own reference is the
// creator's to drop.
using CreateFn = HRESULT (*)(REFIID iid, void** out);

struct ClassFactory final : IClassFactory {
    explicit ClassFactory(CreateFn create) : create_(create) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (!IsEqualGUID(iid, IID_IUnknown) && !IsEqualGUID(iid, IID_IClassFactory)) return E_NOINTERFACE;
        AddRef();
        *out = this;
        return S_OK;
    }
    // A static object: it lives as long as the DLL.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (outer != nullptr) return CLASS_E_NOAGGREGATION;
        return create_(iid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        if (lock) InterlockedIncrement(&locks_);
        else InterlockedDecrement(&locks_);
        return S_OK;
    }

    bool locked() { return InterlockedCompareExchange(&locks_, 0, 0) != 0; }

private:
    CreateFn create_;
    LONG locks_ = 0;
};

// What a DLL that serves the one class `served` answers from its
// DllGetClassObject and DllCanUnloadNow exports.
inline HRESULT getClassObject(ClassFactory& factory, REFCLSID served, REFCLSID clsid, REFIID iid, void** out) {
    if (out == nullptr) return E_POINTER;
    *out = nullptr;
    if (!IsEqualGUID(clsid, served)) return CLASS_E_CLASSNOTAVAILABLE;
    return factory.QueryInterface(iid, out);
}
inline HRESULT canUnloadNow(ClassFactory& factory, LONG& liveObjects) {
    return (InterlockedCompareExchange(&liveObjects, 0, 0) == 0 && !factory.locked()) ? S_OK : S_FALSE;
}

}  // namespace fake_com
