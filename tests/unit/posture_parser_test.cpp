// The policy parser, the operator words and the rule's log report.
#include "posture/policy_parser.h"
#include "posture/posture_rule.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace velmora {

using nlohmann::json;

namespace {

PostureRule parsed(const json& document, bool* result = nullptr) {
    PostureRule rule;
    std::string message = "before";
    bool ok = parseAllServerJs(document, rule, message);
    if (result) *result = ok;
    if (document.is_object()) {
        EXPECT_EQ(message, "before");
    }
    return rule;
}

}  // namespace

TEST(PostureOperatorWords, RecognisesWordsInAnyCaseAndNothingElse) {
    const std::pair<const char*, PostureOperator> cases[] = {
        {"equal", OPERATOR_ENUM_EQUAL},
        {"NOT_EQUAL", OPERATOR_ENUM_NOTEQUAL},
        {"Less_Than", OPERATOR_ENUM_LESSTHAN},
        {"less_than_or_equal", OPERATOR_ENUM_LESSTHAN_OR_EQUAL},
        {"greater_than", OPERATOR_ENUM_GREATERTHAN},
        {"greater_than_or_equal", OPERATOR_ENUM_GREATERTHAN_OR_EQUAL},
        {"exist", OPERATOR_ENUM_EXIST},
        {"Not_Exist", OPERATOR_ENUM_NOT_EXIST},
        {"notequal", OPERATOR_ENUM_NONE},
        {" equal", OPERATOR_ENUM_NONE},
        {"equal ", OPERATOR_ENUM_NONE},
        {"", OPERATOR_ENUM_NONE},
        {"less_than_or_equal\n", OPERATOR_ENUM_NONE},
    };
    for (const auto& [word, expected] : cases) EXPECT_EQ(parseOperatorWord(word), expected) << word;
}

TEST(PostureEnumNames, NameMembersAndNothingOutsideTheRange) {
    EXPECT_EQ(postureOperatorName(3), "OPERATOR_ENUM_LESSTHAN_OR_EQUAL");
    EXPECT_EQ(postureOperatorName(4), "OPERATOR_ENUM_GREATERTHAN");
    EXPECT_EQ(postureOperatorName(8), "OPERATOR_ENUM_NONE");
    EXPECT_EQ(postureOperatorName(9), "");
    EXPECT_EQ(postureOperatorName(-1), "");
    EXPECT_EQ(vpnActionName(0), "VPN_ACTION_BLOCK");
    EXPECT_EQ(vpnActionName(1), "VPN_ACTION_ALLOW");
    EXPECT_EQ(vpnActionName(2), "");
}

TEST(PolicyParser, NonObjectDocumentsFailAndLeaveTheRuleAlone) {
    for (const json& document : {json::array({1}), json("text"), json(5), json(nullptr), json(true)}) {
        PostureRule rule;
        rule.av_version_value = "marker";
        std::string message = "before";
        EXPECT_FALSE(parseAllServerJs(document, rule, message)) << document.dump();
        EXPECT_EQ(message, "js from svr is not in object format!");
        EXPECT_EQ(rule.av_version_value, "marker");
        EXPECT_EQ(rule.endpoint_posture_check, 0);
    }
}

