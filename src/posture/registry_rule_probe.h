// Tests whether the registry keys a posture policy names exist, the way the
// registry editor's address bar writes them ("Computer\HKEY_LOCAL_MACHINE\...").
#pragma once

#include <string>

#include "posture/posture_rule.h"

namespace velmora {

// Splits the UTF-8 list at commas (items not trimmed) and probes each item in
// order; true as soon as one passes. The message is never cleared here: a
// failing item may leave its text even when a later one passes.
bool probeRegistryList(const std::string& registryValue, PostureOperator op, std::string& message);

// One path under OPERATOR_ENUM_EXIST / OPERATOR_ENUM_NOT_EXIST (every other
// operator fails). A path without one of the five accepted prefixes, or with
// nothing after it, is invalid: it passes not_exist and otherwise sets the
// message "Invalid registry path format found!". An open error other than a
// missing key sets and logs the message
// "error in opening registry path! ERROR: <code>, RegPath: <path>".
bool probeRegistryPath(const std::u16string& path, PostureOperator op, std::string& message);

}  // namespace velmora
