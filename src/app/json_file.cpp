#include "app/json_file.h"

#include "common/file_io.h"
#include "log/logger.h"

#include <nlohmann/json.hpp>

#include <exception>
#include <memory>

namespace {

constexpr int kParseReportSite = 56;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

nlohmann::json getJsonFromFile(std::string path, bool& ok) {
    ok = false;
    unsigned long errorCode = 0;
    std::unique_ptr<std::FILE, FileCloser> file(openSharedForReading(path, errorCode));
    if (!file) {
        avLogger->error("Couldn't open the file {} for reading. ErrorCode: {}", path, errorCode);
        return nlohmann::json("");
    }
    try {
        nlohmann::json value = nlohmann::json::parse(file.get(), nullptr, true, false);
        ok = true;
        return value;
    } catch (const std::exception& ex) {
        avLogger->error(std::string("Exception in Func [getJsonFromFile:") + std::to_string(kParseReportSite) +
                        "]: " + ex.what());
    }
    return nlohmann::json("");
}
