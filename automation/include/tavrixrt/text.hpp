// Conversions between UTF-8 (the platform's native text) and the UTF-16 of wide strings. They never
// fail and lose nothing that a file name can hold: each byte that is not part of valid UTF-8
// travels as the unpaired surrogate U+DC80-U+DCFF and becomes the same byte again on the way
// back. Other unpaired surrogates become U+FFFD.
#pragma once

#include <string>
#include <string_view>

#include "tavrixrt/types.hpp"

namespace tavrixrt {

TAVRIXRT_EXPORT std::u16string utf16FromUtf8(std::string_view utf8);
TAVRIXRT_EXPORT std::string utf8FromUtf16(std::u16string_view utf16);

// A new BSTR holding `utf8`; nullptr only when memory runs out.
TAVRIXRT_EXPORT BSTR bstrFromUtf8(std::string_view utf8);
// The whole string, embedded NULs included; a null BSTR is the empty text.
TAVRIXRT_EXPORT std::string utf8FromBstr(BSTR text);

} // namespace tavrixrt
