#include "common/watchdog.h"

#include "common/environment.h"

namespace velmora {

unsigned runBoundMilliseconds(const std::optional<std::string>& setting) {
    if (!setting || setting->empty()) return kRunBoundMilliseconds;
    unsigned long long value = 0;
    for (const char c : *setting) {
        if (c < '0' || c > '9') return kRunBoundMilliseconds;
        value = value * 10 + static_cast<unsigned>(c - '0');
        // Stop before the number can overflow: it is too large already.
        if (value >= kRunBoundMilliseconds) return kRunBoundMilliseconds;
    }
    return value == 0 ? kRunBoundMilliseconds : static_cast<unsigned>(value);
}

void startRunWatchdog() {
    endProcessAfter(runBoundMilliseconds(environmentVariable(kRunBoundVariable)), kRunBoundExitStatus);
}

}  // namespace velmora
