#include "engine/pdf/raw_object.hpp"

#include <algorithm>
#include <cstring>

#include "engine/pdf/pdf_exception.hpp"
#include "engine/pdf/pdf_scanner.hpp"

namespace tavrix {

RawObject& RawObject::operator=(RawObject&& other) noexcept {
    if (this == &other) return *this;
    const bool ownsView = !other.owned_.empty() && other.view_.data() == other.owned_.data();
    owned_ = std::move(other.owned_);
    view_ = ownsView ? std::string_view(owned_) : other.view_;
    fileOffset_ = other.fileOffset_;
    other.view_ = {};
    other.fileOffset_ = -1;
    return *this;
}

size_t findBytes(std::string_view buffer, size_t from, size_t end, std::string_view pattern) {
    if (end > buffer.size()) end = buffer.size();
    if (pattern.empty() || from >= end || end - from < pattern.size()) return 0;
    const void* hit = memmem(buffer.data() + from, end - from, pattern.data(), pattern.size());
    if (!hit) return 0;
    return static_cast<size_t>(static_cast<const char*>(hit) - buffer.data()) + pattern.size() - 1;
}

namespace {

// The stream's /Length when it is a usable integer, directly or through a reference.
std::optional<int64_t> streamLength(XrefTable& xref, std::string_view text, const Value& dict) {
    const std::optional<DictEntry> entry = findEntry(text, dict.begin, "Length");
    if (!entry) return std::nullopt;
    if (const std::optional<int64_t> direct = readIntegerValue(text, entry->value)) return direct;
    const std::optional<ObjectRef> ref = readReference(text, entry->value);
    if (!ref || ref->num > INT32_MAX || ref->gen > INT32_MAX) return std::nullopt;
    try {
        const PdfObject length =
            xref.fetchObject(static_cast<int32_t>(ref->num), static_cast<int32_t>(ref->gen));
        if (length.isInt()) return length.getInt64();
    } catch (const CPdfException&) {
        // An object the reader refuses is no length; the data is measured instead.
    }
    return std::nullopt;
}

// Just past "endstream" when the stream's data, `length` bytes from `data`, runs right up to
// the keyword; nullopt when the length is of no use (none, negative, too long, or wrong).
std::optional<size_t> endstreamAfter(std::string_view text, size_t data,
                                     std::optional<int64_t> length) {
    size_t afterKeyword = 0;
    if (!length || *length < 0 || static_cast<uint64_t>(*length) > text.size() - data ||
        !endstreamAt(text, data + static_cast<size_t>(*length), afterKeyword))
        return std::nullopt;
    return afterKeyword;
}

// Where the text of the object whose value starts at `body` ends: just past the "endobj" that
// follows its last token, or, for a stream, past the "endobj" after its data. The data is
// skipped by its Length when "endstream" stands there, and measured to the keyword otherwise.
// 0 when the text gives no end.
size_t objectEnd(XrefTable& xref, std::string_view text, size_t body) {
    const ObjectEnd end = scanToObjectEnd(text, body);
    if (end.kind == ObjectEnd::Kind::Endobj) return end.at;
    if (end.kind != ObjectEnd::Kind::Stream) return 0;
    const size_t data = streamDataStart(text, end.at);
    size_t afterData = 0;
    if (const std::optional<size_t> after =
            endstreamAfter(text, data, streamLength(xref, text, end.dict))) {
        afterData = *after;
    } else {
        const size_t keyword = findEndstream(text, data);
        if (keyword == std::string_view::npos) return 0;
        afterData = keyword + 9;
    }
    const ObjectEnd tail = scanToObjectEnd(text, afterData);
    return tail.kind == ObjectEnd::Kind::Endobj ? tail.at : 0;
}

} // namespace

RawObject readRawObject(XrefTable& xref, int32_t num) {
    // An object outside the table is missing, as a free one is: there is nothing to copy.
    if (num < 0 || static_cast<size_t>(num) >= xref.entries().size()) return {};
    const XrefEntry e = xref.entries()[static_cast<size_t>(num)];
    if (e.type == XrefType::InUse) {
        const std::string_view file = xref.file()->view();
        const int64_t offset = xref.headerShift() + e.offset;
        if (offset < 0 || offset >= static_cast<int64_t>(file.size())) return {};
        // Cross-reference data that points at another object (or at nothing) must not make the
        // writer copy that text under this number. A comment or line end before the header
        // belongs to no object: the text starts at the header itself.
        const std::optional<ObjectHeader> header =
            readObjectHeader(file, static_cast<size_t>(offset));
        if (!header || header->num != num || header->gen != e.gen) return {};
        PdfScanner toHeader(file, static_cast<size_t>(offset));
        toHeader.skipSpace();
        const size_t start = toHeader.pos();
        // No object runs into the next one the table places; the token scan stays within that
        // bound, so a string left open cannot send every object's scan to the end of the file.
        const std::string_view bounded =
            file.substr(0, std::max(xref.objectBound(num), header->end));
        size_t end = objectEnd(xref, bounded, header->end);
        // An object without an end of its own (a string left open, "endobj" missing) is taken
        // through the first "endobj" after it, whatever precedes it.
        if (end == 0) {
            const size_t p = findBytes(file, header->end, file.size(), "endobj");
            if (p == 0) return {};
            end = p + 1;
        }
        // Through "endobj" and one byte more, normally the line end.
        end = std::min(end + 1, file.size());
        return RawObject(file.substr(start, end - start), static_cast<int64_t>(start));
    }
    if (e.type == XrefType::Compressed) {
        const std::optional<std::string_view> bytes = xref.compressedObjectBytes(num, 0);
        if (!bytes || bytes->empty()) return {};
        std::string text;
        // Made once at its full size: one allocation, however the member ends.
        text.reserve(16 + bytes->size() + 16);
        text.append(std::to_string(num)).append(" 0 obj\n").append(*bytes);
        // A member that ends in a name, number or keyword ("/This", "12", "null") would run
        // into "endobj"; a line feed keeps the token whole.
        const unsigned char last = static_cast<unsigned char>(bytes->back());
        if (!isPdfWhitespace(last) && !isPdfDelimiter(last)) text += '\n';
        text.append("endobj\r");
        return RawObject(std::move(text));
    }
    return {};
}

std::optional<std::string> streamLengthMended(XrefTable& xref, std::string_view objectText) {
    if (findBytes(objectText, 0, objectText.size(), "stream") == 0) return std::nullopt;
    const std::optional<ObjectHeader> header = readObjectHeader(objectText, 0);
    if (!header) return std::nullopt;
    const ObjectEnd end = scanToObjectEnd(objectText, header->end);
    if (end.kind != ObjectEnd::Kind::Stream) return std::nullopt;
    const size_t data = streamDataStart(objectText, end.at);
    if (endstreamAfter(objectText, data, streamLength(xref, objectText, end.dict)))
        return std::nullopt;
    const size_t keyword = findEndstream(objectText, data);
    const std::optional<DictEntry> entry = findEntry(objectText, end.dict.begin, "Length");
    if (keyword == std::string_view::npos || !entry) return std::nullopt;
    std::string text(objectText);
    text.replace(entry->value.begin, entry->value.end - entry->value.begin,
                 std::to_string(dataEndBefore(objectText, data, keyword) - data));
    return text;
}

bool hasSoundLength(std::string_view objectText) {
    const std::optional<ObjectHeader> header = readObjectHeader(objectText, 0);
    if (!header) return false;
    const ObjectEnd end = scanToObjectEnd(objectText, header->end);
    if (end.kind != ObjectEnd::Kind::Stream) return false;
    const std::optional<DictEntry> entry = findEntry(objectText, end.dict.begin, "Length");
    return entry && endstreamAfter(objectText, streamDataStart(objectText, end.at),
                                   readIntegerValue(objectText, entry->value));
}

NewestTrailer findNewestTrailer(XrefTable& xref) {
    NewestTrailer t;
    const std::string_view file = xref.file()->view();
    if (xref.trailerSection() < 0) return t;
    const int64_t at = xref.headerShift() + xref.trailerSection();
    if (at < 0 || at >= static_cast<int64_t>(file.size())) return t;
    PdfScanner s(file, static_cast<size_t>(at));
    const Token first = s.next();
    const std::string_view word = file.substr(first.begin, first.end - first.begin);
    if (first.kind == TokenKind::Regular && word == "xref") {
        for (;;) { // past the table's entries
            const Token tok = s.next();
            if (tok.kind == TokenKind::End) return t;
            if (tok.kind == TokenKind::Regular &&
                file.substr(tok.begin, tok.end - tok.begin) == "trailer")
                break;
        }
        t.dictFrom = s.pos();
    } else if (first.kind == TokenKind::Regular && word == "trailer") {
        t.dictFrom = s.pos(); // a trailer that a rebuild found without its table
    } else {
        // A cross-reference stream: its dictionary is the trailer.
        const std::optional<ObjectHeader> header = readObjectHeader(file, static_cast<size_t>(at));
        if (!header) return t;
        t.stream = true;
        t.dictFrom = header->end;
    }
    t.found = true;
    return t;
}

namespace {

std::optional<DictEntry> trailerEntry(XrefTable& xref, const NewestTrailer& t,
                                      std::string_view key) {
    if (!t.found) return std::nullopt;
    return findEntry(xref.file()->view(), t.dictFrom, key);
}

} // namespace

std::optional<Value> directTrailerEntry(XrefTable& xref, std::string_view key,
                                        std::string_view& text) {
    text = xref.file()->view();
    const std::optional<DictEntry> entry = trailerEntry(xref, findNewestTrailer(xref), key);
    if (!entry || !entry->value.closed) return std::nullopt;
    return entry->value;
}

std::string_view directTrailerDict(XrefTable& xref, std::string_view key) {
    const std::optional<DictEntry> entry = trailerEntry(xref, findNewestTrailer(xref), key);
    if (!entry || entry->value.kind != ValueKind::Dict || !entry->value.closed) return {};
    return entry->value.in(xref.file()->view());
}

std::string_view trailerValueText(XrefTable& xref, const NewestTrailer& trailer,
                                  std::string_view key) {
    const std::optional<DictEntry> entry = trailerEntry(xref, trailer, key);
    if (!entry || !entry->value.closed) return {};
    return entry->value.in(xref.file()->view());
}

} // namespace tavrix
