/* A version.dll of the tests' own, to be planted beside a program. Each of
 * its version functions finds nothing (so a program that reads versions
 * through it reads none) and, when the program's own code called it, leaves
 * a mark: an empty file "planted-dll-used" in the DLL's folder.
 *
 * Neither loading nor every call can be the mark: under Wine, with the
 * override that makes Wine take a version.dll beside the program, Wine's own
 * user32.dll (which imports VERSION.dll, unlike Windows' user32) loads the
 * planted DLL into every program that uses USER32 or COM before the program
 * runs, and calls it itself at times. Only calls made from the main program's
 * module tell whether the program took it. */
#include <windows.h>

static HINSTANCE planted;

static void markIfCalledByProgram(void* returnAddress) {
    HMODULE caller = NULL;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            (LPCWSTR)returnAddress, &caller) ||
        caller != GetModuleHandleW(NULL)) {
        return;
    }
    wchar_t path[MAX_PATH + 32];
    DWORD length = GetModuleFileNameW(planted, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    while (length > 0 && path[length - 1] != L'\\') --length;
    lstrcpyW(path + length, L"planted-dll-used");
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) planted = self;
    return TRUE;
}

DWORD WINAPI PlantedGetFileVersionInfoSize(LPCVOID path, LPDWORD handle) {
    (void)path;
    markIfCalledByProgram(__builtin_return_address(0));
    if (handle != NULL) *handle = 0;
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return 0;
}

BOOL WINAPI PlantedGetFileVersionInfo(LPCVOID path, DWORD handle, DWORD size, LPVOID data) {
    (void)path, (void)handle, (void)size, (void)data;
    markIfCalledByProgram(__builtin_return_address(0));
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return FALSE;
}

BOOL WINAPI PlantedVerQueryValue(LPCVOID block, LPCVOID subBlock, LPVOID* value, PUINT length) {
    (void)block, (void)subBlock;
    markIfCalledByProgram(__builtin_return_address(0));
    if (value != NULL) *value = NULL;
    if (length != NULL) *length = 0;
    return FALSE;
}
