#include "common/machine_paths.h"

char pathSeparator() { return '\\'; }

std::string programDataDirectory() { return "C:\\ProgramData"; }
