// Small Windows helpers of the field tests: texts, files, privileges, random
// names and the facts of the machine they run on. Nothing here follows a
// link when it removes or inspects something.
#pragma once

#include "field/field_logic.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace velmora::field {

// Thrown by a row's arrangement that the system refused; the row then ends
// as "could not be arranged: <what>", never as a fault of the program.
struct NotArranged : std::runtime_error {
    using std::runtime_error::runtime_error;
};
// Throws NotArranged with what and the last error's number and text.
[[noreturn]] void notArranged(const std::string& what, unsigned long error = GetLastError());

std::wstring wide(const std::string& utf8);
std::string narrow(const std::wstring& text);
std::string errorText(unsigned long error);

bool isWine();
MachineFacts machineFacts();

// Turns on a privilege the token holds (SeBackupPrivilege,
// SeRestorePrivilege, SeCreateSymbolicLinkPrivilege...); false when it lacks it.
bool enablePrivilege(const wchar_t* name);

// 2 * bytes hexadecimal digits from the system's random source.
std::string randomHex(std::size_t bytes);

// The whole file, read with the given sharing; nullopt when it cannot be
// opened or read.
std::optional<std::string> readWhole(const std::wstring& path,
                                     DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
bool writeWhole(const std::wstring& path, const std::string& bytes);

// Attributes of the name itself (a link is not followed); INVALID_FILE_ATTRIBUTES when missing.
DWORD attributesOf(const std::wstring& path);
bool exists(const std::wstring& path);
bool isRealFolder(const std::wstring& path);  // a folder, not a reparse point

// Removes path and, for a real folder, everything in it. A link or mount
// point is removed itself, never what it points at. Uses backup semantics,
// so files whose DACL refuses the administrator go too. False when
// something stayed (its path in *stuck).
bool removeTree(const std::wstring& path, std::wstring* stuck = nullptr);

// The names in a folder (without "." and "..").
std::vector<std::wstring> namesIn(const std::wstring& folder);

// What a folder tree holds, for "nothing changed": one line per entry with
// its relative path, attributes, size, last write time and, for small files,
// the content. Links are listed, not followed.
std::string describeTree(const std::wstring& folder);

// The file's volume serial and index, read through a handle opened without following links.
std::optional<std::uint64_t> fileIdOf(const std::wstring& path);

// The folder the running exe lies in, with a trailing backslash.
std::wstring exeFolder();
std::wstring exePath();

// The account's name as GetUserNameW gives it, and its SID as text.
std::wstring currentUserName();
std::string currentUserSid();

// SID text of an account name; nullopt when the system does not know it.
std::optional<std::string> sidOfAccount(const std::wstring& name);

// Sets the owner of the name itself (a link is not followed); needs
// SeRestorePrivilege for an owner other than oneself. False under Wine or on refusal.
bool setOwner(const std::wstring& path, const std::string& sid, unsigned long* error = nullptr);
std::optional<std::string> ownerOf(const std::wstring& path);

// The DACL of the name itself as plain facts, and whether it is protected.
struct DaclFacts {
    std::vector<AceFacts> aces;
    bool protectedDacl = false;
};
std::optional<DaclFacts> daclOf(const std::wstring& path);

}  // namespace velmora::field
