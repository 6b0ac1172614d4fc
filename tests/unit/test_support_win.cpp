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

HeldFolder holdFolder(const fs::path& folder) {
    // As the layer holds a folder: open for listing, never deleted meanwhile.
    const HANDLE handle = CreateFileW(folder.wstring().c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    EXPECT_NE(handle, INVALID_HANDLE_VALUE) << folder;
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    return HeldFolder(new OpenFolder{folder.u8string(), reinterpret_cast<std::intptr_t>(handle)});
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
