#include "field/field_plant_win.h"

#include "field/field_logic.h"
#include "field/field_system_win.h"

#include <winioctl.h>

#include <vector>

namespace velmora::field {

namespace {
// REPARSE_DATA_BUFFER's mount-point form (ntifs.h, not in the user headers).
struct MountPointBuffer {
    DWORD tag;
    WORD dataLength;
    WORD reserved;
    WORD substituteOffset, substituteLength, printOffset, printLength;
    wchar_t names[1];
};
}  // namespace

unsigned long makeMountPoint(const std::wstring& link, const std::wstring& ntTarget) {
    if (!CreateDirectoryW(link.c_str(), nullptr)) return GetLastError();
    HANDLE folder = CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (folder == INVALID_HANDLE_VALUE) return GetLastError();
    // Substitute name, then an empty print name, each ended by a NUL.
    std::size_t nameBytes = (ntTarget.size() + 1 + 1) * sizeof(wchar_t);
    std::vector<char> bytes(offsetof(MountPointBuffer, names) + nameBytes, 0);
    auto* buffer = reinterpret_cast<MountPointBuffer*>(bytes.data());
    buffer->tag = IO_REPARSE_TAG_MOUNT_POINT;
    buffer->dataLength = WORD(bytes.size() - 8);
    buffer->substituteLength = WORD(ntTarget.size() * sizeof(wchar_t));
    buffer->printOffset = WORD(buffer->substituteLength + sizeof(wchar_t));
    std::memcpy(buffer->names, ntTarget.data(), buffer->substituteLength);
    DWORD returned = 0;
    bool ok = DeviceIoControl(folder, FSCTL_SET_REPARSE_POINT, bytes.data(), DWORD(bytes.size()), nullptr, 0, &returned,
                              nullptr);
    unsigned long error = ok ? 0 : GetLastError();
    CloseHandle(folder);
    if (!ok) RemoveDirectoryW(link.c_str());
    return error;
}

unsigned long makeSymbolicLink(const std::wstring& link, const std::wstring& target, bool folder) {
    DWORD flags = (folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0) | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE;
    if (!CreateSymbolicLinkW(link.c_str(), target.c_str(), flags)) {
        // Before Windows 10 1703 the unprivileged flag is refused as invalid.
        if (GetLastError() != ERROR_INVALID_PARAMETER ||
            !CreateSymbolicLinkW(link.c_str(), target.c_str(), folder ? SYMBOLIC_LINK_FLAG_DIRECTORY : 0))
            return GetLastError();
    }
    return isReparsePoint(link, IO_REPARSE_TAG_SYMLINK) ? 0 : ERROR_NOT_SUPPORTED;
}

unsigned long makeHardLink(const std::wstring& link, const std::wstring& existing) {
    return CreateHardLinkW(link.c_str(), existing.c_str(), nullptr) ? 0 : GetLastError();
}

bool isReparsePoint(const std::wstring& path, DWORD tag) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(path.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) && found.dwReserved0 == tag;
}

namespace {
struct UnicodeString {
    USHORT length, maximumLength;
    PWSTR buffer;
};
struct ObjectAttributes {
    ULONG length;
    HANDLE rootDirectory;
    UnicodeString* objectName;
    ULONG attributes;
    void* securityDescriptor;
    void* securityQualityOfService;
};
using NtCreateSymbolicLinkObjectFunction = LONG(NTAPI*)(HANDLE*, ACCESS_MASK, ObjectAttributes*, UnicodeString*);
UnicodeString unicode(std::wstring& text) {
    return {USHORT(text.size() * 2), USHORT(text.size() * 2), text.data()};
}
}  // namespace

unsigned long ObjectLink::make(const std::wstring& name, const std::wstring& ntTarget) {
    auto create = reinterpret_cast<NtCreateSymbolicLinkObjectFunction>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "NtCreateSymbolicLinkObject")));
    if (!create) return ERROR_PROC_NOT_FOUND;
    std::wstring linkName = L"\\RPC Control\\" + name, target = ntTarget;
    UnicodeString linkText = unicode(linkName), targetText = unicode(target);
    ObjectAttributes attributes{sizeof attributes, nullptr, &linkText, 0x40 /* OBJ_CASE_INSENSITIVE */, nullptr, nullptr};
    LONG status = create(&handle, 0xF0001 /* SYMBOLIC_LINK_ALL_ACCESS */, &attributes, &targetText);
    if (status < 0) handle = nullptr;
    return status < 0 ? unsigned(status) : 0;
}

ObjectLink::~ObjectLink() {
    if (handle) CloseHandle(handle);
}

unsigned long OplockHolder::hold(const std::wstring& path) {
    file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    overlapped.hEvent = event;
    REQUEST_OPLOCK_INPUT_BUFFER input{};
    input.StructureVersion = REQUEST_OPLOCK_CURRENT_VERSION;
    input.StructureLength = sizeof input;
    input.RequestedOplockLevel = OPLOCK_LEVEL_CACHE_READ | OPLOCK_LEVEL_CACHE_WRITE | OPLOCK_LEVEL_CACHE_HANDLE;
    input.Flags = REQUEST_OPLOCK_INPUT_FLAG_REQUEST;
    output.StructureVersion = REQUEST_OPLOCK_CURRENT_VERSION;
    output.StructureLength = sizeof output;
    // Granted: the call stays pending until the oplock breaks.
    if (DeviceIoControl(file, FSCTL_REQUEST_OPLOCK, &input, sizeof input, &output, sizeof output, nullptr, &overlapped))
        return ERROR_NOT_SUPPORTED;
    return GetLastError() == ERROR_IO_PENDING ? 0 : GetLastError();
}

OplockHolder::~OplockHolder() {
    if (file != INVALID_HANDLE_VALUE) {
        CancelIoEx(file, &overlapped);
        CloseHandle(file);
    }
    if (event) CloseHandle(event);
}

unsigned long Reader::hold(const std::wstring& path, DWORD share) {
    held = CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (held == INVALID_HANDLE_VALUE) return GetLastError();
    char buffer[4096];
    DWORD read = 0;
    if (ReadFile(held, buffer, sizeof buffer, &read, nullptr)) firstRead.assign(buffer, read);
    poller = std::thread([this, path, share] {
        while (!stop) {
            std::optional<std::string> bytes = readWhole(path, share);
            if (bytes) {
                ++reads;
                if (!isWholeVerdict(*bytes)) {
                    if (brokenReads++ == 0) brokenExample = *bytes;
                }
            }
            Sleep(1);
        }
    });
    return 0;
}

void Reader::stopPolling() {
    stop = true;
    if (poller.joinable()) poller.join();
}

Reader::~Reader() {
    stopPolling();
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
}

}  // namespace velmora::field
