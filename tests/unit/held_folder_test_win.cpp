// The held-folder layer on Windows, on the real system calls, as far as
// Wine 8 shows them: opens relative to a held handle, hard links, renames and
// deletes through handles, folders created with rules. (Links, oplocks and
// ACLs Wine does not have: held_folder_nt_test.cpp.)
#include "common/held_folder.h"

#include "log/log_folder.h"
#include "test_support.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace velmora {

namespace {

class HeldFolderWin : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = std::filesystem::temp_directory_path() / ("velmora-held-" + std::to_string(GetCurrentProcessId()));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
        folder_ = holdFolder(path_);
        ASSERT_TRUE(folder_);
    }
    void TearDown() override {
        folder_.reset();
        std::filesystem::remove_all(path_);
    }

    void put(const std::string& name, const std::string& text) {
        FileOpenResult created = openFileIn(*folder_, name, FileOpen::CreateNew);
        ASSERT_TRUE(created.file) << created.error;
        ASSERT_EQ(writeAll(*created.file, text.data(), text.size()), 0u);
    }
    std::string textOf(const std::string& name) {
        FileOpenResult opened = openFileIn(*folder_, name, FileOpen::ReadPlain);
        std::string bytes;
        if (!opened.file || readAll(*opened.file, bytes, 1 << 20) != 0) return "(unreadable)";
        return bytes;
    }

    std::filesystem::path path_;
    HeldFolder folder_;
};

}  // namespace

TEST_F(HeldFolderWin, FilesOpenedRelativeToTheHeldFolder) {
    put("a.tmp", "hello");
    EXPECT_EQ(openFileIn(*folder_, "a.tmp", FileOpen::CreateNew).error, kNameTaken);
    EXPECT_EQ(textOf("a.tmp"), "hello");

    FileOpenResult opened = openFileIn(*folder_, "a.tmp", FileOpen::ReadPlain);
    ASSERT_TRUE(opened.file);
    EXPECT_EQ(opened.facts.kind, EntryKind::PlainFile);
    EXPECT_EQ(opened.facts.linkCount, 1u);
    EXPECT_TRUE(opened.facts.owner.has_value());
    std::string bytes;
    EXPECT_NE(readAll(*opened.file, bytes, 3), 0u);  // more than allowed: no whole file

    // In place: from the first byte, then cut; appending: at the end.
    FileOpenResult inPlace = openFileIn(*folder_, "a.tmp", FileOpen::WriteExisting);
    ASSERT_TRUE(inPlace.file);
    EXPECT_EQ(writeAll(*inPlace.file, "HE", 2), 0u);
    EXPECT_EQ(cutAt(*inPlace.file, 2), 0u);
    EXPECT_EQ(flushFile(*inPlace.file), 0u);
    inPlace.file.reset();
    FileOpenResult log = openFileIn(*folder_, "a.tmp", FileOpen::Append);
    ASSERT_TRUE(log.file);
    EXPECT_EQ(writeAll(*log.file, "LLO", 3), 0u);
    EXPECT_EQ(flushFile(*log.file), 0u);
    EXPECT_EQ(fileSize(*log.file), 5u);
    log.file.reset();
    EXPECT_EQ(textOf("a.tmp"), "HELLO");

    EXPECT_EQ(openFileIn(*folder_, "missing", FileOpen::ReadPlain).error, 2u);
    EXPECT_EQ(probeEntry(*folder_, "missing").kind, EntryKind::Missing);
    for (const char* name : {"..", "sub\\a.tmp", "a.tmp:stream", ""}) {
        EXPECT_EQ(openFileIn(*folder_, name, FileOpen::ReadPlain).error, kBadName) << name;
    }
}

// Wine shows a second hard link's count, as Windows does.
TEST_F(HeldFolderWin, ASecondHardLinkIsNoPlainFile) {
    put("check.json", "victim");
    ASSERT_TRUE(CreateHardLinkW((path_ / "link").c_str(), (path_ / "check.json").c_str(), nullptr));
    for (const FileOpen how : {FileOpen::ReadPlain, FileOpen::Append, FileOpen::WriteExisting}) {
        FileOpenResult opened = openFileIn(*folder_, "link", how);
        EXPECT_FALSE(opened.file);
        EXPECT_EQ(opened.error, kNotPlainFile);
        EXPECT_EQ(opened.facts.linkCount, 2u);
    }
    EXPECT_EQ(probeEntry(*folder_, "link").linkCount, 2u);
    EXPECT_EQ(removeIn(*folder_, "link"), kNotPlainFile);
    EXPECT_TRUE(std::filesystem::exists(path_ / "link"));
}

