// Windows refuses to replace a file that a reader holds open without delete
// sharing (a VPN client reading check.json with the default sharing does):
// after about a second of retries the file is written in place, into the
// reader's own file.
#include "common/file_replace.h"

#include "test_support.h"

#include <windows.h>
#include <winioctl.h>

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

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


namespace {

// A mount point (junction) at link to the folder target, as a standard user
// may make one: FSCTL_SET_REPARSE_POINT with IO_REPARSE_TAG_MOUNT_POINT data
// (layout from Microsoft's REPARSE_DATA_BUFFER, declared here: MinGW has it
// only in the driver kit headers).
bool makeMountPoint(const std::filesystem::path& link, const std::filesystem::path& target) {
    std::filesystem::create_directory(link);
    const std::wstring substitute = L"\\??\\" + target.wstring();
    const std::size_t nameBytes = substitute.size() * sizeof(wchar_t);
    std::vector<unsigned char> buffer(16 + nameBytes + 2 * sizeof(wchar_t), 0);
    auto put16 = [&](std::size_t at, std::size_t value) {
        buffer[at] = static_cast<unsigned char>(value & 0xFF);
        buffer[at + 1] = static_cast<unsigned char>(value >> 8);
    };
    const DWORD tag = 0xA0000003;  // IO_REPARSE_TAG_MOUNT_POINT
    std::memcpy(buffer.data(), &tag, sizeof tag);
    put16(4, buffer.size() - 8);        // ReparseDataLength
    put16(8, 0);                        // SubstituteNameOffset
    put16(10, nameBytes);               // SubstituteNameLength
    put16(12, nameBytes + sizeof(wchar_t));  // PrintNameOffset (empty print name)
    put16(14, 0);                       // PrintNameLength
    std::memcpy(buffer.data() + 16, substitute.c_str(), nameBytes);
    HANDLE handle = CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    DWORD returned = 0;
    const bool made = DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, buffer.data(), static_cast<DWORD>(buffer.size()),
                                      nullptr, 0, &returned, nullptr) != 0;
    CloseHandle(handle);
    return made;
}

}  // namespace

TEST(FileReplacement, AMountPointAtTheTargetIsReplacedByAFile) {
    ScratchMachine machine;
    const std::filesystem::path victim = machine.scratch / "victim";
    std::filesystem::create_directory(victim);
    writeFile(victim / "kept.txt", "kept");
    const std::filesystem::path path = machine.scratch / "check.json";
    if (!makeMountPoint(path, victim)) GTEST_SKIP() << "no mount points here (error " << GetLastError() << ")";
    ASSERT_EQ(pathKind(path.u16string()), PathKind::Link);

    std::optional<FileReplacement> file = beginReplacement(path.u16string(), LinkAtTarget::Replace);
    ASSERT_TRUE(file);
    EXPECT_EQ(writeToReplacement(*file, "new verdict"), 0);
    EXPECT_EQ(finishReplacement(*file, true), 0);
    EXPECT_FALSE(file->writtenInPlaceAfter);
    EXPECT_EQ(pathKind(path.u16string()), PathKind::PlainFile);
    EXPECT_EQ(readFile(path), "new verdict");
    EXPECT_EQ(readFile(victim / "kept.txt"), "kept");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(victim), std::filesystem::directory_iterator()), 1);
}

}  // namespace velmora
