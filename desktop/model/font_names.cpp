#include "desktop/model/font_names.hpp"

#include <algorithm>
#include <vector>

#include "engine/fonts/builtin_fonts.hpp"

namespace folvane {

std::span<const std::string_view> builtInFontNames() {
    // Taken from the engine's generated metrics table, so the list cannot drift from the fonts
    // the engine knows.
    static const std::vector<std::string_view> names = [] {
        std::vector<std::string_view> list;
        list.reserve(tavrix::kBuiltinFonts.size());
        for (const tavrix::BuiltinFont& font : tavrix::kBuiltinFonts)
            list.emplace_back(font.name);
        std::sort(list.begin(), list.end());
        return list;
    }();
    return names;
}

} // namespace folvane
