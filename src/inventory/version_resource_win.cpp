// Windows: the system's version functions (ANSI forms, the path handed over
// unchanged) and file attributes.
#include "inventory/version_resource.h"

#include <climits>
#include <cstring>
#include <locale.h>
#include <stdexcept>
#include <windows.h>

namespace velmora {

namespace {

// VerQueryValueA answers with an address; it is used only when it lies inside
// the block, and only as many bytes as remain in the block are read from it.
bool queryValue(std::vector<std::uint8_t>& block, const char* subBlock, const std::uint8_t*& value,
                UINT& length, std::size_t& available) {
    void* address = nullptr;
    length = 0;
    if (block.empty() || !VerQueryValueA(block.data(), subBlock, &address, &length) || !address) return false;
    const auto* begin = block.data();
    const auto* found = static_cast<const std::uint8_t*>(address);
    if (found < begin || found >= begin + block.size()) return false;
    value = found;
    available = static_cast<std::size_t>(begin + block.size() - found);
    return true;
}

// The code page in which the file functions read narrow path texts.
UINT fileSystemCodePage() {
    if (___lc_codepage_func() == CP_UTF8) return CP_UTF8;
    return AreFileApisANSI() ? CP_ACP : CP_OEMCP;
}

}  // namespace

bool loadVersionBlock(const char* path, std::vector<std::uint8_t>& block) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    if (size == 0) return false;
    block.assign(size, 0);
    if (!GetFileVersionInfoA(path, 0, size, block.data())) {
        block.clear();
        return false;
    }
    return true;
}

bool queryFixedVersionInfo(std::vector<std::uint8_t>& block, FixedVersionInfo& fixed) {
    const std::uint8_t* value = nullptr;
    UINT length = 0;
    std::size_t available = 0;
    if (!queryValue(block, "\\", value, length, available)) return false;
    if (length < sizeof(VS_FIXEDFILEINFO) || available < sizeof(VS_FIXEDFILEINFO)) return false;
    VS_FIXEDFILEINFO info;
    std::memcpy(&info, value, sizeof info);
    fixed = {info.dwSignature, info.dwFileVersionMS, info.dwFileVersionLS, info.dwProductVersionMS,
             info.dwProductVersionLS};
    return true;
}

bool queryFirstTranslation(std::vector<std::uint8_t>& block, VersionTranslation& first) {
    const std::uint8_t* value = nullptr;
    UINT length = 0;
    std::size_t available = 0;
    if (!queryValue(block, "\\VarFileInfo\\Translation", value, length, available)) return false;
    if (length < 4 || available < 4) return false;
    std::memcpy(&first.language, value, 2);
    std::memcpy(&first.codePage, value + 2, 2);
    return true;
}

bool queryVersionString(std::vector<std::uint8_t>& block, const std::string& entryPath, std::string& text) {
    const std::uint8_t* value = nullptr;
    UINT length = 0;
    std::size_t available = 0;
    if (!queryValue(block, entryPath.c_str(), value, length, available)) return false;
    const auto* chars = reinterpret_cast<const char*>(value);
    text.assign(chars, strnlen(chars, available));
    return true;
}

bool readFileAttributes(const char* path, FileAttributes& attributes) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data)) return false;
    attributes.size = data.nFileSizeLow;
    attributes.lastWriteTime = (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                               data.ftLastWriteTime.dwLowDateTime;
    return true;
}

std::u16string fileSystemPathToWide(const std::string& path) {
    if (path.empty()) return {};
    if (path.size() > INT_MAX) throw std::runtime_error(kPathNotInCodePage);
    const UINT codePage = fileSystemCodePage();
    const int length = static_cast<int>(path.size());
    const int needed = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, path.data(), length, nullptr, 0);
    if (needed <= 0) throw std::runtime_error(kPathNotInCodePage);
    std::u16string wide(static_cast<std::size_t>(needed), u'\0');
    if (MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, path.data(), length,
                            reinterpret_cast<wchar_t*>(wide.data()), needed) != needed)
        throw std::runtime_error(kPathNotInCodePage);
    return wide;
}

}  // namespace velmora
