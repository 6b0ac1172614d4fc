#include "posture/version_compare.h"

#include "common/text.h"
#include "log/logger.h"

#include <algorithm>
#include <cstddef>
#include <optional>

namespace velmora {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The leading number of a piece; nothing when it has no digit or does not
// fit a 32-bit signed integer.
std::optional<std::int32_t> readPiece(const std::string& piece) {
    std::size_t i = 0;
    while (i < piece.size() && isSpace(piece[i])) ++i;
    bool negative = false;
    if (i < piece.size() && (piece[i] == '+' || piece[i] == '-')) negative = piece[i++] == '-';
    if (i >= piece.size() || !isDigit(piece[i])) return std::nullopt;
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t magnitude = 0;
    for (; i < piece.size() && isDigit(piece[i]); ++i) {
        magnitude = magnitude * 10 + (piece[i] - '0');
        if (magnitude > limit) return std::nullopt;
    }
    return static_cast<std::int32_t>(negative ? -magnitude : magnitude);
}

}  // namespace

std::vector<std::int32_t> parseVersionNumbers(const std::string& version) {
    std::vector<std::int32_t> numbers;
    for (const std::string& piece : splitText(version, '.')) {
        const std::optional<std::int32_t> number = readPiece(piece);
        if (number) {
            numbers.push_back(*number);
        } else {
            avLogger->info("Invalid version format! version: [{}]", version);
        }
    }
    return numbers;
}

bool compareVersions(const std::string& policyVersion, const std::string& productVersion, PostureOperator op) {
    if (productVersion.empty()) return false;
    const std::vector<std::int32_t> policy = parseVersionNumbers(policyVersion);
    const std::vector<std::int32_t> product = parseVersionNumbers(productVersion);
    const std::size_t length = std::max(policy.size(), product.size());
    for (std::size_t i = 0; i < length; ++i) {
        const std::int32_t a = i < policy.size() ? policy[i] : 0;
        const std::int32_t b = i < product.size() ? product[i] : 0;
        if (a < b) {
            return op == OPERATOR_ENUM_NOTEQUAL || op == OPERATOR_ENUM_LESSTHAN ||
                   op == OPERATOR_ENUM_LESSTHAN_OR_EQUAL;
        }
        if (a > b) {
            return op == OPERATOR_ENUM_NOTEQUAL || op == OPERATOR_ENUM_GREATERTHAN ||
                   op == OPERATOR_ENUM_GREATERTHAN_OR_EQUAL;
        }
    }
    return op == OPERATOR_ENUM_EQUAL || op == OPERATOR_ENUM_LESSTHAN_OR_EQUAL ||
           op == OPERATOR_ENUM_GREATERTHAN_OR_EQUAL;
}

}  // namespace velmora
