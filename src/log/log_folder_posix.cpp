// The log folder's system calls off Windows. Every step is relative to a
// descriptor of the folder above, opened without following a link
// (O_NOFOLLOW) and checked through that descriptor (fstat): no name is
// looked up twice, so nothing can be swapped between a check and its use.
#include "log/log_folder.h"

#include "common/machine_paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace velmora {

namespace {

constexpr mode_t kAncestorMode = 0755;  // as the logging library made missing folders
constexpr mode_t kUserFolderMode = 0700;

int fdOf(const OpenFolder& folder) { return static_cast<int>(folder.native); }

HeldFolder heldFolder(std::string path, int fd) {
    return HeldFolder(new OpenFolder{std::move(path), static_cast<std::intptr_t>(fd)});
}

EntryKind kindOf(mode_t mode) {
    if (S_ISLNK(mode)) return EntryKind::Link;
    if (S_ISDIR(mode)) return EntryKind::Folder;
    return S_ISREG(mode) ? EntryKind::PlainFile : EntryKind::Other;
}

int openFolderAt(int parent, const char* name) {
    return openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// ProgramData and the folders above it are created as the logging library
// used to create them, so that a fresh machine (or test) needs no set-up.
void createProgramDataChain(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        mkdir(path.substr(0, slash).c_str(), kAncestorMode);
    }
    mkdir(path.c_str(), kAncestorMode);
}

}  // namespace

void OpenFolderClose::operator()(OpenFolder* folder) const {
    if (folder->native >= 0) close(fdOf(*folder));
    delete folder;
}

// Root stands for both LocalSystem and Administrators.
AccountIds runningAccountIds() { return {std::to_string(geteuid()), "0", "0"}; }

HeldFolder openProgramData(unsigned long& error) {
    const std::string path = programDataDirectory();
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        createProgramDataChain(path);
        fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    if (fd < 0) {
        error = static_cast<unsigned long>(errno);
        return nullptr;
    }
    return heldFolder(path, fd);
}

FolderProbe probeFolder(const OpenFolder& parent, const std::string& name) {
    FolderProbe probe;
    const std::string path = parent.path + '/' + name;
    struct stat st {};
    const int fd = openFolderAt(fdOf(parent), name.c_str());
    if (fd >= 0) {
        probe.opened = heldFolder(path, fd);
        if (fstat(fd, &st) != 0) {
            probe.facts.kind = EntryKind::Other;
            probe.error = static_cast<unsigned long>(errno);
            return probe;
        }
    } else {
        probe.error = static_cast<unsigned long>(errno);
        // Not opened (a link, not a folder, or no right to enter): what the
        // name is, without following it, is enough to decide.
        if (fstatat(fdOf(parent), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            probe.facts.kind = errno == ENOENT ? EntryKind::Missing : EntryKind::Other;
            return probe;
        }
    }
    probe.facts.kind = kindOf(st.st_mode);
    probe.facts.owner = std::to_string(st.st_uid);
    return probe;
}

unsigned long createFolder(const OpenFolder& parent, const std::string& name, bool forUser, const AccountIds&) {
    if (mkdirat(fdOf(parent), name.c_str(), forUser ? kUserFolderMode : kAncestorMode) == 0) return 0;
    return errno == EEXIST ? kNameTaken : static_cast<unsigned long>(errno);
}

// RENAME_NOREPLACE: a name taken in the meantime is never replaced (a plain
// rename would silently put a folder over an empty one, or a file over a file).
unsigned long renameEntry(const OpenFolder& parent, const std::string& from, const std::string& to) {
    if (renameat2(fdOf(parent), from.c_str(), fdOf(parent), to.c_str(), RENAME_NOREPLACE) == 0) return 0;
    return errno == EEXIST ? kNameTaken : static_cast<unsigned long>(errno);
}

// The owner may always change the mode; an umask may have taken bits of the
// new folder's mode, never added any.
unsigned long protectUserFolder(const OpenFolder& folder, const AccountIds&) {
    return fchmod(fdOf(folder), kUserFolderMode) == 0 ? 0 : static_cast<unsigned long>(errno);
}

FileFacts probeFile(const OpenFolder& folder, const std::string& name) {
    struct stat st {};
    if (fstatat(fdOf(folder), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return {errno == ENOENT ? EntryKind::Missing : EntryKind::Other, 0};
    }
    return {kindOf(st.st_mode), static_cast<std::uint64_t>(st.st_nlink)};
}

// The logging library opens (and on rotation renames) its file by name. Named
// through /proc/self/fd, that name goes through the held descriptor: even
// when an ancestor is renamed and replaced by a link meanwhile (the shared
// folder is writable by every account, and nothing here can stop a rename),
// the file lands in the folder that was checked. Without /proc (not mounted)
// the plain path is the only way left.
std::string libraryPathOf(const OpenFolder& folder, const std::string& fileName) {
    const std::string viaDescriptor = "/proc/self/fd/" + std::to_string(fdOf(folder));
    struct stat held {}, named {};
    if (fstat(fdOf(folder), &held) == 0 && stat(viaDescriptor.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
        held.st_ino == named.st_ino) {
        return viaDescriptor + '/' + fileName;
    }
    return folder.path + '/' + fileName;
}

}  // namespace velmora
