#include "common/held_replace.h"

#include "common/file_io.h"
#include "common/file_replace.h"

#include <chrono>

namespace velmora {

namespace {

// Each name is unpredictable: one taken means another account guessed it,
// which cannot happen often.
constexpr int kTemporaryNameAttempts = 4;

// A run killed between creating its temporary file and renaming it leaves
// the file behind; whoever replaces the target next removes it, once its
// process no longer runs. A link or second hard link under such a name is
// left alone (removeIn), never followed.
void removeLeftTemporaries(const OpenFolder& folder, const std::string& name) {
    for (const std::string& entry : entriesOf(folder)) {
        const std::optional<unsigned long> owner = temporaryFileOwner(entry, name);
        if (owner && *owner != currentProcessId() && processIsGone(*owner)) removeIn(folder, entry);
    }
}

HeldFile createTemporary(const OpenFolder& folder, const std::string& name, std::string& temporary,
                         unsigned long& error) {
    for (int attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        temporary = temporaryNameFor(name, currentProcessId());
        FileOpenResult created = openFileIn(folder, temporary, FileOpen::CreateNew);
        error = created.error;
        if (created.file) return std::move(created.file);
        if (error != kNameTaken) break;
    }
    temporary.clear();
    return nullptr;
}

void dropTemporary(HeldReplacement& file) {
    file.file.reset();
    if (!file.temporary.empty()) removeIn(*file.folder, file.temporary);
    file.temporary.clear();
}

// The whole content in one write from the first byte, then the rest cut:
// the file is never empty or shorter than its new content meanwhile.
unsigned long writeInPlace(const OpenFile& target, const std::string& content) {
    unsigned long error = writeAt(target, 0, content.data(), content.size());
    if (error == 0) error = cutAt(target, content.size());
    if (error == 0) error = flushFile(target);
    return error;
}

// A reader holding the target (an anti-malware scanner, the client itself)
// mostly lets go within milliseconds.
unsigned long replaceWithRetries(const HeldReplacement& file) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReplaceRetryMilliseconds);
    for (;;) {
        const unsigned long error = renameIn(*file.folder, file.temporary, file.name, true);
        if (!replacementIsBusy(error) || !pauseBeforeRetry(deadline)) return error;
    }
}

unsigned long putInPlace(HeldReplacement& file) {
    unsigned long error = flushFile(*file.file);
    if (error != 0) {
        dropTemporary(file);
        return error;
    }
    error = replaceWithRetries(file);
    if (error == 0) {
        file.temporary.clear();
        file.file.reset();
        flushFolder(*file.folder);
        return 0;
    }
    dropTemporary(file);
    file.writtenInPlaceAfter = error;
    FileOpenResult target = openFileIn(*file.folder, file.name, FileOpen::WriteExisting);
    if (!target.file) return target.error;
    return writeInPlace(*target.file, file.written);
}

}  // namespace

HeldReplacement::HeldReplacement(HeldReplacement&& other) noexcept
    : folder(other.folder),
      name(std::move(other.name)),
      temporary(std::move(other.temporary)),
      file(std::move(other.file)),
      written(std::move(other.written)),
      writtenInPlaceAfter(other.writtenInPlaceAfter) {
    other.folder = nullptr;
    other.temporary.clear();
}

HeldReplacement::~HeldReplacement() {
    if (folder != nullptr) dropTemporary(*this);
}

std::string temporaryNameFor(const std::string& name, unsigned long processId) {
    return name + '.' + std::to_string(processId) + '-' + unpredictableName() + ".tmp";
}

std::optional<HeldReplacement> beginHeldReplacement(const OpenFolder& folder, const std::string& name,
                                                    unsigned long& error) {
    HeldReplacement file;
    file.folder = &folder;
    file.name = name;
    const EntryFacts target = probeEntry(folder, name);
    const bool plainFile = target.kind == EntryKind::PlainFile && target.linkCount == 1;
    // A file that cannot be written is reported as writing in place would
    // report it: replacing it must not become a way around its rules. A
    // folder, FIFO or device is not replaced either; the open says why.
    if (plainFile || target.kind == EntryKind::Folder || target.kind == EntryKind::Other) {
        FileOpenResult opened = openFileIn(folder, name, FileOpen::WriteExisting);
        error = opened.error;
        // Held by a reader that shares no writing (Windows checks sharing
        // after the account's rights), or under an oplock: busy, not
        // forbidden; the replacement then waits for it.
        if (!opened.file && opened.error != kBusy) return std::nullopt;
        file.file = std::move(opened.file);
    }
    removeLeftTemporaries(folder, name);
    HeldFile temporary = createTemporary(folder, name, file.temporary, error);
    if (temporary) {
        file.file = std::move(temporary);
    } else if (!file.file) {
        return std::nullopt;  // no new file, and none to write in place
    }
    error = 0;
    return file;
}

unsigned long writeToHeldReplacement(HeldReplacement& file, const std::string& bytes) {
    const std::uint64_t offset = file.written.size();
    file.written += bytes;
    return file.temporary.empty() ? 0 : writeAt(*file.file, offset, bytes.data(), bytes.size());
}

unsigned long finishHeldReplacement(HeldReplacement& file, bool complete) {
    if (!complete) {
        dropTemporary(file);
        return 0;
    }
    if (file.temporary.empty()) {
        const unsigned long error = writeInPlace(*file.file, file.written);
        file.file.reset();
        return error;
    }
    return putInPlace(file);
}

}  // namespace velmora
