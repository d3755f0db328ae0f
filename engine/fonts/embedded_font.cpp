#include "engine/fonts/embedded_font.hpp"

#include <zlib.h>

#include <cmath>
#include <memory>
#include <new>

#include "engine/fonts/font_libraries.hpp"
#include "engine/pdf/pdf_exception.hpp"

namespace tavrix {
namespace {

struct HbRelease {
    void operator()(hb_subset_input_t* p) const { fontLibraries().hb_subset_input_destroy(p); }
    void operator()(hb_subset_plan_t* p) const { fontLibraries().hb_subset_plan_destroy(p); }
    void operator()(hb_face_t* p) const { fontLibraries().hb_face_destroy(p); }
    void operator()(hb_blob_t* p) const { fontLibraries().hb_blob_destroy(p); }
};
template <typename T> using HbPtr = std::unique_ptr<T, HbRelease>;

[[noreturn]] void cannotSubset(const FontFace& face) {
    throw CPdfException("Font file damaged", "cannot embed font file '" + face.name() +
                                                 "': its glyphs could not be subset (the file "
                                                 "may be damaged); choose another font");
}

std::string hex4(uint32_t v) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out(4, '0');
    for (int i = 3; i >= 0; --i, v >>= 4)
        out[static_cast<size_t>(i)] = kHex[v & 0xF];
    return out;
}

std::string utf16Hex(std::u32string_view text) {
    std::string out;
    for (const char32_t c : text) {
        if (c >= 0x10000) {
            const uint32_t v = static_cast<uint32_t>(c) - 0x10000;
            out += hex4(0xD800 + (v >> 10));
            out += hex4(0xDC00 + (v & 0x3FF));
        } else {
            out += hex4(static_cast<uint32_t>(c));
        }
    }
    return out;
}

std::string streamObject(const std::string& entries, std::string_view data) {
    std::string text = " 0 obj\n<<\n/Length " + std::to_string(data.size()) + "\n" + entries +
                       "/Filter /FlateDecode\n>>\nstream\n";
    text += data;
    text += "\nendstream\nendobj\n";
    return text;
}

// The CIDs of the subset's glyphs when its CFF font is CID-keyed (its charset maps each glyph
// to a CID, and a CIDFontType0 selects glyphs by CID); empty when glyphs are selected by index.
std::map<uint32_t, uint32_t> cffCids(std::string_view subsetFile, uint32_t glyphs) {
    std::map<uint32_t, uint32_t> cids;
    const FontLibraries& lib = fontLibraries();
    FT_Library library = nullptr;
    if (lib.FT_Init_FreeType(&library) != 0) throw std::bad_alloc();
    FT_Face face = nullptr;
    if (lib.FT_New_Memory_Face(library, reinterpret_cast<const FT_Byte*>(subsetFile.data()),
                               static_cast<FT_Long>(subsetFile.size()), 0, &face) == 0) {
        FT_Bool cidKeyed = 0;
        if (lib.FT_Get_CID_Is_Internally_CID_Keyed(face, &cidKeyed) == 0 && cidKeyed) {
            for (uint32_t g = 0; g < glyphs; ++g) {
                FT_UInt cid = 0;
                if (lib.FT_Get_CID_From_Glyph_Index(face, g, &cid) == 0) cids[g] = cid;
            }
        }
        lib.FT_Done_Face(face);
    }
    lib.FT_Done_FreeType(library);
    return cids;
}

} // namespace

std::string flateCompress(std::string_view data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                  reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()),
                  Z_DEFAULT_COMPRESSION) != Z_OK)
        throw std::bad_alloc();
    out.resize(size);
    return out;
}

void EmbeddedFont::use(uint32_t glyph, std::u32string_view text) {
    Glyph& g = used_[glyph];
    if (g.text.empty()) g.text = text;
}

