#include "common/file_io.h"

#include "common/text.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace velmora {

std::u16string widePath(const std::string& path) { return nativeBytesToWide(path); }

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
    // lstat: a link is looked at, never followed.
    if (::lstat(wideToNativeBytes(path).c_str(), &status) != 0) {
        return errno == ENOENT ? PathKind::Missing : PathKind::Other;
    }
    if (S_ISLNK(status.st_mode) || (S_ISREG(status.st_mode) && status.st_nlink > 1)) return PathKind::Link;
    return S_ISREG(status.st_mode) ? PathKind::PlainFile : PathKind::Other;
}

bool canOpenForWriting(const std::u16string& path) {
    const int fd = ::open(wideToNativeBytes(path).c_str(), O_WRONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
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

namespace {

// The plain-file check on the opened descriptor: what the name held when it
// was checked cannot differ from what is written.
bool isPlainWithOneLink(int fd) {
    struct stat status;
    return ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_nlink == 1;
}

}  // namespace

std::FILE* openInPlace(const std::u16string& path, bool onlyPlainFile) {
    const std::string bytes = wideToNativeBytes(path);
    if (bytes.empty()) {
        errno = ENOENT;
        return nullptr;
    }
    // No O_TRUNC: the file is never empty or shorter than its new text while
    // it is written. O_NOFOLLOW fails with ELOOP on a link.
    const int flags = onlyPlainFile ? O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK : O_WRONLY | O_CLOEXEC | O_CREAT;
    const int fd = ::open(bytes.c_str(), flags, 0666);
    if (fd < 0) return nullptr;
    if (onlyPlainFile && !isPlainWithOneLink(fd)) {
        ::close(fd);
        errno = EPERM;
        return nullptr;
    }
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) ::close(fd);
    return file;
}

namespace {

// fsync of a device or pipe that keeps nothing fails with EINVAL: no loss.
int syncDescriptor(int fd) {
    if (::fsync(fd) == 0 || errno == EINVAL || errno == EROFS) return 0;
    return errno;
}

}  // namespace

int finishInPlace(std::FILE* file, std::size_t length) {
    errno = 0;
    int error = std::fflush(file) == 0 ? 0 : (errno != 0 ? errno : EIO);
    struct stat status;
    const int fd = ::fileno(file);
    if (error == 0 && ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) &&
        ::ftruncate(fd, static_cast<off_t>(length)) != 0) {
        error = errno;
    }
    if (error == 0) error = syncDescriptor(fd);
    errno = 0;
    if (std::fclose(file) != 0 && error == 0) error = errno != 0 ? errno : EIO;
    return error;
}

int flushToDisk(std::FILE* file) {
    errno = 0;
    if (std::fflush(file) != 0) return errno != 0 ? errno : EIO;
    return syncDescriptor(::fileno(file));
}

unsigned long copyAccessRules(const std::u16string& target, std::FILE* replacement) {
    // The permission bits only: the owner is the replacing account's, which
    // only root could change. A target gone or no longer a plain file has
    // none to carry; the rename then decides.
    struct stat status;
    if (::lstat(wideToNativeBytes(target).c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return 0;
    return ::fchmod(::fileno(replacement), status.st_mode & 07777) == 0 ? 0 : static_cast<unsigned long>(errno);
}

ReplaceAttempt replaceOnce(std::FILE*, const std::u16string& fromPath, const std::u16string& to) {
    // rename replaces the name to, whatever it is (a link included), and
    // never opens what a link points at. Linux never refuses it because a
    // reader holds the file; EBUSY is a mount point.
    ReplaceAttempt attempt;
    errno = 0;
    attempt.replaced = std::rename(wideToNativeBytes(fromPath).c_str(), wideToNativeBytes(to).c_str()) == 0;
    if (!attempt.replaced) attempt.systemError = static_cast<unsigned long>(errno);
    return attempt;
}

void removeLinkItself(const std::u16string&) {}

void flushFolderOf(const std::u16string& path) {
    const std::string bytes = wideToNativeBytes(path);
    const std::size_t slash = bytes.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : bytes.substr(0, slash);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    ::fsync(fd);
    ::close(fd);
}

std::vector<std::u16string> folderEntries(const std::u16string& folder) {
    std::vector<std::u16string> names;
    const std::string bytes = folder.empty() ? "." : wideToNativeBytes(folder);
    DIR* dir = ::opendir(bytes.c_str());
    if (dir == nullptr) return names;
    while (const dirent* entry = ::readdir(dir)) names.push_back(nativeBytesToWide(entry->d_name));
    ::closedir(dir);
    return names;
}

void removePlainFile(const std::u16string& path) {
    // lstat does not follow a link, and unlink never does: should the name
    // change between the two, a link name is removed, never its target.
    const std::string bytes = wideToNativeBytes(path);
    struct stat status;
    if (::lstat(bytes.c_str(), &status) == 0 && S_ISREG(status.st_mode) && status.st_nlink == 1) {
        ::unlink(bytes.c_str());
    }
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
