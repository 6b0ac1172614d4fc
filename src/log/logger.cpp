#include "log/logger.h"

#include "log/held_file_sink.h"
#include "log/log_folder.h"

namespace velmora {

std::shared_ptr<spdlog::logger> avLogger;

namespace {
constexpr std::size_t kMaxLogFileSize = 209715200;  // 200 MiB
// No call site passes a source location, so the source groups stay empty.
constexpr const char* kLogPattern =
    "[source %s][function %!][line %#] [%d-%m-%Y %X:%e msSinceLastMsg: %o] [thread %t] [%l] [%s:%#] %v ";
constexpr const char* kStartBanner =
    "........................... InfoDemo.............................\n";
}  // namespace

std::optional<std::string> logInit(std::string loggerName, const OpenFolder& folder,
                                   const std::string& shownFilePath) {
    try {
        auto sink = std::make_shared<HeldFileSink>(folder, kLogFileName, kRotatedLogFileName, shownFilePath,
                                                   kMaxLogFileSize);
        auto logger = std::make_shared<spdlog::logger>(std::move(loggerName), std::move(sink));
        spdlog::register_logger(logger);
        avLogger = logger;
        spdlog::flush_on(spdlog::level::info);
        spdlog::set_pattern(kLogPattern, spdlog::pattern_time_type::local);
        spdlog::set_level(spdlog::level::trace);
        avLogger->log(spdlog::level::info, kStartBanner);
        return std::nullopt;
    } catch (const spdlog::spdlog_ex& ex) {
        return std::string(ex.what());
    }
}

}  // namespace velmora
