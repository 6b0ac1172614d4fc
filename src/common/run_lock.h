// Runs of the program on one machine take turns.
//
// A VPN client may start several instances at the same moment (on reconnect).
// They share the per-user log (appended to, and rotated, by each of them) and
// the verdict file, so each run holds a machine-wide lock from before the log
// is opened until its end: a named mutex on Windows, an advisory lock on the
// ProgramData folder elsewhere. Runs take milliseconds, so waiting costs little;
// a run that cannot get the lock in time goes on without it rather than
// leaving the VPN client without an answer.
#pragma once

#include <memory>

namespace velmora {

// What the platform holds while the lock is ours; defined by
// run_lock_win.cpp and run_lock_posix.cpp.
struct RunLockState;
struct RunLockStateRelease {
    void operator()(RunLockState* state) const;  // unlocks and closes
};

// The run lock: held, or empty when it could not be had. It lets go when it
// goes out of scope, or earlier at release(). Move-only.
class RunLock {
public:
    explicit RunLock(RunLockState* state = nullptr, bool fellBack = false, bool waitedInVain = false)
        : state_(state), fellBack_(fellBack), waitedInVain_(waitedInVain) {}
    bool held() const { return state_ != nullptr; }
    // True when the run waited for the lock and the wait ended without it (the
    // time ran out, or the wait itself failed), or, on Windows, when neither
    // lock could be opened while other runs may hold one: other runs may be
    // going on. False on Linux when the lock's folder does not exist yet:
    // then no other run holds it, and nobody waited.
    bool waitedInVain() const { return waitedInVain_; }
    void release() { state_.reset(); }
    // True when the machine-wide lock could not be opened and this session's
    // own, a different lock, was opened instead: runs of other sessions then
    // no longer take turns with this one. Only Windows has the two (and not in
    // session 0, see sessionHasOwnRunLock); elsewhere always false.
    bool fellBack() const { return fellBack_; }

private:
    std::unique_ptr<RunLockState, RunLockStateRelease> state_;
    bool fellBack_;
    bool waitedInVain_;
};

RunLock acquireRunLock(unsigned timeoutMilliseconds);

// Whether a run in this session has a lock of its own to fall back to when
// the machine-wide one cannot be opened. Not in session 0, where services
// run: its session namespace is the global one ("Services use the global
// namespace by default", Kernel Object Namespaces), so Local\ names the very
// object Global\ does, and retrying under it uses no different lock. A
// session that cannot be told counts as one with a lock of its own.
inline bool sessionHasOwnRunLock(bool sessionKnown, unsigned long sessionId) {
    return !sessionKnown || sessionId != 0;
}

}  // namespace velmora
