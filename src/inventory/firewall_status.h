// Windows Firewall's status as the inventory uses it: asked of its policy
// object (firewall_policy.h) at most once per run and never for longer than
// kDefenderTimeBound, then turned into the firewall kind's one product.
#pragma once

#include <cstdint>

#include "inventory/bounded_call.h"
#include "inventory/firewall_policy.h"

namespace velmora {

constexpr const char* kFirewallProductName = "Windows Firewall";

struct FirewallReading {
    BoundedOutcome outcome = BoundedOutcome::Failed;
    std::int32_t hresult = 0;   // the object's code when it failed
    FirewallProfiles profiles;  // filled when it answered
};

// This run's reading: asked on first use, within the bound Defender's status
// has, and kept. Logs on that first use when the object did not answer. Call
// it on the run's thread only.
const FirewallReading& firewallStatusOfThisRun();

// The Security Center's product state for the firewall: 0 on when it is
// enabled in every current profile, else 1 off (also when no profile is
// current: nothing shows that any network is guarded).
std::int32_t firewallProductState(const FirewallProfiles& profiles);

}  // namespace velmora
