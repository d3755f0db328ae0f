// Small helpers for the reader tests: PDF bytes held inline, parsed straight from memory or
// opened as a document, and a file assembler that computes every offset it writes.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/pdf/pdf_document.hpp"
#include "engine/pdf/pdf_exception.hpp"
#include "engine/pdf/pdf_parser.hpp"
#include "engine/pdf/pdf_stream.hpp"
#include "support/test_files.hpp"

namespace readertest {

// A window over a private copy of `bytes` (start 0, running to the end).
inline std::shared_ptr<tavrix::FileStream> memoryStream(const std::string& bytes) {
    auto owner = std::make_shared<std::string>(bytes);
    return std::make_shared<tavrix::FileStream>(
        owner, reinterpret_cast<const unsigned char*>(owner->data()), owner->size(), 0, 0,
        tavrix::PdfObject::makeNull());
}

// Every object of `text` until the end of input, parsed without a cross-reference table.
inline std::vector<tavrix::PdfObject> parseAll(const std::string& text) {
    tavrix::PdfParser parser(nullptr, memoryStream(text));
    std::vector<tavrix::PdfObject> out;
    for (int guard = 0; guard < 10000; ++guard) {
        tavrix::PdfObject obj = parser.getObject();
        if (obj.isEof()) break;
        out.push_back(obj);
    }
    return out;
}

inline tavrix::PdfObject parseOne(const std::string& text) {
    tavrix::PdfParser parser(nullptr, memoryStream(text));
    return parser.getObject();
}

// Remaining bytes of a stream, stopping after `limit` bytes.
inline std::string readAll(tavrix::PdfStream& stream, size_t limit = size_t{1} << 24) {
    std::string out;
    for (int c = stream.nextChar(); c >= 0 && out.size() < limit; c = stream.nextChar())
        out += static_cast<char>(c);
    return out;
}

// Opens `bytes` as a document. The file is mapped, so removing it afterwards changes nothing.
inline std::unique_ptr<tavrix::PdfDocument> openBytes(const std::string& bytes) {
    testpdf::TempDir dir;
    const std::string path = dir.file("in.pdf");
    testpdf::writeFile(path, bytes);
    auto doc = std::make_unique<tavrix::PdfDocument>();
    doc->openDocument(path);
    return doc;
}

// The message `openBytes` fails with, or "" when the document opens.
inline std::string openError(const std::string& bytes) {
    try {
        openBytes(bytes);
    } catch (const tavrix::CPdfException& e) {
        return e.getMessage();
    }
    return "";
}

// Big-endian field of `width` bytes, as cross-reference streams store them.
inline std::string be(uint64_t value, int width) {
    std::string out(static_cast<size_t>(width), '\0');
    for (int i = width - 1; i >= 0; --i) {
        out[static_cast<size_t>(i)] = static_cast<char>(value & 0xFF);
        value >>= 8;
    }
    return out;
}

// One 20-byte line of a classic cross-reference table.
inline std::string entryLine(int64_t offset, int gen, char kind) {
    char line[32];
    std::snprintf(line, sizeof line, "%010lld %05d %c\r\n", static_cast<long long>(offset), gen,
                  kind);
    return line;
}

// A file assembled piece by piece. Offsets are counted from the "%PDF-" header, as the
// cross-reference data counts them; `junk` goes in front of the header.
class FileText {
  public:
    explicit FileText(std::string junk = "") : junk_(std::move(junk)) {}

    int64_t pos() const { return static_cast<int64_t>(body_.size()); }
    int64_t add(const std::string& piece) {
        const int64_t at = pos();
        body_ += piece;
        return at;
    }
    // "num gen obj\n" body "\nendobj\n"; remembers where the header landed.
    int64_t object(int num, const std::string& body, int gen = 0) {
        offsets[num] = pos();
        return add(std::to_string(num) + " " + std::to_string(gen) + " obj\n" + body +
                   "\nendobj\n");
    }
    // A classic section for objects 0 .. size - 1: the ones placed are in use (generation
    // from `gens`, default 0), the others free. Returns where "xref" starts.
    int64_t table(int size, const std::string& trailerKeys, const std::map<int, int>& gens = {}) {
        std::string text = "xref\n0 " + std::to_string(size) + "\n";
        for (int num = 0; num < size; ++num) {
            auto it = offsets.find(num);
            if (num > 0 && it != offsets.end())
                text += entryLine(it->second, gens.count(num) ? gens.at(num) : 0, 'n');
            else
                text += entryLine(0, num == 0 ? 65535 : 0, 'f');
        }
        return add(text + "trailer\n<< /Size " + std::to_string(size) + " " + trailerKeys +
                   " >>\n");
    }
    void startxref(int64_t at) { add("startxref\n" + std::to_string(at) + "\n%%EOF\n"); }
    // Replaces a placeholder of ten "X" written earlier (where an offset was not yet known)
    // with `value`, zero-padded to the same width so that no offset moves.
    void patch(const std::string& placeholder, int64_t value) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%010lld", static_cast<long long>(value));
        const size_t at = body_.find(placeholder);
        ASSERT_NE(at, std::string::npos) << placeholder;
        body_.replace(at, placeholder.size(), digits);
    }
    std::string bytes() const { return junk_ + body_; }

    std::map<int, int64_t> offsets; // object number -> header offset

  private:
    std::string junk_;
    std::string body_ = "%PDF-1.5\n"; // from the header on
};

} // namespace readertest
