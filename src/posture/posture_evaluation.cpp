#include "posture/posture_evaluation.h"

#include "common/text.h"
#include "posture/version_compare.h"
#include "posture/registry_rule_probe.h"

#include <algorithm>
#include <cstddef>

namespace velmora {

namespace {

// "0" and "" in a rule's value mean that any machine matches.
bool meansAny(const std::string& value) { return value.empty() || value == "0"; }

std::size_t slotsInUse(const SecurityInventory& inventory) {
    return std::min<std::size_t>(inventory.productCount, inventory.products.size());
}

bool hasEnabledAntivirus(const SecurityInventory& inventory) {
    for (std::size_t i = 0; i < slotsInUse(inventory); ++i) {
        if (inventory.products[i].avStateEnum == AV_ENABLED) return true;
    }
    return false;
}

bool antivirusRuleMatches(const PostureRule& rule, const SecurityInventory& inventory) {
    return (rule.av_value == AV_ENABLED) == hasEnabledAntivirus(inventory);
}

// The first enabled product whose version passes makes the rule match.
bool versionRuleMatches(const PostureRule& rule, const SecurityInventory& inventory) {
    if (meansAny(rule.av_version_value)) return true;
    for (std::size_t i = 0; i < slotsInUse(inventory); ++i) {
        const SecurityProductInfo& product = inventory.products[i];
        if (product.avStateEnum != AV_ENABLED) continue;
        if (compareVersions(rule.av_version_value, product.avVersion, rule.av_version_operator)) return true;
    }
    return false;
}

bool osRuleMatches(const PostureRule& rule, WinVersion os) {
    return meansAny(rule.os_version_value) || matchOsVersion(rule.os_version_value, os, rule.os_version_operator);
}

bool registryRuleMatches(const PostureRule& rule, std::string& message) {
    return meansAny(rule.registry_value) || probeRegistryList(rule.registry_value, rule.registry_operator, message);
}

bool block(std::string& message, const char* rule) {
    message = rule;
    return true;
}

}  // namespace

std::string osPolicyWord(WinVersion winVersion) {
    switch (winVersion) {
        case WIN_11: return "windows_11";
        case WIN_10: return "windows_10";
        case WIN_8: return "windows_8";
        case WIN_7: return "windows_7";
        case WIN_VISTA: return "windows_vista";
        case WIN_XP: return "windows_xp";
        default: return "Unknown_Os";
    }
}

bool matchOsVersion(const std::string& osList, WinVersion winVersion, PostureOperator op) {
    if (op != OPERATOR_ENUM_EQUAL && op != OPERATOR_ENUM_NOTEQUAL) return false;
    const std::string word = osPolicyWord(winVersion);
    const std::vector<std::string> items = splitByComma(osList);
    const bool named = std::any_of(items.begin(), items.end(),
                                   [&](const std::string& item) { return equalsIgnoreAsciiCase(item, word); });
    return op == OPERATOR_ENUM_EQUAL ? named : !named;
}

bool evaluatePostureDataWithAVInfo(const PostureRule& rule, const SecurityInventory& inventory, std::string& message) {
    if (rule.endpoint_posture_check != 1) {
        message = "endpoint_posture_check is not enabled!";
        return false;
    }
    if (antivirusRuleMatches(rule, inventory) && rule.av_action == VPN_ACTION_BLOCK) return block(message, "av");
    // The version rule is tried whenever the policy asks for an enabled
    // antivirus, even if none is present: a version value meaning "any" matches.
    if (rule.av_value == AV_ENABLED && versionRuleMatches(rule, inventory) &&
        rule.av_version_action == VPN_ACTION_BLOCK) {
        return block(message, "av_version");
    }
    if (osRuleMatches(rule, inventory.os) && rule.os_version_action == VPN_ACTION_BLOCK) return block(message, "os");
    if (registryRuleMatches(rule, message) && rule.registry_action == VPN_ACTION_BLOCK) {
        return block(message, "registry");
    }
    message = "doesn't matched with any field!";
    return false;
}

}  // namespace velmora
