// Tokenizer and object parser over one PdfStream, with two tokens of look-ahead so that
// "12 0 R" is recognised as a reference.
#pragma once

#include <memory>

#include "engine/pdf/diagnostics.hpp"
#include "engine/pdf/pdf_object.hpp"
#include "engine/pdf/pdf_stream.hpp"
#include "engine/pdf/reader_limits.hpp"
#include "engine/pdf/security_handler.hpp"

namespace tavrix {

class PdfParser {
  public:
    // `xref` (may be null) binds new containers, resolves an indirect stream Length, and gives
    // the limits and the list of tolerated damage.
    PdfParser(XrefTable* xref, std::shared_ptr<PdfStream> stream);

    // One object; bad syntax comes back as Error, the end of input as Eof. Throws only
    // "Missing 'endstream'" (and what fetching an indirect Length throws).
    PdfObject getObject();

    const PdfObject& first() const { return first_; }
    // Where the object that getObject returned last began (for reports of damage).
    int64_t objectStart() const { return objectStart_; }

    // The text parsed is indirect object `key` of an encrypted file: its strings and stream data
    // are decrypted with `handler` (which outlives the parser).
    void setDecryption(const SecurityHandler* handler, ObjectKey key) {
        crypt_ = handler;
        cryptKey_ = key;
    }

  private:
    PdfObject getObjectAt(int depth);
    // The next token; `start` receives where it begins.
    PdfObject nextToken(int64_t& start);
    void shift();
    // Records tolerated damage at the current position.
    void note(std::string message);
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
    ReaderLimits limits_;
    Diagnostics* diagnostics_ = nullptr;
    int nestingBase_ = 0; // depth of the parse whose fetch made this parser
    PdfObject first_;
    PdfObject second_;
    int64_t firstAt_ = 0, secondAt_ = 0, objectStart_ = 0;
    const SecurityHandler* crypt_ = nullptr;
    ObjectKey cryptKey_;
};

} // namespace tavrix
