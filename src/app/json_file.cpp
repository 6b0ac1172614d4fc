#include "app/json_file.h"

#include "common/file_io.h"
#include "log/logger.h"

#include <nlohmann/json.hpp>

#include <cerrno>
#include <exception>
#include <stdexcept>
#include <string>
#include <memory>

namespace {

constexpr int kParseReportSite = 56;

}  // namespace

nlohmann::json getJsonFromFile(std::string path, bool& ok) {
    ok = false;
    unsigned long errorCode = 0;
    ReadFileHandle file(openSharedForReading(path, errorCode));
    if (!file) {
        avLogger->error("Couldn't open the file {} for reading. ErrorCode: {}", path, errorCode);
        return nlohmann::json("");
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
        avLogger->error(std::string("Exception in Func [getJsonFromFile:") + std::to_string(kParseReportSite) +
                        "]: " + ex.what());
    }
    return nlohmann::json("");
}
