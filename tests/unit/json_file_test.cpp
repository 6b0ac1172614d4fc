// Reading the policy file: one JSON value, BOM allowed, nothing after it.
#include "app/json_file.h"
#include "common/file_io.h"
#include "posture_log_capture.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>

namespace velmora {

namespace {

class JsonFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("velmora-json-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
        path_ = (dir_ / "postureData.json").string();
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    void write(const std::string& bytes) {
        std::FILE* file = std::fopen(path_.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        std::fwrite(bytes.data(), 1, bytes.size(), file);
        std::fclose(file);
    }
    std::filesystem::path dir_;
    std::string path_;
    LogCapture log_;
};

}  // namespace

TEST_F(JsonFile, AcceptsAnyValueWithOptionalBomAndSurroundingWhiteSpace) {
    const std::pair<std::string, nlohmann::json> cases[] = {
        {R"({"a":1})", {{"a", 1}}},
        {"\xEF\xBB\xBF{\"a\":1}", {{"a", 1}}},
        {" \r\n\t[1,2] \r\n", nlohmann::json::array({1, 2})},
        {"\"text\"", "text"},
        {"null", nullptr},
    };
    for (const auto& [bytes, expected] : cases) {
        write(bytes);
        EXPECT_EQ(getJsonFromFile(path_), std::optional<nlohmann::json>(expected)) << bytes;
    }
    EXPECT_TRUE(log_.lines().empty());
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
    };
    for (const auto& bytes : cases) {
        log_.clear();
        write(bytes);
        EXPECT_FALSE(getJsonFromFile(path_)) << bytes;
        const auto lines = log_.lines();
        ASSERT_EQ(lines.size(), 1u) << bytes;
        EXPECT_EQ(lines[0].rfind("error|Exception in Func [getJsonFromFile:56]: [json.exception.parse_error.", 0), 0u)
            << lines[0];
    }
}

TEST_F(JsonFile, MissingFileLogsTheOpenFailureWithCodeTwo) {
    const std::string missing = (dir_ / "absent.json").string();
    EXPECT_FALSE(getJsonFromFile(missing));
    const std::vector<std::string> expected = {"error|Couldn't open the file " + missing +
                                               " for reading. ErrorCode: 2"};
    EXPECT_EQ(log_.lines(), expected);
}

TEST_F(JsonFile, DeeplyNestedDocumentIsReadAndReleased) {
    const int depth = 100000;
    write(std::string(depth, '[') + std::string(depth, ']'));
    const std::optional<nlohmann::json> value = getJsonFromFile(path_);
    ASSERT_TRUE(value);
    EXPECT_TRUE(value->is_array());
}

}  // namespace velmora
