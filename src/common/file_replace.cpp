#include "common/file_replace.h"

#include "common/held_folder.h"
#include "common/text.h"

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

namespace velmora {

namespace {

// Names already taken (left by a process of the same id that died) are
// skipped; this many is plenty.
constexpr unsigned kTemporaryNameAttempts = 16;

int lastError() { return errno != 0 ? errno : EIO; }

std::u16string decimal(unsigned long number) {
    const std::string digits = std::to_string(number);
    return std::u16string(digits.begin(), digits.end());
}

// Where the target's own name starts: its folder is everything before.
std::size_t nameStart(const std::u16string& target) {
    const std::size_t separator = target.find_last_of(kPathSeparators);
    return separator == std::u16string::npos ? 0 : separator + 1;
}

// A run killed between creating its temporary file and renaming it leaves
// the file behind; whoever replaces the target next removes it, once its
// process no longer runs. A link under such a name is left alone.
void removeLeftTemporaries(const std::u16string& target) {
    const std::size_t start = nameStart(target);
    const std::u16string prefix = target.substr(0, start);
    const std::u16string targetName = target.substr(start);
    std::u16string folder = prefix;
    if (folder.size() > 1) folder.pop_back();  // "/" and "\" stay whole
    for (const std::u16string& name : folderEntries(folder)) {
        const std::optional<unsigned long> owner = temporaryFileOwner(wideToUtf8(name), wideToUtf8(targetName));
        if (owner && *owner != currentProcessId() && processIsGone(*owner)) removePlainFile(prefix + name);
    }
}

// A new file beside the target, "<target>.<process id>-<n>.tmp": in the same
// folder, so that it can take the target's place in one step.
std::FILE* createTemporaryBeside(const std::u16string& target, std::u16string& name) {
    for (unsigned attempt = 0; attempt < kTemporaryNameAttempts; ++attempt) {
        name = target + u"." + decimal(currentProcessId()) + u"-" + decimal(attempt) + u".tmp";
        if (std::FILE* file = createNewForWriting(name)) return file;
        if (errno != EEXIST) break;
    }
    name.clear();
    return nullptr;
}

int closeStream(FileReplacement& file) {
    errno = 0;
    return std::fclose(file.stream.release()) == 0 ? 0 : lastError();
}

// Drops the temporary file; the target stays as it was.
int dropTemporary(FileReplacement& file) {
    const int error = file.stream ? closeStream(file) : 0;
    removeFile(file.temporary);
    file.temporary.clear();
    return error;
}

// A reader that holds the target open (an anti-malware scanner, the client
// itself) mostly lets go within milliseconds: the replacement is tried again
// for about a second before the file is written in place.
ReplaceAttempt replaceWithRetries(FileReplacement& file) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kReplaceRetryMilliseconds);
    for (;;) {
        const ReplaceAttempt attempt = replaceOnce(file.stream.get(), file.temporary, file.target);
        if (attempt.replaced || !attempt.inUse || !pauseBeforeRetry(deadline)) return attempt;
    }
}

// What is done when the system refuses the replacement: the bytes written in
// place, over the old ones, never through a link where links are replaced.
int writeInPlace(const FileReplacement& file) {
    errno = 0;
    std::FILE* stream = openInPlace(file.target, file.links == LinkAtTarget::Replace);
    if (stream == nullptr) return lastError();
    if (std::fwrite(file.written.data(), 1, file.written.size(), stream) != file.written.size()) {
        const int error = lastError();
        std::fclose(stream);
        return error;
    }
    return finishInPlace(stream, file.written.size());
}

// The temporary file is complete: on the disk, with the target's rules, then
// in its place. When refused, the target is written in place instead.
int putInPlace(FileReplacement& file) {
    const int error = flushToDisk(file.stream.get());
    if (error != 0) {
        dropTemporary(file);
        return error;
    }
    // Rules that cannot be carried over are kept by writing in place.
    ReplaceAttempt attempt;
    attempt.systemError = file.copyRules ? copyAccessRules(file.target, file.stream.get()) : 0;
    if (attempt.systemError == 0) {
        if (file.replacesLink) removeLinkItself(file.target);
        attempt = replaceWithRetries(file);
    }
    if (attempt.replaced) {
        file.temporary.clear();
        const int closeError = closeStream(file);
        flushFolderOf(file.target);
        return closeError;
    }
    dropTemporary(file);
    file.writtenInPlaceAfter = attempt.systemError;
    return writeInPlace(file);
}

}  // namespace

