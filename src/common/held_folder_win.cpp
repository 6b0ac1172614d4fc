// The held-folder layer on Windows.
//
// Every open is NtCreateFile with OBJECT_ATTRIBUTES.RootDirectory set to the
// held folder's handle and a one-component name, so the held folder's own
// name is never looked up again, and with
//   FILE_OPEN_REPARSE_POINT    the name itself, never what a link there
//                              points to (its attributes then show the link);
//   OBJ_DONT_REPARSE           where the release has it (Windows 10 1607 and
//                              later): any reparse point stops the open;
//   FILE_COMPLETE_IF_OPLOCKED  an open that would break another account's
//                              oplock completes at once with
//                              STATUS_OPLOCK_BREAK_IN_PROGRESS; the handle is
//                              closed and the name counts as busy, never
//                              waited for;
//   FILE_SYNCHRONOUS_IO_NONALERT  plain blocking reads and writes on the
//                              handle, with a file position.
// What was opened is checked through that handle: kind and reparse tag
// (FileAttributeTagInformation), link count (FileStandardInformation),
// whether it lies on a disk (GetFileType), owner (GetSecurityInfo).
// Renames and deletes go through the object's own handle.
//
// A held folder cannot become a mount point under the run. Setting a reparse
// point needs only write-data or write-attributes access, which sharing does
// not keep anyone from, but the folder must be empty. The run keeps each
// folder it works in non-empty: every folder from Velmora down holds the next
// one open without delete sharing (which nobody can then rename or delete),
// and the per-user folder, which its DACL closes to other accounts anyway,
// holds the log file. And were one ever to become a mount point, the opens
// below it go on inside the folder the handle refers to: a relative open
// does not pass through the held folder's name, which is where a mount point
// takes effect.
//
// ntdll's functions are found in the ntdll.dll every process has loaded, not
// imported: the program's import table holds KnownDLLs only.
#include "common/held_folder.h"

#include "common/file_io.h"
#include "common/held_folder_nt.h"
#include "common/text.h"

// The status codes come from ntstatus.h alone (windows.h defines a few).
#define WIN32_NO_STATUS
#include <windows.h>
#undef WIN32_NO_STATUS
#include <ntstatus.h>
#include <winternl.h>

#include <aclapi.h>
#include <sddl.h>

#include <atomic>
#include <cstring>

