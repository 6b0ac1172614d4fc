#include "standin/served_security_center.h"

#include <chrono>
#include <thread>

namespace velmora {

namespace {

std::int32_t injected(const ServedProducts& served, ScCall call, std::uint32_t provider, std::uint64_t index) {
    const InjectedFailure* failure = findInjectedFailure(served, call, provider, index);
    return failure != nullptr ? failure->hresult : kHrOk;
}

const std::vector<ServedProduct>& productsOf(const ServedList& list) {
    static const std::vector<ServedProduct> none;
    const auto* products = list.initialized ? servedProductsOf(list.served, list.provider) : nullptr;
    return products ? *products : none;
}

bool isTextCall(ScCall call) {
    return call == SC_CALL_GET_PRODUCT_NAME || call == SC_CALL_GET_REMEDIATION_PATH ||
           call == SC_CALL_GET_PRODUCT_STATE_TIMESTAMP;
}

bool isNumberCall(ScCall call) { return call == SC_CALL_GET_PRODUCT_STATE || call == SC_CALL_GET_SIGNATURE_STATUS; }

}  // namespace

std::int32_t serveCreateList(ServedList& list) {
    list = ServedList{};
    std::int32_t hr = loadServedProducts(servedProductsPath(), list.served);
    if (hr < 0) return hr;
    std::this_thread::sleep_for(std::chrono::milliseconds(list.served.delayMs));
    return injected(list.served, SC_CALL_CO_CREATE_INSTANCE, 0, 0);
}

std::int32_t serveInitialize(ServedList& list, std::uint32_t provider) {
    std::int32_t hr = injected(list.served, SC_CALL_INITIALIZE, provider, 0);
    if (hr < 0) return hr;
    if (servedProductsOf(list.served, provider) == nullptr) return kHrInvalidArg;
    list.provider = provider;
    list.initialized = true;
    return hr;
}

std::int32_t serveCount(const ServedList& list, std::int32_t& count) {
    std::int32_t hr = injected(list.served, SC_CALL_GET_COUNT, list.provider, 0);
    if (hr < 0) return hr;
    const std::size_t size = productsOf(list).size();
    count = size > 0x7fffffff ? 0x7fffffff : static_cast<std::int32_t>(size);
    return hr;
}

std::int32_t serveItem(const ServedList& list, std::uint32_t index, ServedItem& item) {
    std::int32_t hr = injected(list.served, SC_CALL_GET_ITEM, list.provider, index);
    if (hr < 0) return hr;
    const auto& products = productsOf(list);
    if (index >= products.size()) return kHrInvalidArg;
    item.data = products[index];
    for (int call = SC_CALL_GET_PRODUCT_NAME; call <= SC_CALL_GET_PRODUCT_STATE_TIMESTAMP; ++call) {
        const InjectedFailure* failure =
            findInjectedFailure(list.served, static_cast<ScCall>(call), list.provider, index);
        item.results[call] = failure != nullptr ? failure->hresult : kHrOk;
        item.danglingOut[call] = failure != nullptr && failure->danglingOut;
    }
    return hr;
}

std::int32_t serveText(const ServedItem& item, ScCall call, ServedText& out) {
    out = ServedText{};
    if (!isTextCall(call)) return kHrInvalidArg;
    const std::int32_t hr = item.results[call];
    if (hr < 0) return hr;
    if (call == SC_CALL_GET_PRODUCT_NAME) out = item.data.name;
    else if (call == SC_CALL_GET_REMEDIATION_PATH) out = item.data.remediationPath;
    else out = item.data.timestamp;
    return hr;
}

std::int32_t serveNumber(const ServedItem& item, ScCall call, std::int32_t& out) {
    if (!isNumberCall(call)) return kHrInvalidArg;
    const std::int32_t hr = item.results[call];
    if (hr < 0) return hr;
    out = call == SC_CALL_GET_PRODUCT_STATE ? item.data.state : item.data.signatureStatus;
    return hr;
}

}  // namespace velmora
