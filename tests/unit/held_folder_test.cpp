// The held-folder layer's decisions that need no system.
#include "common/held_folder.h"

#include <gtest/gtest.h>

namespace velmora {

TEST(HeldFolder, OneComponentNames) {
    const struct {
        std::string name;
        bool one;
    } rows[] = {
        {"check.json", true},      {"-", true},        {"...", true},  {".hidden", true},
        {"", false},               {".", false},       {"..", false},  {"a/b", false},
        {"/abs", false},           {"logs/", false},   {"a\\b", false},  // a separator on Windows
        {std::string("a\0b", 3), false},
    };
    for (const auto& row : rows) EXPECT_EQ(isOneComponent(row.name), row.one) << row.name;
}

TEST(HeldFolder, UnpredictableNamesAre32HexDigitsAndDiffer) {
    const std::string first = unpredictableName();
    EXPECT_EQ(first.size(), 32u);
    EXPECT_EQ(first.find_first_not_of("0123456789abcdef"), std::string::npos) << first;
    EXPECT_NE(first, unpredictableName());
}

}  // namespace velmora
