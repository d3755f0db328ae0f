#include "engine/writer/page_patcher.hpp"

#include <unordered_set>

#include "engine/pdf/pdf_exception.hpp"
#include "engine/pdf/raw_object.hpp"

namespace tavrix {
namespace {

constexpr size_t npos = std::string::npos;

size_t findFrom(std::string_view text, size_t from, std::string_view pattern) {
    if (from > text.size()) return npos;
    const size_t at = text.find(pattern, from);
    return at;
}

// Just after the first "<<" at or after `from`.
size_t dictionaryStart(std::string_view text, size_t from) {
    const size_t at = findFrom(text, from, "<<");
    return at == npos ? npos : at + 2;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\0';
}

std::string refText(const char* fmt, int32_t num) {
    char buffer[48];
    std::snprintf(buffer, sizeof buffer, fmt, num);
    return buffer;
}

std::string namedRef(const std::string& name, int32_t num) {
    return " /" + name + " " + std::to_string(num) + " 0 R";
}

bool endsName(std::string_view text, size_t i) {
    return i >= text.size() || isSpace(text[i]) ||
           std::string_view("()<>[]{}/%").find(text[i]) != npos;
}

// Just past the literal string that opens at `i`. Strings may hold unbalanced brackets and
// dictionary delimiters, so scans skip them whole.
size_t afterLiteralString(std::string_view text, size_t i) {
    int nest = 0;
    for (; i < text.size(); ++i) {
        if (text[i] == '\\') {
            ++i;
            continue;
        }
        if (text[i] == '(') ++nest;
        if (text[i] == ')' && --nest == 0) break;
    }
    return i + 1;
}

// Position of `key` ("/Contents") as an entry of the dictionary that opens at the first "<<"
// at or after `from`, or npos. Keys of nested dictionaries (an inline annotation's /Contents)
// and bytes inside strings are not matches.
size_t findKey(std::string_view text, size_t from, std::string_view key) {
    size_t i = findFrom(text, from, "<<");
    if (i == npos) return npos;
    i += 2;
    int depth = 1;
    while (i < text.size() && depth > 0) {
        const char c = text[i];
        if (c == '(') {
            i = afterLiteralString(text, i);
        } else if (c == '<' && i + 1 < text.size() && text[i + 1] == '<') {
            ++depth;
            i += 2;
        } else if (c == '>' && i + 1 < text.size() && text[i + 1] == '>') {
            --depth;
            i += 2;
        } else if (c == '<') {
            const size_t end = text.find('>', i);
            if (end == npos) return npos;
            i = end + 1;
        } else if (c == '[') {
            ++depth;
            ++i;
        } else if (c == ']') {
            --depth;
            ++i;
        } else if (c == '%') {
            const size_t end = text.find_first_of("\r\n", i);
            i = end == npos ? text.size() : end;
        } else if (c == '/' && depth == 1 && text.substr(i, key.size()) == key &&
                   endsName(text, i + key.size())) {
            return i;
        } else {
            ++i;
        }
    }
    return npos;
}

// Replaces the reference after the page's "/Contents" by "[ Q 0 R <elements> S 0 R ]".
void replaceContentsRef(std::string& page, int32_t q, int32_t s, std::string_view elements) {
    const size_t key = findKey(page, 0, "/Contents");
    if (key == npos) return;
    const size_t first = key + 9;
    const size_t r = page.find('R', first);
    if (r == npos || page.find_first_not_of("0123456789 \t\r\n", first) != r) return;
    page.replace(first, r + 1 - first,
                 refText(" [ %d 0 R ", q) + std::string(elements) + refText(" %d 0 R ]", s));
}

} // namespace

std::string_view dictionaryTextAt(std::string_view text, size_t from) {
    const size_t start = findFrom(text, from, "<<");
    if (start == npos) return {};
    int depth = 0;
    size_t i = start;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '(') {
            i = afterLiteralString(text, i);
            continue;
        }
        if (c == '<' && i + 1 < text.size() && text[i + 1] == '<') {
            ++depth;
            i += 2;
            continue;
        }
        if (c == '>' && i + 1 < text.size() && text[i + 1] == '>') {
            i += 2;
            if (--depth == 0) return text.substr(start, i - start);
            continue;
        }
        if (c == '<') { // hexadecimal string
            const size_t end = text.find('>', i);
            if (end == npos) return {};
            i = end + 1;
            continue;
        }
        ++i;
    }
    return {};
}

