// The Security Center's product-list interfaces (iwscapi.h of the Windows
// SDK), which MinGW-w64 does not ship. The method order is the vtable order
// and must not change. Windows only; shared with the test COM server.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oaidl.h>
#include <oleauto.h>

// CLSID_WSCProductList {17072F7B-9ABE-4A74-A261-1EB76B55107A}
constexpr CLSID kClsidWscProductList = {
    0x17072F7B, 0x9ABE, 0x4A74, {0xA2, 0x61, 0x1E, 0xB7, 0x6B, 0x55, 0x10, 0x7A}};
// IID_IWSCProductList {722A338C-6E8E-4E72-AC27-1417FB0C81C2}
constexpr IID kIidWscProductList = {
    0x722A338C, 0x6E8E, 0x4E72, {0xAC, 0x27, 0x14, 0x17, 0xFB, 0x0C, 0x81, 0xC2}};
// IID_IWscProduct {8C38232E-3A45-4A27-92B0-1A16A975F669}
constexpr IID kIidWscProduct = {
    0x8C38232E, 0x3A45, 0x4A27, {0x92, 0xB0, 0x1A, 0x16, 0xA9, 0x75, 0xF6, 0x69}};

struct IWscProduct : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE get_ProductName(BSTR* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ProductState(LONG* state) = 0;  // WSC_SECURITY_PRODUCT_STATE
    virtual HRESULT STDMETHODCALLTYPE get_SignatureStatus(LONG* status) = 0;  // WSC_SECURITY_SIGNATURE_STATUS
    virtual HRESULT STDMETHODCALLTYPE get_RemediationPath(BSTR* path) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ProductStateTimestamp(BSTR* timestamp) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ProductGuid(BSTR* guid) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ProductIsDefault(BOOL* isDefault) = 0;
};

struct IWSCProductList : public IDispatch {
    virtual HRESULT STDMETHODCALLTYPE Initialize(ULONG provider) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Count(LONG* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Item(ULONG index, IWscProduct** product) = 0;
};
