// Linux stand-in for the Security Center: the product list is served from
// <ProgramData>/SecurityCenter/products.json, read afresh at each creation.
#include "inventory/security_center.h"

#include <new>

#include "inventory/products_file.h"

struct ScProductList {
    ServedProducts served;
    std::uint32_t provider = 0;
    bool initialized = false;
};

struct ScProduct {
    ServedProduct data;
    // What each getter returns besides its value: kHrOk, or an injected code.
    std::int32_t nameResult = kHrOk;
    std::int32_t stateResult = kHrOk;
    std::int32_t signatureResult = kHrOk;
    std::int32_t pathResult = kHrOk;
    std::int32_t timestampResult = kHrOk;
};

namespace {

std::int32_t resultOf(const ServedProducts& served, ScCall call, std::uint32_t provider, std::uint64_t index) {
    std::int32_t code = kHrOk;
    return findInjectedFailure(served, call, provider, index, code) ? code : kHrOk;
}

const std::vector<ServedProduct>& productsOf(const ScProductList& list) {
    static const std::vector<ServedProduct> none;
    const auto* products = list.initialized ? servedProductsOf(list.served, list.provider) : nullptr;
    return products ? *products : none;
}

std::int32_t serveText(std::int32_t result, const ServedText& served, ScText& out) {
    out = ScText{};
    if (result < 0) return result;
    out.present = served.present;
    out.text = served.text;
    return result;
}

}  // namespace

std::int32_t scStart() { return kHrOk; }

void scStop() {}

std::int32_t scCreateProductList(ScProductList** list) {
    if (list == nullptr) return kHrPointer;
    *list = nullptr;
    ServedProducts served;
    std::int32_t hr = loadServedProducts(servedProductsPath(), served);
    if (hr < 0) return hr;
    hr = resultOf(served, SC_CALL_CO_CREATE_INSTANCE, 0, 0);
    if (hr < 0) return hr;
    auto* created = new (std::nothrow) ScProductList;
    if (created == nullptr) return static_cast<std::int32_t>(0x8007000Eu);  // E_OUTOFMEMORY
    created->served = std::move(served);
    *list = created;
    return hr;
}

std::int32_t scInitialize(ScProductList* list, std::uint32_t provider) {
    if (list == nullptr) return kHrPointer;
    std::int32_t hr = resultOf(list->served, SC_CALL_INITIALIZE, provider, 0);
    if (hr < 0) return hr;
    if (servedProductsOf(list->served, provider) == nullptr) return kHrInvalidArg;
    list->provider = provider;
    list->initialized = true;
    return hr;
}

std::int32_t scGetCount(ScProductList* list, std::int32_t* count) {
    if (list == nullptr || count == nullptr) return kHrPointer;
    std::int32_t hr = resultOf(list->served, SC_CALL_GET_COUNT, list->provider, 0);
    if (hr < 0) return hr;
    const std::size_t size = productsOf(*list).size();
    *count = size > 0x7fffffff ? 0x7fffffff : static_cast<std::int32_t>(size);
    return hr;
}

std::int32_t scGetItem(ScProductList* list, std::uint32_t index, ScProduct** product) {
    if (list == nullptr || product == nullptr) return kHrPointer;
    *product = nullptr;
    const ServedProducts& served = list->served;
    const std::uint32_t provider = list->provider;
    std::int32_t hr = resultOf(served, SC_CALL_GET_ITEM, provider, index);
    if (hr < 0) return hr;
    const auto& products = productsOf(*list);
    if (index >= products.size()) return kHrInvalidArg;
    auto* item = new (std::nothrow) ScProduct;
    if (item == nullptr) return static_cast<std::int32_t>(0x8007000Eu);
    item->data = products[index];
    item->nameResult = resultOf(served, SC_CALL_GET_PRODUCT_NAME, provider, index);
    item->stateResult = resultOf(served, SC_CALL_GET_PRODUCT_STATE, provider, index);
    item->signatureResult = resultOf(served, SC_CALL_GET_SIGNATURE_STATUS, provider, index);
    item->pathResult = resultOf(served, SC_CALL_GET_REMEDIATION_PATH, provider, index);
    item->timestampResult = resultOf(served, SC_CALL_GET_PRODUCT_STATE_TIMESTAMP, provider, index);
    *product = item;
    return hr;
}

void scReleaseList(ScProductList* list) { delete list; }

std::int32_t scGetProductName(ScProduct* product, ScText& name) {
    if (product == nullptr) return kHrPointer;
    return serveText(product->nameResult, product->data.name, name);
}

std::int32_t scGetProductState(ScProduct* product, std::int32_t* state) {
    if (product == nullptr || state == nullptr) return kHrPointer;
    if (product->stateResult >= 0) *state = product->data.state;
    return product->stateResult;
}

std::int32_t scGetSignatureStatus(ScProduct* product, std::int32_t* status) {
    if (product == nullptr || status == nullptr) return kHrPointer;
    if (product->signatureResult >= 0) *status = product->data.signatureStatus;
    return product->signatureResult;
}

std::int32_t scGetRemediationPath(ScProduct* product, ScText& path) {
    if (product == nullptr) return kHrPointer;
    return serveText(product->pathResult, product->data.remediationPath, path);
}

std::int32_t scGetProductStateTimestamp(ScProduct* product, ScText& timestamp) {
    if (product == nullptr) return kHrPointer;
    return serveText(product->timestampResult, product->data.timestamp, timestamp);
}

void scReleaseProduct(ScProduct* product) { delete product; }
