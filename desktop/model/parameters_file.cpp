#include "desktop/model/parameters_file.hpp"

#include <fstream>
#include <functional>
#include <iterator>
#include <sstream>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "desktop/model/number_text.hpp"

namespace folvane {
namespace {

class Writer {
  public:
    void text(const char* key, const std::string& value) {
        out_ += key;
        out_ += ';';
        out_ += value;
        out_ += "\r\n";
    }
    void integer(const char* key, int64_t value) { text(key, std::to_string(value)); }
    void real(const char* key, double value) { text(key, formatReal6(value)); }
    void flag(const char* key, bool on) {
        if (!on) return;
        out_ += key;
        out_ += "\r\n";
    }
    std::string take() { return std::move(out_); }

  private:
    std::string out_;
};

void resetPresenceFlags(PageParameters& p) {
    p.onePageNumberOnly = p.noPageNumbers = p.twoUp = p.abTwoUp = p.sequential = false;
    p.carryOver = p.reverse = p.forcePortrait = p.romanUpper = p.romanLower = false;
    p.embedFonts = p.embedFontSubset = p.useCmyk = false;
    for (PositionSet* s : {&p.shown, &p.allOdd, &p.even}) {
        s->alignLeft = s->alignRight = s->alignCenter = false;
        s->fromRight = s->fromTop = false;
    }
    p.applyToAll = true;
    p.applyToEven = false;
    p.samePosition = true;
    p.oddEvenDifferent = false;
    p.angleDegrees = 0;
    p.opacityPercent = 100;
}

struct LoadContext {
    PageParameters& p;
    bool includePaths;
    CmykValues* cmykForm;
};

// A key's reader gets the value (empty when the line has none).
using KeyReader = std::function<void(LoadContext&, std::string_view)>;

KeyReader textKey(std::string PageParameters::*field) {
    return [field](LoadContext& c, std::string_view v) { c.p.*field = std::string(v); };
}
KeyReader intKey(int32_t PageParameters::*field) {
    return [field](LoadContext& c, std::string_view v) { c.p.*field = leadingInt32(v); };
}
KeyReader realKey(double PageParameters::*field) {
    return [field](LoadContext& c, std::string_view v) { c.p.*field = leadingReal(v); };
}
KeyReader flagKey(bool PageParameters::*field) {
    return [field](LoadContext& c, std::string_view) { c.p.*field = true; };
}
KeyReader setKey(PositionSet PageParameters::*set, std::string PositionSet::*field) {
    return [set, field](LoadContext& c, std::string_view v) { (c.p.*set).*field = v; };
}
KeyReader setKey(PositionSet PageParameters::*set, double PositionSet::*field) {
    return [set, field](LoadContext& c, std::string_view v) { (c.p.*set).*field = leadingReal(v); };
}
KeyReader setKey(PositionSet PageParameters::*set, bool PositionSet::*field) {
    return [set, field](LoadContext& c, std::string_view) { (c.p.*set).*field = true; };
}
KeyReader cmykKey(int32_t PageParameters::*field, size_t index) {
    return [field, index](LoadContext& c, std::string_view v) {
        c.p.*field = leadingInt32(v);
        if (c.cmykForm) (*c.cmykForm)[index] = c.p.*field;
    };
}
KeyReader pathKey(std::string PageParameters::*field) {
    return [field](LoadContext& c, std::string_view v) {
        if (c.includePaths) c.p.*field = std::string(v);
    };
}

const std::unordered_map<std::string_view, KeyReader>& keyReaders() {
    using P = PageParameters;
    using S = PositionSet;
    static const std::unordered_map<std::string_view, KeyReader> readers{
        {"PREFIXSTR", textKey(&P::prefixText)},
        {"SEPSTR", textKey(&P::separatorText)},
        {"ENDSTR", textKey(&P::endText)},
        {"STARTNUM", intKey(&P::firstNumber)},
        {"ENDNUM", intKey(&P::lastNumber)},
        {"STARTPROC", intKey(&P::firstPage)},
        {"ENDPROC", intKey(&P::lastPage)},
        {"1PAGENUM", flagKey(&P::onePageNumberOnly)},
        {"NOPAGENUM", flagKey(&P::noPageNumbers)},
        {"FONTNAME", textKey(&P::fontName)},
        {"FONTTYPE", textKey(&P::fontType)},
        {"FONTFLAGS", textKey(&P::fontFlags)},
        {"FONTSIZE", realKey(&P::fontSize)},
        {"INCPAGENOEVERY", intKey(&P::incrementEvery)},
        {"OPACITY", intKey(&P::opacityPercent)},
        {"POSITION", setKey(&P::shown, &S::positionName)},
        {"POSITIONALL", setKey(&P::allOdd, &S::positionName)},
        {"POSITIONEVEN", setKey(&P::even, &S::positionName)},
        {"VERTICAL", setKey(&P::shown, &S::vertical)},
        {"HORIZONTAL", setKey(&P::shown, &S::horizontal)},
        {"VERTICALALL", setKey(&P::allOdd, &S::vertical)},
        {"HORIZONTALALL", setKey(&P::allOdd, &S::horizontal)},
        {"VERTICALEVEN", setKey(&P::even, &S::vertical)},
        {"HORIZONTALEVEN", setKey(&P::even, &S::horizontal)},
        {"MASK", intKey(&P::maskDigits)},
        {"2UP", flagKey(&P::twoUp)},
        {"CARRYOVER", flagKey(&P::carryOver)},
        {"EMBEDFONTS", flagKey(&P::embedFonts)},
        {"EMBEDFONTSSUBSET", flagKey(&P::embedFontSubset)},
        {"SAMEPOSITION",
         [](LoadContext& c, std::string_view) {
             c.p.samePosition = true;
             c.p.oddEvenDifferent = false;
         }},
        {"ODDEVENDIFFERENT",
         [](LoadContext& c, std::string_view) {
             c.p.oddEvenDifferent = true;
             c.p.samePosition = false;
         }},
        {"ALIGNTEXTLEFT", setKey(&P::shown, &S::alignLeft)},
        {"ALIGNTEXTRIGHT", setKey(&P::shown, &S::alignRight)},
        {"ALIGNTEXTCENTER", setKey(&P::shown, &S::alignCenter)},
        {"ALIGNTEXTLEFTALL", setKey(&P::allOdd, &S::alignLeft)},
        {"ALIGNTEXTRIGHTALL", setKey(&P::allOdd, &S::alignRight)},
        {"ALIGNTEXTCENTERALL", setKey(&P::allOdd, &S::alignCenter)},
        {"ALIGNTEXTLEFTEVEN", setKey(&P::even, &S::alignLeft)},
        {"ALIGNTEXTRIGHTEVEN", setKey(&P::even, &S::alignRight)},
        {"ALIGNTEXTCENTEREVEN", setKey(&P::even, &S::alignCenter)},
        {"APPLYTOALL",
         [](LoadContext& c, std::string_view) {
             c.p.applyToAll = true;
             c.p.applyToEven = false;
         }},
        {"APPLYTOEVEN",
         [](LoadContext& c, std::string_view) {
             c.p.applyToEven = true;
             c.p.applyToAll = false;
         }},
        {"1NTH", intKey(&P::nth)},
        {"AB2UP", flagKey(&P::abTwoUp)},
        {"SEQUENTIAL", flagKey(&P::sequential)},
        {"CALCRIGHT", setKey(&P::shown, &S::fromRight)},
        {"CALCTOP", setKey(&P::shown, &S::fromTop)},
        {"CALCRIGHTALL", setKey(&P::allOdd, &S::fromRight)},
        {"CALCTOPALL", setKey(&P::allOdd, &S::fromTop)},
        {"CALCRIGHTEVEN", setKey(&P::even, &S::fromRight)},
        {"CALCTOPEVEN", setKey(&P::even, &S::fromTop)},
        {"FORCEPORTRAIT", flagKey(&P::forcePortrait)},
        {"REVERSE", flagKey(&P::reverse)},
        {"ROMANNUMERALS", flagKey(&P::romanUpper)},
        {"ROMANNUMERALSLOWER", flagKey(&P::romanLower)},
        {"CMYK", flagKey(&P::useCmyk)},
        {"TEXTCOLOR",
         [](LoadContext& c, std::string_view v) {
             // Stored as an unsigned 32-bit value; a signed text wraps as the C library's
             // unsigned conversion does.
             c.p.textColor = static_cast<uint32_t>(leadingInteger(v));
         }},
        {"TEXTCOLORCMYKC", cmykKey(&P::cmykC, 0)},
        {"TEXTCOLORCMYKM", cmykKey(&P::cmykM, 1)},
        {"TEXTCOLORCMYKY", cmykKey(&P::cmykY, 2)},
        {"TEXTCOLORCMYKK", cmykKey(&P::cmykK, 3)},
        {"DEGREESANGLE", intKey(&P::angleDegrees)},
        {"INFILE", pathKey(&P::inputPath)},
        {"OUTFILE", pathKey(&P::outputPath)},
    };
    return readers;
}

// Splits a line at semicolons, skipping empty pieces: the first piece is the key, the second
// (if any) the value; anything after that is ignored.
void readLine(LoadContext& context, std::string_view line) {
    std::string_view pieces[2];
    size_t count = 0;
    size_t start = 0;
    while (start <= line.size() && count < 2) {
        size_t end = line.find(';', start);
        if (end == std::string_view::npos) end = line.size();
        if (end > start) pieces[count++] = line.substr(start, end - start);
        start = end + 1;
    }
    if (count == 0) return; // a line without a key changes nothing
    const auto& readers = keyReaders();
    const auto it = readers.find(pieces[0]);
    if (it == readers.end()) return;
    it->second(context, pieces[1]);
}

} // namespace

std::string formatParameters(const PageParameters& p) {
    Writer w;
    w.text("PREFIXSTR", p.prefixText);
    w.text("SEPSTR", p.separatorText);
    w.text("ENDSTR", p.endText);
    w.integer("STARTNUM", p.firstNumber);
    w.integer("ENDNUM", p.lastNumber);
    w.integer("STARTPROC", p.firstPage);
    w.integer("ENDPROC", p.lastPage);
    w.flag("1PAGENUM", p.onePageNumberOnly);
    w.flag("NOPAGENUM", p.noPageNumbers);
    w.text("FONTNAME", p.fontName);
    w.text("FONTTYPE", p.fontType);
    w.text("FONTFLAGS", p.fontFlags);
    w.real("FONTSIZE", p.fontSize);
    w.integer("INCPAGENOEVERY", p.incrementEvery);
    w.integer("OPACITY", p.opacityPercent);
    w.text("POSITION", p.shown.positionName);
    w.text("POSITIONALL", p.allOdd.positionName);
    w.text("POSITIONEVEN", p.even.positionName);
    w.real("VERTICAL", p.shown.vertical);
    w.real("HORIZONTAL", p.shown.horizontal);
    w.real("VERTICALALL", p.allOdd.vertical);
    w.real("HORIZONTALALL", p.allOdd.horizontal);
    w.real("VERTICALEVEN", p.even.vertical);
    w.real("HORIZONTALEVEN", p.even.horizontal);
    w.integer("MASK", p.maskDigits);
    w.flag("2UP", p.twoUp);
    w.flag("CARRYOVER", p.carryOver);
    w.flag("EMBEDFONTS", p.embedFonts);
    w.flag("EMBEDFONTSSUBSET", p.embedFontSubset);
    w.flag("SAMEPOSITION", p.samePosition);
    w.flag("ODDEVENDIFFERENT", p.oddEvenDifferent);
    w.flag("ALIGNTEXTLEFT", p.shown.alignLeft);
    w.flag("ALIGNTEXTRIGHT", p.shown.alignRight);
    w.flag("ALIGNTEXTCENTER", p.shown.alignCenter);
    w.flag("ALIGNTEXTLEFTALL", p.allOdd.alignLeft);
    w.flag("ALIGNTEXTRIGHTALL", p.allOdd.alignRight);
    w.flag("ALIGNTEXTCENTERALL", p.allOdd.alignCenter);
    w.flag("ALIGNTEXTLEFTEVEN", p.even.alignLeft);
    w.flag("ALIGNTEXTRIGHTEVEN", p.even.alignRight);
    w.flag("ALIGNTEXTCENTEREVEN", p.even.alignCenter);
    w.flag("APPLYTOALL", p.applyToAll);
    w.flag("APPLYTOEVEN", p.applyToEven);
    w.integer("1NTH", p.nth);
    w.flag("AB2UP", p.abTwoUp);
    w.flag("SEQUENTIAL", p.sequential);
    w.flag("CALCRIGHT", p.shown.fromRight);
    w.flag("CALCTOP", p.shown.fromTop);
    w.flag("CALCRIGHTALL", p.allOdd.fromRight);
    w.flag("CALCTOPALL", p.allOdd.fromTop);
    w.flag("CALCRIGHTEVEN", p.even.fromRight);
    w.flag("CALCTOPEVEN", p.even.fromTop);
    w.flag("FORCEPORTRAIT", p.forcePortrait);
    w.flag("REVERSE", p.reverse);
    w.flag("ROMANNUMERALS", p.romanUpper);
    w.flag("ROMANNUMERALSLOWER", p.romanLower);
    w.flag("CMYK", p.useCmyk);
    w.integer("TEXTCOLOR", p.textColor);
    w.integer("TEXTCOLORCMYKC", p.cmykC);
    w.integer("TEXTCOLORCMYKM", p.cmykM);
    w.integer("TEXTCOLORCMYKY", p.cmykY);
    w.integer("TEXTCOLORCMYKK", p.cmykK);
    w.integer("DEGREESANGLE", p.angleDegrees);
    w.text("INFILE", p.inputPath);
    w.text("OUTFILE", p.outputPath);
    return w.take();
}

bool writeParametersFile(const PageParameters& p, const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    const std::string bytes = formatParameters(p);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return !out.fail();
}

void parseParameters(PageParameters& p, const std::string& content, bool includePaths,
                     CmykValues* cmykForm) {
    LoadContext context{p, includePaths, cmykForm};
    // Lines are read whole whatever their length; CR and LF both end a line.
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find_first_of("\r\n", start);
        if (end == std::string::npos) end = content.size();
        readLine(context, std::string_view(content).substr(start, end - start));
        start = end + 1;
    }
}

bool readParametersFile(PageParameters& p, const std::string& path, bool includePaths,
                        CmykValues* cmykForm) {
    // The resets give absent flag lines their meaning, so they wait until there is a file: a
    // missing file (the first start, with no "Default.ppf" yet) leaves the record as it was.
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    resetPresenceFlags(p);
    const std::string content{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    parseParameters(p, content, includePaths, cmykForm);
    return true;
}

} // namespace folvane
