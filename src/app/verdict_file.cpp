#include "app/verdict_file.h"

#include "common/file_io.h"
#include "log/logger.h"

#include <cerrno>
#include <exception>

namespace velmora {

namespace {

// The model name as line 3: firmware may report a name holding CR or LF,
// which would otherwise start a fourth line.
std::string onOneLine(std::string text) {
    for (char& c : text) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return text;
}

// The three lines, each with CR LF (explicit, so the file reads the same on
// both targets) and pushed to the file at once. Returns 0, or the errno of the
// first failed write (logged here).
int writeLines(VerdictFile& file, bool isVpnBlock, const std::string& message, const std::string& systemModel) {
    int error = 0;
    for (const std::string& line : {std::string(isVpnBlock ? "1" : "0"), message, onOneLine(systemModel)}) {
        const int lineError = writeToReplacement(file.output, line + "\r\n");
        if (error == 0) error = lineError;
    }
    if (error != 0) {
        avLogger->info("Error writing the file [{}] for writing. Error code: [{}]", file.path, errnoText(error));
    }
    return error;
}

}  // namespace

std::optional<VerdictFile> openVerdictFile(const std::string& path) {
    std::optional<FileReplacement> output = beginReplacement(widePath(path), LinkAtTarget::Replace);
    if (!output) {
        avLogger->info("Error opening the file [{}] for writing. Error code: [{}]", path, errnoText(errno));
        return std::nullopt;
    }
    return VerdictFile{path, std::move(*output)};
}

void writeVerdictFile(VerdictFile file, bool isVpnBlock, const std::string& message, const std::string& systemModel) {
    const std::string& path = file.path;
    try {
        int error = writeLines(file, isVpnBlock, message, systemModel);
        // An incomplete file is dropped; the earlier verdict stays.
        const int closeError = finishReplacement(file.output, error == 0);
        if (file.output.writtenInPlaceAfter) {
            avLogger->info("The file [{}] could not be replaced; writing it in place. Error code: [{}]",
                           path, *file.output.writtenInPlaceAfter);
        }
        if (closeError != 0) error = closeError;
        if (error != 0) {
            avLogger->info("Error closing the file [{}] for writing. Error code: [{}]", path, errnoText(error));
            return;
        }
        avLogger->info("Final compliance status saved to file [{}] isVpnBlock: [{}], msg: [{}]", path, isVpnBlock,
                       message);
    } catch (const std::exception& ex) {
        // Still open when the exception came before the close.
        if (file.output.stream) finishReplacement(file.output, false);
        avLogger->info("exception while writing the file [{}] for writing. Error code: [{}]", path, ex.what());
    }
}

}  // namespace velmora
