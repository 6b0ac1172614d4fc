// To be rewritten for held_folder.h: the Windows side of the log folder as it was.
// The log folder's system calls on Windows.
//
// Each folder is opened by handle with FILE_FLAG_OPEN_REPARSE_POINT (the
// name itself, never what a link there points to) and
// FILE_FLAG_BACKUP_SEMANTICS (needed to open a folder), and checked through
// that handle. The handles of the folders the run uses stay open until the
// run ends, asking for FILE_LIST_DIRECTORY and sharing read and write but
// not delete: while they are open, no one can open those folders for DELETE,
// which a rename needs, so none of them can be renamed away and replaced by a
// link under the run. The read access matters: the system records a handle's
// sharing only when the handle has read, write or delete access, so a handle
// opened for attributes alone would not keep anyone out. Nor can a held
// folder become a mount point later: a reparse point can be set only on an
// empty folder, and each held folder holds the next one; the per-user folder
// is closed to other accounts by its DACL.
#include "common/held_folder.h"

#include "common/text.h"

#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <vector>

namespace velmora {

namespace {

constexpr DWORD kFolderAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;
constexpr DWORD kShareAllButDelete = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr DWORD kTheNameItself = FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT;

HANDLE handleOf(const OpenFolder& folder) { return reinterpret_cast<HANDLE>(folder.native); }

std::wstring wide(const std::string& utf8) {
    const std::u16string text = utf8ToWide(utf8);
    return std::wstring(text.begin(), text.end());
}

std::optional<std::string> sidText(PSID sid) {
    LPWSTR text = nullptr;
    if (!ConvertSidToStringSidW(sid, &text)) return std::nullopt;
    std::string out = wideToUtf8(std::u16string(reinterpret_cast<const char16_t*>(text)));
    LocalFree(text);
    return out;
}

std::optional<std::string> ownerOf(HANDLE handle) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::optional<std::string> text = sidText(owner);
    LocalFree(descriptor);
    return text;
}

// On Windows GetFileAttributesW, like the handle, describes a link at the end
// of a path itself. Either view that shows a reparse point counts: Wine shows
// a link made on the Linux side only in the path's attributes.
bool readInformation(HANDLE handle, const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
    if (!GetFileInformationByHandle(handle, &info)) return false;
    const DWORD byPath = GetFileAttributesW(path.c_str());
    if (byPath != INVALID_FILE_ATTRIBUTES) info.dwFileAttributes |= byPath & FILE_ATTRIBUTE_REPARSE_POINT;
    return true;
}

EntryKind kindOf(DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return EntryKind::Link;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? EntryKind::Folder : EntryKind::PlainFile;
}

bool isNotFound(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// The per-user folder's DACL: the account, SYSTEM and Administrators full
// control, inherited by everything in it; P: nothing inherited from above.
// The caller frees the descriptor with LocalFree.
PSECURITY_DESCRIPTOR userFolderDescriptor(const AccountIds& accounts, DWORD& error) {
    const std::wstring sddl = L"D:P(A;OICI;FA;;;" + wide(accounts.running) + L")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        error = GetLastError();
        return nullptr;
    }
    return descriptor;
}

}  // namespace

void OpenFolderClose::operator()(OpenFolder* folder) const {
    if (folder->native != -1) CloseHandle(handleOf(*folder));
    delete folder;
}

AccountIds runningAccountIds() {
    AccountIds ids{"", "S-1-5-18", "S-1-5-32-544"};  // LocalSystem, BUILTIN\Administrators
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return ids;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size > 0 ? size : 1);
    if (GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
        ids.running = sidText(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid).value_or("");
    }
    CloseHandle(token);
    return ids;
}

// C:\ProgramData belongs to the system, and only administrators may change
// it; the checks start below it.
HeldFolder openProgramData(unsigned long&) { return HeldFolder(new OpenFolder{"C:\\ProgramData", -1}); }

