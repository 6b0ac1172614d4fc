#include "common/run_lock.h"

#include "common/machine_paths.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

RunLock acquireRunLock(unsigned timeoutMilliseconds) {
    RunLock lock;
    // The ProgramData folder itself carries the lock: no file of our own is
    // left behind, and the lock goes with the process if it dies.
    lock.fd = open(programDataDirectory().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (lock.fd < 0) return lock;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
    while (true) {
        if (flock(lock.fd, LOCK_EX | LOCK_NB) == 0) {
            lock.held = true;
            return lock;
        }
        if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= deadline) return lock;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void releaseRunLock(RunLock& lock) {
    if (lock.fd < 0) return;
    if (lock.held) flock(lock.fd, LOCK_UN);
    close(lock.fd);
    lock = RunLock{};
}
