// A thread of the system's own (CreateThread) that sleeps, then calls
// TerminateProcess on this process: that ends every thread at once, the
// hung one included, runs no DLL detach and no atexit handler, and gives the
// exit code as it is. It takes no lock of the C runtime or the loader on
// the way, so a main thread stuck inside one (or inside a COM call that never
// returns) cannot hold it up. (ExitProcess would: it runs every DLL's detach
// under the loader lock.)
#include "common/watchdog.h"

#include <windows.h>

namespace velmora {

namespace {

struct WatchdogOrder {
    DWORD milliseconds;
    UINT exitStatus;
};

WatchdogOrder g_order;

DWORD WINAPI watch(LPVOID) {
    Sleep(g_order.milliseconds);
    TerminateProcess(GetCurrentProcess(), g_order.exitStatus);
    return 0;
}

}  // namespace

bool endProcessAfter(unsigned milliseconds, int exitStatus) {
    g_order = {milliseconds, static_cast<UINT>(exitStatus)};
    // A small stack: the thread only sleeps and ends the process.
    HANDLE thread = CreateThread(nullptr, 64 * 1024, watch, nullptr, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == nullptr) return false;
    CloseHandle(thread);
    return true;
}

}  // namespace velmora
