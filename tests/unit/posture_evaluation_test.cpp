// The evaluation's rule order, its six outcomes and the OS rule.
#include "posture/posture_evaluation.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace velmora {

namespace {

SecurityInventory inventoryOf(std::initializer_list<std::pair<AvState, const char*>> products,
                              WinVersion os = WIN_10) {
    SecurityInventory inventory;
    for (const auto& [state, version] : products) {
        inventory.products[inventory.productCount].avStateEnum = state;
        inventory.products[inventory.productCount].avVersion = version;
        ++inventory.productCount;
    }
    inventory.os = os;
    return inventory;
}

PostureRule enabledRule() {
    PostureRule rule;
    rule.endpoint_posture_check = 1;
    return rule;
}

std::pair<bool, std::string> evaluate(const PostureRule& rule, const SecurityInventory& inventory) {
    LogCapture log;
    std::string message = "left over";
    bool block = evaluatePostureDataWithAVInfo(rule, inventory, message);
    return {block, message};
}

using Outcome = std::pair<bool, std::string>;
const Outcome kOff{false, "endpoint_posture_check is not enabled!"};
const Outcome kNone{false, "doesn't matched with any field!"};
const Outcome kAv{true, "av"};
const Outcome kAvVersion{true, "av_version"};
const Outcome kOs{true, "os"};
const Outcome kRegistry{true, "registry"};

}  // namespace

TEST(OsPolicyWord, NamesEveryReleaseAndUnknownOtherwise) {
    EXPECT_EQ(osPolicyWord(WIN_11), "windows_11");
    EXPECT_EQ(osPolicyWord(WIN_10), "windows_10");
    EXPECT_EQ(osPolicyWord(WIN_8), "windows_8");
    EXPECT_EQ(osPolicyWord(WIN_7), "windows_7");
    EXPECT_EQ(osPolicyWord(WIN_VISTA), "windows_vista");
    EXPECT_EQ(osPolicyWord(WIN_XP), "windows_xp");
    EXPECT_EQ(osPolicyWord(WIN_UNKNOWN), "Unknown_Os");
    EXPECT_EQ(osPolicyWord(static_cast<WinVersion>(6)), "Unknown_Os");
    EXPECT_EQ(osPolicyWord(static_cast<WinVersion>(-1)), "Unknown_Os");
}

