// Windows: the Security Center's own COM product list. The handles handed
// out are the COM interface pointers themselves.
#include "inventory/security_center.h"

#include "inventory/wsc_interfaces_win.h"

namespace velmora {

namespace {

IWSCProductList* comList(ScProductList* list) { return reinterpret_cast<IWSCProductList*>(list); }
IWscProduct* comProduct(ScProduct* product) { return reinterpret_cast<IWscProduct*>(product); }

// Copies exactly SysStringLen code units (a BSTR may hold NULs) and frees
// the string.
void takeString(BSTR value, ScText& out) {
    out = ScText{};
    if (value == nullptr) return;
    out.present = true;
    out.text.assign(reinterpret_cast<const char16_t*>(value), SysStringLen(value));
    SysFreeString(value);
}

using TextGetter = HRESULT (STDMETHODCALLTYPE IWscProduct::*)(BSTR*);
using NumberGetter = HRESULT (STDMETHODCALLTYPE IWscProduct::*)(LONG*);

std::int32_t getText(ScProduct* product, TextGetter getter, ScText& out) {
    out = ScText{};
    if (product == nullptr) return E_POINTER;
    BSTR value = nullptr;
    HRESULT hr = (comProduct(product)->*getter)(&value);
    // After a failure the out value means nothing, even when the server left
    // something there: it is neither read nor freed.
    if (SUCCEEDED(hr)) takeString(value, out);
    return hr;
}

std::int32_t getNumber(ScProduct* product, NumberGetter getter, std::int32_t* out) {
    if (product == nullptr || out == nullptr) return E_POINTER;
    LONG value = 0;
    HRESULT hr = (comProduct(product)->*getter)(&value);
    if (SUCCEEDED(hr)) *out = value;
    return hr;
}

}  // namespace

std::int32_t scStart() { return CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED); }

void scStop() { CoUninitialize(); }

std::int32_t scCreateProductList(ScProductList** list) {
    if (list == nullptr) return E_POINTER;
    IWSCProductList* created = nullptr;
    HRESULT hr = CoCreateInstance(kClsidWscProductList, nullptr, CLSCTX_INPROC_SERVER, kIidWscProductList,
                                  reinterpret_cast<void**>(&created));
    // A pointer left behind by a failed call is no object of ours to release.
    *list = SUCCEEDED(hr) ? reinterpret_cast<ScProductList*>(created) : nullptr;
    return hr;
}

std::int32_t scInitialize(ScProductList* list, std::uint32_t provider) {
    if (list == nullptr) return E_POINTER;
    return comList(list)->Initialize(provider);
}

std::int32_t scGetCount(ScProductList* list, std::int32_t* count) {
    if (list == nullptr || count == nullptr) return E_POINTER;
    LONG value = 0;
    HRESULT hr = comList(list)->get_Count(&value);
    if (SUCCEEDED(hr)) *count = value;
    return hr;
}

std::int32_t scGetItem(ScProductList* list, std::uint32_t index, ScProduct** product) {
    if (list == nullptr || product == nullptr) return E_POINTER;
    IWscProduct* item = nullptr;
    HRESULT hr = comList(list)->get_Item(index, &item);
    // A pointer left behind by a failed call is no object of ours to release.
    *product = SUCCEEDED(hr) ? reinterpret_cast<ScProduct*>(item) : nullptr;
    return hr;
}

void scReleaseList(ScProductList* list) {
    if (list != nullptr) comList(list)->Release();
}

std::int32_t scGetProductName(ScProduct* product, ScText& name) {
    return getText(product, &IWscProduct::get_ProductName, name);
}

std::int32_t scGetProductState(ScProduct* product, std::int32_t* state) {
    return getNumber(product, &IWscProduct::get_ProductState, state);
}

std::int32_t scGetSignatureStatus(ScProduct* product, std::int32_t* status) {
    return getNumber(product, &IWscProduct::get_SignatureStatus, status);
}

std::int32_t scGetRemediationPath(ScProduct* product, ScText& path) {
    return getText(product, &IWscProduct::get_RemediationPath, path);
}

std::int32_t scGetProductStateTimestamp(ScProduct* product, ScText& timestamp) {
    return getText(product, &IWscProduct::get_ProductStateTimestamp, timestamp);
}

void scReleaseProduct(ScProduct* product) {
    if (product != nullptr) comProduct(product)->Release();
}

}  // namespace velmora
