#include "system/system_identity.h"

#include "common/enum_names.h"
#include "common/text.h"

namespace velmora {

static const EnumNameEntry kWinVersionNames[] = {
    {WIN_11, "WIN_11"},       {WIN_10, "WIN_10"}, {WIN_8, "WIN_8"},   {WIN_7, "WIN_7"},
    {WIN_VISTA, "WIN_VISTA"}, {WIN_XP, "WIN_XP"}, {WIN_UNKNOWN, "WIN_UNKNOWN"},
};

SystemIdentity& getSystemIdentity() {
    static SystemIdentity identity;
    static bool filled = false;
    if (!filled) {
        identity.userName = queryUserName();
        identity.versionInfo = queryOsVersion();
        identity.winVersion = classifyWinVersion(identity.versionInfo.majorVersion,
                                                 identity.versionInfo.minorVersion,
                                                 identity.versionInfo.buildNumber);
        filled = true;
    }
    return identity;
}

std::string userFolderName(const std::optional<std::u16string>& wideName) {
    const std::string utf8 = wideName ? wideToUtf8(*wideName) : std::string();
    return utf8.empty() ? "-" : utf8;
}

WinVersion classifyWinVersion(std::uint32_t major, std::uint32_t minor, std::uint32_t build) {
    // Windows 11 still reports major version 10; only the build tells it apart.
    if (build >= 22621) return WIN_11;
    if (major == 10) return WIN_10;
    if (major == 6) {
        if (minor >= 2) return WIN_8;
        if (minor == 1) return WIN_7;
        return WIN_VISTA;
    }
    if (major == 5) return WIN_XP;
    return WIN_UNKNOWN;
}

std::string winVersionName(WinVersion value) {
    return lookupEnumName(value, kWinVersionNames);
}

std::string winVersionText(WinVersion value) {
    switch (value) {
        case WIN_11: return "Win 11";
        case WIN_10: return "Win 10";
        case WIN_8: return "Win 8";
        case WIN_7: return "Win 7";
        case WIN_VISTA: return "Win Vista";
        case WIN_XP: return "Win XP";
        default: return "Win Unknown";
    }
}

}  // namespace velmora
