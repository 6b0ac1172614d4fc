// An in-process WMI provider standing in for Microsoft Defender's status in
// the test Wine prefix, registered there in place of the WMI locator class.
// It knows one namespace and one class, ROOT\Microsoft\Windows\Defender and
// MSFT_MpComputerStatus, and answers from C:\ProgramData\Defender\status.json
// through the same reader the Linux stand-in uses.
//
// Its objects do not answer IClientSecurity, as no in-process object needs
// to: CoSetProxyBlanket on them fails with E_NOINTERFACE, and the program
// must go on anyway. With VELMORA_WMI_BLANKET_HRESULT set ("0x" and 8 hex
// digits), the services object answers it as a proxy would, and SetBlanket
// returns that code: a blanket the system refused.
//
// Like the system's own COM and RPC code, it holds a lock while it works (and
// while it delays) that its DLL_PROCESS_DETACH takes too. A process that ends
// through ExitProcess while a thread is still in here kills that thread with
// the lock held and then hangs in the detach; the program must not.
#include <windows.h>
#include <oleauto.h>
#include <wbemidl.h>

#include <new>
#include <string>

#include "common/text.h"
#include "standin/defender_status_file.h"
#include "fake_com/class_factory.h"

using namespace velmora;

namespace {

LONG g_liveObjects = 0;

// An SRW lock has no owner: one left held by a killed thread stays held.
SRWLOCK g_serving = SRWLOCK_INIT;

bool sameGuid(REFIID a, const IID& b) { return IsEqualGUID(a, b) != FALSE; }

// WMI compares namespace, class and query words without regard to case.
bool sameText(const wchar_t* a, const wchar_t* b) { return a != nullptr && lstrcmpiW(a, b) == 0; }

#define FAKE_REFCOUNT                                                                                  \
    ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs)); } \
    ULONG STDMETHODCALLTYPE Release() override {                                                       \
        LONG left = InterlockedDecrement(&refs);                                                       \
        if (left == 0) delete this;                                                                    \
        return static_cast<ULONG>(left);                                                               \
    }                                                                                                  \
    LONG refs = 1;

// QueryInterface for an object with one interface besides IUnknown.
#define FAKE_QUERY_INTERFACE(iidOwn)                                                                   \
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {                        \
        if (out == nullptr) return E_POINTER;                                                          \
        *out = nullptr;                                                                                \
        if (!sameGuid(iid, IID_IUnknown) && !sameGuid(iid, iidOwn)) return E_NOINTERFACE;              \
        AddRef();                                                                                      \
        *out = this;                                                                                   \
        return S_OK;                                                                                   \
    }

#define NOT_SUPPORTED { return WBEM_E_NOT_SUPPORTED; }

struct LiveObject {
    LiveObject() { InterlockedIncrement(&g_liveObjects); }
    ~LiveObject() { InterlockedDecrement(&g_liveObjects); }
    LiveObject(const LiveObject&) = delete;
    LiveObject& operator=(const LiveObject&) = delete;
};

// The one MSFT_MpComputerStatus instance. A property the file leaves out is
// one the class does not have: Get fails with WBEM_E_NOT_FOUND, as on older
// Defender platforms.
struct FakeStatus final : IWbemClassObject {
    LiveObject live;
    DefenderProperties properties;

    FAKE_QUERY_INTERFACE(IID_IWbemClassObject)
    FAKE_REFCOUNT

