// Small helpers for the reader tests: PDF bytes held inline, parsed straight from memory or
// opened as a document.
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
#include "support/pdf_builder.hpp"
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

// Damaged files are assembled by hand with the support library's FileText.
using testpdf::be;
using testpdf::entryLine;
using testpdf::FileText;

} // namespace readertest
