// The members of the automation interface in slot order, with their dispatch identifiers. The
// automation server, the command-line client and the tests all read this one list.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace tavrix {

enum class PropertyType { Long, Flag, Text, StampText };

struct PropertyInfo {
    std::string_view name;     // member name as the interface spells it
    int32_t dispid;            // dispatch identifier
    PropertyType type;         // Long and Flag take a long; Text and StampText a string
    std::string_view fallback; // default value as shown to users
    std::string_view meaning;  // one-line description for --help
};

inline constexpr int32_t kGetTavrixFileDispid = 5;

// Properties only, slots 2..34 (dispatch identifiers 6..38) in slot order.
std::span<const PropertyInfo> tavrixProperties();

// Case-insensitive lookup, as automation clients bind names; nullptr when unknown.
const PropertyInfo* findProperty(std::string_view name);
const PropertyInfo* findPropertyByDispid(int32_t dispid);

} // namespace tavrix