    static HRESULT putBool(const std::optional<bool>& value, VARIANT* out, CIMTYPE* type) {
        if (!value) return WBEM_E_NOT_FOUND;
        out->vt = VT_BOOL;
        out->boolVal = *value ? VARIANT_TRUE : VARIANT_FALSE;
        if (type != nullptr) *type = CIM_BOOLEAN;
        return WBEM_S_NO_ERROR;
    }
    static HRESULT putString(const std::optional<std::string>& value, VARIANT* out, CIMTYPE* type) {
        if (!value) return WBEM_E_NOT_FOUND;
        const std::u16string wide = utf8ToWide(*value);
        out->vt = VT_BSTR;
        out->bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(wide.data()), static_cast<UINT>(wide.size()));
        if (out->bstrVal == nullptr) {
            out->vt = VT_EMPTY;
            return WBEM_E_OUT_OF_MEMORY;
        }
        if (type != nullptr) *type = CIM_STRING;
        return WBEM_S_NO_ERROR;
    }
    // WMI gives a CIM uint32 as VT_I4.
    static HRESULT putUint32(const std::optional<std::uint32_t>& value, VARIANT* out, CIMTYPE* type) {
        if (!value) return WBEM_E_NOT_FOUND;
        out->vt = VT_I4;
        out->lVal = static_cast<LONG>(*value);
        if (type != nullptr) *type = CIM_UINT32;
        return WBEM_S_NO_ERROR;
    }

    HRESULT STDMETHODCALLTYPE Get(LPCWSTR name, LONG, VARIANT* value, CIMTYPE* type, LONG* flavor) override {
        if (name == nullptr || value == nullptr) return WBEM_E_INVALID_PARAMETER;
        if (flavor != nullptr) *flavor = WBEM_FLAVOR_ORIGIN_PROPAGATED;
        const DefenderProperties& p = properties;
        if (sameText(name, L"AMServiceEnabled")) return putBool(p.amServiceEnabled, value, type);
        if (sameText(name, L"AntivirusEnabled")) return putBool(p.antivirusEnabled, value, type);
        if (sameText(name, L"AntispywareEnabled")) return putBool(p.antispywareEnabled, value, type);
        if (sameText(name, L"RealTimeProtectionEnabled")) return putBool(p.realTimeProtectionEnabled, value, type);
        if (sameText(name, L"AMProductVersion")) return putString(p.amProductVersion, value, type);
        if (sameText(name, L"AntivirusSignatureAge")) return putUint32(p.antivirusSignatureAge, value, type);
        if (sameText(name, L"DefenderSignaturesOutOfDate")) return putBool(p.defenderSignaturesOutOfDate, value, type);
        if (sameText(name, L"AMRunningMode")) return putString(p.amRunningMode, value, type);
        return WBEM_E_NOT_FOUND;
    }

    HRESULT STDMETHODCALLTYPE GetQualifierSet(IWbemQualifierSet**) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE Put(LPCWSTR, LONG, VARIANT*, CIMTYPE) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE Delete(LPCWSTR) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE GetNames(LPCWSTR, LONG, VARIANT*, SAFEARRAY**) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE BeginEnumeration(LONG) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE Next(LONG, BSTR*, VARIANT*, CIMTYPE*, LONG*) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE EndEnumeration() override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE GetPropertyQualifierSet(LPCWSTR, IWbemQualifierSet**) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE Clone(IWbemClassObject**) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE GetObjectText(LONG, BSTR*) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE SpawnDerivedClass(LONG, IWbemClassObject**) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE SpawnInstance(LONG, IWbemClassObject**) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE CompareTo(LONG, IWbemClassObject*) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE GetPropertyOrigin(LPCWSTR, BSTR*) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE InheritsFrom(LPCWSTR) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE GetMethod(LPCWSTR, LONG, IWbemClassObject**, IWbemClassObject**) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE PutMethod(LPCWSTR, LONG, IWbemClassObject*, IWbemClassObject*) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE DeleteMethod(LPCWSTR) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE BeginMethodEnumeration(LONG) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE NextMethod(LONG, BSTR*, IWbemClassObject**, IWbemClassObject**) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE EndMethodEnumeration() override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE GetMethodQualifierSet(LPCWSTR, IWbemQualifierSet**) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE GetMethodOrigin(LPCWSTR, BSTR*) override NOT_SUPPORTED

private:
    ~FakeStatus() = default;
};

// A forward-only enumeration of the one instance.
struct FakeInstances final : IEnumWbemClassObject {
    LiveObject live;
    DefenderProperties properties;
    bool given = false;

    FAKE_QUERY_INTERFACE(IID_IEnumWbemClassObject)
    FAKE_REFCOUNT

