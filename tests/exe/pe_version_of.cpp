// Prints the version resource of a PE file as the program's own reader sees
// it, one "name=value" line each: the fixed file and product versions, the
// first translation, and the strings of that translation. The release checks
// compare these with the version of the build.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "inventory/pe_version_block.h"
#include "inventory/pe_version_query.h"

using namespace velmora;

namespace {

std::string dotted(std::uint32_t ms, std::uint32_t ls) {
    return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." + std::to_string(ls >> 16) + "." +
           std::to_string(ls & 0xFFFF);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: pe_version_of FILE.exe\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "%s: cannot be opened\n", argv[1]);
        return 1;
    }
    const std::vector<std::uint8_t> image{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<std::uint8_t> block;
    FixedVersionInfo fixed;
    VersionTranslation translation;
    if (!readVersionBlockFromPe(image.data(), image.size(), block) ||
        !readFixedVersionInfo(block.data(), block.size(), fixed) ||
        !readFirstTranslation(block.data(), block.size(), translation)) {
        std::fprintf(stderr, "%s: no readable version resource\n", argv[1]);
        return 1;
    }
    std::printf("Signature=%08x\n", static_cast<unsigned>(fixed.signature));
    std::printf("FixedFileVersion=%s\n", dotted(fixed.fileVersionMS, fixed.fileVersionLS).c_str());
    std::printf("FixedProductVersion=%s\n", dotted(fixed.productVersionMS, fixed.productVersionLS).c_str());
    char table[9];
    std::snprintf(table, sizeof table, "%04x%04x", static_cast<unsigned>(translation.language),
                  static_cast<unsigned>(translation.codePage));
    std::printf("Translation=%s\n", table);
    for (const char* key : {"CompanyName", "FileDescription", "FileVersion", "InternalName", "LegalCopyright",
                            "OriginalFilename", "ProductName", "ProductVersion"}) {
        std::string text;
        if (readVersionString(block.data(), block.size(), std::string("\\StringFileInfo\\") + table + "\\" + key, text))
            std::printf("%s=%s\n", key, text.c_str());
    }
    return 0;
}
