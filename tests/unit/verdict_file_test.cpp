// The verdict file as the posture stage saves it: three CR LF lines, the
// model name, and every failure line.
#include "app/posture_stage.h"
#include "common/file_io.h"
#include "common/text.h"
#include "posture_log_capture.h"
#include "registry/registry_access.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace velmora {

namespace fs = std::filesystem;

namespace {

class VerdictFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() /
               (std::string("velmora-verdict-") + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        path_ = (dir_ / "check.json").string();
#ifndef _WIN32
        setenv("VELMORA_PROGRAMDATA", dir_.c_str(), 1);
#endif
    }
    void TearDown() override {
        fs::remove_all(dir_);
#ifndef _WIN32
        unsetenv("VELMORA_PROGRAMDATA");
#endif
    }
    std::string contents() const {
        std::ifstream in(path_, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
#ifndef _WIN32
    void setModel(const std::string& bytes) {
        const fs::path key = dir_ / "Registry/HKEY_LOCAL_MACHINE/SYSTEM/CurrentControlSet/Control/SystemInformation";
        fs::create_directories(key);
        std::ofstream(key / "SystemProductName", std::ios::binary) << bytes;
    }
#endif
    // The model line as this machine's registry gives it.
    static std::string machineModel() {
        std::u16string name;
        return readSystemProductName(name) ? wideToUtf8(name) : "-";
    }
    fs::path dir_;
    std::string path_;
    LogCapture log_;
};

}  // namespace

TEST_F(VerdictFile, WritesThreeCrLfLinesAndReplacesAnEarlierFile) {
    std::ofstream(path_, std::ios::binary) << "an earlier verdict that is much longer than the new one\r\n";
    std::string model = saveVerdict(path_, false, "");
    EXPECT_EQ(model, machineModel());
    EXPECT_EQ(contents(), "0\r\n\r\n" + model + "\r\n");
    EXPECT_EQ(log_.infos().back(), "Final compliance status saved to file [" + path_ + "] isVpnBlock: [false], msg: []");

    model = saveVerdict(path_, true, "av");
    EXPECT_EQ(contents(), "1\r\nav\r\n" + model + "\r\n");
    EXPECT_EQ(log_.infos().back(), "Final compliance status saved to file [" + path_ + "] isVpnBlock: [true], msg: [av]");
}

TEST_F(VerdictFile, MissingFolderLogsTheOpenErrorOnlyAndKeepsTheModel) {
    const std::string path = (dir_ / "absent" / "check.json").string();
    std::string model = saveVerdict(path, true, "av");
    EXPECT_EQ(model, "-");
    EXPECT_FALSE(fs::exists(path));
    const std::vector<std::string> expected = {"Error opening the file [" + path +
                                               "] for writing. Error code: [" + errnoText(ENOENT) + "]"};
    EXPECT_EQ(log_.infos(), expected);
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
        log_.clear();
        setModel(c.stored);
        std::string model = saveVerdict(path_, true, "os");
        EXPECT_EQ(model, c.line);
        EXPECT_EQ(contents(), "1\r\nos\r\n" + c.line + "\r\n");
        const auto lines = log_.infos();
        EXPECT_EQ(lines.size(), c.logged ? 2u : 1u);
        if (c.logged) {
            EXPECT_EQ(lines[0], "SystemModel: [" + c.line + "]");
        }
    }
}

// The log and the posture stage keep the name as read.
TEST_F(VerdictFile, LineBreaksInTheModelNameBecomeSpacesInTheFileOnly) {
    setModel("Contoso\r\nLaptop\n9\r");
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
    EXPECT_EQ(log_.infos(), expected);
}
#endif

}  // namespace velmora
