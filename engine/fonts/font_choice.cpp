#include "engine/fonts/font_choice.hpp"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <mutex>

#include "engine/fonts/font_libraries.hpp"
#include "engine/fonts/font_metrics.hpp"
#include "engine/pdf/pdf_exception.hpp"

namespace tavrix {
namespace {

struct FcRelease {
    void operator()(FcConfig* c) const { fontLibraries().FcConfigDestroy(c); }
    void operator()(FcPattern* p) const { fontLibraries().FcPatternDestroy(p); }
    void operator()(FcFontSet* s) const { fontLibraries().FcFontSetDestroy(s); }
};

struct FontRequest {
    std::string family;
    bool bold = false;
    bool italic = false;
};

std::string lowerLettersAndDigits(std::string_view text) {
    std::string out;
    for (const char c : text)
        if (std::isalnum(static_cast<unsigned char>(c)))
            out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool isStyleWord(std::string_view word) {
    const std::string w = lowerLettersAndDigits(word);
    return w == "bold" || w == "italic" || w == "oblique" || w == "bolditalic" ||
           w == "boldoblique" || w == "regular";
}

void readStyle(std::string_view style, FontRequest& request) {
    const std::string s = lowerLettersAndDigits(style);
    request.bold = request.bold || s.find("bold") != std::string::npos ||
                   s.find("black") != std::string::npos || s.find("heavy") != std::string::npos;
    request.italic = request.italic || s.find("italic") != std::string::npos ||
                     s.find("oblique") != std::string::npos;
}

// The font table's names put the style after a hyphen ("Arial-BoldItalic", "Times-Roman");
// installed families are named with blanks and may end in a style word ("DejaVu Sans Bold").
// fontconfig compares families ignoring blanks and case, so "TimesNewRoman" finds
// "Times New Roman" and its metric-compatible aliases.
FontRequest parseFontName(std::string_view name) {
    FontRequest request;
    std::string_view family = name;
    const size_t hyphen = name.rfind('-');
    if (hyphen != std::string_view::npos && hyphen > 0) {
        family = name.substr(0, hyphen);
        readStyle(name.substr(hyphen + 1), request);
    }
    for (;;) {
        const size_t blank = family.find_last_of(' ');
        if (blank == std::string_view::npos || !isStyleWord(family.substr(blank + 1))) break;
        readStyle(family.substr(blank + 1), request);
        family = family.substr(0, blank);
    }
    request.family = std::string(family);
    return request;
}

struct Candidate {
    FaceRef face;
    FcCharSet* charset = nullptr; // owned by the sorted font set
    std::vector<std::string> families;
};

std::string codePoint(char32_t c) {
    char text[16];
    std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
    return text;
}

// Faces fontconfig lists for the request, best first, that HarfBuzz can shape and a PDF file
// can embed: outline fonts with TrueType or CFF outlines, default instances only.
std::vector<Candidate> sortedFaces(FcFontSet* sorted) {
    const FontLibraries& lib = fontLibraries();
    std::vector<Candidate> faces;
    for (int i = 0; sorted && i < sorted->nfont; ++i) {
        FcPattern* font = sorted->fonts[i];
        FcChar8* file = nullptr;
        FcChar8* format = nullptr;
        FcBool outline = FcFalse;
        int index = 0;
        Candidate c;
        if (lib.FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch ||
            lib.FcPatternGetCharSet(font, FC_CHARSET, 0, &c.charset) != FcResultMatch)
            continue;
        if (lib.FcPatternGetBool(font, FC_OUTLINE, 0, &outline) != FcResultMatch || !outline)
            continue;
        if (lib.FcPatternGetString(font, FC_FONTFORMAT, 0, &format) != FcResultMatch) continue;
        const std::string_view kind = reinterpret_cast<const char*>(format);
        if (kind != "TrueType" && kind != "CFF") continue;
        if (lib.FcPatternGetInteger(font, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
        // Named instances of a variable font carry their number above the face index.
        if (index < 0 || index > 0xFFFF) continue;
        c.face.path = reinterpret_cast<const char*>(file);
        c.face.index = static_cast<unsigned>(index);
        FcChar8* family = nullptr;
        for (int k = 0; lib.FcPatternGetString(font, FC_FAMILY, k, &family) == FcResultMatch; ++k) {
            c.families.push_back(reinterpret_cast<const char*>(family));
            if (k == 0) c.face.family = c.families.back();
        }
        faces.push_back(std::move(c));
    }
    return faces;
}

bool knownName(std::string_view fontName, const FontRequest& request,
               const std::vector<Candidate>& faces) {
    if (findFont(fontName)) return true;
    const std::string wanted = lowerLettersAndDigits(request.family);
    if (wanted == "sansserif" || wanted == "serif" || wanted == "monospace") return true;
    for (const Candidate& c : faces)
        for (const std::string& family : c.families)
            if (lowerLettersAndDigits(family) == wanted) return true;
    return false;
}

} // namespace

bool needsGlyph(char32_t c) {
    if (c < 0x20 || (c >= 0x7F && c < 0xA0)) return false;
    // Default-ignorable code points, which shaping leaves out of the drawn text.
    static constexpr std::pair<char32_t, char32_t> kIgnorable[] = {
        {0x00AD, 0x00AD},   {0x034F, 0x034F}, {0x061C, 0x061C},   {0x115F, 0x1160},
        {0x17B4, 0x17B5},   {0x180B, 0x180F}, {0x200B, 0x200F},   {0x202A, 0x202E},
        {0x2060, 0x206F},   {0x3164, 0x3164}, {0xFE00, 0xFE0F},   {0xFEFF, 0xFEFF},
        {0xFFA0, 0xFFA0},   {0xFFF0, 0xFFF8}, {0x1BCA0, 0x1BCA3}, {0x1D173, 0x1D17A},
        {0xE0000, 0xE0FFF},
    };
    for (const auto& [first, last] : kIgnorable)
        if (c >= first && c <= last) return false;
    return true;
}

std::vector<FaceRef> chooseFaces(std::string_view fontName, std::u32string_view characters) {
    const FontRequest request = parseFontName(fontName);
    const FontLibraries& lib = fontLibraries();
    // Runs on several threads (a parallel file list, Python threads) choose fonts at once.
    // Reloading the configuration while another thread sorts fonts with it is not safe, so one
    // thread at a time talks to fontconfig; a run chooses its faces once.
    static std::mutex fontconfigMutex;
    const std::lock_guard lock(fontconfigMutex);
    // Picks up fonts installed since the process loaded the configuration.
    lib.FcInitBringUptoDate();
    std::unique_ptr<FcConfig, FcRelease> config(lib.FcConfigReference(nullptr));
    if (!config)
        throw CPdfException("Unknown font name",
                            "cannot read the font configuration (fontconfig); check "
                            "FONTCONFIG_FILE or reinstall fontconfig-config");

    std::unique_ptr<FcPattern, FcRelease> pattern(lib.FcPatternCreate());
    if (!pattern) throw std::bad_alloc();
    lib.FcPatternAddString(pattern.get(), FC_FAMILY,
                           reinterpret_cast<const FcChar8*>(request.family.c_str()));
    lib.FcPatternAddInteger(pattern.get(), FC_WEIGHT,
                            request.bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    lib.FcPatternAddInteger(pattern.get(), FC_SLANT,
                            request.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    // fontconfig would take the language from the user's locale and rank fonts by it; a fixed
    // one keeps the choice the same for every user of the machine.
    lib.FcPatternAddString(pattern.get(), FC_LANG, reinterpret_cast<const FcChar8*>("und"));
    lib.FcConfigSubstitute(config.get(), pattern.get(), FcMatchPattern);
    lib.FcDefaultSubstitute(pattern.get());
    FcResult result = FcResultNoMatch;
    std::unique_ptr<FcFontSet, FcRelease> sorted(
        lib.FcFontSort(config.get(), pattern.get(), FcFalse, nullptr, &result));
    const std::vector<Candidate> faces = sortedFaces(sorted.get());

    if (!knownName(fontName, request, faces))
        throw CPdfException("Unknown font name",
                            "unknown font name '" + std::string(fontName) +
                                "' (give a name of the font table, e.g. Arial, TimesNewRoman, "
                                "Helvetica-Bold, or an installed family, e.g. DejaVu Sans)");

    std::u32string needed;
    for (const char32_t c : characters)
        if (needsGlyph(c) && needed.find(c) == std::u32string::npos) needed += c;
    const auto coversAll = [&](const Candidate& c) {
        return std::all_of(needed.begin(), needed.end(),
                           [&](char32_t ch) { return lib.FcCharSetHasChar(c.charset, ch); });
    };
    for (const Candidate& c : faces)
        if (coversAll(c)) return {c.face};

    std::vector<size_t> used;
    for (const char32_t ch : needed) {
        size_t k = 0;
        while (k < faces.size() && !lib.FcCharSetHasChar(faces[k].charset, ch))
            ++k;
        if (k == faces.size())
            throw CPdfException("No font for the text", "no installed font has " + codePoint(ch) +
                                                            "; install one, e.g. fonts-noto-core");
        if (std::find(used.begin(), used.end(), k) == used.end()) used.push_back(k);
    }
    std::sort(used.begin(), used.end());
    std::vector<FaceRef> chosen;
    for (const size_t k : used)
        chosen.push_back(faces[k].face);
    return chosen;
}

} // namespace tavrix
