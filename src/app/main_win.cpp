// Windows entry point: the arguments arrive as UTF-16.
#include "app/run.h"

#include <windows.h>

#include <stdlib.h>

namespace {

// The log folder and check.json lie below ProgramData, where other accounts
// may create folders. RedirectionGuard (the redirection trust policy) makes
// Windows refuse to follow a mount point (junction) that an account other
// than an administrator created, so a run as SYSTEM cannot be sent elsewhere
// through one. The policy came with Windows 11 and was brought to Windows 10
// 22H2 by update; Microsoft's page of the structure names only the header's
// requirement (8.1 / Server 2012). SetProcessMitigationPolicy itself exists
// from Windows 8 / Server 2012, hence looked up; an older release refuses the
// unknown policy value (ERROR_INVALID_PARAMETER). A refusal is ignored: the
// program's own checks of the folders stand either way. Wine 8 has the
// function as a stub that accepts every policy and does nothing.
void enforceRedirectionTrust() {
    static_assert(ProcessRedirectionTrustPolicy == 16, "the value Windows gives the policy");
    using SetMitigationFunction = BOOL(WINAPI*)(PROCESS_MITIGATION_POLICY, PVOID, SIZE_T);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel == nullptr) return;
    auto setMitigation = reinterpret_cast<SetMitigationFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "SetProcessMitigationPolicy")));
    if (setMitigation == nullptr) return;
    PROCESS_MITIGATION_REDIRECTION_TRUST_POLICY policy = {};
    policy.EnforceRedirectionTrust = 1;
    setMitigation(ProcessRedirectionTrustPolicy, &policy, sizeof policy);
}

// Settings that must hold before anything else happens. A service starts the
// program in session 0, where nobody can click a box away, and as SYSTEM,
// where a DLL taken from the wrong folder runs with every right.
void hardenProcess() {
    // No system error box: not for a missing disk, a file that cannot be
    // opened, nor a crash (the process then simply ends with its exception code).
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);

    // The C runtime's assert and abort messages go to standard error, never
    // to a box.
    _set_error_mode(_OUT_TO_STDERR);
    // The system's msvcrt.dll, which MinGW links, may lack _set_abort_behavior
    // (it came with the versioned runtimes; Wine's msvcrt.dll has none). Where
    // it exists, abort() is told to write no message and ask for no fault report.
    using SetAbortBehavior = unsigned(__cdecl*)(unsigned, unsigned);
    if (HMODULE runtime = GetModuleHandleW(L"msvcrt.dll")) {
        auto setAbortBehavior = reinterpret_cast<SetAbortBehavior>(
            reinterpret_cast<void*>(GetProcAddress(runtime, "_set_abort_behavior")));
        if (setAbortBehavior != nullptr) setAbortBehavior(0, _WRITE_ABORT_MSG | _CALL_REPORTFAULT);
    }

    // Every DLL loaded from here on comes from System32, never from the
    // program's folder or the current one. Windows 7 has the function only
    // with update KB2533623, hence looked up rather than imported.
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    if (HMODULE kernel = GetModuleHandleW(L"kernel32.dll")) {
        auto setDefaultDllDirectories = reinterpret_cast<SetDefaultDllDirectoriesFunction>(
            reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
        if (setDefaultDllDirectories != nullptr) setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    }
    enforceRedirectionTrust();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    hardenProcess();
    std::vector<std::u16string> args;
    args.reserve(static_cast<std::size_t>(argc > 0 ? argc : 0));
    for (int i = 0; i < argc; ++i) args.emplace_back(reinterpret_cast<const char16_t*>(argv[i]));
    const int status = velmora::runProgram(args);
    // TerminateProcess on this process ends all its threads, this one
    // included, and tells no DLL; the exit code is the same 32 bits wmain's
    // return gives. Should it fail, the run ends the usual way.
    if (velmora::runMustEndAtOnce()) TerminateProcess(GetCurrentProcess(), static_cast<UINT>(status));
    return status;
}
