#include "app/verdict_file.h"

#include "common/file_io.h"
#include "common/text.h"
#include "log/logger.h"
#include "registry/registry_access.h"

#include <cerrno>
#include <cstdio>
#include <exception>

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

void readModelName(std::string& systemModel) {
    try {
        std::u16string name;
        if (readSystemProductName(name)) {
            systemModel = wideToUtf8(name);
            avLogger->info("SystemModel: [{}]", systemModel);
        }
    } catch (const std::exception&) {
        // The model stays as it was; the file is still written.
    }
}

// The three lines. Returns 0, or the errno of the first failed write (logged
// here). The registry read in between must not hide that error.
int writeLines(const std::string& path, std::FILE* file, bool isVpnBlock, const std::string& message,
               std::string& systemModel) {
    int error = writeLine(file, isVpnBlock ? "1" : "0");
    const int messageError = writeLine(file, message);
    if (error == 0) error = messageError;
    readModelName(systemModel);
    const int modelError = writeLine(file, systemModel);
    if (error == 0) error = modelError;
    if (error == 0 && std::ferror(file) != 0) error = EIO;
    if (error != 0) {
        avLogger->info("Error writing the file [{}] for writing. Error code: [{}]", path, errnoText(error));
    }
    return error;
}

}  // namespace

void writeVerdictFile(const std::string& path, bool isVpnBlock, const std::string& message, std::string& systemModel) {
    std::FILE* file = openSharedForWriting(path);
    if (file == nullptr) {
        avLogger->info("Error opening the file [{}] for writing. Error code: [{}]", path, errnoText(errno));
        return;
    }
    bool closed = false;
    try {
        int error = writeLines(path, file, isVpnBlock, message, systemModel);
        closed = true;
        errno = 0;
        if (std::fclose(file) != 0) error = errno != 0 ? errno : EIO;
        if (error != 0) {
            avLogger->info("Error closing the file [{}] for writing. Error code: [{}]", path, errnoText(error));
            return;
        }
        avLogger->info("Final compliance status saved to file [{}] isVpnBlock: [{}], msg: [{}]", path, isVpnBlock,
                       message);
    } catch (const std::exception& ex) {
        if (!closed) std::fclose(file);
        avLogger->info("exception while writing the file [{}] for writing. Error code: [{}]", path, ex.what());
    }
}
