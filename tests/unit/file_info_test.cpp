// getFileExtension and getFileInfo on both targets: on Windows through the
// system's version functions, elsewhere through the program's own PE reader;
// both must give the same record for the same executables.
#include "inventory/file_info.h"

#include <ctime>

#include "file_info_test_support.h"

namespace velmora {

using file_info_test::fixture;
using file_info_test::copyToScratch;

namespace {

constexpr std::int64_t kNoTime = -11644473600;

void expectNoVersionData(const FileInfo& info) {
    EXPECT_EQ(info.fileVersion, "");
    EXPECT_EQ(info.productVersion, "");
    EXPECT_EQ(info.productName, "");
    EXPECT_EQ(info.companyName, "");
    EXPECT_EQ(info.fileDescription, "");
    EXPECT_EQ(info.originalFilename, "");
    EXPECT_EQ(info.comments, "");
    EXPECT_EQ(info.internalName, "");
}

void expectFullFixture(const FileInfo& info) {
    EXPECT_EQ(info.fileVersion, "1.2.300.4");
    EXPECT_EQ(info.productVersion, "7.0.65535.12");
    EXPECT_EQ(info.productName, "Velmora Fixture Suite");
    EXPECT_EQ(info.companyName, "Velmora Test Makers");
    EXPECT_EQ(info.fileDescription, "Version resource fixture");
    EXPECT_EQ(info.originalFilename, "full.exe");
    // UTF-8 on both targets: Windows gives the text through the wide query.
    EXPECT_EQ(info.comments, "built by the tests: S\xC3\xA9" "curit\xC3\xA9 \xE5\xAE\x89\xE5\x85\xA8");
    EXPECT_EQ(info.internalName, "fixture-full");
}

}  // namespace

TEST(FileExtension, FollowsTheNameRules) {
    struct Case {
        const char* path;
        const char* extension;
    } cases[] = {
        {"C:\\Program Files\\Contoso\\av.exe", ".exe"},
        {"av.EXE", ".EXE"},
        {"dir/sub\\archive.tar.gz", ".gz"},
        {"tool.exe.bak", ".bak"},
        {".exe", ""},
        {".profile", ""},
        {"..x", ".x"},
        {".", ""},
        {"..", ""},
        {"name.", "."},
        {"noext", ""},
        {"", ""},
        {"tool.exe:info", ".exe"},    // alternate stream cut off
        {"tool:info.exe", ""},        // cut at the first ':'
        {"C:tool.exe", ".exe"},       // drive is not part of the name
        {"C:", ""},
        {"dir.d\\file", ""},          // a '.' in a folder name does not count
        {"C:\\dir\\", ""},
        {"\\\\server.exe", ""},        // the server name is a root name
        {"\\\\server\\share\\x.exe", ".exe"},
        {"\\\\?\\C:\\dir\\a.txt", ".txt"},
    };
    for (const Case& c : cases) EXPECT_EQ(getFileExtension(c.path), c.extension) << c.path;
}

// Paths that name no file: only the name fields and the path are set, size 0,
// the time of a zero file time, and nothing is logged.
TEST(FileInfo, MissingFilesGiveNameFieldsOnly) {
    struct Case {
        const char* path;
        const char* fileName;
        const char* extension;
    } cases[] = {
        {"C:\\no such folder\\tool.exe", "tool.exe", ".exe"},
        {"%ProgramFiles%\\Velmora\\full.exe", "full.exe", ".exe"},  // never expanded
        {"C:tool.exe", "tool.exe", ".exe"},
        {"\\\\server\\share\\x.exe", "x.exe", ".exe"},
        {"\\\\server", "", ""},
        {"\\\\.\\pipe\\nothing.exe", "nothing.exe", ".exe"},
        {"no/such/dir/", "", ""},
        {"no\\such\\dir\\", "", ""},
        {"missing.exe:stream", "missing.exe:stream", ".exe"},
        {"", "", ""},
    };
    LogCapture log;
    for (const Case& c : cases) {
        FileInfo info;
        getFileInfo(c.path, info);
        EXPECT_EQ(info.fileName, c.fileName) << c.path;
        EXPECT_EQ(info.fileNameLength, std::string(c.fileName).size()) << c.path;
        EXPECT_EQ(info.extension, c.extension) << c.path;
        EXPECT_EQ(info.filePath, c.path);
        EXPECT_EQ(info.fileSize, 0u) << c.path;
        EXPECT_EQ(info.lastWriteTime, kNoTime) << c.path;
        expectNoVersionData(info);
    }
    EXPECT_TRUE(log.records().empty());
}

// A path text that is not UTF-8 is reported once, at error level, with the
// operation's fixed site number.
TEST(FileInfo, PathThatIsNotUtf8IsReported) {
    const std::string bad = "/tmp/bad\xFF.exe";
    const std::string reason =
        "No mapping for the Unicode character exists in the target multi-byte code page.";
    {
        LogCapture log;
        EXPECT_EQ(getFileExtension(bad), "");
        EXPECT_EQ(log.records(),
                  (std::vector<LogRecord>{{"error", "Exception in Func [getFileExtension:48]: " + reason}}));
    }
    LogCapture log;
    FileInfo info;
    getFileInfo(bad.c_str(), info);
    EXPECT_EQ(log.records(), (std::vector<LogRecord>{{"error", "Exception in Func [getFileInfo:153]: " + reason}}));
    EXPECT_EQ(info.fileName, "");
    EXPECT_EQ(info.extension, "");
    EXPECT_EQ(info.filePath, bad);
    EXPECT_EQ(info.fileSize, 0u);
    EXPECT_EQ(info.lastWriteTime, -11644473600);
}

TEST(FileInfo, EveryFieldOfAReusedRecordIsReplaced) {
    FileInfo info;
    info.fileName = info.productVersion = info.comments = "stale";
    info.fileSize = 7;
    info.lastWriteTime = 7;
    getFileInfo("no such file.txt", info);
    EXPECT_EQ(info.fileName, "no such file.txt");
    EXPECT_EQ(info.productVersion, "");
    EXPECT_EQ(info.comments, "");
    EXPECT_EQ(info.fileSize, 0u);
    EXPECT_EQ(info.lastWriteTime, kNoTime);
}

TEST(FileInfo, NullPathIsTheEmptyPath) {
    FileInfo info;
    info.fileName = "stale";
    getFileInfo(nullptr, info);
    EXPECT_EQ(info.fileName, "");
    EXPECT_EQ(info.filePath, "");
    EXPECT_EQ(info.lastWriteTime, kNoTime);
}

TEST(FileInfo, ReadsTheCompleteVersionResource) {
    VELMORA_REQUIRE_FIXTURES();
    ScratchMachine machine;
    const std::string path = copyToScratch(machine, fixture("full.exe"), "full.exe");
    FileInfo info;
    getFileInfo(path.c_str(), info);
    expectFullFixture(info);
    EXPECT_EQ(info.fileName, "full.exe");
    EXPECT_EQ(info.fileNameLength, 8u);
    EXPECT_EQ(info.extension, ".exe");
    EXPECT_EQ(info.filePath, path);
    EXPECT_EQ(info.fileSize, std::filesystem::file_size(machine.scratch / "full.exe"));
    const std::int64_t now = static_cast<std::int64_t>(std::time(nullptr));
    EXPECT_LE(std::abs(info.lastWriteTime - now), 300) << info.lastWriteTime << " vs " << now;
    EXPECT_TRUE(machine.log.records().empty());
}

TEST(FileInfo, WithoutTranslationTableOnlyTheVersionsAreRead) {
    VELMORA_REQUIRE_FIXTURES();
    FileInfo info;
    getFileInfo(fixture("no_translation.exe").c_str(), info);
    EXPECT_EQ(info.fileVersion, "3.1.4.1");
    EXPECT_EQ(info.productVersion, "2.7.1.8");
    EXPECT_EQ(info.productName, "");
    EXPECT_EQ(info.companyName, "");
    EXPECT_EQ(info.fileDescription, "");
    EXPECT_EQ(info.originalFilename, "");
    EXPECT_EQ(info.comments, "");
    EXPECT_EQ(info.internalName, "");
    EXPECT_GT(info.fileSize, 0u);
}

TEST(FileInfo, WithoutVersionResourceOnlyTheFileDataIsRead) {
    VELMORA_REQUIRE_FIXTURES();
    FileInfo info;
    getFileInfo(fixture("no_resource.exe").c_str(), info);
    expectNoVersionData(info);
    EXPECT_EQ(info.fileName, "no_resource.exe");
    EXPECT_EQ(info.fileSize, std::filesystem::file_size(fixture("no_resource.exe")));
    EXPECT_GT(info.lastWriteTime, 0);
}

// Only a final component whose extension is ".exe" in any letter case has its
// version resource read; the file data is read for every name.
TEST(FileInfo, ExtensionDecidesWhetherTheResourceIsRead) {
    VELMORA_REQUIRE_FIXTURES();
    struct Case {
        const char* name;
        const char* extension;
        bool read;
    } cases[] = {
        {"upper.EXE", ".EXE", true},
        {"mixed.Exe", ".Exe", true},
        {"backup.exe.bak", ".bak", false},
        {".exe", "", false},
        {"library.dll", ".dll", false},
    };
    ScratchMachine machine;
    for (const Case& c : cases) {
        const std::string path = copyToScratch(machine, fixture("full.exe"), c.name);
        FileInfo info;
        getFileInfo(path.c_str(), info);
        EXPECT_EQ(info.fileName, c.name);
        EXPECT_EQ(info.extension, c.extension) << c.name;
        EXPECT_EQ(info.productVersion, c.read ? "7.0.65535.12" : "") << c.name;
        EXPECT_EQ(info.productName, c.read ? "Velmora Fixture Suite" : "") << c.name;
        EXPECT_EQ(info.fileSize, std::filesystem::file_size(path)) << c.name;
    }
}

TEST(FileInfo, PathEndingInSeparatorHasNoName) {
    ScratchMachine machine;
    for (const char* separator : {"/", "\\"}) {
        const std::string path = machine.scratch.string() + separator;
        FileInfo info;
        getFileInfo(path.c_str(), info);
        EXPECT_EQ(info.fileName, "") << path;
        EXPECT_EQ(info.extension, "") << path;
        EXPECT_EQ(info.fileSize, 0u) << path;
        expectNoVersionData(info);
    }
}

}  // namespace velmora
