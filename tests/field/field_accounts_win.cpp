// Other accounts, for real: a standard account made for the test and SYSTEM
// through a temporary service. Each account's run logs and writes its
// verdict; neither can make the other's run write elsewhere.
#include "field/field_access_rules.h"
#include "field/field_plant_win.h"
#include "field/field_rows_win.h"

namespace velmora::field {
namespace {

std::string lastWrite(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return "";
    return std::to_string(data.ftLastWriteTime.dwHighDateTime) + ":" + std::to_string(data.ftLastWriteTime.dwLowDateTime);
}

// A run's exit status on a finished run: 0, or -1 where a Security Center
// query failed or the machine has none.
void expectFinished(const RunResult& result) {
    expectEnded(result);
    EXPECT_TRUE(result.exitCode == 0 || result.exitCode == 0xFFFFFFFFu) << "exit status " << result.exitCode;
}

// The scratch folder the test account may write its inventory in.
std::wstring accountScratch(const TestAccount& account) {
    std::wstring folder = machine().work + L"\\account";
    CreateDirectoryW(folder.c_str(), nullptr);
    grantFullAccess(folder, account.sid);
    return folder;
}

// Set up for runs in each user's session, which both accounts' runs need.
void runAndCheck(const std::wstring& user, RunResult (*run)(const RunRequest&)) {
    applyDeploymentModel(kDeploymentModels.at(1));
    expectEnded(runAsCurrent(usualRun()));  // an earlier verdict of another account
    std::string before = lastWrite(checkJsonPath());
    Sleep(20);
    expectFinished(run(usualRun()));
    EXPECT_TRUE(exists(userFolder(user) + L"\\avInfo.log")) << "no log in " << narrow(userFolder(user));
    EXPECT_NE(lastWrite(checkJsonPath()), before) << "the run did not write its verdict";
    expectWholeVerdict();
}

void testAccountRun() {
    const TestAccount& account = testAccount();
    std::wstring scratch = accountScratch(account);
    runAndCheck(account.name, [](const RunRequest& request) {
        RunRequest own = request;
        own.arguments.back() = L"-outpath=" + machine().work + L"\\account\\inventory.json";
        return runAsAccount(own, testAccount().name, testAccount().password);
    });
    (void)scratch;
}

void systemRun() {
    runAndCheck(L"SYSTEM", [](const RunRequest& request) { return runAsSystem(request, machine().work); });
}

// The test account prepares SYSTEM's per-user folder as a mount point to a
// folder it owns, then SYSTEM's run comes.
void testAccountPlantsForSystem() {
    const TestAccount& account = testAccount();
    applyDeploymentModel(kDeploymentModels.at(1));
    std::wstring outside = makeOutside();
    grantFullAccess(outside, account.sid);
    std::wstring link = userFolder(L"SYSTEM");
    if (unsigned long error = makeMountPoint(link, ntPath(outside))) notArranged("mount point at logs\\SYSTEM", error);
    unsigned long error = 0;
    if (!setOwner(link, account.sid, &error)) notArranged("giving logs\\SYSTEM to the test account", error);
    std::string before = describeTree(outside);
    expectFinished(runAsSystem(usualRun(), machine().work));
    EXPECT_EQ(describeTree(outside), before) << "SYSTEM's run wrote into the test account's folder";
    EXPECT_TRUE(isRealFolder(link));
    EXPECT_TRUE(exists(link + L"\\avInfo.log"));
    expectWholeVerdict();
}

const std::vector<Row> kRows = {
    {"TestAccountRunLogsAndWritesVerdict", {Facility::SecondAccount}, testAccountRun},
    {"SystemRunLogsAndWritesVerdict", {Facility::SystemAccount}, systemRun},
    {"TestAccountCannotRedirectSystemRun", {Facility::SecondAccount, Facility::SystemAccount, Facility::MountPoints},
     testAccountPlantsForSystem},
};

class OtherAccounts : public testing::TestWithParam<Row> {};
TEST_P(OtherAccounts, Row) { runRow(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Field, OtherAccounts, testing::ValuesIn(kRows), rowName);

}  // namespace
}  // namespace velmora::field
