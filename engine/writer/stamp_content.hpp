// The objects that draw a stamp: the run's opacity graphics state, and per stamped page a
// stream that saves the graphics state before the page's content and one that restores it
// and draws the text after it. Also where on the page the text goes, and at which angle.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "tavrix/stamp_settings.hpp"

namespace tavrix {

struct Placement {
    float x = 0;
    float y = 0;
    float angle = 0; // degrees, counter-clockwise
};

std::string buildOpacityState(int32_t opacity);
std::string buildSaveStateStream();
std::string colourOperator(const StampSettings& settings);

// Reference point and angle for `text` (already escaped) on a page with box x0 y0 x1 y1. With
// noforce, a page turned by `rotation` gets the stamp placed and turned as the page is shown.
Placement placeStamp(const StampSettings& settings, const std::array<float, 4>& box,
                     int32_t rotation, std::string_view text);
// The same for a text whose width (in 1/1000 of the font size) is measured already.
Placement placeStamp(const StampSettings& settings, const std::array<float, 4>& box,
                     int32_t rotation, int32_t textWidth);

std::string buildStampStream(const StampSettings& settings, const Placement& at,
                             const std::string& gsName, const std::string& fontName,
                             std::string_view text);
// The same with the operators that select the font and show the text given whole (they end
// with a line break).
std::string buildStampStream(const StampSettings& settings, const Placement& at,
                             const std::string& gsName, std::string_view showText);

} // namespace tavrix
