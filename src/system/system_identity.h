// Which Windows release the program runs on and as which user; gathered
// once, before the log exists, and kept for the whole run.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velmora {

enum WinVersion : std::int32_t {
    WIN_11 = 0,
    WIN_10 = 1,
    WIN_8 = 2,
    WIN_7 = 3,
    WIN_VISTA = 4,
    WIN_XP = 5,
    WIN_UNKNOWN = 10,
};

// The basic form of the record that RtlGetVersion fills (276 bytes).
struct OsVersionRecord {
    std::uint32_t size;
    std::uint32_t majorVersion;
    std::uint32_t minorVersion;
    std::uint32_t buildNumber;
    std::uint32_t platformId;
    char16_t servicePack[128];
};
static_assert(sizeof(OsVersionRecord) == 276, "layout of RTL_OSVERSIONINFOW");

struct SystemIdentity {
    std::string userName;                 // UTF-8 on Windows; "-" when unknown
    OsVersionRecord versionInfo{};        // all zero when unknown
    WinVersion winVersion = WIN_UNKNOWN;
};

// The process-wide record; the first call fills it, later calls return it as is.
SystemIdentity& getSystemIdentity();

WinVersion classifyWinVersion(std::uint32_t major, std::uint32_t minor, std::uint32_t build);

// Member identifier ("WIN_10"), or "" for a value that is no member.
std::string winVersionName(WinVersion value);

// Display text ("Win 10"); "Win Unknown" for every value other than 0 to 5.
std::string winVersionText(WinVersion value);

// Platform layer: the two system queries.
// The user name of the process, or "-" when it cannot be had.
std::string queryUserName();
// The version record, or an all-zero record when it cannot be had.
OsVersionRecord queryOsVersion();

// The log folder's name for the UTF-16 user name Windows gives: its UTF-8
// form, or "-" when there is none or it is not valid UTF-16.
std::string userFolderName(const std::optional<std::u16string>& wideName);

#ifndef _WIN32
// The login name of uid in text of the passwd file's format: the name of the
// first entry whose user id is uid, or "" when there is none.
std::string passwdNameOf(const std::string& passwdText, unsigned long uid);
#endif

}  // namespace velmora
