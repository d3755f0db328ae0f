#include "engine/writer/unicode_stamp.hpp"

#include <charconv>
#include <cmath>
#include <unordered_map>

#include "engine/fonts/font_choice.hpp"
#include "engine/text/number_text.hpp"

namespace tavrix {
namespace {

void appendHex4(std::string& out, uint16_t code) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const char digits[4] = {kHex[code >> 12], kHex[code >> 8 & 0xF], kHex[code >> 4 & 0xF],
                            kHex[code & 0xF]};
    out.append(digits, 4);
}

void appendNumber(std::string& out, double v) {
    char buffer[32];
    const auto r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::fixed, 3);
    std::string_view text(buffer, static_cast<size_t>(r.ptr - buffer));
    // "1.500" -> "1.5", "2.000" -> "2"
    while (text.ends_with('0'))
        text.remove_suffix(1);
    if (text.ends_with('.')) text.remove_suffix(1);
    if (text == "-0") text = "0";
    out += text;
}

// The text as an array for TJ, written straight into the stream: glyph codes in hex strings,
// and between them the moves (in 1/1000 of the font size, subtracted from the position) that put
// each glyph where shaping placed it rather than where the font's own width would.
class ShowArray {
  public:
    explicit ShowArray(std::string& out) : out_(out) {}
    void move(int64_t thousandths) {
        open();
        closeString();
        out_ += ' ';
        out_ += std::to_string(-thousandths);
    }
    void glyph(uint16_t code) {
        open();
        if (!inString_) out_ += '<';
        inString_ = true;
        appendHex4(out_, code);
    }
    // Ends the array; nothing when none was begun.
    void close() {
        if (!open_) return;
        closeString();
        out_ += "] TJ\n";
        open_ = false;
    }

  private:
    void open() {
        if (!open_) out_ += '[';
        open_ = true;
    }
    void closeString() {
        if (inString_) out_ += '>';
        inString_ = false;
    }
    std::string& out_;
    bool open_ = false;
    bool inString_ = false;
};

} // namespace

std::vector<std::optional<std::string>> pageTexts(const StampSettings& settings,
                                                  const PageList& pages) {
    std::vector<std::optional<std::string>> texts(pages.slots().size());
    int32_t highest = 0;
    for (size_t slot = 0; slot < texts.size(); ++slot) {
        const auto n =
            shownNumber(settings, static_cast<int32_t>(slot + 1), pages.pageCount(), highest);
        if (n) texts[slot] = composeRawText(settings, *n, pages.pageCount());
    }
    return texts;
}

UnicodeStamp::UnicodeStamp(std::string_view fontName, int32_t fontSize,
                           const std::vector<std::optional<std::string>>& pageTexts)
    : fontSize_(fontSize) {
    // Many pages share one text (a label without numbers), so each distinct text is shaped
    // once.
    std::unordered_map<std::string, int32_t> known;
    std::vector<std::u32string> distinct;
    std::u32string characters;
    slotText_.assign(pageTexts.size(), -1);
    for (size_t slot = 0; slot < pageTexts.size(); ++slot) {
        if (!pageTexts[slot]) continue;
        const auto [it, added] =
            known.try_emplace(*pageTexts[slot], static_cast<int32_t>(distinct.size()));
        if (added) {
            distinct.push_back(decodeStampText(it->first));
            for (const char32_t c : distinct.back())
                if (characters.find(c) == std::u32string::npos) characters += c;
        }
        slotText_[slot] = it->second;
    }
    if (distinct.empty()) return;

    const std::vector<FaceRef> chosen = chooseFaces(fontName, characters);
    std::vector<const FontFace*> faces;
    for (const FaceRef& ref : chosen) {
        faces_.push_back(FontFace::open(ref.path, ref.index));
        faces.push_back(faces_.back().get());
        fonts_.emplace_back(*faces_.back());
    }
    TextShaper shaper(faces);
    for (std::u32string& text : distinct) {
        texts_.push_back(shaper.shape(std::move(text)));
        double width = 0;
        for (const ShapedGlyph& g : texts_.back().glyphs) {
            fonts_[g.face].use(g.glyph,
                               std::u32string_view(texts_.back().text).substr(g.first, g.count));
            width += g.xAdvance * 1000.0 / faces[g.face]->unitsPerEm();
        }
        widths_.push_back(
            static_cast<int32_t>(std::fmax(INT32_MIN, std::fmin(INT32_MAX, std::round(width)))));
    }
    for (EmbeddedFont& font : fonts_)
        if (!font.empty()) font.subset();
}