namespace velmora {

static_assert(ntstatus::kOplockBreakInProgress == static_cast<std::uint32_t>(STATUS_OPLOCK_BREAK_IN_PROGRESS));
static_assert(ntstatus::kObjectNameCollision == static_cast<std::uint32_t>(STATUS_OBJECT_NAME_COLLISION));
static_assert(ntstatus::kSharingViolation == static_cast<std::uint32_t>(STATUS_SHARING_VIOLATION));
static_assert(ntstatus::kInvalidParameter == static_cast<std::uint32_t>(STATUS_INVALID_PARAMETER));
static_assert(ntstatus::kCannotBreakOplock == static_cast<std::uint32_t>(STATUS_CANNOT_BREAK_OPLOCK));
static_assert(ntstatus::kStoppedOnSymlink == static_cast<std::uint32_t>(STATUS_STOPPED_ON_SYMLINK));

namespace {

// ---- ntdll, declared from Microsoft's documentation where MinGW lacks it ----

constexpr ULONG kFileDispositionInformation = 13;
constexpr ULONG kFileRenameInformation = 10;
constexpr ULONG kFileStandardInformation = 5;
constexpr ULONG kFileAttributeTagInformation = 35;
constexpr ULONG kFileDispositionInformationEx = 64;
constexpr ULONG kFileRenameInformationEx = 65;
constexpr ULONG kFileNamesInformation = 12;

constexpr ULONG kDispositionDelete = 0x1;
constexpr ULONG kDispositionPosixSemantics = 0x2;

// FILE_RENAME_INFORMATION and its _EX form share one layout: the Ex form's
// ULONG Flags takes the place of the BOOLEAN ReplaceIfExists (the low byte,
// on this little-endian machine).
struct RenameInformation {
    ULONG flags;
    HANDLE rootDirectory;
    ULONG fileNameLength;  // bytes
    WCHAR fileName[1];
};
struct AttributeTagInformation {
    ULONG fileAttributes;
    ULONG reparseTag;
};
struct StandardInformation {
    LARGE_INTEGER allocationSize;
    LARGE_INTEGER endOfFile;
    ULONG numberOfLinks;
    BOOLEAN deletePending;
    BOOLEAN directory;
};
struct NamesInformation {
    ULONG nextEntryOffset;
    ULONG fileIndex;
    ULONG fileNameLength;  // bytes
    WCHAR fileName[1];
};

using NtCreateFileFunction = NTSTATUS(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                              PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using NtInformationFunction = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, ULONG);
using NtQueryDirectoryFileFunction = NTSTATUS(NTAPI*)(HANDLE, HANDLE, PVOID, PVOID, PIO_STATUS_BLOCK, PVOID, ULONG,
                                                      ULONG, BOOLEAN, PUNICODE_STRING, BOOLEAN);
using NtFlushBuffersFileFunction = NTSTATUS(NTAPI*)(HANDLE, PIO_STATUS_BLOCK);
using RtlNtStatusToDosErrorFunction = ULONG(NTAPI*)(NTSTATUS);

struct Ntdll {
    NtCreateFileFunction createFile = nullptr;
    NtInformationFunction queryInformation = nullptr;
    NtInformationFunction setInformation = nullptr;
    NtQueryDirectoryFileFunction queryDirectory = nullptr;
    NtFlushBuffersFileFunction flushBuffers = nullptr;
    RtlNtStatusToDosErrorFunction toDosError = nullptr;
};

template <typename Function>
Function lookUp(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

const Ntdll& ntdll() {
    static const Ntdll functions = [] {
        Ntdll found;
        HMODULE module = GetModuleHandleW(L"ntdll.dll");
        if (module == nullptr) return found;
        found.createFile = lookUp<NtCreateFileFunction>(module, "NtCreateFile");
        found.queryInformation = lookUp<NtInformationFunction>(module, "NtQueryInformationFile");
        found.setInformation = lookUp<NtInformationFunction>(module, "NtSetInformationFile");
        found.queryDirectory = lookUp<NtQueryDirectoryFileFunction>(module, "NtQueryDirectoryFile");
        found.flushBuffers = lookUp<NtFlushBuffersFileFunction>(module, "NtFlushBuffersFile");
        found.toDosError = lookUp<RtlNtStatusToDosErrorFunction>(module, "RtlNtStatusToDosError");
        return found;
    }();
    return functions;
}

unsigned long win32ErrorOf(NTSTATUS status) {
    const unsigned long error = ntdll().toDosError ? ntdll().toDosError(status) : ERROR_GEN_FAILURE;
    return error != 0 ? error : ERROR_GEN_FAILURE;
}

std::uint32_t bitsOf(NTSTATUS status) { return static_cast<std::uint32_t>(status); }

// ---- handles and names ----

HANDLE handleOf(const OpenFolder& folder) { return reinterpret_cast<HANDLE>(folder.native); }
HANDLE handleOf(const OpenFile& file) { return reinterpret_cast<HANDLE>(file.native); }
std::intptr_t nativeOf(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

std::wstring wide(const std::string& utf8) {
    const std::u16string text = utf8ToWide(utf8);
    return std::wstring(text.begin(), text.end());
}

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Folders are held without delete sharing: nobody can rename or delete them
// while the run works in them.
constexpr ULONG kShareAllButDelete = FILE_SHARE_READ | FILE_SHARE_WRITE;
constexpr ULONG kAlwaysOptions = FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT | FILE_COMPLETE_IF_OPLOCKED;
constexpr ACCESS_MASK kFolderAccess = FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | READ_CONTROL;

// Set once a release has refused OBJ_DONT_REPARSE: asked no more this run.
std::atomic<bool> dontReparseRefused{false};

struct Opened {
    OwnedHandle handle;
    OpenOutcome outcome = OpenOutcome::Failed;
    unsigned long error = 0;  // the layer's code when nothing was opened
    ULONG_PTR information = 0;  // FILE_CREATED, FILE_OPENED, ...
};

struct OpenRequest {
    ACCESS_MASK access = 0;
    ULONG share = kShareAll;
    ULONG disposition = FILE_OPEN;
    ULONG options = 0;
    PSECURITY_DESCRIPTOR rules = nullptr;  // nullptr: inherited from the folder
    // OBJ_DONT_REPARSE makes a reparse point at the name itself stop the
    // open (STATUS_REPARSE_POINT_ENCOUNTERED), even with
    // FILE_OPEN_REPARSE_POINT. To read a link's own facts (its owner decides
    // whether it is trusted) the name is opened again without it:
    // FILE_OPEN_REPARSE_POINT alone opens the last component as itself, and
    // a one-component name relative to a held handle has no other.
    bool dontReparse = true;
    bool followLink = false;  // openTrustedLink only
};

// parent\name opened as asked; name is checked to be one component first.
Opened openRelative(HANDLE parent, const std::string& name, const OpenRequest& request) {
    Opened result;
    if (!isWindowsEntryName(name)) {
        result.error = kBadName;
        return result;
    }
    if (ntdll().createFile == nullptr) {
        result.error = ERROR_PROC_NOT_FOUND;
        return result;
    }
    std::wstring text = wide(name);
    UNICODE_STRING unicode;
    unicode.Buffer = text.data();
    unicode.Length = static_cast<USHORT>(text.size() * sizeof(WCHAR));
    unicode.MaximumLength = unicode.Length;
    const ULONG options =
        (request.followLink ? FILE_SYNCHRONOUS_IO_NONALERT | FILE_COMPLETE_IF_OPLOCKED : kAlwaysOptions) |
        request.options;
    for (;;) {
        const bool dontReparse = request.dontReparse && !request.followLink && !dontReparseRefused.load();
        OBJECT_ATTRIBUTES attributes;
        InitializeObjectAttributes(&attributes, &unicode, OBJ_CASE_INSENSITIVE | (dontReparse ? OBJ_DONT_REPARSE : 0),
                                   parent, request.rules);
        IO_STATUS_BLOCK io = {};
        HANDLE handle = nullptr;
        const NTSTATUS status = ntdll().createFile(&handle, request.access | SYNCHRONIZE, &attributes, &io, nullptr,
                                                   FILE_ATTRIBUTE_NORMAL, request.share, request.disposition, options,
                                                   nullptr, 0);
        // A success status other than 0 (the oplock break) still gave a handle.
        if (NT_SUCCESS(status) && handle != nullptr) result.handle.reset(handle);
        result.outcome = openOutcomeOf(bitsOf(status), dontReparse);
        if (result.outcome == OpenOutcome::RetryWithoutDontReparse) {
            dontReparseRefused = true;
            continue;
        }
        if (result.outcome != OpenOutcome::Opened) {
            result.handle.reset();  // an oplock break's handle is closed unused
            result.error = layerErrorOf(result.outcome, win32ErrorOf(status));
        }
        result.information = io.Information;
        return result;
    }
}

// ---- facts through a handle ----

std::optional<std::string> sidText(PSID sid) {
    LPWSTR text = nullptr;
    if (sid == nullptr || !ConvertSidToStringSidW(sid, &text)) return std::nullopt;
    std::string out = wideToUtf8(std::u16string(reinterpret_cast<const char16_t*>(text)));
    LocalFree(text);
    return out;
}

// The owner, not the primary group: a folder of another account that names
// the running account's group is still another account's.
std::optional<std::string> ownerOf(HANDLE handle) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr,
                        &descriptor) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::optional<std::string> text = sidText(owner);
    LocalFree(descriptor);
    return text;
}

// Wine follows a link made on the Linux side even with
// FILE_OPEN_REPARSE_POINT and OBJ_DONT_REPARSE, and shows it as what it
// points to; its attribute query by name, which does show such a link, takes
// no RootDirectory (the name is then not found). So links are refused here
// as Windows shows them, and the Linux build's tests show the refusal.
EntryFacts factsOf(HANDLE handle) {
    EntryFacts facts;
    facts.kind = EntryKind::Other;
    IO_STATUS_BLOCK io = {};
    AttributeTagInformation tag = {};
    StandardInformation standard = {};
    if (ntdll().queryInformation == nullptr ||
        ntdll().queryInformation(handle, &io, &tag, sizeof tag, kFileAttributeTagInformation) != 0 ||
        ntdll().queryInformation(handle, &io, &standard, sizeof standard, kFileStandardInformation) != 0) {
        return facts;
    }
    facts.kind = kindOfObject(tag.fileAttributes, tag.reparseTag, GetFileType(handle) == FILE_TYPE_DISK);
    facts.linkCount = standard.numberOfLinks;
    facts.owner = ownerOf(handle);
    return facts;
}

bool isPlainWithOneLink(const EntryFacts& facts) { return facts.kind == EntryKind::PlainFile && facts.linkCount == 1; }

// ---- the rules of what the run creates ----

struct LocalFreer {
    void operator()(void* memory) const { LocalFree(memory); }
};
using Descriptor = std::unique_ptr<void, LocalFreer>;

Descriptor descriptorOf(const std::string& sddl, unsigned long& error) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(wide(sddl).c_str(), SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
        error = GetLastError();
    }
    return Descriptor(descriptor);
}

}  // namespace

