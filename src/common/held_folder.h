// Everything the run does below <ProgramData>\Velmora goes through here.
//
// That folder is shared with every account of the machine: any of them may
// create, link, hold open, lock or squat a name in it. A name checked first
// and then used by its path can change in between. So once <ProgramData>
// itself is open, every create, open, read, write, rename, delete, attribute
// or security change is made relative to the held handle of its folder, on a
// one-component name; nothing ever follows a link or reparse point (except a
// folder link that SYSTEM or Administrators own, followed on purpose by
// openTrustedLink), and what was opened is checked through the handle the
// system gave back (kind, link count, owner), never by its name again.
//
// Windows: NtCreateFile/NtOpenFile with RootDirectory, FILE_OPEN_REPARSE_POINT,
// OBJ_DONT_REPARSE where the release has it, FILE_COMPLETE_IF_OPLOCKED;
// renames and deletes through the object's own handle. Elsewhere: openat,
// mkdirat, renameat2, unlinkat and fstat on held descriptors, with O_NOFOLLOW
// or AT_SYMLINK_NOFOLLOW. (held_folder_win.cpp / held_folder_posix.cpp)
#pragma once

#include <cstddef>
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

// What the system says of an object, read through a handle (or, for a name
// that could not be opened, of the name itself without following it).
struct EntryFacts {
    EntryKind kind = EntryKind::Missing;
    std::uint64_t linkCount = 0;
    std::optional<std::string> owner;  // nullopt when it could not be read
};

// An open folder: its path as the program writes it (for log lines only,
// never opened by it) and the system's reference to it (a descriptor off
// Windows, a HANDLE on Windows; -1: none).
struct OpenFolder {
    std::string path;
    std::intptr_t native = -1;
};
struct OpenFolderClose {
    void operator()(OpenFolder* folder) const;
};
using HeldFolder = std::unique_ptr<OpenFolder, OpenFolderClose>;

// An open file in a held folder. Reads and writes go through it; its own
// name is never looked up again.
struct OpenFile {
    std::intptr_t native = -1;
};
struct OpenFileClose {
    void operator()(OpenFile* file) const;
};
using HeldFile = std::unique_ptr<OpenFile, OpenFileClose>;

// The layer's own error codes, beside the system's (GetLastError-style on
// Windows, errno elsewhere).
constexpr unsigned long kNameTaken = 0xFFFFFFFEul;    // the name exists
constexpr unsigned long kBusy = 0xFFFFFFFDul;         // held by someone else (an oplock); nobody waited
constexpr unsigned long kNotPlainFile = 0xFFFFFFFCul; // a link, folder, FIFO, device or second hard link
constexpr unsigned long kBadName = 0xFFFFFFFBul;      // not one component ("", ".", "..", a separator)

// True for a name that names one entry of a folder and nothing else.
bool isOneComponent(const std::string& name);

// The text for an error the layer returned: its own codes by name, the
// system's as the system words them (systemErrorText: strerror elsewhere,
// FormatMessage on Windows).
std::string heldErrorText(unsigned long error);
std::string systemErrorText(unsigned long error);

// A name nobody can guess: 32 hexadecimal digits from the system's random
// source (BCryptGenRandom / getrandom).
std::string unpredictableName();

AccountIds runningAccountIds();

// <ProgramData> itself, which belongs to the machine. Nothing when it
// could not be had; error is then set.
HeldFolder openProgramData(unsigned long& error);

struct FolderProbe {
    EntryFacts facts;
    HeldFolder opened;  // set when name is a real folder and could be opened
    unsigned long error = 0;
};
// parent/name opened as a folder, never through a link; facts read through
// the handle it got (or of the name when it could not be opened).
FolderProbe probeFolder(const OpenFolder& parent, const std::string& name);

// A link or reparse point at parent/name followed once, for a link that the
// system or Administrators own (an administrator's relocation). What it
// leads to must be a real folder; its facts are those of that folder.
FolderProbe openTrustedLink(const OpenFolder& parent, const std::string& name);

