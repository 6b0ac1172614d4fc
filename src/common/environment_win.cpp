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

}  // namespace velmora
