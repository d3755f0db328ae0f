// The objects that draw the stamp and where the stamp goes on a page.
#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <string>
#include <vector>

#include "engine/fonts/font_metrics.hpp"
#include "engine/writer/stamp_content.hpp"

namespace tavrix {
namespace {

using Box = std::array<float, 4>;
constexpr Box kLetter{0, 0, 612, 792};
constexpr Box kCropped{10, 20, 585, 772};

TEST(StampContent, OpacityStateWritesTwoDecimals) {
    EXPECT_EQ(buildOpacityState(50), " 0 obj<</Type/ExtGState/ca 0.50>>\n endobj\n");
    EXPECT_EQ(buildOpacityState(100), " 0 obj<</Type/ExtGState/ca 1.00>>\n endobj\n");
    EXPECT_EQ(buildOpacityState(150), " 0 obj<</Type/ExtGState/ca 1.50>>\n endobj\n");
    EXPECT_EQ(buildOpacityState(0), " 0 obj<</Type/ExtGState/ca 0.00>>\n endobj\n");
}

TEST(StampContent, StampStreamWithDefaultSettings) {
    const StampSettings s;
    const std::string text = "Chapter \\050A\\051 1 / 10";
    const Placement at = placeStamp(s, kLetter, 0, text);
    EXPECT_EQ(buildStampStream(s, at, "GS7", "F1234", text),
              " 0 obj\n<<\n/Length 150 \n>>\nstream\n"
              "\nQ\nBT\n/GS7 gs\n"
              "1.000000 0.000000 -0.000000 1.000000 20.000000 10.000000 Tm\n"
              "0.000000 0.000000 0.000000 rg\n"
              "/F1234 11 Tf\n"
              "(Chapter \\050A\\051 1 / 10) Tj\nET\n"
              "\nendstream\nendobj\n");
}

TEST(StampContent, AngleUsesPiTakenAsThreePointOneFour) {
    StampSettings s;
    s.fontSize = -4; // written as it is
    const std::string stream = buildStampStream(s, {602, 20, 90}, "GS1", "F1", "x");
    EXPECT_NE(stream.find("\n0.000796 1.000000 -1.000000 0.000796 602.000000 20.000000 Tm\n"),
              std::string::npos)
        << stream;
    EXPECT_NE(stream.find("\n/F1 -4 Tf\n"), std::string::npos);
}

// Pages one after another that differ in one number only (turned, moved, or -0 for 0, which is
// written apart) or in colour each get their own matrix and colour.
TEST(StampContent, EachPageGetsItsOwnMatrixAndColour) {
    StampSettings s;
    const auto tm = [&](Placement at) {
        const std::string stream = buildStampStream(s, at, "GS1", "F1", "x");
        const size_t end = stream.find(" Tm\n"), begin = stream.rfind('\n', end) + 1;
        return stream.substr(begin, stream.find('\n', end + 4) - begin);
    };
    EXPECT_EQ(tm({602, 20, 90}), "0.000796 1.000000 -1.000000 0.000796 602.000000 20.000000 Tm\n"
                                 "0.000000 0.000000 0.000000 rg");
    EXPECT_EQ(tm({602, 20, 0}), "1.000000 0.000000 -0.000000 1.000000 602.000000 20.000000 Tm\n"
                                "0.000000 0.000000 0.000000 rg");
    EXPECT_EQ(tm({602, -0.0f, 0}), "1.000000 0.000000 -0.000000 1.000000 602.000000 -0.000000 "
                                   "Tm\n0.000000 0.000000 0.000000 rg");
    EXPECT_EQ(tm({602, 0.0f, 0}), "1.000000 0.000000 -0.000000 1.000000 602.000000 0.000000 "
                                  "Tm\n0.000000 0.000000 0.000000 rg");
    s.color = 0xFF0000;
    EXPECT_EQ(tm({602, 0.0f, 0}), "1.000000 0.000000 -0.000000 1.000000 602.000000 0.000000 "
                                  "Tm\n1.000000 0.000000 0.000000 rg");
}

TEST(StampContent, LongTextIsWrittenWhole) {
    const StampSettings s;
    const std::string text(5000, 'x');
    const std::string stream = buildStampStream(s, {20, 10, 0}, "GS1", "F1", text);
    EXPECT_NE(stream.find("(" + text + ") Tj\nET\n\nendstream"), std::string::npos);
    const size_t begin = stream.find("stream\n") + 7, end = stream.find("\nendstream");
    EXPECT_NE(stream.find("/Length " + std::to_string(end - begin) + " \n"), std::string::npos);
}

TEST(StampContent, ColourOperator) {
    struct Case {
        int32_t color;
        uint32_t cmyk;
        const char* op;
    };
    const Case cases[] = {
        {0, 0, "0.000000 0.000000 0.000000 rg"},
        {0xFF0000, 0, "1.000000 0.000000 0.000000 rg"},
        {0x336699, 0, "0.200000 0.400000 0.600000 rg"},
        {0x7FFFFFFF, 0, "1.000000 1.000000 1.000000 rg"}, // bits above 23 play no part
        {0xFF0000, 0xFF000080, "1.000000 0.000000 0.000000 0.501961 k"}, // CMYK wins
        {0, 0x00000001, "0.000000 0.000000 0.000000 0.003922 k"},
        {0, 0x00FF3300, "0.000000 1.000000 0.200000 0.000000 k"},
    };
    for (const auto& c : cases) {
        StampSettings s;
        s.color = c.color;
        s.CMYKcolor = static_cast<int32_t>(c.cmyk);
        EXPECT_EQ(colourOperator(s), c.op) << std::hex << c.color << " " << c.cmyk;
    }
}

// Reference point and angle, table-driven. The text "Page 1 / 10" in 11-point Arial is 5115
// thousandths wide: 5115 / 72 = 71 (integer division), × 11 / 14 = 55.8, so a right-aligned
// text moves back by 55 points and a centred one by 27.
struct PlaceCase {
    const char* name;
    Box box;
    int32_t rotation;
    std::function<void(StampSettings&)> set;
    float x, y, angle;
};

void noforce(StampSettings& s) {
    s.noforce = true;
}

TEST(Placement, Table) {
    const std::string text = "Page 1 / 10";
    ASSERT_EQ(textWidth("Arial", text), 5115);
    using Step = std::function<void(StampSettings&)>;
    auto with = [](std::initializer_list<Step> list) {
        return [steps = std::vector<Step>(list)](StampSettings& s) {
            for (const auto& step : steps)
                step(s);
        };
    };
    auto center = [](StampSettings& s) { s.align = "center"; };
    auto right = [](StampSettings& s) { s.align = "right"; };
    auto centred = [](StampSettings& s) { s.posh = s.posv = -1; };
    auto flipv = [](StampSettings& s) { s.flipv = true; };
    auto fliph = [](StampSettings& s) { s.fliph = true; };
    const PlaceCase cases[] = {
        {"default", kLetter, 0, with({}), 20, 10, 0},
        {"angle", kLetter, 0, with({[](StampSettings& s) { s.fontAngle = 30; }}), 20, 10, 30},
        {"centred, align center", kLetter, 0, with({centred, center}), 306 - 27, 396, 0},
        {"centred, align left", kLetter, 0, with({centred}), 306, 396, 0},
        {"align right", kLetter, 0, with({right}), 20 - 55, 10, 0},
        {"flipv", kLetter, 0, with({flipv}), 20, 782, 0},
        {"fliph, align left", kLetter, 0, with({fliph}), 592, 10, 0},
        {"fliph, align right", kLetter, 0, with({fliph, right}), 592 - 55, 10, 0},
        {"fliph and flipv", kLetter, 0, with({fliph, flipv}), 592, 782, 0},
        {"fliph, centred", kLetter, 0, with({fliph, centred}), 306, 396, 0},
        {"cropped", kCropped, 0, with({}), 30, 30, 0},
        {"cropped, both flips", kCropped, 0, with({fliph, flipv}), 565, 762, 0},
        {"cropped, centred", kCropped, 0, with({centred}), 297.5f, 396, 0},
        {"bigger font", kLetter, 0, with({right, [](StampSettings& s) { s.fontSize = 28; }}),
         20 - 142, 10, 0},
        // Without noforce a rotated page is stamped as if upright.
        {"90 forced upright", kLetter, 90, with({}), 20, 10, 0},
        {"270 forced upright", kLetter, 270, with({fliph}), 592, 10, 0},
        // With noforce the stamp sits where the settings say on the page as displayed.
        {"90", kLetter, 90, with({noforce}), 602, 20, 90},
        {"-270", kLetter, -270, with({noforce}), 602, 20, -270},
        {"180", kLetter, 180, with({noforce}), 592, 782, 180},
        {"-180", kLetter, -180, with({noforce}), 592, 782, -180},
        {"270", kLetter, 270, with({noforce}), 10, 772, 270},
        {"-90", kLetter, -90, with({noforce}), 10, 772, -90},
        {"90 flipv", kLetter, 90, with({noforce, flipv}), 10, 20, 90},
        {"90 fliph", kLetter, 90, with({noforce, fliph}), 602, 772, 90},
        {"90 both flips", kLetter, 90, with({noforce, fliph, flipv}), 10, 772, 90},
        {"180 flipv", kLetter, 180, with({noforce, flipv}), 592, 10, 180},
        {"180 fliph", kLetter, 180, with({noforce, fliph}), 20, 782, 180},
        {"180 both flips", kLetter, 180, with({noforce, fliph, flipv}), 20, 10, 180},
        {"270 flipv", kLetter, 270, with({noforce, flipv}), 602, 772, 270},
        {"270 fliph", kLetter, 270, with({noforce, fliph}), 10, 20, 270},
        {"90 centred, align center", kLetter, 90, with({noforce, centred, center}), 306, 396 - 27,
         90},
        {"180 centred, align center", kLetter, 180, with({noforce, centred, center}), 306 + 27, 396,
         180},
        {"90 align right", kLetter, 90, with({noforce, right}), 602, 20 - 55, 90},
        {"270 align right", kLetter, 270, with({noforce, right}), 10, 772 + 55, 270},
        {"90 cropped", kCropped, 90, with({noforce}), 575, 40, 90},
        {"450 is 90", kLetter, 450, with({noforce}), 602, 20, 450},
        {"360 is upright", kLetter, 360, with({noforce}), 20, 10, 0},
        {"45 is ignored", kLetter, 45, with({noforce}), 20, 10, 0},
    };
    for (const auto& c : cases) {
        StampSettings s;
        c.set(s);
        const Placement at = placeStamp(s, c.box, c.rotation, text);
        EXPECT_FLOAT_EQ(at.x, c.x) << c.name;
        EXPECT_FLOAT_EQ(at.y, c.y) << c.name;
        EXPECT_FLOAT_EQ(at.angle, c.angle) << c.name;
    }
}

TEST(Placement, AlignmentMeasuresTheEscapedText) {
    // Each "(" counts as the four characters of "\050".
    StampSettings s;
    s.align = "right";
    s.fontSize = 14;
    const std::string escaped = "\\050\\050\\050";
    const int32_t w = textWidth("Arial", escaped) / 72;
    ASSERT_GT(w, textWidth("Arial", "(((") / 72);
    EXPECT_FLOAT_EQ(placeStamp(s, kLetter, 0, escaped).x, 20.0f - static_cast<float>(w));
}

} // namespace
} // namespace tavrix
