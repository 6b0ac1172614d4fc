// The registry stand-in of the Linux build: <ProgramData>/Registry/<ROOT>/...
// A key is a folder, a string value is a file with the value's UTF-8 text.
// Names match without regard to ASCII letter case. A name component ".",
// ".." or one holding '/' never leaves the stand-in: it names no key.
#include "registry/registry_access.h"

#include "common/file_io.h"
#include "common/machine_paths.h"
#include "common/status_codes.h"
#include "common/text.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace velmora {

namespace {

const char* rootFolderName(RegistryRoot root) {
    switch (root) {
        case RegistryRoot::CurrentUser: return "HKEY_CURRENT_USER";
        case RegistryRoot::LocalMachine: return "HKEY_LOCAL_MACHINE";
        case RegistryRoot::ClassesRoot: return "HKEY_CLASSES_ROOT";
        case RegistryRoot::CurrentConfig: return "HKEY_CURRENT_CONFIG";
        case RegistryRoot::Users: return "HKEY_USERS";
    }
    return "HKEY_LOCAL_MACHINE";
}

bool isSafeName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos &&
           name.find('\0') == std::string::npos;
}

// A key folder counts as unreadable when listing it is refused, or when
// nobody has the read permission on it (the latter also holds for root, which
// the kernel would let through). info is the folder's stat.
long keyFolderStatus(const std::string& path, const struct stat& info) {
    if (!S_ISDIR(info.st_mode)) return kErrorFileNotFound;
    if ((info.st_mode & (S_IRUSR | S_IRGRP | S_IROTH)) == 0) return kErrorAccessDenied;
    if (faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) != 0) {
        return (errno == EACCES || errno == EPERM) ? kErrorAccessDenied : kErrorFileNotFound;
    }
    return kErrorSuccess;
}

long statStatus(const std::string& path, struct stat& info) {
    if (stat(path.c_str(), &info) == 0) return kErrorSuccess;
    return errno == EACCES ? kErrorAccessDenied : kErrorFileNotFound;
}

// Finds the entry of a readable folder whose name equals name ignoring ASCII
// case; an exact match wins, and is found without listing the folder.
long findEntry(const std::string& folder, const std::string& name, std::string& path, struct stat& info) {
    path = folder + "/" + name;
    if (stat(path.c_str(), &info) == 0) return kErrorSuccess;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return kErrorAccessDenied;
    long result = kErrorFileNotFound;
    while (dirent* entry = readdir(dir)) {
        const std::string candidate = entry->d_name;
        if (candidate != "." && candidate != ".." && equalsIgnoreAsciiCase(candidate, name)) {
            path = folder + "/" + candidate;
            result = statStatus(path, info);
            break;
        }
    }
    closedir(dir);
    return result;
}

// Resolves root\subkey to its folder. Returns 0 and the folder, or an error.
long resolveKey(RegistryRoot root, const std::u16string& subkey, std::string& folder) {
    folder = programDataDirectory() + "/Registry/" + rootFolderName(root);
    struct stat info {};
    long status = statStatus(folder, info);
    if (status == kErrorSuccess) status = keyFolderStatus(folder, info);
    if (status != kErrorSuccess) return status;
    std::u16string rest = subkey;
    if (!rest.empty() && rest.back() == u'\\') rest.pop_back();  // as Windows, a final '\' is ignored
    if (rest.empty()) return kErrorSuccess;
    std::size_t start = 0;
    while (true) {
        std::size_t end = rest.find(u'\\', start);
        std::u16string component = rest.substr(start, end == std::u16string::npos ? std::u16string::npos : end - start);
        std::string name = wideToUtf8(component);
        if (!isSafeName(name)) return kErrorFileNotFound;
        std::string next;
        status = findEntry(folder, name, next, info);
        if (status == kErrorSuccess) status = keyFolderStatus(next, info);
        if (status != kErrorSuccess) return status;
        folder = std::move(next);
        if (end == std::u16string::npos) break;
        start = end + 1;
    }
    return kErrorSuccess;
}

}  // namespace

long openRegistryKeyForRead(RegistryRoot root, const std::u16string& subkey) {
    std::string folder;
    return resolveKey(root, subkey, folder);
}

long readRegistryString(RegistryRoot root, const std::u16string& subkey, const std::u16string& valueName,
                        std::u16string& text) {
    std::string folder;
    long status = resolveKey(root, subkey, folder);
    if (status != kErrorSuccess) return status;
    std::string name = wideToUtf8(valueName);
    if (!isSafeName(name)) return kErrorFileNotFound;
    std::string path;
    struct stat info {};
    status = findEntry(folder, name, path, info);
    if (status != kErrorSuccess) return status;
    if (!S_ISREG(info.st_mode)) return kErrorFileNotFound;
    unsigned long openError = 0;
    ReadFileHandle file(openSharedForReading(path, openError));
    std::string bytes;
    if (!file || !readWholeFile(file.get(), bytes)) return kErrorAccessDenied;
    std::u16string converted = utf8ToWide(bytes);
    if (converted.empty() && !bytes.empty()) return kErrorInvalidData;
    text = converted;
    return kErrorSuccess;
}

bool readSystemProductName(std::u16string& text) {
    std::u16string value;
    if (readRegistryString(RegistryRoot::LocalMachine, u"SYSTEM\\CurrentControlSet\\Control\\SystemInformation",
                           u"SystemProductName", value) != kErrorSuccess) {
        return false;
    }
    // The Windows build reads into 255 UTF-16 units; a longer value fails there.
    if (value.size() > 254) return false;
    std::size_t nul = value.find(u'\0');
    text = value.substr(0, nul);
    return true;
}

}  // namespace velmora
