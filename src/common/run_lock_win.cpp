#include "common/run_lock.h"

#include <windows.h>

RunLock acquireRunLock(unsigned timeoutMilliseconds) {
    RunLock lock;
    // Global: the verdict file is shared by every session of the machine. A
    // mutex another user created may refuse us; the session-wide name is next best.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Global\\VelmoraAvInfo.Run");
    if (mutex == nullptr) mutex = CreateMutexW(nullptr, FALSE, L"Local\\VelmoraAvInfo.Run");
    if (mutex == nullptr) return lock;
    lock.mutex = mutex;
    DWORD waited = WaitForSingleObject(mutex, timeoutMilliseconds);
    // An abandoned mutex (its last holder died) is ours all the same.
    lock.held = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    return lock;
}

void releaseRunLock(RunLock& lock) {
    if (lock.mutex == nullptr) return;
    if (lock.held) ReleaseMutex(static_cast<HANDLE>(lock.mutex));
    CloseHandle(static_cast<HANDLE>(lock.mutex));
    lock = RunLock{};
}
