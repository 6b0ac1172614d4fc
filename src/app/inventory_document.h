// The inventory document: completed with the summary members, shown in the
// log and saved in compact form to the file named on the command line.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace velmora {

// Adds "is_av_installed" (true when "av" holds at least one element; a
// missing "av" is added as null) and "os" (the display text of the release).
void completeInventoryDocument(nlohmann::json& document, const std::string& osText);

// Completes the document, logs it indented and saves it compact (no line
// break at the end) to outputPath. Every outcome is logged here.
void publishInventoryDocument(nlohmann::json& document, const std::u16string& outputPath, const std::string& osText);

}  // namespace velmora
