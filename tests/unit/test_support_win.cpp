#include "test_support.h"

#include "common/machine_paths.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

namespace velmora {

namespace fs = std::filesystem;

fs::path makeScratchRoot() {
    static std::atomic<unsigned> count{0};
    const fs::path root = fs::temp_directory_path() / ("velmora-test-" + std::to_string(GetCurrentProcessId()) +
                                                       "-" + std::to_string(count++));
    fs::remove_all(root);
    fs::create_directories(root);
    return root;
}

// Windows keeps the fixed C:\ProgramData: tests share it and remove what they
// write there.
fs::path useProgramDataBelow(const fs::path&) { return programDataDirectory(); }

void releaseProgramData() {}

RunLock runLockOfADeadHolder() {
    RunLock kept;
    std::thread([&] { kept = acquireRunLock(1000); }).join();
    EXPECT_TRUE(kept.held());
    return kept;
}

long liveSecurityCenterObjects() {
    // COM loaded the test server into this process when the list was created.
    HMODULE server = GetModuleHandleW(L"FakeSecurityCenter.dll");
    if (server == nullptr) return 0;
    using Counter = LONG (*)();
    auto counter =
        reinterpret_cast<Counter>(reinterpret_cast<void*>(GetProcAddress(server, "FakeSecurityCenterLiveObjects")));
    return counter != nullptr ? counter() : 0;
}

}  // namespace velmora
