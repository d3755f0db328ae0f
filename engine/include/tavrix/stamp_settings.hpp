// Every option that shapes a stamp, as held by one engine instance and copied into each job.
#pragma once

#include <cstdint>
#include <string>

namespace tavrix {

// Texts that are stamped (prefix, sep, end) hold Windows-1252 bytes, each beside the text the
// caller gave (UTF-8); paths and the other texts hold UTF-8, the platform's native encoding for
// file names.
struct StampSettings {
    int32_t startPage = 1;
    int32_t endPage = 99999;
    int32_t startNumber = 1;
    int32_t endNumber = 99999;
    int32_t mask = 0;
    int32_t nth = 0;
    bool seq = false;
    bool reverse = false;
    bool onePageNo = false;
    bool up2 = false;
    bool ab2 = false;
    bool rom = false;
    bool romUpper = false;
    std::string importit;
    std::string exportit;
    bool nopg = false;
    std::string prefix = "Page ";
    std::string sep = " / ";
    std::string end;
    std::string font = "Arial";
    std::string fontfile;
    int32_t color = 0;
    int32_t fontSize = 11;
    int32_t fontAngle = 0;
    bool noforce = false;
    int32_t posh = 20;
    int32_t posv = 10;
    bool flipv = false;
    bool fliph = false;
    std::string align = "left";
    std::string renameoutput;
    int32_t opacity = 100;
    int32_t CMYKcolor = 0;

    // The stamped texts as the caller gave them. A run whose texts Windows-1252 cannot hold
    // stamps these with an embedded font instead of the single-byte forms above.
    std::string prefixUtf8 = "Page ";
    std::string sepUtf8 = " / ";
    std::string endUtf8;
};

} // namespace tavrix
