#include "inventory/defender_status.h"


#include "common/text.h"
#include "inventory/security_product.h"
#include "log/logger.h"

namespace velmora {

namespace {

// The Security Center's codes (see security_center.h).
constexpr std::int32_t kScStateOn = 0;
constexpr std::int32_t kScStateOff = 1;
constexpr std::int32_t kScSignaturesOutOfDate = 0;
constexpr std::int32_t kScSignaturesUpToDate = 1;

// On platforms without DefenderSignaturesOutOfDate, signatures older than
// this many days count as out of date.
constexpr std::uint32_t kSignatureAgeLimitDays = 7;

bool isTrue(const std::optional<bool>& value) { return value.value_or(false); }

// One number of a version: 0 to 65535, written without leading zeros.
bool isVersionNumber(std::string_view text) {
    if (text.empty() || text.size() > 5 || (text.size() > 1 && text[0] == '0')) return false;
    std::uint32_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    return value <= 0xFFFF;
}

bool isFourNumberVersion(std::string_view text) {
    for (int number = 0; number < 4; ++number) {
        const std::size_t dot = text.find('.');
        const bool last = number == 3;
        if (last != (dot == std::string_view::npos)) return false;
        if (!isVersionNumber(text.substr(0, dot))) return false;
        if (!last) text.remove_prefix(dot + 1);
    }
    return true;
}

void logUnusableVersion(const DefenderReading& reading) {
    const std::optional<std::string>& version = reading.properties.amProductVersion;
    if (reading.outcome == DefenderOutcome::Answered && version && defenderVersionText(reading.properties).empty()) {
        avLogger->info("Microsoft Defender's version [{}] is not four numbers; the inventory leaves it empty",
                       *version);
    }
}

}  // namespace

const DefenderReading& defenderStatusOfThisRun() {
    static const DefenderReading reading = [] {
        // Any call of the provider may hang (CoCreateInstance, ConnectServer,
        // ExecQuery, Next): it is asked on a worker thread, within the bound.
        DefenderReading first;
        const BoundedAnswer answer =
            askStatusWithinBound("Microsoft Defender's status", askDefenderProvider, kDefenderTimeBound, first.properties);
        first.outcome = answer.outcome;
        first.hresult = answer.hresult;
        logUnusableVersion(first);
        return first;
    }();
    return reading;
}

bool isDefenderReportingPath(std::string_view path) { return equalsIgnoreAsciiCase(path, kDefenderReportingPath); }

DefenderProductState defenderProductState(const DefenderProperties& p, std::uint32_t provider) {
    const std::optional<bool>& kindEnabled =
        provider == PROVIDER_ANTISPYWARE ? p.antispywareEnabled : p.antivirusEnabled;
    // In passive mode (another antivirus is the primary one) or EDR block
    // mode Defender is installed but not the machine's protection.
    const bool normalMode = !p.amRunningMode || *p.amRunningMode == "Normal";
    const bool on = isTrue(p.amServiceEnabled) && isTrue(p.realTimeProtectionEnabled) && isTrue(kindEnabled) &&
                    normalMode;
    const bool outOfDate = p.defenderSignaturesOutOfDate
                               ? *p.defenderSignaturesOutOfDate
                               : p.antivirusSignatureAge.value_or(0) > kSignatureAgeLimitDays;
    return {on ? kScStateOn : kScStateOff, outOfDate ? kScSignaturesOutOfDate : kScSignaturesUpToDate};
}

std::string defenderVersionText(const DefenderProperties& properties) {
    const std::optional<std::string>& version = properties.amProductVersion;
    return version && isFourNumberVersion(*version) ? *version : std::string();
}

}  // namespace velmora
