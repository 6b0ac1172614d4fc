// libFuzzer target: bytes as a PE file through the version-resource reader of
// the Linux build, then every query the program makes on the block found; the
// bytes also go to the queries directly, as a version block of their own.
#include "inventory/pe_version_block.h"
#include "inventory/pe_version_query.h"

#include <cstdint>
#include <string>
#include <vector>

using namespace velmora;

namespace {

void queryBlock(const std::uint8_t* block, std::size_t size) {
    FixedVersionInfo fixed;
    readFixedVersionInfo(block, size, fixed);
    VersionTranslation first;
    std::string prefix = "\\StringFileInfo\\040904b0\\";
    if (readFirstTranslation(block, size, first)) {
        static const char kHex[] = "0123456789abcdef";
        prefix = "\\StringFileInfo\\";
        for (int shift : {12, 8, 4, 0}) prefix += kHex[(first.language >> shift) & 0xF];
        for (int shift : {12, 8, 4, 0}) prefix += kHex[(first.codePage >> shift) & 0xF];
        prefix += "\\";
    }
    std::string text;
    for (const char* key :
         {"ProductName", "CompanyName", "FileDescription", "OriginalFilename", "Comments", "InternalName"}) {
        readVersionString(block, size, prefix + key, text);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> block;
    if (readVersionBlockFromPe(data, size, block)) queryBlock(block.data(), block.size());
    queryBlock(data, size);
    return 0;
}
