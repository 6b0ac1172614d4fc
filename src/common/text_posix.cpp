// Off Windows: strict converters with the same outcome as the Windows calls
// with WC_ERR_INVALID_CHARS / MB_ERR_INVALID_CHARS: any invalid sequence
// (lone surrogate, overlong form, encoded surrogate, beyond U+10FFFF, cut-off
// sequence) makes the whole result empty.
#include "common/text.h"

#include <cstdint>

namespace velmora {

static void appendUtf8(std::string& out, std::uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

std::string wideToUtf8(const std::u16string& wide) {
    std::string out;
    out.reserve(wide.size());
    for (std::size_t i = 0; i < wide.size(); ++i) {
        std::uint32_t unit = wide[i];
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 1 >= wide.size()) return {};
            std::uint32_t low = wide[i + 1];
            if (low < 0xDC00 || low > 0xDFFF) return {};
            appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
            ++i;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            return {};
        } else {
            appendUtf8(out, unit);
        }
    }
    return out;
}

std::u16string utf8ToWide(const std::string& utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    const auto* s = reinterpret_cast<const unsigned char*>(utf8.data());
    const std::size_t n = utf8.size();
    std::size_t i = 0;
    while (i < n) {
        std::uint32_t lead = s[i];
        std::size_t extra;
        std::uint32_t cp;
        std::uint32_t minimum;
        if (lead < 0x80) {
            out += static_cast<char16_t>(lead);
            ++i;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            extra = 1; cp = lead & 0x1F; minimum = 0x80;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            extra = 2; cp = lead & 0x0F; minimum = 0x800;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            extra = 3; cp = lead & 0x07; minimum = 0x10000;
        } else {
            return {};
        }
        if (n - i <= extra) return {};
        for (std::size_t k = 1; k <= extra; ++k) {
            std::uint32_t next = s[i + k];
            if ((next & 0xC0) != 0x80) return {};
            cp = (cp << 6) | (next & 0x3F);
        }
        if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return {};
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += extra + 1;
    }
    return out;
}

}  // namespace velmora
