// The machine-wide run mutex carries a DACL that lets every account's run
// take its turn: read back from the mutex itself while a run holds it. One
// that another account created first, refusing everyone, is passed over.
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
    // Authenticated Users and the owner: SYNCHRONIZE | MUTEX_MODIFY_STATE, no
    // more; SYSTEM and Administrators: everything. Windows may store
    // GENERIC_ALL mapped to the mutex's own full access (MUTEX_ALL_ACCESS,
    // 0x1f0001).
    const std::wstring asGiven = L"D:(A;;0x100001;;;AU)(A;;GA;;;SY)(A;;GA;;;BA)(A;;0x100001;;;OW)";
    const std::wstring mapped = L"D:(A;;0x100001;;;AU)(A;;0x1f0001;;;SY)(A;;0x1f0001;;;BA)(A;;0x100001;;;OW)";
    EXPECT_TRUE(dacl == asGiven || dacl == mapped) << std::string(dacl.begin(), dacl.end());
    // What Authenticated Users are granted is enough to open it.
    HANDLE asUser = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, L"Global\\VelmoraAvInfo.Run");
    EXPECT_NE(asUser, nullptr) << GetLastError();
    if (asUser != nullptr) CloseHandle(asUser);
}

// Wine checks a named object's DACL against the one account it runs as, as
// Windows checks it against every account: an empty DACL refuses even the
// creator's account (its owner rights give READ_CONTROL and WRITE_DAC only).
static HANDLE squatRefusingEveryone(const wchar_t* name) {
    PSECURITY_DESCRIPTOR refuseAll = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(L"D:", SDDL_REVISION_1, &refuseAll, nullptr)) {
        return nullptr;
    }
    SECURITY_ATTRIBUTES attributes = {sizeof attributes, refuseAll, FALSE};
    HANDLE squatter = CreateMutexExW(&attributes, name, 0, SYNCHRONIZE);
    const DWORD created = GetLastError();
    LocalFree(refuseAll);
    if (squatter != nullptr && created == ERROR_ALREADY_EXISTS) {
        CloseHandle(squatter);
        return nullptr;
    }
    return squatter;
}

// A squatted machine-wide name is passed over for the session's own; with
// both squatted there is nothing to wait on while other runs may be going on.
TEST(RunLockWindows, SquattedNamesArePassedOverOrReportedAsNoWait) {
    struct Row {
        bool squatSession;
        bool held, fellBack, waitedInVain;
    };
    for (const Row& row : {Row{false, true, true, false}, Row{true, false, false, true}}) {
        SCOPED_TRACE(row.squatSession ? "both names squatted" : "the machine-wide name squatted");
        HANDLE global = squatRefusingEveryone(L"Global\\VelmoraAvInfo.Run");
        ASSERT_NE(global, nullptr) << GetLastError();
        HANDLE session = row.squatSession ? squatRefusingEveryone(L"Local\\VelmoraAvInfo.Run") : nullptr;
        if (row.squatSession) {
            ASSERT_NE(session, nullptr) << GetLastError();
        }

        RunLock lock = acquireRunLock(1000);
        EXPECT_EQ(lock.held(), row.held);
        EXPECT_EQ(lock.fellBack(), row.fellBack);
        EXPECT_EQ(lock.waitedInVain(), row.waitedInVain);
        lock.release();
        if (session != nullptr) CloseHandle(session);
        CloseHandle(global);
    }
}

}  // namespace velmora
