#include "common/text.h"

namespace velmora {

std::vector<std::string> splitText(const std::string& text, char separator) {
    std::vector<std::string> items;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t at = text.find(separator, start);
        if (at == std::string::npos) {
            items.push_back(text.substr(start));
            break;
        }
        items.push_back(text.substr(start, at - start));
        start = at + 1;
    }
    return items;
}

std::string toValidUtf8(const std::string& text) {
    static const char replacement[] = "\xEF\xBF\xBD";
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        // The sequence at i is valid when the strict converter takes it
        // (1 to 4 bytes); NUL converts to an empty text but is valid.
        std::size_t length = text[i] == '\0' ? 1 : 0;
        for (std::size_t n = 1; length == 0 && n <= 4 && i + n <= text.size(); ++n) {
            if (!utf8ToWide(text.substr(i, n)).empty()) length = n;
        }
        if (length == 0) {
            out += replacement;
            ++i;
        } else {
            out.append(text, i, length);
            i += length;
        }
    }
    return out;
}

std::vector<std::string> splitByComma(const std::string& text) { return splitText(text, ','); }

static char upperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool equalsIgnoreAsciiCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (upperAscii(a[i]) != upperAscii(b[i])) return false;
    }
    return true;
}

}  // namespace velmora