void OpenFolderClose::operator()(OpenFolder* folder) const {
    if (folder->native != -1) CloseHandle(handleOf(*folder));
    delete folder;
}

void OpenFileClose::operator()(OpenFile* file) const {
    if (file->native != -1) CloseHandle(handleOf(*file));
    delete file;
}

// The verdict's lines name an error as the program's file streams always
// have: the C runtime's text of the errno the Windows error maps to
// ("Permission denied"), not the system's own wording.
std::string systemErrorText(unsigned long error) { return errnoText(errnoOfSystemError(error)); }

// BCryptGenRandom (the system's preferred generator) from bcrypt.dll in
// System32, loaded by that full rule since bcrypt.dll is no KnownDLL; where
// it cannot be had, RtlGenRandom (SystemFunction036) of advapi32, which the
// program imports anyway. Both are present in Wine 8.
std::string unpredictableName() {
    unsigned char bytes[16] = {};
    bool filled = false;
    using GenRandom = LONG(WINAPI*)(void*, unsigned char*, ULONG, ULONG);
    static const GenRandom bcryptGenRandom = [] {
        HMODULE module = LoadLibraryExW(L"bcrypt.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
        return module ? lookUp<GenRandom>(module, "BCryptGenRandom") : nullptr;
    }();
    constexpr ULONG kUseSystemPreferredRng = 0x2;  // BCRYPT_USE_SYSTEM_PREFERRED_RNG
    if (bcryptGenRandom != nullptr) filled = bcryptGenRandom(nullptr, bytes, sizeof bytes, kUseSystemPreferredRng) == 0;
    if (!filled) {
        using RtlGenRandom = BOOLEAN(WINAPI*)(void*, ULONG);
        static const RtlGenRandom genRandom = lookUp<RtlGenRandom>(GetModuleHandleW(L"advapi32.dll"), "SystemFunction036");
        filled = genRandom != nullptr && genRandom(bytes, sizeof bytes);
    }
    // Without randomness, no name: the caller's create then fails as taken
    // rather than using a name another account could foresee.
    if (!filled) return std::string();
    static const char digits[] = "0123456789abcdef";
    std::string name;
    for (const unsigned char byte : bytes) {
        name += digits[byte >> 4];
        name += digits[byte & 0xF];
    }
    return name;
}

AccountIds runningAccountIds() {
    AccountIds ids{"", "S-1-5-18", "S-1-5-32-544"};  // LocalSystem, BUILTIN\Administrators
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return ids;
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> buffer(size > 0 ? size : 1);
    if (GetTokenInformation(token, TokenUser, buffer.data(), size, &size)) {
        ids.running = sidText(reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid).value_or("");
    }
    CloseHandle(token);
    return ids;
}

// C:\ProgramData belongs to the machine; only administrators may change it.
// It is opened by its path once, as the one name the layer trusts.
HeldFolder openProgramData(unsigned long& error) {
    const std::string path = "C:\\ProgramData";
    HANDLE handle = CreateFileW(wide(path).c_str(), kFolderAccess | SYNCHRONIZE, kShareAll, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return HeldFolder();
    }
    return HeldFolder(new OpenFolder{path, nativeOf(handle)});
}

FolderProbe probeFolder(const OpenFolder& parent, const std::string& name) {
    FolderProbe probe;
    OpenRequest request;
    // WRITE_DAC where it is granted (the owner always has it), so that the
    // per-user folder's rules can be set again through this very handle.
    request.access = kFolderAccess | WRITE_DAC;
    request.share = kShareAllButDelete;
    request.options = FILE_DIRECTORY_FILE;
    Opened opened = openRelative(handleOf(parent), name, request);
    if (opened.outcome == OpenOutcome::Failed && opened.error == ERROR_ACCESS_DENIED) {
        request.access = kFolderAccess;
        opened = openRelative(handleOf(parent), name, request);
    }
    if (!opened.handle) {
        probe.error = opened.error;
        // A file, a link that stopped the open, or a folder that refused us:
        // what the name is, seen without opening it for data.
        probe.facts = opened.outcome == OpenOutcome::Missing ? EntryFacts{} : probeEntry(parent, name);
        if (opened.outcome == OpenOutcome::Link) probe.facts.kind = EntryKind::Link;
        return probe;
    }
    probe.facts = factsOf(opened.handle.get());
    if (probe.facts.kind == EntryKind::Folder) {
        probe.opened = HeldFolder(new OpenFolder{parent.path + '\\' + name, nativeOf(opened.handle.release())});
    }
    return probe;
}

// The link itself is held without delete sharing while it is followed, so
// it stays the link whose owner was read; the redirection trust policy
// (main_win.cpp) refuses any mount point further on that no administrator
// made.
FolderProbe openTrustedLink(const OpenFolder& parent, const std::string& name) {
    FolderProbe probe;
    OpenRequest request;
    request.access = FILE_READ_ATTRIBUTES | READ_CONTROL;
    request.share = kShareAllButDelete;
    request.dontReparse = false;
    Opened link = openRelative(handleOf(parent), name, request);
    if (!link.handle) {
        probe.error = link.error;
        return probe;
    }
    const EntryFacts linkFacts = factsOf(link.handle.get());
    const AccountIds accounts = runningAccountIds();
    if (linkFacts.kind != EntryKind::Link ||
        (linkFacts.owner != accounts.system && linkFacts.owner != accounts.administrators)) {
        probe.facts = linkFacts;
        probe.error = kNotPlainFile;
        return probe;
    }
    request.access = kFolderAccess;
    request.options = FILE_DIRECTORY_FILE;
    request.followLink = true;
    Opened target = openRelative(handleOf(parent), name, request);
    if (!target.handle) {
        probe.error = target.error;
        return probe;
    }
    probe.facts = factsOf(target.handle.get());
    if (probe.facts.kind == EntryKind::Folder) {
        probe.opened = HeldFolder(new OpenFolder{parent.path + '\\' + name, nativeOf(target.handle.release())});
    } else {
        probe.error = kNotPlainFile;
    }
    return probe;
}

// The rules come with the create, so a new folder is never open to other
// accounts, not even for a moment, and a protected one takes nothing from
// its parent.
unsigned long createFolder(const OpenFolder& parent, const std::string& name, FolderRules rules,
                           const AccountIds& accounts) {
    unsigned long error = 0;
    Descriptor descriptor = descriptorOf(folderRulesSddl(rules, accounts), error);
    if (!descriptor) return error;
    OpenRequest request;
    request.access = FILE_LIST_DIRECTORY;
    request.share = kShareAllButDelete;
    request.disposition = FILE_CREATE;
    request.options = FILE_DIRECTORY_FILE;
    request.rules = descriptor.get();
    return openRelative(handleOf(parent), name, request).error;
}

// SetSecurityInfo and SetNamedSecurityInfo would not do: both propagate
// inheritable entries into every existing child ("Automatic Propagation of
// Inheritable ACEs"; the remarks of SetSecurityInfo), including names the
// run kept there as hostile. SetKernelObjectSecurity hands the descriptor to
// the file system for this one object (NtSetSecurityObject), which is why
// Microsoft's page on it points to those two for trees: nothing inside is
// touched. The new entries reach only what is created later.
unsigned long protectUserFolder(const OpenFolder& folder, const AccountIds& accounts) {
    unsigned long error = 0;
    Descriptor descriptor = descriptorOf(folderRulesSddl(FolderRules::Private, accounts), error);
    if (!descriptor) return error;
    if (!SetKernelObjectSecurity(handleOf(folder), DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                 descriptor.get())) {
        return GetLastError();
    }
    return 0;
}

// New files carry no rules of their own: they inherit the folder's
// inheritable entries (check.json's temporary file those of logs, the log
// those of the per-user folder), never rules copied from a file that another
// account may have planted.
// A folder opened as a file is refused as CreateFileW refuses it, with
// ERROR_ACCESS_DENIED, so that its line reads as it always has; anything
// else that is no plain file keeps the layer's own code.
namespace {
unsigned long folderAsFileError(const OpenFolder& folder, const std::string& name) {
    return probeEntry(folder, name).kind == EntryKind::Folder ? ERROR_ACCESS_DENIED : kNotPlainFile;
}
}  // namespace

FileOpenResult openFileIn(const OpenFolder& folder, const std::string& name, FileOpen how) {
    FileOpenResult result;
    OpenRequest request;
    request.options = FILE_NON_DIRECTORY_FILE;
    switch (how) {
    case FileOpen::ReadPlain: request.access = FILE_READ_DATA; break;
    case FileOpen::Append:
        // FILE_APPEND_DATA without FILE_WRITE_DATA: every write lands at the
        // end, whatever the position.
        request.access = FILE_APPEND_DATA;
        request.disposition = FILE_OPEN_IF;
        break;
    case FileOpen::CreateNew:
        // DELETE: so that the caller can rename it by name while it is open.
        request.access = FILE_WRITE_DATA | DELETE;
        request.disposition = FILE_CREATE;
        break;
    case FileOpen::WriteExisting: request.access = FILE_WRITE_DATA; break;
    }
    request.access |= FILE_READ_ATTRIBUTES | READ_CONTROL;
    Opened opened = openRelative(handleOf(folder), name, request);
    if (!opened.handle) {
        result.error = opened.error;
        // A link that OBJ_DONT_REPARSE stopped still has the name.
        if (how == FileOpen::CreateNew && result.error == kNotPlainFile) result.error = kNameTaken;
        if (how != FileOpen::CreateNew && result.error == kNotPlainFile) result.error = folderAsFileError(folder, name);
        return result;
    }
    result.facts = factsOf(opened.handle.get());
    if (!isPlainWithOneLink(result.facts)) {
        result.error = result.facts.kind == EntryKind::Folder ? ERROR_ACCESS_DENIED : kNotPlainFile;
        return result;
    }
    result.file = HeldFile(new OpenFile{nativeOf(opened.handle.release())});
    return result;
}

// Attributes and owner only: such an open breaks no oplock and needs no
// sharing from anyone.
EntryFacts probeEntry(const OpenFolder& folder, const std::string& name) {
    OpenRequest request;
    request.access = FILE_READ_ATTRIBUTES | READ_CONTROL;
    Opened opened = openRelative(handleOf(folder), name, request);
    if (opened.outcome == OpenOutcome::Link) {
        request.dontReparse = false;  // the link itself, for its owner
        opened = openRelative(handleOf(folder), name, request);
    }
    if (!opened.handle && opened.error == ERROR_ACCESS_DENIED) {
        request.access = FILE_READ_ATTRIBUTES;  // the owner then stays unknown
        opened = openRelative(handleOf(folder), name, request);
    }
    if (opened.handle) return factsOf(opened.handle.get());
    EntryFacts facts;
    if (opened.outcome == OpenOutcome::Missing) return facts;
    facts.kind = opened.outcome == OpenOutcome::Link ? EntryKind::Link : EntryKind::Other;
    return facts;
}

unsigned long readAll(const OpenFile& file, std::string& bytes, std::size_t maxBytes) {
    bytes.clear();
    char buffer[65536];
    for (;;) {
        DWORD got = 0;
        if (!ReadFile(handleOf(file), buffer, sizeof buffer, &got, nullptr)) {
            const DWORD error = GetLastError();
            if (error == ERROR_HANDLE_EOF) return 0;
            return error;
        }
        if (got == 0) return 0;
        if (got > maxBytes - bytes.size()) return ERROR_FILE_TOO_LARGE;
        bytes.append(buffer, got);
    }
}

unsigned long writeAll(const OpenFile& file, const char* data, std::size_t size) {
    while (size > 0) {
        const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(handleOf(file), data, chunk, &written, nullptr)) return GetLastError();
        if (written == 0) return ERROR_WRITE_FAULT;
        data += written;
        size -= written;
    }
    return 0;
}

