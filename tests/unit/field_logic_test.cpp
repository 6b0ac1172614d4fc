// The field tests' own decisions (tests/field/field_logic.h): how rows are
// counted, which facility is missing where, and how the machine's answers
// are compared with the inventory.
#include "field/field_logic.h"

#include <gtest/gtest.h>

namespace velmora::field {
namespace {

TEST(FieldLogic, OutcomesAndClosingLine) {
    Tally tally;
    count(tally, outcomeOf(false, false, ""));
    count(tally, outcomeOf(true, true, "could not be arranged: x"));  // a failure counts first
    count(tally, outcomeOf(false, true, "field_rows_win.cpp(12): Skipped\nWine has no oplocks"));
    count(tally, outcomeOf(false, true, "Skipped\ncould not be arranged: NetUserAdd: error 5"));
    std::string line = closingLine(tally);
    EXPECT_EQ(line, "fieldtests: 1 passed, 1 failed, 1 skipped, 1 not arranged");
    std::optional<Tally> back = parseClosingLine(line);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->passed + back->failed * 10 + back->skipped * 100 + back->notArranged * 1000, 1111);
    EXPECT_FALSE(parseClosingLine("fieldtests: 1 passed, 0 failed"));
    EXPECT_EQ(exitStatusOf(tally, false), 1);
    EXPECT_EQ(exitStatusOf({3, 0, 2, 1}, false), 0);
    EXPECT_EQ(exitStatusOf({3, 0, 2, 1}, true), 2);
}

// No row is ever skipped on Windows for a reason that holds only under Wine.
TEST(FieldLogic, WineReasonsOnlyUnderWine) {
    const Facility all[] = {Facility::Administrator, Facility::MountPoints,   Facility::SymbolicLinks,
                            Facility::ObjectManagerLinks, Facility::FileSecurity, Facility::SecondAccount,
                            Facility::SystemAccount, Facility::Oplocks,      Facility::PosixRename,
                            Facility::SecurityCenter, Facility::ServerStatus};
    MachineFacts windows{false, true, true, false, 22631};
    MachineFacts server{false, true, false, true, 20348};
    MachineFacts wine{true, false, false, false, 7601};
    for (Facility facility : all) {
        std::optional<std::string> onWindows = whyUnavailable(facility, windows);
        std::optional<std::string> onServer = whyUnavailable(facility, server);
        EXPECT_TRUE(!onWindows || onWindows->find("Wine") == std::string::npos);
        EXPECT_TRUE(!onServer || onServer->find("Wine") == std::string::npos);
        if (facility != Facility::ServerStatus) {
            EXPECT_FALSE(onWindows) << *onWindows;
        }
        if (facility != Facility::Administrator) {
            EXPECT_TRUE(whyUnavailable(facility, wine));
        }
    }
    EXPECT_FALSE(whyUnavailable(Facility::Administrator, wine));  // Wine's one user may do it all
    EXPECT_TRUE(whyUnavailable(Facility::SecurityCenter, server));
    EXPECT_FALSE(whyUnavailable(Facility::ServerStatus, server));
    EXPECT_TRUE(whyUnavailable(Facility::PosixRename, MachineFacts{false, true, true, false, 17134}));
    EXPECT_TRUE(whyUnavailable(Facility::MountPoints, MachineFacts{false, false, true, false, 22631}));
}

TEST(FieldLogic, WholeVerdict) {
    const std::pair<const char*, bool> cases[] = {
        {"0\r\ndoesn't matched with any field!\r\nContoso Laptop 14\r\n", true},
        {"1\r\nav\r\n\r\n", true},
        {"1\r\nav\r\n", false},                    // cut after two lines
        {"1\r\nav\r\n-", false},                   // the last line not ended
        {"1\r\nav\r\n-\r\nextra\r\n", false},      // a fourth line
        {"2\r\nav\r\n-\r\n", false},               // not a verdict digit
        {"1\r\nantivirus\r\n-\r\n", false},        // not one of the six messages
        {"1\nav\r\n-\r\n", false},                 // a bare line feed
        {"", false},
    };
    for (const auto& [bytes, whole] : cases) EXPECT_EQ(isWholeVerdict(bytes), whole) << bytes;
}

TEST(FieldLogic, ProductStateAndComparison) {
    EXPECT_EQ(stateFromProductState(0x061100), "on");     // Defender, on, up to date
    EXPECT_EQ(stateFromProductState(0x061110), "on");     // on, signatures out of date
    EXPECT_EQ(stateFromProductState(0x060100), "off");
    EXPECT_EQ(stateFromProductState(0x042000), "snoozed");
    EXPECT_EQ(stateFromProductState(0x043000), "expired");
    EXPECT_EQ(stateFromProductState(0x04F000), "expired");  // undefined, as the inventory names it

    nlohmann::json inventory = nlohmann::json::parse(
        R"({"av":[{"name":"B","state":"on"},{"name":"A","state":"off"}],"firewall":null,"os":"Win 11"})");
    std::vector<ProductSeen> av = productsOfKind(inventory, "av");
    EXPECT_TRUE(productsOfKind(inventory, "firewall").empty());
    EXPECT_TRUE(productsOfKind(inventory, "antispyware").empty());
    EXPECT_TRUE(compareProducts(av, {{"A", "off"}, {"B", "on"}}).empty());  // WMI's own order
    std::vector<std::string> differences = compareProducts(av, {{"A", "on"}, {"B", "on"}, {"B", "on"}});
    ASSERT_EQ(differences.size(), 3u);
    EXPECT_EQ(differences[0], "only in the inventory: \"A\" off");
    EXPECT_EQ(differences[1], "only in the system's answer: \"A\" on");
    EXPECT_EQ(differences[2], "only in the system's answer: \"B\" on");  // a product listed twice
}

TEST(FieldLogic, ServerStatusFromPowerShell) {
    auto status = parseNameValueLines(
        "AMServiceEnabled=True\r\nAntivirusEnabled=True\r\nAntispywareEnabled=False\r\n"
        "RealTimeProtectionEnabled=True\r\nAMRunningMode=Normal\r\nnoise without equals\r\n");
    EXPECT_EQ(expectedDefenderState(status, false), std::optional<std::string>("on"));
    EXPECT_EQ(expectedDefenderState(status, true), std::optional<std::string>("off"));
    auto passive = parseNameValueLines("AMServiceEnabled=True\nAntivirusEnabled=True\nRealTimeProtectionEnabled=True\n"
                                       "AMRunningMode=Passive Mode\n");
    EXPECT_EQ(expectedDefenderState(passive, false), std::optional<std::string>("off"));
    auto older = parseNameValueLines("AMServiceEnabled=True\nAntivirusEnabled=True\nRealTimeProtectionEnabled=True\n"
                                     "AMRunningMode=\n");
    EXPECT_EQ(expectedDefenderState(older, false), std::optional<std::string>("on"));
    EXPECT_EQ(expectedDefenderState(parseNameValueLines("error text\n"), false), std::nullopt);

    auto profiles = parseNameValueLines("Domain=False\nPrivate=True\nPublic=True\n");
    EXPECT_EQ(expectedFirewallState(profiles, {"Private", "Public"}), "on");
    EXPECT_EQ(expectedFirewallState(profiles, {"DomainAuthenticated", "Private"}), "off");
    EXPECT_EQ(expectedFirewallState(profiles, {}), "off");  // no profile current
}

TEST(FieldLogic, FileInheritsFolderEntries) {
    // logs as docs/security.md sets it: SYSTEM and Administrators (OI)(CI)F,
    // Authenticated Users on the folder only, CREATOR OWNER inherit-only.
    std::vector<AceFacts> logs = {{"S-1-5-18", 0x1F01FF, 0x3},
                                  {"S-1-5-32-544", 0x1F01FF, 0x3},
                                  {"S-1-5-11", 0x1200A9 | 0x6, 0x0},
                                  {"S-1-3-0", 0x10000000, 0xB},
                                  {"S-1-5-11", 0x80000000, 0x9}};  // generic read, inherited by files
    std::vector<AceFacts> file = inheritedByNewFile(logs, "S-1-5-21-1-2-3-1001");
    EXPECT_EQ(describeGrants(file), "S-1-5-11:0x120089,S-1-5-18:0x1f01ff,S-1-5-21-1-2-3-1001:0x1f01ff,S-1-5-32-544:0x1f01ff");
    std::vector<AceFacts> seen = {{"S-1-5-32-544", 0x1F01FF, 0x10}, {"S-1-5-18", 0x1F01FF, 0x10},
                                  {"S-1-5-21-1-2-3-1001", 0x1F01FF, 0x10}, {"S-1-5-11", 0x120089, 0x10}};
    EXPECT_TRUE(sameGrants(seen, file));
    seen.push_back({"S-1-5-11", 0x13019F, 0});  // a planted file's grant carried over
    EXPECT_FALSE(sameGrants(seen, file));
    EXPECT_EQ(versionFromFixed(0x00040012, 0x5DFA000B), "4.18.24058.11");
}

}  // namespace
}  // namespace velmora::field
