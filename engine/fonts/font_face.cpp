#include "engine/fonts/font_face.hpp"

#include <cmath>
#include <vector>

#include "engine/fonts/font_libraries.hpp"
#include "engine/pdf/pdf_exception.hpp"

namespace tavrix {
namespace {

constexpr uint32_t tag(const char (&t)[5]) {
    return static_cast<uint32_t>(static_cast<unsigned char>(t[0])) << 24 |
           static_cast<uint32_t>(static_cast<unsigned char>(t[1])) << 16 |
           static_cast<uint32_t>(static_cast<unsigned char>(t[2])) << 8 |
           static_cast<uint32_t>(static_cast<unsigned char>(t[3]));
}

std::string tagText(uint32_t t) {
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>(t >> shift & 0xFF);
        text += c >= 0x20 && c < 0x7F ? c : '?';
    }
    return text;
}

[[noreturn]] void damaged(const std::string& name, const std::string& what) {
    throw CPdfException("Font file damaged", "font file '" + name + "' is damaged (" + what +
                                                 "); reinstall the package that provides it");
}

std::string_view tableOf(hb_face_t* face, uint32_t t, hb_blob_t*& holder) {
    const FontLibraries& lib = fontLibraries();
    holder = lib.hb_face_reference_table(face, t);
    unsigned length = 0;
    const char* data = lib.hb_blob_get_data(holder, &length);
    return data ? std::string_view(data, length) : std::string_view();
}

// The tables of face `index` of an sfnt file or collection. HarfBuzz reads whatever part of a
// table the file holds, so a cut-off file would be shaped and subset with glyphs missing; the
// directory is checked here instead, with every offset and length taken as hostile.
void checkDirectory(std::string_view file, const std::string& name, unsigned index,
                    Outlines& outlines) {
    size_t start = 0;
    if (readU32(file, 0) == tag("ttcf")) {
        const uint32_t faces = readU32(file, 8);
        if (index >= faces || 12 + 4 * uint64_t{index} + 4 > file.size())
            damaged(name, "it has no face " + std::to_string(index));
        start = readU32(file, 12 + 4 * size_t{index});
    } else if (index != 0) {
        damaged(name, "it has no face " + std::to_string(index));
    }
    const uint32_t version = readU32(file, start);
    if (version != 0x00010000 && version != tag("OTTO") && version != tag("true"))
        damaged(name, "it is not a TrueType or OpenType font");
    const uint32_t tables = readU16(file, start + 4);
    if (uint64_t{start} + 12 + 16 * uint64_t{tables} > file.size())
        damaged(name, "its table directory runs past the end of the file");
    std::vector<uint32_t> present;
    for (uint32_t i = 0; i < tables; ++i) {
        const size_t record = start + 12 + 16 * size_t{i};
        const uint32_t t = readU32(file, record);
        const uint64_t offset = readU32(file, record + 8), length = readU32(file, record + 12);
        if (offset + length > file.size())
            damaged(name, "its '" + tagText(t) + "' table runs past the end of the file");
        present.push_back(t);
    }
    const auto has = [&](const char(&t)[5]) {
        for (uint32_t p : present)
            if (p == tag(t)) return true;
        return false;
    };
    for (const char* required : {"head", "hhea", "hmtx", "maxp", "cmap"}) {
        const char t[5] = {required[0], required[1], required[2], required[3], 0};
        if (!has(t)) damaged(name, std::string("it has no '") + required + "' table");
    }
    if (has("glyf") && has("loca"))
        outlines = Outlines::TrueType;
    else if (has("CFF "))
        outlines = Outlines::Cff;
    else
        damaged(name, "it holds no outlines a PDF file can embed");
}

} // namespace

uint32_t readU16(std::string_view t, size_t at) {
    if (at > t.size() || t.size() - at < 2) return 0;
    return static_cast<uint32_t>(static_cast<unsigned char>(t[at])) << 8 |
           static_cast<unsigned char>(t[at + 1]);
}

uint32_t readU32(std::string_view t, size_t at) {
    if (at > t.size() || t.size() - at < 4) return 0;
    return readU16(t, at) << 16 | readU16(t, at + 2);
}

int32_t readI16(std::string_view t, size_t at) {
    return static_cast<int16_t>(static_cast<uint16_t>(readU16(t, at)));
}

void FontFace::Release::operator()(hb_blob_t* b) const {
    fontLibraries().hb_blob_destroy(b);
}
void FontFace::Release::operator()(hb_face_t* f) const {
    fontLibraries().hb_face_destroy(f);
}
void FontFace::Release::operator()(hb_font_t* f) const {
    fontLibraries().hb_font_destroy(f);
}

std::unique_ptr<FontFace> FontFace::open(const std::string& path, unsigned index) {
    hb_blob_t* blob = fontLibraries().hb_blob_create_from_file_or_fail(path.c_str());
    if (!blob) throw CPdfException("Can't open font file", "cannot read font file '" + path + "'");
    return std::unique_ptr<FontFace>(new FontFace(blob, path, index));
}

