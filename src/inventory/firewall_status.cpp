#include "inventory/firewall_status.h"

#include <exception>
#include <memory>

#include "common/status_codes.h"
#include "inventory/defender_status.h"
#include "log/logger.h"

namespace velmora {

namespace {

// The three profiles that exist; other bits of the mask are not profiles.
constexpr std::uint32_t kAllProfiles = kFirewallProfileDomain | kFirewallProfilePrivate | kFirewallProfilePublic;

FirewallReading readFirewallStatus() {
    // Creating the object or any getter may hang (the firewall service is
    // busy or hung): only a separate thread lets the run stop waiting.
    auto profiles = std::make_shared<FirewallProfiles>();
    const BoundedAnswer answer =
        callWithinBound([profiles] { return askFirewallPolicy(*profiles); }, kDefenderTimeBound);
    FirewallReading reading;
    reading.outcome = answer.outcome;
    reading.hresult = answer.outcome == BoundedOutcome::TimedOut ? kHrUnexpected : answer.hresult;
    if (answer.outcome == BoundedOutcome::Answered) reading.profiles = *profiles;
    return reading;
}

void logUnanswered(const FirewallReading& reading) {
    if (reading.outcome == BoundedOutcome::TimedOut) {
        avLogger->info("Windows Firewall's status did not answer within {} seconds; going on without it",
                       std::chrono::duration_cast<std::chrono::seconds>(kDefenderTimeBound).count());
    } else if (reading.outcome == BoundedOutcome::Failed) {
        // The same signed hex as the Security Center's error lines.
        avLogger->info("Windows Firewall's status cannot be read either, error = {:08x}", reading.hresult);
    }
}

}  // namespace

const FirewallReading& firewallStatusOfThisRun() {
    static const FirewallReading reading = [] {
        FirewallReading first;
        try {
            first = readFirewallStatus();
        } catch (const std::exception&) {
            // No memory or no thread: as if the object had failed.
            first = FirewallReading{};
            first.hresult = kHrUnexpected;
        }
        logUnanswered(first);
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
