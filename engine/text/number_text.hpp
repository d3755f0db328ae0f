// Which number a page shows and the text stamped around it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tavrix/stamp_settings.hpp"

namespace tavrix {

// The number shown at page position `p` (1-based, page-tree order) of a document of
// `pageCount` pages, or nullopt when the page is not stamped. Raises `highest` to the number.
std::optional<int32_t> shownNumber(const StampSettings& job, int32_t p, uint32_t pageCount,
                                   int32_t& highest);

// The stamp text for shown number `n`: prefix, numbers, separator and ending as they are.
// The numbers are ASCII (digits, a minus sign, roman letters), whatever the settings.
std::string composeRawText(const StampSettings& job, int32_t n, uint32_t pageCount);

// The same, escaped for a PDF literal string.
std::string composeStampText(const StampSettings& job, int32_t n, uint32_t pageCount);

// Zero fill beyond this many digits is not applied (a wider mask would only make huge texts).
inline constexpr int32_t kMaxMaskDigits = 64;

} // namespace tavrix
