// The style sheet that paints a colour swatch in the window's colour value.
#pragma once

#include <QString>
#include <cstdint>

#include "desktop/model/colour.hpp"

namespace folvane {

inline QString swatchStyle(uint32_t color) {
    return QStringLiteral("background-color: rgb(%1, %2, %3); border: 1px solid gray;")
        .arg(redOf(color))
        .arg(greenOf(color))
        .arg(blueOf(color));
}

} // namespace folvane
