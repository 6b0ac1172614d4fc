#include "common/file_io.h"

#include "common/file_replace.h"
#include "common/long_path.h"
#include "common/text.h"

#include <windows.h>
#include <aclapi.h>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <vector>

namespace velmora {

namespace {

// The one way a path reaches a file call here: with the \\?\ prefix when it
// is too long for the system to take without (long_path.h).
std::wstring wide(const std::u16string& path) { return fileCallPath(path); }

}  // namespace

std::u16string widePath(const std::string& path) { return utf8ToWide(path); }

std::FILE* openSharedForReading(const std::string& path, unsigned long& errorCode) {
    SetLastError(0);
    std::FILE* file = _wfsopen(wide(widePath(path)).c_str(), L"rb", _SH_DENYNO);
    errorCode = file ? 0 : GetLastError();
    return file;
}

std::string errnoText(int errnum) {
    char buffer[256] = {};
    strerror_s(buffer, sizeof buffer, errnum);
    return buffer;
}

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A handle whose name is a plain disk file with one link. Devices ("NUL",
// "COM1", a Unix device under Wine) are no disk files; a reparse point opened
// with FILE_FLAG_OPEN_REPARSE_POINT is the link itself and carries its
// attribute.
bool isPlainWithOneLink(HANDLE handle) {
    BY_HANDLE_FILE_INFORMATION info;
    return GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) &&
           (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
           info.nNumberOfLinks == 1;
}

// A stream over a handle; the handle is closed (and nullptr returned) when
// that fails.
std::FILE* streamOver(HANDLE handle) {
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, "wb");
    if (file == nullptr) _close(fd);
    return file;
}

HANDLE handleOf(std::FILE* file) { return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))); }


// FileRenameInfoEx and its flags, declared here from Microsoft's
// documentation (FILE_INFO_BY_HANDLE_CLASS, FILE_RENAME_INFO): MinGW offers
// them only for newer _WIN32_WINNT targets. The flags take the place of
// ReplaceIfExists in the same union, so the layout is FILE_RENAME_INFO's.
constexpr FILE_INFO_BY_HANDLE_CLASS kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);
constexpr DWORD kRenameReplaceIfExists = 0x1;
constexpr DWORD kRenamePosixSemantics = 0x2;
struct RenameInfoEx {
    DWORD flags;
    HANDLE rootDirectory;
    DWORD fileNameLength;  // bytes, without the terminating NUL
    WCHAR fileName[1];
};

// Renames the open file over to. With POSIX semantics (Windows 10 1809 and
// later, NTFS) the target's name is replaced even while readers hold it open
// sharing delete; they keep reading the earlier file. The handle needs
// DELETE access. Returns ERROR_SUCCESS or the system's error.
DWORD renameWithPosixSemantics(HANDLE file, const std::u16string& to) {
    const std::wstring name = wide(to);
    const std::size_t nameBytes = name.size() * sizeof(WCHAR);
    std::vector<unsigned char> buffer(offsetof(RenameInfoEx, fileName) + nameBytes + sizeof(WCHAR), 0);
    auto* info = reinterpret_cast<RenameInfoEx*>(buffer.data());
    info->flags = kRenameReplaceIfExists | kRenamePosixSemantics;
    info->rootDirectory = nullptr;
    info->fileNameLength = static_cast<DWORD>(nameBytes);
    std::memcpy(info->fileName, name.c_str(), nameBytes);
    if (SetFileInformationByHandle(file, kFileRenameInfoEx, info, static_cast<DWORD>(buffer.size()))) {
        return ERROR_SUCCESS;
    }
    return GetLastError();
}

// What the target's DACL is, read by its own handle (never through a link:
// only a plain file's rules are carried over).
DaclFacts readDaclFacts(const std::u16string& target, PACL& dacl, PSECURITY_DESCRIPTOR& descriptor) {
    DaclFacts facts;
    HANDLE handle = CreateFileW(wide(target).c_str(), READ_CONTROL, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return facts;
    SECURITY_DESCRIPTOR_CONTROL control = 0;
    DWORD revision = 0;
    DWORD error = GetSecurityInfo(handle, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                  nullptr, &descriptor);
    if (error == ERROR_SUCCESS && !GetSecurityDescriptorControl(descriptor, &control, &revision)) {
        error = GetLastError();
    }
    CloseHandle(handle);
    facts.read = error == ERROR_SUCCESS;
    facts.present = (control & SE_DACL_PRESENT) != 0 && dacl != nullptr;
    facts.isProtected = (control & SE_DACL_PROTECTED) != 0;
    SetLastError(error);  // for the caller, when the rules could not be read
    return facts;
}

}  // namespace

