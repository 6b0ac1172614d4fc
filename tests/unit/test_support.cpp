#include "test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <system_error>

namespace velmora {

std::vector<LogRecord> RecordingSink::records() {
    std::lock_guard<std::mutex> lock(mutex_);
    return records_;
}

void RecordingSink::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    records_.clear();
}

void RecordingSink::sink_it_(const spdlog::details::log_msg& message) {
    const auto level = spdlog::level::to_string_view(message.level);
    records_.emplace_back(std::string(level.data(), level.size()),
                          std::string(message.payload.data(), message.payload.size()));
}

LogCapture::LogCapture() : sink_(std::make_shared<RecordingSink>()), previous_(avLogger) {
    auto logger = std::make_shared<spdlog::logger>("test-capture", sink_);
    logger->set_level(spdlog::level::trace);
    avLogger = logger;
}

LogCapture::~LogCapture() { avLogger = previous_; }

std::vector<LogRecord> LogCapture::records() const { return sink_->records(); }

std::vector<std::string> LogCapture::messages() const {
    std::vector<std::string> out;
    for (auto& record : records()) out.push_back(std::move(record.second));
    return out;
}

std::vector<std::string> LogCapture::infos() const {
    std::vector<std::string> out;
    for (auto& record : records()) {
        if (record.first == "info") out.push_back(std::move(record.second));
    }
    return out;
}

std::string LogCapture::info(std::size_t index) const {
    const std::vector<std::string> all = infos();
    if (index >= all.size()) {
        ADD_FAILURE() << "asked for info message " << index << " of " << all.size();
        return {};
    }
    return all[index];
}

std::string LogCapture::lastInfo() const {
    const std::vector<std::string> all = infos();
    if (all.empty()) {
        ADD_FAILURE() << "asked for the last info message, but none was logged";
        return {};
    }
    return all.back();
}

void LogCapture::clear() { sink_->clear(); }

ScratchMachine::ScratchMachine()
    : root(makeScratchRoot()), programData(useProgramDataBelow(root)), scratch(root / "scratch") {
    std::filesystem::create_directories(scratch);
}

ScratchMachine::~ScratchMachine() {
    std::error_code ignored;
    for (const auto& folder : denied_) {
        std::filesystem::permissions(folder, std::filesystem::perms::owner_all, ignored);
    }
    releaseProgramData();
    std::filesystem::remove_all(root, ignored);
}

std::string ScratchMachine::path(const std::string& name) const {
    return (scratch / std::filesystem::u8path(name)).u8string();
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) ADD_FAILURE() << "could not write " << path.u8string();
}

}  // namespace velmora
