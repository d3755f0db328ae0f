// Conversions between UTF-8 (the platform's texts and paths) and Windows-1252, the single-byte
// encoding that WinAnsiEncoding matches and in which stamped texts are written.
#pragma once

#include <string>
#include <string_view>

namespace tavrix {

// Characters that Windows-1252 cannot represent, and malformed UTF-8, become "?".
std::string utf8ToWindows1252(std::string_view utf8);
std::string windows1252ToUtf8(std::string_view bytes);

// True when Windows-1252 holds every character of `utf8`. Malformed bytes are no characters:
// they become "?" whichever way the text is stamped, so they do not count against it.
bool fitsWindows1252(std::string_view utf8);

// The text as given (`utf8`) for a stamped field that holds `windows1252`: `utf8` while it
// still converts to that field, else the field read as UTF-8 (the field was set on its own).
std::string originalText(std::string_view windows1252, std::string_view utf8);

} // namespace tavrix
