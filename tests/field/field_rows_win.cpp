#include "field/field_rows_win.h"

#include "field/field_access_rules.h"

namespace velmora::field {

void runRow(const Row& row) {
    for (Facility facility : row.needs)
        if (std::optional<std::string> reason = whyUnavailable(facility, machine().facts)) GTEST_SKIP() << *reason;
    try {
        row.run();
    } catch (const NotArranged& error) {
        std::string what = error.what();
        if (what.rfind(kNotArrangedPrefix, 0) == 0) what = what.substr(std::string(kNotArrangedPrefix).size());
        GTEST_SKIP() << kNotArrangedPrefix << what;
    }
}

std::string rowName(const testing::TestParamInfo<Row>& info) { return info.param.name; }

std::wstring checkJsonPath() { return machine().logs + L"\\check.json"; }
std::wstring userFolder(const std::wstring& user) { return machine().logs + L"\\" + user; }
std::wstring inventoryPath() { return machine().work + L"\\inventory.json"; }

RunRequest usualRun() {
    RunRequest request;
    request.arguments = {L"-av", L"-fw", L"-outpath=" + inventoryPath()};
    return request;
}

std::wstring makeOutside() {
    std::wstring folder = machine().work + L"\\outside-" + wide(randomHex(4));
    if (!CreateDirectoryW(folder.c_str(), nullptr) || !writeWhole(folder + L"\\victim.txt", "victim\r\n"))
        notArranged("making " + narrow(folder));
    return folder;
}

std::wstring ntPath(const std::wstring& path) { return L"\\??\\" + path; }

void giveToAnotherAccount(const std::wstring& path) {
    if (machine().facts.wine) return;
    unsigned long error = 0;
    if (!setOwner(path, "S-1-5-19", &error)) notArranged("making LOCAL SERVICE the owner of " + narrow(path), error);
}

std::vector<std::wstring> movedAside(const std::wstring& folder, const std::wstring& name) {
    std::vector<std::wstring> found;
    for (const std::wstring& entry : namesIn(folder))
        if (entry.rfind(name + L".untrusted-", 0) == 0) found.push_back(entry);
    return found;
}

void expectEnded(const RunResult& result, double boundSeconds) {
    EXPECT_FALSE(result.timedOut) << "the run was still going after " << result.seconds << " s";
    EXPECT_LE(result.seconds, boundSeconds) << "the run took longer than its bound";
}

void expectWholeVerdict() {
    std::optional<std::string> verdict = readWhole(checkJsonPath());
    ASSERT_TRUE(verdict) << "check.json cannot be read: " << errorText(GetLastError());
    EXPECT_TRUE(isWholeVerdict(*verdict)) << "check.json is not a whole verdict: [" << *verdict << "]";
}

}  // namespace velmora::field

namespace velmora::field {
// As the installer does it on a fresh install: the folders, the model's
// lines, then the VPN client's policy.
void applyDeploymentModel(const DeploymentModel& model) {
    FieldMachine& m = machine();
    freshVelmora();
    std::wstring policy = m.logs + L"\\postureData.json";
    std::optional<std::string> policyBytes = readWhole(policy);
    DeleteFileW(policy.c_str());
    for (const char* line : model.lines) {
        std::wstring command = wide(line);
        for (std::size_t at; (at = command.find(L"%V%")) != std::wstring::npos;) command.replace(at, 3, m.velmora);
        RunRequest request;
        request.program = L"C:\\Windows\\System32\\cmd.exe";
        request.arguments = {L"/d", L"/c"};
        request.verbatim = command;
        RunResult result = runAsCurrent(request);
        if (result.exitCode != 0) notArranged(std::string("icacls line refused: ") + line, result.exitCode);
    }
    if (!policyBytes || !writeWhole(policy, *policyBytes)) notArranged("writing postureData.json after the lines");
}

void expectNoVerdict() { EXPECT_FALSE(exists(checkJsonPath())) << "a verdict was written without a readable policy"; }
}  // namespace velmora::field