// The rules a folder the run creates gets.
enum class FolderRules {
    Shared,   // Velmora, VelmoraVPN: as docs/security.md prescribes
    Private,  // a per-user folder: the account, SYSTEM and Administrators only
    Logs,     // logs: as docs/security.md prescribes (accounts create their own there)
};
// 0, kNameTaken, or the system's error.
unsigned long createFolder(const OpenFolder& parent, const std::string& name, FolderRules rules,
                           const AccountIds& accounts);

// Sets the per-user folder's protected rules on its handle, without
// propagating anything into what is inside.
unsigned long protectUserFolder(const OpenFolder& folder, const AccountIds& accounts);

enum class FileOpen {
    // An existing plain file with one link, for reading; never blocks (a
    // FIFO or device is kNotPlainFile, an oplock kBusy).
    ReadPlain,
    // Open or create for appending (the log): a plain file with one link.
    Append,
    // Create; kNameTaken when anything (a link included) has the name.
    CreateNew,
    // An existing plain file with one link, for writing from its first byte
    // without cutting it (the verdict written in place).
    WriteExisting,
};
struct FileOpenResult {
    HeldFile file;
    EntryFacts facts;  // of what was opened, through its handle
    unsigned long error = 0;
};
FileOpenResult openFileIn(const OpenFolder& folder, const std::string& name, FileOpen how);

// What the name is, without following it and without opening it for data
// (an open for attributes only: no oplock is broken).
EntryFacts probeEntry(const OpenFolder& folder, const std::string& name);

// Reads from the current position to the end. 0, or the error; also an
// error when there are more than maxBytes (a cut-off file is no whole one).
unsigned long readAll(const OpenFile& file, std::string& bytes, std::size_t maxBytes);
// Writes all of it in one call where the system allows. 0 or the error.
unsigned long writeAll(const OpenFile& file, const char* data, std::size_t size);
// Writes all of it from offset, whatever the file's position (the verdict,
// from its first byte when written in place). 0 or the error.
unsigned long writeAt(const OpenFile& file, std::uint64_t offset, const char* data, std::size_t size);
// Cuts the file at length. 0 or the error.
unsigned long cutAt(const OpenFile& file, std::uint64_t length);
// Pushes the file's data to the disk. 0 or the error.
unsigned long flushFile(const OpenFile& file);
// Pushes the folder's entries to the disk after a rename in it (fsync of the
// folder; nothing on Windows, where the rename is journalled).
void flushFolder(const OpenFolder& folder);
// The file's size now; 0 when it cannot be read.
std::uint64_t fileSize(const OpenFile& file);

// Renames folder/from to folder/to, both one component, moving a link
// itself, never what it points to. replace false: kNameTaken when to
// exists. replace true: a plain file at to is replaced in one step (POSIX
// semantics where the system has them: a reader sharing delete does not stop
// it); when a reader holds it without sharing delete, an error for which
// replacementIsBusy is true: kBusy, or on Windows the system's own code
// (ERROR_ACCESS_DENIED from the classic rename, ERROR_SHARING_VIOLATION), so
// that the log can name it.
unsigned long renameIn(const OpenFolder& folder, const std::string& from, const std::string& to, bool replace);
// True for a replacing renameIn's error that a later try may not meet.
bool replacementIsBusy(unsigned long error);

// Removes folder/name when it is a plain file with one link (or, with
// alsoLink, a link itself), through the object's own handle; never what a
// link points to, never a folder. 0, kNotPlainFile, or the error.
unsigned long removeIn(const OpenFolder& folder, const std::string& name, bool alsoLink = false);

// The names (not paths) in the folder, "." and ".." left out.
std::vector<std::string> entriesOf(const OpenFolder& folder);

// True only when no process with this id runs.
bool processIsGone(unsigned long processId);

}  // namespace velmora
