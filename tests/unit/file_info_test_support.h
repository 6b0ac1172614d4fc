// Shared by the file-information tests of both targets: where the test
// executables are, scratch folders, and a logger that records what is logged.
#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/ostream_sink.h>

#include "log/logger.h"

namespace velmora {

namespace file_info_test {

// The folder of the executables built by tests/version_resources, or "" when
// the build could not make them.
inline std::string fixtureDir() {
#ifdef VELMORA_VERSION_RESOURCES_DIR
    return VELMORA_VERSION_RESOURCES_DIR;
#else
    return {};
#endif
}

inline std::string fixture(const std::string& name) { return fixtureDir() + "/" + name; }

#define VELMORA_REQUIRE_FIXTURES()                                                       \
    do {                                                                                 \
        if (file_info_test::fixtureDir().empty()) GTEST_SKIP() << "no test executables"; \
    } while (0)

inline std::vector<char> readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Writes the bytes as a new file, so it carries the current time.
inline void writeAll(const std::filesystem::path& path, const std::vector<char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A fresh folder below the system's temporary folder, removed afterwards.
struct ScratchDir {
    std::filesystem::path path;
    ScratchDir() {
        static std::atomic<int> counter{0};
        path = std::filesystem::temp_directory_path() /
               ("velmora-file-info-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                std::to_string(counter++));
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
    std::string copyOf(const std::string& source, const std::string& name) const {
        writeAll(path / name, readAll(source));
        return (path / name).string();
    }
};

// Replaces the program's logger for the duration of a test; lines read
// "<level>|<text>".
struct LogCapture {
    std::shared_ptr<std::ostringstream> stream = std::make_shared<std::ostringstream>();
    std::shared_ptr<spdlog::logger> previous = avLogger;
    LogCapture() {
        auto sink = std::make_shared<spdlog::sinks::ostream_sink_st>(*stream);
        avLogger = std::make_shared<spdlog::logger>("file-info-test", sink);
        avLogger->set_formatter(
            std::make_unique<spdlog::pattern_formatter>("%l|%v", spdlog::pattern_time_type::local, "\n"));
        avLogger->set_level(spdlog::level::trace);
    }
    ~LogCapture() { avLogger = previous; }
    std::string text() const {
        avLogger->flush();
        return stream->str();
    }
};

}  // namespace file_info_test

}  // namespace velmora
