// Windows: Windows Firewall's status through its policy object, the way
// Microsoft's samples read it: CoCreateInstance of HNetCfg.FwPolicy2, then
// INetFwPolicy2::get_CurrentProfileTypes and get_FirewallEnabled.
#include "inventory/firewall_policy.h"

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <netfw.h>

#include "inventory/com_worker_win.h"

namespace velmora {

namespace {

// NetFwPolicy2, HNetCfg.FwPolicy2. On a machine whose firewall component is
// missing, CoCreateInstance fails with REGDB_E_CLASSNOTREG.
constexpr CLSID kClsidNetFwPolicy2 = {0xE2B3C97F, 0x6AE1, 0x41AC, {0x81, 0x7A, 0xF6, 0xF9, 0x21, 0x66, 0xD7, 0xDD}};

HRESULT askInApartment(FirewallProfiles& profiles) {
    // The object is in-process (FirewallAPI.dll) and talks to the firewall
    // service itself: no proxy blanket to set.
    ComRef<INetFwPolicy2> policy;
    HRESULT hr = CoCreateInstance(kClsidNetFwPolicy2, nullptr, CLSCTX_INPROC_SERVER, __uuidof(INetFwPolicy2),
                                  policy.out());
    if (FAILED(hr)) return hr;
    // A bit mask of the profiles of the networks the machine is connected to
    // now (more than one when it is on several networks).
    LONG current = 0;
    hr = policy.p->get_CurrentProfileTypes(&current);
    if (FAILED(hr)) return hr;
    profiles.current = static_cast<std::uint32_t>(current);
    for (std::uint32_t profile : kFirewallProfiles) {
        if ((profiles.current & profile) == 0) continue;
        VARIANT_BOOL on = VARIANT_FALSE;
        hr = policy.p->get_FirewallEnabled(static_cast<NET_FW_PROFILE_TYPE2>(profile), &on);
        if (FAILED(hr)) return hr;
        if (on != VARIANT_FALSE) profiles.enabled |= profile;
    }
    return S_OK;
}

}  // namespace

std::int32_t askFirewallPolicy(FirewallProfiles& profiles) {
    profiles = FirewallProfiles{};
    MultithreadedApartment apartment;
    if (FAILED(apartment.started)) return apartment.started;
    // The object is released before the apartment is left.
    return askInApartment(profiles);
}

}  // namespace velmora
