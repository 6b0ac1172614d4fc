// Reads a whole file as one JSON document.
#pragma once

#include <string>

#include <nlohmann/json_fwd.hpp>

// Parses the file as exactly one JSON value of any kind (UTF-8 byte-order
// mark accepted, no comments, only white space after the value). On success
// ok is true and the value is returned. On failure the cause is logged at
// error level, ok is false and the result is the empty JSON string "".
nlohmann::json getJsonFromFile(std::string path, bool& ok);
