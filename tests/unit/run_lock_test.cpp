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

// Only a wait that ended without the lock counts as waited in vain: the run
// logs that it goes on alongside other runs on that alone.
TEST(RunLock, SaysWhetherItWaitedInVain) {
    ScratchMachine machine;
    const struct {
        const char* situation;
        bool heldByFirst;
        bool held;
        bool waitedInVain;
    } cases[] = {
        {"free", false, true, false},
        {"held by another run", true, false, true},
    };
    for (const auto& c : cases) {
        RunLock first = c.heldByFirst ? acquireRunLock(1000) : RunLock();
        const Attempt attempt = anotherRunTries(20);
        EXPECT_EQ(attempt.held, c.held) << c.situation;
        EXPECT_EQ(attempt.waitedInVain, c.waitedInVain) << c.situation;
    }
}

TEST(RunLock, ADeadHoldersLockIsTakenOver) {
    ScratchMachine machine;
    const RunLock dead = runLockOfADeadHolder();
    EXPECT_TRUE(heldByAnotherRun(1000));
}

}  // namespace velmora
