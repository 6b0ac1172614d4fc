// The notice box is shown only where someone can close it.
#include "log/start_notice.h"

#include <gtest/gtest.h>

namespace velmora {

TEST(StartNotice, ABoxOnlyOnAVisibleWindowStationOutsideSessionZero) {
    struct Case {
        std::optional<std::uint32_t> flags;
        std::optional<std::uint32_t> session;
        bool box;
    };
    const Case cases[] = {
        {0x0001u, 1u, true},           // WSF_VISIBLE: an interactive session
        {0xFFFFFFFFu, 2u, true},       // other bits do not matter
        {0x0000u, 1u, false},          // a hidden station (a service's own)
        {0xFFFFFFFEu, 1u, false},
        {std::nullopt, 1u, false},     // flags unreadable: never risk a box nobody closes
        {0x0001u, 0u, false},          // a service on session 0's visible WinSta0
        {0x0001u, std::nullopt, false},  // session unknown: the same caution
    };
    for (const auto& c : cases) {
        EXPECT_EQ(noticeBoxCanBeSeen(c.flags, c.session), c.box)
            << (c.flags ? *c.flags : 0xDEADu) << " in session " << (c.session ? *c.session : 0xDEADu);
    }
}

}  // namespace velmora
