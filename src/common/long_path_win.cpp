#include "common/long_path.h"

#include <windows.h>

namespace velmora {

namespace {

// GetFullPathNameW completes a relative path from the current folder and
// resolves "." and "..", "/" and trailing dots and spaces, as every file call
// would; it touches no file. It answers the size needed (with the NUL) when
// the buffer is too small, the length written (without it) otherwise.
std::u16string fullPathOf(const std::u16string& path) {
    const auto* text = reinterpret_cast<const wchar_t*>(path.c_str());
    std::wstring buffer(MAX_PATH, L'\0');
    DWORD length = GetFullPathNameW(text, static_cast<DWORD>(buffer.size()), &buffer[0], nullptr);
    if (length >= buffer.size()) {
        buffer.assign(length, L'\0');
        length = GetFullPathNameW(text, static_cast<DWORD>(buffer.size()), &buffer[0], nullptr);
    }
    if (length == 0 || length >= buffer.size()) return u"";
    return std::u16string(reinterpret_cast<const char16_t*>(buffer.data()), length);
}

}  // namespace

std::wstring fileCallPath(const std::u16string& path) {
    // An empty name stays empty: GetFullPathNameW would make it the current folder.
    const std::u16string form = path.empty() ? path : withLongPathPrefix(path, fullPathOf(path));
    return std::wstring(reinterpret_cast<const wchar_t*>(form.data()), form.size());
}

}  // namespace velmora
