// Numbers as text: the lenient reading of page parameters files, the strict reading of the
// window's number fields, and the two ways reals are written.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace folvane {

// Leading-number rule of page parameters files: blanks skipped, optional sign, digits up to the
// first other character; no digits gives 0. Values beyond the type's range saturate.
int64_t leadingInteger(std::string_view text);
int32_t leadingInt32(std::string_view text);
// The same for a real with optional fraction and exponent. Always finite.
double leadingReal(std::string_view text);

// Window fields: the whole text must be one number between optional blanks, and a zero must be
// written starting with the digit 0. Values that do not fit are refused.
std::optional<int32_t> parseIntegerField(std::string_view text);
std::optional<double> parseRealField(std::string_view text);

// General notation with six significant digits, as page parameters files store reals.
std::string formatReal6(double v);
// Shortest form with up to 15 significant digits, as the window shows reals.
std::string formatReal15(double v);

// Truncation toward zero into a long, saturating instead of overflowing.
int32_t truncateToInt32(double v);

} // namespace folvane
