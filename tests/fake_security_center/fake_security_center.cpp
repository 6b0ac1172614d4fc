// An in-process COM server standing in for the Windows Security Center in
// the test Wine prefix (Wine has none). It answers from
// C:\ProgramData\SecurityCenter\products.json through the same portable
// server logic the Linux build uses, and counts its live objects so tests
// can tell that every object handed out was released.
//
// It is as strict with its caller as Windows may be:
// - a product member that is absent ("name", "remediation_path",
//   "timestamp") makes its getter return S_OK with a null string;
// - a failure entry with "dangling_out": true makes a failing get_Item or
//   text getter leave a non-null pointer in its out parameter. It points into
//   memory that cannot be read, so a caller that reads it, calls a method on
//   it or releases it dies of an access violation. (Wine's SysFreeString
//   checks its argument and ignores such a pointer, so under Wine only reading
//   a string shows; Windows' does not check.)
// - the getters of product GUID and default flag, which the program never
//   needs, fail with E_NOTIMPL.
#include <windows.h>
#include <oleauto.h>

#include <new>

#include "standin/served_security_center.h"
#include "inventory/wsc_interfaces_win.h"
#include "fake_com/class_factory.h"

using namespace velmora;

namespace {

LONG g_liveObjects = 0;

bool sameGuid(REFIID a, const IID& b) { return IsEqualGUID(a, b) != FALSE; }

// An address inside reserved, never committed memory: every access faults.
void* danglingPointer() {
    static void* const reserved = VirtualAlloc(nullptr, 65536, MEM_RESERVE, PAGE_NOACCESS);
    return static_cast<char*>(reserved) + 64;
}

// IDispatch is part of both interfaces but the program never calls it.
#define FAKE_NO_DISPATCH                                                                               \
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {                                 \
        if (count != nullptr) *count = 0;                                                              \
        return S_OK;                                                                                   \
    }                                                                                                  \
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {                     \
        if (info != nullptr) *info = nullptr;                                                          \
        return E_NOTIMPL;                                                                              \
    }                                                                                                  \
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {         \
        return E_NOTIMPL;                                                                              \
    }                                                                                                  \
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,    \
                                     UINT*) override {                                                 \
        return E_NOTIMPL;                                                                              \
    }

// Reference counting shared by the three objects.
#define FAKE_REFCOUNT                                                                                  \
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs)); } \
    ULONG STDMETHODCALLTYPE Release() override {                                                       \
        LONG left = InterlockedDecrement(&refs);                                                       \
        if (left == 0) delete this;                                                                    \
        return static_cast<ULONG>(left);                                                               \
    }                                                                                                  \
    LONG refs = 1;

struct LiveObject {
    LiveObject() { InterlockedIncrement(&g_liveObjects); }
    ~LiveObject() { InterlockedDecrement(&g_liveObjects); }
    LiveObject(const LiveObject&) = delete;
    LiveObject& operator=(const LiveObject&) = delete;
};

struct FakeProduct final : IWscProduct {
    LiveObject live;
    ServedItem served;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (!sameGuid(iid, IID_IUnknown) && !sameGuid(iid, IID_IDispatch) && !sameGuid(iid, kIidWscProduct)) {
            return E_NOINTERFACE;
        }
        AddRef();
        *out = this;
        return S_OK;
    }
    FAKE_REFCOUNT
    FAKE_NO_DISPATCH

    HRESULT text(ScCall call, BSTR* out) {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        ServedText value;
        HRESULT hr = serveText(served, call, value);
        if (FAILED(hr) && served.danglingOut[call]) *out = static_cast<BSTR>(danglingPointer());
        if (FAILED(hr) || !value.present) return hr;
        *out = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(value.text.data()),
                                 static_cast<UINT>(value.text.size()));
        return *out != nullptr ? hr : E_OUTOFMEMORY;
    }
    HRESULT number(ScCall call, LONG* out) {
        if (out == nullptr) return E_POINTER;
        std::int32_t value = 0;
        HRESULT hr = serveNumber(served, call, value);
        if (SUCCEEDED(hr)) *out = value;
        return hr;
    }

    HRESULT STDMETHODCALLTYPE get_ProductName(BSTR* name) override { return text(SC_CALL_GET_PRODUCT_NAME, name); }
    HRESULT STDMETHODCALLTYPE get_ProductState(LONG* state) override {
        return number(SC_CALL_GET_PRODUCT_STATE, state);
    }
    HRESULT STDMETHODCALLTYPE get_SignatureStatus(LONG* status) override {
        return number(SC_CALL_GET_SIGNATURE_STATUS, status);
    }
    HRESULT STDMETHODCALLTYPE get_RemediationPath(BSTR* path) override {
        return text(SC_CALL_GET_REMEDIATION_PATH, path);
    }
    HRESULT STDMETHODCALLTYPE get_ProductStateTimestamp(BSTR* timestamp) override {
        return text(SC_CALL_GET_PRODUCT_STATE_TIMESTAMP, timestamp);
    }
    HRESULT STDMETHODCALLTYPE get_ProductGuid(BSTR* guid) override {
        if (guid != nullptr) *guid = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE get_ProductIsDefault(BOOL* isDefault) override {
        if (isDefault != nullptr) *isDefault = FALSE;
        return E_NOTIMPL;
    }

private:
    ~FakeProduct() = default;
};

