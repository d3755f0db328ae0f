#include "engine/writer/object_encryption.hpp"

#include "engine/pdf/pdf_exception.hpp"
#include "engine/pdf/pdf_scanner.hpp"

namespace tavrix {

std::string ObjectEncryption::strings(std::string_view text, std::optional<ObjectKey> from,
                                      std::optional<ObjectKey> to) const {
    if (from == to) return std::string(text);
    std::string out;
    out.reserve(text.size() + text.size() / 4);
    PdfScanner s(text);
    size_t copied = 0;
    for (;;) {
        const Token t = s.next();
        if (t.kind == TokenKind::End) break;
        // Stream data is no text; nothing after the keyword is looked at.
        if (t.kind == TokenKind::Regular && text.substr(t.begin, t.end - t.begin) == "stream")
            break;
        if (t.kind != TokenKind::String && t.kind != TokenKind::HexString) continue;
        std::string bytes = decodeStringToken(text.substr(t.begin, t.end - t.begin));
        if (from) bytes = handler_.decryptString(*from, bytes);
        if (to) bytes = handler_.encryptString(*to, bytes);
        out.append(text.substr(copied, t.begin - copied));
        out += hexStringToken(bytes);
        copied = t.end;
    }
    out.append(text.substr(copied));
    return out;
}

std::string ObjectEncryption::newObject(int32_t num, std::string_view text) const {
    const ObjectKey key{num, 0};
    if (num == encryptNum_) return std::string(text);
    const std::optional<ObjectHeader> header = readObjectHeader(text, 0);
    const ObjectEnd end = header ? scanToObjectEnd(text, header->end) : ObjectEnd{};
    if (end.kind != ObjectEnd::Kind::Stream) return strings(text, std::nullopt, key);
    // The run's own streams give their length directly, and the data runs that long.
    const std::optional<DictEntry> length = findEntry(text, end.dict.begin, "Length");
    const std::optional<int64_t> n = length ? readIntegerValue(text, length->value) : std::nullopt;
    const size_t data = streamDataStart(text, end.at);
    if (!n || *n < 0 || static_cast<size_t>(*n) > text.size() - data)
        throw CPdfException("Internal: a new stream without its length");
    const size_t dataEnd = data + static_cast<size_t>(*n);
    const std::string encrypted = handler_.encryptStream(key, text.substr(data, *n));
    std::string head = strings(text.substr(0, data), std::nullopt, key);
    // The strings before /Length may have grown: the entry is found again in the new head.
    const std::optional<DictEntry> newLength = findEntry(head, end.dict.begin, "Length");
    if (!newLength) throw CPdfException("Internal: a new stream without its length");
    head.replace(newLength->value.begin, newLength->value.end - newLength->value.begin,
                 std::to_string(encrypted.size()));
    return head + encrypted + std::string(text.substr(dataEnd));
}

} // namespace tavrix
