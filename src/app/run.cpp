#include "app/run.h"

#include <cstdio>
#include <optional>

#include "app/command_line.h"
#include "app/inventory_stage.h"
#include "app/posture_stage.h"
#include "common/run_lock.h"
#include "common/text.h"
#include "common/watchdog.h"
#include "log/log_folder.h"
#include "log/logger.h"
#include "log/start_notice.h"
#include "system/system_identity.h"

namespace velmora {

namespace {

// Another run takes milliseconds; a holder that keeps the lock longer (a
// hung run, or another account holding the name) costs each run this much.
constexpr unsigned kRunLockTimeoutMs = 5000;

void logUsage() {
    for (const auto& line : usageLines()) avLogger->info(line);
}

// Nothing when the run's log is running, else why it cannot: the log
// folder's own failure, or the logging library's.
std::optional<std::string> startLog(const PreparedLogFolder& logFolder) {
    if (!logFolder.failure.empty()) return logFolder.failure;
    return logInit("AVLoggerNameForAVINFO", *logFolder.userFolder, logFolder.logFilePath);
}

// A run that cannot log tells the user so and ends. It lets the other runs go
// before any notice: the notice may wait for the user, and the next run must
// not wait with it.
void reportLogStartFailure(const std::string& reason, RunLock& runLock) {
    runLock.release();
    // A reason of any length gives a notice of bounded size.
    char text[512];
    std::snprintf(text, sizeof text, "Log init failed : %s", reason.c_str());
    showStartFailureNotice("Log Error!", text);
    debugOutput("AvInfo: logInit failed!!");
    showStartFailureNotice("ERROR", "Couldn't init the ALL AvInfo logs. Restart the app with permissions!");
}

}  // namespace

int runProgram(const std::vector<std::u16string>& args) {
    startRunWatchdog();
    const std::string userName = getSystemIdentity().userName;
    RunLock runLock = acquireRunLock(kRunLockTimeoutMs);
    // Inside the run lock: runs that overlap must not move aside each
    // other's fresh folders. The folders stay held until the run ends.
    const PreparedLogFolder logFolder = prepareLogFolder(userName);

    if (const std::optional<std::string> failure = startLog(logFolder)) {
        reportLogStartFailure(*failure, runLock);
        return 1;
    }
    logMovedAside(logFolder.movedAside);
    if (runLock.fellBack()) {
        avLogger->info("The machine-wide run lock cannot be opened; using this session's lock instead");
    }
    if (runLock.waitedInVain()) avLogger->info("Could not wait for other runs of the program; going on alongside them");

    if (args.size() < 3) {
        logUsage();
        return -1;
    }
    avLogger->info("Total argc: {}", args.size());

    CommandLine commandLine;
    for (std::size_t i = 1; i < args.size(); ++i) {
        avLogger->info("argv[{}]: {}", i, wideToUtf8(args[i]));
        applyArgument(args[i], commandLine);
    }
    avLogger->info("outfilepath: {}", wideToUtf8(commandLine.outputPath));

    if (commandLine.kinds.empty()) {
        logUsage();
        return -1;
    }

    const InventoryStageResult inventory = runInventoryStage(commandLine.kinds, commandLine.outputPath);
    if (!inventory.gathered) return inventory.exitStatus;

    runPostureStage(*logFolder.logs, inventory.gathered->document.is_object(), inventory.gathered->inventory);

    avLogger->info("END");
    return inventory.exitStatus;
}

}  // namespace velmora
