// What a worker thread that asks a COM object needs on Windows (Defender's
// WMI provider, Windows Firewall's policy object): its own apartment, and
// interface pointers released before it leaves that apartment.
#pragma once

#include <windows.h>
#include <objbase.h>

namespace velmora {

// An interface pointer released when it leaves scope.
template <typename T>
struct ComRef {
    T* p = nullptr;
    ComRef() = default;
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() {
        if (p != nullptr) p->Release();
    }
    void** out() { return reinterpret_cast<void**>(&p); }
};

// The worker thread has no apartment yet: it joins the multithreaded one,
// which never needs a message loop, and leaves it when the question is done.
struct MultithreadedApartment {
    HRESULT started = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    MultithreadedApartment() = default;
    MultithreadedApartment(const MultithreadedApartment&) = delete;
    MultithreadedApartment& operator=(const MultithreadedApartment&) = delete;
    ~MultithreadedApartment() {
        if (SUCCEEDED(started)) CoUninitialize();
    }
};

}  // namespace velmora
