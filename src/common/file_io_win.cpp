#include "common/file_io.h"

#include "common/long_path.h"
#include "common/text.h"

#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <cerrno>
#include <cstring>

namespace velmora {

namespace {

// The one way a path reaches a file call here: with the \\?\ prefix when it
// is too long for the system to take without (long_path.h).
std::wstring wide(const std::u16string& path) { return fileCallPath(path); }

}  // namespace

std::u16string widePath(const std::string& path) { return utf8ToWide(path); }

std::FILE* openSharedForWriting(const std::u16string& path) {
    return _wfsopen(wide(path).c_str(), L"wb", _SH_DENYNO);
}

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

PathKind pathKind(const std::u16string& path) {
    // Attribute access only: it needs no sharing from whoever holds the file
    // open. FILE_FLAG_OPEN_REPARSE_POINT looks at a link, not its target;
    // FILE_FLAG_BACKUP_SEMANTICS lets a folder be opened at all.
    HANDLE handle = CreateFileW(wide(path).c_str(), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return GetLastError() == ERROR_FILE_NOT_FOUND ? PathKind::Missing : PathKind::Other;
    }
    // Devices ("NUL", "COM1", a Unix device under Wine) are not disk files.
    BY_HANDLE_FILE_INFORMATION info;
    const bool plain = GetFileType(handle) == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info) &&
                       (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0;
    CloseHandle(handle);
    return plain ? PathKind::PlainFile : PathKind::Other;
}

bool canOpenForWriting(const std::u16string& path) {
    // Append mode: the file is opened as a write would open it, and not cut.
    std::FILE* file = _wfsopen(wide(path).c_str(), L"ab", _SH_DENYNO);
    if (file == nullptr) return false;
    std::fclose(file);
    return true;
}

std::FILE* createNewForWriting(const std::u16string& path) {
    // CREATE_NEW fails when the name exists: a file or link someone else put
    // there is never written through.
    HANDLE handle = CreateFileW(wide(path).c_str(), GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        errno = (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) ? EEXIST : EACCES;
        return nullptr;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        DeleteFileW(wide(path).c_str());
        return nullptr;
    }
    std::FILE* file = _fdopen(fd, "wb");
    if (file == nullptr) {
        _close(fd);
        DeleteFileW(wide(path).c_str());
    }
    return file;
}

bool replaceFile(const std::u16string& from, const std::u16string& to) {
    // Refused when the target is read-only, not deletable by this account, or
    // held open by a reader that did not share delete access.
    // MOVEFILE_WRITE_THROUGH: the call returns once the move is on the disk.
    return MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

void removeFile(const std::u16string& path) { DeleteFileW(wide(path).c_str()); }

unsigned long currentProcessId() { return GetCurrentProcessId(); }

}  // namespace velmora
