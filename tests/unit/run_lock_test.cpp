// The run lock: one holder at a time, kept through a move, free again after
// release(). Other holders are tried from another thread: a Windows mutex is
// re-entrant for the thread that owns it.
#include "common/run_lock.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <thread>
#include <utility>

namespace velmora {

namespace {

bool heldByAnotherRun(unsigned timeoutMilliseconds) {
    bool held = false;
    std::thread([&] { held = acquireRunLock(timeoutMilliseconds).held(); }).join();
    return held;
}

}  // namespace

TEST(RunLock, OneHolderUntilReleased) {
    // Off Windows the lock sits on the ProgramData folder: a private one keeps
    // real runs out.
    ScratchMachine machine;
    RunLock first = acquireRunLock(1000);
    ASSERT_TRUE(first.held());
    EXPECT_FALSE(heldByAnotherRun(20));

    RunLock moved = std::move(first);
    EXPECT_TRUE(moved.held());
    EXPECT_FALSE(heldByAnotherRun(20));

    moved.release();
    EXPECT_FALSE(moved.held());
    EXPECT_TRUE(heldByAnotherRun(1000));
}

}  // namespace velmora
