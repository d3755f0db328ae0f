// Counted wide strings and the UTF-8 <-> UTF-16 conversions around them.
#include <cstdlib>
#include <cstring>

#include "tavrixrt/runtime.hpp"
#include "tavrixrt/text.hpp"
#include "tavrixrt/utf8.hpp"

namespace {

// Layout of one allocation: [uint32 byte count][characters][NUL character].
constexpr size_t kPrefix = sizeof(uint32_t);
// The byte count is 32 bits and must leave room for the prefix and the terminator.
constexpr UINT kMaxLength = (UINT32_MAX - kPrefix - sizeof(OLECHAR)) / sizeof(OLECHAR);

char* blockOf(BSTR s) {
    return reinterpret_cast<char*>(s) - kPrefix;
}

uint32_t byteCount(BSTR s) {
    uint32_t bytes;
    std::memcpy(&bytes, blockOf(s), sizeof bytes);
    return bytes;
}

constexpr char16_t kReplacement = 0xFFFD;
// Bytes 0x80-0xFF that are not part of valid UTF-8 are carried as the unpaired low surrogates
// U+DC80-U+DCFF, so that any byte string (a Linux file name need not be UTF-8) survives the trip
// to UTF-16 and back.
constexpr char16_t kEscapeFirst = 0xDC80;
constexpr char16_t kEscapeLast = 0xDCFF;

} // namespace

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    if (length > kMaxLength) return nullptr;
    const size_t bytes = size_t{length} * sizeof(OLECHAR);
    auto* block = static_cast<char*>(std::malloc(kPrefix + bytes + sizeof(OLECHAR)));
    if (!block) return nullptr;
    const auto count = static_cast<uint32_t>(bytes);
    std::memcpy(block, &count, sizeof count);
    if (text)
        std::memcpy(block + kPrefix, text, bytes);
    else
        std::memset(block + kPrefix, 0, bytes);
    std::memset(block + kPrefix + bytes, 0, sizeof(OLECHAR));
    return reinterpret_cast<BSTR>(block + kPrefix);
}

BSTR SysAllocString(const OLECHAR* text) {
    if (!text) return nullptr;
    size_t length = 0;
    while (text[length] != 0) {
        if (length == kMaxLength) return nullptr;
        ++length;
    }
    return SysAllocStringLen(text, static_cast<UINT>(length));
}

UINT SysStringLen(BSTR text) {
    return text ? byteCount(text) / sizeof(OLECHAR) : 0;
}

UINT SysStringByteLen(BSTR text) {
    return text ? byteCount(text) : 0;
}

void SysFreeString(BSTR text) {
    if (text) std::free(blockOf(text));
}

namespace tavrixrt {

std::u16string utf16FromUtf8(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        const std::optional<Utf8Char> c = decodeUtf8(utf8, i);
        if (!c) {
            // Not UTF-8: the byte travels as an escape so that it comes back unchanged.
            out += static_cast<char16_t>(kEscapeFirst - 0x80 + static_cast<unsigned char>(utf8[i]));
            ++i;
            continue;
        }
        if (c->code >= 0x10000) {
            const char32_t v = c->code - 0x10000;
            out += static_cast<char16_t>(0xD800 + (v >> 10));
            out += static_cast<char16_t>(0xDC00 + (v & 0x3FF));
        } else {
            out += static_cast<char16_t>(c->code);
        }
        i += c->length;
    }
    return out;
}

std::string utf8FromUtf16(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (size_t i = 0; i < utf16.size(); ++i) {
        const char16_t u = utf16[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            appendUtf8(out, 0x10000 + ((char32_t{u} - 0xD800) << 10) + (utf16[i + 1] - 0xDC00));
            ++i;
        } else if (u >= kEscapeFirst && u <= kEscapeLast) {
            out += static_cast<char>(u - kEscapeFirst + 0x80); // an escaped byte
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            appendUtf8(out, kReplacement);
        } else {
            appendUtf8(out, u);
        }
    }
    return out;
}

BSTR bstrFromUtf8(std::string_view utf8) {
    const std::u16string wide = utf16FromUtf8(utf8);
    if (wide.size() > kMaxLength) return nullptr;
    return SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
}

std::string utf8FromBstr(BSTR text) {
    return utf8FromUtf16(std::u16string_view(text, SysStringLen(text)));
}

} // namespace tavrixrt
