#include "common/long_path.h"

namespace velmora {

namespace {

// Counted without the terminating NUL: a path of 259 units still fits.
constexpr std::size_t kMaxPath = 260;

bool startsWith(const std::u16string& text, const std::u16string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

bool isDriveAbsolute(const std::u16string& path) {
    const char16_t letter = path.size() >= 3 ? static_cast<char16_t>(path[0] | 0x20) : u'\0';
    return letter >= u'a' && letter <= u'z' && path[1] == u':' && path[2] == u'\\';
}

}  // namespace

std::u16string withLongPathPrefix(const std::u16string& path, const std::u16string& fullPath) {
    if (startsWith(path, u"\\\\?\\") || startsWith(path, u"\\\\.\\")) return path;
    if (fullPath.size() < kMaxPath) return path;
    if (isDriveAbsolute(fullPath)) return u"\\\\?\\" + fullPath;
    const bool unc = startsWith(fullPath, u"\\\\") && !startsWith(fullPath, u"\\\\?\\") &&
                     !startsWith(fullPath, u"\\\\.\\");
    if (unc) return u"\\\\?\\UNC\\" + fullPath.substr(2);
    return path;
}

}  // namespace velmora
