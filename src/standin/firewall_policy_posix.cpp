// Linux stand-in for Windows Firewall's policy object: the answers are served
// from <ProgramData>/Firewall/status.json, read afresh at each question.
#include "inventory/firewall_policy.h"

#include "standin/firewall_status_file.h"

namespace velmora {

std::int32_t askFirewallPolicy(FirewallProfiles& profiles) {
    profiles = FirewallProfiles{};
    FirewallStatusFile status;
    std::int32_t hr = loadFirewallStatus(status);
    if (hr < 0) return hr;
    std::int32_t current = 0;
    hr = serveCurrentProfileTypes(status, current);
    if (hr < 0) return hr;
    profiles.current = static_cast<std::uint32_t>(current);
    for (std::uint32_t profile : kFirewallProfiles) {
        if ((profiles.current & profile) == 0) continue;
        bool on = false;
        hr = serveFirewallEnabled(status, profile, on);
        if (hr < 0) return hr;
        if (on) profiles.enabled |= profile;
    }
    return 0;
}

}  // namespace velmora