// The offset goes in the OVERLAPPED of each call; on a synchronous handle
// the call still completes before it returns.
unsigned long writeAt(const OpenFile& file, std::uint64_t offset, const char* data, std::size_t size) {
    while (size > 0) {
        const DWORD chunk = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD written = 0;
        if (!WriteFile(handleOf(file), data, chunk, &written, &at)) return GetLastError();
        if (written == 0) return ERROR_WRITE_FAULT;
        data += written;
        size -= written;
        offset += written;
    }
    return 0;
}

unsigned long cutAt(const OpenFile& file, std::uint64_t length) {
    FILE_END_OF_FILE_INFO end;
    end.EndOfFile.QuadPart = static_cast<LONGLONG>(length);
    return SetFileInformationByHandle(handleOf(file), FileEndOfFileInfo, &end, sizeof end) ? 0 : GetLastError();
}

// NtFlushBuffersFile takes a handle with append access alone (the log's);
// FlushFileBuffers asks for write access.
unsigned long flushFile(const OpenFile& file) {
    if (ntdll().flushBuffers == nullptr) return FlushFileBuffers(handleOf(file)) ? 0 : GetLastError();
    IO_STATUS_BLOCK io = {};
    const NTSTATUS status = ntdll().flushBuffers(handleOf(file), &io);
    return status == 0 ? 0 : win32ErrorOf(status);
}

