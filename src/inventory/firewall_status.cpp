#include "inventory/firewall_status.h"

#include "inventory/defender_status.h"

namespace velmora {

namespace {

// The three profiles that exist; other bits of the mask are not profiles.
constexpr std::uint32_t kAllProfiles = kFirewallProfileDomain | kFirewallProfilePrivate | kFirewallProfilePublic;

}  // namespace

const FirewallReading& firewallStatusOfThisRun() {
    static const FirewallReading reading = [] {
        // Creating the object or any getter may hang (the firewall service is
        // busy or hung): it is asked on a worker thread, within the bound.
        FirewallReading first;
        const BoundedAnswer answer =
            askStatusWithinBound("Windows Firewall's status", askFirewallPolicy, kDefenderTimeBound, first.profiles);
        first.outcome = answer.outcome;
        first.hresult = answer.hresult;
        return first;
    }();
    return reading;
}

std::int32_t firewallProductState(const FirewallProfiles& profiles) {
    const std::uint32_t current = profiles.current & kAllProfiles;
    const bool on = current != 0 && (profiles.enabled & current) == current;
    return on ? 0 : 1;
}

}  // namespace velmora
