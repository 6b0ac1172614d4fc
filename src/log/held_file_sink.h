// The log file written through the held per-user folder.
//
// The logging library's own file sink opens and renames by path, which would
// walk the shared folder by name again. This sink does what that sink did,
// on the folder's held handle: one file of at most maxSize bytes and one
// older file (avInfo.log, avInfo.1.log), every record written to the file at
// once (nothing buffered, so nothing is lost when the run ends abruptly).
#pragma once

#include <cstddef>
#include <mutex>
#include <string>

#include <spdlog/sinks/base_sink.h>

#include "common/held_folder.h"

namespace velmora {

class HeldFileSink final : public spdlog::sinks::base_sink<std::mutex> {
public:
    // Opens (or creates) folder/fileName for appending; throws spdlog_ex,
    // naming shownPath, when it cannot. The folder must outlive the sink.
    HeldFileSink(const OpenFolder& folder, std::string fileName, std::string rotatedName, std::string shownPath,
                 std::size_t maxSize);

protected:
    void sink_it_(const spdlog::details::log_msg& message) override;
    void flush_() override {}

private:
    void open(bool cut);
    void rotate();

    const OpenFolder& folder_;
    std::string fileName_;
    std::string rotatedName_;
    std::string shownPath_;
    std::size_t maxSize_;
    std::size_t size_ = 0;
    HeldFile file_;
};

}  // namespace velmora
