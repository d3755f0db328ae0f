// A stamp text shaped for drawing with real fonts: split into runs of one direction, script and
// face, each run shaped by HarfBuzz (ligatures, marks, Arabic joining, Indic clusters), and the
// runs put in the order a viewer shows them (the Unicode bidirectional algorithm, by fribidi).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/fonts/font_face.hpp"

struct hb_buffer_t;

namespace tavrix {

struct ShapedGlyph {
    uint32_t glyph = 0;                             // in its face
    uint16_t face = 0;                              // index into the shaper's faces
    int32_t xAdvance = 0, xOffset = 0, yOffset = 0; // font units of that face
    // The characters of the text this glyph stands for, [first, first + count); the further
    // glyphs of a cluster drawn with several have count 0.
    uint32_t first = 0;
    uint32_t count = 0;
};

struct ShapedText {
    std::u32string text;             // the characters, in logical order
    std::vector<ShapedGlyph> glyphs; // in drawing order, left to right
    bool rightToLeft = false;        // some run is written right to left
};

// The characters of a stamp text: malformed bytes become U+FFFD, and controls (a tab, a line
// break) a blank, since a stamp is one line.
std::u32string decodeStampText(std::string_view utf8);

class TextShaper {
  public:
    // `faces` in order of preference; each character is drawn with the face of the run it
    // belongs to when that face has it, else with the first face that has it.
    explicit TextShaper(std::vector<const FontFace*> faces);
    ~TextShaper();
    TextShaper(const TextShaper&) = delete;
    TextShaper& operator=(const TextShaper&) = delete;

    ShapedText shape(std::u32string text);

  private:
    struct Run {
        uint32_t start = 0, length = 0;
        uint16_t face = 0;
        uint8_t level = 0; // bidi embedding level: odd is right to left
        uint32_t script = 0;
    };
    std::vector<Run> itemize(const std::u32string& text) const;
    void shapeRun(const std::u32string& text, const Run& run, std::vector<ShapedGlyph>& out);

    std::vector<const FontFace*> faces_;
    struct BufferRelease {
        void operator()(hb_buffer_t* b) const;
    };
    std::unique_ptr<hb_buffer_t, BufferRelease> buffer_;
};

} // namespace tavrix
