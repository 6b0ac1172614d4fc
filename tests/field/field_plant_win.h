// What another account can leave in the shared folder, made with the real
// primitives, and the readers and holders a run meets. Each plant returns
// the system's error (0: made) and is checked by the row before it counts.
#pragma once

#include <windows.h>
#include <winioctl.h>

#include <atomic>
#include <string>
#include <thread>

namespace velmora::field {

// A mount point at link (an empty folder made for it) to an NT path such as
// "\??\C:\x" or "\RPC Control" (FSCTL_SET_REPARSE_POINT).
unsigned long makeMountPoint(const std::wstring& link, const std::wstring& ntTarget);
// CreateSymbolicLinkW, unprivileged where developer mode allows it.
unsigned long makeSymbolicLink(const std::wstring& link, const std::wstring& target, bool folder);
unsigned long makeHardLink(const std::wstring& link, const std::wstring& existing);
// True when path is a reparse point of the given tag.
bool isReparsePoint(const std::wstring& path, DWORD tag);

// A symbolic link of the object manager, "\RPC Control\<name>" -> ntTarget,
// which lives while this handle is open (the well-known second half of a
// mount point to \RPC Control).
struct ObjectLink {
    HANDLE handle = nullptr;
    unsigned long make(const std::wstring& name, const std::wstring& ntTarget);
    ~ObjectLink();
};

// A read-write-handle oplock on a file, never acknowledged: a break waits
// for it until this is destroyed.
struct OplockHolder {
    HANDLE file = INVALID_HANDLE_VALUE;
    HANDLE event = nullptr;
    OVERLAPPED overlapped{};
    REQUEST_OPLOCK_OUTPUT_BUFFER output{};
    unsigned long hold(const std::wstring& path);
    ~OplockHolder();
};

// A reader holding a file open under one share mode, and reading it by name
// over and over with the same sharing while a run goes on; every read that
// was not a whole verdict is counted.
struct Reader {
    HANDLE held = INVALID_HANDLE_VALUE;
    std::string firstRead;  // what the held handle read when opened
    std::atomic<bool> stop{false};
    std::atomic<int> reads{0}, brokenReads{0};
    std::string brokenExample;
    std::thread poller;
    unsigned long hold(const std::wstring& path, DWORD share);
    void stopPolling();
    ~Reader();
};

}  // namespace velmora::field
