// Reads a whole file as one JSON document.
#pragma once

#include <string>

#include <nlohmann/json.hpp>

namespace velmora {

// Parses the file as exactly one JSON value of any kind (UTF-8 byte-order
// mark accepted, no comments, only white space after the value); ok tells
// whether it was read. When the file cannot be opened or parsed, ok is false,
// the cause is logged at error level and the value is the empty JSON string.
nlohmann::json getJsonFromFile(const std::string& path, bool& ok);

}  // namespace velmora
