#include "common/machine_paths.h"

namespace velmora {

std::string vpnLogDirectory() {
    const std::string sep(1, pathSeparator());
    return programDataDirectory() + sep + "Velmora" + sep + "VelmoraVPN" + sep + "logs";
}


}  // namespace velmora
