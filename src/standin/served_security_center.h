// A Security Center that serves the products a products.json describes,
// with the failures it injects. Portable: the Linux stand-in and the test
// COM server for Windows both answer through these functions, so they give
// the same answers for the same file.
#pragma once

#include <cstdint>

#include "standin/products_file.h"

namespace velmora {

struct ServedList {
    ServedProducts served;
    std::uint32_t provider = 0;
    bool initialized = false;
};

struct ServedItem {
    ServedProduct data;
    // What each getter returns: kHrOk or an injected code, indexed by ScCall.
    std::int32_t results[SC_CALL_GET_PRODUCT_STATE_TIMESTAMP + 1] = {};
    // Whether that getter's failure leaves a dangling out pointer.
    bool danglingOut[SC_CALL_GET_PRODUCT_STATE_TIMESTAMP + 1] = {};
};

// Creation: reads products.json afresh (kHrClassNotRegistered when missing,
// kHrFail when unusable), waits for its "delay_ms", then applies an injected
// CoCreateInstance code.
std::int32_t serveCreateList(ServedList& list);
std::int32_t serveInitialize(ServedList& list, std::uint32_t provider);
std::int32_t serveCount(const ServedList& list, std::int32_t& count);
std::int32_t serveItem(const ServedList& list, std::uint32_t index, ServedItem& item);

// The getters. call names which one; on failure the outputs are untouched
// (texts: not present).
std::int32_t serveText(const ServedItem& item, ScCall call, ServedText& out);
std::int32_t serveNumber(const ServedItem& item, ScCall call, std::int32_t& out);

}  // namespace velmora
