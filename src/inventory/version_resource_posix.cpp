// Off Windows: the version block is read out of the PE file by the program's
// own reader, size and last-write time come from stat.
#include "inventory/version_resource.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "inventory/pe_version_block.h"
#include "inventory/pe_version_query.h"

namespace velmora {

namespace {

constexpr std::int64_t kSecondsFrom1601To1970 = 11644473600;
constexpr std::uint64_t kTicksPerSecond = 10000000;

struct FileCloser {
    int fd;
    ~FileCloser() { ::close(fd); }
};

bool readFully(int fd, std::uint64_t offset, std::size_t count, std::uint8_t* out) {
    while (count > 0) {
        const ssize_t got = ::pread(fd, out, count, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        out += got;
        offset += static_cast<std::uint64_t>(got);
        count -= static_cast<std::size_t>(got);
    }
    return true;
}

}  // namespace

bool loadVersionBlock(const char* path, std::vector<std::uint8_t>& block) {
    // Non-blocking, so that a FIFO of that name cannot stall the run; only a
    // regular file is read.
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return false;
    FileCloser closer{fd};
    struct stat status;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) return false;
    PeByteSource source;
    source.size = static_cast<std::uint64_t>(status.st_size);
    source.read = [fd](std::uint64_t offset, std::size_t count, std::uint8_t* out) {
        return readFully(fd, offset, count, out);
    };
    return readVersionBlock(source, block);
}

bool queryFixedVersionInfo(std::vector<std::uint8_t>& block, FixedVersionInfo& fixed) {
    return readFixedVersionInfo(block.data(), block.size(), fixed);
}

bool queryFirstTranslation(std::vector<std::uint8_t>& block, VersionTranslation& first) {
    return readFirstTranslation(block.data(), block.size(), first);
}

bool queryVersionString(std::vector<std::uint8_t>& block, const std::string& entryPath, std::string& text) {
    return readVersionString(block.data(), block.size(), entryPath, text);
}

bool readFileAttributes(const char* path, FileAttributes& attributes) {
    struct stat status;
    if (::stat(path, &status) != 0) return false;
    // Windows reports no size for a folder.
    attributes.size = S_ISDIR(status.st_mode) ? 0 : static_cast<std::uint32_t>(status.st_size);
    const std::int64_t seconds = static_cast<std::int64_t>(status.st_mtim.tv_sec);
    attributes.lastWriteTime =
        seconds < -kSecondsFrom1601To1970
            ? 0
            : static_cast<std::uint64_t>(seconds + kSecondsFrom1601To1970) * kTicksPerSecond +
                  static_cast<std::uint64_t>(status.st_mtim.tv_nsec) / 100;
    return true;
}

}  // namespace velmora
