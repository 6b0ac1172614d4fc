#include "field/field_logic.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <regex>
#include <set>

namespace velmora::field {

Outcome outcomeOf(bool failed, bool skipped, const std::string& skipMessage) {
    if (failed) return Outcome::Failed;
    if (!skipped) return Outcome::Passed;
    // GoogleTest puts the skip's place before the message, so look anywhere.
    return skipMessage.find(kNotArrangedPrefix) != std::string::npos ? Outcome::NotArranged : Outcome::Skipped;
}

void count(Tally& tally, Outcome outcome) {
    switch (outcome) {
        case Outcome::Passed: ++tally.passed; break;
        case Outcome::Failed: ++tally.failed; break;
        case Outcome::Skipped: ++tally.skipped; break;
        case Outcome::NotArranged: ++tally.notArranged; break;
    }
}

std::string closingLine(const Tally& tally) {
    return "fieldtests: " + std::to_string(tally.passed) + " passed, " + std::to_string(tally.failed) + " failed, " +
           std::to_string(tally.skipped) + " skipped, " + std::to_string(tally.notArranged) + " not arranged";
}

std::optional<Tally> parseClosingLine(const std::string& line) {
    static const std::regex pattern(
        R"(fieldtests: ([0-9]{1,9}) passed, ([0-9]{1,9}) failed, ([0-9]{1,9}) skipped, ([0-9]{1,9}) not arranged\r?)");
    std::smatch match;
    if (!std::regex_match(line, match, pattern)) return std::nullopt;
    return Tally{std::stoi(match[1]), std::stoi(match[2]), std::stoi(match[3]), std::stoi(match[4])};
}

int exitStatusOf(const Tally& tally, bool requireArranged) {
    if (tally.failed > 0) return 1;
    if (requireArranged && tally.notArranged > 0) return 2;
    return 0;
}

std::optional<std::string> whyUnavailable(Facility facility, const MachineFacts& machine) {
    if (machine.wine) {
        switch (facility) {
            case Facility::MountPoints: return "Wine has no mount points";
            case Facility::SymbolicLinks: return "Wine's CreateSymbolicLinkW makes no link";
            case Facility::ObjectManagerLinks: return "Wine has no object manager links in \\RPC Control";
            case Facility::FileSecurity: return "Wine keeps no owners or DACLs on files";
            case Facility::SecondAccount: return "Wine runs everything as one user: NetUserAdd makes no account";
            case Facility::SystemAccount: return "Wine has no SYSTEM account: a service runs as the one user";
            case Facility::Oplocks: return "Wine has no oplocks (FSCTL_REQUEST_OPLOCK fails with error 50)";
            case Facility::PosixRename: return "Wine has no POSIX-semantics rename";
            case Facility::SecurityCenter: return "Wine has no Security Center (root\\SecurityCenter2)";
            case Facility::ServerStatus: return "Wine has no PowerShell status cmdlets";
            case Facility::Administrator: break;
        }
        return std::nullopt;
    }
    // What holds on Windows too.
    switch (facility) {
        case Facility::Administrator:
        case Facility::MountPoints:
        case Facility::SymbolicLinks:
        case Facility::ObjectManagerLinks:
        case Facility::FileSecurity:
        case Facility::SecondAccount:
        case Facility::SystemAccount:
        case Facility::Oplocks:
            if (!machine.administrator) return "needs administrator rights (run it from an elevated prompt)";
            return std::nullopt;
        case Facility::PosixRename:
            if (machine.build < 17763) return "needs Windows 10 1809 (build 17763) or later";
            return std::nullopt;
        case Facility::SecurityCenter:
            if (!machine.securityCenter) return "this machine has no Security Center (root\\SecurityCenter2)";
            return std::nullopt;
        case Facility::ServerStatus:
            if (!machine.server) return "not a Server: its Security Center answers instead";
            return std::nullopt;
    }
    return std::nullopt;
}

bool isWholeVerdict(const std::string& bytes) {
    static const std::set<std::string> messages = {
        "endpoint_posture_check is not enabled!", "av", "av_version", "os", "registry",
        "doesn't matched with any field!"};
    std::array<std::string, 3> lines;
    std::size_t start = 0;
    for (std::string& line : lines) {
        std::size_t end = bytes.find("\r\n", start);
        if (end == std::string::npos) return false;
        line = bytes.substr(start, end - start);
        if (line.find_first_of("\r\n") != std::string::npos) return false;
        start = end + 2;
    }
    return start == bytes.size() && (lines[0] == "0" || lines[0] == "1") && messages.count(lines[1]) == 1;
}

bool ProductSeen::operator<(const ProductSeen& other) const {
    return name != other.name ? name < other.name : state < other.state;
}
bool ProductSeen::operator==(const ProductSeen& other) const { return name == other.name && state == other.state; }

// Microsoft documents productState only as a number. Its bits 12-15 carry
// the product's state with the values of WSC_SECURITY_PRODUCT_STATE (on 1,
// off 0, snoozed 2, expired 3), its bits 4-7 the signature status, bits 16-23
// the kind: 0x061100 is Defender on and up to date, 0x060100 off. The
// program's inventory names a state the Security Center does not define
// "expired", so this does too.
std::string stateFromProductState(std::uint32_t productState) {
    switch ((productState >> 12) & 0xF) {
        case 0: return "off";
        case 1: return "on";
        case 2: return "snoozed";
        default: return "expired";
    }
}

std::vector<ProductSeen> productsOfKind(const nlohmann::json& inventory, const std::string& kind) {
    std::vector<ProductSeen> products;
    if (!inventory.is_object()) return products;
    auto found = inventory.find(kind);
    if (found == inventory.end() || !found->is_array()) return products;
    for (const nlohmann::json& product : *found) {
        ProductSeen seen;
        if (product.contains("name") && product["name"].is_string()) seen.name = product["name"];
        if (product.contains("state") && product["state"].is_string()) seen.state = product["state"];
        products.push_back(seen);
    }
    return products;
}

std::vector<std::string> compareProducts(const std::vector<ProductSeen>& inventory,
                                         const std::vector<ProductSeen>& source) {
    std::vector<ProductSeen> left = inventory, right = source;
    std::sort(left.begin(), left.end());
    std::sort(right.begin(), right.end());
    std::vector<ProductSeen> onlyLeft, onlyRight;
    std::set_difference(left.begin(), left.end(), right.begin(), right.end(), std::back_inserter(onlyLeft));
    std::set_difference(right.begin(), right.end(), left.begin(), left.end(), std::back_inserter(onlyRight));
    std::vector<std::string> differences;
    for (const ProductSeen& p : onlyLeft)
        differences.push_back("only in the inventory: \"" + p.name + "\" " + p.state);
    for (const ProductSeen& p : onlyRight)
        differences.push_back("only in the system's answer: \"" + p.name + "\" " + p.state);
    return differences;
}

std::multimap<std::string, std::string> parseNameValueLines(const std::string& text) {
    std::multimap<std::string, std::string> values;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::size_t equals = line.find('=');
        if (equals != std::string::npos && equals > 0) values.emplace(line.substr(0, equals), line.substr(equals + 1));
        start = end + 1;
    }
    return values;
}

