#include "engine/text/shaped_text.hpp"

#include <algorithm>
#include <climits>

#include "engine/fonts/font_choice.hpp"
#include "engine/fonts/font_libraries.hpp"
#include "tavrixrt/utf8.hpp"

namespace tavrix {
namespace {

constexpr uint16_t kNoFace = 0xFFFF;

bool isWeakScript(hb_script_t s) {
    return s == HB_SCRIPT_COMMON || s == HB_SCRIPT_INHERITED || s == HB_SCRIPT_UNKNOWN;
}

// Bidi embedding levels after rules L1 (white space at the end goes back to the paragraph's
// level); all 0 when the text is left to right throughout.
std::vector<uint8_t> bidiLevels(const std::u32string& text) {
    const size_t n = text.size();
    std::vector<uint8_t> levels(n, 0);
    if (n == 0 || n > INT_MAX) return levels;
    const std::vector<FriBidiChar> chars(text.begin(), text.end());
    const auto length = static_cast<FriBidiStrIndex>(n);
    std::vector<FriBidiCharType> types(n);
    std::vector<FriBidiBracketType> brackets(n);
    const FontLibraries& lib = fontLibraries();
    lib.fribidi_get_bidi_types(chars.data(), length, types.data());
    if (std::none_of(types.begin(), types.end(), [](FriBidiCharType t) {
            return FRIBIDI_IS_RTL(t) || FRIBIDI_IS_EXPLICIT_OR_ISOLATE_OR_BN_OR_NSM(t);
        }))
        return levels;
    lib.fribidi_get_bracket_types(chars.data(), length, types.data(), brackets.data());
    std::vector<FriBidiLevel> resolved(n, 0);
    FriBidiParType base = FRIBIDI_PAR_ON; // from the first strong character, as viewers show it
    if (lib.fribidi_get_par_embedding_levels_ex(types.data(), brackets.data(), length, &base,
                                                resolved.data()) == 0 ||
        lib.fribidi_reorder_line(0, types.data(), length, 0, base, resolved.data(), nullptr,
                                 nullptr) == 0)
        return levels;
    for (size_t i = 0; i < n; ++i)
        levels[i] = static_cast<uint8_t>(resolved[i]);
    return levels;
}

} // namespace

std::u32string decodeStampText(std::string_view utf8) {
    std::u32string text;
    text.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        const std::optional<tavrixrt::Utf8Char> c = tavrixrt::decodeUtf8(utf8, i);
        if (!c) {
            text += U'\uFFFD';
            ++i;
            continue;
        }
        const bool control = c->code < 0x20 || (c->code >= 0x7F && c->code < 0xA0);
        text += control ? U' ' : c->code;
        i += c->length;
    }
    return text;
}

void TextShaper::BufferRelease::operator()(hb_buffer_t* b) const {
    fontLibraries().hb_buffer_destroy(b);
}

TextShaper::TextShaper(std::vector<const FontFace*> faces)
    : faces_(std::move(faces)), buffer_(fontLibraries().hb_buffer_create()) {
    if (!fontLibraries().hb_buffer_allocation_successful(buffer_.get())) throw std::bad_alloc();
}

TextShaper::~TextShaper() = default;

std::vector<TextShaper::Run> TextShaper::itemize(const std::u32string& text) const {
    const size_t n = text.size();
    const std::vector<uint8_t> levels = bidiLevels(text);

    // A character stays with the face of the characters before it while that face has it, so
    // that a fallback face draws whole words and marks stay with their base.
    std::vector<uint16_t> face(n, kNoFace);
    uint16_t current = kNoFace;
    for (size_t i = 0; i < n; ++i) {
        const char32_t c = text[i];
        if (needsGlyph(c) && (current == kNoFace || !faces_[current]->covers(c))) {
            uint16_t k = 0;
            while (k < faces_.size() && !faces_[k]->covers(c))
                ++k;
            // No face has it (the choice of faces rules this out): the first face draws its
            // missing-glyph box.
            current = k < faces_.size() ? k : (current == kNoFace ? 0 : current);
        }
        face[i] = current;
    }
    const uint16_t first =
        current == kNoFace
            ? 0
            : *std::find_if(face.begin(), face.end(), [](uint16_t f) { return f != kNoFace; });
    std::replace(face.begin(), face.end(), kNoFace, first);

    // Digits, blanks and punctuation belong to the script around them.
    const FontLibraries& lib = fontLibraries();
    hb_unicode_funcs_t* unicode = lib.hb_unicode_funcs_get_default();
    std::vector<hb_script_t> script(n, HB_SCRIPT_COMMON);
    hb_script_t last = HB_SCRIPT_INVALID;
    for (size_t i = 0; i < n; ++i) {
        const hb_script_t s = lib.hb_unicode_script(unicode, text[i]);
        if (!isWeakScript(s)) last = s;
        script[i] = isWeakScript(s) ? last : s;
    }
    const auto strong = std::find_if(script.begin(), script.end(),
                                     [](hb_script_t s) { return s != HB_SCRIPT_INVALID; });
    const hb_script_t lead = strong == script.end() ? HB_SCRIPT_COMMON : *strong;
    std::replace(script.begin(), script.end(), HB_SCRIPT_INVALID, lead);

    std::vector<Run> runs;
    for (size_t i = 0; i < n; ++i) {
        if (runs.empty() || runs.back().level != levels[i] || runs.back().face != face[i] ||
            runs.back().script != static_cast<uint32_t>(script[i])) {
            Run run;
            run.start = static_cast<uint32_t>(i);
            run.face = face[i];
            run.level = levels[i];
            run.script = static_cast<uint32_t>(script[i]);
            runs.push_back(run);
        }
        ++runs.back().length;
    }
    return runs;
}