TEST_F(HeldFolderWin, FoldersCreatedProbedAndListed) {
    const AccountIds accounts = runningAccountIds();
    EXPECT_EQ(accounts.system, "S-1-5-18");
    EXPECT_EQ(accounts.administrators, "S-1-5-32-544");
    EXPECT_EQ(accounts.running.rfind("S-1-5-", 0), 0u) << accounts.running;
    // Every rule text converts (Wine keeps no ACLs to read back).
    EXPECT_EQ(createFolder(*folder_, "user", FolderRules::Private, accounts), 0u);
    EXPECT_EQ(createFolder(*folder_, "logs", FolderRules::Logs, accounts), 0u);
    EXPECT_EQ(createFolder(*folder_, "Velmora", FolderRules::Shared, accounts), 0u);
    EXPECT_EQ(createFolder(*folder_, "user", FolderRules::Private, accounts), kNameTaken);
    put("file", "");

    FolderProbe user = probeFolder(*folder_, "user");
    ASSERT_TRUE(user.opened);
    EXPECT_EQ(user.facts.kind, EntryKind::Folder);
    EXPECT_EQ(user.opened->path, path_.string() + "\\user");
    EXPECT_EQ(protectUserFolder(*user.opened, accounts), 0u);
    // Held without delete sharing: nobody renames it away meanwhile.
    EXPECT_FALSE(MoveFileExW((path_ / "user").c_str(), (path_ / "elsewhere").c_str(), 0));

    FolderProbe file = probeFolder(*folder_, "file");
    EXPECT_FALSE(file.opened);
    EXPECT_EQ(file.facts.kind, EntryKind::PlainFile);
    EXPECT_EQ(probeFolder(*folder_, "missing").facts.kind, EntryKind::Missing);

    std::vector<std::string> names = entriesOf(*folder_);
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"Velmora", "file", "logs", "user"}));
}

TEST_F(HeldFolderWin, RenamesAndRemovesThroughHandles) {
    put("a", "first");
    put("b", "second");
    EXPECT_EQ(renameIn(*folder_, "a", "b", false), kNameTaken);
    EXPECT_EQ(renameIn(*folder_, "a", "c", false), 0u);
    EXPECT_EQ(renameIn(*folder_, "c", "b", true), 0u);
    EXPECT_EQ(textOf("b"), "first");
    EXPECT_EQ(probeEntry(*folder_, "c").kind, EntryKind::Missing);

    // A reader holding the target: Wine, like Windows without POSIX
    // semantics, refuses the classic rename with error 5: busy, to be retried.
    put("d", "new");
    HANDLE reader = CreateFileW((path_ / "b").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    const unsigned long refused = renameIn(*folder_, "d", "b", true);
    EXPECT_EQ(refused, 5u);
    EXPECT_TRUE(replacementIsBusy(refused));
    CloseHandle(reader);
    EXPECT_EQ(renameIn(*folder_, "d", "b", true), 0u);

    EXPECT_EQ(createFolder(*folder_, "sub", FolderRules::Private, runningAccountIds()), 0u);
    EXPECT_EQ(removeIn(*folder_, "sub"), kNotPlainFile);
    EXPECT_EQ(removeIn(*folder_, "b"), 0u);
    EXPECT_EQ(probeEntry(*folder_, "b").kind, EntryKind::Missing);
}

// Whom a run trusts, with the SIDs Windows gives: a link at Velmora,
// VelmoraVPN or logs only when SYSTEM or Administrators own it (an
// administrator's elevated token makes Administrators the owner); the
// per-user folder also when the running account owns it.
TEST(HeldFolderWinOwners, TrustedOwnersAreSystemAdministratorsAndTheAccount) {
    const AccountIds accounts = runningAccountIds();
    const std::string other = "S-1-5-21-1-2-3-1001";
    ASSERT_NE(accounts.running, other);
    const struct {
        EntryKind kind;
        std::optional<std::string> owner;
        FolderStep ancestor, user;
    } rows[] = {
        {EntryKind::Link, "S-1-5-18", FolderStep::FollowLink, FolderStep::MoveAside},
        {EntryKind::Link, "S-1-5-32-544", FolderStep::FollowLink, FolderStep::MoveAside},
        {EntryKind::Link, accounts.running, FolderStep::MoveAside, FolderStep::MoveAside},
        {EntryKind::Link, other, FolderStep::MoveAside, FolderStep::MoveAside},
        {EntryKind::Link, std::nullopt, FolderStep::MoveAside, FolderStep::MoveAside},
        {EntryKind::Folder, accounts.running, FolderStep::Use, FolderStep::UseAndProtect},
        {EntryKind::Folder, "S-1-5-18", FolderStep::Use, FolderStep::Use},
        {EntryKind::Folder, other, FolderStep::Use, FolderStep::MoveAside},
    };
    for (const auto& row : rows) {
        const EntryFacts facts{row.kind, 1, row.owner};
        EXPECT_EQ(decideAncestorFolder(facts, accounts), row.ancestor) << row.owner.value_or("(unknown)");
        EXPECT_EQ(decideUserFolder(facts, accounts), row.user) << row.owner.value_or("(unknown)");
    }
}

}  // namespace velmora
