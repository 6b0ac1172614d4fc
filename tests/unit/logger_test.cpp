// The log file as logInit sets it up: every record is on disk before the next
// one begins, so a run that ends abruptly, or another run appending to the
// same file, never loses or tears a record.
#include "log/logger.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora {

TEST(Logger, EachInfoRecordIsOnDiskWhenTheNextBegins) {
    ScratchMachine machine;
    const std::string path = machine.path("avInfo.log");
    const char* const name = "velmora-logger-test";
    HeldFolder folder = holdFolder(machine.scratch);
    ASSERT_TRUE(folder);
    ASSERT_EQ(logInit(name, *folder, path), std::nullopt);
    EXPECT_NE(readFile(path).find("InfoDemo"), std::string::npos) << "the start banner is not on disk";
    for (const char* text : {"first record", "second record", "third record"}) {
        avLogger->info("{}", text);
        EXPECT_NE(readFile(path).find(text), std::string::npos) << text << " is not on disk";
    }
    // Closes the file before the machine removes its folder.
    spdlog::drop(name);
    avLogger.reset();
}

}  // namespace velmora
