#include "posture/registry_rule_probe.h"

#include "common/text.h"
#include "log/logger.h"
#include "registry/registry_access.h"

#include <cstdint>
#include <exception>

namespace velmora {

namespace {

struct RegistryRootPrefix {
    const char16_t* prefix;
    RegistryRoot root;
};

// Tried in this order, matched exactly (letter case included).
const RegistryRootPrefix kRootPrefixes[] = {
    {u"Computer\\HKEY_CURRENT_USER\\", RegistryRoot::CurrentUser},
    {u"Computer\\HKEY_LOCAL_MACHINE\\", RegistryRoot::LocalMachine},
    {u"Computer\\HKEY_CLASSES_ROOT\\", RegistryRoot::ClassesRoot},
    {u"Computer\\HKEY_CURRENT_CONFIG\\", RegistryRoot::CurrentConfig},
    {u"Computer\\HKEY_USERS\\", RegistryRoot::Users},
};

// Splits path into root and subkey; false when no prefix fits or nothing
// follows it.
bool splitRegistryPath(const std::u16string& path, RegistryRoot& root, std::u16string& subkey) {
    try {
        for (const auto& entry : kRootPrefixes) {
            const std::u16string prefix = entry.prefix;
            if (path.compare(0, prefix.size(), prefix) == 0) {
                root = entry.root;
                subkey = path.substr(prefix.size());
                return !subkey.empty();
            }
        }
    } catch (const std::exception&) {
        // Treated like a path of no known form.
    }
    return false;
}

// The Windows API reads the subkey only up to its first NUL, so a name that
// holds one would silently test a shorter path. No key can be opened under
// such a name: it is reported missing on both targets.
long openKeyStatus(RegistryRoot root, const std::u16string& subkey) {
    if (subkey.find(u'\0') != std::u16string::npos) return kErrorFileNotFound;
    return openRegistryKeyForRead(root, subkey);
}

bool outcomeFor(long status, PostureOperator op) {
    if (op == OPERATOR_ENUM_EXIST) return status == kErrorSuccess;
    if (op == OPERATOR_ENUM_NOT_EXIST) return status != kErrorSuccess;
    return false;
}

}  // namespace

bool probeRegistryPath(const std::u16string& path, PostureOperator op, std::string& message) {
    RegistryRoot root = RegistryRoot::LocalMachine;
    std::u16string subkey;
    if (!splitRegistryPath(path, root, subkey)) {
        if (op == OPERATOR_ENUM_NOT_EXIST) return true;
        message = "Invalid registry path format found!";
        return false;
    }
    avLogger->info("subkeyW: [{}]", wideToUtf8(subkey));
    const long status = openKeyStatus(root, subkey);
    if (status != kErrorSuccess && status != kErrorFileNotFound) {
        try {
            // The status the open returned: RegOpenKeyExW does not set the
            // thread's last error.
            message = "error in opening registry path! ERROR: " +
                      std::to_string(static_cast<std::uint32_t>(status)) + ", RegPath: " + wideToUtf8(path);
            avLogger->info("{}", message);
        } catch (const std::exception& ex) {
            avLogger->info("Exception occured while RegOpenKeyEx steps! ERROR: {}", ex.what());
            return false;
        }
    }
    return outcomeFor(status, op);
}

bool probeRegistryList(const std::string& registryValue, PostureOperator op, std::string& message) {
    for (const std::string& item : splitByComma(registryValue)) {
        if (probeRegistryPath(utf8ToWide(item), op, message)) return true;
    }
    return false;
}

}  // namespace velmora
