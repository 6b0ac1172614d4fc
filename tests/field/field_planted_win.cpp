// Planted by another account, with the real primitives: for each plant,
// nothing outside the run's own files is created, changed or removed, and
// the verdict is whole.
#include "field/field_plant_win.h"
#include "field/field_rows_win.h"

namespace velmora::field {
namespace {

enum class Level { Velmora, VelmoraVpn, Logs, UserFolder };
enum class LinkKind { MountPoint, SymbolicLink };

// The folder that holds the level's name, with the folders above it made.
std::pair<std::wstring, std::wstring> placeOf(Level level) {
    FieldMachine& m = machine();
    freshVelmora();
    switch (level) {
        case Level::Velmora:
            removeTree(m.velmora);
            return {m.programData, L"Velmora"};
        case Level::VelmoraVpn:
            removeTree(m.velmora + L"\\VelmoraVPN");
            return {m.velmora, L"VelmoraVPN"};
        case Level::Logs:
            removeTree(m.logs);
            return {m.velmora + L"\\VelmoraVPN", L"logs"};
        case Level::UserFolder: break;
    }
    return {m.logs, m.userName};
}

void plantFolderLink(const std::wstring& link, const std::wstring& target, LinkKind kind) {
    unsigned long error = kind == LinkKind::MountPoint ? makeMountPoint(link, ntPath(target))
                                                       : makeSymbolicLink(link, target, true);
    if (error) notArranged("making " + narrow(link) + " a link to " + narrow(target), error);
    giveToAnotherAccount(link);
}

// A folder on the run's way is another account's link to a folder of its
// choosing: the run moves the link aside and uses a real folder.
void linkedFolder(Level level, LinkKind kind) {
    auto [parent, name] = placeOf(level);
    std::wstring outside = makeOutside();
    plantFolderLink(parent + L"\\" + name, outside, kind);
    std::string before = describeTree(outside);
    RunResult result = runAsCurrent(usualRun());
    expectEnded(result);
    EXPECT_EQ(describeTree(outside), before) << "the run changed what the link points at";
    EXPECT_TRUE(isRealFolder(parent + L"\\" + name)) << narrow(name) << " is not a real folder after the run";
    EXPECT_FALSE(movedAside(parent, name).empty()) << "the link was not moved aside to " << narrow(name)
                                                   << ".untrusted-<n>";
    // Above logs the policy went aside with the link: no verdict then.
    if (level == Level::UserFolder) expectWholeVerdict();
    else expectNoVerdict();
}

// The per-user folder is a mount point to \RPC Control, where an object
// manager link named avInfo.log points at a file of the planter's choosing.
void rpcControlChain() {
    auto [parent, name] = placeOf(Level::UserFolder);
    std::wstring outside = makeOutside();
    ObjectLink objectLink;
    if (unsigned long error = objectLink.make(L"avInfo.log", ntPath(outside + L"\\victim.txt")))
        notArranged("NtCreateSymbolicLinkObject \\RPC Control\\avInfo.log", error);
    std::wstring link = parent + L"\\" + name;
    if (unsigned long error = makeMountPoint(link, L"\\RPC Control")) notArranged("mount point to \\RPC Control", error);
    giveToAnotherAccount(link);
    std::string before = describeTree(outside);
    expectEnded(runAsCurrent(usualRun()));
    EXPECT_EQ(describeTree(outside), before) << "the run wrote through \\RPC Control";
    EXPECT_TRUE(isRealFolder(link));
    expectWholeVerdict();
}

// check.json itself is a link to another file.
void linkedVerdict(bool hardLink) {
    freshVelmora();
    std::wstring outside = makeOutside(), victim = outside + L"\\victim.txt";
    unsigned long error = hardLink ? makeHardLink(checkJsonPath(), victim)
                                   : makeSymbolicLink(checkJsonPath(), victim, false);
    if (error) notArranged("making check.json a link", error);
    giveToAnotherAccount(hardLink ? victim : checkJsonPath());
    std::string before = describeTree(outside);
    expectEnded(runAsCurrent(usualRun()));
    EXPECT_EQ(describeTree(outside), before) << "the run wrote through the link at check.json";
    EXPECT_FALSE(attributesOf(checkJsonPath()) & FILE_ATTRIBUTE_REPARSE_POINT);
    expectWholeVerdict();
}

// The log file is a second hard link to another file.
void linkedLogFile() {
    freshVelmora();
    std::wstring folder = userFolder(machine().userName), outside = makeOutside();
    if (!CreateDirectoryW(folder.c_str(), nullptr)) notArranged("CreateDirectoryW " + narrow(folder));
    if (unsigned long error = makeHardLink(folder + L"\\avInfo.log", outside + L"\\victim.txt"))
        notArranged("hard link at avInfo.log", error);
    std::string before = describeTree(outside);
    expectEnded(runAsCurrent(usualRun()));
    EXPECT_EQ(describeTree(outside), before) << "the run appended to the other file";
    EXPECT_FALSE(movedAside(folder, L"avInfo.log").empty()) << "avInfo.log was not moved aside";
    expectWholeVerdict();
}

// Names a run of this process id could pick for its temporary file, taken
// before its first instruction as hard links to another file.
void squattedTemporaryNames() {
    freshVelmora();
    std::wstring outside = makeOutside(), victim = outside + L"\\victim.txt";
    expectEnded(runAsCurrent(usualRun()));  // a check.json to replace
    std::string before = describeTree(outside);
    RunRequest request = usualRun();
    int planted = 0;
    request.whileSuspended = [&](DWORD processId) {
        for (int n = 0; n < 10; ++n) {
            std::wstring name = L"check.json." + std::to_wstring(processId) + L"-" + std::to_wstring(n) + L".tmp";
            planted += makeHardLink(machine().logs + L"\\" + name, victim) == 0;
        }
        planted += makeHardLink(machine().logs + L"\\check.json.tmp", victim) == 0;
    };
    RunResult result = runAsCurrent(request);
    if (planted == 0) notArranged("no temporary name could be squatted", 0);
    expectEnded(result);
    EXPECT_EQ(describeTree(outside), before) << "the run wrote into a squatted temporary name";
    expectWholeVerdict();
}

// The per-user folder must be moved aside, and the names it would be moved
// to are taken: links to another file, and (where the machine has them) a
// mount point.
void squattedMovedAsideNames() {
    freshVelmora();
    FieldMachine& m = machine();
    std::wstring folder = userFolder(m.userName), outside = makeOutside();
    if (!writeWhole(folder, "not a folder\r\n")) notArranged("a file at the per-user folder's name");
    for (int n = 1; n <= 2; ++n)
        if (unsigned long error = makeHardLink(folder + L".untrusted-" + std::to_wstring(n), outside + L"\\victim.txt"))
            notArranged("hard link at a moved-aside name", error);
    if (!m.facts.wine && makeMountPoint(folder + L".untrusted-3", ntPath(outside)) != 0)
        notArranged("mount point at a moved-aside name");
    std::string before = describeTree(outside);
    expectEnded(runAsCurrent(usualRun()));
    EXPECT_EQ(describeTree(outside), before) << "the run changed what a squatted name points at";
    EXPECT_TRUE(isRealFolder(folder) || !movedAside(m.logs, m.userName).empty())
        << "the per-user folder was neither made nor passed over";
    expectWholeVerdict();
}

// A real per-user folder that another account made and owns.
void userFolderOfAnotherOwner() {
    freshVelmora();
    std::wstring folder = userFolder(machine().userName);
    if (!CreateDirectoryW(folder.c_str(), nullptr) || !writeWhole(folder + L"\\planted.txt", "planted\r\n"))
        notArranged("CreateDirectoryW " + narrow(folder));
    giveToAnotherAccount(folder);
    expectEnded(runAsCurrent(usualRun()));
    std::vector<std::wstring> aside = movedAside(machine().logs, machine().userName);
    ASSERT_FALSE(aside.empty()) << "the other account's folder was used";
    EXPECT_EQ(readWhole(machine().logs + L"\\" + aside.front() + L"\\planted.txt"), std::string("planted\r\n"));
    // An elevated administrator's new objects belong to Administrators.
    std::optional<std::string> owner = ownerOf(folder);
    EXPECT_TRUE(owner == currentUserSid() || owner == std::string("S-1-5-32-544"))
        << "the new per-user folder belongs to " << owner.value_or("(unreadable)");
    expectWholeVerdict();
}

// The policy is not a plain file: a folder, or a link to a pipe that never
// answers. It counts as unreadable: the run ends and writes no verdict.
void policyIsAFolder() {
    freshVelmora();
    std::wstring policy = machine().logs + L"\\postureData.json";
    if (!DeleteFileW(policy.c_str()) || !CreateDirectoryW(policy.c_str(), nullptr)) notArranged("folder postureData.json");
    expectEnded(runAsCurrent(usualRun()));
    expectNoVerdict();
}

void policyLinkToSilentPipe() {
    freshVelmora();
    std::wstring pipeName = L"\\\\.\\pipe\\VelmoraFieldTests-" + wide(randomHex(4));
    HANDLE pipe = CreateNamedPipeW(pipeName.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 4, 0, 0, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) notArranged("CreateNamedPipeW");
    std::wstring link = machine().logs + L"\\postureData.json";
    DeleteFileW(link.c_str());
    unsigned long error = makeSymbolicLink(link, pipeName, false);
    if (error) {
        CloseHandle(pipe);
        notArranged("link postureData.json to a pipe", error);
    }
    giveToAnotherAccount(link);
    RunResult result = runAsCurrent(usualRun());
    CloseHandle(pipe);
    expectEnded(result);
    expectNoVerdict();
}

const std::vector<Row> kRows = {
    {"VelmoraIsMountPoint", {Facility::MountPoints, Facility::FileSecurity},
     [] { linkedFolder(Level::Velmora, LinkKind::MountPoint); }},
    {"VelmoraVpnIsMountPoint", {Facility::MountPoints, Facility::FileSecurity},
     [] { linkedFolder(Level::VelmoraVpn, LinkKind::MountPoint); }},
    {"LogsIsMountPoint", {Facility::MountPoints, Facility::FileSecurity},
     [] { linkedFolder(Level::Logs, LinkKind::MountPoint); }},
    {"UserFolderIsMountPoint", {Facility::MountPoints, Facility::FileSecurity},
     [] { linkedFolder(Level::UserFolder, LinkKind::MountPoint); }},
    {"LogsIsSymbolicLink", {Facility::SymbolicLinks, Facility::FileSecurity},
     [] { linkedFolder(Level::Logs, LinkKind::SymbolicLink); }},
    {"UserFolderIsSymbolicLink", {Facility::SymbolicLinks, Facility::FileSecurity},
     [] { linkedFolder(Level::UserFolder, LinkKind::SymbolicLink); }},
    {"UserFolderToRpcControlChain", {Facility::MountPoints, Facility::ObjectManagerLinks, Facility::FileSecurity},
     rpcControlChain},
    {"CheckJsonIsSymbolicLink", {Facility::SymbolicLinks, Facility::FileSecurity}, [] { linkedVerdict(false); }},
    {"CheckJsonIsHardLink", {}, [] { linkedVerdict(true); }},
    {"LogFileIsHardLink", {}, linkedLogFile},
    {"TemporaryNamesSquatted", {}, squattedTemporaryNames},
    {"MovedAsideNamesSquatted", {}, squattedMovedAsideNames},
    {"UserFolderOwnedByAnotherAccount", {Facility::FileSecurity}, userFolderOfAnotherOwner},
    {"PolicyIsAFolder", {}, policyIsAFolder},
    {"PolicyIsLinkToSilentPipe", {Facility::SymbolicLinks, Facility::FileSecurity}, policyLinkToSilentPipe},
};

class Planted : public testing::TestWithParam<Row> {};
TEST_P(Planted, Row) { runRow(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Field, Planted, testing::ValuesIn(kRows), rowName);

}  // namespace
}  // namespace velmora::field
