// The per-user log folder, <ProgramData>\Velmora\VelmoraVPN\logs\<user>, made
// safe to write before the log opens.
//
// The VPN log directory is shared: every account may create folders and
// files in it. Another account could therefore plant a link (a symbolic link,
// a mount point, a second hard link) where this run's log folder or log file
// belongs, and make this run, perhaps running as SYSTEM, create, append to,
// rename or delete a file of its choosing. So every component from
// <ProgramData>\Velmora down to the per-user folder must be a real folder,
// the per-user folder must belong to the running account, LocalSystem or
// Administrators (off Windows: the effective user or root), and the log files
// in it must be plain files with one link. Anything else is moved aside,
// renamed to "<name>.untrusted-<n>", and the run goes on with a fresh folder.
//
// The decisions below are pure functions over plain facts; the system calls
// that gather the facts and act on them are in log_folder_win.cpp and
// log_folder_posix.cpp.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmora {

// What a name in a folder is, seen without following a link.
enum class EntryKind { Missing, Folder, PlainFile, Link, Other };

// Accounts as the system names them: SID strings on Windows, decimal user
// ids elsewhere (where root stands for both SYSTEM and Administrators).
struct AccountIds {
    std::string running;
    std::string system;
    std::string administrators;
};

struct FolderFacts {
    EntryKind kind = EntryKind::Missing;
    std::optional<std::string> owner;  // nullopt when it could not be read
};

struct FileFacts {
    EntryKind kind = EntryKind::Missing;
    std::uint64_t linkCount = 0;
};

enum class FolderStep {
    Create,         // missing: create it
    Use,            // trusted as it is
    UseAndProtect,  // the running account owns it: set the folder's own DACL again
    MoveAside,      // not to be trusted: rename it out of the way
};

// A folder above the per-user folder only has to be a real folder.
FolderStep decideAncestorFolder(EntryKind kind);
// The per-user folder must also have a trusted owner.
FolderStep decideUserFolder(const FolderFacts& facts, const AccountIds& accounts);
// avInfo.log and avInfo.1.log: absent, or a plain file with exactly one link.
bool logFileCanBeUsed(const FileFacts& facts);

// "<name>.untrusted-<n>"; n runs from 1 to kMaxMovedAsideNumber.
std::string movedAsideName(const std::string& name, unsigned number);
constexpr unsigned kMaxMovedAsideNumber = 100;

// A name the run moved aside, for the log once it is open.
struct MovedAside {
    bool isFolder = false;
    std::string from;  // old full path
    std::string to;    // new full path
};

// An open folder: its path as the program writes it and the system's
// reference to it (a descriptor off Windows, a HANDLE on Windows; -1: none).
struct OpenFolder {
    std::string path;
    std::intptr_t native = -1;
};
struct OpenFolderClose {
    void operator()(OpenFolder* folder) const;
};
using HeldFolder = std::unique_ptr<OpenFolder, OpenFolderClose>;

struct PreparedLogFolder {
    // Every folder from <ProgramData>\Velmora down to the per-user folder,
    // held open for the whole run so that none can be swapped under it.
    std::vector<HeldFolder> held;
    std::string logFilePath;      // the log file as the program names it
    std::string libraryFilePath;  // what the logging library is given to open
    std::vector<MovedAside> movedAside;
    std::string failure;  // not empty: the log cannot start, and why
};

// Checks, creates and moves aside as described above.
PreparedLogFolder prepareLogFolder(const std::string& userName);

// One info line per name moved aside, in the order they were moved.
void logMovedAside(const std::vector<MovedAside>& moved);

// ---- platform layer (log_folder_win.cpp / log_folder_posix.cpp) ----

AccountIds runningAccountIds();
// <ProgramData> itself, which belongs to the machine (an empty OpenFolder
// path: it could not be had; error is set).
HeldFolder openProgramData(unsigned long& error);

struct FolderProbe {
    FolderFacts facts;
    HeldFolder opened;  // set when the folder itself could be opened
    unsigned long error = 0;
};
FolderProbe probeFolder(const OpenFolder& parent, const std::string& name);
// 0, or the system's error code (kNameTaken when the name exists).
unsigned long createFolder(const OpenFolder& parent, const std::string& name, bool forUser,
                           const AccountIds& accounts);
unsigned long renameEntry(const OpenFolder& parent, const std::string& from, const std::string& to);
unsigned long protectUserFolder(const OpenFolder& folder, const AccountIds& accounts);
FileFacts probeFile(const OpenFolder& folder, const std::string& name);
std::string libraryPathOf(const OpenFolder& folder, const std::string& fileName);
constexpr unsigned long kNameTaken = 0xFFFFFFFEul;

}  // namespace velmora
