// Roman numerals as shown by the engine and previewed by the desktop program.
#pragma once

#include <cstdint>
#include <string>

namespace tavrix {

// Table lookup by decimal digit: 4000 and 5000 become four and five "M", thousands digits 6 to 9
// add nothing and 0 is the empty text. Numbers outside 0..9999 are reduced first (see .cpp).
std::string toRoman(int32_t v, bool lowerCase);

} // namespace tavrix
