// The process-wide font table: the built-in entries, then the records of every fonts file loaded
// so far. Jobs on different threads share it, so it is guarded by a reader/writer lock, and its
// entries live in a deque so that the pointers handed out by findFont stay valid while later
// fonts files append to it.

#include "engine/fonts/font_metrics.hpp"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <fstream>
#include <limits>
#include <mutex>
#include <shared_mutex>
#include <vector>

#include "engine/fonts/builtin_fonts.hpp"
#include "engine/fonts/fonts_file.hpp"
#include "engine/pdf/data_file.hpp"

namespace tavrix {

namespace {

bool isAsciiLetter(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

class FontTable {
  public:
    FontTable() {
        for (const BuiltinFont& builtin : kBuiltinFonts)
            add(FontMetrics{builtin.name, builtin.box, builtin.widths});
    }

    const FontMetrics* find(std::string_view name) const {
        const std::string key = normalizeFontName(name);
        std::shared_lock lock(mutex_);
        return findLocked(key);
    }

    // A record whose name is already found by an earlier entry could never be found itself, so
    // it is not kept: reloading the same fonts file in every job leaves the table as it was.
    // Nor is a record whose name has no letters, which no font name could look up sensibly.
    void append(std::vector<FontMetrics> records) {
        std::unique_lock lock(mutex_);
        for (FontMetrics& font : records) {
            const std::string key = normalizeFontName(font.name);
            if (!key.empty() && findLocked(key) == nullptr) add(std::move(font));
        }
    }

  private:
    struct Entry {
        std::string key; // normalized name
        FontMetrics font;
    };

    void add(FontMetrics font) {
        std::string key = normalizeFontName(font.name);
        entries_.push_back(Entry{std::move(key), std::move(font)});
    }

    const FontMetrics* findLocked(const std::string& key) const {
        for (const Entry& entry : entries_) {
            if (entry.key == key) return &entry.font;
        }
        return nullptr;
    }

    mutable std::shared_mutex mutex_;
    std::deque<Entry> entries_;
};

FontTable& fontTable() {
    static FontTable table;
    return table;
}

} // namespace

std::string normalizeFontName(std::string_view name) {
    std::string key;
    key.reserve(name.size());
    for (const char c : name) {
        if (isAsciiLetter(static_cast<unsigned char>(c))) key.push_back(c);
    }
    return key;
}

const FontMetrics* findFont(std::string_view name) {
    return fontTable().find(name);
}

int32_t textWidth(std::string_view fontName, std::string_view text) {
    const FontMetrics* font = findFont(fontName);
    if (font == nullptr) return 0;
    int64_t width = 0;
    for (const char c : text)
        width += font->widths[static_cast<unsigned char>(c)];
    width = std::clamp<int64_t>(width, std::numeric_limits<int32_t>::min(),
                                std::numeric_limits<int32_t>::max());
    return static_cast<int32_t>(width);
}

void loadFontsFile(const std::string& path) {
    // A fonts file that cannot be opened (a folder among them) is passed over in silence.
    if (path.empty() || !notDataFile(path).empty()) return;
    std::ifstream in(path, std::ios::binary);
    if (!in) return;
    std::printf("\nUsing fonts file: '%s'\n", path.c_str());
    std::optional<std::vector<FontMetrics>> records = readFontRecords(in);
    if (!records) {
        // The job goes on; a font that only this file would have supplied then fails by name.
        std::fputs("Invalid font file.\n", stdout);
        return;
    }
    fontTable().append(std::move(*records));
}

} // namespace tavrix
