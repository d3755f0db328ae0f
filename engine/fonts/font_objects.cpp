// Font descriptor and font objects of the stamp font, as object text for the output writer.

#include "engine/fonts/font_objects.hpp"

#include <cstddef>

#include "engine/fonts/font_metrics.hpp"
#include "engine/pdf/pdf_exception.hpp"
#include "engine/pdf/pdf_scanner.hpp"

namespace tavrix {

namespace {

// The font name goes into the output unchanged as far as a PDF name allows; a byte that would
// end the name or change the dictionary (a blank in "Arial Bold", a "/", a line break) is
// written as #hh, which a reader decodes back to the same byte.
std::string pdfName(const std::string& text) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string name;
    name.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x21 || byte > 0x7E || byte == '#' || isPdfDelimiter(byte)) {
            name.push_back('#');
            name.push_back(kHex[byte >> 4]);
            name.push_back(kHex[byte & 0x0F]);
        } else {
            name.push_back(c);
        }
    }
    return name;
}

} // namespace

std::string fontDescriptorText(const std::string& fontName) {
    const FontMetrics* font = findFont(fontName);
    if (font == nullptr)
        throw CPdfException("Unknown font name", "unknown font name '" + fontName +
                                                     "' (names are case-sensitive, e.g. Arial, "
                                                     "TimesNewRoman, Helvetica-Bold)");
    // Flags 34 (serif, non-symbolic) and ItalicAngle 0 whatever the style: the font is not
    // embedded, and the viewer's substitute only needs the widths.
    std::string text = " 0 obj\n<<\n/Type /FontDescriptor\n/FontName /";
    text += pdfName(fontName);
    text += "\n/FontBBox [";
    for (std::size_t i = 0; i < font->box.size(); ++i) {
        if (i > 0) text += ' ';
        text += std::to_string(font->box[i]);
    }
    text += "]\n/Flags 34\n/ItalicAngle 0\n>>\nendobj\n";
    return text;
}

std::string fontObjectText(const std::string& fontName, const std::string& resourceName,
                           int64_t descriptorNumber) {
    std::string text = " 0 obj\n<<\n/Type /Font\n/Name /";
    text += resourceName;
    text += " \n/Subtype /TrueType\n/Encoding /WinAnsiEncoding\n/BaseFont /";
    text += pdfName(fontName);
    text += "\n/FontDescriptor ";
    text += std::to_string(descriptorNumber);
    text += " 0 R\n/FirstChar 0\n/LastChar 255\n";
    if (const FontMetrics* font = findFont(fontName)) {
        text += "/Widths [\n";
        for (std::size_t code = 0; code < font->widths.size(); ++code) {
            text += std::to_string(font->widths[code]);
            text += code % 16 == 15 ? " \n" : " ";
        }
        text += " ]\n";
    }
    text += ">>\nendobj\n";
    return text;
}

} // namespace tavrix
