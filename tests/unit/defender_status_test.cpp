// Defender's status turned into the Security Center's terms, and the reader
// of the status.json that describes a test machine's provider.
#include <gtest/gtest.h>

#include "inventory/defender_status.h"
#include "inventory/security_product.h"
#include "standin/defender_status_file.h"

namespace velmora {

namespace {

DefenderProperties allOn() {
    DefenderProperties p;
    p.amServiceEnabled = p.antivirusEnabled = p.antispywareEnabled = p.realTimeProtectionEnabled = true;
    p.amRunningMode = "Normal";
    p.antivirusSignatureAge = 1;
    p.defenderSignaturesOutOfDate = false;
    return p;
}

TEST(DefenderStatus, StateAndSignaturesInTheSecurityCentersTerms) {
    constexpr std::int32_t on = 0, off = 1, upToDate = 1, outOfDate = 0;
    struct Case {
        const char* name;
        void (*change)(DefenderProperties&);
        std::int32_t antivirusState;
        std::int32_t antispywareState;
        std::int32_t signatures;
    };
    const Case cases[] = {
        {"all on", [](DefenderProperties&) {}, on, on, upToDate},
        {"service off", [](DefenderProperties& p) { p.amServiceEnabled = false; }, off, off, upToDate},
        {"service unknown", [](DefenderProperties& p) { p.amServiceEnabled.reset(); }, off, off, upToDate},
        {"real-time off", [](DefenderProperties& p) { p.realTimeProtectionEnabled = false; }, off, off, upToDate},
        {"antivirus off", [](DefenderProperties& p) { p.antivirusEnabled = false; }, off, on, upToDate},
        {"antispyware off", [](DefenderProperties& p) { p.antispywareEnabled = false; }, on, off, upToDate},
        {"passive", [](DefenderProperties& p) { p.amRunningMode = "Passive"; }, off, off, upToDate},
        {"mode in other case", [](DefenderProperties& p) { p.amRunningMode = "normal"; }, off, off, upToDate},
        {"old platform, fresh", [](DefenderProperties& p) {
             p.amRunningMode.reset();
             p.defenderSignaturesOutOfDate.reset();
             p.antivirusSignatureAge = 7;
         }, on, on, upToDate},
        {"old platform, stale", [](DefenderProperties& p) {
             p.amRunningMode.reset();
             p.defenderSignaturesOutOfDate.reset();
             p.antivirusSignatureAge = 8;
         }, on, on, outOfDate},
        {"old platform, no age", [](DefenderProperties& p) {
             p.defenderSignaturesOutOfDate.reset();
             p.antivirusSignatureAge.reset();
         }, on, on, upToDate},
        {"out of date says so", [](DefenderProperties& p) { p.defenderSignaturesOutOfDate = true; }, on, on,
         outOfDate},
        {"the flag wins over the age", [](DefenderProperties& p) { p.antivirusSignatureAge = 30; }, on, on,
         upToDate},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DefenderProperties p = allOn();
        c.change(p);
        const DefenderProductState antivirus = defenderProductState(p, PROVIDER_ANTIVIRUS);
        const DefenderProductState antispyware = defenderProductState(p, PROVIDER_ANTISPYWARE);
        EXPECT_EQ(antivirus.productState, c.antivirusState);
        EXPECT_EQ(antispyware.productState, c.antispywareState);
        EXPECT_EQ(antivirus.signatureStatus, c.signatures);
        EXPECT_EQ(antispyware.signatureStatus, c.signatures);
    }
}

TEST(DefenderStatus, VersionIsKeptOnlyInTheFormOfAVersionResource) {
    const std::pair<std::optional<std::string>, std::string> cases[] = {
        {"4.18.24090.11", "4.18.24090.11"},
        {"0.0.65535.0", "0.0.65535.0"},
        {std::nullopt, ""},
        {"", ""},
        {"4.18.2409.0011-beta", ""},
        {"4.18.2409.0011", ""},
        {"1.2.3.4.5", ""},
        {"1.2.3", ""},
        {"1.2.3.", ""},
        {"1.2..4", ""},
        {"1.2.3.65536", ""},
        {"1.2.3.99999999999", ""},
        {" 1.2.3.4", ""},
        {"1.2.3.+4", ""},
    };
    for (const auto& [given, written] : cases) {
        SCOPED_TRACE(given.value_or("(absent)"));
        DefenderProperties p = allOn();
        p.amProductVersion = given;
        EXPECT_EQ(defenderVersionText(p), written);
    }
}

TEST(DefenderStatusFile, ShapesThatDescribeAProviderAndThoseThatDoNot) {
    const struct {
        const char* text;
        bool usable;
    } cases[] = {
        {"{}", true},
        {R"({"AntivirusSignatureAge": 4294967295, "delay_ms": 0, "Unknown": [1]})", true},
        {"[]", false},
        {"", false},
        {R"({"AMServiceEnabled": 1})", false},
        {R"({"AMProductVersion": true})", false},
        {R"({"AntivirusSignatureAge": -1})", false},
        {R"({"AntivirusSignatureAge": 4294967296})", false},
        {R"({"AntivirusSignatureAge": 1.5})", false},
        {R"({"AMRunningMode": null})", false},
        {R"({"delay_ms": "10"})", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        DefenderStatusFile parsed;
        EXPECT_EQ(parseDefenderStatusFile(c.text, parsed), c.usable);
    }
}

TEST(DefenderStatusFile, EachMemberIsThePropertyOfItsName) {
    DefenderStatusFile parsed;
    ASSERT_TRUE(parseDefenderStatusFile(R"({"AMServiceEnabled": true, "AntivirusEnabled": false,
        "RealTimeProtectionEnabled": true, "AMRunningMode": "Passive", "AMProductVersion": "4.18.1.2",
        "AntivirusSignatureAge": 9, "DefenderSignaturesOutOfDate": true, "delay_ms": 250})",
                                        parsed));
    const DefenderProperties& p = parsed.properties;
    EXPECT_EQ(p.amServiceEnabled, true);
    EXPECT_EQ(p.antivirusEnabled, false);
    EXPECT_FALSE(p.antispywareEnabled.has_value());
    EXPECT_EQ(p.realTimeProtectionEnabled, true);
    EXPECT_EQ(p.amRunningMode, "Passive");
    EXPECT_EQ(p.amProductVersion, "4.18.1.2");
    EXPECT_EQ(p.antivirusSignatureAge, 9u);
    EXPECT_EQ(p.defenderSignaturesOutOfDate, true);
    EXPECT_EQ(parsed.delayMs, 250u);
}

}  // namespace

}  // namespace velmora
