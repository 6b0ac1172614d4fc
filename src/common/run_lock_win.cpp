#include "common/run_lock.h"

#include <windows.h>
#include <sddl.h>

namespace velmora {

struct RunLockState {
    HANDLE mutex;  // owned by this thread
};

namespace {

// Who may use the machine-wide mutex, whoever created it: Authenticated Users
// may wait for it and release it (SYNCHRONIZE | MUTEX_MODIFY_STATE), SYSTEM
// and Administrators have full access. With the default DACL only the
// creator's account could open it, so a user's run and a service's run would
// each end up on a lock of its own and write check.json at the same time.
// OWNER RIGHTS (OW) with the same two rights replaces what Windows otherwise
// gives the owner implicitly (READ_CONTROL and WRITE_DAC): the account whose
// run happened to create the mutex cannot rewrite its DACL to shut the other
// accounts out while it exists. (Windows knows OWNER RIGHTS from Vista and
// Server 2008 on; Wine keeps the entry, as the tests read back.)
constexpr const wchar_t* kRunMutexSddl =
    L"D:(A;;0x00100001;;;AU)(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x00100001;;;OW)";

// READ_CONTROL lets the DACL be read back from the handle (the tests do).
constexpr DWORD kCreateAccess = READ_CONTROL | SYNCHRONIZE | MUTEX_MODIFY_STATE;
// What Authenticated Users are granted: all a run needs.
constexpr DWORD kOpenAccess = SYNCHRONIZE | MUTEX_MODIFY_STATE;

// Creates the named mutex with the DACL above, or opens it if it exists.
// CreateMutexExW opens an existing mutex with kCreateAccess, which includes
// READ_CONTROL; an account the DACL gives only kOpenAccess is then refused,
// and opens it with what it is granted instead.
HANDLE createOrOpenMutex(const wchar_t* name) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(kRunMutexSddl, SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
        descriptor = nullptr;  // the system's default DACL is still a lock
    }
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    HANDLE mutex = CreateMutexExW(&attributes, name, 0, kCreateAccess);
    if (mutex == nullptr && GetLastError() == ERROR_ACCESS_DENIED) mutex = OpenMutexW(kOpenAccess, FALSE, name);
    if (descriptor != nullptr) LocalFree(descriptor);
    return mutex;
}

}  // namespace

// The release comes on the thread that acquired the mutex: ReleaseMutex fails
// on any other.
void RunLockStateRelease::operator()(RunLockState* state) const {
    ReleaseMutex(state->mutex);
    CloseHandle(state->mutex);
    delete state;
}

RunLock acquireRunLock(unsigned timeoutMilliseconds) {
    // Global: the verdict file is shared by every session of the machine. Any
    // account may create the name first with a DACL that refuses the others
    // (or an older build left one with the default DACL); the session-wide
    // name is the next best then (outside session 0, see
    // sessionHasOwnRunLock), and the run says so in its log.
    HANDLE mutex = createOrOpenMutex(L"Global\\VelmoraAvInfo.Run");
    bool fellBack = false;
    if (mutex == nullptr) {
        DWORD session = 0;
        const bool sessionKnown = ProcessIdToSessionId(GetCurrentProcessId(), &session) != 0;
        if (sessionHasOwnRunLock(sessionKnown, session)) {
            mutex = createOrOpenMutex(L"Local\\VelmoraAvInfo.Run");
            fellBack = mutex != nullptr;
        }
    }
    // No lock opens (in session 0: the machine-wide one does not): other runs
    // may hold one, and this one cannot wait for them, which is what the log
    // has to say. No session's lock is in use, so no fall-back is reported.
    if (mutex == nullptr) return RunLock(nullptr, false, true);
    const DWORD waited = WaitForSingleObject(mutex, timeoutMilliseconds);
    // WAIT_ABANDONED: the last holder died without releasing the mutex.
    // Windows then hands ownership to this thread all the same, so the lock is
    // held (and must be released like any other); what the dead run left of
    // the log or the verdict is for those files' own handling.
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return RunLock(new RunLockState{mutex}, fellBack);
    // WAIT_TIMEOUT, or WAIT_FAILED: waited, and not had.
    CloseHandle(mutex);
    return RunLock(nullptr, fellBack, true);
}

}  // namespace velmora
