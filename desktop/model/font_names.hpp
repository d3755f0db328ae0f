// The names of the fonts the engine knows without a fonts file, for the font list.
#pragma once

#include <span>
#include <string_view>

namespace folvane {

// Sorted byte-wise.
std::span<const std::string_view> builtInFontNames();

} // namespace folvane
