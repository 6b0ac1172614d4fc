#include "standin/defender_status_file.h"

#include <chrono>
#include <exception>
#include <limits>
#include <thread>

#include <nlohmann/json.hpp>

#include "common/file_io.h"
#include "common/machine_paths.h"

namespace velmora {

using nlohmann::json;

namespace {

// A status description is a few hundred bytes; anything far larger is a mistake.
constexpr std::size_t kMaxFileBytes = 1024u * 1024u;

// A present member must have the expected type; an absent one stays absent.
bool readBool(const json& root, const char* key, std::optional<bool>& out) {
    auto it = root.find(key);
    if (it == root.end()) return true;
    if (!it->is_boolean()) return false;
    out = it->get<bool>();
    return true;
}

bool readString(const json& root, const char* key, std::optional<std::string>& out) {
    auto it = root.find(key);
    if (it == root.end()) return true;
    if (!it->is_string()) return false;
    out = it->get<std::string>();
    return true;
}

// WMI's uint32: a whole number that fits, never negative or fractional.
bool readUint32(const json& root, const char* key, std::optional<std::uint32_t>& out) {
    auto it = root.find(key);
    if (it == root.end()) return true;
    if (!it->is_number_unsigned()) return false;
    const auto value = it->get<std::uint64_t>();
    if (value > std::numeric_limits<std::uint32_t>::max()) return false;
    out = static_cast<std::uint32_t>(value);
    return true;
}

bool readAll(const json& root, DefenderStatusFile& out) {
    DefenderProperties& p = out.properties;
    std::optional<std::uint32_t> delay;
    const bool fits = root.is_object() && readBool(root, "AMServiceEnabled", p.amServiceEnabled) &&
                      readBool(root, "AntivirusEnabled", p.antivirusEnabled) &&
                      readBool(root, "AntispywareEnabled", p.antispywareEnabled) &&
                      readBool(root, "RealTimeProtectionEnabled", p.realTimeProtectionEnabled) &&
                      readString(root, "AMProductVersion", p.amProductVersion) &&
                      readUint32(root, "AntivirusSignatureAge", p.antivirusSignatureAge) &&
                      readBool(root, "DefenderSignaturesOutOfDate", p.defenderSignaturesOutOfDate) &&
                      readString(root, "AMRunningMode", p.amRunningMode) && readUint32(root, "delay_ms", delay);
    out.delayMs = delay.value_or(0);
    return fits;
}

}  // namespace

bool parseDefenderStatusFile(const std::string& bytes, DefenderStatusFile& out) {
    out = DefenderStatusFile{};
    // The JSON parser stops at a NUL byte; JSON text never holds one.
    if (bytes.find('\0') != std::string::npos) return false;
    try {
        const json root = json::parse(bytes, nullptr, false);
        DefenderStatusFile parsed;
        if (!readAll(root, parsed)) return false;
        out = std::move(parsed);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

std::string defenderStatusFilePath() {
    const char sep = pathSeparator();
    return programDataDirectory() + sep + "Defender" + sep + "status.json";
}

bool defenderStatusFilePresent() {
    unsigned long errorCode = 0;
    ReadFileHandle file(openSharedForReading(defenderStatusFilePath(), errorCode));
    return file != nullptr;
}

std::int32_t serveDefenderStatus(DefenderProperties& out) {
    out = DefenderProperties{};
    unsigned long errorCode = 0;
    ReadFileHandle file(openSharedForReading(defenderStatusFilePath(), errorCode));
    if (!file) return kHrWbemInvalidNamespace;
    std::string bytes;
    if (!readWholeFile(file.get(), bytes, kMaxFileBytes)) return kHrWbemFailed;
    file.reset();
    DefenderStatusFile status;
    if (!parseDefenderStatusFile(bytes, status)) return kHrWbemFailed;
    std::this_thread::sleep_for(std::chrono::milliseconds(status.delayMs));
    out = std::move(status.properties);
    return 0;
}

}  // namespace velmora
