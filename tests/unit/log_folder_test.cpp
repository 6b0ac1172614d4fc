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
        {"ancestor that is SYSTEM's link: an administrator's relocation", false, K::Link, "S-1-5-18", kUser,
         S::FollowLink},
        {"ancestor that is Administrators' link", false, K::Link, "S-1-5-32-544", kUser, S::FollowLink},
        {"Linux: ancestor that is root's link", false, K::Link, "0", kLinuxUser, S::FollowLink},
        {"ancestor that is a user's link", false, K::Link, "S-1-5-21-7-8-9-1001", kSystem, S::MoveAside},
        {"Linux: ancestor that is the running uid's link", false, K::Link, "1000", kLinuxUser, S::MoveAside},
        {"ancestor link of unreadable owner", false, K::Link, kUnknown, kSystem, S::MoveAside},
        {"ancestor that is a file", false, K::PlainFile, "0", kLinuxRoot, S::MoveAside},
    };
    for (const Row& row : rows) {
        const EntryFacts facts{row.kind, 1, row.owner};
        const FolderStep step =
            row.userFolder ? decideUserFolder(facts, row.running) : decideAncestorFolder(facts, row.running);
        EXPECT_EQ(step, row.expected) << row.name;
    }
}

}  // namespace velmora

namespace velmora {

// Only "<name>.<32 lowercase hex digits>" is a name passed over to, and only
// a real folder of the running account under it is used again.
TEST(LogFolderPassOver, NamesAndOwners) {
    const std::string hex32 = "0123456789abcdef0123456789abcdef";
    const struct {
        const char* entry;
        bool passedOver;
    } names[] = {
        {"-.0123456789abcdef0123456789abcdef", true},
        {"-.0123456789abcdef0123456789abcde", false},    // 31 digits
        {"-.0123456789abcdef0123456789abcdef0", false},  // 33 digits
        {"-.0123456789ABCDEF0123456789abcdef", false},   // never written in capitals
        {"-x0123456789abcdef0123456789abcdef", false},
        {"--0123456789abcdef0123456789abcdef", false},
        {"-.untrusted-1", false},
        {"-", false},
        {"admin.0123456789abcdef0123456789abcdef", false},  // another name's
    };
    for (const auto& row : names) EXPECT_EQ(isPassedOverName(row.entry, "-"), row.passedOver) << row.entry;
    EXPECT_TRUE(isPassedOverName("logs." + hex32, "logs"));

    using K = EntryKind;
    struct Row {
        const char* name;
        K kind;
        std::optional<std::string> owner;
        AccountIds running;
        bool ours;
    };
    const Row folders[] = {
        {"own folder", K::Folder, "1000", kLinuxUser, true},
        {"root's folder: root could use it, a user must not", K::Folder, "0", kLinuxUser, false},
        {"another uid's folder", K::Folder, "1001", kLinuxUser, false},
        {"own link", K::Link, "1000", kLinuxUser, false},
        {"owner unreadable", K::Folder, kUnknown, kLinuxUser, false},
        {"Windows: Administrators' folder for a user", K::Folder, "S-1-5-32-544", kUser, false},
        {"Windows: SYSTEM's own", K::Folder, "S-1-5-18", kSystem, true},
    };
    for (const Row& row : folders) {
        EXPECT_EQ(passedOverFolderIsOurs(EntryFacts{row.kind, 1, row.owner}, row.running), row.ours) << row.name;
    }
}

}  // namespace velmora
