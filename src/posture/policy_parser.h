// Copies an endpoint-posture policy document into a PostureRule.
#pragma once

#include <string>

#include <nlohmann/json_fwd.hpp>

#include "posture/posture_rule.h"

namespace velmora {

// Reads the thirteen known top-level members of the document into rule;
// a member that is missing or of a kind not accepted for it leaves its field
// alone. False (message "js from svr is not in object format!", rule
// untouched) only when the document is not an object. Never throws.
// The document by const reference, not by copy: copying a deeply nested policy overflowed the stack.
bool parseAllServerJs(const nlohmann::json& document, PostureRule& rule, std::string& message);

}  // namespace velmora
