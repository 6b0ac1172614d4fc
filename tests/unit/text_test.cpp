#include "common/text.h"

#include <gtest/gtest.h>

namespace velmora {

TEST(SplitByComma, KeepsItemsUnchangedAndDropsOnlyWhatFollowsTheLastComma) {
    using V = std::vector<std::string>;
    EXPECT_EQ(splitByComma(""), V{});
    EXPECT_EQ(splitByComma(","), V{""});
    EXPECT_EQ(splitByComma("a"), V{"a"});
    EXPECT_EQ(splitByComma("a,,b"), (V{"a", "", "b"}));
    EXPECT_EQ(splitByComma(",a"), (V{"", "a"}));
    EXPECT_EQ(splitByComma("a,"), V{"a"});
    EXPECT_EQ(splitByComma("a,b,,"), (V{"a", "b", ""}));
    EXPECT_EQ(splitByComma("x, y"), (V{"x", " y"}));
}

TEST(EqualsIgnoreAsciiCase, FoldsOnlyAsciiLetters) {
    EXPECT_TRUE(equalsIgnoreAsciiCase("NOT_EQUAL", "not_equal"));
    EXPECT_TRUE(equalsIgnoreAsciiCase("", ""));
    EXPECT_FALSE(equalsIgnoreAsciiCase("equal ", "equal"));
    EXPECT_FALSE(equalsIgnoreAsciiCase("\xC3\xA9", "\xC3\x89"));  // é vs É: not ASCII
    EXPECT_FALSE(equalsIgnoreAsciiCase("[", "{"));                // '[' is not 'Z'+1 folded
    EXPECT_FALSE(equalsIgnoreAsciiCase("@", "`"));
}

TEST(TextConversion, RoundTripsValidText) {
    const std::string utf8 = "Contoso \xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80";
    std::u16string wide = utf8ToWide(utf8);
    EXPECT_EQ(wide, u"Contoso \u00e9\u20ac\U0001F600");
    EXPECT_EQ(wideToUtf8(wide), utf8);
}

TEST(TextConversion, InvalidInputGivesEmptyText) {
    EXPECT_EQ(wideToUtf8(std::u16string(1, char16_t(0xD800))), "");
    EXPECT_EQ(wideToUtf8(u"ab" + std::u16string(1, char16_t(0xDC00))), "");
    EXPECT_EQ(wideToUtf8(std::u16string{char16_t(0xDBFF), u'a'}), "");
    EXPECT_EQ(utf8ToWide("ab\xFF"), u"");
    EXPECT_EQ(utf8ToWide("\xC0\x80"), u"");          // overlong
    EXPECT_EQ(utf8ToWide("\xED\xA0\x80"), u"");      // encoded surrogate
    EXPECT_EQ(utf8ToWide("\xF4\x90\x80\x80"), u"");  // beyond U+10FFFF
    EXPECT_EQ(utf8ToWide("\xE2\x82"), u"");          // cut off
    EXPECT_EQ(utf8ToWide(""), u"");
    EXPECT_EQ(wideToUtf8(u""), "");
}

TEST(ToValidUtf8, ReplacesEachByteThatStartsNoValidSequence) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},
        {"caf\xC3\xA9 \xF0\x9F\x98\x80", "caf\xC3\xA9 \xF0\x9F\x98\x80"},
        {std::string("a\0b", 3), std::string("a\0b", 3)},
        {"caf\xE9", "caf\xEF\xBF\xBD"},
        {"\xC0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // overlong
        {"\xED\xA0\x80x", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBDx"},  // encoded surrogate
        {"\xE2\x82", "\xEF\xBF\xBD\xEF\xBF\xBD"},                  // cut off
        {"\xE2\x82\xE2\x82\xAC", "\xEF\xBF\xBD\xEF\xBF\xBD\xE2\x82\xAC"},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(toValidUtf8(text), expected) << text;
}

}  // namespace velmora