std::unique_ptr<FontFace> FontFace::fromBytes(std::string_view bytes, const std::string& name,
                                              unsigned index) {
    const FontLibraries& lib = fontLibraries();
    hb_blob_t* blob = lib.hb_blob_create_or_fail(bytes.data(), static_cast<unsigned>(bytes.size()),
                                                 HB_MEMORY_MODE_DUPLICATE, nullptr, nullptr);
    if (!blob || bytes.size() > UINT32_MAX) {
        lib.hb_blob_destroy(blob);
        throw CPdfException("Can't open font file", "cannot read font file '" + name + "'");
    }
    return std::unique_ptr<FontFace>(new FontFace(blob, name, index));
}

FontFace::FontFace(hb_blob_t* blob, const std::string& name, unsigned index)
    : name_(name), blob_(blob) {
    const FontLibraries& lib = fontLibraries();
    unsigned length = 0;
    const char* data = lib.hb_blob_get_data(blob, &length);
    checkDirectory(std::string_view(data ? data : "", data ? length : 0), name_, index, outlines_);
    face_.reset(lib.hb_face_create(blob, index));
    font_.reset(lib.hb_font_create(face_.get()));
    upem_ = lib.hb_face_get_upem(face_.get());
    glyphCount_ = lib.hb_face_get_glyph_count(face_.get());
    // HarfBuzz answers 1000 for a missing or absurd head table; the glyph count comes from maxp.
    if (glyphCount_ == 0) damaged(name_, "it has no glyphs");
    if (upem_ < 16 || upem_ > 16384) damaged(name_, "its units per em are out of range");
}

FontFace::~FontFace() = default;

uint32_t FontFace::glyphOf(char32_t c) const {
    hb_codepoint_t glyph = 0;
    if (!fontLibraries().hb_font_get_nominal_glyph(font_.get(), c, &glyph)) return 0;
    return glyph < glyphCount_ ? glyph : 0;
}

int32_t FontFace::advance(uint32_t glyph) const {
    return fontLibraries().hb_font_get_glyph_h_advance(font_.get(), glyph);
}

std::string FontFace::postScriptName() const {
    unsigned size = 64;
    char buffer[64] = {};
    fontLibraries().hb_ot_name_get_utf8(face_.get(), HB_OT_NAME_ID_POSTSCRIPT_NAME,
                                        HB_LANGUAGE_INVALID, &size, buffer);
    std::string name;
    for (const char* c = buffer; *c; ++c) {
        const bool plain = (*c >= 'A' && *c <= 'Z') || (*c >= 'a' && *c <= 'z') ||
                           (*c >= '0' && *c <= '9') || *c == '-' || *c == '_' || *c == '.';
        if (plain) name += *c;
    }
    return name.empty() ? "Font" : name;
}

FaceMetrics FontFace::metrics() const {
    const double scale = 1000.0 / upem_;
    const auto units = [&](double v) {
        // Values come from the file: kept within what a descriptor can sensibly state.
        const double scaled = std::round(v * scale);
        return static_cast<int32_t>(std::fmax(-100000.0, std::fmin(100000.0, scaled)));
    };
    const FontLibraries& lib = fontLibraries();
    FaceMetrics m;
    hb_blob_t* holder = nullptr;
    const std::string_view head = tableOf(face_.get(), tag("head"), holder);
    for (size_t i = 0; i < 4; ++i)
        m.box[i] = units(readI16(head, 36 + 2 * i));
    lib.hb_blob_destroy(holder);
    const std::string_view post = tableOf(face_.get(), tag("post"), holder);
    m.fixedPitch = readU32(post, 12) != 0;
    lib.hb_blob_destroy(holder);

    hb_position_t value = 0;
    lib.hb_ot_metrics_get_position_with_fallback(font_.get(), HB_OT_METRICS_TAG_HORIZONTAL_ASCENDER,
                                                 &value);
    m.ascent = units(value);
    lib.hb_ot_metrics_get_position_with_fallback(font_.get(),
                                                 HB_OT_METRICS_TAG_HORIZONTAL_DESCENDER, &value);
    m.descent = units(value);
    lib.hb_ot_metrics_get_position_with_fallback(font_.get(), HB_OT_METRICS_TAG_CAP_HEIGHT, &value);
    m.capHeight = units(value);
    const float slant = lib.hb_style_get_value(font_.get(), HB_STYLE_TAG_SLANT_ANGLE);
    m.italicAngle = std::isfinite(slant) ? static_cast<int32_t>(std::round(slant)) : 0;
    m.italic =
        m.italicAngle != 0 || lib.hb_style_get_value(font_.get(), HB_STYLE_TAG_ITALIC) > 0.5f;
    // The stem width is only a hint to viewers that draw a substitute; it follows the weight.
    const float weight = lib.hb_style_get_value(font_.get(), HB_STYLE_TAG_WEIGHT);
    m.stemV = std::isfinite(weight) && weight >= 600 ? 140 : 80;
    return m;
}

} // namespace tavrix
