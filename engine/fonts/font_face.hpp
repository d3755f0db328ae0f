// One face of an installed font file, opened for shaping, measuring and subsetting. The file is
// checked before anything reads it: every table must lie inside the file, and the tables that a
// viewer needs to draw the glyphs must be there.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct hb_blob_t;
struct hb_face_t;
struct hb_font_t;

namespace tavrix {

enum class Outlines { TrueType, Cff };

// What a font descriptor states, in 1/1000 of the em.
struct FaceMetrics {
    std::array<int32_t, 4> box{}; // llx lly urx ury
    int32_t ascent = 0;
    int32_t descent = 0;
    int32_t capHeight = 0;
    int32_t italicAngle = 0; // degrees, counter-clockwise from vertical
    int32_t stemV = 0;
    bool fixedPitch = false;
    bool italic = false;
};

class FontFace {
  public:
    // Face `index` of the font file at `path` (collections hold several). Throws CPdfException
    // with a reason naming the file when it cannot be read or is damaged.
    static std::unique_ptr<FontFace> open(const std::string& path, unsigned index);
    // The same from bytes in memory; `name` stands for the file in reasons.
    static std::unique_ptr<FontFace> fromBytes(std::string_view bytes, const std::string& name,
                                               unsigned index);

    ~FontFace();
    FontFace(const FontFace&) = delete;
    FontFace& operator=(const FontFace&) = delete;

    const std::string& name() const { return name_; }
    Outlines outlines() const { return outlines_; }
    unsigned unitsPerEm() const { return upem_; }
    unsigned glyphCount() const { return glyphCount_; }

    // The glyph the font maps `c` to, 0 when it has none.
    uint32_t glyphOf(char32_t c) const;
    bool covers(char32_t c) const { return glyphOf(c) != 0; }
    // Advance width of a glyph in font units.
    int32_t advance(uint32_t glyph) const;
    // The font's PostScript name, with only the characters a PDF name takes plainly.
    std::string postScriptName() const;
    FaceMetrics metrics() const;

    hb_face_t* hbFace() const { return face_.get(); }
    hb_font_t* hbFont() const { return font_.get(); }

  private:
    struct Release {
        void operator()(hb_blob_t* b) const;
        void operator()(hb_face_t* f) const;
        void operator()(hb_font_t* f) const;
    };

    FontFace(hb_blob_t* blob, const std::string& name, unsigned index);

    std::string name_;
    std::unique_ptr<hb_blob_t, Release> blob_;
    std::unique_ptr<hb_face_t, Release> face_;
    std::unique_ptr<hb_font_t, Release> font_;
    Outlines outlines_ = Outlines::TrueType;
    unsigned upem_ = 1000;
    unsigned glyphCount_ = 0;
};

// A font table's bytes are big-endian; these read them where the table is long enough (0 past
// its end).
uint32_t readU16(std::string_view table, size_t at);
uint32_t readU32(std::string_view table, size_t at);
int32_t readI16(std::string_view table, size_t at);

} // namespace tavrix
