// The held-folder layer's promises, on a folder of the test's own: nothing
// is followed, a FIFO never blocks, renames replace only when asked, removal
// never reaches what a link points to.
#include "common/held_folder.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

namespace velmora {

namespace fs = std::filesystem;

namespace {

class HeldFolderPosix : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(dir_);
        writeFile(outside_, "victim");
        folder_ = holdFolder(dir_);
        ASSERT_TRUE(folder_);
    }
    ScratchMachine machine_;
    fs::path dir_ = machine_.scratch / "held";
    fs::path outside_ = machine_.scratch / "victim.txt";
    HeldFolder folder_;
};

}  // namespace

TEST_F(HeldFolderPosix, NoOpenFollowsALinkAndAFifoNeverBlocks) {
    fs::create_symlink(outside_, dir_ / "link");
    fs::create_symlink(machine_.scratch / "absent", dir_ / "dangling");
    fs::create_hard_link(outside_, dir_ / "second-link");
    ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0666), 0);
    fs::create_directory(dir_ / "folder");
    const auto started = std::chrono::steady_clock::now();
    const struct {
        const char* name;
        FileOpen how;
    } refused[] = {
        {"link", FileOpen::ReadPlain},      {"link", FileOpen::Append},          {"link", FileOpen::WriteExisting},
        {"dangling", FileOpen::CreateNew},  {"dangling", FileOpen::Append},      {"second-link", FileOpen::ReadPlain},
        {"second-link", FileOpen::Append},  {"second-link", FileOpen::WriteExisting}, {"fifo", FileOpen::ReadPlain},
        {"fifo", FileOpen::Append},         {"fifo", FileOpen::WriteExisting},   {"folder", FileOpen::ReadPlain},
        {"../victim.txt", FileOpen::ReadPlain},
    };
    for (const auto& row : refused) {
        const FileOpenResult opened = openFileIn(*folder_, row.name, row.how);
        EXPECT_FALSE(opened.file) << row.name << " " << static_cast<int>(row.how);
        EXPECT_NE(opened.error, 0u) << row.name;
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    EXPECT_EQ(openFileIn(*folder_, "dangling", FileOpen::CreateNew).error, kNameTaken);
    EXPECT_EQ(openFileIn(*folder_, "fifo", FileOpen::ReadPlain).error, kNotPlainFile);
    EXPECT_EQ(readFile(outside_), "victim");
    EXPECT_FALSE(fs::exists(machine_.scratch / "absent"));

    const FolderProbe link = probeFolder(*folder_, "link");
    EXPECT_EQ(link.facts.kind, EntryKind::Link);
    EXPECT_FALSE(link.opened);
    EXPECT_EQ(probeEntry(*folder_, "second-link").linkCount, 2u);
}

TEST_F(HeldFolderPosix, NewFilesGetTheirModeWhateverTheUmask) {
    const mode_t previous = umask(0077);
    const FileOpenResult created = openFileIn(*folder_, "new", FileOpen::CreateNew);
    umask(previous);
    ASSERT_TRUE(created.file);
    EXPECT_EQ(fs::status(dir_ / "new").permissions(), fs::perms(0644));
    EXPECT_EQ(writeAll(*created.file, "abcdef", 6), 0u);
    EXPECT_EQ(cutAt(*created.file, 3), 0u);
    EXPECT_EQ(fileSize(*created.file), 3u);
    EXPECT_EQ(openFileIn(*folder_, "new", FileOpen::CreateNew).error, kNameTaken);

    FileOpenResult read = openFileIn(*folder_, "new", FileOpen::ReadPlain);
    ASSERT_TRUE(read.file);
    std::string bytes;
    EXPECT_EQ(readAll(*read.file, bytes, 3), 0u);
    EXPECT_EQ(bytes, "abc");
    EXPECT_NE(readAll(*openFileIn(*folder_, "new", FileOpen::ReadPlain).file, bytes, 2), 0u) << "cut off";
}

TEST_F(HeldFolderPosix, RenamesReplaceOnlyWhenAskedAndMoveLinksThemselves) {
    writeFile(dir_ / "a", "a");
    writeFile(dir_ / "b", "b");
    fs::create_symlink(outside_, dir_ / "link");
    EXPECT_EQ(renameIn(*folder_, "a", "b", false), kNameTaken);
    EXPECT_EQ(readFile(dir_ / "b"), "b");
    EXPECT_EQ(renameIn(*folder_, "a", "b", true), 0u);
    EXPECT_EQ(readFile(dir_ / "b"), "a");
    EXPECT_EQ(renameIn(*folder_, "b", "link", true), 0u) << "a link's own name is replaced";
    EXPECT_EQ(readFile(outside_), "victim");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir_ / "link")));
    EXPECT_EQ(renameIn(*folder_, "link", "../moved", false), kBadName);
}

TEST_F(HeldFolderPosix, RemovalNeverReachesWhatALinkPointsTo) {
    fs::create_symlink(outside_, dir_ / "link");
    fs::create_hard_link(outside_, dir_ / "second-link");
    fs::create_directory(dir_ / "folder");
    writeFile(dir_ / "plain", "x");
    EXPECT_EQ(removeIn(*folder_, "link"), kNotPlainFile);
    EXPECT_EQ(removeIn(*folder_, "second-link"), kNotPlainFile);
    EXPECT_EQ(removeIn(*folder_, "folder", true), kNotPlainFile);
    EXPECT_EQ(removeIn(*folder_, "link", true), 0u);
    EXPECT_EQ(removeIn(*folder_, "plain"), 0u);
    EXPECT_EQ(readFile(outside_), "victim");
    EXPECT_TRUE(fs::exists(dir_ / "second-link"));
    EXPECT_FALSE(fs::exists(fs::symlink_status(dir_ / "link")));
    std::vector<std::string> names = entriesOf(*folder_);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"folder", "second-link"}));
}

// Root's link is an administrator's: followed once. Any other account's is
// not (run as root, the test makes one of another uid).
TEST_F(HeldFolderPosix, OnlyRootsFolderLinkIsFollowed) {
    fs::create_directory(machine_.scratch / "elsewhere");
    fs::create_symlink(machine_.scratch / "elsewhere", dir_ / "relocated");
    if (geteuid() == 0) {
        const FolderProbe followed = openTrustedLink(*folder_, "relocated");
        ASSERT_TRUE(followed.opened);
        EXPECT_EQ(followed.facts.kind, EntryKind::Folder);
        EXPECT_EQ(followed.opened->path, dir_.string() + "/relocated");
        ASSERT_EQ(lchown((dir_ / "relocated").c_str(), 65534, 65534), 0);
    }
    EXPECT_FALSE(openTrustedLink(*folder_, "relocated").opened);
}

}  // namespace velmora
