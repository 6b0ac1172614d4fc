#include "field/field_machine_win.h"

#include "field/field_system_win.h"

#include <aclapi.h>
#include <sddl.h>
#include <lm.h>
#include <userenv.h>

#include <algorithm>
#include <set>

namespace velmora::field {

namespace {
const wchar_t kBackupName[] = L"Velmora.fieldtests-backup";
// The mark of the test account, by which a later run finds one left behind.
const wchar_t kAccountComment[] = L"Made by VelmoraAvInfoFieldTests; removed when they end";
const wchar_t kServicePrefix[] = L"VelmoraFieldTests-";

std::set<std::wstring> namesAtStart;  // of C:\ProgramData
bool velmoraMovedAside = false;
bool setUp = false;
std::optional<TestAccount> account;
std::string accountError;

std::wstring backupPath() { return machine().programData + L"\\" + kBackupName; }

void deleteAccount(const std::wstring& name, const std::string& sid) {
    if (!sid.empty()) DeleteProfileW(wide(sid).c_str(), nullptr, nullptr);
    NetUserDel(nullptr, name.c_str());
}

// Accounts and services an earlier run left: recognised by their mark only.
void removeLeftovers() {
    BYTE* buffer = nullptr;
    DWORD read = 0, total = 0;
    if (NetUserEnum(nullptr, 1, FILTER_NORMAL_ACCOUNT, &buffer, MAX_PREFERRED_LENGTH, &read, &total, nullptr) == 0) {
        auto* users = reinterpret_cast<USER_INFO_1*>(buffer);
        for (DWORD i = 0; i < read; ++i)
            if (users[i].usri1_comment && wcscmp(users[i].usri1_comment, kAccountComment) == 0)
                deleteAccount(users[i].usri1_name, sidOfAccount(users[i].usri1_name).value_or(""));
    }
    if (buffer) NetApiBufferFree(buffer);
    SC_HANDLE manager = OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ENUMERATE_SERVICE);
    if (!manager) return;
    DWORD needed = 0, count = 0;
    EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL, nullptr, 0, &needed, &count,
                          nullptr, nullptr);
    std::vector<BYTE> services(needed + 4096);
    if (EnumServicesStatusExW(manager, SC_ENUM_PROCESS_INFO, SERVICE_WIN32, SERVICE_STATE_ALL, services.data(),
                              DWORD(services.size()), &needed, &count, nullptr, nullptr)) {
        auto* list = reinterpret_cast<ENUM_SERVICE_STATUS_PROCESSW*>(services.data());
        for (DWORD i = 0; i < count; ++i) {
            if (wcsncmp(list[i].lpServiceName, kServicePrefix, wcslen(kServicePrefix)) != 0) continue;
            SC_HANDLE service = OpenServiceW(manager, list[i].lpServiceName, DELETE);
            if (service) {
                DeleteService(service);
                CloseServiceHandle(service);
            }
        }
    }
    CloseServiceHandle(manager);
}

// What the program (or a row) made at the top of ProgramData: Velmora and
// the names it moves aside or passes over to, all beginning "Velmora".
void removeNewVelmoraNames() {
    for (const std::wstring& name : namesIn(machine().programData)) {
        if (name.rfind(L"Velmora", 0) != 0 || name == kBackupName || namesAtStart.count(name)) continue;
        removeTree(machine().programData + L"\\" + name);
    }
}
}  // namespace

FieldMachine& machine() {
    static FieldMachine instance;
    return instance;
}

bool setUpMachine(std::string& error) {
    FieldMachine& m = machine();
    m.facts = machineFacts();
    m.userName = currentUserName();
    // Needed to remove what other accounts own, to give plants to another
    // owner and to make links; only an administrator holds them.
    for (const wchar_t* privilege : {L"SeBackupPrivilege", L"SeRestorePrivilege", L"SeCreateSymbolicLinkPrivilege",
                                     L"SeTakeOwnershipPrivilege"})
        enablePrivilege(privilege);
    if (exists(backupPath())) {
        error = narrow(backupPath()) +
                " exists: an earlier run of the field tests did not finish. Run VelmoraAvInfoFieldTests.exe "
                "--restore first (it puts that folder back as C:\\ProgramData\\Velmora).";
        return false;
    }
    if (m.facts.administrator || m.facts.wine) removeLeftovers();
    for (const std::wstring& name : namesIn(m.programData)) namesAtStart.insert(name);
    if (exists(m.velmora)) {
        if (!MoveFileExW(m.velmora.c_str(), backupPath().c_str(), 0)) {
            error = "cannot move C:\\ProgramData\\Velmora aside to " + narrow(backupPath()) + ": " +
                    errorText(GetLastError());
            return false;
        }
        velmoraMovedAside = true;
    }
    namesAtStart.erase(L"Velmora");
    wchar_t temp[MAX_PATH + 1];
    GetTempPathW(MAX_PATH + 1, temp);
    m.work = std::wstring(temp) + L"VelmoraFieldTests-" + wide(randomHex(4));
    CreateDirectoryW(m.work.c_str(), nullptr);
    setUp = true;
    try {
        arrangeWineProducts();
    } catch (const NotArranged& refused) {
        error = refused.what();
        restoreMachine();
        return false;
    }
    return true;
}

