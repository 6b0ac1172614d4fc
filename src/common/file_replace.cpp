#include "common/file_replace.h"

#include <cerrno>
#include <string>

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

// What is done when the system refuses the replacement: the bytes written in
// place, as before there was a replacement.
int writeInPlace(const FileReplacement& file) {
    errno = 0;
    std::FILE* stream = openSharedForWriting(file.target);
    if (stream == nullptr) return lastError();
    bool ok = std::fwrite(file.written.data(), 1, file.written.size(), stream) == file.written.size();
    ok = std::fflush(stream) == 0 && ok;
    ok = std::fclose(stream) == 0 && ok;
    return ok ? 0 : lastError();
}

}  // namespace

FileReplacement::~FileReplacement() {
    if (!stream) return;
    stream.reset();
    if (!temporary.empty()) removeFile(temporary);
}

std::optional<FileReplacement> beginReplacement(const std::u16string& target) {
    FileReplacement file;
    file.target = target;
    const PathKind kind = target.empty() ? PathKind::Other : pathKind(target);
    // A file that cannot be written is reported as writing in place would
    // report it: replacing it must not become a way around its permissions.
    if (kind == PathKind::PlainFile && !canOpenForWriting(target)) return std::nullopt;
    if (kind != PathKind::Other) file.stream.reset(createTemporaryBeside(target, file.temporary));
    if (!file.stream) {
        file.temporary.clear();
        file.stream.reset(openSharedForWriting(target));
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
    int error = closeStream(file);
    if (file.temporary.empty()) return error;
    const bool replaced = complete && error == 0 && replaceFile(file.temporary, file.target);
    if (!replaced) {
        removeFile(file.temporary);
        if (complete && error == 0) error = writeInPlace(file);
    }
    file.temporary.clear();
    return error;
}

}  // namespace velmora
