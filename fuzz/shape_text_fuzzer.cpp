// Random Unicode texts through the path of stamps outside Windows-1252: font choice, bidi,
// shaping, subsetting, the font objects and the page's text operators. The first byte picks the
// font setting; the rest is the text of two pages (split at the first line break).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/pdf/pdf_exception.hpp"
#include "engine/writer/unicode_stamp.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const char* const kFonts[] = {
        "Arial",       "TimesNewRoman-BoldItalic", "CourierNew",
        "Nimbus Sans", "WenQuanYi Micro Hei",      "Noto Sans CJK SC"};
    if (size == 0) return 0;
    const char* font = kFonts[data[0] % (sizeof kFonts / sizeof kFonts[0])];
    const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
    const size_t cut = text.find('\n');
    std::vector<std::optional<std::string>> pages{text.substr(0, cut), std::nullopt};
    if (cut != std::string::npos) pages.push_back(text.substr(cut + 1));
    try {
        tavrix::UnicodeStamp stamp(font, 11, pages);
        tavrix::RunResources resources;
        resources.fontName = "F1";
        std::string file;
        int32_t next = 1;
        stamp.appendFonts(
            [&](std::string_view object) {
                file += std::to_string(next) + std::string(object);
                return next++;
            },
            resources);
        for (size_t slot = 0; slot < pages.size(); ++slot) {
            file += stamp.showText(slot);
            (void)stamp.width(slot);
        }
    } catch (const tavrix::CPdfException&) {
        // A character no installed font has, or a font file that cannot be used.
    }
    return 0;
}