// NTFS journals a rename itself; a folder cannot be flushed through a handle
// that an ordinary account can open.
void flushFolder(const OpenFolder&) {}

std::uint64_t fileSize(const OpenFile& file) {
    LARGE_INTEGER size = {};
    return GetFileSizeEx(handleOf(file), &size) ? static_cast<std::uint64_t>(size.QuadPart) : 0;
}

// The object at from is opened as itself (a link is moved, never its
// target) and renamed through its handle into the same held folder
// (RootDirectory), first with FileRenameInformationEx's POSIX semantics
// (Windows 10 1809, NTFS), else with FileRenameInformation (older releases,
// other file systems, Wine 8).
unsigned long renameIn(const OpenFolder& folder, const std::string& from, const std::string& to, bool replace) {
    if (!isWindowsEntryName(to)) return kBadName;
    OpenRequest request;
    request.access = DELETE | FILE_READ_ATTRIBUTES;
    request.dontReparse = false;  // a link is renamed as itself
    Opened source = openRelative(handleOf(folder), from, request);
    if (!source.handle) return source.error;
    const std::wstring target = wide(to);
    const std::size_t nameBytes = target.size() * sizeof(WCHAR);
    std::vector<unsigned char> buffer(offsetof(RenameInformation, fileName) + nameBytes + sizeof(WCHAR), 0);
    auto* info = reinterpret_cast<RenameInformation*>(buffer.data());
    info->rootDirectory = handleOf(folder);
    info->fileNameLength = static_cast<ULONG>(nameBytes);
    std::memcpy(info->fileName, target.c_str(), nameBytes);
    info->flags = renameExFlags(replace);
    IO_STATUS_BLOCK io = {};
    const auto size = static_cast<ULONG>(buffer.size());
    NTSTATUS status = ntdll().setInformation(source.handle.get(), &io, info, size, kFileRenameInformationEx);
    if (infoClassMissing(bitsOf(status))) {
        info->flags = replace ? 1 : 0;  // ReplaceIfExists
        status = ntdll().setInformation(source.handle.get(), &io, info, size, kFileRenameInformation);
    }
    return status == 0 ? 0 : renameErrorOf(bitsOf(status), win32ErrorOf(status));
}

