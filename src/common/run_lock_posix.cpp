#include "common/run_lock.h"

#include "common/machine_paths.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

namespace velmora {

struct RunLockState {
    int fd;  // the locked folder
};

void RunLockStateRelease::operator()(RunLockState* state) const {
    flock(state->fd, LOCK_UN);
    close(state->fd);
    delete state;
}

RunLock acquireRunLock(unsigned timeoutMilliseconds) {
    // The ProgramData folder itself carries the lock: no file of our own is
    // left behind, and the lock goes with the process if it dies. A folder
    // that does not exist yet (a fresh machine) has nothing to wait on.
    const int fd = open(programDataDirectory().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return RunLock();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    while (true) {
        if (flock(fd, LOCK_EX | LOCK_NB) == 0) return RunLock(new RunLockState{fd});
        if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    close(fd);
    return RunLock(nullptr, false, true);
}

}  // namespace velmora