TEST(MatchOsVersion, EqualNamesTheMachineNotEqualNamesItNowhere) {
    struct Case {
        const char* list;
        WinVersion os;
        PostureOperator op;
        bool expected;
    };
    const Case cases[] = {
        {"windows_10,WINDOWS_11", WIN_11, OPERATOR_ENUM_EQUAL, true},
        {"windows_10, windows_11", WIN_11, OPERATOR_ENUM_EQUAL, false},  // items are not trimmed
        {"windows_10,", WIN_10, OPERATOR_ENUM_EQUAL, true},
        {"unknown_os", WIN_UNKNOWN, OPERATOR_ENUM_EQUAL, true},
        {"unknown_os", static_cast<WinVersion>(7), OPERATOR_ENUM_EQUAL, true},
        {"windows_7", WIN_10, OPERATOR_ENUM_EQUAL, false},
        {"", WIN_10, OPERATOR_ENUM_EQUAL, false},
        // not_equal: the machine's release is on no item of the list.
        {"windows_10,windows_11", WIN_11, OPERATOR_ENUM_NOTEQUAL, false},
        {"windows_10,windows_11", WIN_7, OPERATOR_ENUM_NOTEQUAL, true},
        {"windows_7", WIN_7, OPERATOR_ENUM_NOTEQUAL, false},
        {"Windows_7", WIN_10, OPERATOR_ENUM_NOTEQUAL, true},
        {"windows_7, windows_10", WIN_10, OPERATOR_ENUM_NOTEQUAL, true},
        // Other operators never match.
        {"windows_10", WIN_10, OPERATOR_ENUM_LESSTHAN, false},
        {"windows_10", WIN_10, OPERATOR_ENUM_NONE, false},
        {"windows_10", WIN_10, OPERATOR_ENUM_EXIST, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(matchOsVersion(c.list, c.os, c.op), c.expected)
            << "[" << c.list << "] " << c.os << " " << postureOperatorName(c.op);
    }
}

TEST(EvaluatePosture, CheckOffAnswersNotEnabledWhateverTheRules) {
    for (std::int32_t check : {0, 2, -1}) {
        PostureRule rule;
        rule.endpoint_posture_check = check;
        rule.av_action = VPN_ACTION_BLOCK;
        rule.os_version_value = "0";
        rule.os_version_action = VPN_ACTION_BLOCK;
        EXPECT_EQ(evaluate(rule, inventoryOf({})), kOff) << check;
    }
}

TEST(EvaluatePosture, DefaultsWithTheCheckOnBlockNothing) {
    EXPECT_EQ(evaluate(enabledRule(), inventoryOf({{AV_ENABLED, "1.0"}})), kNone);
}

TEST(EvaluatePosture, AntivirusRuleBlocksWhenTheStateIsTheNamedOne) {
    struct Case {
        AvState avValue;
        SecurityInventory inventory;
        Outcome expected;
    };
    const Case cases[] = {
        {AV_DISABLED, inventoryOf({}), kAv},
        {AV_DISABLED, inventoryOf({{AV_SNOOZED, "1"}}), kAv},
        {AV_DISABLED, inventoryOf({{AV_DISABLED, "1"}, {AV_ENABLED, "1"}}), kNone},
        {AV_ENABLED, inventoryOf({{AV_ENABLED, "1"}}), kAv},
        {AV_ENABLED, inventoryOf({{AV_SNOOZED, "1"}}), kNone},
    };
    for (const auto& c : cases) {
        PostureRule rule = enabledRule();
        rule.av_value = c.avValue;
        rule.av_action = VPN_ACTION_BLOCK;
        EXPECT_EQ(evaluate(rule, c.inventory), c.expected) << c.avValue << " " << c.inventory.productCount;
    }
}

TEST(EvaluatePosture, OnlySlotsBelowTheCountAreRead) {
    SecurityInventory inventory = inventoryOf({{AV_DISABLED, "1"}});
    inventory.products[1].avStateEnum = AV_ENABLED;  // stale slot beyond the count
    PostureRule rule = enabledRule();
    rule.av_action = VPN_ACTION_BLOCK;
    EXPECT_EQ(evaluate(rule, inventory), kAv);

    inventory.productCount = 1000;  // a count beyond the nine slots reads the nine only
    EXPECT_EQ(evaluate(rule, inventory), kNone);
}

TEST(EvaluatePosture, VersionRuleNeedsAvValueOneAndAnEnabledProductThatPasses) {
    struct Case {
        AvState avValue;
        const char* versionValue;
        PostureOperator op;
        SecurityInventory inventory;
        Outcome expected;
    };
    const Case cases[] = {
        // Tried without an enabled antivirus: "any" still matches.
        {AV_ENABLED, "0", OPERATOR_ENUM_EQUAL, inventoryOf({}), kAvVersion},
        {AV_ENABLED, "", OPERATOR_ENUM_NONE, inventoryOf({}), kAvVersion},
        {AV_ENABLED, "1.0", OPERATOR_ENUM_EQUAL, inventoryOf({{AV_SNOOZED, "1.0"}}), kNone},
        // The second enabled slot passes.
        {AV_ENABLED, "5.0", OPERATOR_ENUM_EQUAL, inventoryOf({{AV_ENABLED, "4.10.0.0"}, {AV_ENABLED, "5.0.0.0"}}),
         kAvVersion},
        {AV_ENABLED, "5.0", OPERATOR_ENUM_EQUAL, inventoryOf({{AV_ENABLED, "4.10.0.0"}, {AV_DISABLED, "5.0.0.0"}}),
         kNone},
        {AV_ENABLED, "4.18", OPERATOR_ENUM_GREATERTHAN_OR_EQUAL, inventoryOf({{AV_ENABLED, "4.18.0.0"}}), kAvVersion},
        {AV_ENABLED, "4.18", OPERATOR_ENUM_LESSTHAN_OR_EQUAL, inventoryOf({{AV_ENABLED, "4.17"}}), kNone},
        {AV_ENABLED, "1.0", OPERATOR_ENUM_EQUAL, inventoryOf({{AV_ENABLED, ""}}), kNone},
        // av_value 0: the version rule is skipped even if it would block.
        {AV_DISABLED, "0", OPERATOR_ENUM_EQUAL, inventoryOf({{AV_ENABLED, "1"}}), kNone},
    };
    for (const auto& c : cases) {
        PostureRule rule = enabledRule();
        rule.av_value = c.avValue;
        rule.av_version_value = c.versionValue;
        rule.av_version_operator = c.op;
        rule.av_version_action = VPN_ACTION_BLOCK;
        EXPECT_EQ(evaluate(rule, c.inventory), c.expected) << c.versionValue << " " << postureOperatorName(c.op);
    }
}

TEST(EvaluatePosture, OsRuleUsesTheInventorysRelease) {
    PostureRule rule = enabledRule();
    rule.os_version_action = VPN_ACTION_BLOCK;
    rule.os_version_value = "windows_10,WINDOWS_11";
    EXPECT_EQ(evaluate(rule, inventoryOf({}, WIN_11)), kOs);
    EXPECT_EQ(evaluate(rule, inventoryOf({}, WIN_7)), kNone);
    rule.os_version_operator = OPERATOR_ENUM_NOTEQUAL;
    EXPECT_EQ(evaluate(rule, inventoryOf({}, WIN_11)), kNone);
    EXPECT_EQ(evaluate(rule, inventoryOf({}, WIN_7)), kOs);
    rule.os_version_operator = OPERATOR_ENUM_LESSTHAN;
    EXPECT_EQ(evaluate(rule, inventoryOf({}, WIN_11)), kNone);
    rule.os_version_value = "0";  // any: the operator is not looked at
    EXPECT_EQ(evaluate(rule, inventoryOf({}, WIN_11)), kOs);
}

TEST(EvaluatePosture, RulesAreTriedInOrderAndAllowGoesOn) {
    PostureRule rule = enabledRule();
    rule.av_value = AV_ENABLED;
    rule.av_version_value = "0";
    rule.os_version_value = "0";
    rule.registry_value = "";
    rule.av_action = VPN_ACTION_BLOCK;
    rule.av_version_action = VPN_ACTION_BLOCK;
    rule.os_version_action = VPN_ACTION_BLOCK;
    rule.registry_action = VPN_ACTION_BLOCK;
    const SecurityInventory inventory = inventoryOf({{AV_ENABLED, "1"}});
    EXPECT_EQ(evaluate(rule, inventory), kAv);
    rule.av_action = VPN_ACTION_ALLOW;
    EXPECT_EQ(evaluate(rule, inventory), kAvVersion);
    rule.av_version_action = VPN_ACTION_ALLOW;
    EXPECT_EQ(evaluate(rule, inventory), kOs);
    rule.os_version_action = VPN_ACTION_ALLOW;
    EXPECT_EQ(evaluate(rule, inventory), kRegistry);
    rule.registry_action = VPN_ACTION_ALLOW;
    EXPECT_EQ(evaluate(rule, inventory), kNone);
}

TEST(EvaluatePosture, RegistryMessageIsReplacedByTheFinalOne) {
    PostureRule rule = enabledRule();
    rule.registry_value = "HKLM\\SOFTWARE";  // invalid path: sets its own message
    rule.registry_operator = OPERATOR_ENUM_EXIST;
    rule.registry_action = VPN_ACTION_BLOCK;
    EXPECT_EQ(evaluate(rule, inventoryOf({})), kNone);
    rule.registry_operator = OPERATOR_ENUM_NOT_EXIST;
    EXPECT_EQ(evaluate(rule, inventoryOf({})), kRegistry);
}

}  // namespace velmora
