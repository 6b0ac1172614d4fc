// The run lock: one holder at a time, kept through a move, free again after
// release() or the holder's death. Other holders are tried from another
// thread: a Windows mutex is re-entrant for the thread that owns it.
#include "common/run_lock.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <utility>

namespace velmora {

namespace {

struct Attempt {
    bool held = false;
    bool waitedInVain = false;
};

Attempt anotherRunTries(unsigned timeoutMilliseconds) {
    Attempt attempt;
    std::thread([&] {
        const RunLock lock = acquireRunLock(timeoutMilliseconds);
        attempt = {lock.held(), lock.waitedInVain()};
    }).join();
    return attempt;
}

bool heldByAnotherRun(unsigned timeoutMilliseconds) { return anotherRunTries(timeoutMilliseconds).held; }

}  // namespace

TEST(RunLock, OneHolderUntilReleased) {
    // Off Windows the lock sits on the ProgramData folder: a private one keeps
    // real runs out.
    ScratchMachine machine;
    RunLock first = acquireRunLock(1000);
    ASSERT_TRUE(first.held());
    EXPECT_FALSE(first.fellBack());
    // The timeout counts milliseconds: a generous bound, not a benchmark.
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(heldByAnotherRun(100));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(900));

    RunLock moved = std::move(first);
    EXPECT_TRUE(moved.held());
    EXPECT_FALSE(heldByAnotherRun(20));

    moved.release();
    EXPECT_FALSE(moved.held());
    EXPECT_TRUE(heldByAnotherRun(1000));
}

// Only a wait that ended without the lock is one in vain: the run says that it
// goes on alongside other runs on that alone.
TEST(RunLock, SaysWhetherItWaitedInVain) {
    ScratchMachine machine;
    const RunLock first = acquireRunLock(1000);
    EXPECT_FALSE(first.waitedInVain());
    const Attempt refused = anotherRunTries(20);
    EXPECT_FALSE(refused.held);
    EXPECT_TRUE(refused.waitedInVain);
}

// The fall-back to the session's lock is only a different lock outside
// session 0 (Wine has no session 0 to show it).
TEST(RunLock, SessionZeroHasNoLockOfItsOwnToFallBackTo) {
    EXPECT_FALSE(sessionHasOwnRunLock(true, 0));
    EXPECT_TRUE(sessionHasOwnRunLock(true, 1));
    EXPECT_TRUE(sessionHasOwnRunLock(true, 7));
    EXPECT_TRUE(sessionHasOwnRunLock(false, 0));  // unknown: tried, as before
}

TEST(RunLock, ADeadHoldersLockIsTakenOver) {
    ScratchMachine machine;
    const RunLock dead = runLockOfADeadHolder();
    EXPECT_TRUE(heldByAnotherRun(1000));
}

}  // namespace velmora
