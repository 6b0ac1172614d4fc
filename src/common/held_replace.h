// Writing a file of a held folder whole in place of another (check.json in
// the shared logs folder), every step on the folder's handle.
//
// The bytes go to a new file beside the target under a name nobody can
// guess ("<name>.<process id>-<32 hex>.tmp"), with the layer's fixed rules
// (docs/security.md: inherited from the folder on Windows; mode 0644
// elsewhere), never copied from whatever lies at the target: any account may
// have planted, linked or deleted that. Flushed to the disk, the new file
// takes the target's name in one step; a link there is replaced itself,
// never written through. A reader sees the earlier content or the new, never
// an empty or half-written file.
//
// When the system refuses the replacement (a reader holding the file without
// delete sharing, after about a second of retries; a sticky folder and
// another account's file) or the folder takes no new file, the target is
// written in place, only when it is a plain file with one link: the whole
// content in one write from its start, then its length cut.
#pragma once

#include <optional>
#include <string>

#include "common/held_folder.h"

namespace velmora {

struct HeldReplacement {
    const OpenFolder* folder = nullptr;
    std::string name;       // the target's
    std::string temporary;  // empty: the target itself is written, in place, when finished
    HeldFile file;          // the temporary file, or the target opened for writing in place
    std::string written;    // what was given, for writing it in place
    // Set by finishHeldReplacement when the replacement was refused and the
    // file written in place instead: the system's error.
    std::optional<unsigned long> writtenInPlaceAfter;

    HeldReplacement() = default;
    // The one moved from keeps no temporary file to drop.
    HeldReplacement(HeldReplacement&& other) noexcept;
    HeldReplacement& operator=(HeldReplacement&&) = delete;
    // Dropped unfinished (an exception): the temporary file goes, the target stays.
    ~HeldReplacement();
};

// Opens folder/name to be replaced, and removes temporary files of it that
// processes which no longer run left behind. Nothing when the target cannot
// be written at all (no plain file, link or free name; a plain file this
// account may not write); error then says why.
std::optional<HeldReplacement> beginHeldReplacement(const OpenFolder& folder, const std::string& name,
                                                    unsigned long& error);

// Adds bytes: written to the temporary file at once (0 or the error), kept
// for the end when writing in place.
unsigned long writeToHeldReplacement(HeldReplacement& file, const std::string& bytes);

// When complete, puts the content in the target's place; otherwise drops it.
// 0, or the error. No temporary file is left either way; a target not written
// in place keeps its earlier content on a failure.
unsigned long finishHeldReplacement(HeldReplacement& file, bool complete);

// "<name>.<process id>-<32 hex>.tmp".
std::string temporaryNameFor(const std::string& name, unsigned long processId);

}  // namespace velmora
