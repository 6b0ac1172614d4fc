// Windows: the system's version functions and file attributes, in their wide
// forms (path texts are UTF-8, turned into UTF-16 here).
//
// version.dll is loaded from the system folder when first needed instead of
// being imported: it is no KnownDLL, so an imported one would be looked for
// beside the program first, where anyone able to write there could plant
// their own, to run inside a service's process.
#include "inventory/version_resource.h"

#include <cstring>
#include <string>
#include <windows.h>

#include "common/long_path.h"
#include "common/text.h"

namespace velmora {

namespace {

using GetFileVersionInfoSizeWFn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
using GetFileVersionInfoWFn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
using VerQueryValueWFn = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);

struct VersionFunctions {
    GetFileVersionInfoSizeWFn getSize = nullptr;
    GetFileVersionInfoWFn getInfo = nullptr;
    VerQueryValueWFn query = nullptr;
};

HMODULE loadVersionLibrary() {
    // By its full path in the system folder: loaded by name, a version.dll
    // that some other module already brought in (from the exe's folder, say)
    // would be handed back instead of the system's.
    wchar_t folder[MAX_PATH + 1] = {};
    const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH - 12) return nullptr;
    std::wstring path(folder, length);
    path += L"\\version.dll";
    HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // Windows 7 without update KB2533623 does not know the flag and answers
    // ERROR_INVALID_PARAMETER; the full path alone is as safe there.
    if (module == nullptr && GetLastError() == ERROR_INVALID_PARAMETER) module = LoadLibraryW(path.c_str());
    return module;
}

template <typename Fn>
Fn entry(HMODULE module, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// Loaded once and kept for the process: all three, or none.
const VersionFunctions& versionFunctions() {
    static const VersionFunctions functions = [] {
        VersionFunctions found;
        HMODULE module = loadVersionLibrary();
        if (module == nullptr) return found;
        found.getSize = entry<GetFileVersionInfoSizeWFn>(module, "GetFileVersionInfoSizeW");
        found.getInfo = entry<GetFileVersionInfoWFn>(module, "GetFileVersionInfoW");
        found.query = entry<VerQueryValueWFn>(module, "VerQueryValueW");
        if (!found.getSize || !found.getInfo || !found.query) return VersionFunctions{};
        return found;
    }();
    return functions;
}

const wchar_t* wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }

// VerQueryValueW answers with an address; it is used only when it lies inside
// the block, and only as many bytes as remain in the block are read from it.
bool queryValue(std::vector<std::uint8_t>& block, const std::u16string& subBlock, const std::uint8_t*& value,
                UINT& length, std::size_t& available) {
    const VersionFunctions& functions = versionFunctions();
    void* address = nullptr;
    length = 0;
    if (block.empty() || !functions.query || !functions.query(block.data(), wide(subBlock), &address, &length) ||
        !address) {
        return false;
    }
    const auto* begin = block.data();
    const auto* found = static_cast<const std::uint8_t*>(address);
    if (found < begin || found >= begin + block.size()) return false;
    value = found;
    available = static_cast<std::size_t>(begin + block.size() - found);
    return true;
}

}  // namespace

// A reporting path of MAX_PATH or more gets the \\?\ prefix (long_path.h):
// without it these calls fail for sure where long paths are not enabled.
bool loadVersionBlock(const char* path, std::vector<std::uint8_t>& block) {
    const VersionFunctions& functions = versionFunctions();
    const std::wstring widePath = fileCallPath(utf8ToWide(path));
    if (!functions.getSize || widePath.empty()) return false;
    DWORD ignored = 0;
    const DWORD size = functions.getSize(widePath.c_str(), &ignored);
    if (size == 0) return false;
    block.assign(size, 0);
    if (!functions.getInfo(widePath.c_str(), 0, size, block.data())) {
        block.clear();
        return false;
    }
    return true;
}

bool queryFixedVersionInfo(std::vector<std::uint8_t>& block, FixedVersionInfo& fixed) {
    const std::uint8_t* value = nullptr;
    UINT length = 0;
    std::size_t available = 0;
    if (!queryValue(block, u"\\", value, length, available)) return false;
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
    if (!queryValue(block, u"\\VarFileInfo\\Translation", value, length, available)) return false;
    if (length < 4 || available < 4) return false;
    std::memcpy(&first.language, value, 2);
    std::memcpy(&first.codePage, value + 2, 2);
    return true;
}

bool queryVersionString(std::vector<std::uint8_t>& block, const std::string& entryPath, std::string& text) {
    const std::uint8_t* value = nullptr;
    UINT length = 0;
    std::size_t available = 0;
    if (!queryValue(block, utf8ToWide(entryPath), value, length, available)) return false;
    // The text runs to its NUL, or to the end of the block. It is copied out
    // unit by unit: the address need not be aligned for char16_t.
    std::u16string units;
    for (std::size_t at = 0; at + 1 < available; at += 2) {
        char16_t unit;
        std::memcpy(&unit, value + at, 2);
        if (unit == u'\0') break;
        units += unit;
    }
    text = wideToUtf8(units);
    return true;
}

bool readFileAttributes(const char* path, FileAttributes& attributes) {
    const std::wstring widePath = fileCallPath(utf8ToWide(path));
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (widePath.empty() || !GetFileAttributesExW(widePath.c_str(), GetFileExInfoStandard, &data)) return false;
    attributes.size = data.nFileSizeLow;
    attributes.lastWriteTime = (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
                               data.ftLastWriteTime.dwLowDateTime;
    return true;
}

}  // namespace velmora
