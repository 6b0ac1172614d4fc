// Points avLogger at an in-memory sink for one test and gives back the
// messages it received, one per line, without any header.
#pragma once

#include "log/logger.h"

#include <spdlog/sinks/ostream_sink.h>

#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace velmora {

class LogCapture {
public:
    LogCapture() : previous_(avLogger) {
        auto sink = std::make_shared<spdlog::sinks::ostream_sink_mt>(stream_);
        auto logger = std::make_shared<spdlog::logger>("posture-test", sink);
        logger->set_pattern("%l|%v");
        logger->set_level(spdlog::level::trace);
        avLogger = logger;
    }
    ~LogCapture() { avLogger = previous_; }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Messages as "level|message".
    std::vector<std::string> lines() const {
        std::vector<std::string> out;
        std::istringstream in(stream_.str());
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            out.push_back(line);
        }
        return out;
    }
    // Messages at info level, without the level.
    std::vector<std::string> infos() const {
        std::vector<std::string> out;
        for (const auto& line : lines()) {
            if (line.rfind("info|", 0) == 0) out.push_back(line.substr(5));
        }
        return out;
    }
    void clear() { stream_.str(""); }

private:
    std::ostringstream stream_;
    std::shared_ptr<spdlog::logger> previous_;
};

}  // namespace velmora
