// The machine's own answers, compared with an independent source: the
// Security Center's WMI classes (Windows 10/11), PowerShell's Defender and
// firewall cmdlets (Server), and each reporting executable's own version
// resource.
#include "field/field_rows_win.h"

#include <wbemidl.h>

namespace velmora::field {
namespace {

nlohmann::json inventoryOfRun(const std::vector<std::wstring>& kinds) {
    DeleteFileW(inventoryPath().c_str());
    RunRequest request;
    request.arguments = kinds;
    request.arguments.push_back(L"-outpath=" + inventoryPath());
    expectEnded(runAsCurrent(request));
    return nlohmann::json::parse(readWhole(inventoryPath()).value_or("null"), nullptr, false);
}

// displayName and productState of every instance of a root\SecurityCenter2 class.
std::vector<ProductSeen> securityCenterProducts(const wchar_t* className) {
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr,
                         EOAC_NONE, nullptr);
    IWbemLocator* locator = nullptr;
    IWbemServices* services = nullptr;
    IEnumWbemClassObject* found = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                  reinterpret_cast<void**>(&locator));
    BSTR space = SysAllocString(L"ROOT\\SecurityCenter2"), language = SysAllocString(L"WQL");
    BSTR query = SysAllocString((std::wstring(L"SELECT displayName, productState FROM ") + className).c_str());
    if (SUCCEEDED(hr)) hr = locator->ConnectServer(space, nullptr, nullptr, nullptr, 0, nullptr, nullptr, &services);
    if (SUCCEEDED(hr)) hr = services->ExecQuery(language, query, WBEM_FLAG_FORWARD_ONLY, nullptr, &found);
    std::vector<ProductSeen> products;
    while (SUCCEEDED(hr)) {
        IWbemClassObject* object = nullptr;
        ULONG returned = 0;
        if (found->Next(10000, 1, &object, &returned) != S_OK || returned == 0) break;
        VARIANT name, state;
        VariantInit(&name);
        VariantInit(&state);
        object->Get(L"displayName", 0, &name, nullptr, nullptr);
        object->Get(L"productState", 0, &state, nullptr, nullptr);
        ProductSeen product;
        if (name.vt == VT_BSTR) product.name = narrow(name.bstrVal);
        if (state.vt == VT_I4 || state.vt == VT_UI4) product.state = stateFromProductState(std::uint32_t(state.lVal));
        products.push_back(product);
        VariantClear(&name);
        VariantClear(&state);
        object->Release();
    }
    SysFreeString(space);
    SysFreeString(language);
    SysFreeString(query);
    if (found) found->Release();
    if (services) services->Release();
    if (locator) locator->Release();
    CoUninitialize();
    if (FAILED(hr)) notArranged("WMI query of root\\SecurityCenter2 " + narrow(className), unsigned(hr));
    return products;
}

void securityCenterAgrees() {
    nlohmann::json inventory = inventoryOfRun({L"-av", L"-as", L"-fw"});
    const std::pair<const char*, const wchar_t*> kinds[] = {
        {"av", L"AntiVirusProduct"}, {"antispyware", L"AntiSpywareProduct"}, {"firewall", L"FirewallProduct"}};
    for (const auto& [kind, className] : kinds) {
        std::vector<std::string> differences =
            compareProducts(productsOfKind(inventory, kind), securityCenterProducts(className));
        for (const std::string& difference : differences) ADD_FAILURE() << kind << ": " << difference;
    }
}

// What a PowerShell command prints on its standard output.
std::string powershellOutput(const std::wstring& script) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) notArranged("CreatePipe");
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process{};
    std::wstring line = L"powershell.exe -NoProfile -NonInteractive -Command " + quoteArgument(script);
    bool started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                                  &startup, &process);
    DWORD error = GetLastError();
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        notArranged("starting powershell.exe", error);
    }
    std::string output;
    char buffer[4096];
    DWORD read = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &read, nullptr) && read > 0) output.append(buffer, read);
    WaitForSingleObject(process.hProcess, 120000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    CloseHandle(readEnd);
    return output;
}

