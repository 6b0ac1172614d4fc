/* Runs the command line that follows its own name, waits for it, and writes
 * the program's whole 32-bit exit code (GetExitCodeProcess, as an unsigned
 * decimal number) to the file that VELMORA_EXIT_CODE_FILE names, if set.
 *
 * Wine hands a Windows exit code to Linux modulo 256, so -1 and 255 look
 * alike there; the end-to-end tests read the code from that file instead.
 * The program inherits standard input, output and error and so writes to the
 * test's own pipes. The launcher ends with the program's exit code, so that
 * callers that only see the low byte see the same byte as without it.
 *
 * With VELMORA_SQUAT_RUN_LOCK set, the launcher first creates the program's
 * machine-wide run lock, Global\VelmoraAvInfo.Run, with a DACL that refuses
 * everyone, and holds it until the program has ended: what any account could
 * do to the program's runs. With VELMORA_HOLD_RUN_LOCK set, it creates that
 * mutex (the default DACL lets Wine's one account open it) and owns it until
 * the program has ended: another run that never lets go. */
#include <windows.h>
#include <sddl.h>

#include <stdio.h>

/* The rest of the command line after the program name, by the C runtime's
 * rule for argv[0]: up to the closing quote when it starts with one, else up
 * to the first blank. The rest is passed on untouched, so the program parses
 * its arguments exactly as if Wine had started it directly. */
static const wchar_t* afterProgramName(const wchar_t* line) {
    if (*line == L'"') {
        ++line;
        while (*line != L'\0' && *line != L'"') ++line;
        if (*line == L'"') ++line;
    } else {
        while (*line != L'\0' && *line != L' ' && *line != L'\t') ++line;
    }
    while (*line == L' ' || *line == L'\t') ++line;
    return line;
}

static void writeExitCode(DWORD code) {
    wchar_t path[4096];
    DWORD length = GetEnvironmentVariableW(L"VELMORA_EXIT_CODE_FILE", path, 4096);
    if (length == 0 || length >= 4096) return;
    FILE* file = _wfopen(path, L"w");
    if (file == NULL) return;
    fprintf(file, "%lu\n", (unsigned long)code);
    fclose(file);
}

/* The mutex's handle, or NULL when not asked for or when it exists already. */
static HANDLE squatRunLock(void) {
    if (GetEnvironmentVariableW(L"VELMORA_SQUAT_RUN_LOCK", NULL, 0) == 0) return NULL;
    PSECURITY_DESCRIPTOR refuseAll = NULL;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:", SDDL_REVISION_1, &refuseAll, NULL)) return NULL;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, refuseAll, FALSE};
    HANDLE mutex = CreateMutexExW(&attributes, L"Global\\VelmoraAvInfo.Run", 0, SYNCHRONIZE);
    LocalFree(refuseAll);
    return mutex;
}

/* The owned mutex's handle, or NULL when not asked for or not had at once. */
static HANDLE holdRunLock(void) {
    if (GetEnvironmentVariableW(L"VELMORA_HOLD_RUN_LOCK", NULL, 0) == 0) return NULL;
    HANDLE mutex = CreateMutexW(NULL, FALSE, L"Global\\VelmoraAvInfo.Run");
    if (mutex == NULL) return NULL;
    const DWORD waited = WaitForSingleObject(mutex, 0);
    if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) return mutex;
    CloseHandle(mutex);
    return NULL;
}

/* Wine's process creation fails with ERROR_INTERNAL_ERROR when the new
 * process ends before its start-up has completed, which happens now and then
 * on a loaded machine. None of the program's own code has run by then, so
 * starting it again repeats no run of the program. */
static BOOL startProgram(const wchar_t* rest, wchar_t* command, size_t length, STARTUPINFOW* startup,
                         PROCESS_INFORMATION* process) {
    for (int attempt = 0;; ++attempt) {
        /* CreateProcessW may write into the command line it is given. */
        memcpy(command, rest, (length + 1) * sizeof(wchar_t));
        if (CreateProcessW(NULL, command, NULL, NULL, TRUE, 0, NULL, NULL, startup, process)) return TRUE;
        if (GetLastError() != ERROR_INTERNAL_ERROR || attempt == 4) return FALSE;
        Sleep(200);
    }
}

int main(void) {
    HANDLE squatted = squatRunLock();
    HANDLE held = holdRunLock();
    const wchar_t* rest = afterProgramName(GetCommandLineW());
    size_t length = wcslen(rest);
    wchar_t* command = HeapAlloc(GetProcessHeap(), 0, (length + 1) * sizeof(wchar_t));
    if (command == NULL) return 120;

    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process;
    if (!startProgram(rest, command, length, &startup, &process)) {
        fprintf(stderr, "exit_code_launcher: cannot start %ls (error %lu)\n", rest, GetLastError());
        return 121;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    if (!GetExitCodeProcess(process.hProcess, &code)) return 122;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    writeExitCode(code);
    if (squatted != NULL) CloseHandle(squatted);
    if (held != NULL) CloseHandle(held);
    return (int)code;
}
