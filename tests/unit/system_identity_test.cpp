#include "system/system_identity.h"

#include <gtest/gtest.h>

namespace velmora {

TEST(ClassifyWinVersion, FirstMatchingRuleWins) {
    struct Case {
        std::uint32_t major, minor, build;
        WinVersion expected;
    };
    const Case cases[] = {
        {10, 0, 22000, WIN_10},      {10, 0, 22621, WIN_11},      {10, 0, 26100, WIN_11},
        {10, 0, 22620, WIN_10},      {6, 1, 22621, WIN_11},       {0, 0, 4294967295u, WIN_11},
        {10, 0, 0, WIN_10},          {6, 3, 9600, WIN_8},         {6, 2, 9200, WIN_8},
        {6, 1, 7601, WIN_7},         {6, 0, 6002, WIN_VISTA},     {5, 1, 2600, WIN_XP},
        {5, 2, 3790, WIN_XP},        {4, 0, 1381, WIN_UNKNOWN},   {0, 0, 0, WIN_UNKNOWN},
        {11, 0, 0, WIN_UNKNOWN},     {6, 99, 0, WIN_8},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(classifyWinVersion(c.major, c.minor, c.build), c.expected)
            << c.major << "." << c.minor << "." << c.build;
    }
}

TEST(WinVersionNames, MemberNamesAndDisplayTexts) {
    EXPECT_EQ(winVersionName(WIN_11), "WIN_11");
    EXPECT_EQ(winVersionName(WIN_XP), "WIN_XP");
    EXPECT_EQ(winVersionName(WIN_VISTA), "WIN_VISTA");
    EXPECT_EQ(winVersionName(static_cast<WinVersion>(10)), "WIN_UNKNOWN");
    for (int notMember : {6, 7, 9, 11, -1}) {
        EXPECT_EQ(winVersionName(static_cast<WinVersion>(notMember)), "") << notMember;
    }

    EXPECT_EQ(winVersionText(WIN_11), "Win 11");
    EXPECT_EQ(winVersionText(WIN_8), "Win 8");
    EXPECT_EQ(winVersionText(WIN_VISTA), "Win Vista");
    EXPECT_EQ(winVersionText(WIN_XP), "Win XP");
    for (int other : {10, 7, 6, -1, 1000}) {
        EXPECT_EQ(winVersionText(static_cast<WinVersion>(other)), "Win Unknown") << other;
    }
}

// What the log folder is called for the name Windows reports (Wine cannot be
// given a user whose name lies outside the ANSI code page).
TEST(UserFolderName, IsTheUtf8FormOfTheWideName) {
    struct Case {
        std::optional<std::u16string> wide;
        std::string folder;
    };
    const Case cases[] = {
        {u"alice", "alice"},
        {u"J\u00fcrgen \u5c71\u7530", "J\xC3\xBCrgen \xE5\xB1\xB1\xE7\x94\xB0"},
        {u"\U0001F600", "\xF0\x9F\x98\x80"},
        {u"", "-"},
        {u"bad\xD800", "-"},  // not UTF-16: no folder name can be made of it
        {std::nullopt, "-"},   // the system gave no name
    };
    for (const auto& c : cases) EXPECT_EQ(userFolderName(c.wide), c.folder) << c.folder;
}

TEST(SystemIdentity, IsFilledOnceAndKept) {
    SystemIdentity& first = getSystemIdentity();
    EXPECT_FALSE(first.userName.empty());
    first.userName = "changed-by-test";
    SystemIdentity& second = getSystemIdentity();
    EXPECT_EQ(&first, &second);
    EXPECT_EQ(second.userName, "changed-by-test");  // not queried again
    EXPECT_EQ(second.winVersion, classifyWinVersion(second.versionInfo.majorVersion, second.versionInfo.minorVersion,
                                                    second.versionInfo.buildNumber));
}

}  // namespace velmora
