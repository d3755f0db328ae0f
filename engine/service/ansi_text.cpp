#include "engine/service/ansi_text.hpp"

#include <cstdint>

#include "tavrixrt/utf8.hpp"

namespace tavrix {
namespace {

// Code points of bytes 0x80..0x9F; 0 marks the five bytes that Windows-1252 leaves undefined.
constexpr char32_t kHighControls[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

int toWindows1252(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
    for (int i = 0; i < 32; ++i)
        if (kHighControls[i] == cp && cp != 0) return 0x80 + i;
    return -1;
}

} // namespace

std::string utf8ToWindows1252(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    size_t i = 0;
    while (i < s.size()) {
        const std::optional<tavrixrt::Utf8Char> c = tavrixrt::decodeUtf8(s, i);
        if (!c) {
            out += '?';
            ++i;
            continue;
        }
        const int mapped = toWindows1252(c->code);
        out += mapped < 0 ? '?' : static_cast<char>(mapped);
        i += c->length;
    }
    return out;
}

std::string windows1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        char32_t cp = b;
        if (b >= 0x80 && b < 0xA0) cp = kHighControls[b - 0x80] ? kHighControls[b - 0x80] : b;
        tavrixrt::appendUtf8(out, cp);
    }
    return out;
}

bool fitsWindows1252(std::string_view s) {
    size_t i = 0;
    while (i < s.size()) {
        const std::optional<tavrixrt::Utf8Char> c = tavrixrt::decodeUtf8(s, i);
        if (!c) {
            ++i;
            continue;
        }
        if (toWindows1252(c->code) < 0) return false;
        i += c->length;
    }
    return true;
}

std::string originalText(std::string_view windows1252, std::string_view utf8) {
    if (utf8ToWindows1252(utf8) == windows1252) return std::string(utf8);
    return windows1252ToUtf8(windows1252);
}

} // namespace tavrix
