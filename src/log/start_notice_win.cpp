#include "log/start_notice.h"

#include <windows.h>

namespace velmora {

void showStartFailureNotice(const std::string& caption, const std::string& text) {
    MessageBoxA(nullptr, text.c_str(), caption.c_str(), MB_OK | MB_ICONERROR);
}

void debugOutput(const std::string& text) { OutputDebugStringA(text.c_str()); }

}  // namespace velmora
