// Access to the Security Center's product list, one call per operation the
// enumeration makes. Windows talks to the real COM class; the Linux build
// serves <ProgramData>/SecurityCenter/products.json instead. Every call
// returns the HRESULT of the underlying operation (negative: failure).
//
// Texts come back already copied out of the COM string (exactly SysStringLen
// code units) and the COM string freed, so the caller never holds one.
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

// Opaque handles; release each with its release function.
struct ScProductList;
struct ScProduct;

struct ScText {
    bool present = false;  // false when the Security Center returned a null string
    std::u16string text;
};

// COM for the calling thread, single-threaded apartment (CoInitializeEx /
// CoUninitialize). scStop only after an scStart that did not fail.
std::int32_t scStart();
void scStop();

// CoCreateInstance of the product list. On failure *list is nullptr.
std::int32_t scCreateProductList(ScProductList** list);
std::int32_t scInitialize(ScProductList* list, std::uint32_t provider);
std::int32_t scGetCount(ScProductList* list, std::int32_t* count);
// On failure *product is nullptr.
std::int32_t scGetItem(ScProductList* list, std::uint32_t index, ScProduct** product);
void scReleaseList(ScProductList* list);

std::int32_t scGetProductName(ScProduct* product, ScText& name);
std::int32_t scGetProductState(ScProduct* product, std::int32_t* state);
std::int32_t scGetSignatureStatus(ScProduct* product, std::int32_t* status);
std::int32_t scGetRemediationPath(ScProduct* product, ScText& path);
std::int32_t scGetProductStateTimestamp(ScProduct* product, ScText& timestamp);
void scReleaseProduct(ScProduct* product);

}  // namespace velmora
