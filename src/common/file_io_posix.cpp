#include "common/file_io.h"

#include "common/text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace velmora {

std::u16string widePath(const std::string& path) { return nativeBytesToWide(path); }

std::FILE* openSharedForWriting(const std::u16string& path) {
    const std::string bytes = wideToNativeBytes(path);
    if (bytes.empty()) {
        errno = ENOENT;
        return nullptr;
    }
    return std::fopen(bytes.c_str(), "wb");
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

PathKind pathKind(const std::u16string& path) {
    struct stat status;
    // lstat: a link is written through as before, never replaced by a file.
    if (::lstat(wideToNativeBytes(path).c_str(), &status) != 0) {
        return errno == ENOENT ? PathKind::Missing : PathKind::Other;
    }
    return S_ISREG(status.st_mode) ? PathKind::PlainFile : PathKind::Other;
}

bool canOpenForWriting(const std::u16string& path) {
    const int fd = ::open(wideToNativeBytes(path).c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

std::FILE* createNewForWriting(const std::u16string& path) {
    // O_EXCL: a file or link someone else put under that name is never written through.
    const std::string bytes = wideToNativeBytes(path);
    const int fd = ::open(bytes.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
        ::close(fd);
        ::unlink(bytes.c_str());
    }
    return file;
}

bool replaceFile(const std::u16string& from, const std::u16string& to) {
    return std::rename(wideToNativeBytes(from).c_str(), wideToNativeBytes(to).c_str()) == 0;
}

void removeFile(const std::u16string& path) { ::unlink(wideToNativeBytes(path).c_str()); }

unsigned long currentProcessId() { return static_cast<unsigned long>(::getpid()); }

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