bool replacementIsBusy(unsigned long error) { return renameIsBusy(error); }

// Checked and deleted through one handle: nothing swapped in after the check
// is deleted instead. POSIX semantics (Windows 10 1709) take the name away
// at once, even while others hold the file open sharing delete.
unsigned long removeIn(const OpenFolder& folder, const std::string& name, bool alsoLink) {
    OpenRequest request;
    request.access = DELETE | FILE_READ_ATTRIBUTES | READ_CONTROL;
    request.dontReparse = !alsoLink;  // a link to be removed is opened as itself
    Opened opened = openRelative(handleOf(folder), name, request);
    if (!opened.handle) return opened.error;
    const EntryFacts facts = factsOf(opened.handle.get());
    if (!isPlainWithOneLink(facts) && !(alsoLink && facts.kind == EntryKind::Link)) return kNotPlainFile;
    IO_STATUS_BLOCK io = {};
    ULONG flags = kDispositionDelete | kDispositionPosixSemantics;
    NTSTATUS status = ntdll().setInformation(opened.handle.get(), &io, &flags, sizeof flags, kFileDispositionInformationEx);
    if (infoClassMissing(bitsOf(status))) {
        BOOLEAN deleteFile = TRUE;
        status = ntdll().setInformation(opened.handle.get(), &io, &deleteFile, sizeof deleteFile,
                                        kFileDispositionInformation);
    }
    return status == 0 ? 0 : win32ErrorOf(status);
}

