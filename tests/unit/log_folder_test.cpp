// Whether a folder on the way to the per-user log folder may be used, with
// the accounts as each target names them (SID strings; decimal user ids,
// where root stands for SYSTEM and Administrators).
#include "log/log_folder.h"

#include <gtest/gtest.h>

namespace velmora {

namespace {
const AccountIds kUser{"S-1-5-21-7-8-9-1001", "S-1-5-18", "S-1-5-32-544"};
const AccountIds kSystem{"S-1-5-18", "S-1-5-18", "S-1-5-32-544"};
const AccountIds kLinuxUser{"1000", "0", "0"};
const AccountIds kLinuxRoot{"0", "0", "0"};
const std::optional<std::string> kUnknown;
}  // namespace

TEST(LogFolderTrust, OwnerKindAndRunningAccount) {
    using K = EntryKind;
    using S = FolderStep;
    struct Row {
        const char* name;
        bool userFolder;
        K kind;
        std::optional<std::string> owner;
        AccountIds running;
        S expected;
    };
    const Row rows[] = {
        {"missing user folder", true, K::Missing, kUnknown, kUser, S::Create},
        {"own folder: its DACL is set again", true, K::Folder, "S-1-5-21-7-8-9-1001", kUser, S::UseAndProtect},
        {"folder of SYSTEM", true, K::Folder, "S-1-5-18", kUser, S::Use},
        {"folder of Administrators", true, K::Folder, "S-1-5-32-544", kUser, S::Use},
        {"folder of another user", true, K::Folder, "S-1-5-21-7-8-9-1002", kUser, S::MoveAside},
        {"owner unreadable", true, K::Folder, kUnknown, kUser, S::MoveAside},
        {"SYSTEM in its own folder", true, K::Folder, "S-1-5-18", kSystem, S::UseAndProtect},
        {"SYSTEM in a user's folder", true, K::Folder, "S-1-5-21-7-8-9-1001", kSystem, S::MoveAside},
        {"SYSTEM in Administrators' folder", true, K::Folder, "S-1-5-32-544", kSystem, S::Use},
        {"link owned by the user", true, K::Link, "S-1-5-21-7-8-9-1001", kUser, S::MoveAside},
        {"link owned by SYSTEM", true, K::Link, "S-1-5-18", kSystem, S::MoveAside},
        {"file where the folder belongs", true, K::PlainFile, "S-1-5-21-7-8-9-1001", kUser, S::MoveAside},
        {"device or other", true, K::Other, "S-1-5-18", kSystem, S::MoveAside},
        {"Linux: own folder", true, K::Folder, "1000", kLinuxUser, S::UseAndProtect},
        {"Linux: root's folder", true, K::Folder, "0", kLinuxUser, S::Use},
        {"Linux: other uid", true, K::Folder, "54321", kLinuxUser, S::MoveAside},
        {"Linux: root in a user's folder", true, K::Folder, "1000", kLinuxRoot, S::MoveAside},
        {"Linux: root's symlink", true, K::Link, "0", kLinuxRoot, S::MoveAside},
        {"ancestor missing", false, K::Missing, kUnknown, kUser, S::Create},
        {"ancestor of another user", false, K::Folder, "S-1-5-21-7-8-9-1002", kUser, S::Use},
        {"ancestor that is a link", false, K::Link, "S-1-5-18", kSystem, S::MoveAside},
        {"ancestor that is a file", false, K::PlainFile, "0", kLinuxRoot, S::MoveAside},
    };
    for (const Row& row : rows) {
        const FolderFacts facts{row.kind, row.owner};
        const FolderStep step =
            row.userFolder ? decideUserFolder(facts, row.running) : decideAncestorFolder(row.kind);
        EXPECT_EQ(step, row.expected) << row.name;
    }
}

}  // namespace velmora
