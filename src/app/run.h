// One run of the program, from the system identity to the end line.
#pragma once

#include <string>
#include <vector>

namespace velmora {

// args[0] is the program path and is never examined. Returns the exit status.
int runAvInfo(const std::vector<std::u16string>& args);

}  // namespace velmora
