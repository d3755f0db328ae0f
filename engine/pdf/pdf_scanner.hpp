// The one reader of PDF text as text: the byte classes, the tokens, and the searches that raw
// object access, the page tree and the page patcher make in an object's bytes. Strings,
// comments and nested containers are stepped over whole, so a word inside them ("endobj" in a
// title, "/Pages" in private data, a "/CropBox" of a nested dictionary) is never taken for
// structure. Everything here works on spans of a text view and allocates nothing per token.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrix {

enum class CharClass : unsigned char { Regular, Whitespace, Delimiter };

namespace detail {
constexpr std::array<CharClass, 256> makeCharClasses() {
    std::array<CharClass, 256> classes{};
    for (const int c : {0x00, 0x09, 0x0A, 0x0C, 0x0D, 0x20})
        classes[static_cast<size_t>(c)] = CharClass::Whitespace;
    for (const char c : std::string_view("%()/<>[]{}"))
        classes[static_cast<unsigned char>(c)] = CharClass::Delimiter;
    return classes;
}
} // namespace detail

// Whitespace: NUL, tab, line feed, form feed, carriage return, space. Delimiters: % ( ) / < > [
// ] { }. Every other byte is regular.
inline constexpr std::array<CharClass, 256> kCharClasses = detail::makeCharClasses();

inline CharClass charClass(unsigned char c) {
    return kCharClasses[c];
}
// These take -1 (the end of input) too, which is of no class.
inline bool isPdfWhitespace(int c) {
    return c >= 0 && c <= 255 && kCharClasses[static_cast<size_t>(c)] == CharClass::Whitespace;
}
inline bool isPdfDelimiter(int c) {
    return c >= 0 && c <= 255 && kCharClasses[static_cast<size_t>(c)] == CharClass::Delimiter;
}
inline bool isDecimalDigit(int c) {
    return c >= '0' && c <= '9';
}
// 0 to 15 for a hexadecimal digit of either case, -1 for any other byte.
int hexDigitValue(int c);

// An optional sign and decimal digits from `i`, which moves past them. The value saturates far
// beyond any count a file can hold (at 2^53), so hostile digit runs cannot overflow; 0 and false
// when there are no digits.
bool readInteger(std::string_view text, size_t& i, int64_t& value);
// An integer that fits 32 bits, saturated at the limits of the range.
int32_t saturateInt32(int64_t value);
// Decimal conversion: an optional sign, digits, a point and digits, stopping at the first byte
// that does not fit (so at a second point); `i` moves past what was read.
double readReal(std::string_view text, size_t& i);

enum class TokenKind : unsigned char {
    End,       // no more text
    Regular,   // a number, keyword, boolean or null: a run of regular bytes
    Name,      // "/" and the regular bytes after it
    String,    // "(" through its matching ")", escapes and nesting included
    HexString, // "<" through ">"
    DictOpen,  // "<<"
    DictClose, // ">>"
    ArrayOpen, // "["
    ArrayClose,
    Stray, // ")", "{", "}" or a lone ">": nothing a reader can use
};

struct Token {
    TokenKind kind = TokenKind::End;
    size_t begin = 0;
    size_t end = 0;
};

enum class ValueKind : unsigned char {
    End,
    Dict,      // "<<" through its matching ">>"
    Array,     // "[" through its matching "]"
    Reference, // "N G R"
    Name,
    String, // literal or hexadecimal
    Regular,
    Other, // a stray byte or a closing bracket where a value belongs
};

struct Value {
    ValueKind kind = ValueKind::End;
    size_t begin = 0;
    size_t end = 0;
    // False for a container still open at the end of the text.
    bool closed = true;

    std::string_view in(std::string_view text) const { return text.substr(begin, end - begin); }
};

class PdfScanner {
  public:
    explicit PdfScanner(std::string_view text, size_t pos = 0)
        : text_(text), pos_(pos < text.size() ? pos : text.size()) {}

    size_t pos() const { return pos_; }
    void seek(size_t pos) { pos_ = pos < text_.size() ? pos : text_.size(); }
    std::string_view text() const { return text_; }

    // Whitespace and comments; a comment runs from "%" to the end of its line.
    void skipSpace();
    Token next();
    // One value: a container through its matching end, a reference "N G R" as one, else one
    // token. Containers match as the parser matches them: a dictionary ends only at ">>" and
    // an array only at "]".
    Value nextValue();

