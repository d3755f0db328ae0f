#include "engine/pdf/raw_object.hpp"

#include <algorithm>
#include <cstring>

#include "engine/pdf/pdf_exception.hpp"
#include "engine/pdf/pdf_parser.hpp"
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

int64_t findRefAfterKey(std::string_view text, std::string_view key, bool& isRef) {
    isRef = false;
    size_t i = findBytes(text, 0, text.size(), key);
    if (i == 0) return 0;
    while (i < text.size() && !(text[i] >= '0' && text[i] <= '9'))
        ++i;
    if (i >= text.size()) return 0;
    int64_t value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        // Object numbers beyond 32 bits cannot exist; saturating keeps the value defined.
        if (value < (int64_t{1} << 40)) value = value * 10 + (text[i] - '0');
        ++i;
    }
    isRef = text.substr(i, 4) == " 0 R";
    return value;
}

namespace {

// Where the text of a directly stored object ends: after the first "endobj" that follows the
// stream data, when the object is a stream whose Length holds, else after the first "endobj".
// Stream data may itself contain "endobj" (an embedded PDF, for instance); cutting there would
// lose the rest of the stream.
// The end of a stream object's text: the first "endobj" after its data, when the object parses
// as a stream with a usable Length; 0 otherwise.
size_t endAfterStreamData(XrefTable& xref, int32_t num, const XrefEntry& e, std::string_view file,
                          size_t start) {
    try {
        // Parsed as a fetch would, but without decoding: an image's filter is of no concern
        // here, only where its data ends.
        ParserLimits raw;
        raw.decodeStreams = false;
        PdfParser parser(
            &xref,
            std::make_shared<FileStream>(xref.file(), xref.file()->data(), xref.file()->size(),
                                         static_cast<int64_t>(start), 0, PdfObject::makeNull()),
            raw);
        const PdfObject n = parser.getObject();
        const PdfObject g = parser.getObject();
        const PdfObject keyword = parser.getObject();
        if (!n.isInt() || n.getInt() != num || !g.isInt() || g.getInt() != e.gen ||
            !keyword.isCommand("obj"))
            return 0;
        const PdfObject obj = parser.getObject();
        if (!obj.isStream() || obj.getStream()->byteLength() <= 0) return 0;
        const int64_t dataEnd = obj.getStream()->startOffset() + obj.getStream()->byteLength();
        if (dataEnd >= static_cast<int64_t>(file.size())) return 0;
        return findBytes(file, static_cast<size_t>(dataEnd), file.size(), "endobj");
    } catch (const CPdfException&) {
        // A stream the reader refuses is copied up to its first "endobj", as any other object.
        return 0;
    }
}

size_t objectEnd(XrefTable& xref, int32_t num, const XrefEntry& e, std::string_view file,
                 size_t start) {
    // The head of the object tells what it is without reading through large stream data:
    // an "endobj" with no "stream" before it ends a plain object; a "stream" keyword means the
    // data is skipped by its Length (the data may itself contain "endobj"). The window grows
    // until one of the two words turns up, so small objects cost little and images are not
    // scanned at all.
    for (size_t window = 1024;; window *= 2) {
        const size_t headEnd = std::min(file.size(), start + window);
        const size_t early = findBytes(file, start, headEnd, "endobj");
        const size_t keyword = findBytes(file, start, early ? early - 5 : headEnd, "stream");
        if (early != 0 && keyword == 0) return early;
        if (keyword != 0) {
            if (const size_t q = endAfterStreamData(xref, num, e, file, start)) return q;
            return findBytes(file, start, file.size(), "endobj");
        }
        if (headEnd == file.size()) return 0;
    }
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\0';
}

// Whether `text` starts with the header "num gen obj". Cross-reference data that points at
// another object (or at nothing) must not make the writer copy that text under this number.
bool headerMatches(std::string_view text, int32_t num, int32_t gen) {
    size_t i = 0;
    auto skipSpace = [&] {
        while (i < text.size() && isSpace(text[i]))
            ++i;
    };
    auto readNumber = [&](int64_t& value) {
        const size_t from = i;
        value = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9' && i - from < 12)
            value = value * 10 + (text[i++] - '0');
        return i > from;
    };
    int64_t n = 0, g = 0;
    skipSpace();
    if (!readNumber(n) || n != num) return false;
    skipSpace();
    if (!readNumber(g) || g != gen) return false;
    skipSpace();
    return text.substr(i, 3) == "obj";
}

} // namespace

RawObject readRawObject(XrefTable& xref, int32_t num) {
    if (num < 0 || static_cast<size_t>(num) >= xref.entries().size())
        throw CPdfException("Corrupted PDF file");
    const XrefEntry e = xref.entries()[static_cast<size_t>(num)];
    if (e.type == XrefType::InUse) {
        const std::string_view file = xref.file()->view();
        const int64_t start = xref.headerShift() + e.offset;
        if (start < 0 || start >= static_cast<int64_t>(file.size())) return {};
        if (!headerMatches(file.substr(static_cast<size_t>(start), 64), num, e.gen)) return {};
        const size_t p = objectEnd(xref, num, e, file, static_cast<size_t>(start));
        if (p == 0) return {};
        // Through the "j" of "endobj" and one byte more, normally the line end.
        size_t end = p + 2;
        if (end > file.size()) end = file.size();
        return RawObject(file.substr(static_cast<size_t>(start), end - static_cast<size_t>(start)),
                         start);
    }
    if (e.type == XrefType::Compressed) {
        const std::optional<std::string_view> bytes = xref.compressedObjectBytes(num, 0);
        if (!bytes || bytes->empty()) return {};
        std::string text = std::to_string(num) + " 0 obj\n";
        text.append(*bytes);
        // A member that ends in a name, number or keyword ("/This", "12", "null") would run
        // into "endobj"; a line feed keeps the token whole.
        const unsigned char last = static_cast<unsigned char>(bytes->back());
        if (!isPdfWhitespace(last) && !isPdfDelimiter(last)) text += '\n';
        text.append("endobj\r");
        return RawObject(std::move(text));
    }
    return {};
}

} // namespace tavrix
