// Arbitrary bytes as a font file: checked, shaped with, measured, subset and embedded. A damaged
// font is refused with a reason, never read past its end.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/fonts/embedded_font.hpp"
#include "engine/fonts/font_face.hpp"
#include "engine/pdf/pdf_exception.hpp"
#include "engine/text/shaped_text.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        const auto face = tavrix::FontFace::fromBytes(
            std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.ttf", 0);
        tavrix::TextShaper shaper({face.get()});
        const tavrix::ShapedText text =
            shaper.shape(tavrix::decodeStampText("Page 12 \xD0\xB8\xD0\xB7 fi \xD7\xA2\xD7\x9E"));
        tavrix::EmbeddedFont font(*face);
        for (const tavrix::ShapedGlyph& g : text.glyphs)
            font.use(g.glyph, std::u32string_view(text.text).substr(g.first, g.count));
        font.subset();
        std::string file;
        font.writeObjects([&](std::string_view object) {
            file += object;
            return 1;
        });
    } catch (const tavrix::CPdfException&) {
    }
    return 0;
}
