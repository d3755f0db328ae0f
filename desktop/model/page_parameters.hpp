// The desktop program's settings record: everything the main window edits, with the values the
// program starts from before any page parameters file is read.
#pragma once

#include <cstdint>
#include <string>

namespace folvane {

// One placement of the stamp.
struct PositionSet {
    std::string positionName = "Bottom Left"; // last quick-setup entry chosen; informative only
    double vertical = 10;                     // points from the bottom (from the top if fromTop)
    double horizontal = 20; // points from the left (from the right if fromRight); -1 centres
    bool fromRight = false;
    bool fromTop = false;
    bool alignLeft = true;
    bool alignRight = false;
    bool alignCenter = false;

    bool operator==(const PositionSet&) const = default;
};

struct PageParameters {
    std::string prefixText = "Page ";
    std::string separatorText = " / ";
    std::string endText;
    int32_t firstNumber = 1;
    int32_t lastNumber = 99999; // passed on as the engine's endNumber, which it keeps unused
    int32_t firstPage = 1;
    int32_t lastPage = 99999; // 99999 means to the end
    bool onePageNumberOnly = false;
    bool noPageNumbers = false;
    bool twoUp = false;
    bool abTwoUp = false;
    bool sequential = false;
    int32_t maskDigits = 0;
    int32_t nth = 0;
    bool reverse = false;
    bool romanUpper = false;
    bool romanLower = false;
    bool forcePortrait = true;
    // Kept and saved only: no control edits them and nothing reads them.
    bool carryOver = false;
    int32_t incrementEvery = 1;
    bool embedFonts = true;
    bool embedFontSubset = false;
    std::string fontType = "TrueType";
    std::string fontFlags = "STD_ENCODING";

    std::string fontName = "Arial";
    double fontSize = 11;
    int32_t angleDegrees = 0;
    int32_t opacityPercent = 100;
    uint32_t textColor = 0; // red in the lowest byte, green in the next, blue in the third
    bool useCmyk = false;
    int32_t cmykC = 0, cmykM = 0, cmykY = 0, cmykK = 0; // percentages

    PositionSet shown;
    PositionSet allOdd;
    PositionSet even{"Bottom Right", 10, 80, true, false, true, false, false};
    bool samePosition = true;
    bool oddEvenDifferent = false;
    bool applyToAll = true;
    bool applyToEven = false;

    std::string inputPath;
    std::string outputPath;

    bool operator==(const PageParameters&) const = default;
};

// The step shared by saving and by Apply Text: the shown placement is stored into the set that
// applyToAll selects.
void storeShownPosition(PageParameters& p);

} // namespace folvane
