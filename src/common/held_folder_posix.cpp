// The held-folder layer off Windows: every call is an *at call on a held
// descriptor with a one-component name, O_NOFOLLOW or AT_SYMLINK_NOFOLLOW,
// and what was opened is checked with fstat on the descriptor it gave.
// (Go's os.Root and openat2's RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS work the
// same way; one component at a time needs neither.)
//
// Modes of what the run creates, mirroring the two models of docs/security.md
// (root stands for SYSTEM and Administrators):
//   Velmora, VelmoraVPN  0755  every account reads, only root changes them;
//   logs                 1777  every account may create its own folder and
//                              file there, and (sticky) none may rename or
//                              delete another's: CREATOR OWNER on Windows;
//   <user>               0700  the account alone (and root);
//   check.json           0644  set on the descriptor, so the umask cannot
//                              change it and no planted file decides it.
// The installer of the runs-as-root-only model sets logs to 0755 itself; a
// folder the run must recreate cannot know the model, and a logs that users
// could not enter would stop every user's run.
#include "common/held_folder.h"

#include "common/file_io.h"
#include "common/machine_paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace velmora {

namespace {

constexpr mode_t kProgramDataChainMode = 0755;
constexpr mode_t kSharedMode = 0755;
constexpr mode_t kLogsMode = 01777;
constexpr mode_t kUserFolderMode = 0700;
constexpr mode_t kNewFileMode = 0644;

int fdOf(const OpenFolder& folder) { return static_cast<int>(folder.native); }
int fdOf(const OpenFile& file) { return static_cast<int>(file.native); }
unsigned long lastErrno() { return static_cast<unsigned long>(errno != 0 ? errno : EIO); }

HeldFolder heldFolder(std::string path, int fd) {
    return HeldFolder(new OpenFolder{std::move(path), static_cast<std::intptr_t>(fd)});
}

std::string childPath(const OpenFolder& parent, const std::string& name) { return parent.path + '/' + name; }

EntryKind kindOf(mode_t mode) {
    if (S_ISLNK(mode)) return EntryKind::Link;
    if (S_ISDIR(mode)) return EntryKind::Folder;
    return S_ISREG(mode) ? EntryKind::PlainFile : EntryKind::Other;
}

EntryFacts factsOf(const struct stat& st) {
    return {kindOf(st.st_mode), static_cast<std::uint64_t>(st.st_nlink), std::to_string(st.st_uid)};
}

bool isPlainWithOneLink(const struct stat& st) { return S_ISREG(st.st_mode) && st.st_nlink == 1; }

int openFolderAt(int parent, const char* name) {
    return openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// ProgramData and the folders above it belong to the machine; they are made
// only so that a fresh machine (or test) needs no set-up.
void createProgramDataChain(const std::string& path) {
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        mkdir(path.substr(0, slash).c_str(), kProgramDataChainMode);
    }
    mkdir(path.c_str(), kProgramDataChainMode);
}

// The folder just made, given its exact mode through a descriptor (mkdirat
// takes the umask off, and the sticky bit is not always kept). Only when the
// run owns what it opened: the name may have changed hands meanwhile.
unsigned long setCreatedFolderMode(int parent, const std::string& name, mode_t mode) {
    const int fd = openFolderAt(parent, name.c_str());
    if (fd < 0) return 0;  // gone or replaced: the caller inspects the name again
    struct stat st {};
    unsigned long error = 0;
    if (fstat(fd, &st) == 0 && st.st_uid == geteuid() && fchmod(fd, mode) != 0) error = lastErrno();
    close(fd);
    return error;
}

// Opens folder/name with flags (O_NOFOLLOW and O_CLOEXEC added) and checks
// through the descriptor that it is a plain file with one link.
FileOpenResult openPlain(const OpenFolder& folder, const std::string& name, int flags) {
    FileOpenResult result;
    const int fd = openat(fdOf(folder), name.c_str(), flags | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, kNewFileMode);
    if (fd < 0) {
        result.error = lastErrno();
        return result;
    }
    result.file = HeldFile(new OpenFile{static_cast<std::intptr_t>(fd)});
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        result.error = lastErrno();
        result.file.reset();
        return result;
    }
    result.facts = factsOf(st);
    if (!isPlainWithOneLink(st)) {
        result.error = kNotPlainFile;
        result.file.reset();
    }
    return result;
}

}  // namespace

void OpenFolderClose::operator()(OpenFolder* folder) const {
    if (folder->native >= 0) close(fdOf(*folder));
    delete folder;
}

void OpenFileClose::operator()(OpenFile* file) const {
    if (file->native >= 0) close(fdOf(*file));
    delete file;
}

std::string systemErrorText(unsigned long error) {
    return error <= INT_MAX ? errnoText(static_cast<int>(error)) : std::to_string(error);
}

std::string unpredictableName() {
    unsigned char bytes[16] = {};
    std::size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
        if (n > 0) got += static_cast<std::size_t>(n);
        else if (errno != EINTR) break;  // nothing else is expected of a kernel that has getrandom
    }
    static const char kDigits[] = "0123456789abcdef";
    std::string name;
    for (unsigned char byte : bytes) {
        name += kDigits[byte >> 4];
        name += kDigits[byte & 15];
    }
    return name;
}

