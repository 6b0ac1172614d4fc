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

namespace velmora {

// Closes a file that was only read; nothing written can be lost there.
struct ReadFileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using ReadFileHandle = std::unique_ptr<std::FILE, ReadFileCloser>;

// A narrow path in UTF-16, the form every file function below takes.
std::u16string widePath(const std::string& path);

// Creates or truncates the file for writing. nullptr on failure (errno set).
std::FILE* openSharedForWriting(const std::u16string& path);

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

// What a path names, as far as replacing it goes: only a plain file on a
// disk is ever replaced; a folder, a device or a link is written as before.
enum class PathKind { Missing, PlainFile, Other };
PathKind pathKind(const std::u16string& path);

// True when the existing file could be opened for writing now; it is not
// changed. false with errno set otherwise.
bool canOpenForWriting(const std::u16string& path);

// Creates the file for writing; fails (errno EEXIST) when the name is taken.
std::FILE* createNewForWriting(const std::u16string& path);

// Puts the file from in the place of to, in one step. false when refused.
bool replaceFile(const std::u16string& from, const std::u16string& to);

void removeFile(const std::u16string& path);

unsigned long currentProcessId();

#ifndef _WIN32
// Arguments arrive off Windows as bytes. They are carried as UTF-16 with
// every byte that is not part of valid UTF-8 kept as the lone surrogate
// U+DC80..U+DCFF, so that the exact bytes come back when the path is opened.
std::u16string nativeBytesToWide(const std::string& bytes);
std::string wideToNativeBytes(const std::u16string& wide);
#endif

}  // namespace velmora
