#include "app/verdict_file.h"

#include "common/file_io.h"
#include "log/logger.h"

#include <cerrno>
#include <exception>

namespace velmora {

namespace {

// Writes text and CR LF, then flushes. Returns 0, or the errno of the
// failure. The line end is explicit so the file reads the same on both targets.
int writeLine(std::FILE* file, const std::string& text) {
    errno = 0;
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    ok = std::fwrite("\r\n", 1, 2, file) == 2 && ok;
    ok = std::fflush(file) == 0 && ok;
    if (ok) return 0;
    return errno != 0 ? errno : EIO;
}

// The three lines. Returns 0, or the errno of the first failed write (logged
// here).
int writeLines(const std::string& path, std::FILE* file, bool isVpnBlock, const std::string& message,
               const std::string& systemModel) {
    int error = 0;
    for (const std::string& line : {std::string(isVpnBlock ? "1" : "0"), message, systemModel}) {
        const int lineError = writeLine(file, line);
        if (error == 0) error = lineError;
    }
    if (error == 0 && std::ferror(file) != 0) error = EIO;
    if (error != 0) {
        avLogger->info("Error writing the file [{}] for writing. Error code: [{}]", path, errnoText(error));
    }
    return error;
}

}  // namespace

std::optional<VerdictFile> openVerdictFile(const std::string& path) {
    std::FILE* stream = openSharedForWriting(path);
    if (stream == nullptr) {
        avLogger->info("Error opening the file [{}] for writing. Error code: [{}]", path, errnoText(errno));
        return std::nullopt;
    }
    return VerdictFile{path, std::unique_ptr<std::FILE, VerdictFileCloser>(stream)};
}

void writeVerdictFile(VerdictFile file, bool isVpnBlock, const std::string& message, const std::string& systemModel) {
    const std::string& path = file.path;
    try {
        int error = writeLines(path, file.stream.get(), isVpnBlock, message, systemModel);
        errno = 0;
        if (std::fclose(file.stream.release()) != 0) error = errno != 0 ? errno : EIO;
        if (error != 0) {
            avLogger->info("Error closing the file [{}] for writing. Error code: [{}]", path, errnoText(error));
            return;
        }
        avLogger->info("Final compliance status saved to file [{}] isVpnBlock: [{}], msg: [{}]", path, isVpnBlock,
                       message);
    } catch (const std::exception& ex) {
        file.stream.reset();  // still open when the exception came before the close
        avLogger->info("exception while writing the file [{}] for writing. Error code: [{}]", path, ex.what());
    }
}

}  // namespace velmora
