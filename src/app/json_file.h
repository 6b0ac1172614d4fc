// Reads a whole file as one JSON document.
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace velmora {

// Parses the file as exactly one JSON value of any kind (UTF-8 byte-order
// mark accepted, no comments, only white space after the value). Nothing
// when the file cannot be opened or parsed; the cause is then logged at error
// level.
std::optional<nlohmann::json> getJsonFromFile(const std::string& path);

}  // namespace velmora
