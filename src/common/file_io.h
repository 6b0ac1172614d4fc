// Opening files the way the program needs on both targets: binary streams
// (line ends are written explicitly), shared with other readers and writers.
//
// Narrow paths are UTF-8 on Windows, where every file is opened by its UTF-16
// name, and the bytes of the name elsewhere.
#pragma once

#include <cstddef>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace velmora {

// Closes a file that was only read; nothing written can be lost there.
struct ReadFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using ReadFileHandle = std::unique_ptr<std::FILE, ReadFileCloser>;

// A narrow path in UTF-16, the form every file function below takes.
std::u16string widePath(const std::string& path);

// Opens the file for reading. On failure: nullptr, and errorCode holds the
// platform's code (GetLastError on Windows, errno elsewhere; 2 for a missing
// file on both).
std::FILE* openSharedForReading(const std::string& path, unsigned long& errorCode);

// Reads the rest of file into bytes. false on a read error (errno set) or
// when the file holds more than maxBytes: a cut-off file must not pass for a
// whole one.
bool readWholeFile(std::FILE* file, std::string& bytes, std::size_t maxBytes = static_cast<std::size_t>(-1));

// The C runtime's text for an errno value (strerror_s into 256 bytes on
// Windows, strerror_r elsewhere).
std::string errnoText(int errnum);

// ---- what replacing a file whole needs from the system (file_replace.h) ----

// What a path names, looked at without following a link: only a plain file
// on a disk is ever replaced as it stands. A Link is a symbolic link, a mount
// point or other reparse point, or a file with more than one hard link; a
// dangling link is a Link too, not Missing.
enum class PathKind { Missing, PlainFile, Link, Other };
PathKind pathKind(const std::u16string& path);

// True when the existing file could be opened for writing now; it is not
// changed. false with errno set otherwise.
bool canOpenForWriting(const std::u16string& path);

// Creates the file for writing; fails (errno EEXIST) when the name is taken.
// On Windows the handle may also rename the file and set its DACL.
std::FILE* createNewForWriting(const std::u16string& path);

// Opens the file for writing from its first byte, without cutting it. With
// onlyPlainFile, only an existing plain disk file with one link is opened,
// checked on the opened handle, and a link is never followed (errno ELOOP for
// a link, EPERM for anything else that is no such file); without it, the
// path is opened as the caller named it, links followed, and created when
// missing. nullptr on failure (errno set).
std::FILE* openInPlace(const std::u16string& path, bool onlyPlainFile);

// After writing length bytes from the start of a file opened in place: cuts
// what lies beyond (a device is not cut) and pushes the data to the disk.
// Closes the file. 0, or the errno of the first failure.
int finishInPlace(std::FILE* file, std::size_t length);

// Pushes what the stream holds to the disk (fflush and fsync, or
// FlushFileBuffers). A device that keeps nothing is no failure. 0 or errno.
int flushToDisk(std::FILE* file);

// Gives the new file the access rules of the plain file it will replace
// (Windows: the DACL and whether it is protected; elsewhere: the permission
// bits). 0, or the system's error (GetLastError on Windows, errno elsewhere)
// when they could not be read or set.
unsigned long copyAccessRules(const std::u16string& target, std::FILE* replacement);

// One attempt to put the open file at fromPath in the place of to.
struct ReplaceAttempt {
    bool replaced = false;
    bool inUse = false;          // refused only because someone holds the target open
    unsigned long systemError = 0;  // GetLastError on Windows, errno elsewhere
};
ReplaceAttempt replaceOnce(std::FILE* from, const std::u16string& fromPath, const std::u16string& to);

// Before a link's own name is replaced: removes the name when it is a
// reparse point, never what it points at. Windows refuses to rename a file
// over a folder, which a mount point or a folder link is. Nothing elsewhere,
// where rename replaces a symbolic link itself.
void removeLinkItself(const std::u16string& path);

// After a replacement: pushes the folder's new entry to the disk (fsync of
// the folder; nothing to do on Windows, where the rename is journalled).
void flushFolderOf(const std::u16string& path);

// The names (not paths) in a folder; "" names the current folder.
std::vector<std::u16string> folderEntries(const std::u16string& folder);

// Removes the name when it is a plain file with one link; never a link's
// target, never a folder.
void removePlainFile(const std::u16string& path);

void removeFile(const std::u16string& path);

unsigned long currentProcessId();

// Where a path's last component starts.
#ifdef _WIN32
inline constexpr const char16_t* kPathSeparators = u"\\/";
#else
inline constexpr const char16_t* kPathSeparators = u"/";
#endif

#ifdef _WIN32
// The errno value for a Windows error, as the C runtime maps the few that
// have their own (missing, taken, disk full); EACCES for every other.
int errnoOfSystemError(unsigned long error);
#endif

#ifndef _WIN32
// Arguments arrive off Windows as bytes. They are carried as UTF-16 with
// every byte that is not part of valid UTF-8 kept as the lone surrogate
// U+DC80..U+DCFF, so that the exact bytes come back when the path is opened.
std::u16string nativeBytesToWide(const std::string& bytes);
std::string wideToNativeBytes(const std::u16string& wide);
#endif

}  // namespace velmora
