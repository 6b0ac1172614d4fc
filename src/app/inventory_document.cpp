#include "app/inventory_document.h"

#include <exception>
#include <optional>

#include "common/file_replace.h"
#include "common/text.h"
#include "log/logger.h"

namespace velmora {

using nlohmann::json;

namespace {

void saveCompact(const std::string& compact, const std::u16string& outputPath) {
    const std::string shownPath = wideToUtf8(outputPath);
    std::optional<FileReplacement> file = beginReplacement(outputPath, LinkAtTarget::WriteThrough);
    if (!file) {
        avLogger->info("avInfo js open file for saving failed!: file: [{}]! check permission...", shownPath);
        return;
    }
    // Every step is checked, so a full disk or a lost device is not reported
    // as a saved file; an incomplete file does not replace an earlier one.
    const bool written = writeToReplacement(*file, compact) == 0;
    const bool finished = finishReplacement(*file, written) == 0;
    if (written && finished) {
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
