#include "common/machine_paths.h"

#include <cstdlib>

namespace velmora {

char pathSeparator() { return '/'; }

std::string programDataDirectory() {
    const char* fromEnv = std::getenv("VELMORA_PROGRAMDATA");
    if (fromEnv != nullptr && *fromEnv != '\0') return fromEnv;
    return "/var/lib";
}

}  // namespace velmora