std::optional<std::string> stateOf(const nlohmann::json& inventory, const char* kind, const std::string& name) {
    for (const ProductSeen& product : productsOfKind(inventory, kind))
        if (product.name == name) return product.state;
    return std::nullopt;
}

void serverAgrees() {
    std::multimap<std::string, std::string> defender = parseNameValueLines(powershellOutput(
        L"$s = Get-MpComputerStatus; foreach ($p in 'AMServiceEnabled','AntivirusEnabled','AntispywareEnabled',"
        L"'RealTimeProtectionEnabled','AMRunningMode') { $p + '=' + $s.$p }"));
    std::multimap<std::string, std::string> profiles = parseNameValueLines(
        powershellOutput(L"Get-NetFirewallProfile | ForEach-Object { $_.Name + '=' + $_.Enabled }"));
    std::vector<std::string> categories;
    for (const auto& [name, value] : parseNameValueLines(powershellOutput(
             L"Get-NetConnectionProfile | ForEach-Object { 'Category=' + $_.NetworkCategory }")))
        categories.push_back(value);
    nlohmann::json inventory = inventoryOfRun({L"-av", L"-as", L"-fw"});
    EXPECT_EQ(stateOf(inventory, "av", "Windows Defender"), expectedDefenderState(defender, false));
    EXPECT_EQ(stateOf(inventory, "antispyware", "Windows Defender"), expectedDefenderState(defender, true));
    if (!profiles.empty()) {
        EXPECT_EQ(stateOf(inventory, "firewall", "Windows Firewall"), expectedFirewallState(profiles, categories));
    }
}

std::optional<std::string> productVersionOf(const std::wstring& path) {
    DWORD ignored = 0, size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
    if (size == 0) return std::nullopt;
    std::vector<BYTE> block(size);
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!GetFileVersionInfoW(path.c_str(), 0, size, block.data()) ||
        !VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || length < sizeof *fixed)
        return std::nullopt;
    return versionFromFixed(fixed->dwProductVersionMS, fixed->dwProductVersionLS);
}

void versionsAgree() {
    nlohmann::json inventory = inventoryOfRun({L"-av", L"-as", L"-fw"});
    int compared = 0;
    for (const char* kind : {"av", "antispyware", "firewall"}) {
        if (!inventory.is_object() || !inventory.contains(kind) || !inventory[kind].is_array()) continue;
        for (const nlohmann::json& product : inventory[kind]) {
            if (!product.contains("reporting_exe") || !product.contains("version")) continue;
            std::wstring path = wide(product["reporting_exe"].get<std::string>());
            if (path.size() < 4 || _wcsicmp(path.c_str() + path.size() - 4, L".exe") != 0) continue;
            wchar_t expanded[32768];
            if (!ExpandEnvironmentStringsW(path.c_str(), expanded, 32768)) continue;
            ++compared;
            EXPECT_EQ(product["version"].get<std::string>(), productVersionOf(expanded).value_or(""))
                << narrow(expanded);
        }
    }
    if (compared == 0) GTEST_SKIP() << "no product of this machine has a reporting executable";
}

const std::vector<Row> kRows = {
    {"SecurityCenterAgreesWithWmi", {Facility::SecurityCenter}, securityCenterAgrees},
    {"ServerAgreesWithPowerShell", {Facility::ServerStatus}, serverAgrees},
    {"VersionsAgreeWithFiles", {}, versionsAgree},
};

class MachineAnswers : public testing::TestWithParam<Row> {};
TEST_P(MachineAnswers, Row) { runRow(GetParam()); }
INSTANTIATE_TEST_SUITE_P(Field, MachineAnswers, testing::ValuesIn(kRows), rowName);

}  // namespace
}  // namespace velmora::field
