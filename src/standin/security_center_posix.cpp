// Linux stand-in for the Security Center: the product list is served from
// <ProgramData>/SecurityCenter/products.json, read afresh at each creation.
#include "inventory/security_center.h"

#include <new>

#include "common/status_codes.h"
#include "standin/served_security_center.h"

namespace velmora {

struct ScProductList {
    ServedList served;
};

struct ScProduct {
    ServedItem served;
};

namespace {

std::int32_t getText(ScProduct* product, ScCall call, ScText& out) {
    out = ScText{};
    if (product == nullptr) return kHrPointer;
    ServedText text;
    const std::int32_t hr = serveText(product->served, call, text);
    out.present = text.present;
    out.text = std::move(text.text);
    return hr;
}

std::int32_t getNumber(ScProduct* product, ScCall call, std::int32_t* out) {
    if (product == nullptr || out == nullptr) return kHrPointer;
    return serveNumber(product->served, call, *out);
}

}  // namespace

std::int32_t scStart() { return kHrOk; }

void scStop() {}

std::int32_t scCreateProductList(ScProductList** list) {
    if (list == nullptr) return kHrPointer;
    *list = nullptr;
    auto* created = new (std::nothrow) ScProductList;
    if (created == nullptr) return kHrOutOfMemory;
    const std::int32_t hr = serveCreateList(created->served);
    if (hr < 0) {
        delete created;
        return hr;
    }
    *list = created;
    return hr;
}

std::int32_t scInitialize(ScProductList* list, std::uint32_t provider) {
    if (list == nullptr) return kHrPointer;
    return serveInitialize(list->served, provider);
}

std::int32_t scGetCount(ScProductList* list, std::int32_t* count) {
    if (list == nullptr || count == nullptr) return kHrPointer;
    return serveCount(list->served, *count);
}

std::int32_t scGetItem(ScProductList* list, std::uint32_t index, ScProduct** product) {
    if (list == nullptr || product == nullptr) return kHrPointer;
    *product = nullptr;
    auto* item = new (std::nothrow) ScProduct;
    if (item == nullptr) return kHrOutOfMemory;
    const std::int32_t hr = serveItem(list->served, index, item->served);
    if (hr < 0) {
        delete item;
        return hr;
    }
    *product = item;
    return hr;
}

void scReleaseList(ScProductList* list) { delete list; }

std::int32_t scGetProductName(ScProduct* product, ScText& name) {
    return getText(product, SC_CALL_GET_PRODUCT_NAME, name);
}

std::int32_t scGetProductState(ScProduct* product, std::int32_t* state) {
    return getNumber(product, SC_CALL_GET_PRODUCT_STATE, state);
}

std::int32_t scGetSignatureStatus(ScProduct* product, std::int32_t* status) {
    return getNumber(product, SC_CALL_GET_SIGNATURE_STATUS, status);
}

std::int32_t scGetRemediationPath(ScProduct* product, ScText& path) {
    return getText(product, SC_CALL_GET_REMEDIATION_PATH, path);
}

std::int32_t scGetProductStateTimestamp(ScProduct* product, ScText& timestamp) {
    return getText(product, SC_CALL_GET_PRODUCT_STATE_TIMESTAMP, timestamp);
}

void scReleaseProduct(ScProduct* product) { delete product; }

}  // namespace velmora
