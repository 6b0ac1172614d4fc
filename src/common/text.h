// Text helpers shared by every subsystem.
//
// Narrow texts hold UTF-8 unless a function says otherwise. Wide texts are
// UTF-16 code units in std::u16string on both targets (wchar_t is 32 bits
// wide off Windows), converted from and to wchar_t only at the Windows API.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// UTF-16 to UTF-8. Empty input, or input that is not valid UTF-16 (a lone
// surrogate), gives an empty text.
std::string wideToUtf8(const std::u16string& wide);

// UTF-8 to UTF-16. Empty input, or input that is not valid UTF-8, gives an
// empty text.
std::u16string utf8ToWide(const std::string& utf8);

// The text with each byte that starts no valid UTF-8 sequence replaced by
// U+FFFD; valid text comes back unchanged. For texts that may carry foreign
// bytes (a parser's quote of what it read) on their way into the log, whose
// readers take it as UTF-8.
std::string toValidUtf8(const std::string& text);

// Splits at separator the way lines are read with it as the line end: items
// are taken unchanged, empty items between two separators stay, nothing after
// a last separator gives no item, the empty text gives no items.
std::vector<std::string> splitText(const std::string& text, char separator);

// splitText at ','.
std::vector<std::string> splitByComma(const std::string& text);

// Same length and equal bytes after upper-casing the ASCII letters a-z only.
bool equalsIgnoreAsciiCase(std::string_view a, std::string_view b);

}  // namespace velmora
