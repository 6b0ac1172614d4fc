// Runs the real VelmoraAvInfo.exe once and tells how the run ended: as the
// account of the field tests (CreateProcessW), as the test account
// (CreateProcessWithLogonW) and as SYSTEM (a temporary service that starts
// it and is deleted afterwards).
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace velmora::field {

struct RunRequest {
    std::wstring program;  // empty: programPath()
    std::vector<std::wstring> arguments;                              // after the program's name
    std::wstring verbatim;  // added to the command line as it stands (cmd.exe's /c takes no C runtime quoting)
    std::vector<std::pair<std::wstring, std::wstring>> environment;  // added to the caller's
    DWORD timeoutMs = 120000;  // far beyond any documented bound: a run still going then is ended
    // Called with the process id while the run is suspended, before its
    // first instruction (squatting names made from the id).
    std::function<void(DWORD processId)> whileSuspended;
};

struct RunResult {
    DWORD exitCode = 0;
    bool timedOut = false;   // ended by the field tests after timeoutMs
    double seconds = 0;      // from start to end
};

// The program the rows drive: VelmoraAvInfo.exe beside the field tests,
// or the one given with --program=.
std::wstring& programPath();

// Each throws NotArranged when the run cannot be started.
RunResult runAsCurrent(const RunRequest& request);
RunResult runAsAccount(const RunRequest& request, const std::wstring& user, const std::wstring& password);
RunResult runAsSystem(const RunRequest& request, const std::wstring& workFolder);

// The service side of runAsSystem: the field tests' exe started by the
// service control manager with "--service-run"; returns its exit status.
int serviceRun();

// One argument quoted as the C runtime splits command lines.
std::wstring quoteArgument(const std::wstring& argument);

}  // namespace velmora::field
