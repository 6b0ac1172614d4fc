// The run lock: one holder at a time, kept through a move, free again after
// release(). Other holders are tried from another thread: a Windows mutex is
// re-entrant for the thread that owns it.
#include "common/run_lock.h"

#include <gtest/gtest.h>

#include <thread>
#include <utility>

#ifndef _WIN32
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#endif

namespace velmora {

namespace {

bool heldByAnotherRun(unsigned timeoutMilliseconds) {
    bool held = false;
    std::thread([&] { held = acquireRunLock(timeoutMilliseconds).held(); }).join();
    return held;
}

}  // namespace

TEST(RunLock, OneHolderUntilReleased) {
#ifndef _WIN32
    // The lock sits on the ProgramData folder: a private one keeps real runs out.
    const auto root = std::filesystem::temp_directory_path() / ("velmora-lock-" + std::to_string(::getpid()));
    std::filesystem::create_directories(root);
    setenv("VELMORA_PROGRAMDATA", root.c_str(), 1);
#endif
    RunLock first = acquireRunLock(1000);
    ASSERT_TRUE(first.held());
    EXPECT_FALSE(heldByAnotherRun(20));

    RunLock moved = std::move(first);
    EXPECT_TRUE(moved.held());
    EXPECT_FALSE(heldByAnotherRun(20));

    moved.release();
    EXPECT_FALSE(moved.held());
    EXPECT_TRUE(heldByAnotherRun(1000));
#ifndef _WIN32
    unsetenv("VELMORA_PROGRAMDATA");
    std::filesystem::remove_all(root);
#endif
}

}  // namespace velmora