namespace {
std::optional<std::string> firstValue(const std::multimap<std::string, std::string>& values, const std::string& name) {
    auto found = values.find(name);
    if (found == values.end()) return std::nullopt;
    return found->second;
}
bool isTrue(const std::multimap<std::string, std::string>& values, const std::string& name) {
    return firstValue(values, name) == std::optional<std::string>("True");
}
}  // namespace

// The documented rule (docs/inventory.md, Microsoft Defender): on when the
// service, real-time protection and the kind's own switch are on and the
// running mode is absent or exactly Normal (PowerShell prints an absent
// property as an empty value).
std::optional<std::string> expectedDefenderState(const std::multimap<std::string, std::string>& status,
                                                 bool antispyware) {
    if (!firstValue(status, "AMServiceEnabled")) return std::nullopt;
    std::optional<std::string> mode = firstValue(status, "AMRunningMode");
    bool normal = !mode || mode->empty() || *mode == "Normal";
    bool on = isTrue(status, "AMServiceEnabled") && isTrue(status, "RealTimeProtectionEnabled") &&
              isTrue(status, antispyware ? "AntispywareEnabled" : "AntivirusEnabled") && normal;
    return on ? "on" : "off";
}

std::string expectedFirewallState(const std::multimap<std::string, std::string>& profiles,
                                  const std::vector<std::string>& categories) {
    static const std::map<std::string, std::string> profileOfCategory = {
        {"DomainAuthenticated", "Domain"}, {"Private", "Private"}, {"Public", "Public"}};
    std::set<std::string> current;
    for (const std::string& category : categories) {
        auto found = profileOfCategory.find(category);
        if (found != profileOfCategory.end()) current.insert(found->second);
    }
    if (current.empty()) return "off";
    for (const std::string& profile : current)
        if (!isTrue(profiles, profile)) return "off";
    return "on";
}

