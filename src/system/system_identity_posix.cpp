// Off Windows the user is the effective user, and the version numbers come
// from the registry stand-in (the values Windows keeps under CurrentVersion).
#include "system/system_identity.h"

#include "common/file_io.h"
#include "common/text.h"
#include "registry/registry_access.h"

#include <unistd.h>

#include <cstring>
#include <vector>

namespace velmora {

namespace {

constexpr std::size_t kMaxPasswdBytes = 64u << 20;

// A 32-bit number written in decimal digits only, as the passwd file writes
// user ids and the registry stand-in the version numbers.
bool parseDecimal32(const std::string& text, std::uint32_t& out) {
    if (text.empty() || text.size() > 10) return false;
    unsigned long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 0xffffffffULL) return false;
    out = static_cast<std::uint32_t>(value);
    return true;
}

}  // namespace

std::string passwdNameOf(const std::string& passwdText, unsigned long uid) {
    for (const std::string& line : splitText(passwdText, '\n')) {
        const std::vector<std::string> fields = splitText(line, ':');
        if (fields.size() < 3 || fields[0].empty()) continue;
        // "+name" and "-name" are inclusion marks of other user databases.
        if (fields[0][0] == '+' || fields[0][0] == '-') continue;
        std::uint32_t entryUid = 0;
        if (parseDecimal32(fields[2], entryUid) && entryUid == uid) return fields[0];
    }
    return "";
}

// The passwd file is read directly rather than through the C library's user
// database: that lookup cannot be linked statically, and the static program
// starts about a millisecond sooner. Users that only a directory service knows are
// therefore shown as "-".
std::string queryUserName() {
    unsigned long openError = 0;
    ReadFileHandle file(openSharedForReading("/etc/passwd", openError));
    std::string text;
    if (!file || !readWholeFile(file.get(), text, kMaxPasswdBytes)) return "-";
    const std::string name = passwdNameOf(text, static_cast<unsigned long>(geteuid()));
    return name.empty() ? "-" : name;
}

static bool readDecimal(const std::u16string& valueName, std::uint32_t& out) {
    std::u16string text;
    if (readRegistryString(RegistryRoot::LocalMachine, u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion",
                           valueName, text) != 0) {
        return false;
    }
    // Text that is not UTF-16 converts to "", which is no number either.
    return parseDecimal32(wideToUtf8(text), out);
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

}  // namespace velmora
