#include "registry/registry_access.h"

#include <windows.h>

#include <vector>

namespace velmora {

static HKEY rootKey(RegistryRoot root) {
    switch (root) {
        case RegistryRoot::CurrentUser: return HKEY_CURRENT_USER;
        case RegistryRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
        case RegistryRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
        case RegistryRoot::CurrentConfig: return HKEY_CURRENT_CONFIG;
        case RegistryRoot::Users: return HKEY_USERS;
    }
    return HKEY_LOCAL_MACHINE;
}

static const wchar_t* wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

long openRegistryKeyForRead(RegistryRoot root, const std::u16string& subkey) {
    HKEY key = nullptr;
    LONG status = RegOpenKeyExW(rootKey(root), wide(subkey), 0, KEY_READ, &key);
    if (status == ERROR_SUCCESS) RegCloseKey(key);
    return status;
}

long readRegistryString(RegistryRoot root, const std::u16string& subkey, const std::u16string& valueName,
                        std::u16string& text) {
    HKEY key = nullptr;
    LONG status = RegOpenKeyExW(rootKey(root), wide(subkey), 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS) return status;
    DWORD bytes = 0;
    status = RegQueryValueExW(key, wide(valueName), nullptr, nullptr, nullptr, &bytes);
    if (status == ERROR_SUCCESS) {
        std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
        DWORD size = static_cast<DWORD>((buffer.size() - 1) * sizeof(wchar_t));
        status = RegQueryValueExW(key, wide(valueName), nullptr, nullptr,
                                  reinterpret_cast<BYTE*>(buffer.data()), &size);
        if (status == ERROR_SUCCESS) {
            text.assign(reinterpret_cast<const char16_t*>(buffer.data()));
        }
    }
    RegCloseKey(key);
    return status;
}

bool readSystemProductName(std::u16string& text) {
    HKEY key = nullptr;
    if (RegOpenKeyW(HKEY_LOCAL_MACHINE, L"SYSTEM\\CurrentControlSet\\Control\\SystemInformation", &key) !=
        ERROR_SUCCESS) {
        return false;
    }
    wchar_t buffer[255] = {};
    DWORD size = sizeof buffer;  // 510 bytes
    LONG status = RegQueryValueExW(key, L"SystemProductName", nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return false;
    std::size_t length = 0;
    while (length < 255 && buffer[length] != L'\0') ++length;
    text.assign(reinterpret_cast<const char16_t*>(buffer), length);
    return true;
}

}  // namespace velmora
