// Access rules read back: docs/security.md's icacls lines applied to a fresh
// Velmora for each deployment model, then a run as SYSTEM, the test account
// and the current account; the per-user folder's DACL, check.json's DACL and
// who may write it are read back. The POSIX-semantics replacement under a
// reader that shares delete. Long paths.
#include "field/field_access_rules.h"
#include "field/field_plant_win.h"
#include "field/field_rows_win.h"

#include <aclapi.h>
#include <sddl.h>

namespace velmora::field {
namespace {

enum class Account { System, TestAccount, Current };

bool mayWrite(const std::wstring& path, const std::string& sid) {
    std::optional<DaclFacts> facts = daclOf(path);
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!facts || GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                        nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    PSID trustee = nullptr;
    ConvertStringSidToSidW(wide(sid).c_str(), &trustee);
    TRUSTEE_W who{};
    who.TrusteeForm = TRUSTEE_IS_SID;
    who.ptstrName = static_cast<wchar_t*>(trustee);
    ACCESS_MASK rights = 0;
    bool ok = GetEffectiveRightsFromAclW(dacl, &who, &rights) == ERROR_SUCCESS;
    LocalFree(trustee);
    LocalFree(descriptor);
    return ok && (rights & FILE_WRITE_DATA);
}

void accessRulesRow(std::size_t modelIndex, Account account) {
    const DeploymentModel& model = kDeploymentModels.at(modelIndex);
    if (model.placeholder && !model.usersMayWriteVerdict)
        GTEST_SKIP() << "docs/security.md gives no icacls lines for \"" << model.name << "\" yet";
    applyDeploymentModel(model);
    std::wstring user;
    std::string sid;
    RunResult result;
    if (account == Account::System) {
        user = L"SYSTEM";
        sid = "S-1-5-18";
        result = runAsSystem(usualRun(), machine().work);
    } else if (account == Account::TestAccount) {
        const TestAccount& test = testAccount();
        user = test.name;
        sid = test.sid;
        std::wstring scratch = machine().work + L"\\account";
        CreateDirectoryW(scratch.c_str(), nullptr);
        grantFullAccess(scratch, sid);
        RunRequest request = usualRun();
        request.arguments.back() = L"-outpath=" + scratch + L"\\inventory.json";
        result = runAsAccount(request, test.name, test.password);
    } else {
        user = machine().userName;
        sid = currentUserSid();
        result = runAsCurrent(usualRun());
    }
    expectEnded(result);
    // Where users may not create anything in logs, a user's run cannot
    // start its log: exit status 1, and nothing written.
    if (!model.usersMayWriteVerdict && account == Account::TestAccount) {
        EXPECT_EQ(result.exitCode, 1u);
        EXPECT_FALSE(exists(userFolder(user)));
        EXPECT_FALSE(exists(checkJsonPath()));
        return;
    }
    std::optional<DaclFacts> folder = daclOf(userFolder(user));
    ASSERT_TRUE(folder) << "the per-user folder's DACL cannot be read";
    EXPECT_TRUE(folder->protectedDacl) << "the per-user folder inherits";
    std::vector<AceFacts> own = {{sid, 0x1F01FF, 0}, {"S-1-5-18", 0x1F01FF, 0}, {"S-1-5-32-544", 0x1F01FF, 0}};
    EXPECT_TRUE(sameGrants(folder->aces, own)) << describeGrants(folder->aces);

    std::optional<DaclFacts> verdict = daclOf(checkJsonPath()), logs = daclOf(machine().logs);
    std::optional<std::string> owner = ownerOf(checkJsonPath());
    ASSERT_TRUE(verdict && logs && owner) << "check.json's or logs' security cannot be read";
    std::vector<AceFacts> inherited = inheritedByNewFile(logs->aces, *owner);
    EXPECT_TRUE(sameGrants(verdict->aces, inherited))
        << "check.json: " << describeGrants(verdict->aces) << "; from logs: " << describeGrants(inherited);
    EXPECT_EQ(mayWrite(checkJsonPath(), "S-1-5-11"), model.usersMayWriteVerdict)
        << "Authenticated Users' write access to check.json after a run as " << narrow(user);
    expectWholeVerdict();
}

// A reader shares delete: from Windows 10 1809 a new file takes the name
// with POSIX semantics; the reader keeps the old whole verdict.
void posixReplacement() {
    freshVelmora();
    expectEnded(runAsCurrent(usualRun()));
    std::optional<std::uint64_t> before = fileIdOf(checkJsonPath());
    Reader reader;
    if (unsigned long error = reader.hold(checkJsonPath(), FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE))
        notArranged("holding check.json", error);
    RunResult result = runAsCurrent(usualRun());
    reader.stopPolling();
    expectEnded(result);
    EXPECT_NE(fileIdOf(checkJsonPath()), before) << "check.json was written in place, not replaced";
    char bytes[4096];
    DWORD read = 0;
    SetFilePointer(reader.held, 0, nullptr, FILE_BEGIN);
    ASSERT_TRUE(ReadFile(reader.held, bytes, sizeof bytes, &read, nullptr));
    EXPECT_TRUE(isWholeVerdict(std::string(bytes, read)));
    EXPECT_EQ(reader.brokenReads, 0);
    expectWholeVerdict();
}

// -outpath= beyond MAX_PATH, in the \\?\ form.
void longOutputPath() {
    freshVelmora();
    std::wstring folder = L"\\\\?\\" + machine().work;
    for (int i = 0; i < 8; ++i) {
        folder += L"\\" + std::wstring(40, wchar_t(L'a' + i));
        if (!CreateDirectoryW(folder.c_str(), nullptr)) notArranged("CreateDirectoryW (long path)");
    }
    std::wstring output = folder + L"\\inventory.json";
    RunRequest request = usualRun();
    request.arguments.back() = L"-outpath=" + output;
    expectEnded(runAsCurrent(request));
    std::optional<std::string> inventory = readWhole(output);
    ASSERT_TRUE(inventory) << "no inventory at the long path";
    nlohmann::json document = nlohmann::json::parse(*inventory, nullptr, false);
    EXPECT_TRUE(document.is_object() && document.contains("os")) << *inventory;
}

std::vector<Row> rows() {
    std::vector<Row> all = {
        {"SystemOnlyModelRunAsSystem", {Facility::FileSecurity, Facility::SystemAccount},
         [] { accessRulesRow(0, Account::System); }},
        {"SystemOnlyModelRunAsTestAccount", {Facility::FileSecurity, Facility::SecondAccount},
         [] { accessRulesRow(0, Account::TestAccount); }},
        {"SystemOnlyModelRunAsCurrentAccount", {Facility::FileSecurity}, [] { accessRulesRow(0, Account::Current); }},
        {"EachUserModelRunAsSystem", {Facility::FileSecurity, Facility::SystemAccount},
         [] { accessRulesRow(1, Account::System); }},
        {"EachUserModelRunAsTestAccount", {Facility::FileSecurity, Facility::SecondAccount},
         [] { accessRulesRow(1, Account::TestAccount); }},
        {"EachUserModelRunAsCurrentAccount", {Facility::FileSecurity}, [] { accessRulesRow(1, Account::Current); }},
    };
    return all;
}

class AccessRules : public testing::TestWithParam<Row> {};
TEST_P(AccessRules, Row) { runRow(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Field, AccessRules, testing::ValuesIn(rows()), rowName);

const std::vector<Row> kReplacementRows = {
    {"ReaderSharingDelete", {Facility::PosixRename}, posixReplacement},
};
class PosixReplacement : public testing::TestWithParam<Row> {};
TEST_P(PosixReplacement, Row) { runRow(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Field, PosixReplacement, testing::ValuesIn(kReplacementRows), rowName);

const std::vector<Row> kLongPathRows = {
    {"OutputBeyondMaxPath", {}, longOutputPath},
};
class LongPaths : public testing::TestWithParam<Row> {};
TEST_P(LongPaths, Row) { runRow(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Field, LongPaths, testing::ValuesIn(kLongPathRows), rowName);

}  // namespace
}  // namespace velmora::field