FileReplacement::~FileReplacement() {
    if (!stream) return;
    stream.reset();
    if (!temporary.empty()) removeFile(temporary);
}

std::optional<FileReplacement> beginReplacement(const std::u16string& target, LinkAtTarget links) {
    FileReplacement file;
    file.target = target;
    file.links = links;
    const PathKind kind = target.empty() ? PathKind::Other : pathKind(target);
    // A file that cannot be written is reported as writing in place would
    // report it: replacing it must not become a way around its permissions.
    if (kind == PathKind::PlainFile && !canOpenForWriting(target)) return std::nullopt;
    const bool replace = kind == PathKind::PlainFile || kind == PathKind::Missing ||
                         (kind == PathKind::Link && links == LinkAtTarget::Replace);
    if (replace) {
        removeLeftTemporaries(target);
        file.stream.reset(createTemporaryBeside(target, file.temporary));
        file.copyRules = kind == PathKind::PlainFile;
        file.replacesLink = kind == PathKind::Link;
    }
    if (!file.stream) {
        file.temporary.clear();
        file.stream.reset(openInPlace(target, links == LinkAtTarget::Replace));
    }
    if (!file.stream) return std::nullopt;
    return file;
}

int writeToReplacement(FileReplacement& file, const std::string& bytes) {
    file.written += bytes;
    errno = 0;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), file.stream.get()) == bytes.size();
    ok = std::fflush(file.stream.get()) == 0 && ok;
    return ok ? 0 : lastError();
}

int finishReplacement(FileReplacement& file, bool complete) {
    if (!complete) return file.temporary.empty() ? closeStream(file) : dropTemporary(file);
    if (file.temporary.empty()) return finishInPlace(file.stream.release(), file.written.size());
    return putInPlace(file);
}

bool pauseBeforeRetry(std::chrono::steady_clock::time_point deadline) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(kReplaceRetryPauseMilliseconds));
    return true;
}

std::optional<unsigned long> temporaryFileOwner(const std::string& name, const std::string& targetName) {
    const std::string suffix = ".tmp";
    if (name.size() <= targetName.size() + 1 + suffix.size() || name.compare(0, targetName.size(), targetName) != 0 ||
        name[targetName.size()] != '.' || name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return std::nullopt;
    }
    // "<process id>-<n>" or "<process id>-<32 hex>" between the dot and the suffix.
    const std::string middle = name.substr(targetName.size() + 1, name.size() - targetName.size() - 1 - suffix.size());
    const std::size_t dash = middle.find('-');
    if (dash == 0 || dash == std::string::npos || dash > 10 || dash + 1 == middle.size()) return std::nullopt;
    const std::string rest = middle.substr(dash + 1);
    const bool decimalRest = rest.find_first_not_of("0123456789") == std::string::npos;
    const bool randomRest = rest.size() == 32 && rest.find_first_not_of("0123456789abcdef") == std::string::npos;
    if (!decimalRest && !randomRest) return std::nullopt;
    unsigned long long id = 0;
    for (std::size_t i = 0; i < dash; ++i) {
        if (middle[i] < '0' || middle[i] > '9') return std::nullopt;
        id = id * 10 + static_cast<unsigned long long>(middle[i] - '0');
    }
    if (id > 0xFFFFFFFFull) return std::nullopt;
    return static_cast<unsigned long>(id);
}

DaclCopy daclCopyFor(const DaclFacts& facts) {
    DaclCopy copy;
    copy.possible = facts.read;
    copy.nullDacl = facts.read && !facts.present;
    copy.isProtected = facts.read && facts.isProtected;
    return copy;
}

}  // namespace velmora
