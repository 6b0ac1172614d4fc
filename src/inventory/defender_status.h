// Microsoft Defender's status as the inventory uses it: asked of Defender's
// own provider (defender_provider.h) at most once per run and never for
// longer than kDefenderTimeBound, then turned into a product record the way
// the Security Center would report Defender.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "inventory/bounded_call.h"
#include "inventory/defender_provider.h"

namespace velmora {

// WMI calls can hang on machines with another antivirus; the run does not
// wait longer than this for Defender.
constexpr std::chrono::milliseconds kDefenderTimeBound{5000};

// The Security Center's name and reporting path for Defender.
constexpr const char* kDefenderProductName = "Windows Defender";
constexpr const char* kDefenderReportingPath = "windowsdefender://";

using DefenderOutcome = BoundedOutcome;

struct DefenderReading {
    DefenderOutcome outcome = DefenderOutcome::Failed;
    std::int32_t hresult = 0;       // the provider's code when it failed
    DefenderProperties properties;  // filled when it answered
};

// This run's reading: asked on first use, within kDefenderTimeBound, and
// kept. Logs on that first use when Defender's provider did not answer.
// Call it on the run's thread only.
const DefenderReading& defenderStatusOfThisRun();

// Defender registers this path (ASCII letter case ignored) with the Security
// Center instead of an executable; the path alone tells Defender apart
// (another maker's product may well have "defender" in its name).
bool isDefenderReportingPath(std::string_view path);

// Defender in the Security Center's own terms, for one provider kind
// (antivirus or antispyware): state 0 on or 1 off; signature status 1 up to
// date or 0 out of date.
struct DefenderProductState {
    std::int32_t productState;
    std::int32_t signatureStatus;
};
DefenderProductState defenderProductState(const DefenderProperties& properties, std::uint32_t provider);

// Defender's version as the inventory writes it: AMProductVersion as the
// provider gives it when it has the form of a version resource's product
// version (four decimal numbers 0 to 65535, no leading zeros), else empty,
// as for an executable without a readable version. Readers of the inventory
// rely on that one form.
std::string defenderVersionText(const DefenderProperties& properties);

}  // namespace velmora