struct FakeProductList final : IWSCProductList {
    LiveObject live;
    ServedList served;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        if (!sameGuid(iid, IID_IUnknown) && !sameGuid(iid, IID_IDispatch) && !sameGuid(iid, kIidWscProductList)) {
            return E_NOINTERFACE;
        }
        AddRef();
        *out = this;
        return S_OK;
    }
    FAKE_REFCOUNT
    FAKE_NO_DISPATCH

    HRESULT STDMETHODCALLTYPE Initialize(ULONG provider) override { return serveInitialize(served, provider); }
    HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override {
        if (count == nullptr) return E_POINTER;
        std::int32_t value = 0;
        HRESULT hr = serveCount(served, value);
        if (SUCCEEDED(hr)) *count = value;
        return hr;
    }
    HRESULT STDMETHODCALLTYPE get_Item(ULONG index, IWscProduct** product) override {
        if (product == nullptr) return E_POINTER;
        *product = nullptr;
        auto* item = new (std::nothrow) FakeProduct;
        if (item == nullptr) return E_OUTOFMEMORY;
        HRESULT hr = serveItem(served, index, item->served);
        if (FAILED(hr)) {
            item->Release();
            const InjectedFailure* failure =
                findInjectedFailure(served.served, SC_CALL_GET_ITEM, served.provider, index);
            if (failure != nullptr && failure->danglingOut) *product = static_cast<IWscProduct*>(danglingPointer());
            return hr;
        }
        *product = item;
        return hr;
    }

private:
    ~FakeProductList() = default;
};

HRESULT createServed(REFIID iid, void** out) {
    auto* list = new (std::nothrow) FakeProductList;
    if (list == nullptr) return E_OUTOFMEMORY;
    // The file is read afresh for every list, as the tests rewrite it between runs.
    HRESULT hr = serveCreateList(list->served);
    if (SUCCEEDED(hr)) {
        HRESULT asked = list->QueryInterface(iid, out);
        if (FAILED(asked)) hr = asked;
    }
    list->Release();
    return hr;
}

fake_com::ClassFactory g_factory(createServed);

}  // namespace

extern "C" {

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
    return fake_com::getClassObject(g_factory, kClsidWscProductList, clsid, iid, out);
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() { return fake_com::canUnloadNow(g_factory, g_liveObjects); }

// Product lists and products not yet released.
LONG FakeSecurityCenterLiveObjects() { return InterlockedCompareExchange(&g_liveObjects, 0, 0); }

// When the DLL leaves the process, the objects still alive are the ones the
// program never released. With VELMORA_SC_LIVE_REPORT naming a file, their
// number is written there, so that tests can require it to be 0.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_DETACH) return TRUE;
    wchar_t path[1024];
    DWORD length = GetEnvironmentVariableW(L"VELMORA_SC_LIVE_REPORT", path, 1024);
    if (length == 0 || length >= 1024) return TRUE;
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return TRUE;
    char text[32];
    int size = wsprintfA(text, "%ld", FakeSecurityCenterLiveObjects());
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(file);
    return TRUE;
}

}  // extern "C"
