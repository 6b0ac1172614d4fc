// The program's one diagnostic log: a size-rotated file in a per-user folder
// below the VPN client's log directory.
//
// Every message text, its level and the order of the lines are fixed output:
// the people and tools that read these logs match them as they stand. Keep
// each text exactly, spelling included; some are misspelt on purpose
// ("occured", "succesfully", "doesn't matched") and must stay so.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include <spdlog/spdlog.h>

#include "common/held_folder.h"

// Compiled once, in log/logging_library.cpp, instead of in every file that
// logs.
FMT_BEGIN_NAMESPACE
namespace detail {
extern template void vformat_to<char>(buffer<char>&, basic_string_view<char>, basic_format_args<buffer_context<char>>,
                                      locale_ref);
}  // namespace detail
FMT_END_NAMESPACE

namespace velmora {

// The handle every subsystem logs through; empty until logInit succeeds.
extern std::shared_ptr<spdlog::logger> avLogger;

// Creates the logger (name "AVLoggerNameForAVINFO" in a run) on avInfo.log in
// the held folder (rotated to avInfo.1.log) and writes the start banner.
// Returns the reason when the file cannot be written, nothing when the log
// runs; it shows nothing itself: what a run that cannot log does is the
// run's matter. shownFilePath is the file's name as the user knows it, used
// in the reason. The folder must stay open while the logger lives.
// The reason rather than a flag: the message box's "Log init failed : " text names why the log could not start.
std::optional<std::string> logInit(std::string loggerName, const OpenFolder& folder,
                                   const std::string& shownFilePath);

}  // namespace velmora
