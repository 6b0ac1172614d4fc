// Writing a file whole in place of another: the bytes go to a new file beside
// the target, which then takes the target's place in one step. A reader (the
// VPN client polling the verdict) sees the earlier content or the new, never
// an empty or half-written file, and a failed write leaves the earlier file as
// it was.
//
// Where that cannot be done the file is written in place, truncated first, as
// it always was: when the target is no plain file (a device, a link), when the
// folder takes no new file, or when the system refuses the replacement (on
// Windows, a reader holding the file without delete sharing).
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "common/file_io.h"

namespace velmora {

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

    FileReplacement() = default;
    FileReplacement(FileReplacement&&) = default;
    FileReplacement& operator=(FileReplacement&&) = delete;
    // Dropped unfinished (an exception): the temporary file goes, the target stays.
    ~FileReplacement();
};

// Opens the file to write. Nothing when the target cannot be written at all
// (a missing folder, no permission); errno then tells why, as an open of the
// target itself would.
std::optional<FileReplacement> beginReplacement(const std::u16string& target);

// Appends bytes and pushes them to the system. 0, or the errno of the failure.
int writeToReplacement(FileReplacement& file, const std::string& bytes);

// Closes the file and, when complete, puts it in the target's place. 0, or
// the errno of the failure. When not complete, or on a failure, a target that
// was not written in place keeps its earlier content. No temporary file is
// left either way.
int finishReplacement(FileReplacement& file, bool complete);

}  // namespace velmora