    HRESULT STDMETHODCALLTYPE Next(LONG, ULONG count, IWbemClassObject** objects, ULONG* returned) override {
        if (objects == nullptr || returned == nullptr) return WBEM_E_INVALID_PARAMETER;
        *returned = 0;
        if (count == 0 || given) return WBEM_S_FALSE;
        auto* status = new (std::nothrow) FakeStatus;
        if (status == nullptr) return WBEM_E_OUT_OF_MEMORY;
        status->properties = properties;
        objects[0] = status;
        *returned = 1;
        given = true;
        return count == 1 ? WBEM_S_NO_ERROR : WBEM_S_FALSE;
    }
    HRESULT STDMETHODCALLTYPE Reset() override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE NextAsync(ULONG, IWbemObjectSink*) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE Clone(IEnumWbemClassObject**) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE Skip(LONG, ULONG) override NOT_SUPPORTED

private:
    ~FakeInstances() = default;
};

// The code VELMORA_WMI_BLANKET_HRESULT names, if it is set.
bool blanketAnswer(HRESULT& hr) {
    wchar_t text[32];
    const DWORD length = GetEnvironmentVariableW(L"VELMORA_WMI_BLANKET_HRESULT", text, 32);
    if (length == 0 || length >= 32) return false;
    hr = static_cast<HRESULT>(wcstoul(text, nullptr, 16));
    return true;
}

// What CoSetProxyBlanket asks a proxy for: only SetBlanket is used.
struct FakeClientSecurity final : IClientSecurity {
    LiveObject live;
    HRESULT answer = S_OK;

    FAKE_QUERY_INTERFACE(IID_IClientSecurity)
    FAKE_REFCOUNT

    HRESULT STDMETHODCALLTYPE SetBlanket(IUnknown*, DWORD, DWORD, OLECHAR*, DWORD, DWORD, void*, DWORD) override {
        return answer;
    }
    HRESULT STDMETHODCALLTYPE QueryBlanket(IUnknown*, DWORD*, DWORD*, OLECHAR**, DWORD*, DWORD*, void**,
                                           DWORD*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE CopyProxy(IUnknown*, IUnknown**) override { return E_NOTIMPL; }

private:
    ~FakeClientSecurity() = default;
};

struct FakeServices final : IWbemServices {
    LiveObject live;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        *out = nullptr;
        HRESULT blanket = S_OK;
        if (sameGuid(iid, IID_IClientSecurity) && blanketAnswer(blanket)) {
            auto* security = new (std::nothrow) FakeClientSecurity;
            if (security == nullptr) return E_OUTOFMEMORY;
            security->answer = blanket;
            *out = static_cast<IClientSecurity*>(security);
            return S_OK;
        }
        if (!sameGuid(iid, IID_IUnknown) && !sameGuid(iid, IID_IWbemServices)) return E_NOINTERFACE;
        AddRef();
        *out = this;
        return S_OK;
    }
    FAKE_REFCOUNT

    // Reads status.json afresh and answers after its delay.
    HRESULT STDMETHODCALLTYPE ExecQuery(const BSTR language, const BSTR query, LONG, IWbemContext*,
                                        IEnumWbemClassObject** instances) override {
        if (instances == nullptr) return WBEM_E_INVALID_PARAMETER;
        *instances = nullptr;
        if (!sameText(language, L"WQL")) return WBEM_E_INVALID_QUERY_TYPE;
        if (!sameText(query, L"SELECT * FROM MSFT_MpComputerStatus")) return WBEM_E_INVALID_QUERY;
        auto* found = new (std::nothrow) FakeInstances;
        if (found == nullptr) return WBEM_E_OUT_OF_MEMORY;
        AcquireSRWLockExclusive(&g_serving);
        HRESULT hr = serveDefenderStatus(found->properties);
        ReleaseSRWLockExclusive(&g_serving);
        if (FAILED(hr)) {
            found->Release();
            return hr;
        }
        *instances = found;
        return WBEM_S_NO_ERROR;
    }

