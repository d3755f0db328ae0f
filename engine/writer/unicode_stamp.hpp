// The stamps of a run whose texts Windows-1252 cannot hold. Before the copy pass, every stamped
// page's text is composed and shaped, the installed fonts that draw it are chosen, and each is
// subset to the glyphs the run uses and written once; during the pass each stamped page gets
// the operators that draw its text in those fonts, and the text's width for alignment.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/fonts/embedded_font.hpp"
#include "engine/fonts/font_face.hpp"
#include "engine/text/shaped_text.hpp"
#include "engine/writer/page_patcher.hpp"
#include "engine/writer/page_tree.hpp"
#include "tavrix/stamp_settings.hpp"

namespace tavrix {

// The text of each page slot that `settings` stamp, composed from the texts they hold.
std::vector<std::optional<std::string>> pageTexts(const StampSettings& settings,
                                                  const PageList& pages);

class UnicodeStamp {
  public:
    // The stamp text of each page slot, UTF-8 (nullopt for a page the run does not stamp), in
    // the font named `fontName`. Throws CPdfException with a reason when no installed font
    // draws a character, the font name is unknown, or a font file is damaged.
    UnicodeStamp(std::string_view fontName, int32_t fontSize,
                 const std::vector<std::optional<std::string>>& pageTexts);

    // Appends the fonts' objects. The first font is named resources.fontName, any further one
    // (a text no single font draws whole) after it, in resources.moreFonts.
    void appendFonts(const EmbeddedFont::AppendObject& append, RunResources& resources);

    // For the page in slot `slot` (which the settings stamp): the width of its text in 1/1000
    // of the font size, and the operators that select the fonts and show the text.
    int32_t width(size_t slot) const;
    std::string showText(size_t slot) const;

    // The embedded fonts.
    const std::vector<EmbeddedFont>& fonts() const { return fonts_; }

  private:
    int32_t fontSize_;
    std::vector<std::unique_ptr<FontFace>> faces_;
    std::vector<EmbeddedFont> fonts_; // one per face
    std::vector<std::string> names_;  // resource name per face (empty: not used)
    std::vector<ShapedText> texts_;   // each distinct text once
    std::vector<int32_t> widths_;     // per text, 1/1000 of the font size
    std::vector<int32_t> slotText_;   // per slot, index into texts_ (-1: not stamped)
};

} // namespace tavrix
