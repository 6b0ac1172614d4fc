// Environment variables: references in paths the system reports, such as
// "%ProgramFiles%\Contoso\av.exe" from the Security Center, and the one
// setting tests may give a run (common/watchdog.h).
#pragma once

#include <optional>
#include <string>

namespace velmora {

// The UTF-8 text with each %NAME% of a set variable replaced by its value;
// names match without regard to ASCII letter case. A reference to a variable
// that is not set, and a lone '%', stay as they are. Windows expands with
// ExpandEnvironmentStringsW; the Linux stand-in follows the same rules over
// its own environment. The text is returned unchanged when it cannot be
// expanded.
std::string expandEnvironmentStrings(const std::string& text);

// The UTF-8 value of the variable name (ASCII); nothing when it is not set,
// or (Windows) its value is not valid UTF-16.
std::optional<std::string> environmentVariable(const char* name);

}  // namespace velmora
