#include "field/field_system_win.h"

#include <aclapi.h>
#include <bcrypt.h>
#include <sddl.h>

#include <memory>

namespace velmora::field {

void notArranged(const std::string& what, unsigned long error) {
    throw NotArranged(what + ": error " + std::to_string(error) + " (" + errorText(error) + ")");
}

std::wstring wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring text(std::size_t(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), text.data(), length);
    return text;
}

std::string narrow(const std::wstring& text) {
    if (text.empty()) return {};
    int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    std::string bytes(std::size_t(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), int(text.size()), bytes.data(), length, nullptr, nullptr);
    return bytes;
}

std::string errorText(unsigned long error) {
    wchar_t* buffer = nullptr;
    DWORD length = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                      FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length ? std::wstring(buffer, length) : L"no text";
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L'.')) text.pop_back();
    return narrow(text);
}

bool isWine() {
    // Wine's ntdll exports its own version function; Windows' has none.
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

namespace {
bool isAdministrator() {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD size = sizeof sid;
    if (!CreateWellKnownSid(WinBuiltinAdministratorsSid, nullptr, sid, &size)) return false;
    BOOL member = FALSE;
    return CheckTokenMembership(nullptr, sid, &member) && member;
}

bool hasSecurityCenterNamespace() {
    // The Security Center's classes live in this namespace on Windows 10/11
    // only; its folder in the WMI repository is the cheap test. The WMI
    // query of the rows that compare answers tells the rest.
    HKEY key = nullptr;
    LONG status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Security Center", 0, KEY_READ, &key);
    if (status == ERROR_SUCCESS) RegCloseKey(key);
    return status == ERROR_SUCCESS;
}
}  // namespace

MachineFacts machineFacts() {
    MachineFacts facts;
    facts.wine = isWine();
    facts.administrator = isAdministrator();
    using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOEXW*);
    auto rtlGetVersion = reinterpret_cast<RtlGetVersionFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (rtlGetVersion && rtlGetVersion(&version) == 0) {
        facts.build = version.dwBuildNumber;
        facts.server = version.wProductType != VER_NT_WORKSTATION;
    }
    facts.securityCenter = !facts.wine && !facts.server && hasSecurityCenterNamespace();
    return facts;
}

bool enablePrivilege(const wchar_t* name) {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return false;
    TOKEN_PRIVILEGES privileges{};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    bool ok = LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid) &&
              AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) &&
              GetLastError() == ERROR_SUCCESS;  // ERROR_NOT_ALL_ASSIGNED: the token lacks it
    CloseHandle(token);
    return ok;
}

std::string randomHex(std::size_t bytes) {
    std::vector<unsigned char> random(bytes);
    if (BCryptGenRandom(nullptr, random.data(), ULONG(bytes), BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0)
        throw std::runtime_error("the system's random source failed");
    static const char digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char byte : random) {
        text += digits[byte >> 4];
        text += digits[byte & 15];
    }
    return text;
}

std::optional<std::string> readWhole(const std::wstring& path, DWORD share) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    bool ok = true;
    while ((ok = ReadFile(file, buffer, sizeof buffer, &read, nullptr)) && read > 0) bytes.append(buffer, read);
    CloseHandle(file);
    if (!ok) return std::nullopt;
    return bytes;
}

bool writeWhole(const std::wstring& path, const std::string& bytes) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    bool ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) && written == bytes.size();
    return CloseHandle(file) && ok;
}

DWORD attributesOf(const std::wstring& path) { return GetFileAttributesW(path.c_str()); }
bool exists(const std::wstring& path) { return attributesOf(path) != INVALID_FILE_ATTRIBUTES; }
bool isRealFolder(const std::wstring& path) {
    DWORD attributes = attributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

std::vector<std::wstring> namesIn(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

namespace {
// Deletes the name itself: a handle opened for DELETE without following a
// link, with backup semantics (which, with SeRestorePrivilege on, passes
// over the DACL), marked for deletion.
bool deleteName(const std::wstring& path) {
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    HANDLE handle = CreateFileW(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    FILE_DISPOSITION_INFO disposition{TRUE};
    bool ok = SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition);
    CloseHandle(handle);
    return ok;
}
}  // namespace

bool removeTree(const std::wstring& path, std::wstring* stuck) {
    DWORD attributes = attributesOf(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    bool ok = true;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) && !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        for (const std::wstring& name : namesIn(path)) ok = removeTree(path + L"\\" + name, stuck) && ok;
    if (!deleteName(path) && exists(path)) {
        if (stuck && stuck->empty()) *stuck = path;
        return false;
    }
    return ok;
}

std::string describeTree(const std::wstring& folder) {
    std::string description;
    std::vector<std::wstring> pending = {L""};
    while (!pending.empty()) {
        std::wstring relative = pending.back();
        pending.pop_back();
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileW((folder + relative + L"\\*").c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) continue;
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L"..") continue;
            std::wstring entry = relative + L"\\" + name;
            description += narrow(entry) + " " + std::to_string(found.dwFileAttributes) + " " +
                           std::to_string((std::uint64_t(found.nFileSizeHigh) << 32) | found.nFileSizeLow) + " " +
                           std::to_string(found.ftLastWriteTime.dwLowDateTime) + "\n";
            bool link = found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !link) {
                pending.push_back(entry);
            } else if (!link && found.nFileSizeHigh == 0 && found.nFileSizeLow < 4096) {
                description += readWhole(folder + entry).value_or("(unreadable)") + "\n";
            }
        } while (FindNextFileW(search, &found));
        FindClose(search);
    }
    return description;
}

