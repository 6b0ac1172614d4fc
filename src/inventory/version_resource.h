// The platform layer under getFileInfo: reading a file's version block,
// looking values up in it, and the file's size and last-write time.
//
// Windows answers through the version and file functions of the system (their
// wide forms: path texts are UTF-8); elsewhere the program reads the version
// resource out of the PE file itself. The block is opaque to the caller: it
// is only handed back to the queries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace velmora {

// The fields of VS_FIXEDFILEINFO that the program uses.
struct FixedVersionInfo {
    std::uint32_t signature = 0;  // 0xFEEF04BD in a genuine block
    std::uint32_t fileVersionMS = 0;
    std::uint32_t fileVersionLS = 0;
    std::uint32_t productVersionMS = 0;
    std::uint32_t productVersionLS = 0;
};

// One (language, code page) pair of "\VarFileInfo\Translation".
struct VersionTranslation {
    std::uint16_t language = 0;
    std::uint16_t codePage = 0;
};

// Size (low 32 bits) and last-write time in 100-ns units since 1601-01-01 UTC.
struct FileAttributes {
    std::uint32_t size = 0;
    std::uint64_t lastWriteTime = 0;
};

// The version block of the file at path. False when the file has none or it
// cannot be read.
bool loadVersionBlock(const char* path, std::vector<std::uint8_t>& block);

// The root value ("\"). False when the lookup fails or the value is too short
// to hold the fixed information; the signature is left to the caller.
bool queryFixedVersionInfo(std::vector<std::uint8_t>& block, FixedVersionInfo& fixed);

// The first pair of "\VarFileInfo\Translation"; false when there is none.
bool queryFirstTranslation(std::vector<std::uint8_t>& block, VersionTranslation& first);

// The text of one "\StringFileInfo\..." entry, in UTF-8. False when the
// entry does not exist.
bool queryVersionString(std::vector<std::uint8_t>& block, const std::string& entryPath,
                        std::string& text);

// False (and attributes untouched) when the file cannot be examined.
bool readFileAttributes(const char* path, FileAttributes& attributes);

}  // namespace velmora
