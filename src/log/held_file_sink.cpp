#include "log/held_file_sink.h"

#include <spdlog/common.h>
#include <spdlog/details/log_msg.h>

#include <chrono>
#include <thread>

namespace velmora {

namespace {

// A rename refused for a moment (a scanner holding the old file on Windows)
// is tried once more after this pause, as the library's sink did.
constexpr auto kRenamePause = std::chrono::milliseconds(100);

[[noreturn]] void fail(const std::string& what, unsigned long error) {
    throw spdlog::spdlog_ex(what + ": " + heldErrorText(error));
}

}  // namespace

HeldFileSink::HeldFileSink(const OpenFolder& folder, std::string fileName, std::string rotatedName,
                           std::string shownPath, std::size_t maxSize)
    : folder_(folder),
      fileName_(std::move(fileName)),
      rotatedName_(std::move(rotatedName)),
      shownPath_(std::move(shownPath)),
      maxSize_(maxSize) {
    open(false);
    size_ = static_cast<std::size_t>(fileSize(*file_));
}

void HeldFileSink::open(bool cut) {
    file_.reset();
    FileOpenResult opened = openFileIn(folder_, fileName_, FileOpen::Append);
    if (!opened.file) fail("Failed opening file " + shownPath_ + " for writing", opened.error);
    file_ = std::move(opened.file);
    if (cut) {
        const unsigned long error = cutAt(*file_, 0);
        if (error != 0) fail("Failed truncating file " + shownPath_, error);
    }
    size_ = 0;
}

// The current file takes the older one's name in one step (replacing it);
// a fresh current file follows. When the rename is refused twice, the
// current file is cut instead, so that it never grows past its limit.
void HeldFileSink::rotate() {
    file_.reset();
    unsigned long error = renameIn(folder_, fileName_, rotatedName_, true);
    if (error != 0) {
        std::this_thread::sleep_for(kRenamePause);
        error = renameIn(folder_, fileName_, rotatedName_, true);
    }
    open(error != 0);
    if (error != 0) fail("rotating_file_sink: failed renaming " + fileName_ + " to " + rotatedName_, error);
}

void HeldFileSink::sink_it_(const spdlog::details::log_msg& message) {
    spdlog::memory_buf_t formatted;
    formatter_->format(message, formatted);
    std::size_t newSize = size_ + formatted.size();
    // The size counted may lag behind another run's appends: the file's own
    // size decides, and an empty file is never rotated (a full disk).
    if (newSize > maxSize_ && fileSize(*file_) > 0) {
        rotate();
        newSize = formatted.size();
    }
    const unsigned long error = writeAll(*file_, formatted.data(), formatted.size());
    if (error != 0) fail("Failed writing to file " + shownPath_, error);
    size_ = newSize;
}

}  // namespace velmora
