// Colour conversions between the window's RGB value, its CMYK percentages and the engine's forms.
#pragma once

#include <cstdint>

namespace folvane {

struct Cmyk {
    int32_t c = 0, m = 0, y = 0, k = 0; // percentages 0..100
    bool operator==(const Cmyk&) const = default;
};

// The window's colour value: red in the lowest byte, green in the next, blue in the third.
constexpr uint32_t makeColor(uint32_t r, uint32_t g, uint32_t b) {
    return (r & 0xFF) | (g & 0xFF) << 8 | (b & 0xFF) << 16;
}
constexpr uint32_t redOf(uint32_t color) {
    return color & 0xFF;
}
constexpr uint32_t greenOf(uint32_t color) {
    return color >> 8 & 0xFF;
}
constexpr uint32_t blueOf(uint32_t color) {
    return color >> 16 & 0xFF;
}

// Black, where the chromatic part has no value, is C = M = Y = 0, K = 100.
Cmyk rgbToCmyk(uint32_t color);
// Percentages outside 0..100 (possible from a parameters file) are clamped first.
uint32_t cmykToRgb(const Cmyk& cmyk);

// The engine's `color`: 0xRRGGBB.
int32_t engineRgb(uint32_t color);
// The engine's `CMYKcolor`: 0xCCMMYYKK with each percentage scaled to round(p * 255 / 100).
int32_t engineCmyk(const Cmyk& cmyk);

} // namespace folvane
