#include "posture/posture_rule.h"

#include "common/enum_names.h"
#include "common/text.h"
#include "log/logger.h"

namespace velmora {

namespace {

const EnumNameEntry kOperatorNames[] = {
    {OPERATOR_ENUM_EQUAL, "OPERATOR_ENUM_EQUAL"},
    {OPERATOR_ENUM_NOTEQUAL, "OPERATOR_ENUM_NOTEQUAL"},
    {OPERATOR_ENUM_LESSTHAN, "OPERATOR_ENUM_LESSTHAN"},
    {OPERATOR_ENUM_LESSTHAN_OR_EQUAL, "OPERATOR_ENUM_LESSTHAN_OR_EQUAL"},
    {OPERATOR_ENUM_GREATERTHAN, "OPERATOR_ENUM_GREATERTHAN"},
    {OPERATOR_ENUM_GREATERTHAN_OR_EQUAL, "OPERATOR_ENUM_GREATERTHAN_OR_EQUAL"},
    {OPERATOR_ENUM_EXIST, "OPERATOR_ENUM_EXIST"},
    {OPERATOR_ENUM_NOT_EXIST, "OPERATOR_ENUM_NOT_EXIST"},
    {OPERATOR_ENUM_NONE, "OPERATOR_ENUM_NONE"},
};

const EnumNameEntry kActionNames[] = {
    {VPN_ACTION_BLOCK, "VPN_ACTION_BLOCK"},
    {VPN_ACTION_ALLOW, "VPN_ACTION_ALLOW"},
};

struct OperatorWord {
    const char* word;
    PostureOperator value;
};

// Tried in this order; the first equal word decides.
const OperatorWord kOperatorWords[] = {
    {"equal", OPERATOR_ENUM_EQUAL},
    {"not_equal", OPERATOR_ENUM_NOTEQUAL},
    {"less_than", OPERATOR_ENUM_LESSTHAN},
    {"greater_than", OPERATOR_ENUM_GREATERTHAN},
    {"less_than_or_equal", OPERATOR_ENUM_LESSTHAN_OR_EQUAL},
    {"greater_than_or_equal", OPERATOR_ENUM_GREATERTHAN_OR_EQUAL},
    {"exist", OPERATOR_ENUM_EXIST},
    {"not_exist", OPERATOR_ENUM_NOT_EXIST},
};

}  // namespace

std::string postureOperatorName(std::int32_t value) { return lookupEnumName(value, kOperatorNames); }

std::string vpnActionName(std::int32_t value) { return lookupEnumName(value, kActionNames); }

PostureOperator parseOperatorWord(const std::string& word) {
    for (const auto& entry : kOperatorWords) {
        if (equalsIgnoreAsciiCase(word, entry.word)) return entry.value;
    }
    return OPERATOR_ENUM_NONE;
}

namespace {

// The three lines "<stem>_value: ", "<stem>_operator: " and "<stem>_action: ".
void logClause(const char* stem, const std::string& value, PostureOperator op, VpnAction action) {
    avLogger->info("{}_value: {}", stem, value);
    avLogger->info("{}_operator: {}", stem, postureOperatorName(op));
    avLogger->info("{}_action: {}", stem, vpnActionName(action));
}

}  // namespace

void logPostureRule(const PostureRule& rule) {
    avLogger->info("endptPostureCheck: {}", rule.endpoint_posture_check);
    logClause("av", avStateName(rule.av_value), rule.av_operator, rule.av_action);
    for (const PostureRuleStem& stem : kPostureRuleStems) {
        logClause(stem.stem, rule.*stem.value, rule.*stem.op, rule.*stem.action);
    }
}

}  // namespace velmora
