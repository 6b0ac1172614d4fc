// What the file system and an executable's version resource say about a file.
//
// Only productVersion reaches the inventory. The other fields stay because
// they are how the reader is checked: each one comes from a lookup of its own
// (the final component, the fixed version block, the translation pair and
// every string entry it names, the file attributes), and the unit tests hold
// the Linux version reader to what Windows's own returns through them, field
// by field, on the same test executables.
#pragma once

#include <cstdint>
#include <string>

namespace velmora {

struct FileInfo {
    std::string fileName;          // final component of the path, UTF-8
    std::string filePath;          // the path as passed
    std::string originalFilename;  // version-resource strings, UTF-8
    std::string productName;
    std::string fileDescription;
    std::string extension;         // UTF-8
    std::string fileVersion;       // "%d.%d.%d.%d" from the fixed version information
    std::string productVersion;
    std::string companyName;
    std::string comments;
    std::string internalName;
    std::uint32_t fileSize = 0;        // low 32 bits
    std::uint32_t fileNameLength = 0;  // bytes of fileName
    std::int64_t lastWriteTime = 0;    // seconds since 1970-01-01 00:00 UTC
};

// The extension of the path's final component (cut at its first ':'), UTF-8;
// "" when there is none.
std::string getFileExtension(const std::string& path);

// Fills info for the file at path; reads the version resource only for ".exe"
// files (any letter case). Never fails towards the caller.
void getFileInfo(const char* path, FileInfo& info);

}  // namespace velmora
