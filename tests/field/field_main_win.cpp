// VelmoraAvInfoFieldTests.exe: drives the real VelmoraAvInfo.exe on the
// machine it runs on (see docs/field-tests.md).
//
//   VelmoraAvInfoFieldTests.exe [--program=PATH] [--require-arranged] [GoogleTest options]
//   VelmoraAvInfoFieldTests.exe --restore     undo what a killed run left
//
// Ends with 0 when no row failed, 1 when one did, 2 when --require-arranged
// was given and a row could not be arranged, 4 when the machine could not be
// prepared.
#include "field/field_logic.h"
#include "field/field_machine_win.h"
#include "field/field_run_win.h"
#include "field/field_system_win.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace velmora::field {
namespace {

// Counts each row's end and prints the closing line.
class Closing : public testing::EmptyTestEventListener {
public:
    void OnTestEnd(const testing::TestInfo& info) override {
        const testing::TestResult& result = *info.result();
        std::string message;
        for (int i = 0; i < result.total_part_count(); ++i) message += result.GetTestPartResult(i).message();
        Outcome outcome = outcomeOf(result.Failed(), result.Skipped(), message);
        count(tally, outcome);
        static const char* const names[] = {"passed", "FAILED", "skipped", "not arranged"};
        std::string row = std::string(info.test_suite_name()) + "." + info.name();
        std::printf("row %-70s %s%s%s\n", row.c_str(), names[int(outcome)], outcome == Outcome::Skipped ? ": " : "",
                    outcome == Outcome::Skipped ? message.c_str() : "");
        std::fflush(stdout);
    }
    Tally tally;
};

// Whatever ends the run puts the machine back first.
BOOL WINAPI onConsoleEvent(DWORD) {
    restoreMachine();
    return FALSE;
}
LONG WINAPI onCrash(EXCEPTION_POINTERS*) {
    restoreMachine();
    return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace
}  // namespace velmora::field

int wmain(int argc, wchar_t** argv) {
    using namespace velmora::field;
    if (argc >= 2 && wcscmp(argv[1], L"--service-run") == 0) return serviceRun();
    if (argc >= 2 && wcscmp(argv[1], L"--restore") == 0) return restoreAfterKilledRun();
    bool requireArranged = false;
    std::vector<wchar_t*> rest = {argv[0]};
    for (int i = 1; i < argc; ++i) {
        if (wcsncmp(argv[i], L"--program=", 10) == 0) {
            programPath() = argv[i] + 10;
        } else if (wcscmp(argv[i], L"--require-arranged") == 0) {
            requireArranged = true;
        } else {
            rest.push_back(argv[i]);
        }
    }
    int restCount = int(rest.size());
    testing::InitGoogleTest(&restCount, rest.data());
    if (!exists(programPath())) {
        std::printf("error: the program %s does not exist (give it with --program=PATH)\n", narrow(programPath()).c_str());
        return 4;
    }
    std::string error;
    if (!setUpMachine(error)) {
        std::printf("error: %s\n", error.c_str());
        return 4;
    }
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    SetUnhandledExceptionFilter(onCrash);
    const MachineFacts& facts = machine().facts;
    std::printf("field tests of %s on %s, build %u%s%s%s\n", narrow(programPath()).c_str(),
                facts.wine ? "Wine" : (facts.server ? "Windows Server" : "Windows"), facts.build,
                facts.administrator ? ", as administrator" : ", not as administrator",
                facts.securityCenter ? ", with a Security Center" : "", facts.wine ? " (rows Wine cannot show are skipped)" : "");
    auto* closing = new Closing;
    testing::UnitTest::GetInstance()->listeners().Append(closing);
    int status = 0;
    try {
        // The rows' own count decides: a row that was not arranged is a
        // GoogleTest skip, not a pass.
        if (RUN_ALL_TESTS() != 0 && closing->tally.failed == 0) closing->tally.failed = 1;
        status = exitStatusOf(closing->tally, requireArranged);
    } catch (const std::exception& failure) {
        std::printf("error: %s\n", failure.what());
        status = 1;
    }
    restoreMachine();
    std::printf("%s\n", closingLine(closing->tally).c_str());
    return status;
}
