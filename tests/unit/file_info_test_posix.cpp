// What only the Linux build can show: names Windows cannot have, UTF-8 path
// texts, and files that are not regular files.
#include "inventory/file_info.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "file_info_test_support.h"

namespace velmora {

using file_info_test::fixture;
using file_info_test::copyToScratch;

// Here "tool.exe:info" is an ordinary file name; its extension is still
// ".exe", so its resource is read.
TEST(FileInfoPosix, ColonInTheNameIsCutOnlyForTheExtension) {
    VELMORA_REQUIRE_FIXTURES();
    ScratchMachine machine;
    const std::string path = copyToScratch(machine, fixture("full.exe"), "tool.exe:info");
    FileInfo info;
    getFileInfo(path.c_str(), info);
    EXPECT_EQ(info.fileName, "tool.exe:info");
    EXPECT_EQ(info.extension, ".exe");
    EXPECT_EQ(info.fileVersion, "1.2.300.4");
    EXPECT_EQ(info.internalName, "fixture-full");
}

TEST(FileInfoPosix, Utf8NamesStayUtf8) {
    VELMORA_REQUIRE_FIXTURES();
    ScratchMachine machine;
    const std::string name = "d\xC3\xA9j\xC3\xA0 vu.\xC3\xA9xe";
    const std::string path = copyToScratch(machine, fixture("full.exe"), name);
    FileInfo info;
    getFileInfo(path.c_str(), info);
    EXPECT_EQ(info.fileName, name);
    EXPECT_EQ(info.fileNameLength, name.size());
    EXPECT_EQ(info.extension, ".\xC3\xA9xe");
    EXPECT_EQ(info.fileVersion, "");  // not ".exe"
}

TEST(FileInfoPosix, ExceptionReportWithoutLoggerIsSilent) {
    auto saved = avLogger;
    avLogger.reset();
    EXPECT_EQ(getFileExtension("bad\xFF.exe"), "");
    avLogger = saved;
}

// A FIFO or a folder named like an executable is neither read nor waited on.
TEST(FileInfoPosix, NonRegularFilesAreNotRead) {
    ScratchMachine machine;
    const std::string fifo = machine.path("pipe.exe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string folder = machine.path("folder.exe");
    std::filesystem::create_directory(folder);
    for (const std::string& path : {fifo, folder}) {
        FileInfo info;
        getFileInfo(path.c_str(), info);
        EXPECT_EQ(info.extension, ".exe");
        EXPECT_EQ(info.fileVersion, "");
        EXPECT_EQ(info.fileSize, 0u);
        EXPECT_GT(info.lastWriteTime, 0);
    }
}

TEST(FileInfoPosix, LastWriteTimeIsSecondsSince1970) {
    ScratchMachine machine;
    const std::string path = copyToScratch(machine, __FILE__, "dated.txt");
    struct Case {
        std::time_t seconds;
        long nanoseconds;
    } cases[] = {{0, 0}, {1700000000, 999999999}, {-86400, 500}};
    for (const Case& c : cases) {
        const struct timespec times[2] = {{c.seconds, c.nanoseconds}, {c.seconds, c.nanoseconds}};
        ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
        FileInfo info;
        getFileInfo(path.c_str(), info);
        EXPECT_EQ(info.lastWriteTime, static_cast<std::int64_t>(c.seconds));
    }
}

}  // namespace velmora