TEST(PolicyParser, FullPolicyFillsEveryField) {
    bool ok = false;
    PostureRule rule = parsed(json::parse(R"({
        "endpoint_posture_check": 1, "av_value": 1, "av_operator": "not_equal", "av_action": 0,
        "av_version_value": " 4.18 ", "av_version_operator": "greater_than", "av_version_action": 0,
        "os_version_value": "windows_10,windows_11", "os_version_operator": "equal", "os_version_action": 0,
        "registry_value": "Computer\\HKEY_USERS\\X", "registry_operator": "exist", "registry_action": 0,
        "unknown": 7})"),
                              &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(rule.endpoint_posture_check, 1);
    EXPECT_EQ(rule.av_value, AV_ENABLED);
    EXPECT_EQ(rule.av_operator, OPERATOR_ENUM_NOTEQUAL);
    EXPECT_EQ(rule.av_action, VPN_ACTION_BLOCK);
    EXPECT_EQ(rule.av_version_value, " 4.18 ");  // stored unchanged
    EXPECT_EQ(rule.av_version_operator, OPERATOR_ENUM_GREATERTHAN);
    EXPECT_EQ(rule.av_version_action, VPN_ACTION_BLOCK);
    EXPECT_EQ(rule.os_version_value, "windows_10,windows_11");
    EXPECT_EQ(rule.os_version_operator, OPERATOR_ENUM_EQUAL);
    EXPECT_EQ(rule.os_version_action, VPN_ACTION_BLOCK);
    EXPECT_EQ(rule.registry_value, "Computer\\HKEY_USERS\\X");
    EXPECT_EQ(rule.registry_operator, OPERATOR_ENUM_EXIST);
    EXPECT_EQ(rule.registry_action, VPN_ACTION_BLOCK);
}

// Each row: one member's JSON text and the field value it must leave.
TEST(PolicyParser, EndpointCheckTakesOnlyIntegersKeepingTheLow32Bits) {
    const std::pair<const char*, std::int32_t> cases[] = {
        {"1", 1},    {"true", 0},           {"1.0", 0},  {"\"1\"", 0},          {"null", 0},
        {"[1]", 0},  {"4294967297", 1},     {"-1", -1},  {"2147483648", -2147483647 - 1},
        {"18446744073709551615", -1},       {"-9223372036854775808", 0},
    };
    for (const auto& [text, expected] : cases) {
        PostureRule rule = parsed(json::parse(std::string(R"({"endpoint_posture_check":)") + text + "}"));
        EXPECT_EQ(rule.endpoint_posture_check, expected) << text;
    }
    EXPECT_EQ(parsed(json::parse(R"({"Endpoint_Posture_Check":1})")).endpoint_posture_check, 0);
    EXPECT_EQ(parsed(json::parse(R"({"x":{"endpoint_posture_check":1}})")).endpoint_posture_check, 0);
}

TEST(PolicyParser, AvValueIsOneOnlyForTheIntegerOne) {
    const std::pair<const char*, AvState> cases[] = {
        {"1", AV_ENABLED}, {"2", AV_DISABLED}, {"0", AV_DISABLED}, {"1.0", AV_DISABLED}, {"\"1\"", AV_DISABLED},
        {"true", AV_DISABLED}, {"4294967297", AV_ENABLED},
    };
    for (const auto& [text, expected] : cases) {
        EXPECT_EQ(parsed(json::parse(std::string(R"({"av_value":)") + text + "}")).av_value, expected) << text;
    }
}

TEST(PolicyParser, ActionIsBlockOnlyForValuesThatTruncateToZero) {
    const std::pair<const char*, VpnAction> cases[] = {
        {"0", VPN_ACTION_BLOCK},      {"0.9", VPN_ACTION_BLOCK},    {"-0.5", VPN_ACTION_BLOCK},
        {"-0.0", VPN_ACTION_BLOCK},   {"4294967296", VPN_ACTION_BLOCK},  // low 32 bits are zero
        {"2", VPN_ACTION_ALLOW},      {"-1", VPN_ACTION_ALLOW},     {"1.5", VPN_ACTION_ALLOW},
        {"-1.0", VPN_ACTION_ALLOW},   {"1e300", VPN_ACTION_ALLOW},  {"-1e300", VPN_ACTION_ALLOW},
        {"1e-300", VPN_ACTION_BLOCK}, {"\"0\"", VPN_ACTION_ALLOW},  {"false", VPN_ACTION_ALLOW},
        {"null", VPN_ACTION_ALLOW},
    };
    for (const char* member : {"av_action", "av_version_action", "os_version_action", "registry_action"}) {
        for (const auto& [text, expected] : cases) {
            PostureRule rule = parsed(json::parse(std::string("{\"") + member + "\":" + text + "}"));
            const VpnAction actions[] = {rule.av_action, rule.av_version_action, rule.os_version_action,
                                         rule.registry_action};
            int changed = 0;
            for (VpnAction action : actions) changed += action != VPN_ACTION_ALLOW;
            EXPECT_EQ(changed, expected == VPN_ACTION_BLOCK ? 1 : 0) << member << " " << text;
        }
    }
}

