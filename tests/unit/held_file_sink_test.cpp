// The log file's sink: rotation at the size limit with one older file, and
// every record written through the held folder, wherever its name went.
#include "log/held_file_sink.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace velmora {

namespace fs = std::filesystem;

namespace {

// Records end as the log's always have: CR LF on Windows (docs/log.md).
#ifdef _WIN32
const std::string eol = "\r\n";
#else
const std::string eol = "\n";
#endif

std::shared_ptr<spdlog::logger> loggerOn(const OpenFolder& folder, std::size_t maxSize) {
    auto sink = std::make_shared<HeldFileSink>(folder, "avInfo.log", "avInfo.1.log", "shown", maxSize);
    sink->set_pattern("%v");
    return std::make_shared<spdlog::logger>("held-sink-test", sink);
}

}  // namespace

TEST(HeldFileSink, RotatesAtTheLimitKeepingOneOlderFile) {
    ScratchMachine machine;
    HeldFolder folder = holdFolder(machine.scratch);
    ASSERT_TRUE(folder);
    writeFile(machine.scratch / "avInfo.log", "12345");  // counted from the start; records end with "\n"
    auto logger = loggerOn(*folder, 12);
    logger->info("abcd");  // 5 + 5 = 10
    EXPECT_FALSE(fs::exists(machine.scratch / "avInfo.1.log"));
    logger->info("efgh");  // past 12: a new file
    EXPECT_EQ(readFile(machine.scratch / "avInfo.1.log"), "12345abcd" + eol);
    EXPECT_EQ(readFile(machine.scratch / "avInfo.log"), "efgh" + eol);
    logger->info("ijklmnopqrstuvwxyz");  // longer than the limit: alone in a file
    logger->info("z");
    EXPECT_EQ(readFile(machine.scratch / "avInfo.1.log"), "ijklmnopqrstuvwxyz" + eol);
    EXPECT_EQ(readFile(machine.scratch / "avInfo.log"), "z" + eol);
}

#ifndef _WIN32  // Windows refuses to rename a held folder at all (no delete sharing)
TEST(HeldFileSink, WritesIntoTheHeldFolderAfterItsNameMoved) {
    ScratchMachine machine;
    fs::create_directory(machine.scratch / "user");
    HeldFolder folder = holdFolder(machine.scratch / "user");
    ASSERT_TRUE(folder);
    auto logger = loggerOn(*folder, 10);
    logger->info("one");
    // Another account's trick: the name now leads somewhere else.
    fs::rename(machine.scratch / "user", machine.scratch / "moved");
    fs::create_directory(machine.scratch / "user");
    logger->info("two");
    logger->info("three");  // rotates, in the held folder
    EXPECT_EQ(readFile(machine.scratch / "moved" / "avInfo.1.log"), "one\ntwo\n");
    EXPECT_EQ(readFile(machine.scratch / "moved" / "avInfo.log"), "three\n");
    EXPECT_TRUE(fs::is_empty(machine.scratch / "user"));
}
#endif

#ifndef _WIN32  // a link of the test's own needs a privilege on Windows
TEST(HeldFileSink, ALogFileThatIsALinkIsNotOpened) {
    ScratchMachine machine;
    HeldFolder folder = holdFolder(machine.scratch);
    ASSERT_TRUE(folder);
    writeFile(machine.scratch / "victim", "v");
    fs::create_symlink(machine.scratch / "victim", machine.scratch / "avInfo.log");
    EXPECT_THROW(loggerOn(*folder, 100), spdlog::spdlog_ex);
    EXPECT_EQ(readFile(machine.scratch / "victim"), "v");
}
#endif

}  // namespace velmora
