// The per-user log folder, <ProgramData>\Velmora\VelmoraVPN\logs\<user>, made
// safe to write before the log opens.
//
// The VPN log directory is shared: every account may create folders and
// files in it. Another account could therefore plant a link (a symbolic link,
// a mount point, a second hard link) where this run's log folder or log file
// belongs, and make this run, perhaps running as SYSTEM, create, append to,
// rename or delete a file of its choosing. So every component from
// <ProgramData>\Velmora down to the per-user folder must be a real folder (or,
// for Velmora, VelmoraVPN and logs, a link that SYSTEM or Administrators own:
// an administrator's relocation, followed on purpose), the per-user folder
// must belong to the running account, LocalSystem or Administrators (off
// Windows: the effective user or root), and the log files in it must be plain
// files with one link. Anything else is moved aside, renamed to
// "<name>.untrusted-<n>", and the run goes on with a fresh folder.
//
// A name that can be neither used nor moved aside (another account owns it
// and may keep it, or every moved-aside name is taken) is passed over: the
// run uses "<name>.<32 hexadecimal digits>", a folder of its own account that
// no other account can predict or create first, and the next run of the same
// account finds it again. So nothing another account plants stops a run.
//
// Every step goes through the held-folder layer (common/held_folder.h); the
// decisions are pure functions over the facts it gives.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common/held_folder.h"

namespace velmora {

enum class FolderStep {
    Create,         // missing: create it
    Use,            // trusted as it is
    UseAndProtect,  // the running account owns it: set the folder's own DACL again
    FollowLink,     // a link an administrator made: used where it leads
    MoveAside,      // not to be trusted: rename it out of the way
};

// A folder above the per-user folder has to be a real folder, or a link that
// SYSTEM or Administrators own.
FolderStep decideAncestorFolder(const EntryFacts& facts, const AccountIds& accounts);
// The per-user folder must be a real folder with a trusted owner.
FolderStep decideUserFolder(const EntryFacts& facts, const AccountIds& accounts);
// avInfo.log and avInfo.1.log: absent, or a plain file with exactly one link.
bool logFileCanBeUsed(const EntryFacts& facts);

// "<name>.untrusted-<n>"; n runs from 1 to kMaxMovedAsideNumber.
std::string movedAsideName(const std::string& name, unsigned number);
constexpr unsigned kMaxMovedAsideNumber = 100;

// True when entry is "<name>.<32 lowercase hexadecimal digits>", a name the
// run passes over to.
bool isPassedOverName(const std::string& entry, const std::string& name);
// A folder found under such a name is used only when the running account
// itself owns it: any other account could have made it.
bool passedOverFolderIsOurs(const EntryFacts& facts, const AccountIds& accounts);

// A name the run moved aside or passed over, for the log once it is open.
struct MovedAside {
    bool isFolder = false;
    bool passedOver = false;  // to is the name used instead; from stays as it was
    std::string from;         // old full path
    std::string to;           // new full path
};

struct PreparedLogFolder {
    // Every folder from <ProgramData> down to the per-user folder, held open
    // for the whole run so that each later step is relative to one of them.
    std::vector<HeldFolder> held;
    const OpenFolder* logs = nullptr;        // the shared logs folder (policy, verdict)
    const OpenFolder* userFolder = nullptr;  // where the log file is
    std::string logFilePath;                 // the log file as the program names it
    std::vector<MovedAside> movedAside;
    std::string failure;  // not empty: the log cannot start, and why
};

// Checks, creates, moves aside and passes over as described above.
PreparedLogFolder prepareLogFolder(const std::string& userName);

// One info line per name moved aside or passed over, in the order met.
void logMovedAside(const std::vector<MovedAside>& moved);

// The log file names in the per-user folder, the current one first.
constexpr const char* kLogFileName = "avInfo.log";
constexpr const char* kRotatedLogFileName = "avInfo.1.log";

}  // namespace velmora
