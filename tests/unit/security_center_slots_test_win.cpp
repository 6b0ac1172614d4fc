// Each Windows wrapper of the Security Center calls the vtable slot that
// Microsoft's iwscapi.h gives its method. The test COM server is built from
// the program's own wsc_interfaces_win.h, so a method declared out of order
// there would pass every other test. The object here knows no interface at
// all: slot i of its vtable only records i.
//
// Slots (IWSCProductList and IWscProduct both derive from IDispatch):
// IUnknown 0-2 (QueryInterface, AddRef, Release), IDispatch 3-6;
// IWSCProductList: Initialize 7, get_Count 8, get_Item 9;
// IWscProduct: get_ProductName 7, get_ProductState 8, get_SignatureStatus 9,
// get_RemediationPath 10, get_ProductStateTimestamp 11, get_ProductGuid 12,
// get_ProductIsDefault 13.
#include "inventory/security_center.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <utility>
#include <vector>

namespace velmora {

namespace {

struct SlotRecorder;
// Every method of both interfaces takes at most two arguments after the
// object, each in a register on x64, so one signature serves every slot.
using Slot = HRESULT(STDMETHODCALLTYPE*)(SlotRecorder*, void*, void*);

struct SlotRecorder {
    const Slot* vtable;  // where a COM object keeps its vtable pointer
    std::vector<int> calls;
};

// Records its slot and fails, so that no wrapper goes on to a further call.
template <int Index>
HRESULT STDMETHODCALLTYPE recordSlot(SlotRecorder* self, void*, void*) {
    self->calls.push_back(Index);
    return E_FAIL;
}

template <int... Index>
constexpr std::array<Slot, sizeof...(Index)> makeVtable(std::integer_sequence<int, Index...>) {
    return {&recordSlot<Index>...};
}

constexpr auto kVtable = makeVtable(std::make_integer_sequence<int, 14>());

}  // namespace

TEST(SecurityCenterSlots, EachWrapperCallsTheSlotOfItsMethod) {
    struct Case {
        const char* wrapper;
        std::function<void(ScProductList*, ScProduct*)> call;
        int slot;
    };
    std::int32_t number = 0;
    ScText text;
    ScProduct* item = nullptr;
    const Case cases[] = {
        {"scInitialize", [&](ScProductList* l, ScProduct*) { scInitialize(l, 4); }, 7},
        {"scGetCount", [&](ScProductList* l, ScProduct*) { scGetCount(l, &number); }, 8},
        {"scGetItem", [&](ScProductList* l, ScProduct*) { scGetItem(l, 0, &item); }, 9},
        {"scReleaseList", [&](ScProductList* l, ScProduct*) { scReleaseList(l); }, 2},
        {"scGetProductName", [&](ScProductList*, ScProduct* p) { scGetProductName(p, text); }, 7},
        {"scGetProductState", [&](ScProductList*, ScProduct* p) { scGetProductState(p, &number); }, 8},
        {"scGetSignatureStatus", [&](ScProductList*, ScProduct* p) { scGetSignatureStatus(p, &number); }, 9},
        {"scGetRemediationPath", [&](ScProductList*, ScProduct* p) { scGetRemediationPath(p, text); }, 10},
        {"scGetProductStateTimestamp", [&](ScProductList*, ScProduct* p) { scGetProductStateTimestamp(p, text); },
         11},
        {"scReleaseProduct", [&](ScProductList*, ScProduct* p) { scReleaseProduct(p); }, 2},
    };
    for (const auto& c : cases) {
        // The handles are the COM interface pointers themselves.
        SlotRecorder recorder{kVtable.data(), {}};
        c.call(reinterpret_cast<ScProductList*>(&recorder), reinterpret_cast<ScProduct*>(&recorder));
        EXPECT_EQ(recorder.calls, std::vector<int>{c.slot}) << c.wrapper;
    }
}

}  // namespace velmora
