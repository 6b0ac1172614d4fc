// Windows Firewall's own status: its policy object INetFwPolicy2 (ProgID
// HNetCfg.FwPolicy2). Windows asks the object; the Linux build reads
// <ProgramData>/Firewall/status.json instead. Only the blocking questions
// differ per platform; the time bound and what the answer means live in
// firewall_status.h.
#pragma once

#include <cstdint>

namespace velmora {

// The profiles of NET_FW_PROFILE_TYPE2 the program asks about.
constexpr std::uint32_t kFirewallProfileDomain = 1;
constexpr std::uint32_t kFirewallProfilePrivate = 2;
constexpr std::uint32_t kFirewallProfilePublic = 4;
constexpr std::uint32_t kFirewallProfiles[] = {kFirewallProfileDomain, kFirewallProfilePrivate,
                                               kFirewallProfilePublic};

struct FirewallProfiles {
    std::uint32_t current = 0;  // get_CurrentProfileTypes
    std::uint32_t enabled = 0;  // the current profiles get_FirewallEnabled called on
};

// Asks the object once, however long it takes: get_CurrentProfileTypes, then
// get_FirewallEnabled for each of the three profiles that is current. Returns
// the HRESULT of the first failing step, or a success code with profiles
// filled.
//
// Runs on a worker thread that may be abandoned when it takes too long, so
// it must not log nor touch anything of the run; on Windows it starts and
// stops COM for its own thread.
std::int32_t askFirewallPolicy(FirewallProfiles& profiles);

}  // namespace velmora
