#include "inventory_test_machine.h"

#include <windows.h>

#include <gtest/gtest.h>

namespace velmora {

void prepareTestProgramData() {
    CreateDirectoryW(L"C:\\ProgramData\\SecurityCenter", nullptr);
}

long liveSecurityCenterObjects() {
    // COM loaded the test server into this process when the list was created.
    HMODULE server = GetModuleHandleW(L"FakeSecurityCenter.dll");
    if (server == nullptr) return 0;
    using Counter = LONG (*)();
    auto counter = reinterpret_cast<Counter>(reinterpret_cast<void*>(GetProcAddress(server, "FakeSecurityCenterLiveObjects")));
    return counter != nullptr ? counter() : 0;
}

std::string testScratchFolder() {
    static const std::string folder = [] {
        char base[MAX_PATH + 1] = {};
        GetTempPathA(MAX_PATH, base);
        std::string name = std::string(base) + "velmora-inventory-out-" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(name.c_str(), nullptr);
        return name + "\\";
    }();
    return folder;
}

}  // namespace velmora
