#include "engine/service/tavrix_com.hpp"

#include "engine/service/ansi_text.hpp"
#include "engine/service/job_driver.hpp"

namespace tavrix {

bool TavrixCom::putLong(int32_t dispid, int32_t value) {
    StampSettings& s = settings_;
    const bool flag = value != 0;
    switch (dispid) {
    case 6:
        s.startPage = value;
        return true;
    case 7:
        s.endPage = value;
        return true;
    case 8:
        s.startNumber = value;
        return true;
    case 9:
        s.endNumber = value;
        return true;
    case 10:
        s.mask = value;
        return true;
    case 11:
        s.nth = value;
        return true;
    case 12:
        s.seq = flag;
        return true;
    case 13:
        s.reverse = flag;
        return true;
    case 14:
        s.onePageNo = flag;
        return true;
    case 15:
        s.up2 = flag;
        return true;
    case 16:
        s.ab2 = flag;
        return true;
    case 17:
        s.rom = flag;
        return true;
    case 18:
        s.romUpper = flag;
        return true;
    case 21:
        s.nopg = flag;
        return true;
    case 27:
        s.color = value;
        return true;
    case 28:
        s.fontSize = value;
        return true;
    case 29:
        s.fontAngle = value;
        return true;
    case 30:
        s.noforce = flag;
        return true;
    case 31:
        s.posh = value;
        return true;
    case 32:
        s.posv = value;
        return true;
    case 33:
        s.flipv = flag;
        return true;
    case 34:
        s.fliph = flag;
        return true;
    case 37:
        s.opacity = value;
        return true;
    case 38:
        s.CMYKcolor = value;
        return true;
    default:
        return false;
    }
}

bool TavrixCom::putText(int32_t dispid, std::string_view utf8) {
    StampSettings& s = settings_;
    switch (dispid) {
    case 19:
        s.importit = utf8;
        return true;
    case 20:
        s.exportit = utf8;
        return true;
    // Stamped texts are written in WinAnsiEncoding, so they are kept as Windows-1252.
    case 22:
        s.prefix = utf8ToWindows1252(utf8);
        return true;
    case 23:
        s.sep = utf8ToWindows1252(utf8);
        return true;
    case 24:
        s.end = utf8ToWindows1252(utf8);
        return true;
    case 25:
        s.font = utf8;
        return true;
    case 26:
        s.fontfile = utf8;
        return true;
    case 35:
        s.align = utf8;
        return true;
    case 36:
        s.renameoutput = utf8;
        return true;
    default:
        return false;
    }
}

std::string TavrixCom::getTavrixFile(const std::string& input, const std::string& output,
                                     const std::string& params) {
    JobDriver driver(settings_);
    std::string result = driver.run(input, output, params);
    reasons_ = driver.failureReasons();
    return result;
}

std::string TavrixCom::failureDescription() const {
    std::string text;
    for (const std::string& reason : reasons_) {
        if (!text.empty()) text += '\n';
        text += reason;
    }
    return text;
}

} // namespace tavrix
