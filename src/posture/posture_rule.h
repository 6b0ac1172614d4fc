// One endpoint-posture policy as the program keeps it: the record the parser
// fills and the evaluation reads, and the two enumerations it uses.
#pragma once

#include <cstdint>
#include <string>

#include "inventory/security_product.h"

namespace velmora {

// The values are fixed by the policy format (less_than_or_equal is 3,
// greater_than is 4), not by the order of the words.
enum PostureOperator : std::int32_t {
    OPERATOR_ENUM_EQUAL = 0,
    OPERATOR_ENUM_NOTEQUAL = 1,
    OPERATOR_ENUM_LESSTHAN = 2,
    OPERATOR_ENUM_LESSTHAN_OR_EQUAL = 3,
    OPERATOR_ENUM_GREATERTHAN = 4,
    OPERATOR_ENUM_GREATERTHAN_OR_EQUAL = 5,
    OPERATOR_ENUM_EXIST = 6,
    OPERATOR_ENUM_NOT_EXIST = 7,
    OPERATOR_ENUM_NONE = 8,
};

// What follows when a rule matches: block ends the evaluation, allow goes on.
enum VpnAction : std::int32_t {
    VPN_ACTION_BLOCK = 0,
    VPN_ACTION_ALLOW = 1,
};

// A fresh record holds the defaults that a policy member left out keeps. In
// the three value texts, "0" and "" mean "any"; the defaults do not.
struct PostureRule {
    std::int32_t endpoint_posture_check = 0;     // 1 turns the check on
    AvState av_value = AV_DISABLED;              // only AV_DISABLED or AV_ENABLED is stored
    std::string av_version_value = "0.0.0.0";
    std::string os_version_value = "Any";        // comma-separated OS words
    std::string registry_value = "NA";           // comma-separated registry paths
    PostureOperator av_operator = OPERATOR_ENUM_EQUAL;  // logged, never consulted
    PostureOperator av_version_operator = OPERATOR_ENUM_EQUAL;
    PostureOperator os_version_operator = OPERATOR_ENUM_EQUAL;
    PostureOperator registry_operator = OPERATOR_ENUM_EQUAL;
    VpnAction av_action = VPN_ACTION_ALLOW;
    VpnAction av_version_action = VPN_ACTION_ALLOW;
    VpnAction os_version_action = VPN_ACTION_ALLOW;
    VpnAction registry_action = VPN_ACTION_ALLOW;
};

// The rules after the antivirus state, in policy order, each with the stem of
// its policy members and log lines: "os_version" reads "os_version_value",
// "os_version_operator" and "os_version_action" into the fields of those
// names. The antivirus state uses the same three suffixes on the stem "av".
struct PostureRuleStem {
    const char* stem;
    std::string PostureRule::*value;
    PostureOperator PostureRule::*op;
    VpnAction PostureRule::*action;
};
inline constexpr PostureRuleStem kPostureRuleStems[] = {
    {"av_version", &PostureRule::av_version_value, &PostureRule::av_version_operator,
     &PostureRule::av_version_action},
    {"os_version", &PostureRule::os_version_value, &PostureRule::os_version_operator,
     &PostureRule::os_version_action},
    {"registry", &PostureRule::registry_value, &PostureRule::registry_operator, &PostureRule::registry_action},
};

// Member identifiers ("OPERATOR_ENUM_NOTEQUAL"); "" for a value that is no member.
std::string postureOperatorName(std::int32_t value);
std::string vpnActionName(std::int32_t value);

// The policy word ("not_equal", any ASCII letter case, nothing trimmed) to
// its operator; OPERATOR_ENUM_NONE for every other text.
PostureOperator parseOperatorWord(const std::string& word);

// Writes the thirteen fields to the diagnostic log, one line each.
void logPostureRule(const PostureRule& rule);

}  // namespace velmora
