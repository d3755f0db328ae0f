// The params text of getTavrixFile, as clients build it: "key=value" pairs separated by ";"
// ("password=SECRET;repair=1"), where a value writes ";" as "\;" and "\" as "\\". The engine
// reads it (engine/service/call_options.hpp); unknown keys and other text are ignored.
#pragma once

#include <string>
#include <string_view>

namespace tavrix {

// `value` with ";" and "\" escaped, for building a params text.
inline std::string escapeOptionValue(std::string_view value) {
    std::string out;
    for (char c : value) {
        if (c == ';' || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

} // namespace tavrix
