// Windows: the conversions are the system's own, strict about invalid input.
#include "common/text.h"

#include <windows.h>

namespace velmora {

std::string wideToUtf8(const std::u16string& wide) {
    if (wide.empty() || wide.size() > 0x7fffffff) return {};
    const auto* src = reinterpret_cast<const wchar_t*>(wide.data());
    const int srcLen = static_cast<int>(wide.size());
    int needed = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, src, srcLen, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) return {};
    std::string out(static_cast<std::size_t>(needed), '\0');
    int written = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, src, srcLen, out.data(), needed, nullptr, nullptr);
    if (written != needed) return {};
    return out;
}

std::u16string utf8ToWide(const std::string& utf8) {
    if (utf8.empty() || utf8.size() > 0x7fffffff) return {};
    const int srcLen = static_cast<int>(utf8.size());
    int needed = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), srcLen, nullptr, 0);
    if (needed <= 0) return {};
    std::u16string out(static_cast<std::size_t>(needed), u'\0');
    int written = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), srcLen,
                                      reinterpret_cast<wchar_t*>(out.data()), needed);
    if (written != needed) return {};
    return out;
}

}  // namespace velmora
