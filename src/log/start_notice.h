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
// window station and the process's session (each nullopt when it could not be
// read). Only a station with visible display surfaces (WSF_VISIBLE) has a
// user to click the box away. Session 0, where services run, never has one:
// its own WinSta0 carries WSF_VISIBLE all the same, so a service that starts
// the program on "winsta0\default" would otherwise get a box that waits
// forever where nobody can see it.
bool noticeBoxCanBeSeen(std::optional<std::uint32_t> windowStationFlags, std::optional<std::uint32_t> sessionId);

}  // namespace velmora
