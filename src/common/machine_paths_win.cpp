#include "common/machine_paths.h"

namespace velmora {

char pathSeparator() { return '\\'; }

std::string programDataDirectory() { return "C:\\ProgramData"; }

}  // namespace velmora