int32_t PagePatcher::outputGen(int32_t num) const {
    const XrefEntry& e = xref_.entries()[static_cast<size_t>(num)];
    return e.type == XrefType::InUse ? e.gen : 0;
}

void PagePatcher::patchPage(int32_t pageNum, std::string_view pageText, int32_t q, int32_t s) {
    std::string page(pageText);
    const PdfObject pageObj = xref_.fetchObject(pageNum, outputGen(pageNum));
    if (pageObj.isDict()) {
        patchContents(page, *pageObj.getDict(), q, s);
        patchResources(page, *pageObj.getDict());
    }
    writer_.markWritten(pageNum, outputGen(pageNum));
    writer_.write(page);
}

void PagePatcher::patchContents(std::string& page, const PdfDict& dict, int32_t q, int32_t s) {
    const PdfObject stored = dict.lookupRaw("Contents");
    const PdfObject resolved = dict.lookup("Contents");
    if (stored.isNull() && resolved.isNull()) {
        const size_t at = dictionaryStart(page, 0);
        if (at != npos) {
            page.insert(at, "/Contents [ " + std::to_string(q) + " 0 R " + std::to_string(s) +
                                " 0 R ]");
        }
        return;
    }
    if (stored.isRef() && resolved.isNull()) {
        // A reference to a missing object: the page draws nothing of its own. Viewers drop a
        // whole contents array that holds a non-stream, so the reference is replaced.
        replaceContentsRef(page, q, s, "");
        return;
    }
    if (stored.isRef() && (resolved.isStream() || resolved.isError())) {
        const size_t key = findKey(page, 0, "/Contents");
        if (key == npos) return;
        size_t first = key + 9;
        while (first < page.size() && isSpace(page[first]))
            ++first;
        size_t last = page.find_first_of("/<>", first);
        if (last == npos) return; // nothing must be inserted without both ends
        while (last > first && (page[last - 1] == '\r' || page[last - 1] == '\n'))
            --last;
        page.insert(last, refText(" %d 0 R ]", s));
        page.insert(first, refText("[ %d 0 R ", q));
        return;
    }
    if (resolved.isArray() && stored.isRef()) {
        // Several pages may draw the same array object; rewriting it would give each of them
        // the streams (and so the number) of the last page stamped. The page gets a direct
        // array of its own instead, the shared elements between its two streams, and the array
        // object is copied as it is.
        const RawObject raw = readRawObject(xref_, stored.getRefNum());
        const std::string_view text = raw.bytes();
        const size_t open = text.find('[');
        const size_t close = open == npos ? npos : text.find(']', open);
        if (close != npos) replaceContentsRef(page, q, s, text.substr(open + 1, close - open - 1));
        return;
    }
    if (resolved.isArray()) {
        const size_t key = findKey(page, 0, "/Contents");
        if (key == npos) return;
        const size_t open = page.find('[', key);
        if (open == npos) return;
        const size_t close = page.find(']', open);
        if (close == npos) return;
        page.insert(close, refText(" %d 0 R ", s));
        page.insert(open + 1, refText(" %d 0 R ", q));
    }
}

std::string PagePatcher::fontRefs() const {
    std::string refs = namedRef(res_.fontName, res_.fontNum);
    for (const NamedObject& font : res_.moreFonts)
        refs += namedRef(font.name, font.num);
    return refs;
}

std::string PagePatcher::gsRefs() const {
    return namedRef(res_.gsName, res_.gsNum);
}

void PagePatcher::addEntry(std::string& text, size_t from, const PdfDict& resources,
                           std::string_view key, const std::string& refs) {
    const PdfObject stored = resources.lookupRaw(key);
    const std::string slash = "/" + std::string(key);
    if (stored.isNull()) {
        const size_t at = dictionaryStart(text, from);
        if (at != npos) text.insert(at, slash + " <<" + refs + " >>");
    } else if (stored.isDict()) {
        const size_t keyAt = findKey(text, from, slash);
        if (keyAt == npos) return;
        const size_t at = dictionaryStart(text, keyAt);
        if (at != npos) text.insert(at, refs + " ");
    } else if (stored.isRef()) {
        rewriteIndirectDict(stored.getRefNum(), refs + " ");
    }
}

