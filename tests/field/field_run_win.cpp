#include "field/field_run_win.h"

#include "field/field_system_win.h"

#include <shellapi.h>

#include <chrono>

namespace velmora::field {

std::wstring& programPath() {
    static std::wstring path = exeFolder() + L"VelmoraAvInfo.exe";
    return path;
}

std::wstring quoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
    std::wstring quoted = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled, and the quote escaped.
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}

namespace {
std::wstring commandLine(const std::wstring& program, const std::vector<std::wstring>& arguments) {
    std::wstring line = quoteArgument(program);
    for (const std::wstring& argument : arguments) line += L" " + quoteArgument(argument);
    return line;
}

// The caller's environment with the request's variables set, as a block.
std::wstring environmentBlock(const std::vector<std::pair<std::wstring, std::wstring>>& added) {
    std::wstring block;
    wchar_t* strings = GetEnvironmentStringsW();
    for (const wchar_t* entry = strings; *entry; entry += wcslen(entry) + 1) {
        std::wstring text = entry;
        bool replaced = false;
        for (const auto& [name, value] : added)
            replaced = replaced || _wcsnicmp(text.c_str(), (name + L"=").c_str(), name.size() + 1) == 0;
        if (!replaced) block += text + L'\0';
    }
    FreeEnvironmentStringsW(strings);
    for (const auto& [name, value] : added) block += name + L"=" + value + L'\0';
    return block + L'\0';
}

RunResult waitForRun(const PROCESS_INFORMATION& process, const RunRequest& request,
                     std::chrono::steady_clock::time_point started) {
    if (request.whileSuspended) request.whileSuspended(process.dwProcessId);
    ResumeThread(process.hThread);
    RunResult result;
    if (WaitForSingleObject(process.hProcess, request.timeoutMs) == WAIT_TIMEOUT) {
        result.timedOut = true;
        TerminateProcess(process.hProcess, 0xDEAD);
        WaitForSingleObject(process.hProcess, 10000);
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    GetExitCodeProcess(process.hProcess, &result.exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return result;
}
}  // namespace

RunResult runAsCurrent(const RunRequest& request) {
    const std::wstring& program = request.program.empty() ? programPath() : request.program;
    std::wstring line = commandLine(program, request.arguments);
    if (!request.verbatim.empty()) line += L" " + request.verbatim;
    std::wstring environment = environmentBlock(request.environment);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    auto started = std::chrono::steady_clock::now();
    // As a VPN client starts it: no window, and suspended so that a row may
    // act on the process id first.
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE,
                        CREATE_SUSPENDED | CREATE_NO_WINDOW | CREATE_UNICODE_ENVIRONMENT, environment.data(), nullptr,
                        &startup, &process))
        notArranged("CreateProcessW of " + narrow(program));
    return waitForRun(process, request, started);
}

RunResult runAsAccount(const RunRequest& request, const std::wstring& user, const std::wstring& password) {
    std::wstring line = commandLine(programPath(), request.arguments);
    // CreateProcessWithLogonW takes no CREATE_NO_WINDOW: a console of its
    // own, hidden, instead.
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION process{};
    auto started = std::chrono::steady_clock::now();
    // The account's own environment (its profile is loaded): the request's
    // variables would need a block made from it, which no row needs.
    if (!CreateProcessWithLogonW(user.c_str(), L".", password.c_str(), LOGON_WITH_PROFILE, programPath().c_str(),
                                 line.data(), CREATE_SUSPENDED | CREATE_NEW_CONSOLE | CREATE_UNICODE_ENVIRONMENT, nullptr,
                                 L"C:\\", &startup, &process))
        notArranged("CreateProcessWithLogonW as " + narrow(user));
    return waitForRun(process, request, started);
}

