// Dotted version texts ("4.18.2305.7") read into numbers and compared under a
// policy operator.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "posture/posture_rule.h"

namespace velmora {

// One number per dot-separated piece, read like strtol in base 10 (leading
// white space, one sign, digits, the rest of the piece ignored). A piece
// without digits, or whose number does not fit a 32-bit signed integer, is
// dropped after the info line "Invalid version format! version: [<text>]".
std::vector<std::int32_t> parseVersionNumbers(const std::string& version);

// True when the policy version stands in the operator's relation to the
// product version (less_than: the policy's is lower). Missing trailing pieces
// count as 0. An empty product version never matches. Only the six comparing
// operators can match.
bool compareVersions(const std::string& policyVersion, const std::string& productVersion, PostureOperator op);

}  // namespace velmora
