// Tokenizer and object parser over one PdfStream, with two tokens of look-ahead so that
// "12 0 R" is recognised as a reference.
#pragma once

#include <memory>

#include "engine/pdf/pdf_object.hpp"
#include "engine/pdf/pdf_stream.hpp"

namespace tavrix {

struct ParserLimits {
    // Arrays and dictionaries nested deeper than this parse as Error. The depth counts on from
    // the parse that made a nested fetch (an indirect stream Length, say): parsers within one
    // another share one limit, so a chain of fetches cannot stack up their nestings.
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
    PdfObject makeStream(const PdfObject& dict, int depth);

    PdfObject readLiteralString();
    PdfObject readHexString();
    PdfObject readName();
    PdfObject readNumber(int c);
    PdfObject readKeyword(int c);

    // Byte access: straight to the window when the source is a FileStream (the common case),
    // through the virtual interface otherwise.
    int next() { return file_ ? file_->nextChar() : stream_->nextChar(); }
    int peek() { return file_ ? file_->peekChar() : stream_->peekChar(); }

    XrefTable* xref_;
    std::shared_ptr<PdfStream> stream_;
    FileStream* file_ = nullptr;
    ParserLimits limits_;
    int nestingBase_ = 0; // depth of the parse whose fetch made this parser
    PdfObject first_;
    PdfObject second_;
};

} // namespace tavrix
