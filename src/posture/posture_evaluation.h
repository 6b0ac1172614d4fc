// Decides from a posture policy, the security inventory, the Windows release
// and the registry whether the VPN is to be blocked.
#pragma once

#include <cstdint>
#include <string>

#include "inventory/security_product.h"
#include "posture/posture_rule.h"

namespace velmora {

// Tries the rules in the order antivirus, antivirus version, OS, registry; the
// first that matches with VPN_ACTION_BLOCK blocks. Returns true to block. The
// message always ends as one of: "endpoint_posture_check is not enabled!",
// "av", "av_version", "os", "registry", "doesn't matched with any field!".
bool evaluatePostureDataWithAVInfo(const PostureRule& rule, const SecurityInventory& inventory, std::string& message);

// The word policies use for a WinVersion value ("windows_10"); "Unknown_Os"
// for WIN_UNKNOWN and any other value.
std::string osPolicyWord(WinVersion winVersion);

// The comma-separated OS words (not trimmed, ASCII case ignored) against the
// machine's release. equal: some item names it; not_equal: no item names it;
// every other operator: false.
bool matchOsVersion(const std::string& osList, WinVersion winVersion, PostureOperator op);

}  // namespace velmora