std::optional<std::uint64_t> fileIdOf(const std::wstring& path) {
    HANDLE handle = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    BY_HANDLE_FILE_INFORMATION information;
    bool ok = GetFileInformationByHandle(handle, &information);
    CloseHandle(handle);
    if (!ok) return std::nullopt;
    return (std::uint64_t(information.nFileIndexHigh) << 32 | information.nFileIndexLow) ^
           (std::uint64_t(information.dwVolumeSerialNumber) << 48);
}

std::wstring exePath() {
    std::wstring path(32768, L'\0');
    DWORD length = GetModuleFileNameW(nullptr, path.data(), DWORD(path.size()));
    path.resize(length);
    return path;
}

std::wstring exeFolder() {
    std::wstring path = exePath();
    return path.substr(0, path.find_last_of(L"\\/") + 1);
}

std::wstring currentUserName() {
    wchar_t name[257];
    DWORD length = 257;
    if (!GetUserNameW(name, &length)) return L"";
    return name;
}

namespace {
std::string sidText(PSID sid) {
    wchar_t* text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) return "";
    std::string result = narrow(text);
    LocalFree(text);
    return result;
}
}  // namespace

std::string currentUserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return "";
    BYTE buffer[512];
    DWORD length = 0;
    bool ok = GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &length);
    CloseHandle(token);
    return ok ? sidText(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid) : "";
}

std::optional<std::string> sidOfAccount(const std::wstring& name) {
    BYTE sid[SECURITY_MAX_SID_SIZE];
    DWORD sidSize = sizeof sid;
    wchar_t domain[256];
    DWORD domainSize = 256;
    SID_NAME_USE use;
    if (!LookupAccountNameW(nullptr, name.c_str(), sid, &sidSize, domain, &domainSize, &use)) return std::nullopt;
    return sidText(sid);
}

namespace {
HANDLE openForSecurity(const std::wstring& path, DWORD access) {
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}
}  // namespace

bool setOwner(const std::wstring& path, const std::string& sid, unsigned long* error) {
    PSID owner = nullptr;
    if (!ConvertStringSidToSidW(wide(sid).c_str(), &owner)) {
        if (error) *error = GetLastError();
        return false;
    }
    HANDLE handle = openForSecurity(path, WRITE_OWNER | READ_CONTROL);
    DWORD status = handle == INVALID_HANDLE_VALUE
                       ? GetLastError()
                       : SetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, owner, nullptr, nullptr, nullptr);
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
    LocalFree(owner);
    if (error) *error = status;
    // Wine says yes and keeps nothing: only a read-back counts.
    return status == ERROR_SUCCESS && ownerOf(path) == sid;
}

std::optional<std::string> ownerOf(const std::wstring& path) {
    HANDLE handle = openForSecurity(path, READ_CONTROL);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD status = GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                                   &descriptor);
    CloseHandle(handle);
    if (status != ERROR_SUCCESS) return std::nullopt;
    std::string text = sidText(owner);
    LocalFree(descriptor);
    return text;
}

std::optional<DaclFacts> daclOf(const std::wstring& path) {
    HANDLE handle = openForSecurity(path, READ_CONTROL);
    if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    DWORD status = GetSecurityInfo(handle, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                                   &descriptor);
    CloseHandle(handle);
    if (status != ERROR_SUCCESS) return std::nullopt;
    DaclFacts facts;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    if (GetSecurityDescriptorControl(descriptor, &control, &revision)) facts.protectedDacl = control & SE_DACL_PROTECTED;
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        ACE_HEADER* header = nullptr;
        if (!GetAce(dacl, i, reinterpret_cast<void**>(&header)) || header->AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        auto* allowed = reinterpret_cast<ACCESS_ALLOWED_ACE*>(header);
        facts.aces.push_back({sidText(&allowed->SidStart), allowed->Mask, header->AceFlags});
    }
    LocalFree(descriptor);
    return facts;
}

}  // namespace velmora::field
