// Environment-variable references in paths the system reports, such as
// "%ProgramFiles%\Contoso\av.exe" from the Security Center.
#pragma once

#include <string>

namespace velmora {

// The UTF-8 text with each %NAME% of a set variable replaced by its value;
// names match without regard to ASCII letter case. A reference to a variable
// that is not set, and a lone '%', stay as they are. Windows expands with
// ExpandEnvironmentStringsW; the Linux stand-in follows the same rules over
// its own environment. The text is returned unchanged when it cannot be
// expanded.
std::string expandEnvironmentStrings(const std::string& text);

}  // namespace velmora
