#include "common/file_io.h"

#include "common/text.h"

#include <cerrno>
#include <cstring>

namespace velmora {

std::FILE* openSharedForWriting(const std::u16string& path) {
    return openSharedForWriting(wideToNativeBytes(path));
}

std::FILE* openSharedForWriting(const std::string& path) {
    if (path.empty()) {
        errno = ENOENT;
        return nullptr;
    }
    return std::fopen(path.c_str(), "wb");
}

std::FILE* openSharedForReading(const std::string& path, unsigned long& errorCode) {
    errno = 0;
    std::FILE* file = path.empty() ? nullptr : std::fopen(path.c_str(), "rb");
    if (path.empty()) errno = ENOENT;
    errorCode = file ? 0 : static_cast<unsigned long>(errno);
    return file;
}

std::string errnoText(int errnum) {
    char buffer[256] = {};
    // GNU strerror_r may return a static text instead of filling the buffer.
    const char* text = strerror_r(errnum, buffer, sizeof buffer);
    return text ? text : buffer;
}

std::u16string nativeBytesToWide(const std::string& bytes) {
    std::u16string out;
    std::size_t i = 0;
    while (i < bytes.size()) {
        // Take the longest valid UTF-8 sequence at i (1 to 4 bytes).
        bool decoded = false;
        for (std::size_t len = 1; len <= 4 && i + len <= bytes.size(); ++len) {
            std::u16string piece = utf8ToWide(bytes.substr(i, len));
            if (!piece.empty()) {
                out += piece;
                i += len;
                decoded = true;
                break;
            }
        }
        if (!decoded) {
            if (bytes[i] == '\0') {
                out += u'\0';
            } else {
                out += static_cast<char16_t>(0xDC00 + static_cast<unsigned char>(bytes[i]));
            }
            ++i;
        }
    }
    return out;
}

std::string wideToNativeBytes(const std::u16string& wide) {
    std::string out;
    std::size_t i = 0;
    while (i < wide.size()) {
        char16_t unit = wide[i];
        if (unit >= 0xDC80 && unit <= 0xDCFF) {
            out += static_cast<char>(unit - 0xDC00);
            ++i;
            continue;
        }
        std::size_t len = (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < wide.size()) ? 2 : 1;
        std::string piece = wideToUtf8(wide.substr(i, len));
        if (piece.empty()) piece = "\xEF\xBF\xBD";  // a surrogate that no byte stands for
        out += piece;
        i += len;
    }
    return out;
}

}  // namespace velmora
