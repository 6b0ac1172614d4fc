#include "common/held_folder_nt.h"

namespace velmora {

using namespace ntstatus;

OpenOutcome openOutcomeOf(std::uint32_t status, bool askedDontReparse) {
    switch (status) {
    case kSuccess: return OpenOutcome::Opened;
    // FILE_COMPLETE_IF_OPLOCKED: the open would have waited for another
    // account's acknowledgement of an oplock break, which may never come
    // ("Acknowledging Oplock Breaks"). The handle it gave is closed unused.
    case kOplockBreakInProgress:
    case kCannotBreakOplock:
    case kSharingViolation:
    case kFileLockConflict: return OpenOutcome::Busy;
    case kObjectNameCollision: return OpenOutcome::NameTaken;
    // OBJ_DONT_REPARSE met a reparse point; STOPPED_ON_SYMLINK is the
    // answer of a symbolic link that the open was told not to follow.
    case kReparsePointEncountered:
    case kStoppedOnSymlink: return OpenOutcome::Link;
    case kObjectNameNotFound:
    case kObjectPathNotFound: return OpenOutcome::Missing;
    case kNotADirectory: return OpenOutcome::NotFolder;
    case kFileIsADirectory: return OpenOutcome::NotPlainFile;
    // Releases before Windows 10 1607 know no OBJ_DONT_REPARSE and refuse
    // the whole open; FILE_OPEN_REPARSE_POINT alone still opens the final
    // name itself, and the redirection trust policy covers the rest.
    case kInvalidParameter:
        return askedDontReparse ? OpenOutcome::RetryWithoutDontReparse : OpenOutcome::Failed;
    default: return OpenOutcome::Failed;
    }
}

unsigned long layerErrorOf(OpenOutcome outcome, unsigned long systemError) {
    switch (outcome) {
    case OpenOutcome::Busy: return kBusy;
    case OpenOutcome::NameTaken: return kNameTaken;
    case OpenOutcome::Link:
    case OpenOutcome::NotFolder:
    case OpenOutcome::NotPlainFile: return kNotPlainFile;
    case OpenOutcome::Missing: return 2;  // ERROR_FILE_NOT_FOUND
    default: return systemError;
    }
}

EntryKind kindOfObject(std::uint32_t attributes, std::uint32_t reparseTag, bool onDisk) {
    constexpr std::uint32_t kReparsePoint = 0x400;    // FILE_ATTRIBUTE_REPARSE_POINT
    constexpr std::uint32_t kDirectory = 0x10;        // FILE_ATTRIBUTE_DIRECTORY
    constexpr std::uint32_t kNameSurrogate = 0x20000000;  // IsReparseTagNameSurrogate
    if ((attributes & kReparsePoint) != 0) {
        // Symbolic links, mount points and the like stand for another name;
        // other reparse points (deduplicated or cloud files, AF_UNIX
        // sockets) are no plain file either, but nothing to move aside.
        return reparseTag == 0 || (reparseTag & kNameSurrogate) != 0 ? EntryKind::Link : EntryKind::Other;
    }
    if ((attributes & kDirectory) != 0) return EntryKind::Folder;
    return onDisk ? EntryKind::PlainFile : EntryKind::Other;
}

bool infoClassMissing(std::uint32_t status) {
    return status == kNotImplemented || status == kInvalidInfoClass || status == kInvalidParameter ||
           status == kNotSupported || status == kInvalidDeviceRequest;
}

std::uint32_t renameExFlags(bool replace) {
    constexpr std::uint32_t kReplaceIfExists = 0x1;
    // Readers that share delete keep their file and do not stop the rename.
    constexpr std::uint32_t kPosixSemantics = 0x2;
    // A read-only attribute that another account set on check.json would
    // otherwise stop every later replacement.
    constexpr std::uint32_t kIgnoreReadOnly = 0x40;
    return kPosixSemantics | (replace ? kReplaceIfExists | kIgnoreReadOnly : 0);
}

unsigned long renameErrorOf(std::uint32_t status, unsigned long systemError) {
    if (status == kObjectNameCollision) return kNameTaken;
    if (status == kOplockBreakInProgress) return kBusy;
    return systemError;
}

bool renameIsBusy(unsigned long error) {
    // The classic rename over a file that any handle holds open is refused
    // with access denied, whatever that handle's sharing (checked on Wine,
    // as MoveFileEx is documented): tried again, and its code logged.
    constexpr unsigned long kAccessDeniedError = 5, kSharingViolationError = 32, kLockViolationError = 33;
    return error == kBusy || error == kAccessDeniedError || error == kSharingViolationError ||
           error == kLockViolationError;
}

bool isWindowsEntryName(const std::string& name) {
    if (!isOneComponent(name)) return false;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || std::string(":*?\"<>|").find(c) != std::string::npos) return false;
    }
    // Device names (NUL, CON, COM1) need no check: relative to a folder
    // handle they are plain names in that folder, not devices.
    return name.back() != '.' && name.back() != ' ';
}

std::string folderRulesSddl(FolderRules rules, const AccountIds& accounts) {
    // SY SYSTEM, BA Administrators, AU Authenticated Users, CO CREATOR OWNER;
    // 0x1200a9 read and list (icacls RX); 0x1200af adds create file (WD) and
    // create folder (AD); FR read; FA full control.
    const std::string machine = "(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
    switch (rules) {
    case FolderRules::Private: return "D:P(A;OICI;FA;;;" + accounts.running + ")(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
    case FolderRules::Logs:
        // Each account may create its own folder and files here, which it
        // then owns (CREATOR OWNER) and nobody else may change; the files
        // in the folder itself are readable by all. Nothing lets one
        // account replace another's check.json: the installer's own rules
        // decide that (docs/security.md).
        return "D:P" + machine + "(A;;0x1200af;;;AU)(A;OINPIO;FR;;;AU)(A;OICIIO;FA;;;CO)";
    case FolderRules::Shared: break;
    }
    return "D:P" + machine + "(A;OICI;0x1200a9;;;AU)";
}

}  // namespace velmora
