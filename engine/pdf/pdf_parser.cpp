#include "engine/pdf/pdf_parser.hpp"

#include <algorithm>
#include <cstdint>
#include <string>

#include "engine/pdf/decrypted_stream.hpp"
#include "engine/pdf/flate_stream.hpp"
#include "engine/pdf/pdf_exception.hpp"
#include "engine/pdf/pdf_scanner.hpp"
#include "engine/pdf/xref_table.hpp"

namespace tavrix {

PdfParser::PdfParser(XrefTable* xref, std::shared_ptr<PdfStream> stream)
    : xref_(xref), stream_(std::move(stream)), limits_(xref ? xref->limits() : ReaderLimits{}),
      diagnostics_(xref ? &xref->diagnostics() : nullptr),
      nestingBase_(xref ? xref->nestingBase() : 0) {
    file_ = dynamic_cast<FileStream*>(stream_.get());
    first_ = nextToken(firstAt_);
    second_ = nextToken(secondAt_);
}

void PdfParser::note(std::string message) {
    if (!diagnostics_) return;
    // A position is worth naming only when it is one in the input file (not in a decoded
    // object stream).
    const bool inFile = file_ && xref_ && file_->buffer().data() == xref_->file()->view().data();
    diagnostics_->add(-1, inFile ? stream_->tell() : -1, std::move(message));
}

void PdfParser::shift() {
    first_ = std::move(second_);
    firstAt_ = secondAt_;
    second_ = nextToken(secondAt_);
}

PdfObject PdfParser::nextToken(int64_t& start) {
    int c;
    // Whitespace and comments; a comment runs to the next CR or LF, which it consumes.
    for (;;) {
        c = next();
        if (c < 0) return PdfObject::makeEof();
        if (isPdfWhitespace(c)) continue;
        if (c == '%') {
            do {
                c = next();
            } while (c >= 0 && c != '\r' && c != '\n');
            if (c < 0) return PdfObject::makeEof();
            continue;
        }
        break;
    }
    start = (file_ ? file_->tell() : stream_->tell()) - 1;
    switch (c) {
    case '(': // literal string
        return readLiteralString();
    case '<': // dictionary start or hexadecimal string
        if (peek() == '<') {
            next();
            return PdfObject::makeCommand("<<");
        }
        return readHexString();
    case '>': // dictionary end; a lone ">" is unusable and the next byte stays
        if (peek() == '>') {
            next();
            return PdfObject::makeCommand(">>");
        }
        return PdfObject::makeError();
    case ')':
    case '{':
    case '}':
        return PdfObject::makeError();
    case '[':
        return PdfObject::makeCommand("[");
    case ']':
        return PdfObject::makeCommand("]");
    case '/':
        return readName();
    case '-':
    case '.':
    case '0':
    case '1':
    case '2':
    case '3':
    case '4':
    case '5':
    case '6':
    case '7':
    case '8':
    case '9':
        return readNumber(c);
    default:
        return readKeyword(c);
    }
}

PdfObject PdfParser::readLiteralString() {
    // The token's bytes through its matching ")" (an escaped byte never counts), decoded as the
    // scanner decodes string tokens.
    std::string token(1, '(');
    int depth = 1;
    for (;;) {
        const int c = next();
        if (c < 0) break;
        token += static_cast<char>(c);
        if (c == '\\') {
            const int escaped = next();
            if (escaped < 0) break;
            token += static_cast<char>(escaped);
        } else if (c == '(') {
            ++depth;
        } else if (c == ')' && --depth == 0) {
            break;
        }
    }
    return PdfObject::makeString(decodeStringToken(token));
}

PdfObject PdfParser::readHexString() {
    std::string token(1, '<');
    for (;;) {
        const int c = next();
        if (c < 0 || c == '>') break;
        token += static_cast<char>(c);
    }
    return PdfObject::makeString(decodeStringToken(token));
}

PdfObject PdfParser::readName() {
    std::string text;
    for (;;) {
        const int c = peek();
        if (c < 0 || isPdfWhitespace(c) || isPdfDelimiter(c)) break;
        next();
        if (c == '#') {
            const int h = hexDigitValue(peek());
            if (h >= 0) {
                next();
                const int l = hexDigitValue(next());
                // "#2G" keeps the first digit's value and drops the G.
                text += static_cast<char>(l >= 0 ? h * 16 + l : h * 16);
                continue;
            }
        }
        text += static_cast<char>(c);
    }
    return PdfObject::makeName(text);
}

PdfObject PdfParser::readNumber(int c) {
    std::string text(1, static_cast<char>(c));
    bool real = c == '.';
    for (;;) {
        const int d = peek();
        if (!isDecimalDigit(d) && d != '.') break;
        next();
        if (d == '.') real = true;
        text += static_cast<char>(d);
    }
    size_t i = 0;
    if (real) return PdfObject::makeReal(readReal(text, i));
    // Integers keep 64 bits (offsets past 2 GiB); larger ones saturate.
    int64_t value = 0;
    readInteger(text, i, value);
    return PdfObject::makeInt(value);
}

PdfObject PdfParser::readKeyword(int c) {
    std::string text(1, static_cast<char>(c));
    for (;;) {
        const int d = peek();
        if (d < 0 || isPdfWhitespace(d) || isPdfDelimiter(d)) break;
        next();
        text += static_cast<char>(d);
    }
    if (text == "true") return PdfObject::makeBool(true);
    if (text == "false") return PdfObject::makeBool(false);
    if (text == "null") return PdfObject::makeNull();
    return PdfObject::makeCommand(text);
}

PdfObject PdfParser::getObject() {
    objectStart_ = firstAt_;
    return getObjectAt(0);
}

PdfObject PdfParser::getObjectAt(int depth) {
    if (first_.isCommand("[")) {
        shift();
        if (nestingBase_ + depth >= limits_.maxDepth) return PdfObject::makeError();
        PdfObject array = PdfObject::makeArray(xref_);
        // An array still open at the end of the input ends there.
        while (!first_.isCommand("]") && !first_.isEof())
            array.getArray()->append(getObjectAt(depth + 1));
        if (first_.isCommand("]")) shift();
        return array;
    }
    if (first_.isCommand("<<")) {
        shift();
        if (nestingBase_ + depth >= limits_.maxDepth) return PdfObject::makeError();
        PdfObject dict = PdfObject::makeDict(xref_);
        while (!first_.isCommand(">>") && !first_.isEof()) {
            if (!first_.isName()) {
                shift(); // a non-name where a key belongs is skipped
                continue;
            }
            std::string key = first_.getText();
            shift();
            if (first_.isError() || first_.isEof()) {
                note("the dictionary key /" + key + " has no usable value and is left out");
                continue;
            }
            dict.getDict()->addEntry(std::move(key), getObjectAt(depth + 1));
        }
        if (first_.isEof()) return dict;
        if (second_.isCommand("stream")) {
            PdfObject stream = makeStream(dict, depth);
            return stream;
        }
        shift();
        return dict;
    }
    if (first_.isInt()) {
        const PdfObject number = first_;
        shift();
        if (first_.isInt() && second_.isCommand("R")) {
            const int32_t g = first_.getInt();
            shift();
            shift();
            return PdfObject::makeRef(number.getInt(), g);
        }
        return number;
    }
    PdfObject out = first_;
    if (!first_.isEof()) shift();
    if (crypt_ && out.isString())
        return PdfObject::makeString(crypt_->decryptString(cryptKey_, out.getText()));
    return out;
}

PdfObject PdfParser::makeStream(const PdfObject& dict, int depth) {
    // Objects fetched for the dictionary's Length and filter entries are parsed one level below.
    XrefTable::NestingScope nesting(xref_, nestingBase_ + depth + 1);
    // The tokenizer stopped right after the keyword "stream"; the data starts on the next line.
    for (;;) {
        const int c = next();
        if (c < 0 || c == '\n') break;
        if (c == '\r') {
            if (peek() == '\n') next();
            break;
        }
    }
    const int64_t pos = stream_->tell();
    const PdfObject len = dict.getDict()->lookup("Length");
    // A negative Length would seek back into the dictionary and read it again as data.
    if (!len.isInt() || len.getInt64() < 0) return PdfObject::makeError();
    int64_t length = len.getInt64();
    // A Length that does not end at "endstream" (a few bytes short, or running into the next
    // object) is wrong, and viewers measure the data to the keyword instead. The check looks
    // at the bytes: tokens read at a wrong place could run through the whole file.
    if (file_) {
        const std::string_view bytes = file_->buffer();
        const size_t start = static_cast<size_t>(std::min<int64_t>(pos, ssize(bytes)));
        const size_t end = static_cast<size_t>(std::min<int64_t>(pos + length, ssize(bytes)));
        size_t keywordEnd = 0;
        if (!endstreamAt(bytes, end, keywordEnd)) {
            const size_t keyword = findEndstream(bytes, start);
            if (keyword == std::string_view::npos) throw CPdfException("Missing 'endstream'");
            length = static_cast<int64_t>(dataEndBefore(bytes, start, keyword) - start);
            note("the stream's /Length " + std::to_string(len.getInt64()) +
                 " does not end at 'endstream'; its data is taken as " + std::to_string(length) +
                 " bytes");
        }
    }
    stream_->seek(pos + length, 0);
    shift();
    shift();
    if (!first_.isCommand("endstream")) throw CPdfException("Missing 'endstream'");
    shift();
    std::shared_ptr<PdfStream> raw = stream_->subStream(pos, length, dict);
    std::shared_ptr<PdfStream> decoded;
    if (auto file = std::dynamic_pointer_cast<FileStream>(raw)) {
        const std::optional<CryptMethod> method =
            crypt_ ? crypt_->methodForStream(*dict.getDict()) : std::nullopt;
        if (method && *method != CryptMethod::Identity)
            decoded = std::make_shared<DecryptedStream>(std::move(file), *crypt_, *method,
                                                        cryptKey_, limits_, diagnostics_);
        else
            decoded = applyFilters(std::move(file), *dict.getDict(), limits_, diagnostics_);
    }
    return PdfObject::makeStream(std::move(decoded));
}

} // namespace tavrix
