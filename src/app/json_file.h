// Reads a whole file as one JSON document.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "common/held_folder.h"

namespace velmora {

// Parses folder/name, a plain file with one link, as exactly one JSON value
// of any kind (UTF-8 byte-order mark accepted, no comments, only white space
// after the value); ok tells whether it was read. When the file cannot be
// opened (anything but a plain file: the layer's kNotPlainFile) or parsed, ok
// is false, the cause is logged at error level and the value is the empty
// JSON string.
nlohmann::json getJsonFromFile(const OpenFolder& folder, const std::string& name, bool& ok);

}  // namespace velmora
