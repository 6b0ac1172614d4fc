#include "app/json_file.h"

#include "common/machine_paths.h"
#include "common/text.h"
#include "log/logger.h"
#include "log/report_sites.h"

#include <exception>
#include <limits>
#include <stdexcept>

namespace velmora {

nlohmann::json getJsonFromFile(const OpenFolder& folder, const std::string& name, bool& ok) {
    ok = false;
    const std::string path = folder.path + pathSeparator() + name;
    // A plain file only, opened without waiting: a FIFO, a device or a link
    // another account put there is a file that cannot be opened.
    const FileOpenResult opened = openFileIn(folder, name, FileOpen::ReadPlain);
    if (!opened.file) {
        avLogger->error("Couldn't open the file {} for reading. ErrorCode: {}", path, opened.error);
        return "";
    }
    try {
        // The whole file is read first and parsed from memory: parsing straight
        // from the stream reads it a character at a time, which costs seconds on
        // a policy of 100 MB.
        // A read error (an I/O error) must not pass for an end of file: a
        // cut-off document could still parse.
        std::string bytes;
        const unsigned long error = readAll(*opened.file, bytes, std::numeric_limits<std::size_t>::max());
        if (error != 0) throw std::runtime_error("read error: " + heldErrorText(error));
        nlohmann::json value = nlohmann::json::parse(bytes.begin(), bytes.end(), nullptr, true, false);
        ok = true;
        return value;
    } catch (const std::exception& ex) {
        // The parser quotes the bytes it read last, which need not be UTF-8.
        avLogger->error(std::string("Exception in Func [getJsonFromFile:") +
                        std::to_string(kReportSiteGetJsonFromFile) + "]: " + toValidUtf8(ex.what()));
    }
    return "";
}

}  // namespace velmora
