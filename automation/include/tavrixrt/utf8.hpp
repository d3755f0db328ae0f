// The one UTF-8 decoder and encoder of the project, header-only so that code which links nothing
// of the runtime (the engine, the desktop model) decodes by the same rules: overlong forms,
// surrogates, values beyond U+10FFFF and cut-off sequences are not UTF-8.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tavrixrt {

struct Utf8Char {
    char32_t code;
    size_t length; // bytes of the sequence, 1 to 4
};

// The character whose sequence starts at text[i], or nullopt when the byte there does not start
// a valid sequence (the caller decides what the byte becomes).
inline std::optional<Utf8Char> decodeUtf8(std::string_view text, size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) return Utf8Char{lead, 1};
    size_t extra = 0;
    char32_t c = 0, minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF)
        extra = 1, c = lead & 0x1F, minimum = 0x80;
    else if (lead >= 0xE0 && lead <= 0xEF)
        extra = 2, c = lead & 0x0F, minimum = 0x800;
    else if (lead >= 0xF0 && lead <= 0xF4)
        extra = 3, c = lead & 0x07, minimum = 0x10000;
    else
        return std::nullopt;
    for (size_t k = 1; k <= extra; ++k) {
        if (i + k >= text.size()) return std::nullopt;
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) return std::nullopt;
        c = (c << 6) | (next & 0x3F);
    }
    if (c < minimum || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    return Utf8Char{c, extra + 1};
}

inline void appendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace tavrixrt
