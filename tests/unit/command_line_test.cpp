#include "app/command_line.h"

#include <gtest/gtest.h>

namespace velmora {

namespace {
CommandLine parse(std::initializer_list<std::u16string> args) {
    CommandLine commandLine;
    for (const auto& arg : args) applyArgument(arg, commandLine);
    return commandLine;
}
}  // namespace

TEST(CommandLine, SwitchesMatchWholeArgumentsIgnoringAsciiCase) {
    CommandLine c = parse({u"-av", u"-AS", u"-Fw", u"-avx", u"av", u"-a", u"-\u00e1v", u"-av "});
    EXPECT_EQ(c.kinds, (std::vector<ProviderKind>{PROVIDER_ANTIVIRUS, PROVIDER_ANTISPYWARE, PROVIDER_FIREWALL}));
    EXPECT_EQ(c.outputPath, u"");
}

TEST(CommandLine, RepeatedSwitchesAreAllKept) {
    CommandLine c;
    for (int i = 0; i < 10000; ++i) applyArgument(u"-av", c);
    EXPECT_EQ(c.kinds.size(), 10000u);
}

TEST(CommandLine, OutputPathIsTheTextAfterTheFirstMarkerOfTheLastMatchingArgument) {
    EXPECT_EQ(parse({u"-outpath=a.json", u"-outpath=b.json"}).outputPath, u"b.json");
    EXPECT_EQ(parse({u"x-outpath=a.json"}).outputPath, u"a.json");
    EXPECT_EQ(parse({u"-outpath=a-outpath=b"}).outputPath, u"a-outpath=b");
    EXPECT_EQ(parse({u"-outpath=a.json", u"-outpath="}).outputPath, u"");
    EXPECT_EQ(parse({u"-OUTPATH=a.json"}).outputPath, u"");
    EXPECT_EQ(parse({u"-outpath=C:\\t\\\u00fc.json"}).outputPath, u"C:\\t\\\u00fc.json");
}

TEST(CommandLine, ASwitchIsNeverTakenAsOutputPath) {
    CommandLine c = parse({u"-outpath=a", u"-fw"});
    EXPECT_EQ(c.outputPath, u"a");
    EXPECT_EQ(c.kinds, std::vector<ProviderKind>{PROVIDER_FIREWALL});
}

}  // namespace velmora
