// Windows refuses to replace a file that a reader holds open without delete
// sharing (a VPN client reading check.json with the default sharing does):
// after about a second of retries the file is written in place, into the
// reader's own file.
#include "common/file_replace.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace velmora {

TEST(FileReplacement, AFileHeldWithoutDeleteSharingIsWrittenInPlace) {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("velmora-replace-" + std::to_string(GetCurrentProcessId()));
    std::filesystem::create_directories(folder);
    const std::filesystem::path path = folder / "check.json";
    std::ofstream(path, std::ios::binary) << "earlier";
    HANDLE reader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);

    std::optional<FileReplacement> file = beginReplacement(path.u16string(), LinkAtTarget::Replace);
    ASSERT_TRUE(file);
    EXPECT_FALSE(file->temporary.empty());
    EXPECT_EQ(writeToReplacement(*file, "new verdict"), 0);
    EXPECT_EQ(finishReplacement(*file, true), 0);
    EXPECT_TRUE(file->writtenInPlaceAfter);
    // The reader's own file got the new text: it was written in place, not
    // replaced behind the reader's back.
    char seen[32] = {};
    DWORD got = 0;
    EXPECT_TRUE(ReadFile(reader, seen, sizeof seen - 1, &got, nullptr));
    EXPECT_STREQ(seen, "new verdict");
    CloseHandle(reader);

    std::ifstream in(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), "new verdict");
    in.close();
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), std::filesystem::directory_iterator()), 1);
    std::filesystem::remove_all(folder);
}

}  // namespace velmora
