#include "app/run.h"

#include <cstdio>

#include "inventory/bounded_call.h"
#include "log/logger.h"

namespace velmora {

bool runMustEndAtOnce() {
    if (boundedCallsOutstanding() == 0) return false;
    if (avLogger) avLogger->flush();
    std::fflush(nullptr);
    return true;
}

}  // namespace velmora
