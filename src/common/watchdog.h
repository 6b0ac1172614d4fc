// The whole run's bound: whatever a run meets (a Security Center that never
// answers, a file system call that hangs), the process ends within it.
//
// The run's own waits are bounded each (the run lock, the providers' status,
// the file replacements), and a run normally takes milliseconds. The watchdog
// is the backstop for everything else: once the bound has passed it ends the
// process at once with kRunBoundExitStatus, from a thread of its own. It
// logs nothing (the log's lock may be held by the very call that hangs) and
// flushes nothing: the verdict and the inventory are replaced whole, so a
// run ended in the middle of a write leaves the earlier file.
#pragma once

#include <optional>
#include <string>

namespace velmora {

constexpr unsigned kRunBoundMilliseconds = 60000;
constexpr int kRunBoundExitStatus = 3;

// The environment variable through which tests lower the bound.
constexpr const char* kRunBoundVariable = "VELMORA_RUN_BOUND_MS";

// The bound a run keeps: setting when it is a decimal number of milliseconds
// (digits only) above 0 and below kRunBoundMilliseconds, else the default.
// The bound can only be lowered, never raised or switched off.
unsigned runBoundMilliseconds(const std::optional<std::string>& setting);

// Starts the watchdog with the bound from kRunBoundVariable. Called first
// thing in the run; a watchdog that cannot start leaves the run unbounded
// but otherwise as it was.
void startRunWatchdog();

// The platform part (watchdog_win.cpp, watchdog_posix.cpp): a thread that
// ends the process with exitStatus once milliseconds have passed. False when
// the thread cannot be started.
bool endProcessAfter(unsigned milliseconds, int exitStatus);

}  // namespace velmora