void restoreMachine() {
    if (!setUp) return;
    setUp = false;
    FieldMachine& m = machine();
    if (account) {
        deleteAccount(account->name, account->sid);
        SecureZeroMemory(account->password.data(), account->password.size() * sizeof(wchar_t));
        account.reset();
    }
    removeLeftovers();
    if (m.facts.wine) removeTree(m.programData + L"\\SecurityCenter");
    removeNewVelmoraNames();
    removeTree(m.velmora);
    if (velmoraMovedAside && MoveFileExW(backupPath().c_str(), m.velmora.c_str(), 0)) velmoraMovedAside = false;
    removeTree(m.work);
}

int restoreAfterKilledRun() {
    FieldMachine& m = machine();
    m.facts = machineFacts();
    for (const wchar_t* privilege : {L"SeBackupPrivilege", L"SeRestorePrivilege"}) enablePrivilege(privilege);
    removeLeftovers();
    if (!exists(backupPath())) {
        std::printf("nothing to restore: %s does not exist\n", narrow(backupPath()).c_str());
        return 0;
    }
    std::wstring stuck;
    if (!removeTree(m.velmora, &stuck) ||
        !MoveFileExW(backupPath().c_str(), m.velmora.c_str(), 0)) {
        std::printf("could not restore C:\\ProgramData\\Velmora (%s); the original is %s\n",
                    narrow(stuck).c_str(), narrow(backupPath()).c_str());
        return 1;
    }
    std::printf("C:\\ProgramData\\Velmora restored from %s\n", narrow(backupPath()).c_str());
    return 0;
}

void freshVelmora() {
    FieldMachine& m = machine();
    removeNewVelmoraNames();
    std::wstring stuck;
    if (!removeTree(m.velmora, &stuck)) notArranged("cannot remove " + narrow(stuck) + " of an earlier row");
    for (const std::wstring& folder : {m.velmora, m.velmora + L"\\VelmoraVPN", m.logs})
        if (!CreateDirectoryW(folder.c_str(), nullptr)) notArranged("CreateDirectoryW " + narrow(folder));
    // Without a policy a run writes no verdict.
    if (!writeWhole(m.logs + L"\\postureData.json", "{\"endpoint_posture_check\": 0}"))
        notArranged("writing postureData.json");
}

const TestAccount& testAccount() {
    if (account) return *account;
    if (!accountError.empty()) throw NotArranged(accountError);
    TestAccount made;
    made.name = L"VelmoraFT" + wide(randomHex(3));
    // Long and of every class, so any password policy takes it.
    made.password = wide(randomHex(16)) + L"Aa!9";
    USER_INFO_1 user{};
    user.usri1_name = made.name.data();
    user.usri1_password = made.password.data();
    user.usri1_priv = USER_PRIV_USER;
    user.usri1_comment = const_cast<wchar_t*>(kAccountComment);
    user.usri1_flags = UF_SCRIPT | UF_DONT_EXPIRE_PASSWD;
    DWORD parameterError = 0;
    NET_API_STATUS status = NetUserAdd(nullptr, 1, reinterpret_cast<BYTE*>(&user), &parameterError);
    if (status != 0) {
        accountError = std::string(kNotArrangedPrefix) + "NetUserAdd: error " + std::to_string(status) + " (" +
                       errorText(status) + ")";
        throw NotArranged(accountError);
    }
    // Wine's NetUserAdd says yes and makes nothing: only an account the
    // system can look up counts.
    std::optional<std::string> sid = sidOfAccount(made.name);
    if (!sid) {
        NetUserDel(nullptr, made.name.c_str());
        accountError = "NetUserAdd succeeded but LookupAccountNameW does not know the account: error " +
                       std::to_string(GetLastError());
        throw NotArranged(accountError);
    }
    made.sid = *sid;
    account = made;
    return *account;
}

void grantFullAccess(const std::wstring& path, const std::string& sid) {
    PSID trustee = nullptr;
    if (!ConvertStringSidToSidW(wide(sid).c_str(), &trustee)) notArranged("ConvertStringSidToSidW");
    PACL old = nullptr, updated = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &old, nullptr,
                          &descriptor);
    EXPLICIT_ACCESSW grant{};
    grant.grfAccessPermissions = GENERIC_ALL;
    grant.grfAccessMode = GRANT_ACCESS;
    grant.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    grant.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    grant.Trustee.ptstrName = static_cast<wchar_t*>(trustee);
    DWORD status = SetEntriesInAclW(1, &grant, old, &updated);
    if (status == ERROR_SUCCESS)
        status = SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                       nullptr, nullptr, updated, nullptr);
    LocalFree(updated);
    LocalFree(descriptor);
    LocalFree(trustee);
    if (status != ERROR_SUCCESS) notArranged("SetNamedSecurityInfoW on " + narrow(path), status);
}

void arrangeWineProducts() {
    if (!machine().facts.wine) return;
    std::wstring folder = machine().programData + L"\\SecurityCenter";
    CreateDirectoryW(folder.c_str(), nullptr);
    if (!writeWhole(folder + L"\\products.json",
                    R"({"antivirus":[{"name":"Field Test Antivirus","state":0,"signature_status":1,)"
                    R"("remediation_path":"C:\\windows\\regedit.exe","timestamp":"Mon, 07 Dec 2026 09:00:00 GMT"}],)"
                    R"("firewall":[{"name":"Field Test Firewall","state":1}]})"))
        notArranged("writing the test prefix's products.json");
}

}  // namespace velmora::field
