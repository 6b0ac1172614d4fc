#include "app/verdict_file.h"

#include "common/machine_paths.h"
#include "log/logger.h"

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
// both targets) and pushed to the file at once. Returns 0, or the error of the
// first failed write (logged here).
unsigned long writeLines(VerdictFile& file, bool isVpnBlock, const std::string& message,
                         const std::string& systemModel) {
    unsigned long error = 0;
    for (const std::string& line : {std::string(isVpnBlock ? "1" : "0"), message, onOneLine(systemModel)}) {
        const unsigned long lineError = writeToHeldReplacement(file.output, line + "\r\n");
        if (error == 0) error = lineError;
    }
    if (error != 0) {
        avLogger->info("Error writing the file [{}] for writing. Error code: [{}]", file.path, heldErrorText(error));
    }
    return error;
}

}  // namespace

std::optional<VerdictFile> openVerdictFile(const OpenFolder& folder, const std::string& name) {
    const std::string path = folder.path + pathSeparator() + name;
    unsigned long error = 0;
    std::optional<HeldReplacement> output = beginHeldReplacement(folder, name, error);
    if (!output) {
        avLogger->info("Error opening the file [{}] for writing. Error code: [{}]", path, heldErrorText(error));
        return std::nullopt;
    }
    return VerdictFile{path, std::move(*output)};
}

void writeVerdictFile(VerdictFile file, bool isVpnBlock, const std::string& message, const std::string& systemModel) {
    const std::string& path = file.path;
    try {
        unsigned long error = writeLines(file, isVpnBlock, message, systemModel);
        // An incomplete file is dropped; the earlier verdict stays.
        const unsigned long closeError = finishHeldReplacement(file.output, error == 0);
        if (file.output.writtenInPlaceAfter) {
            avLogger->info("The file [{}] could not be replaced; writing it in place. Error code: [{}]",
                           path, *file.output.writtenInPlaceAfter);
        }
        if (closeError != 0) error = closeError;
        if (error != 0) {
            avLogger->info("Error closing the file [{}] for writing. Error code: [{}]", path, heldErrorText(error));
            return;
        }
        avLogger->info("Final compliance status saved to file [{}] isVpnBlock: [{}], msg: [{}]", path, isVpnBlock,
                       message);
    } catch (const std::exception& ex) {
        // Still open when the exception came before the close.
        if (file.output.file) finishHeldReplacement(file.output, false);
        avLogger->info("exception while writing the file [{}] for writing. Error code: [{}]", path, ex.what());
    }
}

}  // namespace velmora
