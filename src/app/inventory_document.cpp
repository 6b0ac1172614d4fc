#include "app/inventory_document.h"

#include <cstdio>
#include <exception>

#include "common/file_io.h"
#include "common/text.h"
#include "log/logger.h"

namespace velmora {

using nlohmann::json;

namespace {

// Writes the bytes and pushes them to the file; false when any step failed,
// so a full disk or a lost device is not reported as a saved file.
bool writeWhole(std::FILE* file, const std::string& bytes) {
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool flushed = std::fflush(file) == 0 && !std::ferror(file);
    const bool closed = std::fclose(file) == 0;
    return written && flushed && closed;
}

void saveCompact(const std::string& compact, const std::u16string& outputPath) {
    const std::string shownPath = wideToUtf8(outputPath);
    std::FILE* file = openSharedForWriting(outputPath);
    if (file == nullptr) {
        avLogger->info("avInfo js open file for saving failed!: file: [{}]! check permission...", shownPath);
        return;
    }
    if (writeWhole(file, compact)) {
        avLogger->info("avInfo: js succesfully saved to file {}", shownPath);
    } else {
        avLogger->info("avInfo js write to file failed!: file: [{}]!", shownPath);
    }
}

}  // namespace

void completeInventoryDocument(json& document, const std::string& osText) {
    bool isAvInstalled = false;
    try {
        isAvInstalled = document["av"].size() >= 1;
    } catch (const std::exception&) {
        // Not an object after all: nothing is installed as far as we know.
    }
    document["os"] = osText;
    document["is_av_installed"] = isAvInstalled;
}

void publishInventoryDocument(json& document, const std::u16string& outputPath, const std::string& osText) {
    completeInventoryDocument(document, osText);
    std::string indented;
    std::string compact;
    try {
        indented = document.dump(5, ' ', false, json::error_handler_t::strict);
        compact = document.dump();
    } catch (const std::exception& e) {
        // Only text that is not UTF-8 gets here; nothing half-made is saved.
        avLogger->info("avInfo: document cannot be written: {}", e.what());
        return;
    }
    avLogger->info("avInfo: \n{}\n", indented);
    saveCompact(compact, outputPath);
}

}  // namespace velmora
