#include "posture/policy_parser.h"

#include "log/logger.h"
#include "log/report_sites.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <exception>
#include <iterator>

namespace velmora {

using nlohmann::json;

namespace {

// The report sites of the rule groups, in the order of kPostureRuleStems.
constexpr int kStemGroupSites[] = {kReportSiteAvVersionGroup, kReportSiteOsVersionGroup, kReportSiteRegistryGroup};
static_assert(std::size(kStemGroupSites) == std::size(kPostureRuleStems));

const json* findMember(const json& document, const std::string& name) {
    auto it = document.find(name);
    return it == document.end() ? nullptr : &*it;
}

// JSON integers keep their low 32 bits, as the policy's 32-bit fields do.
std::int32_t lowInt32(const json& value) {
    const std::uint64_t bits = value.is_number_unsigned()
                                   ? value.get<std::uint64_t>()
                                   : static_cast<std::uint64_t>(value.get<std::int64_t>());
    const auto low = static_cast<std::uint32_t>(bits);
    return low <= 0x7FFFFFFFu ? static_cast<std::int32_t>(low)
                              : static_cast<std::int32_t>(static_cast<std::int64_t>(low) - 0x100000000LL);
}

void readInteger(const json& document, const std::string& name, std::int32_t& field) {
    const json* value = findMember(document, name);
    if (value != nullptr && value->is_number_integer()) field = lowInt32(*value);
}

void readAvValue(const json& document, AvState& field) {
    const json* value = findMember(document, "av_value");
    if (value != nullptr && value->is_number_integer()) field = lowInt32(*value) == 1 ? AV_ENABLED : AV_DISABLED;
}

void readText(const json& document, const std::string& name, std::string& field) {
    const json* value = findMember(document, name);
    if (value != nullptr && value->is_string()) field = value->get_ref<const std::string&>();
}

void readOperator(const json& document, const std::string& name, PostureOperator& field) {
    const json* value = findMember(document, name);
    if (value != nullptr && value->is_string()) field = parseOperatorWord(value->get_ref<const std::string&>());
}

// An action is block when its value, cut to a 32-bit integer, is zero. A
// fraction is zero after truncation exactly when it lies strictly between -1
// and 1; testing that directly keeps values beyond the 32-bit range (1e300)
// out of an undefined conversion: they are not zero, so they allow.
void readAction(const json& document, const std::string& name, VpnAction& field) {
    const json* value = findMember(document, name);
    if (value == nullptr) return;
    if (value->is_number_integer()) {
        field = lowInt32(*value) == 0 ? VPN_ACTION_BLOCK : VPN_ACTION_ALLOW;
    } else if (value->is_number_float()) {
        field = std::trunc(value->get<double>()) == 0.0 ? VPN_ACTION_BLOCK : VPN_ACTION_ALLOW;
    }
}

// One group of members: an exception ends the group only; what it already
// stored stays, and the other groups are still read.
template <typename ReadGroup>
void readGroup(const char* label, int site, ReadGroup read) {
    try {
        read();
    } catch (const std::exception& ex) {
        avLogger->info("Exception occured at [{}] for {}! ERROR: [{}]", site, label, ex.what());
    }
}

// "<stem>_operator" and "<stem>_action", the members every group but the
// first ends with.
void readOperatorAndAction(const json& document, const std::string& stem, PostureOperator& op, VpnAction& action) {
    readOperator(document, stem + "_operator", op);
    readAction(document, stem + "_action", action);
}

void readAllGroups(const json& document, PostureRule& rule) {
    readGroup("endpoint_posture_check", kReportSiteEndpointGroup,
              [&] { readInteger(document, "endpoint_posture_check", rule.endpoint_posture_check); });
    readGroup("av check", kReportSiteAvGroup, [&] {
        readAvValue(document, rule.av_value);
        readOperatorAndAction(document, "av", rule.av_operator, rule.av_action);
    });
    for (std::size_t i = 0; i < std::size(kPostureRuleStems); ++i) {
        const PostureRuleStem& fields = kPostureRuleStems[i];
        const std::string stem = fields.stem;
        readGroup((stem + " check").c_str(), kStemGroupSites[i], [&] {
            readText(document, stem + "_value", rule.*fields.value);
            readOperatorAndAction(document, stem, rule.*fields.op, rule.*fields.action);
        });
    }
}

}  // namespace

bool parseAllServerJs(const json& document, PostureRule& rule, std::string& message) {
    try {
        if (!document.is_object()) {
            message = "js from svr is not in object format!";
            return false;
        }
        readAllGroups(document, rule);
    } catch (const std::exception& ex) {
        message = std::string("Exception occured while evaluating ") + "parseAllServerJs" + ":" +
                  std::to_string(kReportSiteParseAllServerJs) + ", ERROR: " + ex.what();
    }
    return true;
}

}  // namespace velmora
