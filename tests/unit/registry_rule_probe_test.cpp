// The registry rule probe: prefixes, operators, outcomes and messages.
// On Linux the keys live in the folder stand-in below a temporary
// ProgramData; on Windows the probe reads the real registry, where
// HKEY_LOCAL_MACHINE\SOFTWARE exists on every machine.
#include "common/text.h"
#include "posture/registry_rule_probe.h"
#include "test_support.h"

#include <gtest/gtest.h>

namespace velmora {

namespace {

const std::string kInvalidPath = "Invalid registry path format found!";
const std::u16string kExisting = u"Computer\\HKEY_LOCAL_MACHINE\\SOFTWARE";
const std::u16string kMissing = u"Computer\\HKEY_LOCAL_MACHINE\\SOFTWARE\\VelmoraNoSuchKey";

class RegistryProbe : public ::testing::Test {
protected:
#ifndef _WIN32
    void SetUp() override {
        for (const char* key : {R"(HKEY_CURRENT_USER\Software\Contoso)", R"(HKEY_USERS\S-1-5-18)",
                                R"(HKEY_CLASSES_ROOT\.txt)", R"(HKEY_CURRENT_CONFIG\System)"}) {
            machine_.addRegistryKey(key);
        }
        machine_.denyRegistryKey(R"(HKEY_LOCAL_MACHINE\SOFTWARE\Denied)");
    }
#endif
    ScratchMachine machine_;
};

struct ProbeCase {
    std::u16string path;
    PostureOperator op;
    bool expected;
    std::string message;  // after the probe; "kept" when untouched
};

void expectProbes(const std::vector<ProbeCase>& cases) {
    for (const auto& c : cases) {
        std::string message = "kept";
        EXPECT_EQ(probeRegistryPath(c.path, c.op, message), c.expected)
            << wideToUtf8(c.path) << " " << postureOperatorName(c.op);
        EXPECT_EQ(message, c.message) << wideToUtf8(c.path) << " " << postureOperatorName(c.op);
    }
}

}  // namespace

TEST_F(RegistryProbe, ExistingAndMissingKeysUnderExistAndNotExist) {
    expectProbes({
        {kExisting, OPERATOR_ENUM_EXIST, true, "kept"},
        {kExisting, OPERATOR_ENUM_NOT_EXIST, false, "kept"},
        {kMissing, OPERATOR_ENUM_EXIST, false, "kept"},
        {kMissing, OPERATOR_ENUM_NOT_EXIST, true, "kept"},
        {u"Computer\\HKEY_LOCAL_MACHINE\\software", OPERATOR_ENUM_EXIST, true, "kept"},  // key names ignore case
        // A NUL inside a name must not let a shorter path be tested.
        {kExisting + std::u16string(1, u'\0') + u"x", OPERATOR_ENUM_EXIST, false, "kept"},
    });
    EXPECT_EQ(machine_.log.info(0), "subkeyW: [SOFTWARE]");
}

TEST_F(RegistryProbe, OtherOperatorsFailEvenForExistingKeys) {
    for (int op : {0, 1, 2, 3, 4, 5, 8, 99}) {
        expectProbes({{kExisting, static_cast<PostureOperator>(op), false, "kept"},
                      {kMissing, static_cast<PostureOperator>(op), false, "kept"}});
    }
}

TEST_F(RegistryProbe, OnlyTheFiveExactPrefixesWithASubkeyAreValid) {
    const std::u16string invalid[] = {
        u"HKEY_LOCAL_MACHINE\\SOFTWARE",           u"computer\\HKEY_LOCAL_MACHINE\\SOFTWARE",
        u"Computer\\HKLM\\SOFTWARE",               u"Computer\\HKEY_USERS\\",
        u"Computer\\HKEY_LOCAL_MACHINE",           u" Computer\\HKEY_LOCAL_MACHINE\\SOFTWARE",
        u"Computer/HKEY_LOCAL_MACHINE/SOFTWARE",   u"",
    };
    for (const auto& path : invalid) {
        expectProbes({{path, OPERATOR_ENUM_EXIST, false, kInvalidPath},
                      {path, OPERATOR_ENUM_EQUAL, false, kInvalidPath},
                      {path, OPERATOR_ENUM_NOT_EXIST, true, "kept"}});
    }
    EXPECT_TRUE(machine_.log.records().empty());  // invalid paths log nothing
}

TEST_F(RegistryProbe, ListPassesOnTheFirstPassingItemAndKeepsEarlierMessages) {
    struct Case {
        std::string list;
        PostureOperator op;
        bool expected;
        std::string message;
    };
    const std::string existing = wideToUtf8(kExisting);
    const std::string missing = wideToUtf8(kMissing);
    const Case cases[] = {
        {"", OPERATOR_ENUM_EXIST, false, "kept"},
        {",", OPERATOR_ENUM_NOT_EXIST, true, "kept"},  // one empty item: invalid, so not_exist passes
        {missing + ", " + existing, OPERATOR_ENUM_EXIST, false, kInvalidPath},
        {missing + "," + existing, OPERATOR_ENUM_EXIST, true, "kept"},
        {"HKLM\\X," + existing, OPERATOR_ENUM_EXIST, true, kInvalidPath},
        {existing + "," + existing, OPERATOR_ENUM_NOT_EXIST, false, "kept"},
        {existing + "," + missing, OPERATOR_ENUM_NOT_EXIST, true, "kept"},
        {"Computer\\HKEY_LOCAL_MACHINE\\\xFF", OPERATOR_ENUM_NOT_EXIST, true, "kept"},  // bad UTF-8: no path
    };
    for (const auto& c : cases) {
        std::string message = "kept";
        EXPECT_EQ(probeRegistryList(c.list, c.op, message), c.expected) << c.list;
        EXPECT_EQ(message, c.message) << c.list;
    }
}

#ifndef _WIN32
TEST_F(RegistryProbe, EveryRootIsReachedThroughItsPrefix) {
    expectProbes({
        {u"Computer\\HKEY_CURRENT_USER\\Software\\Contoso", OPERATOR_ENUM_EXIST, true, "kept"},
        {u"Computer\\HKEY_USERS\\S-1-5-18", OPERATOR_ENUM_EXIST, true, "kept"},
        {u"Computer\\HKEY_CLASSES_ROOT\\.txt", OPERATOR_ENUM_EXIST, true, "kept"},
        {u"Computer\\HKEY_CURRENT_CONFIG\\System", OPERATOR_ENUM_EXIST, true, "kept"},
        {u"Computer\\HKEY_CURRENT_USER\\System", OPERATOR_ENUM_EXIST, false, "kept"},
    });
}

TEST_F(RegistryProbe, UnreadableKeyCountsAsAnOpenErrorWithItsStatus) {
    const std::u16string denied = u"Computer\\HKEY_LOCAL_MACHINE\\SOFTWARE\\Denied";
    const std::string expected = "error in opening registry path! ERROR: 5, RegPath: " + wideToUtf8(denied);
    expectProbes({{denied, OPERATOR_ENUM_EXIST, false, expected},
                  {denied, OPERATOR_ENUM_NOT_EXIST, true, expected},
                  {denied, OPERATOR_ENUM_EQUAL, false, expected}});
    const std::vector<std::string> lines = machine_.log.infos();
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "subkeyW: [SOFTWARE\\Denied]");
    EXPECT_EQ(lines[1], expected);
}
#endif

}  // namespace velmora
