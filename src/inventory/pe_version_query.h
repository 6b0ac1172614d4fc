// Looking values up in a VS_VERSIONINFO block (the 32-bit, UTF-16 form found
// in PE files) the way VerQueryValue does: "\" is the root's own value (the
// fixed information), "\VarFileInfo\Translation" the translation pairs,
// "\StringFileInfo\<language><code page>\<key>" one string. Keys match without
// regard to ASCII letter case. The block is untrusted: node lengths are cut to
// their parent, every read is checked, every walk advances.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "inventory/version_resource.h"

namespace velmora {

// Where a value lies in the block and how many of its declared bytes exist.
struct VersionValue {
    std::size_t offset = 0;
    std::size_t size = 0;
    bool isText = false;  // wType 1: the declared length counts UTF-16 units
};

bool findVersionValue(const std::uint8_t* block, std::size_t size, const std::string& subBlock,
                      VersionValue& value);

// The root value, when it is long enough to hold VS_FIXEDFILEINFO.
bool readFixedVersionInfo(const std::uint8_t* block, std::size_t size, FixedVersionInfo& fixed);

// The first (language, code page) pair of "\VarFileInfo\Translation".
bool readFirstTranslation(const std::uint8_t* block, std::size_t size, VersionTranslation& first);

// A string value up to its first zero unit, as UTF-8 (empty when it is not
// valid UTF-16).
bool readVersionString(const std::uint8_t* block, std::size_t size, const std::string& entryPath,
                       std::string& text);

}  // namespace velmora
