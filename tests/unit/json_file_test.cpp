// Reading the policy file: one JSON value, BOM allowed, nothing after it
// but white space (and, the parser's way, anything after a NUL).
#include "app/json_file.h"
#include "common/file_io.h"
#include "common/text.h"
#include "test_support.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <functional>
#include <nlohmann/json.hpp>

#include <optional>
#include <utility>

namespace velmora {

namespace {

class JsonFile : public ::testing::Test {
protected:
    void write(const std::string& bytes) { writeFile(machine_.scratch / "postureData.json", bytes); }
    // The value when the file was read, nothing otherwise.
    std::optional<nlohmann::json> read(const std::string& name = "postureData.json") {
        bool ok = false;
        nlohmann::json value = getJsonFromFile(*folder_, name, ok);
        if (!ok) return std::nullopt;
        return std::optional<nlohmann::json>(std::move(value));
    }
    ScratchMachine machine_;
    HeldFolder folder_ = holdFolder(machine_.scratch);
    const std::string path_ = machine_.path("postureData.json");
};

}  // namespace

TEST_F(JsonFile, AcceptsAnyValueWithOptionalBomAndSurroundingWhiteSpace) {
    const std::pair<std::string, nlohmann::json> cases[] = {
        {R"({"a":1})", {{"a", 1}}},
        {"\xEF\xBB\xBF{\"a\":1}", {{"a", 1}}},
        {" \r\n\t[1,2] \r\n", nlohmann::json::array({1, 2})},
        {"\"text\"", "text"},
        {"null", nullptr},
        // The parser takes a NUL for the end of the input: what follows is
        // never looked at.
        {std::string("{\"a\":1}\0{x", 10), {{"a", 1}}},
        {std::string("[1] \n\0\xFF", 7), nlohmann::json::array({1})},
    };
    for (const auto& [bytes, expected] : cases) {
        write(bytes);
        EXPECT_EQ(read(), std::optional<nlohmann::json>(expected)) << bytes;
    }
    EXPECT_TRUE(machine_.log.records().empty());
}

TEST_F(JsonFile, MalformedContentIsReportedAtErrorLevel) {
    const std::string cases[] = {
        "",
        "{\"a\":1} {\"b\":2}",
        "{\"a\":1} x",
        "{\"a\":1 /* note */}",
        "// note\n{}",
        "{\"a\":1,}",
        "\xEF\xBB{}",
        "{\"a\":\"\xFF\"}",
        std::string("{\"a\":1\0}", 8),
    };
    for (const auto& bytes : cases) {
        machine_.log.clear();
        write(bytes);
        EXPECT_FALSE(read()) << bytes;
        const auto records = machine_.log.records();
        ASSERT_EQ(records.size(), 1u) << bytes;
        EXPECT_EQ(records[0].first, "error");
        const std::string start = "Exception in Func [getJsonFromFile:56]: [json.exception.";
        EXPECT_EQ(records[0].second.rfind(start, 0), 0u) << records[0].second;
        // The log is UTF-8 even where the parser quotes bytes that are not.
        EXPECT_EQ(toValidUtf8(records[0].second), records[0].second);
    }
}

TEST_F(JsonFile, MissingFileLogsTheOpenFailureWithCodeTwo) {
    const std::string missing = machine_.path("absent.json");
    EXPECT_FALSE(read("absent.json"));
    const std::vector<LogRecord> expected = {
        {"error", "Couldn't open the file " + missing + " for reading. ErrorCode: 2"}};
    EXPECT_EQ(machine_.log.records(), expected);
}

#ifndef _WIN32
// Only a plain file with one link is read: a FIFO never blocks the run.
TEST_F(JsonFile, AnythingButAPlainFileIsAFileThatCannotBeOpened) {
    writeFile(machine_.scratch / "policy", "{}");
    const std::function<void(const std::filesystem::path&)> makers[] = {
        [](const std::filesystem::path& p) { ASSERT_EQ(mkfifo(p.c_str(), 0666), 0); },
        [&](const std::filesystem::path& p) { std::filesystem::create_symlink(machine_.scratch / "policy", p); },
        [&](const std::filesystem::path& p) { std::filesystem::create_hard_link(machine_.scratch / "policy", p); },
    };
    for (const auto& make : makers) {
        machine_.log.clear();
        std::filesystem::remove(path_);
        make(path_);
        EXPECT_FALSE(read());
        const std::vector<LogRecord> expected = {
            {"error", "Couldn't open the file " + path_ + " for reading. ErrorCode: " + std::to_string(kNotPlainFile)}};
        EXPECT_EQ(machine_.log.records(), expected);
    }
}
#endif

TEST_F(JsonFile, DeeplyNestedDocumentIsReadAndReleased) {
    const int depth = 100000;
    write(std::string(depth, '[') + std::string(depth, ']'));
    const std::optional<nlohmann::json> value = read();
    ASSERT_TRUE(value);
    EXPECT_TRUE(value->is_array());
}

}  // namespace velmora
