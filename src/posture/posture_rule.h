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

// One rule after the antivirus state: the value it compares the machine
// with, how, and what follows when it matches. In the value, "0" and "" mean
// "any"; the defaults of the record below do not.
struct PostureClause {
    std::string value;
    PostureOperator op = OPERATOR_ENUM_EQUAL;
    VpnAction action = VPN_ACTION_ALLOW;
};

// A fresh record holds the defaults that a policy member left out keeps.
struct PostureRule {
    // The members are those of the policy (endpoint_posture_check, av_value,
    // av_operator, ...), spelt as the program's own names are.
    std::int32_t endpointPostureCheck = 0;             // 1 turns the check on
    AvState avValue = AV_DISABLED;                     // only AV_DISABLED or AV_ENABLED is stored
    PostureOperator avOperator = OPERATOR_ENUM_EQUAL;  // logged, never consulted
    VpnAction avAction = VPN_ACTION_ALLOW;
    PostureClause avVersion{"0.0.0.0"};
    PostureClause osVersion{"Any"};  // comma-separated OS words
    PostureClause registry{"NA"};    // comma-separated registry paths
};

// The clauses in policy order, each with the stem of its policy members and
// log lines: "os_version" reads "os_version_value", "os_version_operator" and
// "os_version_action". The antivirus state uses the same three suffixes on
// the stem "av".
struct PostureClauseSlot {
    const char* stem;
    PostureClause PostureRule::*clause;
};
inline constexpr PostureClauseSlot kPostureClauses[] = {
    {"av_version", &PostureRule::avVersion},
    {"os_version", &PostureRule::osVersion},
    {"registry", &PostureRule::registry},
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