void UnicodeStamp::appendFonts(const EmbeddedFont::AppendObject& append, RunResources& resources) {
    names_.assign(fonts_.size(), std::string());
    bool first = true;
    for (size_t k = 0; k < fonts_.size(); ++k) {
        if (fonts_[k].empty()) continue;
        const int32_t num = fonts_[k].writeObjects(append);
        if (first) {
            names_[k] = resources.fontName;
            resources.fontNum = num;
            first = false;
        } else {
            names_[k] = resources.fontName + "_" + std::to_string(k);
            resources.moreFonts.push_back({names_[k], num});
        }
    }
}

int32_t UnicodeStamp::width(size_t slot) const {
    const int32_t t = slot < slotText_.size() ? slotText_[slot] : -1;
    return t < 0 ? 0 : widths_[static_cast<size_t>(t)];
}

std::string UnicodeStamp::showText(size_t slot) const {
    const int32_t t = slot < slotText_.size() ? slotText_[slot] : -1;
    if (t < 0) return {};
    const ShapedText& text = texts_[static_cast<size_t>(t)];
    std::string out;
    out.reserve(64 + 20 * text.glyphs.size());
    // The text as given, for readers that take it whole rather than glyph by glyph: they then
    // keep the blanks between Chinese characters and the order inside Indic clusters. Readers
    // lay such a text out left to right, though, and so turn a right-to-left text around; that
    // text is read from its glyphs alone.
    const bool actualText = !text.rightToLeft;
    if (actualText) {
        out += "/Span <</ActualText <FEFF";
        for (const char32_t c : text.text) {
            if (c >= 0x10000) {
                appendHex4(out, static_cast<uint16_t>(0xD800 + ((c - 0x10000) >> 10)));
                appendHex4(out, static_cast<uint16_t>(0xDC00 + ((c - 0x10000) & 0x3FF)));
            } else {
                appendHex4(out, static_cast<uint16_t>(c));
            }
        }
        out += ">>> BDC\n";
    }
    ShowArray array(out);
    int32_t face = -1;
    int32_t rise = 0;
    // Each glyph's place, in 1/1000 of the size, where shaping put it (drawing order).
    std::vector<double> at(text.glyphs.size());
    double shapedPen = 0;
    for (size_t i = 0; i < text.glyphs.size(); ++i) {
        const ShapedGlyph& g = text.glyphs[i];
        const double scale = 1000.0 / fonts_[g.face].face().unitsPerEm();
        at[i] = shapedPen + g.xOffset * scale;
        shapedPen += g.xAdvance * scale;
    }
    // The glyphs are shown in the order of their characters, each moved to its place: readers
    // that take the text in the order it is shown then read a right-to-left run as it is
    // written, and those that sort by place are not affected.
    std::vector<size_t> order(text.glyphs.size());
    for (size_t i = 0; i < order.size(); ++i)
        order[i] = i;
    // (Left to right throughout, that order is the drawing order already.)
    if (text.rightToLeft)
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            return text.glyphs[a].first < text.glyphs[b].first;
        });
    int64_t viewerPen = 0;
    for (const size_t i : order) {
        const ShapedGlyph& g = text.glyphs[i];
        const EmbeddedFont& font = fonts_[g.face];
        const double scale = 1000.0 / font.face().unitsPerEm();
        if (g.face != face) {
            array.close();
            out += "/" + names_[g.face] + " " + std::to_string(fontSize_) + " Tf\n";
            face = g.face;
        }
        const auto glyphRise = static_cast<int32_t>(std::lround(g.yOffset * scale));
        if (glyphRise != rise) {
            array.close();
            appendNumber(out, glyphRise / 1000.0 * fontSize_);
            out += " Ts\n";
            rise = glyphRise;
        }
        const auto move = static_cast<int64_t>(std::llround(at[i])) - viewerPen;
        if (move != 0) {
            array.move(move);
            viewerPen += move;
        }
        array.glyph(font.code(g.glyph));
        viewerPen += font.width(g.glyph);
    }
    array.close();
    if (rise != 0) out += "0 Ts\n";
    if (actualText) out += "EMC\n";
    return out;
}

} // namespace tavrix
