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
