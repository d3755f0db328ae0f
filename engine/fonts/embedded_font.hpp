// A font embedded for the stamps of one run: the glyphs of one face that the stamp texts use,
// subset to exactly those with HarfBuzz, and the objects that declare it: a Type0 font in
// Identity-H over a CID font (CIDFontType2 for TrueType outlines, CIDFontType0 for CFF), its
// descriptor, the Flate-compressed font program and a ToUnicode map, so that copying or
// searching the stamp gives its characters.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "engine/fonts/font_face.hpp"

namespace tavrix {

class EmbeddedFont {
  public:
    explicit EmbeddedFont(const FontFace& face) : face_(face) {}

    // Glyph `glyph` of the face is drawn, standing for `text` (empty for the further glyphs of
    // a cluster). The first text given for a glyph is the one copying gives.
    void use(uint32_t glyph, std::u32string_view text);
    bool empty() const { return used_.empty(); }

    // Makes the font program from the glyphs used so far; afterwards code() and width() answer
    // for them. Throws CPdfException with a reason when the face cannot be subset.
    void subset();

    // The two bytes a content stream shows for a used glyph, and its width in 1/1000 of the
    // font size as the font's /W array states it.
    uint16_t code(uint32_t glyph) const;
    int32_t width(uint32_t glyph) const;
    const FontFace& face() const { return face_; }

    // Appends the font's objects through `append` (which writes " 0 obj ... endobj\n" under a
    // new number and returns the number) and returns the number of the Type0 font.
    using AppendObject = std::function<int32_t(std::string_view objectText)>;
    int32_t writeObjects(const AppendObject& append) const;

    // The subset font program as embedded (a TrueType file, or a bare CFF font), uncompressed.
    const std::string& program() const { return program_; }

  private:
    struct Glyph {
        std::u32string text;
        uint16_t code = 0;
        int32_t width = 0;
    };
    std::string baseFontName() const;
    std::string toUnicodeMap() const;
    std::string widthArray() const;

    const FontFace& face_;
    std::map<uint32_t, Glyph> used_; // by glyph id in the face
    std::string program_;
};

// Data compressed with zlib's deflate, as a FlateDecode stream holds it.
std::string flateCompress(std::string_view data);

} // namespace tavrix
