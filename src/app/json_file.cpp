#include "app/json_file.h"

#include "common/file_io.h"
#include "common/text.h"
#include "log/logger.h"
#include "log/report_sites.h"

#include <cerrno>
#include <exception>
#include <stdexcept>

namespace velmora {

nlohmann::json getJsonFromFile(const std::string& path, bool& ok) {
    ok = false;
    unsigned long errorCode = 0;
    ReadFileHandle file(openSharedForReading(path, errorCode));
    if (!file) {
        avLogger->error("Couldn't open the file {} for reading. ErrorCode: {}", path, errorCode);
        return "";
    }
    try {
        // The whole file is read first and parsed from memory: parsing straight
        // from the stream reads it a character at a time, which costs seconds on
        // a policy of 100 MB.
        // A read error (the path names a folder, an I/O error) must not pass
        // for an end of file: a cut-off document could still parse.
        std::string bytes;
        if (!readWholeFile(file.get(), bytes)) throw std::runtime_error("read error: " + errnoText(errno));
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
