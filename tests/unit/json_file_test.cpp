// Reading the policy file: one JSON value, BOM allowed, nothing after it
// but white space (and, the parser's way, anything after a NUL).
#include "app/json_file.h"
#include "common/file_io.h"
#include "common/text.h"
#include "test_support.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <optional>
#include <utility>

namespace velmora {

namespace {

class JsonFile : public ::testing::Test {
protected:
    void write(const std::string& bytes) { writeFile(machine_.scratch / "postureData.json", bytes); }
    // The value when the file was read, nothing otherwise.
    static std::optional<nlohmann::json> readJson(const std::string& path) {
        bool ok = false;
        nlohmann::json value = getJsonFromFile(path, ok);
        if (!ok) return std::nullopt;
        return std::optional<nlohmann::json>(std::move(value));
    }
    ScratchMachine machine_;
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
        EXPECT_EQ(readJson(path_), std::optional<nlohmann::json>(expected)) << bytes;
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
        EXPECT_FALSE(readJson(path_)) << bytes;
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
    EXPECT_FALSE(readJson(missing));
    const std::vector<LogRecord> expected = {
        {"error", "Couldn't open the file " + missing + " for reading. ErrorCode: 2"}};
    EXPECT_EQ(machine_.log.records(), expected);
}

TEST_F(JsonFile, DeeplyNestedDocumentIsReadAndReleased) {
    const int depth = 100000;
    write(std::string(depth, '[') + std::string(depth, ']'));
    const std::optional<nlohmann::json> value = readJson(path_);
    ASSERT_TRUE(value);
    EXPECT_TRUE(value->is_array());
}

}  // namespace velmora