// ---- SYSTEM, through a service of the field tests' own exe ----
namespace {
SERVICE_STATUS_HANDLE serviceHandle = nullptr;

void reportService(DWORD state, DWORD exitCode = 0) {
    SERVICE_STATUS status{};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwWin32ExitCode = exitCode;
    SetServiceStatus(serviceHandle, &status);
}

DWORD WINAPI serviceControl(DWORD, DWORD, void*, void*) { return NO_ERROR; }

// argv: exe --service-run <result file> <timeout ms> <program> [--env N=V]... -- <arguments>
void WINAPI serviceMain(DWORD, wchar_t**) {
    serviceHandle = RegisterServiceCtrlHandlerExW(L"", serviceControl, nullptr);
    reportService(SERVICE_RUNNING);
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::string outcome = "not started";
    if (argv && count >= 5) {
        RunRequest request;
        request.timeoutMs = DWORD(_wtol(argv[3]));
        programPath() = argv[4];
        int i = 5;
        for (; i < count && wcscmp(argv[i], L"--") != 0; i += 2) {
            std::wstring assignment = i + 1 < count ? argv[i + 1] : L"";
            std::size_t equals = assignment.find(L'=');
            if (equals != std::wstring::npos)
                request.environment.emplace_back(assignment.substr(0, equals), assignment.substr(equals + 1));
        }
        for (++i; i < count; ++i) request.arguments.push_back(argv[i]);
        try {
            RunResult result = runAsCurrent(request);
            outcome = std::to_string(result.exitCode) + " " + std::to_string(result.seconds) + " " +
                      (result.timedOut ? "timedout" : "ended");
        } catch (const std::exception& error) {
            outcome = std::string("not started: ") + error.what();
        }
        writeWhole(argv[2], outcome);
    }
    if (argv) LocalFree(argv);
    reportService(SERVICE_STOPPED);
}
}  // namespace

int serviceRun() {
    SERVICE_TABLE_ENTRYW table[] = {{const_cast<wchar_t*>(L""), serviceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherW(table) ? 0 : 1;
}

RunResult runAsSystem(const RunRequest& request, const std::wstring& workFolder) {
    std::wstring name = L"VelmoraFieldTests-" + wide(randomHex(4));
    std::wstring resultFile = workFolder + L"\\" + name + L".result";
    std::wstring binary = quoteArgument(exePath()) + L" --service-run " + quoteArgument(resultFile) + L" " +
                          std::to_wstring(request.timeoutMs) + L" " + quoteArgument(programPath());
    for (const auto& [variable, value] : request.environment) binary += L" --env " + quoteArgument(variable + L"=" + value);
    binary += L" --";
    for (const std::wstring& argument : request.arguments) binary += L" " + quoteArgument(argument);

    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
    if (!manager) notArranged("OpenSCManagerW");
    SC_HANDLE service = CreateServiceW(manager, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                       SERVICE_DEMAND_START, SERVICE_ERROR_IGNORE, binary.c_str(), nullptr, nullptr,
                                       nullptr, nullptr, nullptr);  // no account: LocalSystem
    DWORD error = GetLastError();
    CloseServiceHandle(manager);
    if (!service) notArranged("CreateServiceW", error);
    auto started = std::chrono::steady_clock::now();
    bool ran = StartServiceW(service, 0, nullptr);
    error = GetLastError();
    SERVICE_STATUS status{};
    // The service ends when the run has; the wait has its own bound so that
    // the service is deleted whatever happens.
    while (ran && QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED &&
           std::chrono::steady_clock::now() - started < std::chrono::milliseconds(request.timeoutMs + 15000))
        Sleep(100);
    if (ran && status.dwCurrentState != SERVICE_STOPPED) ControlService(service, SERVICE_CONTROL_STOP, &status);
    DeleteService(service);
    CloseServiceHandle(service);
    std::optional<std::string> outcome = readWhole(resultFile);
    DeleteFileW(resultFile.c_str());
    if (!ran) notArranged("StartServiceW", error);
    if (!outcome || outcome->rfind("not started", 0) == 0)
        notArranged("the service could not start the program: " + outcome.value_or("no result"), 0);
    RunResult result;
    char state[16] = "";
    unsigned long code = 0;
    std::sscanf(outcome->c_str(), "%lu %lf %15s", &code, &result.seconds, state);
    result.exitCode = DWORD(code);
    result.timedOut = std::string(state) == "timedout";
    return result;
}

}  // namespace velmora::field
