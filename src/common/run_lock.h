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

struct RunLock {
    void* mutex = nullptr;  // Windows: the named mutex
    int fd = -1;            // elsewhere: the locked folder
    bool held = false;
};

RunLock acquireRunLock(unsigned timeoutMilliseconds);
void releaseRunLock(RunLock& lock);
