#include "inventory/defender_status.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "common/status_codes.h"
#include "common/text.h"
#include "inventory/security_product.h"
#include "log/logger.h"

namespace velmora {

namespace {

// The Security Center's codes (see security_center.h).
constexpr std::int32_t kScStateOn = 0;
constexpr std::int32_t kScStateOff = 1;
constexpr std::int32_t kScSignaturesOutOfDate = 0;
constexpr std::int32_t kScSignaturesUpToDate = 1;

// On platforms without DefenderSignaturesOutOfDate, signatures older than
// this many days count as out of date.
constexpr std::uint32_t kSignatureAgeLimitDays = 7;

// What the worker hands back. Shared with the worker, so that one left
// behind after a time-out still writes into memory that is alive.
struct WorkerAnswer {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::int32_t hresult = 0;
    DefenderProperties properties;
};

// Workers that have not come back from the provider. A worker leaves the
// count before it hands its answer over, so a run that had its answer in time
// never counts it.
std::atomic<unsigned> g_workersInProvider{0};

// The worker's whole life: one question, then the answer. It touches nothing
// but the shared answer (no logger: the run may be over when it finishes).
void askOnWorker(std::shared_ptr<WorkerAnswer> answer) {
    DefenderProperties properties;
    std::int32_t hr = kHrUnexpected;
    try {
        hr = askDefenderProvider(properties);
    } catch (const std::exception&) {
        properties = DefenderProperties{};
    }
    --g_workersInProvider;
    std::lock_guard<std::mutex> lock(answer->mutex);
    answer->hresult = hr;
    answer->properties = std::move(properties);
    answer->finished = true;
    answer->done.notify_one();
}

void logUnanswered(const DefenderReading& reading) {
    if (reading.outcome == DefenderOutcome::TimedOut) {
        avLogger->info("Microsoft Defender's status did not answer within {} seconds; going on without it",
                       std::chrono::duration_cast<std::chrono::seconds>(kDefenderTimeBound).count());
    } else if (reading.outcome == DefenderOutcome::Failed) {
        // The same signed hex as the Security Center's error lines.
        avLogger->info("Microsoft Defender's status cannot be read either, error = {:08x}", reading.hresult);
    }
}

bool isTrue(const std::optional<bool>& value) { return value.value_or(false); }

}  // namespace

DefenderReading readDefenderStatus(std::chrono::milliseconds bound) {
    DefenderReading reading;
    reading.hresult = kHrUnexpected;
    // Any call of the provider may hang (CoCreateInstance, ConnectServer,
    // ExecQuery, Next): only a separate thread lets the run stop waiting.
    auto answer = std::make_shared<WorkerAnswer>();
    ++g_workersInProvider;
    try {
        std::thread(askOnWorker, answer).detach();
    } catch (...) {
        --g_workersInProvider;
        throw;
    }
    std::unique_lock<std::mutex> lock(answer->mutex);
    if (!answer->done.wait_for(lock, bound, [&] { return answer->finished; })) {
        reading.outcome = DefenderOutcome::TimedOut;
        return reading;
    }
    reading.hresult = answer->hresult;
    if (answer->hresult < 0) return reading;
    reading.outcome = DefenderOutcome::Answered;
    reading.properties = std::move(answer->properties);
    return reading;
}

unsigned defenderWorkersOutstanding() { return g_workersInProvider.load(); }

const DefenderReading& defenderStatusOfThisRun() {
    static const DefenderReading reading = [] {
        DefenderReading first;
        try {
            first = readDefenderStatus(kDefenderTimeBound);
        } catch (const std::exception&) {
            // No memory or no thread: as if the provider had failed.
            first = DefenderReading{};
            first.hresult = kHrUnexpected;
        }
        logUnanswered(first);
        return first;
    }();
    return reading;
}

bool isDefenderReportingPath(std::string_view path) { return equalsIgnoreAsciiCase(path, kDefenderReportingPath); }

DefenderProductState defenderProductState(const DefenderProperties& p, std::uint32_t provider) {
    const std::optional<bool>& kindEnabled =
        provider == PROVIDER_ANTISPYWARE ? p.antispywareEnabled : p.antivirusEnabled;
    // In passive mode (another antivirus is the primary one) or EDR block
    // mode Defender is installed but not the machine's protection.
    const bool normalMode = !p.amRunningMode || *p.amRunningMode == "Normal";
    const bool on = isTrue(p.amServiceEnabled) && isTrue(p.realTimeProtectionEnabled) && isTrue(kindEnabled) &&
                    normalMode;
    const bool outOfDate = p.defenderSignaturesOutOfDate
                               ? *p.defenderSignaturesOutOfDate
                               : p.antivirusSignatureAge.value_or(0) > kSignatureAgeLimitDays;
    return {on ? kScStateOn : kScStateOff, outOfDate ? kScSignaturesOutOfDate : kScSignaturesUpToDate};
}

}  // namespace velmora
