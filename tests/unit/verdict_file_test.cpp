// The verdict file as the posture stage saves it: three CR LF lines, the
// model name, and every failure line.
#include "app/posture_stage.h"
#include "app/verdict_file.h"
#include "common/file_io.h"
#include "common/text.h"
#include "test_support.h"
#include "registry/registry_access.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include <cerrno>
#include <csignal>
#include <iterator>
#include <filesystem>

namespace velmora {

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

class VerdictFileTest : public ::testing::Test {
protected:
    std::string contents() const { return readFile(path_); }
    // The model line as this machine's registry gives it.
    static std::string machineModel() {
        std::u16string name;
        return readSystemProductName(name) ? wideToUtf8(name) : "-";
    }
    std::string save(bool isVpnBlock, const std::string& message) {
        return saveVerdict(*folder_, "check.json", isVpnBlock, message);
    }
    ScratchMachine machine_;
    HeldFolder folder_ = holdFolder(machine_.scratch);
    std::string path_ = folder_->path + (kWindows ? "\\" : "/") + "check.json";
};

}  // namespace

TEST_F(VerdictFileTest, WritesThreeCrLfLinesAndReplacesAnEarlierFile) {
    writeFile(path_, "an earlier verdict that is much longer than the new one\r\n");
    std::string model = save(false, "");
    EXPECT_EQ(model, machineModel());
    EXPECT_EQ(contents(), "0\r\n\r\n" + model + "\r\n");
    EXPECT_EQ(machine_.log.lastInfo(),
              "Final compliance status saved to file [" + path_ + "] isVpnBlock: [false], msg: []");

    model = save(true, "av");
    EXPECT_EQ(contents(), "1\r\nav\r\n" + model + "\r\n");
    EXPECT_EQ(machine_.log.lastInfo(),
              "Final compliance status saved to file [" + path_ + "] isVpnBlock: [true], msg: [av]");
}

#ifndef _WIN32  // a held folder cannot be deleted on Windows
// The held folder deleted meanwhile: nothing can be created in it.
TEST_F(VerdictFileTest, AFolderGoneLogsTheOpenErrorOnlyAndKeepsTheModel) {
    fs::create_directory(machine_.scratch / "absent");
    HeldFolder absent = holdFolder(machine_.scratch / "absent");
    ASSERT_TRUE(absent);
    fs::remove(machine_.scratch / "absent");
    const std::string path = absent->path + (kWindows ? "\\" : "/") + "check.json";
    std::string model = saveVerdict(*absent, "check.json", true, "av");
    EXPECT_EQ(model, "-");
    const std::vector<std::string> expected = {"Error opening the file [" + path +
                                               "] for writing. Error code: [" + errnoText(ENOENT) + "]"};
    EXPECT_EQ(machine_.log.infos(), expected);
}
#endif

// Written whole, then its place taken by a folder before the replacement:
// the rename is refused and so is writing in place (never into a folder).
TEST_F(VerdictFileTest, AWriteWhoseReplacementFailsIsNotLoggedAsSaved) {
    writeFile(path_, "earlier");
    std::optional<VerdictFile> file = openVerdictFile(*folder_, "check.json");
    ASSERT_TRUE(file);
    fs::remove(path_);
    fs::create_directories(fs::u8path(path_) / "inside");
    writeVerdictFile(std::move(*file), true, "av", "Contoso");
#ifdef _WIN32
    // The classic rename over a folder is refused with ERROR_ACCESS_DENIED
    // (retried, as for a held file), and a folder is never written in place:
    // it is refused as CreateFileW refuses it, in the C runtime's words.
    const std::string code = "5";
    const std::string error = errnoText(EACCES);
#else
    const std::string code = std::to_string(EISDIR);
    const std::string error = errnoText(EISDIR);
#endif
    const std::vector<std::string> expected = {
        "The file [" + path_ + "] could not be replaced; writing it in place. Error code: [" + code +
            "]",
        "Error closing the file [" + path_ + "] for writing. Error code: [" + error + "]",
    };
    EXPECT_EQ(machine_.log.infos(), expected);
    EXPECT_EQ(std::distance(fs::directory_iterator(machine_.scratch), fs::directory_iterator()), 1);
}

#ifndef _WIN32
TEST_F(VerdictFileTest, ModelNameComesFromTheRegistryWhenItFits) {
    struct Case {
        std::string stored;
        std::string line;
        bool logged;
    };
    const Case cases[] = {
        {"Contoso Laptop 9", "Contoso Laptop 9", true},
        {"Ordinateur \xC3\xA9t\xC3\xA9 \xE2\x82\xAC", "Ordinateur \xC3\xA9t\xC3\xA9 \xE2\x82\xAC", true},
        {"", "", true},
        {std::string(254, 'x'), std::string(254, 'x'), true},
        {std::string(255, 'x'), "-", false},  // does not fit the 255-unit buffer with its NUL
    };
    for (const auto& c : cases) {
        machine_.log.clear();
        machine_.setRegistryValue(R"(HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\SystemInformation)",
                                  "SystemProductName", c.stored);
        std::string model = save(true, "os");
        EXPECT_EQ(model, c.line);
        EXPECT_EQ(contents(), "1\r\nos\r\n" + c.line + "\r\n");
        const auto lines = machine_.log.infos();
        EXPECT_EQ(lines.size(), c.logged ? 2u : 1u);
        if (c.logged) {
            EXPECT_EQ(lines[0], "SystemModel: [" + c.line + "]");
        }
    }
}

// The log and the posture stage keep the name as read.
TEST_F(VerdictFileTest, LineBreaksInTheModelNameBecomeSpacesInTheFileOnly) {
    machine_.setRegistryValue(R"(HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\SystemInformation)",
                              "SystemProductName", "Contoso\r\nLaptop\n9\r");
    EXPECT_EQ(save(true, "os"), "Contoso\r\nLaptop\n9\r");
    EXPECT_EQ(contents(), "1\r\nos\r\nContoso  Laptop 9 \r\n");
}

TEST_F(VerdictFileTest, WriteFailureLogsBothTheWriteAndTheCloseError) {
    // A file size limit of 8 bytes stands for a full disk: the third line
    // does not fit. SIGXFSZ ignored turns the signal into EFBIG.
    struct rlimit saved;
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = 8;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    save(true, "registry");
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);
    const std::string error = errnoText(EFBIG);
    const std::vector<std::string> expected = {
        "Error writing the file [" + path_ + "] for writing. Error code: [" + error + "]",
        "Error closing the file [" + path_ + "] for writing. Error code: [" + error + "]",
    };
    EXPECT_EQ(machine_.log.infos(), expected);
    EXPECT_FALSE(fs::exists(path_));
}
#endif

}  // namespace velmora
