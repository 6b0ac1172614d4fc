// A thread rather than a timer signal (alarm, setitimer, timer_create):
// a signal handler could call only async-signal-safe functions (_exit is
// one), it is delivered to a thread that can take it, which a thread stuck
// in an uninterruptible call cannot, and it would make the run's own system
// calls fail with EINTR and share SIGALRM with whatever else uses it. A
// thread of its own needs none of that; _exit from any thread ends every
// thread of the process (exit_group) without atexit handlers, destructors
// or flushing the C streams.
#include "common/watchdog.h"

#include <unistd.h>

#include <chrono>
#include <exception>
#include <thread>

namespace velmora {

bool endProcessAfter(unsigned milliseconds, int exitStatus) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    try {
        std::thread([deadline, exitStatus] {
            // sleep_until resumes after a signal and sleeps on to the deadline.
            std::this_thread::sleep_until(deadline);
            _exit(exitStatus);
        }).detach();
        return true;
    } catch (const std::exception&) {
        return false;  // no thread: the run goes on without its backstop
    }
}

}  // namespace velmora