void EmbeddedFont::subset() {
    const FontLibraries& lib = fontLibraries();
    HbPtr<hb_subset_input_t> input(lib.hb_subset_input_create_or_fail());
    if (!input) throw std::bad_alloc();
    hb_set_t* glyphs = lib.hb_subset_input_glyph_set(input.get());
    for (const auto& [glyph, info] : used_)
        lib.hb_set_add(glyphs, glyph);
    // The text is shaped already, so the layout tables are not needed, and neither are the
    // hinting instructions: viewers draw the outlines well without them, and a short label's
    // font stays a few kilobytes.
    hb_set_t* drop = lib.hb_subset_input_set(input.get(), HB_SUBSET_SETS_DROP_TABLE_TAG);
    for (const char* t : {"GSUB", "GPOS", "GDEF", "BASE", "JSTF", "MATH", "kern", "morx", "mort",
                          "kerx", "DSIG", "vhea", "vmtx", "VORG"})
        lib.hb_set_add(drop, HB_TAG(t[0], t[1], t[2], t[3]));
    lib.hb_subset_input_set_flags(input.get(), HB_SUBSET_FLAGS_NO_HINTING);

    HbPtr<hb_subset_plan_t> plan(lib.hb_subset_plan_create_or_fail(face_.hbFace(), input.get()));
    if (!plan) cannotSubset(face_);
    const hb_map_t* oldToNew = lib.hb_subset_plan_old_to_new_glyph_mapping(plan.get());
    HbPtr<hb_face_t> result(lib.hb_subset_plan_execute_or_fail(plan.get()));
    if (!result) cannotSubset(face_);
    HbPtr<hb_blob_t> file(lib.hb_face_reference_blob(result.get()));
    unsigned length = 0;
    const char* data = lib.hb_blob_get_data(file.get(), &length);
    if (!data || length == 0) cannotSubset(face_);
    const uint32_t subsetGlyphs = lib.hb_face_get_glyph_count(result.get());

    std::map<uint32_t, uint32_t> cids;
    if (face_.outlines() == Outlines::Cff) {
        HbPtr<hb_blob_t> cff(lib.hb_face_reference_table(result.get(), HB_TAG('C', 'F', 'F', ' ')));
        unsigned cffLength = 0;
        const char* cffData = lib.hb_blob_get_data(cff.get(), &cffLength);
        if (!cffData || cffLength == 0) cannotSubset(face_);
        program_.assign(cffData, cffLength);
        cids = cffCids(std::string_view(data, length), subsetGlyphs);
    } else {
        program_.assign(data, length);
    }

    const double scale = 1000.0 / face_.unitsPerEm();
    for (auto& [glyph, info] : used_) {
        const hb_codepoint_t mapped = lib.hb_map_get(oldToNew, glyph);
        if (mapped == HB_MAP_VALUE_INVALID || mapped > 0xFFFF) cannotSubset(face_);
        uint32_t code = mapped;
        if (!cids.empty()) {
            const auto cid = cids.find(mapped);
            if (cid == cids.end() || cid->second > 0xFFFF) cannotSubset(face_);
            code = cid->second;
        }
        info.code = static_cast<uint16_t>(code);
        info.width = static_cast<int32_t>(std::lround(face_.advance(glyph) * scale));
    }
}

uint16_t EmbeddedFont::code(uint32_t glyph) const {
    const auto it = used_.find(glyph);
    return it == used_.end() ? 0 : it->second.code;
}

int32_t EmbeddedFont::width(uint32_t glyph) const {
    const auto it = used_.find(glyph);
    return it == used_.end() ? 0 : it->second.width;
}

// A subset font is named with six capital letters and "+" before its PostScript name; the
// letters follow from the glyphs kept, so the same stamp gives the same file.
std::string EmbeddedFont::baseFontName() const {
    uint64_t hash = 14695981039346656037u;
    const auto mix = [&](uint64_t v) {
        hash ^= v;
        hash *= 1099511628211u;
    };
    for (const char c : face_.name())
        mix(static_cast<unsigned char>(c));
    for (const auto& [glyph, info] : used_)
        mix(glyph);
    std::string tag;
    for (int i = 0; i < 6; ++i, hash /= 26)
        tag += static_cast<char>('A' + hash % 26);
    return tag + "+" + face_.postScriptName();
}

