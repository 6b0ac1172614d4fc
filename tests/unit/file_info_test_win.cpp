// What only the Windows build can show: "name:stream" is the syntax of an
// alternate data stream, so the file named is a stream that does not exist.
#include "inventory/file_info.h"

#include "file_info_test_support.h"

namespace velmora {

using file_info_test::fixture;

TEST(FileInfoWindows, StreamSuffixNamesAStreamNotTheFile) {
    VELMORA_REQUIRE_FIXTURES();
    const std::string path = fixture("full.exe") + ":info";
    FileInfo info;
    getFileInfo(path.c_str(), info);
    EXPECT_EQ(info.fileName, "full.exe:info");
    EXPECT_EQ(info.extension, ".exe");
    EXPECT_EQ(info.fileVersion, "");
    EXPECT_EQ(info.productName, "");
}

TEST(FileInfoWindows, BackslashPathsReadTheSameFile) {
    VELMORA_REQUIRE_FIXTURES();
    std::string path = fixture("full.exe");
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    FileInfo info;
    getFileInfo(path.c_str(), info);
    EXPECT_EQ(info.fileName, "full.exe");
    EXPECT_EQ(info.productVersion, "7.0.65535.12");
    EXPECT_EQ(info.internalName, "fixture-full");
}

}  // namespace velmora
