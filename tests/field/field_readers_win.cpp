// Readers and holders: a reader holding check.json under each share mode, an
// oplock holder that never acknowledges, a held run lock. Every run ends
// within its documented bound, and every read sees a whole verdict.
#include "field/field_plant_win.h"
#include "field/field_rows_win.h"

#include <sddl.h>

namespace velmora::field {
namespace {

// A verdict from an earlier run to hold.
void earlierVerdict() {
    freshVelmora();
    expectEnded(runAsCurrent(usualRun()));
}

void heldUnderShare(DWORD share) {
    earlierVerdict();
    std::string earlier = readWhole(checkJsonPath()).value_or("");
    Reader reader;
    if (unsigned long error = reader.hold(checkJsonPath(), share)) notArranged("opening check.json to hold it", error);
    RunResult result = runAsCurrent(usualRun());
    reader.stopPolling();
    CloseHandle(reader.held);  // so that the checks below can read it
    reader.held = INVALID_HANDLE_VALUE;
    expectEnded(result);
    EXPECT_TRUE(isWholeVerdict(reader.firstRead)) << "[" << reader.firstRead << "]";
    EXPECT_EQ(reader.brokenReads, 0) << reader.reads << " reads, broken one: [" << reader.brokenExample << "]";
    expectWholeVerdict();
    // Nobody may write a file held without write sharing, and with delete
    // sharing only a new file can take the name: the old bytes stay.
    if (!(share & FILE_SHARE_WRITE) && !(share & FILE_SHARE_DELETE)) {
        EXPECT_EQ(readWhole(checkJsonPath()), earlier) << "a file held without write sharing was changed";
    }
}

void oplockNeverAcknowledged() {
    earlierVerdict();
    OplockHolder holder;
    if (unsigned long error = holder.hold(checkJsonPath())) notArranged("FSCTL_REQUEST_OPLOCK", error);
    RunResult result = runAsCurrent(usualRun());
    expectEnded(result);
    expectWholeVerdict();
}

// Global\VelmoraAvInfo.Run created and owned here, open to everyone, so
// that the run opens it and waits for it.
HANDLE holdRunLock() {
    PSECURITY_DESCRIPTOR everyone = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:(A;;GA;;;WD)", SDDL_REVISION_1, &everyone, nullptr))
        notArranged("ConvertStringSecurityDescriptorToSecurityDescriptorW");
    SECURITY_ATTRIBUTES attributes{sizeof attributes, everyone, FALSE};
    HANDLE mutex = CreateMutexW(&attributes, TRUE, L"Global\\VelmoraAvInfo.Run");
    DWORD error = GetLastError();
    LocalFree(everyone);
    if (!mutex) notArranged("CreateMutexW Global\\VelmoraAvInfo.Run", error);
    if (error == ERROR_ALREADY_EXISTS) {
        CloseHandle(mutex);
        notArranged("Global\\VelmoraAvInfo.Run exists already (another run?)", error);
    }
    return mutex;
}

void heldRunLock() {
    freshVelmora();
    HANDLE mutex = holdRunLock();
    RunResult result = runAsCurrent(usualRun());
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    // At most 5 s of waiting, then the run goes on alongside.
    expectEnded(result, 5 + 15);
    std::string log = readWhole(userFolder(machine().userName) + L"\\avInfo.log").value_or("");
    EXPECT_NE(log.find("Could not wait for other runs of the program; going on alongside them"), std::string::npos);
    expectWholeVerdict();
}

// The whole-run watchdog, its bound lowered: the run waiting for the held
// lock is ended with exit status 3 after about the bound.
void watchdogEndsRun() {
    freshVelmora();
    HANDLE mutex = holdRunLock();
    RunRequest request = usualRun();
    request.environment = {{L"VELMORA_RUN_BOUND_MS", L"1500"}};
    RunResult result = runAsCurrent(request);
    ReleaseMutex(mutex);
    CloseHandle(mutex);
    expectEnded(result, 1.5 + 5);
    EXPECT_EQ(result.exitCode, 3u);
}

const std::vector<Row> kRows = {
    {"ReaderSharingRead", {}, [] { heldUnderShare(FILE_SHARE_READ); }},
    {"ReaderSharingReadWrite", {}, [] { heldUnderShare(FILE_SHARE_READ | FILE_SHARE_WRITE); }},
    {"ReaderSharingReadWriteDelete", {}, [] { heldUnderShare(FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE); }},
    {"ReaderSharingNothing", {}, [] { heldUnderShare(0); }},
    {"OplockNeverAcknowledged", {Facility::Oplocks}, oplockNeverAcknowledged},
    {"RunLockHeld", {}, heldRunLock},
    {"WatchdogEndsRun", {}, watchdogEndsRun},
};

class ReadersAndHolders : public testing::TestWithParam<Row> {};
TEST_P(ReadersAndHolders, Row) { runRow(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Field, ReadersAndHolders, testing::ValuesIn(kRows), rowName);

}  // namespace
}  // namespace velmora::field