// Root stands for both SYSTEM and Administrators.
AccountIds runningAccountIds() { return {std::to_string(geteuid()), "0", "0"}; }

HeldFolder openProgramData(unsigned long& error) {
    const std::string path = programDataDirectory();
    int fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 && errno == ENOENT) {
        createProgramDataChain(path);
        fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    if (fd < 0) {
        error = lastErrno();
        return nullptr;
    }
    return heldFolder(path, fd);
}

FolderProbe probeFolder(const OpenFolder& parent, const std::string& name) {
    FolderProbe probe;
    if (!isOneComponent(name)) {
        probe.facts.kind = EntryKind::Other;
        probe.error = kBadName;
        return probe;
    }
    struct stat st {};
    const int fd = openFolderAt(fdOf(parent), name.c_str());
    if (fd >= 0) {
        probe.opened = heldFolder(childPath(parent, name), fd);
        if (fstat(fd, &st) != 0) {
            probe.facts.kind = EntryKind::Other;
            probe.error = lastErrno();
            probe.opened.reset();
            return probe;
        }
    } else {
        probe.error = lastErrno();
        // Not opened (a link, no folder, or no right to enter): what the
        // name is, without following it, is enough to decide.
        if (fstatat(fdOf(parent), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            probe.facts.kind = errno == ENOENT ? EntryKind::Missing : EntryKind::Other;
            return probe;
        }
    }
    probe.facts = factsOf(st);
    return probe;
}

// The link is read, then looked at again: only when it is still the same
// root-owned link is its text followed, from the folder that holds it. So
// the link followed is the one whose owner was checked, and it is followed
// once; what its text names is the administrator's choice.
FolderProbe openTrustedLink(const OpenFolder& parent, const std::string& name) {
    FolderProbe probe;
    probe.facts.kind = EntryKind::Other;
    probe.error = kNotPlainFile;
    struct stat before {}, after {};
    if (!isOneComponent(name)) {
        probe.error = kBadName;
        return probe;
    }
    if (fstatat(fdOf(parent), name.c_str(), &before, AT_SYMLINK_NOFOLLOW) != 0) {
        probe.error = lastErrno();
        return probe;
    }
    if (!S_ISLNK(before.st_mode) || before.st_uid != 0) return probe;
    char target[PATH_MAX + 1];
    const ssize_t length = readlinkat(fdOf(parent), name.c_str(), target, PATH_MAX);
    if (length <= 0) {
        probe.error = length < 0 ? lastErrno() : kNotPlainFile;
        return probe;
    }
    target[length] = '\0';
    if (fstatat(fdOf(parent), name.c_str(), &after, AT_SYMLINK_NOFOLLOW) != 0 || after.st_ino != before.st_ino ||
        after.st_dev != before.st_dev || after.st_uid != 0 || !S_ISLNK(after.st_mode)) {
        return probe;
    }
    const int fd = openat(fdOf(parent), target, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0) {
        probe.error = lastErrno();
        if (fd >= 0) close(fd);
        return probe;
    }
    probe.opened = heldFolder(childPath(parent, name), fd);
    probe.facts = factsOf(st);
    probe.error = 0;
    return probe;
}

unsigned long createFolder(const OpenFolder& parent, const std::string& name, FolderRules rules,
                           const AccountIds&) {
    if (!isOneComponent(name)) return kBadName;
    const mode_t mode = rules == FolderRules::Private ? kUserFolderMode
                        : rules == FolderRules::Logs  ? kLogsMode
                                                      : kSharedMode;
    if (mkdirat(fdOf(parent), name.c_str(), mode & 0777) != 0) return errno == EEXIST ? kNameTaken : lastErrno();
    return setCreatedFolderMode(fdOf(parent), name, mode);
}

// The owner may always change the mode; an umask may have taken bits of the
// new folder's mode, never added any. fchmod changes the folder alone.
unsigned long protectUserFolder(const OpenFolder& folder, const AccountIds&) {
    return fchmod(fdOf(folder), kUserFolderMode) == 0 ? 0 : lastErrno();
}

// O_NONBLOCK on every open: a FIFO opens at once (and is then refused as no
// plain file), a device does not wait for a carrier; for a plain file it
// changes nothing.
FileOpenResult openFileIn(const OpenFolder& folder, const std::string& name, FileOpen how) {
    if (!isOneComponent(name)) {
        FileOpenResult refused;
        refused.error = kBadName;
        return refused;
    }
    switch (how) {
    case FileOpen::ReadPlain: {
        // Looked at first, so that no device is opened at all.
        struct stat st {};
        if (fstatat(fdOf(folder), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && !isPlainWithOneLink(st)) {
            FileOpenResult refused;
            refused.facts = factsOf(st);
            refused.error = kNotPlainFile;
            return refused;
        }
        return openPlain(folder, name, O_RDONLY | O_NONBLOCK);
    }
    case FileOpen::Append:
        return openPlain(folder, name, O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK);
    case FileOpen::CreateNew: {
        FileOpenResult created = openPlain(folder, name, O_WRONLY | O_CREAT | O_EXCL | O_NONBLOCK);
        if (created.error == EEXIST) created.error = kNameTaken;
        if (created.file && fchmod(fdOf(*created.file), kNewFileMode) != 0) {
            created.error = lastErrno();
            created.file.reset();
            unlinkat(fdOf(folder), name.c_str(), 0);
        }
        return created;
    }
    case FileOpen::WriteExisting:
        return openPlain(folder, name, O_WRONLY | O_NONBLOCK);
    }
    return {};
}

EntryFacts probeEntry(const OpenFolder& folder, const std::string& name) {
    struct stat st {};
    if (!isOneComponent(name)) return {EntryKind::Other, 0, std::nullopt};
    if (fstatat(fdOf(folder), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
        return {errno == ENOENT ? EntryKind::Missing : EntryKind::Other, 0, std::nullopt};
    }
    return factsOf(st);
}

unsigned long readAll(const OpenFile& file, std::string& bytes, std::size_t maxBytes) {
    bytes.clear();
    std::size_t piece = 4096;
    for (;;) {
        const std::size_t held = bytes.size();
        // One byte past the limit is asked for, to tell a file of exactly
        // maxBytes from a longer one.
        const std::size_t want = maxBytes - held < piece ? maxBytes - held + 1 : piece;
        bytes.resize(held + want);
        const ssize_t got = read(fdOf(file), &bytes[held], want);
        if (got < 0 && errno == EINTR) {
            bytes.resize(held);
            continue;
        }
        if (got < 0) {
            bytes.resize(held);
            return lastErrno();
        }
        bytes.resize(held + static_cast<std::size_t>(got));
        if (bytes.size() > maxBytes) return EFBIG;
        if (got == 0) return 0;
        if (piece < (std::size_t{1} << 24)) piece *= 2;
    }
}

unsigned long writeAll(const OpenFile& file, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t put = write(fdOf(file), data, size);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return put < 0 ? lastErrno() : EIO;
        data += put;
        size -= static_cast<std::size_t>(put);
    }
    return 0;
}

unsigned long writeAt(const OpenFile& file, std::uint64_t offset, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t put = pwrite(fdOf(file), data, size, static_cast<off_t>(offset));
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return put < 0 ? lastErrno() : EIO;
        data += put;
        size -= static_cast<std::size_t>(put);
        offset += static_cast<std::uint64_t>(put);
    }
    return 0;
}

unsigned long cutAt(const OpenFile& file, std::uint64_t length) {
    return ftruncate(fdOf(file), static_cast<off_t>(length)) == 0 ? 0 : lastErrno();
}

// fsync of something that keeps nothing (EINVAL) or of a read-only disk
// (EROFS, where nothing was written) loses nothing.
unsigned long flushFile(const OpenFile& file) {
    if (fsync(fdOf(file)) == 0 || errno == EINVAL || errno == EROFS) return 0;
    return lastErrno();
}

void flushFolder(const OpenFolder& folder) { fsync(fdOf(folder)); }

std::uint64_t fileSize(const OpenFile& file) {
    struct stat st {};
    return fstat(fdOf(file), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

// renameat moves the name itself, a link included, never what it points to.
// RENAME_NOREPLACE: a name taken in the meantime is never replaced.
unsigned long renameIn(const OpenFolder& folder, const std::string& from, const std::string& to, bool replace) {
    if (!isOneComponent(from) || !isOneComponent(to)) return kBadName;
    const int fd = fdOf(folder);
    if (renameat2(fd, from.c_str(), fd, to.c_str(), replace ? 0 : RENAME_NOREPLACE) == 0) return 0;
    return !replace && errno == EEXIST ? kNameTaken : lastErrno();
}

// unlinkat removes a name and never follows it: should the name change
// between the look and the removal, a name is removed, never a link's target.
unsigned long removeIn(const OpenFolder& folder, const std::string& name, bool alsoLink) {
    if (!isOneComponent(name)) return kBadName;
    struct stat st {};
    if (fstatat(fdOf(folder), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return lastErrno();
    if (!isPlainWithOneLink(st) && !(alsoLink && S_ISLNK(st.st_mode))) return kNotPlainFile;
    return unlinkat(fdOf(folder), name.c_str(), 0) == 0 ? 0 : lastErrno();
}

std::vector<std::string> entriesOf(const OpenFolder& folder) {
    std::vector<std::string> names;
    // A descriptor of its own: closedir closes it, and reading moves its offset.
    const int fd = openat(fdOf(folder), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return names;
    DIR* dir = fdopendir(fd);
    if (dir == nullptr) {
        close(fd);
        return names;
    }
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(name);
    }
    closedir(dir);
    return names;
}

bool replacementIsBusy(unsigned long error) { return error == kBusy; }

bool processIsGone(unsigned long processId) {
    // Beyond pid_t a number names no process (and must not become a
    // negative id, which kill reads as a process group).
    if (processId == 0 || processId > 0x7FFFFFFFul) return true;
    return kill(static_cast<pid_t>(processId), 0) != 0 && errno == ESRCH;
}

}  // namespace velmora
