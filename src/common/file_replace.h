// Writing a file whole in place of another: the bytes go to a new file beside
// the target, flushed to the disk, which then takes the target's place in one
// step with the target's access rules. A reader (the VPN client polling the
// verdict) sees the earlier content or the new, never an empty or
// half-written file, and a failed write leaves the earlier file as it was.
//
// Where the system refuses the replacement (on Windows, a reader holding the
// file without delete sharing, after about a second of retries) or the folder
// takes no new file, the file is written in place: the new bytes over the old
// from its start, then its length cut, so that it is never empty or shorter
// than its new text.
#pragma once

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "common/file_io.h"

namespace velmora {

// What a link at the target means.
enum class LinkAtTarget {
    // The link itself is replaced by the new file; nothing is ever written
    // through it (a file the program chose, like check.json in a folder
    // other accounts may write to).
    Replace,
    // The file is written through it, in place (a path the caller chose).
    WriteThrough,
};

// Closes a stream dropped unfinished; finishReplacement closes it itself, so
// that a failed close is reported.
struct StreamCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

struct FileReplacement {
    std::u16string target;
    std::u16string temporary;    // empty when the target itself is being written
    std::unique_ptr<std::FILE, StreamCloser> stream;
    std::string written;         // what went to the stream, for writing it in place
    bool copyRules = false;      // the target is a plain file whose access rules the new file takes
    bool replacesLink = false;   // the target is a link whose own name the new file takes
    LinkAtTarget links = LinkAtTarget::WriteThrough;
    // Set by finishReplacement when the system refused the replacement and
    // the file was written in place instead: the system's error (decimal).
    std::optional<unsigned long> writtenInPlaceAfter;

    FileReplacement() = default;
    FileReplacement(FileReplacement&&) = default;
    FileReplacement& operator=(FileReplacement&&) = delete;
    // Dropped unfinished (an exception): the temporary file goes, the target stays.
    ~FileReplacement();
};

// Opens the file to write, and removes temporary files of this target that
// processes which no longer run left behind. Nothing when the target cannot
// be written at all (a missing folder, no permission, a read-only file; with
// LinkAtTarget::Replace also no plain file or link); errno then tells why,
// as an open of the target itself would.
std::optional<FileReplacement> beginReplacement(const std::u16string& target, LinkAtTarget links);

// Appends bytes and pushes them to the system. 0, or the errno of the failure.
int writeToReplacement(FileReplacement& file, const std::string& bytes);

// Closes the file and, when complete, puts it in the target's place. 0, or
// the errno of the failure. When not complete, or on a failure, a target that
// was not written in place keeps its earlier content. No temporary file is
// left either way.
int finishReplacement(FileReplacement& file, bool complete);

// ---- decisions the platform layer asks for ----

// How long a replacement refused because the target is in use is retried.
inline constexpr unsigned kReplaceRetryMilliseconds = 1000;
inline constexpr unsigned kReplaceRetryPauseMilliseconds = 20;

// Waits before one more try of a replacement refused because the target is
// in use; false, without waiting, once deadline has passed.
bool pauseBeforeRetry(std::chrono::steady_clock::time_point deadline);

// "<target's name>.<process id>-<n>.tmp" (1.1.0's names, and the -outpath
// file's) or "<target's name>.<process id>-<32 hex>.tmp": the process id of
// the temporary file that name is, or nothing when name is no such file of
// that target.
std::optional<unsigned long> temporaryFileOwner(const std::string& name, const std::string& targetName);

// What the target's DACL is, as far as copying it goes (Windows).
struct DaclFacts {
    bool read = false;         // it could be read at all
    bool present = false;      // a DACL (no DACL, a NULL DACL, grants everyone everything)
    bool isProtected = false;  // it inherits nothing from the folder
};
// What the replacement's DACL is set to: the target's, with its protection.
// Not possible when the target's could not be read: the file is then written
// in place, which keeps its rules.
struct DaclCopy {
    bool possible = false;
    bool nullDacl = false;
    bool isProtected = false;
};
DaclCopy daclCopyFor(const DaclFacts& facts);

}  // namespace velmora
