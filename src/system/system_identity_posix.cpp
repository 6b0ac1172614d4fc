// Off Windows the user is the effective user, and the version numbers come
// from the registry stand-in (the values Windows keeps under CurrentVersion).
#include "system/system_identity.h"

#include "registry/registry_access.h"
#include "common/text.h"

#include <pwd.h>
#include <unistd.h>

#include <cstring>
#include <vector>

std::string queryUserName() {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr ||
        found->pw_name == nullptr || found->pw_name[0] == '\0') {
        return "-";
    }
    return found->pw_name;
}

static bool readDecimal(const std::u16string& valueName, std::uint32_t& out) {
    std::u16string text;
    if (readRegistryString(RegistryRoot::LocalMachine, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                           valueName, text) != 0) {
        return false;
    }
    if (text.empty() || text.size() > 10) return false;
    unsigned long long value = 0;
    for (char16_t c : text) {
        if (c < u'0' || c > u'9') return false;
        value = value * 10 + static_cast<unsigned>(c - u'0');
    }
    if (value > 0xffffffffULL) return false;
    out = static_cast<std::uint32_t>(value);
    return true;
}

OsVersionRecord queryOsVersion() {
    OsVersionRecord record;
    std::memset(&record, 0, sizeof record);
    std::uint32_t major = 0, minor = 0, build = 0;
    if (readDecimal(u"CurrentMajorVersionNumber", major) && readDecimal(u"CurrentMinorVersionNumber", minor) &&
        readDecimal(u"CurrentBuildNumber", build)) {
        record.size = sizeof record;
        record.majorVersion = major;
        record.minorVersion = minor;
        record.buildNumber = build;
    }
    return record;
}
