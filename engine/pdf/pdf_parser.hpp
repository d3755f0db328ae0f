// Tokenizer and object parser over one PdfStream, with two tokens of look-ahead so that
// "12 0 R" is recognised as a reference.
#pragma once

#include <memory>

#include "engine/pdf/pdf_object.hpp"
#include "engine/pdf/pdf_stream.hpp"

namespace tavrix {

struct ParserLimits {
    // Arrays and dictionaries nested deeper than this parse as Error.
    int maxDepth = 256;
};

class PdfParser {
public:
    // `xref` (may be null) binds new containers and resolves an indirect stream Length.
    PdfParser(XrefTable* xref, std::shared_ptr<PdfStream> stream, ParserLimits limits = {});

    // One object; bad syntax comes back as Error, the end of input as Eof. Throws only
    // "Missing 'endstream'" (and what fetching an indirect Length throws).
    PdfObject getObject();

    const PdfObject& first() const { return first_; }

private:
    PdfObject getObjectAt(int depth);
    PdfObject nextToken();
    void shift();
    PdfObject makeStream(const PdfObject& dict);

    PdfObject readLiteralString();
    PdfObject readHexString();
    PdfObject readName();
    PdfObject readNumber(int c);
    PdfObject readKeyword(int c);

    XrefTable* xref_;
    std::shared_ptr<PdfStream> stream_;
    ParserLimits limits_;
    PdfObject first_;
    PdfObject second_;
};

bool isPdfWhitespace(int c);
bool isPdfDelimiter(int c);

} // namespace tavrix
