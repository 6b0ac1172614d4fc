// What every fuzz target needs: a quiet logger and a private ProgramData.
#pragma once

#include "log/logger.h"

#include <spdlog/sinks/null_sink.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

inline std::filesystem::path fuzzProgramData() {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / ("velmora-fuzz-" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        setenv("VELMORA_PROGRAMDATA", d.c_str(), 1);
        if (!velmora::avLogger) {
            velmora::avLogger = std::make_shared<spdlog::logger>("fuzz", std::make_shared<spdlog::sinks::null_sink_mt>());
        }
        return d;
    }();
    return dir;
}