namespace {
// GENERIC_* as the file object type maps them (FILE_GENERIC_READ and friends).
std::uint32_t mapGenericFileRights(std::uint32_t mask) {
    constexpr std::uint32_t kGenericRead = 0x80000000u, kGenericWrite = 0x40000000u, kGenericExecute = 0x20000000u,
                            kGenericAll = 0x10000000u;
    std::uint32_t mapped = mask & ~(kGenericRead | kGenericWrite | kGenericExecute | kGenericAll);
    if (mask & kGenericRead) mapped |= 0x120089u;
    if (mask & kGenericWrite) mapped |= 0x120116u;
    if (mask & kGenericExecute) mapped |= 0x1200A0u;
    if (mask & kGenericAll) mapped |= 0x1F01FFu;
    return mapped;
}
bool grantLess(const AceFacts& a, const AceFacts& b) { return a.sid != b.sid ? a.sid < b.sid : a.mask < b.mask; }
}  // namespace

std::vector<AceFacts> inheritedByNewFile(const std::vector<AceFacts>& folder, const std::string& fileOwner) {
    constexpr std::uint8_t kObjectInherit = 0x1;
    std::vector<AceFacts> inherited;
    for (const AceFacts& ace : folder) {
        if (!(ace.flags & kObjectInherit)) continue;
        inherited.push_back({ace.sid == "S-1-3-0" ? fileOwner : ace.sid, mapGenericFileRights(ace.mask), 0});
    }
    std::sort(inherited.begin(), inherited.end(), grantLess);
    return inherited;
}

bool sameGrants(std::vector<AceFacts> left, std::vector<AceFacts> right) {
    auto key = [](std::vector<AceFacts>& aces) {
        for (AceFacts& ace : aces) ace.flags = 0;
        std::sort(aces.begin(), aces.end(), grantLess);
        aces.erase(std::unique(aces.begin(), aces.end(),
                               [](const AceFacts& a, const AceFacts& b) { return a.sid == b.sid && a.mask == b.mask; }),
                   aces.end());
    };
    key(left);
    key(right);
    return left.size() == right.size() &&
           std::equal(left.begin(), left.end(), right.begin(),
                      [](const AceFacts& a, const AceFacts& b) { return a.sid == b.sid && a.mask == b.mask; });
}

std::string describeGrants(const std::vector<AceFacts>& aces) {
    std::string text;
    for (const AceFacts& ace : aces) {
        char mask[16];
        std::snprintf(mask, sizeof mask, "0x%x", unsigned(ace.mask));
        text += (text.empty() ? "" : ",") + ace.sid + ":" + mask;
    }
    return text.empty() ? "(none)" : text;
}

std::string versionFromFixed(std::uint32_t mostSignificant, std::uint32_t leastSignificant) {
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", unsigned(mostSignificant >> 16), unsigned(mostSignificant & 0xFFFF),
                  unsigned(leastSignificant >> 16), unsigned(leastSignificant & 0xFFFF));
    return text;
}

}  // namespace velmora::field
