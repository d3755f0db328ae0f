// Conversions between UTF-8 (the platform's texts and paths) and Windows-1252, the single-byte
// encoding that WinAnsiEncoding matches and in which stamped texts are written.
#pragma once

#include <string>
#include <string_view>

namespace tavrix {

// Characters that Windows-1252 cannot represent, and malformed UTF-8, become "?".
std::string utf8ToWindows1252(std::string_view utf8);
std::string windows1252ToUtf8(std::string_view bytes);

} // namespace tavrix
