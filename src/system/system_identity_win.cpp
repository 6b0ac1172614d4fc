#include "system/system_identity.h"

#include <windows.h>

#include <cstring>

namespace velmora {

// The wide form: a name outside the ANSI code page would otherwise arrive
// with '?' in it, which no folder name may hold.
std::string queryUserName() {
    wchar_t buffer[1001] = {};
    DWORD size = 1000;
    if (!GetUserNameW(buffer, &size)) return userFolderName(std::nullopt);
    return userFolderName(std::u16string(reinterpret_cast<const char16_t*>(buffer)));
}

OsVersionRecord queryOsVersion() {
    OsVersionRecord record;
    std::memset(&record, 0, sizeof record);
    using RtlGetVersionFn = LONG(WINAPI*)(OsVersionRecord*);
    try {
        HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
        if (ntdll == nullptr) return record;
        auto fn = reinterpret_cast<RtlGetVersionFn>(
            reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
        if (fn == nullptr) return record;
        OsVersionRecord filled;
        std::memset(&filled, 0, sizeof filled);
        filled.size = sizeof filled;
        if (fn(&filled) == 0) record = filled;
    } catch (...) {
        std::memset(&record, 0, sizeof record);
    }
    return record;
}

}  // namespace velmora
