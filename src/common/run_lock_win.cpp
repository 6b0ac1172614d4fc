#include "common/run_lock.h"

#include <windows.h>

namespace velmora {

struct RunLockState {
    HANDLE mutex;  // owned by this thread
};

// The release comes on the thread that acquired the mutex: ReleaseMutex fails
// on any other.
void RunLockStateRelease::operator()(RunLockState* state) const {
    ReleaseMutex(state->mutex);
    CloseHandle(state->mutex);
    delete state;
}

RunLock acquireRunLock(unsigned timeoutMilliseconds) {
    // Global: the verdict file is shared by every session of the machine. A
    // mutex another user created may refuse us; the session-wide name is next best.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, L"Global\\VelmoraAvInfo.Run");
    if (mutex == nullptr) mutex = CreateMutexW(nullptr, FALSE, L"Local\\VelmoraAvInfo.Run");
    if (mutex == nullptr) return RunLock();
    const DWORD waited = WaitForSingleObject(mutex, timeoutMilliseconds);
    // An abandoned mutex (its last holder died) is ours all the same.
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return RunLock(new RunLockState{mutex});
    CloseHandle(mutex);
    return RunLock();
}

}  // namespace velmora
