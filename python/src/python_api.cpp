#include "python_api.hpp"

#include <cctype>
#include <type_traits>
#include <variant>

namespace tavrix::python {
namespace {

bool isUpper(char c) {
    return std::isupper(static_cast<unsigned char>(c)) != 0;
}
bool isLower(char c) {
    return std::islower(static_cast<unsigned char>(c)) != 0;
}

// A Python string literal of ASCII text (every default is ASCII).
std::string pythonLiteral(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'' || c == '\\') out += '\\';
        out += c;
    }
    return out + "'";
}

} // namespace

std::string snakeName(std::string_view name) {
    std::string out;
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (i > 0 && isUpper(c) && !isUpper(name[i - 1])) out += '_';
        // A run of capitals ends a word where lower case follows it ("CMYKcolor").
        if (i > 1 && isLower(c) && isUpper(name[i - 1]) && isUpper(name[i - 2])) out += '_';
        out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return out;
}

const PropertyInfo* findSetting(std::string_view snake) {
    for (const PropertyInfo& p : tavrixProperties())
        if (snakeName(p.name) == snake) return &p;
    return nullptr;
}

std::string_view pythonType(const PropertyInfo& p) {
    switch (p.type) {
    case PropertyType::Long:
        return "int";
    case PropertyType::Flag:
        return "bool";
    case PropertyType::Text:
    case PropertyType::StampText:
        break;
    }
    return "str";
}

std::string pythonDefault(const PropertyInfo& p) {
    const std::string text = defaultText(p);
    switch (p.type) {
    case PropertyType::Long:
        return text;
    case PropertyType::Flag:
        return text == "0" ? "False" : "True";
    case PropertyType::Text:
    case PropertyType::StampText:
        break;
    }
    return pythonLiteral(text);
}

std::string settingsDoc() {
    std::string doc;
    for (const PropertyInfo& p : tavrixProperties()) {
        doc += "    " + snakeName(p.name) + ": " + std::string(pythonType(p)) + " = " +
               pythonDefault(p) + "\n        " + std::string(p.meaning) + "\n";
    }
    return doc;
}

std::string packageStubs() {
    std::string settingsParams, attributes;
    for (const PropertyInfo& p : tavrixProperties()) {
        const std::string name = snakeName(p.name);
        const std::string type(pythonType(p));
        // Texts that name files take paths as well.
        const std::string accepts = type == "str" ? "str | os.PathLike[str]" : type;
        settingsParams += "        " + name + ": " + accepts + " = ...,\n";
        attributes += "    @property\n    def " + name + "(self) -> " + type + ":\n        \"\"\"" +
                      std::string(p.meaning) + "\"\"\"\n    @" + name + ".setter\n    def " + name +
                      "(self, value: " + accepts + ") -> None: ...\n";
    }
    return R"(# Type stubs of the tavrix package, generated from the engine's member table.
import os
from dataclasses import dataclass
from typing import Callable, Iterable, Sequence

__version__: str

_Path = str | os.PathLike[str] | bytes

class StampError(Exception):
    """A file could not be stamped: `reason` says why, in plain words."""
    message: str
    reason: str
    path: str

@dataclass(frozen=True)
class StampResult:
    input: str
    output: str
    pages: int
    start: int
    first: int | None
    last: int | None
    next: int

@dataclass(frozen=True)
class PageSurvey:
    pages: int
    positions: tuple[int, ...]

@dataclass(frozen=True)
class PlannedFile:
    path: str
    start: int
    first: int | None
    last: int | None
    pages: int | None
    counter: int | None
    error: str | None

class Stamper:
    """The stamp settings; stamp() applies them to a file."""
    def __init__(
        self,
        *,
)" + settingsParams +
           R"(    ) -> None: ...
    def copy(self, **changes: object) -> Stamper: ...
    def stamp(
        self,
        input: _Path,
        output: _Path,
        *,
        password: str | None = None,
        repair: bool = False,
        progress: Callable[[int, int], object] | None = None,
    ) -> StampResult: ...
)" + attributes +
           R"(
def page_count(path: _Path, *, password: str | None = None, repair: bool = False) -> int: ...
def survey(path: _Path, *, password: str | None = None, repair: bool = False) -> PageSurvey: ...
def plan(
    files: Iterable[_Path],
    stamper: Stamper,
    *,
    password: str | None = None,
    repair: bool = False,
    surveys: Sequence[PageSurvey | BaseException | None] | None = None,
    jobs: int | None = None,
) -> list[PlannedFile]: ...
)";
}

} // namespace tavrix::python
