// status.json bytes through the reader that serves Defender's status (the
// Linux stand-in and the test WMI provider), the file read included, and the
// usable ones through the mapping to the Security Center's terms. A usable
// description must read back the same when written out again.
#include "fuzz_common.h"
#include "inventory/defender_status.h"
#include "inventory/security_product.h"
#include "standin/defender_status_file.h"

#include <nlohmann/json.hpp>

#include <fstream>

using namespace velmora;

namespace {

template <typename T>
void put(nlohmann::json& out, const char* key, const std::optional<T>& value) {
    if (value) out[key] = *value;
}

// The description a parsed file stands for, without the members it ignored.
std::string rewritten(const DefenderStatusFile& file) {
    const DefenderProperties& p = file.properties;
    nlohmann::json out = nlohmann::json::object();
    put(out, "AMServiceEnabled", p.amServiceEnabled);
    put(out, "AntivirusEnabled", p.antivirusEnabled);
    put(out, "AntispywareEnabled", p.antispywareEnabled);
    put(out, "RealTimeProtectionEnabled", p.realTimeProtectionEnabled);
    put(out, "AMProductVersion", p.amProductVersion);
    put(out, "AntivirusSignatureAge", p.antivirusSignatureAge);
    put(out, "DefenderSignaturesOutOfDate", p.defenderSignaturesOutOfDate);
    put(out, "AMRunningMode", p.amRunningMode);
    out["delay_ms"] = file.delayMs;
    return out.dump();
}

bool sameProperties(const DefenderProperties& a, const DefenderProperties& b) {
    return a.amServiceEnabled == b.amServiceEnabled && a.antivirusEnabled == b.antivirusEnabled &&
           a.antispywareEnabled == b.antispywareEnabled && a.realTimeProtectionEnabled == b.realTimeProtectionEnabled &&
           a.amProductVersion == b.amProductVersion && a.antivirusSignatureAge == b.antivirusSignatureAge &&
           a.defenderSignaturesOutOfDate == b.defenderSignaturesOutOfDate && a.amRunningMode == b.amRunningMode;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto programData = fuzzProgramData();
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    DefenderStatusFile parsed;
    const bool usable = parseDefenderStatusFile(bytes, parsed);
    if (!usable) return 0;

    DefenderStatusFile again;
    if (!parseDefenderStatusFile(rewritten(parsed), again) || !sameProperties(parsed.properties, again.properties) ||
        again.delayMs != parsed.delayMs) {
        __builtin_trap();
    }
    for (std::uint32_t kind : {PROVIDER_ANTIVIRUS, PROVIDER_ANTISPYWARE}) {
        const DefenderProductState state = defenderProductState(parsed.properties, kind);
        if (state.productState != 0 && state.productState != 1) __builtin_trap();
        if (state.signatureStatus != 0 && state.signatureStatus != 1) __builtin_trap();
    }

    // The served answer is the parsed one; a description that asks for a
    // wait is not served, or the fuzzer would only sleep.
    if (parsed.delayMs != 0) return 0;
    std::filesystem::create_directories(programData / "Defender");
    std::ofstream(programData / "Defender" / "status.json", std::ios::binary | std::ios::trunc) << bytes;
    DefenderProperties served;
    if (serveDefenderStatus(served) != 0 || !sameProperties(served, parsed.properties)) __builtin_trap();
    return 0;
}
