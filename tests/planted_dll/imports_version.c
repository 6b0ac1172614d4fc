/* A program that imports VERSION.dll at load time, as VelmoraAvInfo.exe once
 * did: the control of the planting test (the planted DLL's mark must appear
 * when it runs) and the counter-example of scripts/check-exe.sh. */
#include <windows.h>

int main(void) {
    DWORD handle = 0;
    return GetFileVersionInfoSizeW(L"kernel32.dll", &handle) != 0 ? 0 : 1;
}