void PagePatcher::addToResources(std::string& text, size_t from, const PdfDict& resources) {
    addEntry(text, from, resources, "Font", fontRefs());
    addEntry(text, from, resources, "ExtGState", gsRefs());
}

void PagePatcher::rewriteIndirectDict(int32_t num, const std::string& insert) {
    const RawObject raw = readRawObject(xref_, num);
    if (raw.empty()) return;
    std::string text(raw.bytes());
    const size_t at = dictionaryStart(text, 0);
    if (at != npos) text.insert(at, insert);
    writer_.markWritten(num, outputGen(num));
    writer_.write(text);
}

void PagePatcher::patchResources(std::string& page, const PdfDict& dict) {
    const PdfObject stored = dict.lookupRaw("Resources");
    const PdfObject resolved = dict.lookup("Resources");
    if (stored.isDict()) {
        // Positions move with each insertion, so "/Resources" is found again for the second.
        const PdfDict& resources = *stored.getDict();
        size_t r = findKey(page, 0, "/Resources");
        if (r == npos) return;
        addEntry(page, r, resources, "Font", fontRefs());
        r = findKey(page, 0, "/Resources");
        if (r == npos) return;
        addEntry(page, r, resources, "ExtGState", gsRefs());
        return;
    }
    if (stored.isRef()) {
        if (!resolved.isDict()) return;
        const int32_t num = stored.getRefNum();
        const RawObject raw = readRawObject(xref_, num);
        if (raw.empty()) return;
        std::string text(raw.bytes());
        addToResources(text, 0, *resolved.getDict());
        writer_.markWritten(num, outputGen(num));
        writer_.write(text);
        return;
    }
    if (!stored.isNull()) return;

    // The page inherits its resources from a parent node, or has none. Viewers look up the
    // stamp's font in the page's own resources, so the page gets a /Resources entry of its own:
    // a reference to an inherited indirect dictionary (rewritten with the two names added), a
    // copy of an inherited direct dictionary, or a new dictionary holding just the two.
    const size_t at = dictionaryStart(page, 0);
    if (at == npos) return;
    PdfObject parent = dict.lookupRaw("Parent");
    std::unordered_set<int32_t> seen;
    while (parent.isRef() && seen.insert(parent.getRefNum()).second && seen.size() < 256) {
        const int32_t parentNum = parent.getRefNum();
        if (parentNum < 0 || static_cast<size_t>(parentNum) >= xref_.entries().size()) break;
        const PdfObject node = xref_.fetchObject(parentNum, outputGen(parentNum));
        if (!node.isDict()) break;
        const PdfObject inherited = node.getDict()->lookupRaw("Resources");
        if (inherited.isRef()) {
            const PdfObject target = node.getDict()->lookup("Resources");
            if (!target.isDict()) break;
            page.insert(at, "/Resources " + std::to_string(inherited.getRefNum()) + " " +
                                std::to_string(inherited.getRefGen()) + " R ");
            const int32_t num = inherited.getRefNum();
            const RawObject raw = readRawObject(xref_, num);
            if (raw.empty()) return;
            std::string text(raw.bytes());
            addToResources(text, 0, *target.getDict());
            writer_.markWritten(num, outputGen(num));
            writer_.write(text);
            return;
        }
        if (inherited.isDict()) {
            const RawObject nodeText = readRawObject(xref_, parentNum);
            const size_t key = findFrom(nodeText.bytes(), 0, "/Resources");
            const std::string_view copy =
                key == npos ? std::string_view() : dictionaryTextAt(nodeText.bytes(), key);
            if (copy.empty()) break;
            std::string entry = "/Resources " + std::string(copy) + " ";
            addToResources(entry, 0, *inherited.getDict());
            page.insert(at, entry);
            return;
        }
        parent = node.getDict()->lookupRaw("Parent");
    }
    page.insert(at,
                "/Resources << /Font <<" + fontRefs() + " >> /ExtGState <<" + gsRefs() + " >> >> ");
}

} // namespace tavrix
