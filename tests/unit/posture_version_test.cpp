// Reading dotted versions and comparing them under the policy operators.
#include "posture/version_compare.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace velmora {

namespace {
const std::string kInvalid = "Invalid version format! version: ";
}

TEST(ParseVersionNumbers, ReadsEachPieceLikeStrtolAndDropsInvalidOnes) {
    using V = std::vector<std::int32_t>;
    struct Case {
        const char* text;
        V numbers;
        int invalidLines;
    };
    const Case cases[] = {
        {"4.18.2305.7", {4, 18, 2305, 7}, 0},
        {"", {}, 0},
        {"1.2a.3", {1, 2, 3}, 0},
        {"1..2", {1, 2}, 1},
        {"beta.2", {2}, 1},
        {"1.2.", {1, 2}, 0},
        {".", {}, 1},
        {" 7.\t\n\v\f\r8", {7, 8}, 0},
        {"-1.+2", {-1, 2}, 0},
        {"-.+.x2", {}, 3},
        {"- 1", {}, 1},  // no digit right after the sign
        {"2147483647.-2147483648", {2147483647, -2147483647 - 1}, 0},
        {"2147483648.1", {1}, 1},  // beyond 32 bits: invalid, never wrapped
        {"-2147483649.1", {1}, 1},
        {"99999999999999999999999.3", {3}, 1},
        {"007.0000000000000000000000001", {7, 1}, 0},
    };
    for (const auto& c : cases) {
        LogCapture log;
        EXPECT_EQ(parseVersionNumbers(c.text), c.numbers) << c.text;
        const std::vector<std::string> expected(c.invalidLines, kInvalid + "[" + c.text + "]");
        EXPECT_EQ(log.infos(), expected) << c.text;
    }
}

TEST(CompareVersions, AppliesEachOperatorPieceByPiece) {
    struct Case {
        const char* policy;
        const char* product;
        PostureOperator op;
        bool expected;
    };
    const Case cases[] = {
        {"4.18", "4.18.0.0", OPERATOR_ENUM_EQUAL, true},
        {"4.18", "4.18.0.1", OPERATOR_ENUM_EQUAL, false},
        {"4.18.1", "4.18.1.0", OPERATOR_ENUM_NOTEQUAL, false},
        {"4.18.1", "4.19", OPERATOR_ENUM_NOTEQUAL, true},
        {"5", "4.99.99.99", OPERATOR_ENUM_GREATERTHAN, true},
        {"4.10", "4.9", OPERATOR_ENUM_LESSTHAN, false},
        {"4.9", "4.10", OPERATOR_ENUM_LESSTHAN, true},
        {"4.9", "4.10", OPERATOR_ENUM_GREATERTHAN, false},
        {"0.0.0.0", "0.0.0.0", OPERATOR_ENUM_EQUAL, true},
        {"abc", "0", OPERATOR_ENUM_EQUAL, true},
        {"1.0.0.1", "1", OPERATOR_ENUM_GREATERTHAN, true},
        {"-1", "0", OPERATOR_ENUM_LESSTHAN, true},
        // The inclusive operators: policy lower (or higher) than or equal to the product's.
        {"4.18.1", "4.18.1", OPERATOR_ENUM_LESSTHAN_OR_EQUAL, true},
        {"4.18.0", "4.18.1", OPERATOR_ENUM_LESSTHAN_OR_EQUAL, true},
        {"4.18.2", "4.18.1", OPERATOR_ENUM_LESSTHAN_OR_EQUAL, false},
        {"4.18.1", "4.18.1.0", OPERATOR_ENUM_GREATERTHAN_OR_EQUAL, true},
        {"4.19", "4.18.1", OPERATOR_ENUM_GREATERTHAN_OR_EQUAL, true},
        {"4.17", "4.18.1", OPERATOR_ENUM_GREATERTHAN_OR_EQUAL, false},
        // Operators that never compare.
        {"1", "1", OPERATOR_ENUM_EXIST, false},
        {"1", "1", OPERATOR_ENUM_NOT_EXIST, false},
        {"1", "2", OPERATOR_ENUM_NONE, false},
        {"1", "1", static_cast<PostureOperator>(42), false},
    };
    for (const auto& c : cases) {
        LogCapture log;
        EXPECT_EQ(compareVersions(c.policy, c.product, c.op), c.expected)
            << c.policy << " " << postureOperatorName(c.op) << " " << c.product;
    }
}

TEST(CompareVersions, EmptyProductVersionNeverMatchesAndReadsNothing) {
    for (int op = OPERATOR_ENUM_EQUAL; op <= OPERATOR_ENUM_NONE; ++op) {
        LogCapture log;
        EXPECT_FALSE(compareVersions("bad..version", "", static_cast<PostureOperator>(op))) << op;
        EXPECT_TRUE(log.records().empty());
    }
}

TEST(CompareVersions, LogsPolicyPiecesBeforeProductPieces) {
    LogCapture log;
    compareVersions("p..1", "x.1", OPERATOR_ENUM_EQUAL);
    const std::vector<std::string> expected = {kInvalid + "[p..1]", kInvalid + "[p..1]", kInvalid + "[x.1]"};
    EXPECT_EQ(log.infos(), expected);
}

}  // namespace velmora
