// Opening files the way the program needs on both targets: binary streams
// (line ends are written explicitly), shared with other readers and writers.
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

// Creates or truncates the file for writing. nullptr on failure (errno set).
std::FILE* openSharedForWriting(const std::u16string& path);
std::FILE* openSharedForWriting(const std::string& path);

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

#ifndef _WIN32
// Arguments arrive off Windows as bytes. They are carried as UTF-16 with
// every byte that is not part of valid UTF-8 kept as the lone surrogate
// U+DC80..U+DCFF, so that the exact bytes come back when the path is opened.
std::u16string nativeBytesToWide(const std::string& bytes);
std::string wideToNativeBytes(const std::u16string& wide);
#endif

}  // namespace velmora