    HRESULT STDMETHODCALLTYPE OpenNamespace(const BSTR, LONG, IWbemContext*, IWbemServices**, IWbemCallResult**) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE CancelAsyncCall(IWbemObjectSink*) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE QueryObjectSink(LONG, IWbemObjectSink**) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE GetObject(const BSTR, LONG, IWbemContext*, IWbemClassObject**, IWbemCallResult**) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE GetObjectAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE PutClass(IWbemClassObject*, LONG, IWbemContext*, IWbemCallResult**) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE PutClassAsync(IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE DeleteClass(const BSTR, LONG, IWbemContext*, IWbemCallResult**) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE DeleteClassAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE CreateClassEnum(const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE CreateClassEnumAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE PutInstance(IWbemClassObject*, LONG, IWbemContext*, IWbemCallResult**) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE PutInstanceAsync(IWbemClassObject*, LONG, IWbemContext*, IWbemObjectSink*) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE DeleteInstance(const BSTR, LONG, IWbemContext*, IWbemCallResult**) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE DeleteInstanceAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE CreateInstanceEnum(const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE CreateInstanceEnumAsync(const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE ExecQueryAsync(const BSTR, const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE ExecNotificationQuery(const BSTR, const BSTR, LONG, IWbemContext*, IEnumWbemClassObject**) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE ExecNotificationQueryAsync(const BSTR, const BSTR, LONG, IWbemContext*, IWbemObjectSink*) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE ExecMethod(const BSTR, const BSTR, LONG, IWbemContext*, IWbemClassObject*, IWbemClassObject**, IWbemCallResult**) override NOT_SUPPORTED
    HRESULT STDMETHODCALLTYPE ExecMethodAsync(const BSTR, const BSTR, LONG, IWbemContext*, IWbemClassObject*, IWbemObjectSink*) override NOT_SUPPORTED

private:
    ~FakeServices() = default;
};

struct FakeLocator final : IWbemLocator {
    LiveObject live;

    FAKE_QUERY_INTERFACE(IID_IWbemLocator)
    FAKE_REFCOUNT

    // No status.json: no Defender, so its namespace does not exist.
    HRESULT STDMETHODCALLTYPE ConnectServer(const BSTR resource, const BSTR, const BSTR, const BSTR, LONG, const BSTR,
                                            IWbemContext*, IWbemServices** services) override {
        if (services == nullptr) return WBEM_E_INVALID_PARAMETER;
        *services = nullptr;
        if (!sameText(resource, L"ROOT\\Microsoft\\Windows\\Defender") || !defenderStatusFilePresent()) {
            return WBEM_E_INVALID_NAMESPACE;
        }
        auto* connected = new (std::nothrow) FakeServices;
        if (connected == nullptr) return WBEM_E_OUT_OF_MEMORY;
        *services = connected;
        return WBEM_S_NO_ERROR;
    }

private:
    ~FakeLocator() = default;
};

HRESULT createServed(REFIID iid, void** out) {
    auto* locator = new (std::nothrow) FakeLocator;
    if (locator == nullptr) return E_OUTOFMEMORY;
    HRESULT hr = locator->QueryInterface(iid, out);
    locator->Release();
    return hr;
}

fake_com::ClassFactory g_factory(createServed);

}  // namespace

extern "C" {

HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* out) {
    return fake_com::getClassObject(g_factory, CLSID_WbemLocator, clsid, iid, out);
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() { return fake_com::canUnloadNow(g_factory, g_liveObjects); }

// When the DLL leaves the process, the objects still alive are the ones the
// program never released. With VELMORA_WMI_LIVE_REPORT naming a file, their
// number is written there, so that tests can require it to be 0.
BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_DETACH) return TRUE;
    AcquireSRWLockExclusive(&g_serving);
    ReleaseSRWLockExclusive(&g_serving);
    wchar_t path[1024];
    DWORD length = GetEnvironmentVariableW(L"VELMORA_WMI_LIVE_REPORT", path, 1024);
    if (length == 0 || length >= 1024) return TRUE;
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return TRUE;
    char text[32];
    int size = wsprintfA(text, "%ld", InterlockedCompareExchange(&g_liveObjects, 0, 0));
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(size), &written, nullptr);
    CloseHandle(file);
    return TRUE;
}

}  // extern "C"
