// How the program tells the user that it could not start its log: a message
// box on Windows when someone can see it; off Windows the same texts on
// standard error, waiting for Enter only when standard input is a terminal.
// Either way an unattended run never hangs.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velmora {

void showStartFailureNotice(const std::string& caption, const std::string& text);

// A line for a debugger (OutputDebugStringA on Windows, standard error elsewhere).
void debugOutput(const std::string& text);

// Whether a notice box can reach anyone, from the UOI_FLAGS of the process's
// window station (nullopt when they could not be read). Only a station with
// visible display surfaces (WSF_VISIBLE) has a user to click the box away; a
// service's session 0 has none, and a box there would wait forever.
bool noticeBoxCanBeSeen(std::optional<std::uint32_t> windowStationFlags);

}  // namespace velmora
