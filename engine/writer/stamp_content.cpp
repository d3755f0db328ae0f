#include "engine/writer/stamp_content.hpp"

#include <cmath>
#include <cstdio>
#include <vector>

#include "engine/fonts/font_metrics.hpp"
#include "engine/pdf/raw_object.hpp"

namespace tavrix {
namespace {

// printf into a std::string of whatever length the values need.
template <typename... Args> std::string format(const char* fmt, Args... args) {
    const int n = std::snprintf(nullptr, 0, fmt, args...);
    std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
    std::snprintf(out.data(), out.size() + 1, fmt, args...);
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
    return format(" 0 obj<</Type/ExtGState/ca %.2f>>\n endobj\n", opacity * 0.01);
}

std::string buildSaveStateStream() { return streamObject("q\n"); }

std::string colourOperator(const StampSettings& s) {
    if (s.CMYKcolor != 0) {
        const auto c = static_cast<uint32_t>(s.CMYKcolor);
        return format("%f %f %f %f k", (c >> 24 & 0xFF) / 255.0, (c >> 16 & 0xFF) / 255.0,
                      (c >> 8 & 0xFF) / 255.0, (c & 0xFF) / 255.0);
    }
    const auto rgb = static_cast<uint32_t>(s.color);
    return format("%f %f %f rg", (rgb >> 16 & 0xFF) / 255.0, (rgb >> 8 & 0xFF) / 255.0,
                  (rgb & 0xFF) / 255.0);
}

int32_t pageRotation(std::string_view text) {
    size_t i = findBytes(text, 0, text.size(), "/Rotate");
    if (i == 0) return 0;
    while (i < text.size() && !(text[i] >= '0' && text[i] <= '9')) ++i;
    if (i >= text.size()) return 0;
    const bool negative = text[i - 1] == '-';
    int64_t value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        if (value < 100000) value = value * 10 + (text[i] - '0');
        ++i;
    }
    return static_cast<int32_t>(negative ? -value : value);
}

Placement placeStamp(const StampSettings& s, const std::array<float, 4>& box, int32_t r,
                     std::string_view text) {
    const float x0 = box[0], y0 = box[1], x1 = box[2], y1 = box[3];
    const float h = static_cast<float>(s.posh), v = static_cast<float>(s.posv);
    const bool turned = s.noforce && r != 0;
    const bool r90 = r == 90 || r == -270, r180 = r == 180 || r == -180,
               r270 = r == 270 || r == -90;
    float X = x0, Y = y0, A = static_cast<float>(s.fontAngle);

    if (!s.flipv && !s.fliph) {
        if (!turned) {
            X = x0 + h;
            Y = y0 + v;
        } else {
            A += static_cast<float>(r);
            if (r90) X = x1 - v, Y = y0 + h;
            else if (r180) X = x1 - h, Y = y1 - v;
            else if (r270) X = x0 + v, Y = y1 - h;
        }
    }
    if (s.flipv) {
        if (!turned) {
            X = X + h;
            Y = y1 - v;
        } else {
            A += static_cast<float>(r);
            if (r90) X = X + v, Y = Y + h;
            else if (r180) X = x1 - h, Y = Y + v;
            else if (r270) X = x1 - h, Y = y1 - v;
        }
    }
    if (s.fliph) {
        if (!turned) {
            X = x1 - h;
            if (!s.flipv) Y = y0 + v;
        } else {
            A += static_cast<float>(r);
            if (r90) X = x1 - h, Y = y1 - v;
            else if (r180) X = X + h, Y = y1 - v;
            else if (r270) X = X + v, Y = Y + h;
        }
    }
    if (s.posh == -1) {
        if (turned) Y = (y1 - y0) * 0.5f;
        else X = (x1 - x0) * 0.5f;
    }
    if (s.posv == -1) {
        if (turned) X = (x1 - x0) * 0.5f;
        else Y = (y1 - y0) * 0.5f;
    }
    if (s.align != "left") {
        const int32_t width = textWidth(s.font, text);
        double w = static_cast<double>(width / 72) * (s.fontSize * 0.07142857142857142);
        if (s.align == "center") w /= 2;
        const auto shift = static_cast<float>(static_cast<int64_t>(w));
        if (turned) Y -= shift;
        else X -= shift;
    }
    return {X, Y, A};
}

std::string buildStampStream(const StampSettings& s, const Placement& at,
                             const std::string& gsName, const std::string& fontName,
                             std::string_view text) {
    const double theta = at.angle * 0.017444444444444446; // pi taken as 3.14
    const float c = static_cast<float>(std::cos(theta));
    const float sn = static_cast<float>(std::sin(theta));
    std::string content = format("\nQ\nBT\n/%s gs\n%f %f %f %f %f %f Tm\n", gsName.c_str(),
                                 static_cast<double>(c), static_cast<double>(sn),
                                 static_cast<double>(-sn), static_cast<double>(c),
                                 static_cast<double>(at.x), static_cast<double>(at.y));
    content += colourOperator(s);
    content += format("\n/%s %d Tf\n(", fontName.c_str(), s.fontSize);
    content += text;
    content += ") Tj\nET\n";
    return streamObject(content);
}

} // namespace tavrix
