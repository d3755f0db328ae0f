// Reading a fonts file into font records.

#include "engine/fonts/fonts_file.hpp"

#include <algorithm>
#include <cstddef>
#include <string>

#include "engine/pdf/pdf_scanner.hpp"

namespace tavrix {

namespace {

// Lines this short cannot hold a record; they are skipped, which also passes over blank lines.
constexpr std::size_t kShortestRecordLine = 21; // line break included

bool isSeparator(char c) {
    return c == '|' || c == '\n';
}

// Reads like the C library's atoi (leading blanks, optional sign, digits up to the first other
// byte, no digits gives 0) but saturates at the int32 range instead of overflowing.
int32_t readField(std::string_view field) {
    std::size_t i = 0;
    while (i < field.size() && isPdfWhitespace(static_cast<unsigned char>(field[i])))
        ++i;
    int64_t value = 0;
    readInteger(field, i, value);
    return saturateInt32(value);
}

} // namespace

FontMetrics parseFontRecord(std::string_view line) {
    FontMetrics font{};
    // Fields by position, counting from 1; a run of separators counts as one, so empty fields do
    // not exist. Field 1 is the record mark; 7 to 12 carry nothing the engine uses, except that
    // the widths only start once field 12 is present.
    std::size_t fieldNumber = 0;
    std::size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && isSeparator(line[pos]))
            ++pos;
        if (pos == line.size()) break;
        const std::size_t end = std::min(line.find_first_of("|\n", pos), line.size());
        const std::string_view field = line.substr(pos, end - pos);
        pos = end;
        ++fieldNumber;
        if (fieldNumber == 2) {
            font.name = std::string(field);
        } else if (fieldNumber >= 3 && fieldNumber <= 6) {
            font.box[fieldNumber - 3] = readField(field);
        } else if (fieldNumber >= 13) {
            font.widths[fieldNumber - 13] = readField(field);
            if (fieldNumber - 13 == font.widths.size() - 1) break; // further fields are ignored
        }
    }
    return font;
}

std::optional<std::vector<FontMetrics>> readFontRecords(std::istream& in) {
    std::vector<FontMetrics> records;
    std::string line;
    bool first = true;
    while (std::getline(in, line)) {
        if (first && !line.starts_with(kFontsFileMark)) return std::nullopt;
        first = false;
        const std::size_t length = line.size() + (in.eof() ? 0 : 1);
        if (length < kShortestRecordLine) continue;
        records.push_back(parseFontRecord(line));
    }
    if (first) return std::nullopt; // an empty file carries no mark
    return records;
}

} // namespace tavrix
