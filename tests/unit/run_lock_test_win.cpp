// The machine-wide run mutex carries a DACL that lets every account's run
// take its turn: read back from the mutex itself while a run holds it.
#include "common/run_lock.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>

namespace velmora {

namespace {

// The DACL of an open handle in SDDL form; empty when it cannot be read.
std::wstring daclText(HANDLE handle) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    PACL dacl = nullptr;
    if (GetSecurityInfo(handle, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl, nullptr,
                        &descriptor) != ERROR_SUCCESS) {
        return L"";
    }
    LPWSTR text = nullptr;
    std::wstring result;
    if (ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                             &text, nullptr)) {
        result = text;
        LocalFree(text);
    }
    LocalFree(descriptor);
    return result;
}

}  // namespace

TEST(RunLockWindows, TheGlobalMutexLetsEveryAccountWaitAndRelease) {
    RunLock held = acquireRunLock(1000);
    ASSERT_TRUE(held.held());
    // The name is fixed: every run of every account meets on it.
    HANDLE mutex = OpenMutexW(READ_CONTROL, FALSE, L"Global\\VelmoraAvInfo.Run");
    ASSERT_NE(mutex, nullptr) << GetLastError();
    const std::wstring dacl = daclText(mutex);
    CloseHandle(mutex);
    // Authenticated Users: SYNCHRONIZE | MUTEX_MODIFY_STATE, no more; SYSTEM
    // and Administrators: everything. Windows may store GENERIC_ALL mapped to
    // the mutex's own full access (MUTEX_ALL_ACCESS, 0x1f0001).
    const std::wstring asGiven = L"D:(A;;0x100001;;;AU)(A;;GA;;;SY)(A;;GA;;;BA)";
    const std::wstring mapped = L"D:(A;;0x100001;;;AU)(A;;0x1f0001;;;SY)(A;;0x1f0001;;;BA)";
    EXPECT_TRUE(dacl == asGiven || dacl == mapped) << std::string(dacl.begin(), dacl.end());
    // What Authenticated Users are granted is enough to open it.
    HANDLE asUser = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, L"Global\\VelmoraAvInfo.Run");
    EXPECT_NE(asUser, nullptr) << GetLastError();
    if (asUser != nullptr) CloseHandle(asUser);
}

}  // namespace velmora
