// How the program tells the user that it could not start its log: a message
// box on Windows; off Windows the same texts on standard error, waiting for
// Enter only when standard input is a terminal (so an unattended run never
// hangs).
#pragma once

#include <string>

namespace velmora {

void showStartFailureNotice(const std::string& caption, const std::string& text);

// A line for a debugger (OutputDebugStringA on Windows, standard error elsewhere).
void debugOutput(const std::string& text);

}  // namespace velmora