TEST(PolicyParser, TextsAndOperatorsIgnoreOtherKinds) {
    PostureRule rule = parsed(json::parse(
        R"({"av_version_value": 5, "os_version_value": null, "registry_value": ["a"],
            "av_operator": 1, "os_version_operator": "notequal", "registry_operator": "NOT_EXIST"})"));
    EXPECT_EQ(rule.av_version_value, "0.0.0.0");
    EXPECT_EQ(rule.os_version_value, "Any");
    EXPECT_EQ(rule.registry_value, "NA");
    EXPECT_EQ(rule.av_operator, OPERATOR_ENUM_EQUAL);
    EXPECT_EQ(rule.os_version_operator, OPERATOR_ENUM_NONE);
    EXPECT_EQ(rule.registry_operator, OPERATOR_ENUM_NOT_EXIST);
}

TEST(PolicyParser, EmptyObjectKeepsDefaultsAndLogsNothing) {
    LogCapture log;
    PostureRule rule;
    std::string message = "kept";
    EXPECT_TRUE(parseAllServerJs(json::object(), rule, message));
    EXPECT_EQ(message, "kept");
    EXPECT_TRUE(log.records().empty());

    logPostureRule(rule);
    const std::vector<std::string> expected = {
        "endptPostureCheck: 0",
        "av_value: AV_DISABLED",
        "av_operator: OPERATOR_ENUM_EQUAL",
        "av_action: VPN_ACTION_ALLOW",
        "av_version_value: 0.0.0.0",
        "av_version_operator: OPERATOR_ENUM_EQUAL",
        "av_version_action: VPN_ACTION_ALLOW",
        "os_version_value: Any",
        "os_version_operator: OPERATOR_ENUM_EQUAL",
        "os_version_action: VPN_ACTION_ALLOW",
        "registry_value: NA",
        "registry_operator: OPERATOR_ENUM_EQUAL",
        "registry_action: VPN_ACTION_ALLOW",
    };
    EXPECT_EQ(log.infos(), expected);
}

TEST(PolicyParser, LogsTextsVerbatimAndUnknownOperatorsByName) {
    PostureRule rule = parsed(json::parse(R"({"av_value": 1, "os_version_operator": "", "registry_value": "{}{0}",
                                              "endpoint_posture_check": -7})"));
    LogCapture log;
    logPostureRule(rule);
    const auto lines = log.infos();
    ASSERT_EQ(lines.size(), 13u);
    EXPECT_EQ(lines[0], "endptPostureCheck: -7");
    EXPECT_EQ(lines[1], "av_value: AV_ENABLED");
    EXPECT_EQ(lines[8], "os_version_operator: OPERATOR_ENUM_NONE");
    EXPECT_EQ(lines[10], "registry_value: {}{0}");
}

// A policy nested far deeper than any real one is read in place: neither the
// parser nor the rule copies it.
TEST(PolicyParser, DeeplyNestedMembersAreReadWithoutCopying) {
    const int depth = 100000;
    std::string text = "{\"endpoint_posture_check\":1,\"deep\":";
    text += std::string(depth, '[') + std::string(depth, ']') + "}";
    json document = json::parse(text);
    PostureRule rule;
    std::string message;
    EXPECT_TRUE(parseAllServerJs(document, rule, message));
    EXPECT_EQ(rule.endpoint_posture_check, 1);
}

}  // namespace velmora
