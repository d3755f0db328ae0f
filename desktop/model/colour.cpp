#include "desktop/model/colour.hpp"

#include <algorithm>

namespace folvane {
namespace {

// nearest(x): add one half and drop the fraction.
int32_t nearest(double x) {
    return static_cast<int32_t>(x + 0.5);
}

double percent(int32_t p) {
    return std::clamp(p, 0, 100) / 100.0;
}

uint32_t channel(double ink, double k) {
    return static_cast<uint32_t>(std::clamp(nearest(255 * (1 - (k + (1 - k) * ink))), 0, 255));
}

// round(p * 255 / 100) in integers, so that 50 % gives 128 exactly.
uint32_t byteOf(int32_t p) {
    return static_cast<uint32_t>((std::clamp(p, 0, 100) * 255 + 50) / 100);
}

} // namespace

Cmyk rgbToCmyk(uint32_t color) {
    const double c = 1 - redOf(color) / 255.0;
    const double m = 1 - greenOf(color) / 255.0;
    const double y = 1 - blueOf(color) / 255.0;
    const double k = std::min({c, m, y});
    if (k >= 1) return Cmyk{0, 0, 0, 100};
    return Cmyk{nearest((c - k) / (1 - k) * 100), nearest((m - k) / (1 - k) * 100),
                nearest((y - k) / (1 - k) * 100), nearest(k * 100)};
}

uint32_t cmykToRgb(const Cmyk& cmyk) {
    const double k = percent(cmyk.k);
    return makeColor(channel(percent(cmyk.c), k), channel(percent(cmyk.m), k),
                     channel(percent(cmyk.y), k));
}

int32_t engineRgb(uint32_t color) {
    return static_cast<int32_t>(redOf(color) << 16 | greenOf(color) << 8 | blueOf(color));
}

int32_t engineCmyk(const Cmyk& cmyk) {
    return static_cast<int32_t>(byteOf(cmyk.c) << 24 | byteOf(cmyk.m) << 16 | byteOf(cmyk.y) << 8 |
                                byteOf(cmyk.k));
}

} // namespace folvane