  private:
    size_t afterLiteralString(size_t i) const;
    size_t afterContainer(size_t i, bool& closed) const;

    std::string_view text_;
    size_t pos_;
};

// The bytes a string token stands for: a literal string "( ... )" with its escapes undone, or a
// hexadecimal string "< ... >" (an odd last digit counts as followed by 0, other bytes as 0), as
// the parser reads them. A token that is neither gives its bytes unchanged.
std::string decodeStringToken(std::string_view token);
// `bytes` as a hexadecimal string token ("<48656C6C6F>").
std::string hexStringToken(std::string_view bytes);

// Whether `nameToken` ("/Contents", possibly with #xx escapes) names `key` ("Contents").
bool nameEquals(std::string_view nameToken, std::string_view key);

struct ObjectHeader {
    int64_t num = 0;
    int64_t gen = 0;
    size_t end = 0; // just past "obj"
};
// "N G obj" at `at`, with whitespace and comments allowed before each token.
std::optional<ObjectHeader> readObjectHeader(std::string_view text, size_t at);
// The same for text that may be anything (a damaged file searched for objects): only whitespace
// and comments may stand before the header, which is two runs of digits and "obj"; no other
// token is read, so a "(" there cannot send the search through the rest of the file.
std::optional<ObjectHeader> plainObjectHeader(std::string_view text, size_t at);
// The value of an object's text ("N G obj" value ...); End when there is no header.
Value objectValue(std::string_view objectText);

struct DictEntry {
    size_t keyBegin = 0;
    Value value;
};
// The entries of the dictionary that opens at the first "<<" at or after `from`, in order, as
// the parser pairs them: a name and the value after it; anything else where a key belongs is
// passed over token by token, and a key followed by a stray byte is dropped with it.
class DictReader {
  public:
    DictReader(std::string_view text, size_t from);
    // The next entry: its key token ("/Name", escapes as written) and its value; false after
    // the last.
    bool next(std::string_view& key, DictEntry& entry);
    // The key tokens dropped so far for want of a usable value.
    const std::vector<std::string_view>& dropped() const { return dropped_; }

  private:
    std::string_view text_;
    PdfScanner scanner_;
    bool open_ = false;
    std::vector<std::string_view> dropped_;
};
// The entry `key` (a name without its slash) of the dictionary that opens at the first "<<" at
// or after `from`. Keys of nested dictionaries and arrays, and bytes of strings and comments,
// are no match. When a key occurs twice, the first one counts, as it does for the parser.
std::optional<DictEntry> findEntry(std::string_view text, size_t from, std::string_view key);
// The dictionary that opens at the first "<<" at or after `from`.
std::optional<Value> dictionaryAt(std::string_view text, size_t from);

struct ObjectRef {
    int64_t num = 0;
    int64_t gen = 0;
};
std::optional<ObjectRef> readReference(std::string_view text, const Value& value);
std::optional<int64_t> readIntegerValue(std::string_view text, const Value& value);
// An array of at least four numbers: the first four.
std::optional<std::array<double, 4>> readBox(std::string_view text, const Value& value);

struct ObjectEnd {
    enum class Kind { Unended, Endobj, Stream } kind = Kind::Unended;
    // Endobj: just past "endobj"; Stream: just past "stream".
    size_t at = 0;
    // Stream: the stream's dictionary.
    Value dict;
};
// Steps over the tokens from `from` to the "endobj" that follows an object's last token, or to
// the "stream" keyword right after its dictionary. Unended when the text ends first, or when
// another object's "obj" comes first.
ObjectEnd scanToObjectEnd(std::string_view text, size_t from);
// Where stream data starts after the keyword "stream" that ends at `afterKeyword`: the next
// line, as the parser takes it.
size_t streamDataStart(std::string_view text, size_t afterKeyword);
// Whether "endstream" follows `at` after whitespace and comments; `end` receives its end. Only
// those bytes are looked at, never a token that could run on (a string opened by stray data).
bool endstreamAt(std::string_view text, size_t at, size_t& end);
// The first keyword "endstream" at or after `from` (followed by a byte that ends it), or npos.
size_t findEndstream(std::string_view text, size_t from);
// The end of the data before the "endstream" at `keyword`: the line end in front of it is not
// data.
size_t dataEndBefore(std::string_view text, size_t dataStart, size_t keyword);

} // namespace tavrix
