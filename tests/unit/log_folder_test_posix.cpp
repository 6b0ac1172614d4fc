// The log folder's preparation on a machine of the test's own: a name that
// can be neither used nor moved aside is passed over, and found again; a
// link root owns at logs is used where it leads.
#include "log/log_folder.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace velmora {

namespace fs = std::filesystem;

TEST(LogFolderPreparation, ABlockedNameIsPassedOverAndFoundAgain) {
    ScratchMachine machine;
    const fs::path logs = machine.programData / "Velmora" / "VelmoraVPN" / "logs";
    fs::create_directories(logs);
    writeFile(logs / "alice", "not a folder");
    for (unsigned n = 1; n <= kMaxMovedAsideNumber; ++n) writeFile(logs / movedAsideName("alice", n), "");
    const std::size_t namesBefore = std::distance(fs::directory_iterator(logs), fs::directory_iterator());

    std::string firstUsed;
    for (int run = 0; run < 2; ++run) {
        const PreparedLogFolder prepared = prepareLogFolder("alice");
        ASSERT_EQ(prepared.failure, "") << run;
        ASSERT_EQ(prepared.movedAside.size(), 1u) << run;
        const MovedAside& entry = prepared.movedAside[0];
        EXPECT_TRUE(entry.passedOver);
        EXPECT_EQ(entry.from, (logs / "alice").string());
        EXPECT_TRUE(isPassedOverName(fs::path(entry.to).filename().string(), "alice")) << entry.to;
        EXPECT_EQ(prepared.userFolder->path, entry.to);
        EXPECT_EQ(prepared.logFilePath, entry.to + "/avInfo.log");
        if (run == 0) firstUsed = entry.to;
        EXPECT_EQ(entry.to, firstUsed) << "the next run uses the same folder";
        EXPECT_EQ(fs::status(entry.to).permissions(), fs::perms(0700));
    }
    EXPECT_EQ(readFile(logs / "alice"), "not a folder");
    EXPECT_EQ(std::distance(fs::directory_iterator(logs), fs::directory_iterator()), namesBefore + 1);
}

TEST(LogFolderPreparation, RootsLinkAtLogsIsUsedWhereItLeads) {
    if (geteuid() != 0) GTEST_SKIP() << "only root's link is trusted";
    ScratchMachine machine;
    const fs::path vpn = machine.programData / "Velmora" / "VelmoraVPN";
    fs::create_directories(vpn);
    fs::create_directory(machine.scratch / "relocated");
    fs::create_directory_symlink(machine.scratch / "relocated", vpn / "logs");
    const PreparedLogFolder prepared = prepareLogFolder("alice");
    ASSERT_EQ(prepared.failure, "");
    EXPECT_TRUE(prepared.movedAside.empty());
    EXPECT_EQ(prepared.logs->path, (vpn / "logs").string());
    EXPECT_TRUE(fs::is_symlink(vpn / "logs"));
    EXPECT_TRUE(fs::is_directory(machine.scratch / "relocated" / "alice"));
}

}  // namespace velmora
