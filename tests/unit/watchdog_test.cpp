// The run's bound as a test may set it: lowered, never raised or switched off.
// (The watchdog ending a process is shown by the end-to-end runs.)
#include "common/watchdog.h"

#include <gtest/gtest.h>

namespace velmora {

TEST(RunBound, OnlyAPositiveDecimalBelowTheBoundLowersIt) {
    struct Row {
        std::optional<std::string> setting;
        unsigned bound;
    };
    const Row rows[] = {
        {std::nullopt, 60000}, {"", 60000},
        {"2000", 2000}, {"1", 1}, {"59999", 59999}, {"007", 7},
        {"60000", 60000}, {"120000", 60000}, {"184467440737095516170000", 60000},  // never raised
        {"0", 60000}, {"000", 60000},                                                // never switched off
        {"-5", 60000}, {"+5", 60000}, {" 5", 60000}, {"5 ", 60000}, {"5ms", 60000}, {"0x10", 60000},
        {"1.5", 60000}, {"\xEF\xBC\x95", 60000},  // a fullwidth 5 is no decimal digit
    };
    for (const Row& row : rows) EXPECT_EQ(runBoundMilliseconds(row.setting), row.bound) << row.setting.value_or("(unset)");
}

}  // namespace velmora
