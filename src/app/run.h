// One run of the program, from the system identity to the end line.
#pragma once

#include <string>
#include <vector>

namespace velmora {

// args[0] is the program path and is never examined. Returns the exit status.
int runProgram(const std::vector<std::u16string>& args);

// Asked once runProgram has returned, with every output written. True when a
// worker the run gave up on (Defender's or Windows Firewall's status) may still be inside
// the system's COM or RPC code. Returning from main would then run exit()
// and every DLL's detach while that thread holds their locks, which can hang
// the process for good (see ExitProcess); the caller must end the process at
// once with the same status instead. The log and every C stream have been
// flushed by then, since nothing else will flush them.
bool runMustEndAtOnce();

}  // namespace velmora
