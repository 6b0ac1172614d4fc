/* A Windows reader of check.json for the end-to-end tests: a VPN client (or a
 * scanner) opening the file while runs replace it. Wine checks sharing only
 * between Windows handles, so this must be a Windows process.
 *
 *   verdict_reader poll <file> <stop file> <report file>
 *     Opens and reads <file> over and over, sharing read only and sharing
 *     read+write+delete in turn, until <stop file> exists. The report holds
 *     "reads <n>" and then each content read that differs from the one
 *     before, as hex, one a line (an empty read is an empty line).
 *   verdict_reader hold <file> <milliseconds> <ready file> <log file> <text>
 *     Opens <file> (sharing read and write, not delete), creates <ready
 *     file>, waits until <log file> holds <text> (the run's last line before
 *     it replaces the file), and keeps <file> open that much longer: the
 *     replacement then meets the open handle for about that long. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static BOOL exists(const wchar_t* path) { return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES; }

static void writeHex(FILE* out, const unsigned char* bytes, DWORD length) {
    for (DWORD i = 0; i < length; ++i) fprintf(out, "%02x", bytes[i]);
    fputc('\n', out);
}

static int poll(const wchar_t* path, const wchar_t* stop, const wchar_t* report) {
    static const DWORD sharings[] = {FILE_SHARE_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE};
    unsigned char previous[4096], bytes[4096];
    DWORD previousLength = (DWORD)-1, length = 0;
    unsigned long reads = 0;
    FILE* out = _wfopen(report, L"w");
    if (out == NULL) return 2;
    for (unsigned long i = 0; !exists(stop); ++i) {
        HANDLE file = CreateFileW(path, GENERIC_READ, sharings[i % 2], NULL, OPEN_EXISTING, 0, NULL);
        if (file == INVALID_HANDLE_VALUE) continue;
        BOOL ok = ReadFile(file, bytes, sizeof bytes, &length, NULL);
        CloseHandle(file);
        Sleep(1);
        if (!ok) continue;
        ++reads;
        if (length == previousLength && memcmp(bytes, previous, length) == 0) continue;
        writeHex(out, bytes, length);
        memcpy(previous, bytes, length);
        previousLength = length;
    }
    fprintf(out, "reads %lu\n", reads);
    fclose(out);
    return 0;
}

/* True once the file holds text (searched in its first 1 MiB). */
static BOOL holds(const wchar_t* path, const char* text) {
    static char bytes[1 << 20];
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return FALSE;
    DWORD length = 0;
    BOOL ok = ReadFile(file, bytes, sizeof bytes - 1, &length, NULL);
    CloseHandle(file);
    bytes[ok ? length : 0] = '\0';
    return strstr(bytes, text) != NULL;
}

static int hold(const wchar_t* path, DWORD milliseconds, const wchar_t* ready, const wchar_t* log,
                const char* text) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE) return 2;
    FILE* mark = _wfopen(ready, L"w");
    if (mark != NULL) fclose(mark);
    for (int waited = 0; !holds(log, text) && waited < 60000; waited += 2) Sleep(2);
    Sleep(milliseconds);
    CloseHandle(file);
    return 0;
}

int wmain(int argc, wchar_t** argv) {
    if (argc == 5 && wcscmp(argv[1], L"poll") == 0) return poll(argv[2], argv[3], argv[4]);
    if (argc == 7 && wcscmp(argv[1], L"hold") == 0) {
        char text[512];
        if (WideCharToMultiByte(CP_UTF8, 0, argv[6], -1, text, sizeof text, NULL, NULL) == 0) return 2;
        return hold(argv[2], (DWORD)_wtoi(argv[3]), argv[4], argv[5], text);
    }
    fputs("usage: verdict_reader poll <file> <stop> <report> | hold <file> <ms> <ready> <log> <text>\n", stderr);
    return 2;
}
