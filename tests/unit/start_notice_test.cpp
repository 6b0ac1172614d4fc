// The notice box is shown only where someone can close it.
#include "log/start_notice.h"

#include <gtest/gtest.h>

namespace velmora {

TEST(StartNotice, ABoxOnlyOnAVisibleWindowStation) {
    struct Case {
        std::optional<std::uint32_t> flags;
        bool box;
    };
    const Case cases[] = {
        {0x0001u, true},        // WSF_VISIBLE: an interactive session
        {0xFFFFFFFFu, true},    // other bits do not matter
        {0x0000u, false},       // session 0 of a service
        {0xFFFFFFFEu, false},
        {std::nullopt, false},  // flags unreadable: never risk a box nobody closes
    };
    for (const auto& c : cases) {
        EXPECT_EQ(noticeBoxCanBeSeen(c.flags), c.box) << (c.flags ? *c.flags : 0xDEADu);
    }
}

}  // namespace velmora
