// The verdict file as the posture stage saves it: three CR LF lines, the
// model name, and every failure line.
#include "app/posture_stage.h"
#include "common/file_io.h"
#include "common/text.h"
#include "test_support.h"
#include "registry/registry_access.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>

namespace velmora {

namespace fs = std::filesystem;

namespace {

class VerdictFile : public ::testing::Test {
protected:
    std::string contents() const { return readFile(path_); }
    // The model line as this machine's registry gives it.
    static std::string machineModel() {
        std::u16string name;
        return readSystemProductName(name) ? wideToUtf8(name) : "-";
    }
    ScratchMachine machine_;
    std::string path_ = machine_.path("check.json");
};

}  // namespace

TEST_F(VerdictFile, WritesThreeCrLfLinesAndReplacesAnEarlierFile) {
    writeFile(path_, "an earlier verdict that is much longer than the new one\r\n");
    std::string model = saveVerdict(path_, false, "");
    EXPECT_EQ(model, machineModel());
    EXPECT_EQ(contents(), "0\r\n\r\n" + model + "\r\n");
    EXPECT_EQ(machine_.log.lastInfo(),
              "Final compliance status saved to file [" + path_ + "] isVpnBlock: [false], msg: []");

    model = saveVerdict(path_, true, "av");
    EXPECT_EQ(contents(), "1\r\nav\r\n" + model + "\r\n");
    EXPECT_EQ(machine_.log.lastInfo(),
              "Final compliance status saved to file [" + path_ + "] isVpnBlock: [true], msg: [av]");
}

TEST_F(VerdictFile, MissingFolderLogsTheOpenErrorOnlyAndKeepsTheModel) {
    const std::string path = (machine_.scratch / "absent" / "check.json").u8string();
    std::string model = saveVerdict(path, true, "av");
    EXPECT_EQ(model, "-");
    EXPECT_FALSE(fs::exists(path));
    const std::vector<std::string> expected = {"Error opening the file [" + path +
                                               "] for writing. Error code: [" + errnoText(ENOENT) + "]"};
    EXPECT_EQ(machine_.log.infos(), expected);
}

#ifndef _WIN32
TEST_F(VerdictFile, ModelNameComesFromTheRegistryWhenItFits) {
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
        std::string model = saveVerdict(path_, true, "os");
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
TEST_F(VerdictFile, LineBreaksInTheModelNameBecomeSpacesInTheFileOnly) {
    machine_.setRegistryValue(R"(HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\SystemInformation)",
                              "SystemProductName", "Contoso\r\nLaptop\n9\r");
    EXPECT_EQ(saveVerdict(path_, true, "os"), "Contoso\r\nLaptop\n9\r");
    EXPECT_EQ(contents(), "1\r\nos\r\nContoso  Laptop 9 \r\n");
}

TEST_F(VerdictFile, WriteFailureLogsBothTheWriteAndTheCloseError) {
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    path_ = "/dev/full";
    saveVerdict(path_, true, "registry");
    const std::string error = errnoText(ENOSPC);
    const std::vector<std::string> expected = {
        "Error writing the file [/dev/full] for writing. Error code: [" + error + "]",
        "Error closing the file [/dev/full] for writing. Error code: [" + error + "]",
    };
    EXPECT_EQ(machine_.log.infos(), expected);
}
#endif

}  // namespace velmora