// Listed through the held handle itself (NtQueryDirectoryFile), never by a
// path: the folder listed is the folder held.
std::vector<std::string> entriesOf(const OpenFolder& folder) {
    std::vector<std::string> names;
    if (ntdll().queryDirectory == nullptr) return names;
    std::vector<unsigned char> buffer(64 * 1024);
    for (BOOLEAN restart = TRUE;; restart = FALSE) {
        IO_STATUS_BLOCK io = {};
        const NTSTATUS status = ntdll().queryDirectory(handleOf(folder), nullptr, nullptr, nullptr, &io,
                                                       buffer.data(), static_cast<ULONG>(buffer.size()),
                                                       kFileNamesInformation, FALSE, nullptr, restart);
        if (status != 0) return names;  // STATUS_NO_MORE_FILES, or a failure: what was read
        for (std::size_t at = 0;;) {
            const auto* entry = reinterpret_cast<const NamesInformation*>(buffer.data() + at);
            const std::u16string name(reinterpret_cast<const char16_t*>(entry->fileName),
                                      entry->fileNameLength / sizeof(WCHAR));
            if (name != u"." && name != u"..") names.push_back(wideToUtf8(name));
            if (entry->nextEntryOffset == 0) break;
            at += entry->nextEntryOffset;
        }
    }
}

bool processIsGone(unsigned long processId) {
    // ERROR_INVALID_PARAMETER means no such process; ERROR_ACCESS_DENIED is a
    // process that runs (of another account, or protected).
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(processId));
    if (process != nullptr) {
        CloseHandle(process);
        return false;
    }
    return GetLastError() == ERROR_INVALID_PARAMETER;
}

}  // namespace velmora
