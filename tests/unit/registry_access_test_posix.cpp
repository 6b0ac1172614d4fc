// The registry stand-in of the Linux build.
#include "registry/registry_access.h"
#include "system/system_identity.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace velmora {

namespace fs = std::filesystem;

namespace {

class RegistryStandIn : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("velmora-registry-" + std::to_string(::getpid()));
        fs::remove_all(root);
        fs::create_directories(root / "Registry" / "HKEY_LOCAL_MACHINE" / "SOFTWARE" / "Contoso" / "Sub");
        fs::create_directories(root / "Registry" / "HKEY_CURRENT_USER");
        setenv("VELMORA_PROGRAMDATA", root.c_str(), 1);
    }
    void TearDown() override {
        for (auto& entry : fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied))
            if (entry.is_directory()) fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add);
        fs::permissions(root / "Registry" / "HKEY_LOCAL_MACHINE" / "SOFTWARE" / "Contoso", fs::perms::owner_all,
                        fs::perm_options::add);
        fs::remove_all(root);
        unsetenv("VELMORA_PROGRAMDATA");
    }
    void writeValue(const fs::path& key, const std::string& name, const std::string& text) {
        std::ofstream(root / "Registry" / key / name, std::ios::binary) << text;
    }
    fs::path root;
};

}  // namespace

TEST_F(RegistryStandIn, OpensKeysIgnoringAsciiCase) {
    EXPECT_EQ(openRegistryKeyForRead(RegistryRoot::LocalMachine, u"SOFTWARE\\Contoso"), kErrorSuccess);
    EXPECT_EQ(openRegistryKeyForRead(RegistryRoot::LocalMachine, u"software\\CONTOSO\\sub"), kErrorSuccess);
    EXPECT_EQ(openRegistryKeyForRead(RegistryRoot::LocalMachine, u"SOFTWARE\\Contoso\\"), kErrorSuccess);
    EXPECT_EQ(openRegistryKeyForRead(RegistryRoot::CurrentUser, u""), kErrorSuccess);
}

TEST_F(RegistryStandIn, MissingKeysValuesAndEscapesAreNotFound) {
    writeValue("HKEY_LOCAL_MACHINE/SOFTWARE/Contoso", "Value", "x");
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
    fs::permissions(root / "Registry" / "HKEY_LOCAL_MACHINE" / "SOFTWARE" / "Contoso", fs::perms::none);
    EXPECT_EQ(openRegistryKeyForRead(RegistryRoot::LocalMachine, u"SOFTWARE\\Contoso"), kErrorAccessDenied);
}

TEST_F(RegistryStandIn, ReadsStringValuesExactly) {
    writeValue("HKEY_LOCAL_MACHINE/SOFTWARE/Contoso", "Name", "Caf\xC3\xA9 \n");
    writeValue("HKEY_LOCAL_MACHINE/SOFTWARE/Contoso", "Bad", "\xFF");
    std::u16string text;
    EXPECT_EQ(readRegistryString(RegistryRoot::LocalMachine, u"SOFTWARE\\contoso", u"NAME", text), kErrorSuccess);
    EXPECT_EQ(text, u"Caf\u00e9 \n");
    EXPECT_NE(readRegistryString(RegistryRoot::LocalMachine, u"SOFTWARE\\Contoso", u"Bad", text), kErrorSuccess);
    EXPECT_EQ(readRegistryString(RegistryRoot::LocalMachine, u"SOFTWARE\\Contoso", u"Sub", text), kErrorFileNotFound);
    EXPECT_EQ(readRegistryString(RegistryRoot::LocalMachine, u"SOFTWARE\\Contoso", u"..", text), kErrorFileNotFound);
}

TEST_F(RegistryStandIn, ModelNameHonoursTheWindowsBufferLimit) {
    const fs::path key = "HKEY_LOCAL_MACHINE/SYSTEM/CurrentControlSet/Control/SystemInformation";
    fs::create_directories(root / "Registry" / key);
    std::u16string text;
    EXPECT_FALSE(readSystemProductName(text));
    writeValue(key, "SystemProductName", std::string(254, 'm'));
    ASSERT_TRUE(readSystemProductName(text));
    EXPECT_EQ(text, std::u16string(254, u'm'));
    writeValue(key, "SystemProductName", std::string(255, 'm'));
    EXPECT_FALSE(readSystemProductName(text));
}

TEST_F(RegistryStandIn, OsVersionNeedsAllThreeDecimalValues) {
    const fs::path key = "HKEY_LOCAL_MACHINE/SOFTWARE/Microsoft/Windows NT/CurrentVersion";
    fs::create_directories(root / "Registry" / key);
    writeValue(key, "CurrentMajorVersionNumber", "10");
    writeValue(key, "CurrentMinorVersionNumber", "0");
    EXPECT_EQ(queryOsVersion().majorVersion, 0u);  // build number missing: all zero
    writeValue(key, "CurrentBuildNumber", "22621");
    OsVersionRecord record = queryOsVersion();
    EXPECT_EQ(record.majorVersion, 10u);
    EXPECT_EQ(record.buildNumber, 22621u);
    writeValue(key, "CurrentBuildNumber", "22621 ");
    EXPECT_EQ(queryOsVersion().buildNumber, 0u);
    writeValue(key, "CurrentBuildNumber", "99999999999");
    EXPECT_EQ(queryOsVersion().majorVersion, 0u);
}

}  // namespace velmora
