// The members of ITavrixCom in slot order: one table that the automation server (its put
// switch and its type library), the command-line client (options and --help), the desktop
// program and the Python package all read. A member's default is the StampSettings field's own.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "tavrix/stamp_settings.hpp"

namespace tavrix {

// Long and Flag take a long (a flag stores value != 0); Text and StampText take a text
// (stamped texts are kept as given and converted to Windows-1252, the others kept as UTF-8).
enum class PropertyType { Long, Flag, Text, StampText };

using SettingField =
    std::variant<int32_t StampSettings::*, bool StampSettings::*, std::string StampSettings::*>;

struct PropertyInfo {
    std::string_view name;    // member name as the interface spells it
    int32_t dispid;           // dispatch identifier
    PropertyType type;        // what a put takes and how it is stored
    std::string_view help;    // help string in the type library
    SettingField field;       // where a put lands
    std::string_view meaning; // one line for --help
    // StampText only: where the text lands as given (UTF-8), beside its Windows-1252 form in
    // `field`.
    std::string StampSettings::*original = nullptr;
};

inline constexpr int32_t kGetTavrixFileDispid = 5;
// Slot of getTavrixFile in the vtable (IDispatch's seven slots come first).
inline constexpr int kGetTavrixFileSlot = 7;
inline constexpr std::string_view kGetTavrixFileHelp = "method getTavrixFile";

// Properties only, in slot order (dispatch identifiers 6..38); getTavrixFile comes before them.
std::span<const PropertyInfo> tavrixProperties();

// Whether two member names are the same name: late binding matches names ignoring ASCII case.
bool sameMemberName(std::string_view a, std::string_view b);
// Case-insensitive lookup, as automation clients bind names; nullptr when unknown.
const PropertyInfo* findProperty(std::string_view name);
const PropertyInfo* findPropertyByDispid(int32_t dispid);

// The vtable slot of a property, counting IDispatch's seven slots and getTavrixFile's.
int propertySlot(const PropertyInfo& p);

// The value a new instance holds, as shown to users ("1", "Page ", "left").
std::string defaultText(const PropertyInfo& p);

} // namespace tavrix