std::string EmbeddedFont::toUnicodeMap() const {
    std::string entries;
    size_t count = 0;
    std::string cmap = "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n"
                       "/CIDSystemInfo << /Registry (Adobe) /Ordering (UCS) /Supplement 0 >> def\n"
                       "/CMapName /Adobe-Identity-UCS def\n/CMapType 2 def\n"
                       "1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
    const auto flush = [&] {
        if (count == 0) return;
        cmap += std::to_string(count) + " beginbfchar\n" + entries + "endbfchar\n";
        entries.clear();
        count = 0;
    };
    std::map<uint16_t, const std::u32string*> byCode;
    // A glyph that stands for no character of its own (a mark drawn as part of its base's
    // cluster) is left out: readers then add nothing for it.
    for (const auto& [glyph, info] : used_)
        if (!info.text.empty()) byCode.emplace(info.code, &info.text);
    for (const auto& [code, text] : byCode) {
        entries += "<" + hex4(code) + "> <" + utf16Hex(*text) + ">\n";
        // A block holds at most 100 entries.
        if (++count == 100) flush();
    }
    flush();
    cmap += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend\n";
    return cmap;
}

std::string EmbeddedFont::widthArray() const {
    std::map<uint16_t, int32_t> byCode;
    for (const auto& [glyph, info] : used_)
        byCode.emplace(info.code, info.width);
    std::string w = "[";
    int64_t previous = -2;
    for (const auto& [code, width] : byCode) {
        if (code != previous + 1)
            w += (previous < 0 ? "" : "]\n") + std::to_string(code) + " [";
        else
            w += ' ';
        w += std::to_string(width);
        previous = code;
    }
    if (previous >= 0) w += ']';
    return w + "]";
}

int32_t EmbeddedFont::writeObjects(const AppendObject& append) const {
    const bool cff = face_.outlines() == Outlines::Cff;
    const std::string name = baseFontName();
    const int32_t program = append(streamObject(
        cff ? "/Subtype /CIDFontType0C\n" : "/Length1 " + std::to_string(program_.size()) + "\n",
        flateCompress(program_)));
    const int32_t toUnicode = append(streamObject("", flateCompress(toUnicodeMap())));

    const FaceMetrics m = face_.metrics();
    // Symbolic (its glyphs lie outside the standard Latin set), and italic or fixed-pitch as
    // the face says.
    const int flags = 4 | (m.fixedPitch ? 1 : 0) | (m.italic ? 64 : 0);
    std::string descriptor = " 0 obj\n<<\n/Type /FontDescriptor\n/FontName /" + name + "\n/Flags " +
                             std::to_string(flags) + "\n/FontBBox [";
    for (size_t i = 0; i < m.box.size(); ++i)
        descriptor += (i ? " " : "") + std::to_string(m.box[i]);
    descriptor += "]\n/ItalicAngle " + std::to_string(m.italicAngle) + "\n/Ascent " +
                  std::to_string(m.ascent) + "\n/Descent " + std::to_string(m.descent) +
                  "\n/CapHeight " + std::to_string(m.capHeight) + "\n/StemV " +
                  std::to_string(m.stemV) + (cff ? "\n/FontFile3 " : "\n/FontFile2 ") +
                  std::to_string(program) + " 0 R\n>>\nendobj\n";
    const int32_t descriptorNum = append(descriptor);

    std::string cidFont = " 0 obj\n<<\n/Type /Font\n/Subtype /" +
                          std::string(cff ? "CIDFontType0" : "CIDFontType2") + "\n/BaseFont /" +
                          name +
                          "\n/CIDSystemInfo << /Registry (Adobe) /Ordering (Identity) "
                          "/Supplement 0 >>\n/FontDescriptor " +
                          std::to_string(descriptorNum) + " 0 R\n/W " + widthArray() + "\n";
    if (!cff) cidFont += "/CIDToGIDMap /Identity\n";
    cidFont += ">>\nendobj\n";
    const int32_t cidFontNum = append(cidFont);

    return append(" 0 obj\n<<\n/Type /Font\n/Subtype /Type0\n/BaseFont /" + name +
                  "\n/Encoding /Identity-H\n/DescendantFonts [" + std::to_string(cidFontNum) +
                  " 0 R]\n/ToUnicode " + std::to_string(toUnicode) + " 0 R\n>>\nendobj\n");
}

} // namespace tavrix
