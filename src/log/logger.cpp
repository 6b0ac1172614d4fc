#include "log/logger.h"

#include "common/text.h"

#include <spdlog/sinks/rotating_file_sink.h>

namespace velmora {

std::shared_ptr<spdlog::logger> avLogger;

namespace {
constexpr std::size_t kMaxLogFileSize = 209715200;  // 200 MiB
constexpr std::size_t kRotatedFilesKept = 1;
// No call site passes a source location, so the source groups stay empty.
constexpr const char* kLogPattern =
    "[source %s][function %!][line %#] [%d-%m-%Y %X:%e msSinceLastMsg: %o] [thread %t] [%l] [%s:%#] %v ";
constexpr const char* kStartBanner =
    "........................... InfoDemo.............................\n";
// The library's file name type: UTF-16 where the Windows build sets
// SPDLOG_WCHAR_FILENAMES, so that a user folder of any name opens.
spdlog::filename_t logFileName(const std::string& path) {
#ifdef SPDLOG_WCHAR_FILENAMES
    const std::u16string wide = utf8ToWide(path);
    return spdlog::filename_t(wide.begin(), wide.end());
#else
    return path;
#endif
}
}  // namespace

std::optional<std::string> logInit(std::string loggerName, std::string logFilePath, const std::string& shownFilePath) {
    try {
        auto logger = spdlog::rotating_logger_mt(loggerName, logFileName(logFilePath), kMaxLogFileSize, kRotatedFilesKept, false);
        avLogger = logger;
        spdlog::flush_on(spdlog::level::info);
        spdlog::set_pattern(kLogPattern, spdlog::pattern_time_type::local);
        spdlog::set_level(spdlog::level::trace);
        avLogger->log(spdlog::level::info, kStartBanner);
        return std::nullopt;
    } catch (const spdlog::spdlog_ex& ex) {
        std::string reason = ex.what();
        const std::size_t at = reason.find(logFilePath);
        if (!shownFilePath.empty() && at != std::string::npos) reason.replace(at, logFilePath.size(), shownFilePath);
        return reason;
    }
}

}  // namespace velmora
