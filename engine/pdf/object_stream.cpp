#include "engine/pdf/object_stream.hpp"

#include <algorithm>
#include <memory>

#include "engine/pdf/flate_stream.hpp"
#include "engine/pdf/pdf_parser.hpp"
#include "engine/pdf/pdf_scanner.hpp"
#include "engine/pdf/pdf_stream.hpp"
#include "engine/pdf/xref_table.hpp"

namespace tavrix {

ObjectStream::ObjectStream(XrefTable& xref, int32_t streamNum) : streamNum_(streamNum) {
    // Every way out before the members are known leaves them all null; the note says so.
    bool decoded = false;
    struct Note {
        XrefTable& xref;
        int32_t num;
        const bool& decoded;
        ~Note() {
            if (!decoded)
                xref.diagnostics().add(num, -1,
                                       "not a usable object stream; the objects it should hold "
                                       "read as null");
        }
    } note{xref, streamNum, decoded};
    const PdfObject obj = xref.fetchObject(streamNum, 0);
    if (!obj.isStream()) return;
    PdfStream& stream = *obj.getStream();
    const std::shared_ptr<PdfDict> dict = stream.streamDict();
    if (!dict) return;
    const PdfObject n = dict->lookup("N");
    const PdfObject first = dict->lookup("First");
    if (!n.isInt() || n.getInt() <= 0 || !first.isInt() || first.getInt() < 0) return;

    // Decoded once: both the parsed members and the raw member bytes come from this copy.
    auto data = std::make_shared<std::string>();
    // Whole-buffer decoding where the data allows; otherwise (a predictor, damaged data) the
    // stream is read as it goes.
    auto* flate = dynamic_cast<FlateStream*>(&stream);
    if (!flate || !flate->decodeWhole(*data, xref.limits().maxObjectStreamBytes)) {
        stream.rewind();
        constexpr size_t kChunk = 64 * 1024;
        const auto chunk = std::make_unique_for_overwrite<unsigned char[]>(kChunk);
        for (;;) {
            if (data->size() >= xref.limits().maxObjectStreamBytes) return;
            const size_t got = stream.read(chunk.get(), kChunk);
            if (got == 0) break;
            data->append(reinterpret_cast<const char*>(chunk.get()), got);
        }
    }
    // The cache is budgeted by size; growth room must not stay allocated.
    data->shrink_to_fit();
    if (static_cast<size_t>(first.getInt()) > data->size()) return;
    // Each header pair takes at least four bytes, which bounds N by the data itself.
    if (static_cast<size_t>(n.getInt()) > data->size() / 2 + 1) return;

    if (first.getInt() == 0) return; // an empty header holds no pairs
    // The header is read with the scanner: it holds only integers, and a full parse of each
    // was the larger part of decoding a stream of small objects.
    PdfScanner header(std::string_view(*data).substr(0, static_cast<size_t>(first.getInt())));
    const auto readNumber = [&header](int64_t& value) {
        // Digits after a space, the usual form, are read on the spot; anything else (a comment,
        // a sign, a stray byte) goes through the scanner.
        const std::string_view bytes = header.text();
        const auto space = [&bytes](size_t at) {
            return bytes[at] == ' ' || bytes[at] == '\n' || bytes[at] == '\r';
        };
        size_t from = header.pos();
        while (from < bytes.size() && space(from))
            ++from;
        size_t to = from;
        if (from < bytes.size() && isDecimalDigit(bytes[from]) && readInteger(bytes, to, value) &&
            (to == bytes.size() || space(to))) {
            header.seek(to);
            return true;
        }
        const Token token = header.next();
        if (token.kind != TokenKind::Regular || header.text()[token.begin] == '+') return false;
        const std::string_view text = header.text().substr(token.begin, token.end - token.begin);
        size_t i = 0;
        return readInteger(text, i, value) && i == text.size();
    };
    std::vector<int32_t> nums;
    std::vector<int64_t> offsets;
    // Each pair takes at least four bytes of the header, which bounds what is worth reserving.
    const auto pairs = static_cast<size_t>(std::min<int64_t>(n.getInt(), first.getInt() / 4 + 1));
    nums.reserve(pairs);
    offsets.reserve(pairs);
    for (int32_t i = 0; i < n.getInt(); ++i) {
        int64_t num = 0, offset = 0;
        if (!readNumber(num) || !readNumber(offset)) return;
        nums.push_back(saturateInt32(num));
        offsets.push_back(offset);
    }
    decoded = true;
    data_ = std::move(data);
    first_ = first.getInt();
    nums_ = std::move(nums);
    offsets_ = std::move(offsets);
}

std::optional<std::string_view> ObjectStream::memberBytes(int32_t index, int32_t num) const {
    if (index < 0 || static_cast<size_t>(index) >= nums_.size() || nums_[index] != num)
        return std::nullopt;
    const int64_t size = static_cast<int64_t>(data_->size());
    const int64_t begin = first_ + offsets_[index];
    int64_t end =
        static_cast<size_t>(index) + 1 < nums_.size() ? first_ + offsets_[index + 1] : size;
    // A header that points outside the data, or backwards, gives no bytes.
    if (begin < first_ || begin > size) return std::nullopt;
    if (end > size) end = size;
    if (end < begin) return std::nullopt;
    return std::string_view(data_->data() + begin, static_cast<size_t>(end - begin));
}

PdfObject ObjectStream::member(XrefTable& xref, int32_t index, int32_t num) {
    const std::optional<std::string_view> bytes = memberBytes(index, num);
    if (!bytes) return PdfObject::makeNull();
    // Members are parsed on each fetch: keeping parsed values for whole object streams costs
    // far more memory than the small parse saves.
    {
        const auto* base = reinterpret_cast<const unsigned char*>(data_->data());
        const int64_t start = bytes->data() - data_->data();
        const bool last = static_cast<size_t>(index) + 1 == nums_.size();
        // The last member runs to the end of the data; a window of length 0 means just that.
        auto window = std::make_shared<FileStream>(data_, base, data_->size(), start,
                                                   last ? 0 : static_cast<int64_t>(bytes->size()),
                                                   PdfObject::makeNull());
        if (!last && bytes->empty()) return PdfObject::makeNull();
        PdfParser parser(&xref, window);
        return parser.getObject();
    }
}

} // namespace tavrix
