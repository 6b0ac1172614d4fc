#include "common/file_io.h"

#include <windows.h>
#include <share.h>
#include <cerrno>
#include <cstring>

namespace velmora {

std::FILE* openSharedForWriting(const std::u16string& path) {
    return _wfsopen(reinterpret_cast<const wchar_t*>(path.c_str()), L"wb", _SH_DENYNO);
}

std::FILE* openSharedForWriting(const std::string& path) {
    return _fsopen(path.c_str(), "wb", _SH_DENYNO);
}

std::FILE* openSharedForReading(const std::string& path, unsigned long& errorCode) {
    SetLastError(0);
    std::FILE* file = _fsopen(path.c_str(), "rb", _SH_DENYNO);
    errorCode = file ? 0 : GetLastError();
    return file;
}

std::string errnoText(int errnum) {
    char buffer[256] = {};
    strerror_s(buffer, sizeof buffer, errnum);
    return buffer;
}

}  // namespace velmora
