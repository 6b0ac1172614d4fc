#include "standin/firewall_status_file.h"

#include <chrono>
#include <cstdlib>
#include <exception>
#include <limits>
#include <thread>

#include <nlohmann/json.hpp>

#include "common/file_io.h"
#include "common/machine_paths.h"
#include "common/status_codes.h"

namespace velmora {

using nlohmann::json;

namespace {

// A status description is a few hundred bytes; anything far larger is a mistake.
constexpr std::size_t kMaxFileBytes = 1024u * 1024u;

bool readWhole(const json& value, std::uint64_t max, std::uint64_t& out) {
    if (!value.is_number_unsigned()) return false;
    out = value.get<std::uint64_t>();
    return out <= max;
}

bool readHresult(const json& value, std::int32_t& out) {
    return value.is_string() && hresultFromText(value.get_ref<const std::string&>(), out);
}

// Decimal profile values, without sign or leading zeros.
bool readEnabledMap(const json& value, std::map<std::uint32_t, bool>& out) {
    if (!value.is_object()) return false;
    for (const auto& [key, enabled] : value.items()) {
        if (key.empty() || key.size() > 10 || key.find_first_not_of("0123456789") != std::string::npos) return false;
        if ((key.size() > 1 && key[0] == '0') || !enabled.is_boolean()) return false;
        const unsigned long long profile = std::strtoull(key.c_str(), nullptr, 10);
        if (profile > std::numeric_limits<std::uint32_t>::max()) return false;
        out[static_cast<std::uint32_t>(profile)] = enabled.get<bool>();
    }
    return true;
}

bool readFail(const json& value, FirewallStatusFile& out) {
    if (!value.is_object() || !value.contains("method") || !value.contains("hresult")) return false;
    if (!value["method"].is_string()) return false;
    out.failMethod = value["method"].get<std::string>();
    return readHresult(value["hresult"], out.failHresult);
}

bool readAll(const json& root, FirewallStatusFile& out) {
    if (!root.is_object()) return false;
    std::uint64_t number = 0;
    if (!root.contains("CurrentProfileTypes") || !root.contains("FirewallEnabled")) return false;
    if (!readWhole(root["CurrentProfileTypes"], std::numeric_limits<std::int32_t>::max(), number)) return false;
    out.currentProfileTypes = static_cast<std::int32_t>(number);
    if (!readEnabledMap(root["FirewallEnabled"], out.firewallEnabled)) return false;
    if (root.contains("fail") && !readFail(root["fail"], out)) return false;
    if (root.contains("delay_ms")) {
        if (!readWhole(root["delay_ms"], std::numeric_limits<std::uint32_t>::max(), number)) return false;
        out.delayMs = static_cast<std::uint32_t>(number);
    }
    out.usable = true;
    return true;
}

// What every method does first: wait, then fail as the file says.
std::int32_t answerOf(const FirewallStatusFile& status, const char* method) {
    std::this_thread::sleep_for(std::chrono::milliseconds(status.delayMs));
    if (!status.usable) return kHrFail;
    if (status.failMethod == method) return status.failHresult;
    return 0;
}

}  // namespace

bool parseFirewallStatusFile(const std::string& bytes, FirewallStatusFile& out) {
    out = FirewallStatusFile{};
    // The JSON parser stops at a NUL byte; JSON text never holds one.
    if (bytes.find('\0') != std::string::npos) return false;
    try {
        const json root = json::parse(bytes, nullptr, false);
        FirewallStatusFile parsed;
        if (!readAll(root, parsed)) return false;
        out = std::move(parsed);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

std::string firewallStatusFilePath() {
    const char sep = pathSeparator();
    return programDataDirectory() + sep + "Firewall" + sep + "status.json";
}

std::int32_t loadFirewallStatus(FirewallStatusFile& out) {
    out = FirewallStatusFile{};
    unsigned long errorCode = 0;
    ReadFileHandle file(openSharedForReading(firewallStatusFilePath(), errorCode));
    if (!file) return kHrClassNotRegistered;
    std::string bytes;
    if (readWholeFile(file.get(), bytes, kMaxFileBytes)) parseFirewallStatusFile(bytes, out);
    return 0;
}

std::int32_t serveCurrentProfileTypes(const FirewallStatusFile& status, std::int32_t& out) {
    const std::int32_t hr = answerOf(status, "get_CurrentProfileTypes");
    if (hr < 0) return hr;
    out = status.currentProfileTypes;
    return 0;
}

std::int32_t serveFirewallEnabled(const FirewallStatusFile& status, std::uint32_t profile, bool& out) {
    const std::int32_t hr = answerOf(status, "get_FirewallEnabled");
    if (hr < 0) return hr;
    const auto it = status.firewallEnabled.find(profile);
    if (it == status.firewallEnabled.end()) return kHrInvalidArg;
    out = it->second;
    return 0;
}

}  // namespace velmora
