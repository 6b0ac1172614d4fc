// A blocking question asked of a system provider (Defender's WMI class,
// Windows Firewall's policy object) on a worker thread, so that the run never
// waits for it longer than a bound. Any call of such a provider may hang:
// creating its object, connecting, or any getter.
#pragma once

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <utility>

#include "common/status_codes.h"

namespace velmora {

enum class BoundedOutcome { Answered, Failed, TimedOut };

struct BoundedAnswer {
    BoundedOutcome outcome = BoundedOutcome::Failed;
    std::int32_t hresult = 0;  // the question's code when it failed or answered
};

// Runs ask on a new thread and waits for it at most bound. ask returns an
// HRESULT and must keep whatever else it produces in memory it owns (a
// shared_ptr it captured): on time-out the worker is left behind and may
// still write there. What ask wrote is the caller's to read only when the
// outcome is Answered. An exception out of ask counts as E_UNEXPECTED.
BoundedAnswer callWithinBound(std::function<std::int32_t()> ask, std::chrono::milliseconds bound);

// How many workers are still inside a provider: ones given up on after a
// time-out that have not returned yet. Such a worker may hold locks of the
// system's COM and RPC code (see runMustEndAtOnce in app/run.h).
unsigned boundedCallsOutstanding();

// Logs, as "WHOSE did not answer within N seconds; ..." or "WHOSE cannot be
// read either, error = ...", an answer that is not Answered.
void logUnanswered(const char* whose, const BoundedAnswer& answer, std::chrono::milliseconds bound);

// A provider's status as a run asks it once (Defender's, the firewall's):
// asked within bound, what ask wrote copied into answer only when it
// answered. Nothing thrown leaves: no memory or no thread counts as a failure
// with E_UNEXPECTED. What did not answer is logged, naming whose status it is.
template <typename Answer>
BoundedAnswer askStatusWithinBound(const char* whose, std::int32_t (*ask)(Answer&), std::chrono::milliseconds bound,
                                   Answer& answer) {
    BoundedAnswer result{BoundedOutcome::Failed, kHrUnexpected};
    try {
        auto written = std::make_shared<Answer>();
        result = callWithinBound([written, ask] { return ask(*written); }, bound);
        if (result.outcome == BoundedOutcome::Answered) answer = *written;
    } catch (const std::exception&) {
        result = BoundedAnswer{BoundedOutcome::Failed, kHrUnexpected};
    }
    logUnanswered(whose, result, bound);
    return result;
}

}  // namespace velmora
