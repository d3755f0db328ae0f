#include "engine/writer/stamp_content.hpp"

#include <bit>
#include <charconv>
#include <cmath>
#include <vector>

#include "engine/fonts/font_metrics.hpp"

namespace tavrix {
namespace {

// "%f" (six decimals) without the cost of printf; the digits are the same for every double.
void appendFixed(std::string& out, double v, int precision = 6) {
    char buffer[64];
    const auto r =
        std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, precision);
    out.append(buffer, r.ptr);
}

std::string fixedList(std::initializer_list<double> values) {
    std::string out;
    for (double v : values) {
        if (!out.empty()) out += ' ';
        appendFixed(out, v);
    }
    return out;
}

std::string streamObject(std::string_view content) {
    std::string text = " 0 obj\n<<\n/Length " + std::to_string(content.size()) + " \n>>\nstream\n";
    text += content;
    text += "\nendstream\nendobj\n";
    return text;
}

} // namespace

std::string buildOpacityState(int32_t opacity) {
    std::string text = " 0 obj<</Type/ExtGState/ca ";
    appendFixed(text, opacity * 0.01, 2);
    return text + ">>\n endobj\n";
}

std::string buildSaveStateStream() {
    return streamObject("q\n");
}

std::string colourOperator(const StampSettings& s) {
    if (s.CMYKcolor != 0) {
        const auto c = static_cast<uint32_t>(s.CMYKcolor);
        return fixedList({(c >> 24 & 0xFF) / 255.0, (c >> 16 & 0xFF) / 255.0,
                          (c >> 8 & 0xFF) / 255.0, (c & 0xFF) / 255.0}) +
               " k";
    }
    const auto rgb = static_cast<uint32_t>(s.color);
    return fixedList(
               {(rgb >> 16 & 0xFF) / 255.0, (rgb >> 8 & 0xFF) / 255.0, (rgb & 0xFF) / 255.0}) +
           " rg";
}

Placement placeStamp(const StampSettings& s, const std::array<float, 4>& box, int32_t r,
                     std::string_view text) {
    return placeStamp(s, box, r, s.align != "left" ? textWidth(s.font, text) : 0);
}

Placement placeStamp(const StampSettings& s, const std::array<float, 4>& box, int32_t r,
                     int32_t textW) {
    const float x0 = box[0], y0 = box[1], x1 = box[2], y1 = box[3];
    // Only a rotation by a multiple of 90 turns the page; 360 is upright again, and a value
    // that is no multiple of 90 (not allowed by the format) is ignored as viewers ignore it.
    const int32_t quarter = s.noforce && r % 90 == 0 ? ((r % 360 + 360) % 360) / 90 : 0;
    // The page as displayed: its width and height, and the reference point measured in it.
    // posh runs from the displayed left edge (right with fliph), posv from the displayed bottom
    // (top with flipv); -1 centres.
    const float width = quarter % 2 == 0 ? x1 - x0 : y1 - y0;
    const float height = quarter % 2 == 0 ? y1 - y0 : x1 - x0;
    const float h = static_cast<float>(s.posh), v = static_cast<float>(s.posv);
    float dx = s.posh == -1 ? width * 0.5f : s.fliph ? width - h : h;
    const float dy = s.posv == -1 ? height * 0.5f : s.flipv ? height - v : v;
    // "center" centres the text on the reference point, any other value but "left" ends it
    // there: the start moves back along the displayed baseline by the (integer) width.
    if (s.align != "left") {
        double w = static_cast<double>(textW / 72) * (s.fontSize * 0.07142857142857142);
        if (s.align == "center") w /= 2;
        dx -= static_cast<float>(static_cast<int64_t>(w));
    }
    Placement at;
    at.angle = static_cast<float>(s.fontAngle) + (quarter != 0 ? static_cast<float>(r) : 0.0f);
    switch (quarter) {
    case 1: // shown turned a quarter clockwise: the displayed left edge is the bottom edge
        at.x = x1 - dy;
        at.y = y0 + dx;
        break;
    case 2:
        at.x = x1 - dx;
        at.y = y1 - dy;
        break;
    case 3:
        at.x = x0 + dy;
        at.y = y1 - dx;
        break;
    default:
        at.x = x0 + dx;
        at.y = y0 + dy;
        break;
    }
    return at;
}

std::string buildStampStream(const StampSettings& s, const Placement& at, const std::string& gsName,
                             const std::string& fontName, std::string_view text) {
    std::string show = "/" + fontName + " " + std::to_string(s.fontSize) + " Tf\n(";
    show += text;
    show += ") Tj\n";
    return buildStampStream(s, at, gsName, show);
}

std::string buildStampStream(const StampSettings& s, const Placement& at, const std::string& gsName,
                             std::string_view showText) {
    // The pages of a run mostly share their placement, and all share the colour: the
    // formatted numbers of the page before serve again when they are the same (formatting them
    // was a tenth of stamping a page of small objects). Kept per thread, as runs of a list go
    // on several.
    struct Formatted {
        bool valid = false;
        Placement at;
        int32_t color = 0;
        int32_t cmyk = 0;
        std::string text; // the matrix and the colour, as written
    };
    thread_local Formatted last;
    // Bit for bit: -0 and 0 are equal numbers but are not written alike.
    const auto same = [](float a, float b) {
        return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
    };
    if (!last.valid || !same(last.at.x, at.x) || !same(last.at.y, at.y) ||
        !same(last.at.angle, at.angle) || last.color != s.color || last.cmyk != s.CMYKcolor) {
        const double theta = at.angle * 0.017444444444444446; // pi taken as 3.14
        const float c = static_cast<float>(std::cos(theta));
        const float sn = static_cast<float>(std::sin(theta));
        last.text = fixedList({c, sn, -sn, c, at.x, at.y});
        last.text += " Tm\n";
        last.text += colourOperator(s);
        last.text += '\n';
        last.at = at;
        last.color = s.color;
        last.cmyk = s.CMYKcolor;
        last.valid = true;
    }
    std::string content = "\nQ\nBT\n/" + gsName + " gs\n";
    content += last.text;
    content += showText;
    content += "ET\n";
    return streamObject(content);
}

} // namespace tavrix
