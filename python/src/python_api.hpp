// How the engine's member table reads in Python: snake_case names, Python types and defaults,
// and the text that documents each setting. The extension's docstrings and the generated type
// stubs both come from here, so neither holds a list of its own.
#pragma once

#include <string>
#include <string_view>

#include "tavrix/members.hpp"

namespace tavrix::python {

// "startPage" -> "start_page", "CMYKcolor" -> "cmyk_color", "up2" -> "up2".
std::string snakeName(std::string_view memberName);

// The setting of a snake_case name; nullptr when there is none.
const PropertyInfo* findSetting(std::string_view snake);

// "int", "bool" or "str".
std::string_view pythonType(const PropertyInfo& p);

// The default as Python writes it: 1, False, 'Page '.
std::string pythonDefault(const PropertyInfo& p);

// One line per setting: "    start_page: int = 1\n        first page to stamp, ...".
std::string settingsDoc();

// The type stubs of the whole package (tavrix/__init__.pyi).
std::string packageStubs();

} // namespace tavrix::python
