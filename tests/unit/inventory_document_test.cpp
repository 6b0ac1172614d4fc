// The inventory document: its summary members, its log form and its file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include <nlohmann/json.hpp>

#include "app/inventory_document.h"
#include "common/text.h"
#include "test_support.h"

namespace velmora {

using nlohmann::json;

namespace {

// Paths are UTF-8 here; the narrow stream calls would take them in the ANSI
// code page on Windows.
std::filesystem::path hostPath(const std::string& utf8) { return std::filesystem::u8path(utf8); }

std::string readBytes(const std::string& path) { return readFile(hostPath(path)); }

TEST(InventoryDocument, SummaryMembersFollowTheAntivirusArray) {
    struct Case {
        const char* before;
        const char* after;
    };
    const Case cases[] = {
        {R"({"firewall": [{"name": "f"}]})",
         R"({"av":null,"firewall":[{"name":"f"}],"is_av_installed":false,"os":"Win 10"})"},
        {R"({"av": [{}, {}]})", R"({"av":[{},{}],"is_av_installed":true,"os":"Win 10"})"},
        {R"({"av": [], "os": "old"})", R"({"av":[],"is_av_installed":false,"os":"Win 10"})"},
    };
    for (const auto& c : cases) {
        json document = json::parse(c.before);
        completeInventoryDocument(document, "Win 10");
        EXPECT_EQ(document.dump(), c.after);
    }
}

TEST(InventoryDocument, IsLoggedIndentedAndSavedCompactAsRawUtf8) {
    ScratchMachine machine;
    const std::string path = machine.path("inventory \xC3\xA9.json");
    json document = json::parse(R"({"firewall": [{"name": "Contoso \u00e9", "state": "on"}]})");
    publishInventoryDocument(document, utf8ToWide(path), "Win 7");
    const std::string compact =
        "{\"av\":null,\"firewall\":[{\"name\":\"Contoso \xC3\xA9\",\"state\":\"on\"}],\"is_av_installed\":false,"
        "\"os\":\"Win 7\"}";
    EXPECT_EQ(readBytes(path), compact);
    const std::string indented = "{\n"
                                 "     \"av\": null,\n"
                                 "     \"firewall\": [\n"
                                 "          {\n"
                                 "               \"name\": \"Contoso \xC3\xA9\",\n"
                                 "               \"state\": \"on\"\n"
                                 "          }\n"
                                 "     ],\n"
                                 "     \"is_av_installed\": false,\n"
                                 "     \"os\": \"Win 7\"\n"
                                 "}";
    EXPECT_EQ(machine.log.messages(), (std::vector<std::string>{"avInfo: \n" + indented + "\n",
                                                                "avInfo: js succesfully saved to file " + path}));
}

TEST(InventoryDocument, AnExistingFileIsReplacedWhole) {
    ScratchMachine machine;
    const std::string path = machine.path("replaced.json");
    std::ofstream(hostPath(path), std::ios::binary) << std::string(500, 'x');
    json document = json::parse(R"({"av": [{"name": "a"}]})");
    publishInventoryDocument(document, utf8ToWide(path), "Win 11");
    EXPECT_EQ(readBytes(path), R"({"av":[{"name":"a"}],"is_av_installed":true,"os":"Win 11"})");
}

TEST(InventoryDocument, AFileThatCannotBeOpenedIsReported) {
    ScratchMachine machine;
    for (const std::string& path : {std::string(), machine.path("missing-folder/x.json"), machine.path("")}) {
        LogCapture log;
        json document = json::parse(R"({"av": []})");
        publishInventoryDocument(document, utf8ToWide(path), "Win 7");
        const auto messages = log.messages();
        ASSERT_EQ(messages.size(), 2u);
        EXPECT_EQ(messages[1], "avInfo js open file for saving failed!: file: [" + path + "]! check permission...");
    }
}

// The device that is always full: the open succeeds, the write cannot.
TEST(InventoryDocument, AFailedWriteIsNotReportedAsSaved) {
#ifdef _WIN32
    const std::string path = "Z:\\dev\\full";
#else
    const std::string path = "/dev/full";
#endif
    LogCapture log;
    json document = json::parse(R"({"av": [{"name": "a"}]})");
    publishInventoryDocument(document, utf8ToWide(path), "Win 7");
    const auto messages = log.messages();
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1], "avInfo js write to file failed!: file: [" + path + "]!");
}

}  // namespace

}  // namespace velmora
