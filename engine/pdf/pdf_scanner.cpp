#include "engine/pdf/pdf_scanner.hpp"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

namespace tavrix {
namespace {

constexpr int64_t kSaturation = int64_t{1} << 53;
constexpr size_t npos = std::string_view::npos;

bool isRegularAt(std::string_view text, size_t i) {
    return i < text.size() && charClass(static_cast<unsigned char>(text[i])) == CharClass::Regular;
}

bool tokenIs(std::string_view text, const Token& t, std::string_view word) {
    return t.kind == TokenKind::Regular && text.substr(t.begin, t.end - t.begin) == word;
}

// Whether the token text is an integer the parser reads as one: an optional "-" and digits.
bool isIntegerToken(std::string_view token) {
    size_t i = token.starts_with('-') ? 1 : 0;
    if (i >= token.size()) return false;
    for (; i < token.size(); ++i)
        if (!isDecimalDigit(token[i])) return false;
    return true;
}

} // namespace

int hexDigitValue(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

bool readInteger(std::string_view text, size_t& i, int64_t& value) {
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    value = 0;
    const size_t from = i;
    while (i < text.size() && isDecimalDigit(text[i])) {
        value = value * 10 + (text[i++] - '0');
        if (value > kSaturation) value = kSaturation;
    }
    if (negative) value = -value;
    return i > from;
}

int32_t saturateInt32(int64_t value) {
    if (value > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (value < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

double readReal(std::string_view text, size_t& i) {
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    double value = 0;
    while (i < text.size() && isDecimalDigit(text[i]))
        value = value * 10 + (text[i++] - '0');
    if (i < text.size() && text[i] == '.') {
        ++i;
        double scale = 0.1;
        while (i < text.size() && isDecimalDigit(text[i])) {
            value += (text[i++] - '0') * scale;
            scale /= 10;
        }
    }
    return negative ? -value : value;
}

namespace {

// Past whitespace and comments from `i`. Kept apart and inline: every token starts here.
inline size_t afterSpace(std::string_view text, size_t i) {
    const size_t n = text.size();
    while (i < n) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '%') {
            while (i < n && text[i] != '\r' && text[i] != '\n')
                ++i;
            continue;
        }
        if (charClass(c) != CharClass::Whitespace) break;
        ++i;
    }
    return i;
}

// The bytes that can open or close a container, or hide one (strings, comments).
constexpr std::array<bool, 256> kContainerStops = [] {
    std::array<bool, 256> stops{};
    for (const char c : std::string_view("%(<>[]"))
        stops[static_cast<unsigned char>(c)] = true;
    return stops;
}();

inline size_t afterRegular(std::string_view text, size_t i) {
    const size_t n = text.size();
    while (i < n && charClass(static_cast<unsigned char>(text[i])) == CharClass::Regular)
        ++i;
    return i;
}

} // namespace

void PdfScanner::skipSpace() {
    pos_ = afterSpace(text_, pos_);
}

size_t PdfScanner::afterLiteralString(size_t i) const {
    // `i` is just past the opening "(".
    const size_t n = text_.size();
    int depth = 1;
    while (i < n) {
        const char c = text_[i++];
        if (c == '\\') {
            ++i; // the escaped byte, whatever it is
        } else if (c == '(') {
            ++depth;
        } else if (c == ')' && --depth == 0) {
            return i;
        }
    }
    return n;
}

Token PdfScanner::next() {
    pos_ = afterSpace(text_, pos_);
    const size_t n = text_.size();
    Token t;
    t.begin = pos_;
    if (pos_ >= n) {
        t.end = n;
        return t;
    }
    const char c = text_[pos_++];
    switch (c) {
    case '(': // literal string
        t.kind = TokenKind::String;
        pos_ = afterLiteralString(pos_);
        break;
    case '<': // dictionary start or hexadecimal string
        if (pos_ < n && text_[pos_] == '<') {
            ++pos_;
            t.kind = TokenKind::DictOpen;
        } else {
            t.kind = TokenKind::HexString;
            const size_t close = text_.find('>', pos_);
            pos_ = close == npos ? n : close + 1;
        }
        break;
    case '>': // dictionary end; a lone ">" is of no use
        if (pos_ < n && text_[pos_] == '>') {
            ++pos_;
            t.kind = TokenKind::DictClose;
        } else {
            t.kind = TokenKind::Stray;
        }
        break;
    case '[':
        t.kind = TokenKind::ArrayOpen;
        break;
    case ']':
        t.kind = TokenKind::ArrayClose;
        break;
    case ')':
    case '{':
    case '}':
        t.kind = TokenKind::Stray;
        break;
    case '/': // name
        t.kind = TokenKind::Name;
        pos_ = afterRegular(text_, pos_);
        break;
    default: // number, keyword, boolean, null
        t.kind = TokenKind::Regular;
        pos_ = afterRegular(text_, pos_);
        break;
    }
    t.end = pos_;
    return t;
}

size_t PdfScanner::afterContainer(size_t i, bool& closed) const {
    // Which kind each open container is: a dictionary ends only at ">>", an array only at "]";
    // a closer of the other kind inside is an element (or a skipped key) to the parser.
    // Byte by byte rather than token by token: only delimiters matter here, and this loop is
    // where most of a page's reading goes. Each delimiter is taken as next() takes it.
    std::string open;
    const size_t n = text_.size();
    const auto close = [&](char kind) {
        if (open.empty() || open.back() != kind) return false;
        open.pop_back();
        return open.empty();
    };
    while (i < n) {
        // Most bytes are names, numbers and spaces: passed over in a tight loop.
        while (i < n && !kContainerStops[static_cast<unsigned char>(text_[i])])
            ++i;
        if (i >= n) break;
        switch (text_[i++]) {
        case '%': // a comment, to the end of its line
            while (i < n && text_[i] != '\r' && text_[i] != '\n')
                ++i;
            break;
        case '(':
            i = afterLiteralString(i);
            break;
        case '<':
            if (i < n && text_[i] == '<') {
                ++i;
                open += '<';
            } else { // a hexadecimal string
                const size_t end = text_.find('>', i);
                i = end == npos ? n : end + 1;
            }
            break;
        case '>': // a lone ">" is of no use
            if (i < n && text_[i] == '>') {
                ++i;
                if (close('<')) {
                    closed = true;
                    return i;
                }
            }
            break;
        case '[':
            open += '[';
            break;
        case ']':
            if (close('[')) {
                closed = true;
                return i;
            }
            break;
        default: // names, numbers, keywords, whitespace and stray bytes hold no container
            break;
        }
    }
    closed = false;
    return n;
}

Value PdfScanner::nextValue() {
    const Token t = next();
    Value v;
    v.begin = t.begin;
    v.end = t.end;
    switch (t.kind) {
    case TokenKind::End:
        v.kind = ValueKind::End;
        return v;
    case TokenKind::DictOpen:
    case TokenKind::ArrayOpen:
        v.kind = t.kind == TokenKind::DictOpen ? ValueKind::Dict : ValueKind::Array;
        v.end = afterContainer(t.begin, v.closed);
        pos_ = v.end;
        return v;
    case TokenKind::Name:
        v.kind = ValueKind::Name;
        return v;
    case TokenKind::String:
    case TokenKind::HexString:
        v.kind = ValueKind::String;
        return v;
    case TokenKind::Regular: {
        v.kind = ValueKind::Regular;
        if (!isIntegerToken(text_.substr(t.begin, t.end - t.begin))) return v;
        // Two tokens of look-ahead, as the parser has, tell a reference from a number.
        const size_t after = pos_;
        const Token gen = next();
        if (gen.kind == TokenKind::Regular &&
            isIntegerToken(text_.substr(gen.begin, gen.end - gen.begin))) {
            const Token r = next();
            if (tokenIs(text_, r, "R")) {
                v.kind = ValueKind::Reference;
                v.end = r.end;
                return v;
            }
        }
        pos_ = after;
        return v;
    }
    default:
        v.kind = ValueKind::Other;
        return v;
    }
}

std::string decodeStringToken(std::string_view token) {
    std::string text;
    if (token.starts_with('<')) {
        int high = -1;
        for (size_t i = 1; i < token.size() && token[i] != '>'; ++i) {
            const int c = static_cast<unsigned char>(token[i]);
            if (isPdfWhitespace(c)) continue;
            const int v = std::max(hexDigitValue(c), 0); // invalid digits count as 0
            if (high < 0) {
                high = v;
            } else {
                text += static_cast<char>(high * 16 + v);
                high = -1;
            }
        }
        if (high >= 0) text += static_cast<char>(high * 16);
        return text;
    }
    if (!token.starts_with('(')) return std::string(token);
    // Nesting is counted as the scanner counts it; the matching ")" ends the text, and a string
    // left open runs to the token's end.
    const std::string_view body = token.substr(1);
    int depth = 1;
    for (size_t i = 0; i < body.size(); ++i) {
        const char c = body[i];
        if (c == '(') ++depth;
        if (c == ')' && --depth == 0) break;
        if (c != '\\') {
            text += c;
            continue;
        }
        if (++i >= body.size()) break;
        const char e = body[i];
        switch (e) {
        case 'n':
            text += '\n';
            continue;
        case 'r':
            text += '\r';
            continue;
        case 't':
            text += '\t';
            continue;
        case 'b':
            text += '\b';
            continue;
        case 'f':
            text += '\f';
            continue;
        case '\n':
            continue; // line continuation
        case '\r':
            if (i + 1 < body.size() && body[i + 1] == '\n') ++i;
            continue;
        default:
            break;
        }
        if (e >= '0' && e <= '7') {
            int value = e - '0';
            for (int k = 0;
                 k < 2 && i + 1 < body.size() && body[i + 1] >= '0' && body[i + 1] <= '7'; ++k)
                value = value * 8 + (body[++i] - '0');
            text += static_cast<char>(value & 0xFF);
            continue;
        }
        text += e; // "\(", "\)", "\\" and an escape of any other byte: the byte itself
    }
    return text;
}

std::string hexStringToken(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 2 + 2);
    out += '<';
    for (const char c : bytes) {
        out += kHex[static_cast<unsigned char>(c) >> 4];
        out += kHex[static_cast<unsigned char>(c) & 0x0F];
    }
    out += '>';
    return out;
}

bool nameEquals(std::string_view nameToken, std::string_view key) {
    if (!nameToken.starts_with('/')) return false;
    nameToken.remove_prefix(1);
    if (nameToken.find('#') == npos) return nameToken == key;
    // "#xx" stands for one byte; "#2G" keeps the first digit's value and drops the G, as the
    // parser reads it.
    size_t k = 0;
    for (size_t i = 0; i < nameToken.size(); ++i) {
        int byte = static_cast<unsigned char>(nameToken[i]);
        if (byte == '#' && i + 1 < nameToken.size() && hexDigitValue(nameToken[i + 1]) >= 0) {
            const int high = hexDigitValue(nameToken[i + 1]);
            const int low = i + 2 < nameToken.size() ? hexDigitValue(nameToken[i + 2]) : -1;
            byte = low >= 0 ? high * 16 + low : high * 16;
            i += i + 2 < nameToken.size() ? 2 : 1;
        }
        if (k >= key.size() || static_cast<unsigned char>(key[k]) != byte) return false;
        ++k;
    }
    return k == key.size();
}

std::optional<ObjectHeader> readObjectHeader(std::string_view text, size_t at) {
    PdfScanner s(text, at);
    ObjectHeader h;
    const Token num = s.next();
    const Token gen = s.next();
    const Token keyword = s.next();
    if (num.kind != TokenKind::Regular || gen.kind != TokenKind::Regular ||
        !tokenIs(text, keyword, "obj"))
        return std::nullopt;
    size_t i = num.begin;
    if (!readInteger(text, i, h.num) || i != num.end) return std::nullopt;
    i = gen.begin;
    if (!readInteger(text, i, h.gen) || i != gen.end) return std::nullopt;
    h.end = keyword.end;
    return h;
}

std::optional<ObjectHeader> plainObjectHeader(std::string_view text, size_t at) {
    size_t i = afterSpace(text, at);
    ObjectHeader h;
    auto digits = [&](int64_t& value, size_t most) {
        const size_t from = i;
        value = 0;
        while (i < text.size() && isDecimalDigit(text[i]) && i - from < most)
            value = value * 10 + (text[i++] - '0');
        return i > from && !isRegularAt(text, i);
    };
    auto blank = [&] {
        const size_t from = i;
        while (i < text.size() && isPdfWhitespace(static_cast<unsigned char>(text[i])))
            ++i;
        return i > from;
    };
    if (!digits(h.num, 10) || !blank() || !digits(h.gen, 5) || !blank()) return std::nullopt;
    if (text.substr(i, 3) != "obj" || isRegularAt(text, i + 3)) return std::nullopt;
    h.end = i + 3;
    return h;
}

Value objectValue(std::string_view objectText) {
    const std::optional<ObjectHeader> h = readObjectHeader(objectText, 0);
    if (!h) return {};
    PdfScanner s(objectText, h->end);
    return s.nextValue();
}

std::optional<Value> dictionaryAt(std::string_view text, size_t from) {
    PdfScanner s(text, from);
    for (;;) {
        const Token t = s.next();
        if (t.kind == TokenKind::End) return std::nullopt;
        if (t.kind == TokenKind::DictOpen) {
            s.seek(t.begin);
            return s.nextValue();
        }
    }
}

DictReader::DictReader(std::string_view text, size_t from) : text_(text), scanner_(text, from) {
    for (;;) {
        const Token t = scanner_.next();
        if (t.kind == TokenKind::End) return;
        if (t.kind == TokenKind::DictOpen) break;
    }
    open_ = true;
}

bool DictReader::next(std::string_view& key, DictEntry& entry) {
    while (open_) {
        const Token t = scanner_.next();
        if (t.kind == TokenKind::End || t.kind == TokenKind::DictClose) break;
        if (t.kind != TokenKind::Name) continue;
        const size_t afterKey = scanner_.pos();
        const Token peek = scanner_.next();
        if (peek.kind == TokenKind::End) break;
        if (peek.kind == TokenKind::Stray) {
            dropped_.push_back(text_.substr(t.begin, t.end - t.begin));
            continue;
        }
        scanner_.seek(afterKey);
        key = text_.substr(t.begin, t.end - t.begin);
        entry.keyBegin = t.begin;
        entry.value = scanner_.nextValue();
        return true;
    }
    open_ = false;
    return false;
}

std::optional<DictEntry> findEntry(std::string_view text, size_t from, std::string_view key) {
    DictReader reader(text, from);
    std::string_view name;
    DictEntry entry;
    while (reader.next(name, entry))
        if (nameEquals(name, key)) return entry;
    return std::nullopt;
}

std::optional<ObjectRef> readReference(std::string_view text, const Value& value) {
    if (value.kind != ValueKind::Reference) return std::nullopt;
    ObjectRef ref;
    size_t i = value.begin;
    readInteger(text, i, ref.num);
    PdfScanner s(text, i);
    const Token gen = s.next();
    i = gen.begin;
    readInteger(text, i, ref.gen);
    return ref;
}

std::optional<int64_t> readIntegerValue(std::string_view text, const Value& value) {
    if (value.kind != ValueKind::Regular) return std::nullopt;
    size_t i = value.begin;
    int64_t v = 0;
    if (!readInteger(text, i, v)) return std::nullopt;
    return v;
}

std::optional<std::array<double, 4>> readBox(std::string_view text, const Value& value) {
    if (value.kind != ValueKind::Array) return std::nullopt;
    std::array<double, 4> box{};
    PdfScanner s(text, value.begin + 1);
    for (double& v : box) {
        const Token t = s.next();
        if (t.kind != TokenKind::Regular || t.end > value.end) return std::nullopt;
        const char c = text[t.begin];
        if (!isDecimalDigit(c) && c != '-' && c != '+' && c != '.') return std::nullopt;
        size_t i = t.begin;
        v = readReal(text, i);
    }
    return box;
}

ObjectEnd scanToObjectEnd(std::string_view text, size_t from) {
    PdfScanner s(text, from);
    ObjectEnd result;
    Value lastDict;
    for (;;) {
        const Token t = s.next();
        switch (t.kind) {
        case TokenKind::End:
            return result;
        case TokenKind::DictOpen:
        case TokenKind::ArrayOpen:
            s.seek(t.begin);
            lastDict = s.nextValue();
            if (lastDict.kind != ValueKind::Dict) lastDict = {};
            continue;
        case TokenKind::Regular: {
            const std::string_view word = text.substr(t.begin, t.end - t.begin);
            if (word == "endobj") {
                result.kind = ObjectEnd::Kind::Endobj;
                result.at = t.end;
                return result;
            }
            if (word == "stream" && lastDict.kind == ValueKind::Dict) {
                result.kind = ObjectEnd::Kind::Stream;
                result.at = t.end;
                result.dict = lastDict;
                return result;
            }
            // The next object's header: this one has no end of its own.
            if (word == "obj") return result;
            break;
        }
        default:
            break;
        }
        lastDict = {};
    }
}

size_t streamDataStart(std::string_view text, size_t afterKeyword) {
    size_t i = afterKeyword;
    while (i < text.size()) {
        const char c = text[i++];
        if (c == '\n') break;
        if (c == '\r') {
            if (i < text.size() && text[i] == '\n') ++i;
            break;
        }
    }
    return i;
}

bool endstreamAt(std::string_view text, size_t at, size_t& end) {
    constexpr std::string_view kKeyword = "endstream";
    PdfScanner s(text, at);
    s.skipSpace();
    const size_t i = s.pos();
    if (text.substr(i, kKeyword.size()) != kKeyword || isRegularAt(text, i + kKeyword.size()))
        return false;
    end = i + kKeyword.size();
    return true;
}

size_t findEndstream(std::string_view text, size_t from) {
    constexpr std::string_view kKeyword = "endstream";
    while (from < text.size()) {
        const void* hit =
            memmem(text.data() + from, text.size() - from, kKeyword.data(), kKeyword.size());
        if (!hit) return npos;
        const size_t at = static_cast<size_t>(static_cast<const char*>(hit) - text.data());
        if (!isRegularAt(text, at + kKeyword.size())) return at;
        from = at + 1;
    }
    return npos;
}

size_t dataEndBefore(std::string_view text, size_t dataStart, size_t keyword) {
    size_t end = keyword;
    if (end > dataStart && text[end - 1] == '\n') --end;
    if (end > dataStart && text[end - 1] == '\r') --end;
    return end;
}

} // namespace tavrix
