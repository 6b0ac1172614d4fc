#include "app/run.h"

#include <cstdio>

#include "inventory/defender_status.h"
#include "log/logger.h"

namespace velmora {

bool runMustEndAtOnce() {
    if (defenderWorkersOutstanding() == 0) return false;
    if (avLogger) avLogger->flush();
    std::fflush(nullptr);
    return true;
}

}  // namespace velmora