FolderProbe probeFolder(const OpenFolder& parent, const std::string& name) {
    FolderProbe probe;
    const std::string path = parent.path + '\\' + name;
    const std::wstring widePath = wide(path);
    // WRITE_DAC where it is granted (the owner always has it), so that the
    // per-user folder's DACL can be set again through this very handle.
    HANDLE handle = CreateFileW(widePath.c_str(), kFolderAccess | WRITE_DAC, kShareAllButDelete, nullptr,
                                OPEN_EXISTING, kTheNameItself, nullptr);
    if (handle == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED) {
        handle = CreateFileW(widePath.c_str(), kFolderAccess, kShareAllButDelete, nullptr, OPEN_EXISTING,
                             kTheNameItself, nullptr);
    }
    if (handle == INVALID_HANDLE_VALUE) {
        probe.error = GetLastError();
        const DWORD attributes = GetFileAttributesW(widePath.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) {
            probe.facts.kind = isNotFound(GetLastError()) ? EntryKind::Missing : EntryKind::Other;
        } else {
            probe.facts.kind = kindOf(attributes);
        }
        return probe;
    }
    probe.opened = HeldFolder(new OpenFolder{path, reinterpret_cast<std::intptr_t>(handle)});
    BY_HANDLE_FILE_INFORMATION info = {};
    probe.facts.kind = readInformation(handle, widePath, info) ? kindOf(info.dwFileAttributes) : EntryKind::Other;
    probe.facts.owner = ownerOf(handle);
    return probe;
}

// A per-user folder gets its DACL in the same call that creates it, so it is
// never open to other accounts, not even for a moment.
unsigned long createFolder(const OpenFolder& parent, const std::string& name, bool forUser,
                           const AccountIds& accounts) {
    const std::wstring path = wide(parent.path + '\\' + name);
    DWORD error = 0;
    PSECURITY_DESCRIPTOR descriptor = forUser ? userFolderDescriptor(accounts, error) : nullptr;
    if (forUser && descriptor == nullptr) return error;
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, descriptor, FALSE};
    const BOOL created = CreateDirectoryW(path.c_str(), forUser ? &attributes : nullptr);
    error = created ? 0 : GetLastError();
    if (descriptor != nullptr) LocalFree(descriptor);
    return error == ERROR_ALREADY_EXISTS ? kNameTaken : error;
}

// MoveFileExW on a symbolic link or a mount point renames the link itself,
// never its target; without MOVEFILE_REPLACE_EXISTING it never replaces an
// existing name, and without MOVEFILE_COPY_ALLOWED it never copies anything.
unsigned long renameEntry(const OpenFolder& parent, const std::string& from, const std::string& to) {
    const std::wstring source = wide(parent.path + '\\' + from);
    const std::wstring target = wide(parent.path + '\\' + to);
    if (MoveFileExW(source.c_str(), target.c_str(), 0)) return 0;
    const DWORD error = GetLastError();
    return error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS ? kNameTaken : error;
}

// Setting a DACL through SetSecurityInfo also brings the inherited entries
// of everything already in the folder (the log files) in line with it.
unsigned long protectUserFolder(const OpenFolder& folder, const AccountIds& accounts) {
    DWORD error = 0;
    PSECURITY_DESCRIPTOR descriptor = userFolderDescriptor(accounts, error);
    if (descriptor == nullptr) return error;
    BOOL present = FALSE, defaulted = FALSE;
    PACL dacl = nullptr;
    if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted)) {
        error = GetLastError();
    } else {
        error = SetSecurityInfo(handleOf(folder), SE_FILE_OBJECT,
                                DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                dacl, nullptr);
    }
    LocalFree(descriptor);
    return error;
}

// Attributes only, shared with everyone: the check keeps no one out.
FileFacts probeFile(const OpenFolder& folder, const std::string& name) {
    const std::wstring path = wide(folder.path + '\\' + name);
    HANDLE handle = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, kTheNameItself, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return {isNotFound(GetLastError()) ? EntryKind::Missing : EntryKind::Other, 0};
    }
    BY_HANDLE_FILE_INFORMATION info = {};
    const bool known = readInformation(handle, path, info);
    CloseHandle(handle);
    if (!known) return {EntryKind::Other, 0};
    return {kindOf(info.dwFileAttributes), info.nNumberOfLinks};
}

// The logging library opens (and on rotation renames) its file by path. That
// path cannot be redirected while the run holds its folders: none of them
// can be renamed or turned into a mount point (see the top of this file),
// and after the checks above only the running account, SYSTEM and
// Administrators may add a name to the per-user folder, so no other account
// can put a link where the log file goes.
std::string libraryPathOf(const OpenFolder& folder, const std::string& fileName) {
    return folder.path + '\\' + fileName;
}

}  // namespace velmora
