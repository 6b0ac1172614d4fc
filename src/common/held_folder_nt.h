// What the Windows file system's answers mean to the held-folder layer.
//
// held_folder_win.cpp asks NtCreateFile, NtQueryInformationFile and
// NtSetInformationFile; what their status codes and attributes mean for the
// layer's promise is decided here, over plain numbers, so that the answers
// Wine never gives (refused OBJ_DONT_REPARSE, oplocks, reparse points of
// every kind, POSIX-semantics renames) are tested in tables on both builds.
#pragma once

#include "common/held_folder.h"

#include <cstdint>
#include <string>

namespace velmora {

// NTSTATUS values, as Microsoft's ntstatus.h defines them (checked against
// MinGW's header in held_folder_win.cpp where it has them; it lacks
// STATUS_REPARSE_POINT_ENCOUNTERED).
namespace ntstatus {
constexpr std::uint32_t kSuccess = 0x00000000;
constexpr std::uint32_t kOplockBreakInProgress = 0x00000108;  // a success: the handle is open
constexpr std::uint32_t kStoppedOnSymlink = 0x8000002D;
constexpr std::uint32_t kNotImplemented = 0xC0000002;
constexpr std::uint32_t kInvalidInfoClass = 0xC0000003;
constexpr std::uint32_t kInvalidParameter = 0xC000000D;
constexpr std::uint32_t kInvalidDeviceRequest = 0xC0000010;
constexpr std::uint32_t kAccessDenied = 0xC0000022;
constexpr std::uint32_t kObjectNameNotFound = 0xC0000034;
constexpr std::uint32_t kObjectNameCollision = 0xC0000035;
constexpr std::uint32_t kObjectPathNotFound = 0xC000003A;
constexpr std::uint32_t kSharingViolation = 0xC0000043;
constexpr std::uint32_t kFileLockConflict = 0xC0000054;
constexpr std::uint32_t kFileIsADirectory = 0xC00000BA;
constexpr std::uint32_t kNotSupported = 0xC00000BB;
constexpr std::uint32_t kNotADirectory = 0xC0000103;
constexpr std::uint32_t kReparsePointEncountered = 0xC000050B;
constexpr std::uint32_t kCannotBreakOplock = 0xC0000909;
}  // namespace ntstatus

// What an open relative to a held folder came to.
enum class OpenOutcome {
    Opened,
    Busy,       // an oplock or another handle's sharing stands in the way; nobody waits
    NameTaken,  // FILE_CREATE found the name (a dangling link counts)
    Link,       // a reparse point stopped the open
    Missing,
    NotFolder,     // a folder was asked for, the name is something else
    NotPlainFile,  // a file was asked for, the name is a folder
    RetryWithoutDontReparse,  // this release refuses OBJ_DONT_REPARSE
    Failed,                   // the system's own error
};
OpenOutcome openOutcomeOf(std::uint32_t status, bool askedDontReparse);

// The layer's code for an outcome that opened nothing; systemError (the
// status as a Win32 code) for Failed.
unsigned long layerErrorOf(OpenOutcome outcome, unsigned long systemError);

// What an object is, from the attributes and reparse tag read through its
// handle (FileAttributeTagInformation) and whether it lies on a disk (a
// device or pipe does not). The reparse attribute with a tag of 0, which no
// file system should report, counts as a link, to be safe.
EntryKind kindOfObject(std::uint32_t attributes, std::uint32_t reparseTag, bool onDisk);

// True when a FILE_*_INFORMATION_EX class is missing on this release or file
// system (before Windows 10 1809, FAT, Wine 8): the classic class is used.
bool infoClassMissing(std::uint32_t status);

// FILE_RENAME_INFORMATION_EX's flags for a rename that replaces or not.
std::uint32_t renameExFlags(bool replace);
// The layer's code for a failed rename: kNameTaken, kBusy for an oplock,
// else the system's (Win32) code.
unsigned long renameErrorOf(std::uint32_t status, unsigned long systemError);
// True for a replacing rename's error that a later try may not meet: a
// reader holds the target (the classic rename's ERROR_ACCESS_DENIED, which it
// gives for any open handle whatever its sharing; ERROR_SHARING_VIOLATION or
// ERROR_LOCK_VIOLATION), or kBusy.
bool renameIsBusy(unsigned long error);

// True for a name held_folder_win.cpp may hand to the file system: one
// component (isOneComponent), and none of what Windows reads into a name:
// ':' (an alternate data stream), wildcards and quotes, control characters,
// a trailing dot or space (which Win32 paths drop, so the name could not be
// reached by them).
bool isWindowsEntryName(const std::string& name);

// The rules, in SDDL, that a folder the run creates gets (docs/security.md).
// Shared and Logs are protected: nothing of what another account may have
// set on a parent decides them.
std::string folderRulesSddl(FolderRules rules, const AccountIds& accounts);

}  // namespace velmora