unsigned long copyAccessRules(const std::u16string& target, std::FILE* replacement) {
    // A renamed file keeps its own security descriptor: without this, the
    // new file's inherited DACL (with the replacing account as creator
    // owner) would take the place of the rules the installer set. The owner
    // cannot be carried: only the account itself, or one holding
    // SeRestorePrivilege, may set another owner.
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DaclCopy copy = daclCopyFor(readDaclFacts(target, dacl, descriptor));
    DWORD error = copy.possible ? ERROR_SUCCESS : GetLastError();
    if (copy.possible) {
        const SECURITY_INFORMATION what =
            DACL_SECURITY_INFORMATION |
            (copy.isProtected ? PROTECTED_DACL_SECURITY_INFORMATION : UNPROTECTED_DACL_SECURITY_INFORMATION);
        error = SetSecurityInfo(handleOf(replacement), SE_FILE_OBJECT, what, nullptr, nullptr,
                                copy.nullDacl ? nullptr : dacl, nullptr);
    }
    if (descriptor != nullptr) LocalFree(descriptor);
    return error;
}

PathKind pathKind(const std::u16string& path) {
    // Attribute access only: it needs no sharing from whoever holds the file
    // open. FILE_FLAG_OPEN_REPARSE_POINT looks at a link, not its target;
    // FILE_FLAG_BACKUP_SEMANTICS lets a folder be opened at all.
    HANDLE handle = CreateFileW(wide(path).c_str(), FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_FILE_NOT_FOUND ? PathKind::Missing : PathKind::Other;
    }
    BY_HANDLE_FILE_INFORMATION info;
    PathKind kind = PathKind::Other;
    if (GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info)) {
        if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
            kind = PathKind::Link;
        } else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            kind = info.nNumberOfLinks == 1 ? PathKind::PlainFile : PathKind::Link;
        }
    }
    CloseHandle(handle);
    return kind;
}

bool canOpenForWriting(const std::u16string& path) {
    // Opened as a write would open it, and not cut; never through a link.
    HANDLE handle = CreateFileW(wide(path).c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        // Windows checks the sharing only after the account's rights: a
        // reader that shares no writing (FileShare.Read, say) makes the file
        // busy, not forbidden, and the replacement then waits for it.
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) return true;
        errno = errnoOfSystemError(error);
        return false;
    }
    CloseHandle(handle);
    return true;
}

std::FILE* createNewForWriting(const std::u16string& path) {
    // CREATE_NEW fails when the name exists: a file or link someone else put
    // there is never written through. Without FILE_FLAG_OPEN_REPARSE_POINT a
    // symbolic link whose target does not exist would be followed and the
    // file created at its target ("Symbolic Link Effects on File Systems
    // Functions"); with it the link is the name, which exists. DELETE lets
    // the handle itself rename the file over the target; READ_CONTROL |
    // WRITE_DAC let it take the target's DACL.
    HANDLE handle = CreateFileW(wide(path).c_str(), GENERIC_WRITE | DELETE | READ_CONTROL | WRITE_DAC, kShareAll,
                                nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = errnoOfSystemError(GetLastError());
        return nullptr;
    }
    std::FILE* file = streamOver(handle);
    if (file == nullptr) DeleteFileW(wide(path).c_str());
    return file;
}

