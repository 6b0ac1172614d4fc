#include "inventory/bounded_call.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "common/status_codes.h"
#include "log/logger.h"

namespace velmora {

namespace {

// Shared with the worker, so that one left behind after a time-out still
// writes into memory that is alive.
struct WorkerState {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::int32_t hresult = 0;
};

// Workers that have not come back from their provider. A worker leaves the
// count before it hands its answer over, so a run that had its answer in time
// never counts it.
std::atomic<unsigned> g_workersInProvider{0};

// The worker's whole life: one question, then the answer. It touches nothing
// but the shared state (no logger: the run may be over when it finishes).
void askOnWorker(const std::function<std::int32_t()>& ask, const std::shared_ptr<WorkerState>& state) {
    std::int32_t hr = kHrUnexpected;
    try {
        hr = ask();
    } catch (const std::exception&) {
        hr = kHrUnexpected;
    }
    --g_workersInProvider;
    std::lock_guard<std::mutex> lock(state->mutex);
    state->hresult = hr;
    state->finished = true;
    state->done.notify_one();
}

}  // namespace

BoundedAnswer callWithinBound(std::function<std::int32_t()> ask, std::chrono::milliseconds bound) {
    BoundedAnswer answer;
    answer.hresult = kHrUnexpected;
    auto state = std::make_shared<WorkerState>();
    ++g_workersInProvider;
    try {
        std::thread(askOnWorker, std::move(ask), state).detach();
    } catch (...) {
        --g_workersInProvider;
        throw;
    }
    std::unique_lock<std::mutex> lock(state->mutex);
    if (!state->done.wait_for(lock, bound, [&] { return state->finished; })) {
        answer.outcome = BoundedOutcome::TimedOut;
        return answer;
    }
    answer.hresult = state->hresult;
    answer.outcome = state->hresult < 0 ? BoundedOutcome::Failed : BoundedOutcome::Answered;
    return answer;
}

unsigned boundedCallsOutstanding() { return g_workersInProvider.load(); }

void logUnanswered(const char* whose, const BoundedAnswer& answer, std::chrono::milliseconds bound) {
    if (answer.outcome == BoundedOutcome::TimedOut) {
        avLogger->info("{} did not answer within {} seconds; going on without it", whose,
                       std::chrono::duration_cast<std::chrono::seconds>(bound).count());
    } else if (answer.outcome == BoundedOutcome::Failed) {
        // The same signed hex as the Security Center's error lines.
        avLogger->info("{} cannot be read either, error = {:08x}", whose, answer.hresult);
    }
}

}  // namespace velmora
