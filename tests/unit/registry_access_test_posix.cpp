// The registry stand-in of the Linux build.
#include "registry/registry_access.h"
#include "system/system_identity.h"

#include "test_support.h"

#include <gtest/gtest.h>

namespace velmora {

namespace {

class RegistryStandIn : public ::testing::Test {
protected:
    void SetUp() override {
        machine.addRegistryKey(R"(HKEY_LOCAL_MACHINE\SOFTWARE\Contoso\Sub)");
        machine.addRegistryKey("HKEY_CURRENT_USER");
    }
    ScratchMachine machine;
};

}  // namespace

TEST_F(RegistryStandIn, OpensKeysIgnoringAsciiCase) {
    EXPECT_EQ(openRegistryKeyForRead(RegistryRoot::LocalMachine, u"SOFTWARE\\Contoso"), kErrorSuccess);
    EXPECT_EQ(openRegistryKeyForRead(RegistryRoot::LocalMachine, u"software\\CONTOSO\\sub"), kErrorSuccess);
    EXPECT_EQ(openRegistryKeyForRead(RegistryRoot::LocalMachine, u"SOFTWARE\\Contoso\\"), kErrorSuccess);
    EXPECT_EQ(openRegistryKeyForRead(RegistryRoot::CurrentUser, u""), kErrorSuccess);
}

TEST_F(RegistryStandIn, MissingKeysValuesAndEscapesAreNotFound) {
    machine.setRegistryValue(R"(HKEY_LOCAL_MACHINE\SOFTWARE\Contoso)", "Value", "x");
    const std::u16string missing[] = {
        u"SOFTWARE\\Nothing",        u"SOFTWARE\\Contoso\\Value",  // a value is no key
        u"SOFTWARE\\..\\SOFTWARE",   u"..\\HKEY_CURRENT_USER",    u"SOFTWARE\\.",
        u"SOFTWARE/Contoso",         u"SOFTWARE\\\\Contoso",       u"\\SOFTWARE",
        std::u16string(1, char16_t(0xD800)),
    };
    for (const auto& key : missing) {
        EXPECT_EQ(openRegistryKeyForRead(RegistryRoot::LocalMachine, key), kErrorFileNotFound);
    }
    EXPECT_EQ(openRegistryKeyForRead(RegistryRoot::Users, u"x"), kErrorFileNotFound);  // no root folder
}

TEST_F(RegistryStandIn, UnreadableKeyIsAccessDenied) {
    machine.denyRegistryKey(R"(HKEY_LOCAL_MACHINE\SOFTWARE\Contoso)");
    EXPECT_EQ(openRegistryKeyForRead(RegistryRoot::LocalMachine, u"SOFTWARE\\Contoso"), kErrorAccessDenied);
}

TEST_F(RegistryStandIn, ReadsStringValuesExactly) {
    machine.setRegistryValue(R"(HKEY_LOCAL_MACHINE\SOFTWARE\Contoso)", "Name", "Caf\xC3\xA9 \n");
    machine.setRegistryValue(R"(HKEY_LOCAL_MACHINE\SOFTWARE\Contoso)", "Bad", "\xFF");
    std::u16string text;
    EXPECT_EQ(readRegistryString(RegistryRoot::LocalMachine, u"SOFTWARE\\contoso", u"NAME", text), kErrorSuccess);
    EXPECT_EQ(text, u"Caf\u00e9 \n");
    EXPECT_NE(readRegistryString(RegistryRoot::LocalMachine, u"SOFTWARE\\Contoso", u"Bad", text), kErrorSuccess);
    EXPECT_EQ(readRegistryString(RegistryRoot::LocalMachine, u"SOFTWARE\\Contoso", u"Sub", text), kErrorFileNotFound);
    EXPECT_EQ(readRegistryString(RegistryRoot::LocalMachine, u"SOFTWARE\\Contoso", u"..", text), kErrorFileNotFound);
}

TEST_F(RegistryStandIn, ModelNameHonoursTheWindowsBufferLimit) {
    const std::string key = R"(HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\SystemInformation)";
    machine.addRegistryKey(key);
    std::u16string text;
    EXPECT_FALSE(readSystemProductName(text));
    machine.setRegistryValue(key, "SystemProductName", std::string(254, 'm'));
    ASSERT_TRUE(readSystemProductName(text));
    EXPECT_EQ(text, std::u16string(254, u'm'));
    machine.setRegistryValue(key, "SystemProductName", std::string(255, 'm'));
    EXPECT_FALSE(readSystemProductName(text));
}

TEST_F(RegistryStandIn, OsVersionNeedsAllThreeDecimalValues) {
    const std::string key = R"(HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows NT\CurrentVersion)";
    machine.setRegistryValue(key, "CurrentMajorVersionNumber", "10");
    machine.setRegistryValue(key, "CurrentMinorVersionNumber", "0");
    EXPECT_EQ(queryOsVersion().majorVersion, 0u);  // build number missing: all zero
    machine.setRegistryValue(key, "CurrentBuildNumber", "22621");
    OsVersionRecord record = queryOsVersion();
    EXPECT_EQ(record.majorVersion, 10u);
    EXPECT_EQ(record.buildNumber, 22621u);
    machine.setRegistryValue(key, "CurrentBuildNumber", "22621 ");
    EXPECT_EQ(queryOsVersion().buildNumber, 0u);
    machine.setRegistryValue(key, "CurrentBuildNumber", "99999999999");
    EXPECT_EQ(queryOsVersion().majorVersion, 0u);
}

}  // namespace velmora
