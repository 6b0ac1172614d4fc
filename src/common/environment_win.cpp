#include "common/environment.h"

#include "common/text.h"

#include <windows.h>

namespace velmora {

std::string expandEnvironmentStrings(const std::string& text) {
    const std::u16string source = utf8ToWide(text);
    if (source.empty()) return text;
    const auto* sourceText = reinterpret_cast<const wchar_t*>(source.c_str());
    // The answer is the size needed, terminating NUL included. The size is
    // asked again when the text grew between two calls.
    std::u16string expanded;
    DWORD needed = ExpandEnvironmentStringsW(sourceText, nullptr, 0);
    for (int attempt = 0; attempt < 3 && needed != 0; ++attempt) {
        expanded.assign(needed, u'\0');
        const DWORD written =
            ExpandEnvironmentStringsW(sourceText, reinterpret_cast<wchar_t*>(expanded.data()), needed);
        if (written == 0) break;
        if (written <= needed) {
            expanded.resize(written - 1);
            const std::string utf8 = wideToUtf8(expanded);
            return utf8.empty() && !expanded.empty() ? text : utf8;
        }
        needed = written;
    }
    return text;
}

std::optional<std::string> environmentVariable(const char* name) {
    const std::u16string wideName = utf8ToWide(name);
    const auto* nameText = reinterpret_cast<const wchar_t*>(wideName.c_str());
    // The answer is the size needed, NUL included, or the length copied
    // without it; 0 for a variable that is not set, and for an empty one.
    std::u16string value;
    DWORD needed = GetEnvironmentVariableW(nameText, nullptr, 0);
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (needed == 0) {
            if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
            return std::string();
        }
        value.assign(needed, u'\0');
        const DWORD copied = GetEnvironmentVariableW(nameText, reinterpret_cast<wchar_t*>(value.data()), needed);
        if (copied < needed) {
            value.resize(copied);
            const std::string utf8 = wideToUtf8(value);
            if (utf8.empty() && !value.empty()) return std::nullopt;
            return utf8;
        }
        needed = copied;  // it grew in between
    }
    return std::nullopt;
}

}  // namespace velmora