std::FILE* openInPlace(const std::u16string& path, bool onlyPlainFile) {
    // OPEN_EXISTING / OPEN_ALWAYS never cut the file, so a reader never sees
    // it empty or shorter than its new text. FILE_FLAG_OPEN_REPARSE_POINT
    // opens a link itself, which the check below then refuses.
    HANDLE handle = CreateFileW(wide(path).c_str(), GENERIC_WRITE, kShareAll, nullptr,
                                onlyPlainFile ? OPEN_EXISTING : OPEN_ALWAYS,
                                onlyPlainFile ? FILE_FLAG_OPEN_REPARSE_POINT : FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = errnoOfSystemError(GetLastError());
        return nullptr;
    }
    if (onlyPlainFile && !isPlainWithOneLink(handle)) {
        BY_HANDLE_FILE_INFORMATION info;
        const bool link = GetFileInformationByHandle(handle, &info) &&
                          (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
        CloseHandle(handle);
        errno = link ? ELOOP : EPERM;
        return nullptr;
    }
    return streamOver(handle);
}

int finishInPlace(std::FILE* file, std::size_t length) {
    errno = 0;
    int error = std::fflush(file) == 0 ? 0 : (errno != 0 ? errno : EIO);
    HANDLE handle = handleOf(file);
    if (error == 0 && GetFileType(handle) == FILE_TYPE_DISK) {
        LARGE_INTEGER end;
        end.QuadPart = static_cast<LONGLONG>(length);
        // The length is cut only after the new bytes lie over the old ones.
        if (!SetFilePointerEx(handle, end, nullptr, FILE_BEGIN) || !SetEndOfFile(handle) ||
            !FlushFileBuffers(handle)) {
            error = errnoOfSystemError(GetLastError());
        }
    }
    errno = 0;
    if (std::fclose(file) != 0 && error == 0) error = errno != 0 ? errno : EIO;
    return error;
}

int flushToDisk(std::FILE* file) {
    errno = 0;
    if (std::fflush(file) != 0) return errno != 0 ? errno : EIO;
    HANDLE handle = handleOf(file);
    // MOVEFILE_WRITE_THROUGH waits for the move, not for this file's data.
    if (GetFileType(handle) == FILE_TYPE_DISK && !FlushFileBuffers(handle)) return errnoOfSystemError(GetLastError());
    return 0;
}

ReplaceAttempt replaceOnce(std::FILE* from, const std::u16string& fromPath, const std::u16string& to) {
    ReplaceAttempt attempt;
    DWORD error = renameWithPosixSemantics(handleOf(from), to);
    // Missing before Windows 10 1809, on file systems other than NTFS, and
    // under Wine (87): the classic replacement by name, which Windows refuses
    // while any handle is open on the target, whatever its sharing.
    if (error == ERROR_INVALID_PARAMETER || error == ERROR_NOT_SUPPORTED || error == ERROR_INVALID_FUNCTION) {
        error = MoveFileExW(wide(fromPath).c_str(), wide(to).c_str(),
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
                    ? ERROR_SUCCESS
                    : GetLastError();
    }
    attempt.replaced = error == ERROR_SUCCESS;
    attempt.inUse = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
    attempt.systemError = error;
    return attempt;
}

void removeLinkItself(const std::u16string& path) {
    // Opened as the reparse point itself (FILE_FLAG_OPEN_REPARSE_POINT; a
    // folder needs FILE_FLAG_BACKUP_SEMANTICS) and deleted by that handle: a
    // mount point's own entry goes, its target folder and files stay.
    HANDLE handle = CreateFileW(wide(path).c_str(), DELETE | FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return;
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileInformationByHandle(handle, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        FILE_DISPOSITION_INFO disposition;
        disposition.DeleteFile = TRUE;
        SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition);
    }
    CloseHandle(handle);
}

void flushFolderOf(const std::u16string&) {
    // NTFS journals the rename itself; a folder cannot be flushed by a handle
    // that an ordinary account can open.
}

std::vector<std::u16string> folderEntries(const std::u16string& folder) {
    std::vector<std::u16string> names;
    const std::u16string pattern = (folder.empty() ? u"." : folder) + u"\\*";
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW(wide(pattern).c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        names.emplace_back(reinterpret_cast<const char16_t*>(found.cFileName));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return names;
}

void removePlainFile(const std::u16string& path) {
    // Opened as the link itself, checked and deleted through the same handle:
    // nothing another account swaps in after the check is deleted instead.
    HANDLE handle = CreateFileW(wide(path).c_str(), DELETE | FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return;
    if (isPlainWithOneLink(handle)) {
        FILE_DISPOSITION_INFO disposition;
        disposition.DeleteFile = TRUE;
        SetFileInformationByHandle(handle, FileDispositionInfo, &disposition, sizeof disposition);
    }
    CloseHandle(handle);
}

void removeFile(const std::u16string& path) { DeleteFileW(wide(path).c_str()); }

unsigned long currentProcessId() { return GetCurrentProcessId(); }

int errnoOfSystemError(unsigned long error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: return ENOENT;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS: return EEXIST;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return ENOSPC;
        default: return EACCES;
    }
}

}  // namespace velmora
