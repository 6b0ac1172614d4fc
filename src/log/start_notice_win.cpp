#include "log/start_notice.h"

#include <windows.h>

namespace velmora {

namespace {

std::optional<std::uint32_t> processWindowStationFlags() {
    HWINSTA station = GetProcessWindowStation();
    USEROBJECTFLAGS flags = {};
    if (station == nullptr || !GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr)) {
        return std::nullopt;
    }
    static_assert(WSF_VISIBLE == 0x0001, "start_notice.cpp tests this bit");
    return flags.dwFlags;
}

// Windows Vista and later run services alone in session 0; Wine reports
// session 1 for every process.
std::optional<std::uint32_t> processSessionId() {
    DWORD session = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &session)) return std::nullopt;
    return session;
}

}  // namespace

void showStartFailureNotice(const std::string& caption, const std::string& text) {
    if (!noticeBoxCanBeSeen(processWindowStationFlags(), processSessionId())) {
        // Nobody could close a box: the notice goes to a debugger only and
        // the run ends at once.
        OutputDebugStringA((caption + ": " + text).c_str());
        return;
    }
    // In front of other windows: a box behind them looks like a hang.
    MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR | MB_TOPMOST | MB_SETFOREGROUND);
}

void debugOutput(const std::string& text) { OutputDebugStringA(text.c_str()); }

}  // namespace velmora
