// Microsoft Defender's own status provider: the WMI class
// MSFT_MpComputerStatus in the namespace ROOT\Microsoft\Windows\Defender.
// Windows asks WMI; the Linux build reads <ProgramData>/Defender/status.json
// instead. Only the one blocking question differs per platform; the time
// bound and what the answer means live in defender_status.h.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velmora {

// The properties the program uses. A property the instance does not have
// (older Defender platforms lack the last two) or that is null is absent.
struct DefenderProperties {
    std::optional<bool> amServiceEnabled;
    std::optional<bool> antivirusEnabled;
    std::optional<bool> antispywareEnabled;
    std::optional<bool> realTimeProtectionEnabled;
    std::optional<std::string> amProductVersion;  // UTF-8
    std::optional<std::uint32_t> antivirusSignatureAge;  // days
    std::optional<bool> defenderSignaturesOutOfDate;
    std::optional<std::string> amRunningMode;  // "Normal", "Passive", ...
};

// Asks the provider once and waits for its answer, however long it takes.
// Returns the HRESULT of the first failing step (properties left empty), or
// a success code with the properties filled.
//
// Runs on a worker thread that may be abandoned when it takes too long, so
// it must not log nor touch anything of the run; on Windows it starts and
// stops COM for its own thread.
std::int32_t askDefenderProvider(DefenderProperties& properties);

}  // namespace velmora