void TextShaper::shapeRun(const std::u32string& text, const Run& run,
                          std::vector<ShapedGlyph>& out) {
    const FontLibraries& lib = fontLibraries();
    hb_buffer_t* b = buffer_.get();
    lib.hb_buffer_clear_contents(b);
    // The whole text goes in as context, so that joining and contextual forms see across the
    // run's ends.
    lib.hb_buffer_add_utf32(b, reinterpret_cast<const uint32_t*>(text.data()),
                            static_cast<int>(text.size()), run.start, static_cast<int>(run.length));
    lib.hb_buffer_set_direction(b, run.level % 2 ? HB_DIRECTION_RTL : HB_DIRECTION_LTR);
    lib.hb_buffer_set_script(b, static_cast<hb_script_t>(run.script));
    // No language: HarfBuzz would otherwise take the process's locale.
    unsigned flags = HB_BUFFER_FLAG_REMOVE_DEFAULT_IGNORABLES;
    if (run.start == 0) flags |= HB_BUFFER_FLAG_BOT;
    if (run.start + run.length == text.size()) flags |= HB_BUFFER_FLAG_EOT;
    lib.hb_buffer_set_flags(b, static_cast<hb_buffer_flags_t>(flags));
    lib.hb_buffer_set_cluster_level(b, HB_BUFFER_CLUSTER_LEVEL_MONOTONE_CHARACTERS);
    lib.hb_shape(faces_[run.face]->hbFont(), b, nullptr, 0);
    if (!lib.hb_buffer_allocation_successful(b)) throw std::bad_alloc();

    unsigned count = 0;
    const hb_glyph_info_t* info = lib.hb_buffer_get_glyph_infos(b, &count);
    const hb_glyph_position_t* pos = lib.hb_buffer_get_glyph_positions(b, &count);
    // A cluster stands for the characters from its value up to the next larger cluster value
    // of the run (characters that draw nothing are merged into the cluster before them).
    std::vector<uint32_t> starts;
    for (unsigned i = 0; i < count; ++i)
        starts.push_back(info[i].cluster);
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    const uint32_t runEnd = run.start + run.length;

    const size_t base = out.size();
    for (unsigned i = 0; i < count; ++i) {
        ShapedGlyph g;
        g.glyph = info[i].codepoint;
        g.face = run.face;
        g.xAdvance = pos[i].x_advance;
        g.xOffset = pos[i].x_offset;
        g.yOffset = pos[i].y_offset;
        g.first = info[i].cluster;
        out.push_back(g);
    }
    // The characters of each cluster go to its widest glyph (the base, not a mark), so that
    // copying the text gives each character once.
    for (size_t i = base; i < out.size();) {
        size_t j = i, widest = i;
        while (j < out.size() && out[j].first == out[i].first) {
            if (out[j].xAdvance > out[widest].xAdvance) widest = j;
            ++j;
        }
        const auto next = std::upper_bound(starts.begin(), starts.end(), out[i].first);
        out[widest].count = (next == starts.end() ? runEnd : *next) - out[i].first;
        i = j;
    }
}

ShapedText TextShaper::shape(std::u32string text) {
    ShapedText shaped;
    shaped.text = std::move(text);
    if (shaped.text.size() > INT_MAX) throw std::length_error("stamp text too long");
    const std::vector<Run> runs = itemize(shaped.text);

    // Rule L2: from the highest level down to the lowest odd one, every stretch of runs at that
    // level or above is reversed.
    std::vector<size_t> order(runs.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    uint8_t highest = 0, lowestOdd = UINT8_MAX;
    for (const Run& r : runs) {
        shaped.rightToLeft = shaped.rightToLeft || r.level % 2;
        highest = std::max(highest, r.level);
        if (r.level % 2) lowestOdd = std::min(lowestOdd, r.level);
    }
    for (int level = highest; level >= lowestOdd && level > 0; --level) {
        for (size_t i = 0; i < order.size();) {
            if (runs[order[i]].level < level) {
                ++i;
                continue;
            }
            size_t j = i;
            while (j < order.size() && runs[order[j]].level >= level)
                ++j;
            std::reverse(order.begin() + static_cast<std::ptrdiff_t>(i),
                         order.begin() + static_cast<std::ptrdiff_t>(j));
            i = j;
        }
    }
    for (const size_t k : order)
        shapeRun(shaped.text, runs[k], shaped.glyphs);
    return shaped;
}

} // namespace tavrix
