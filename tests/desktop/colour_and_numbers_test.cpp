// Colour conversions and the reading and writing of numbers in fields.
#include <gtest/gtest.h>

#include "desktop/model/colour.hpp"
#include "desktop/model/number_text.hpp"

namespace folvane {
namespace {

TEST(Colour, RgbToCmykFollowsTheFormula) {
    EXPECT_EQ(rgbToCmyk(makeColor(255, 0, 0)), (Cmyk{0, 100, 100, 0}));
    EXPECT_EQ(rgbToCmyk(makeColor(255, 255, 255)), (Cmyk{0, 0, 0, 0}));
    EXPECT_EQ(rgbToCmyk(makeColor(128, 64, 32)), (Cmyk{0, 50, 75, 50}));
    EXPECT_EQ(rgbToCmyk(0), (Cmyk{0, 0, 0, 100})); // pure black is full black ink
}

TEST(Colour, CmykToRgbClampsPercentagesFromFiles) {
    EXPECT_EQ(cmykToRgb({0, 100, 100, 0}), makeColor(255, 0, 0));
    EXPECT_EQ(cmykToRgb({0, 0, 0, 100}), 0u);
    EXPECT_EQ(cmykToRgb({250, -20, 0, 0}), cmykToRgb({100, 0, 0, 0}));
}

TEST(Colour, SwitchingToCmykAndBackKeepsEveryColourWithinOneUnit) {
    for (uint32_t r = 0; r < 256; r += 5)
        for (uint32_t g = 0; g < 256; g += 17)
            for (uint32_t b = 0; b < 256; b += 3) {
                const uint32_t back = cmykToRgb(rgbToCmyk(makeColor(r, g, b)));
                // Percentages hold about 2.55 units per step, so one unit is not always reachable;
                // the rounding keeps every channel within half a step.
                EXPECT_LE(std::abs(int(redOf(back)) - int(r)), 2) << r << "," << g << "," << b;
                EXPECT_LE(std::abs(int(greenOf(back)) - int(g)), 2);
                EXPECT_LE(std::abs(int(blueOf(back)) - int(b)), 2);
            }
    EXPECT_EQ(cmykToRgb(rgbToCmyk(0)), 0u);
}

TEST(Colour, EngineForms) {
    EXPECT_EQ(engineRgb(makeColor(0x12, 0x34, 0x56)), 0x123456);
    EXPECT_EQ(engineCmyk({100, 50, 0, 1}), static_cast<int32_t>(0xFF800003));
    EXPECT_EQ(engineCmyk({0, 0, 0, 0}), 0);
    EXPECT_EQ(engineCmyk({300, 0, 0, -5}), static_cast<int32_t>(0xFF000000));
}

TEST(NumberFields, IntegersAcceptBlanksSignAndDigitsOnly) {
    EXPECT_EQ(parseIntegerField(" 12 "), 12);
    EXPECT_EQ(parseIntegerField("-7"), -7);
    EXPECT_EQ(parseIntegerField("+7"), 7);
    EXPECT_EQ(parseIntegerField("0"), 0);
    EXPECT_EQ(parseIntegerField("007"), 7);
    EXPECT_FALSE(parseIntegerField(""));
    EXPECT_FALSE(parseIntegerField("12x"));
    EXPECT_FALSE(parseIntegerField("1 2"));
    EXPECT_FALSE(parseIntegerField("1.0"));
    EXPECT_FALSE(parseIntegerField("-0")); // a zero must start with the digit 0
    EXPECT_FALSE(parseIntegerField("2147483648"));
    EXPECT_EQ(parseIntegerField("-2147483648"), -2147483647 - 1);
}

TEST(NumberFields, RealsAcceptOneDecimalReal) {
    EXPECT_EQ(parseRealField("11.54"), 11.54);
    EXPECT_EQ(parseRealField(" -0.5 "), -0.5);
    EXPECT_EQ(parseRealField("1e2"), 100);
    EXPECT_EQ(parseRealField(".5"), 0.5);
    EXPECT_EQ(parseRealField("0.0"), 0);
    EXPECT_FALSE(parseRealField(".0"));
    EXPECT_FALSE(parseRealField("-0"));
    EXPECT_FALSE(parseRealField("1e999"));
    EXPECT_FALSE(parseRealField("nan"));
    EXPECT_FALSE(parseRealField("12pt"));
    EXPECT_FALSE(parseRealField(""));
}

TEST(NumberFields, Formatting) {
    EXPECT_EQ(formatReal15(11.54), "11.54");
    EXPECT_EQ(formatReal15(-1), "-1");
    EXPECT_EQ(formatReal15(0.1), "0.1");
    EXPECT_EQ(formatReal6(1234567.0), "1.23457e+06");
    EXPECT_EQ(truncateToInt32(11.99), 11);
    EXPECT_EQ(truncateToInt32(-0.5), 0);
    EXPECT_EQ(truncateToInt32(-1), -1);
    EXPECT_EQ(truncateToInt32(1e300), 2147483647);
    EXPECT_EQ(truncateToInt32(-1e300), -2147483647 - 1);
}

} // namespace
} // namespace folvane
