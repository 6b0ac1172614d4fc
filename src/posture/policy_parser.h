// Copies an endpoint-posture policy document into a PostureRule.
#pragma once

#include <string>

#include <nlohmann/json_fwd.hpp>

#include "posture/posture_rule.h"

namespace velmora {

// Reads the thirteen known top-level members of the document into rule;
// a member that is missing or of a kind not accepted for it leaves its field
// alone. False (message "js from svr is not in object format!", rule
// untouched) only when the document is not an object. Never throws. The
// document is read in place: a policy can be nested very deep, and copying it
// would recurse once per level.
bool parsePostureRule(const nlohmann::json& document, PostureRule& rule, std::string& message);

}  // namespace velmora
