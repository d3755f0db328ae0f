#include "engine/pdf/xref_table.hpp"

#include <algorithm>
#include <array>
#include <unordered_set>

#include "engine/pdf/pdf_exception.hpp"
#include "engine/pdf/pdf_parser.hpp"
#include "engine/pdf/pdf_scanner.hpp"

namespace tavrix {
namespace {

// Guards a nested fetch so that self-referencing objects cannot recurse without end.
class DepthGuard {
  public:
    explicit DepthGuard(int& depth) : depth_(depth) { ++depth_; }
    ~DepthGuard() { --depth_; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

  private:
    int& depth_;
};

} // namespace

XrefTable::XrefTable(std::shared_ptr<InputFile> file, int64_t headerShift, ReaderLimits limits)
    : file_(std::move(file)), headerShift_(headerShift), limits_(limits) {}

std::shared_ptr<FileStream> XrefTable::windowAt(int64_t absoluteStart) const {
    return std::make_shared<FileStream>(file_, file_->data(), file_->size(), absoluteStart, 0,
                                        PdfObject::makeNull());
}

int64_t XrefTable::findStartXref(int64_t& objectAfter) const {
    objectAfter = -1;
    // Only the end of the file is searched; a file shorter than that is searched whole.
    const std::string_view all = file_->view();
    const size_t from = all.size() > limits_.startxrefTail ? all.size() - limits_.startxrefTail : 0;
    const std::string_view tail = all.substr(from);
    const size_t at = tail.rfind("startxref");
    if (at == std::string_view::npos) return 0;
    size_t i = at + 9;
    while (i < tail.size() && isPdfWhitespace(static_cast<unsigned char>(tail[i])))
        ++i;
    int64_t value = 0;
    if (i < tail.size() && !isDecimalDigit(tail[i])) return 0; // no sign before the offset
    if (!readInteger(tail, i, value) || value > (int64_t{1} << 40)) return 0;
    // Bytes after the end marker are common (padding, a mail footer) and harmless; an object
    // there is not: an update whose own cross-reference data is missing would be dropped.
    std::string_view before[2];
    PdfScanner s(tail, i);
    for (Token t = s.next(); t.kind != TokenKind::End; t = s.next()) {
        const std::string_view word = tail.substr(t.begin, t.end - t.begin);
        const auto digits = [](std::string_view w) {
            return !w.empty() &&
                   std::all_of(w.begin(), w.end(), [](char c) { return isDecimalDigit(c); });
        };
        if (t.kind == TokenKind::Regular && word == "obj" && digits(before[0]) &&
            digits(before[1])) {
            objectAfter =
                static_cast<int64_t>(from + static_cast<size_t>(before[0].data() - tail.data()));
            break;
        }
        before[0] = before[1];
        before[1] = t.kind == TokenKind::Regular ? word : std::string_view{};
    }
    return value;
}

void XrefTable::grow(int64_t size, const char* message) {
    // Every object takes some bytes of the file, even compressed in an object stream; a table
    // far larger than the file could hold is refused before it is allocated.
    const int64_t fileBound =
        std::max<int64_t>(limits_.minObjectsBound, static_cast<int64_t>(file_->size()) * 64);
    if (size < 0 || size > std::min(limits_.maxObjects, fileBound)) throw CPdfException(message);
    if (static_cast<int64_t>(entries_.size()) < size) entries_.resize(static_cast<size_t>(size));
}

void XrefTable::damagedAt(int64_t at, const std::string& message) const {
    throw CPdfException(message,
                        "{input}: cross-reference data damaged at byte " + std::to_string(at) +
                            "; --repair rebuilds it",
                        FailureKind::RepairNeeded);
}

void XrefTable::read() {
    if (static_cast<uint64_t>(file_->size()) > static_cast<uint64_t>(limits_.maxFileSize)) {
        throw CPdfException("PDF file is too large",
                            "{input} has " + std::to_string(file_->size()) +
                                " bytes, more than the " + std::to_string(limits_.maxFileSize) +
                                " a cross-reference table can address; split it into smaller "
                                "files");
    }
    int64_t objectAfter = -1;
    int64_t pos = findStartXref(objectAfter);
    if (pos == 0) {
        diagnostics_.add(-1, -1, "no usable 'startxref' at the end of the file");
        damagedAt(static_cast<int64_t>(file_->size()), "PDF file was damaged");
    }
    if (objectAfter >= 0) {
        diagnostics_.add(-1, objectAfter,
                         "an object follows the last 'startxref': the newest update has no "
                         "cross-reference data of its own");
        damagedAt(objectAfter, "PDF file was damaged");
    }
    trailerSection_ = pos;
    // A "Prev" chain that comes back to a section already read stops there.
    std::unordered_set<int64_t> visited;
    for (;;) {
        if (!visited.insert(pos).second) {
            diagnostics_.add(-1, pos,
                             "the chain of cross-reference sections comes back here; the "
                             "sections before it are not read again");
            break;
        }
        std::optional<int64_t> next = readSection(pos);
        if (!next) break;
        pos = *next;
    }
    const int64_t trailerAt = headerShift_ + trailerSection_;
    if (!trailer_.isDict()) damagedAt(trailerAt, "PDF file was damaged");
    const PdfDict& trailer = *trailer_.getDict();
    const PdfObject root = trailer.lookupRaw("Root");
    if (!root.isRef()) {
        diagnostics_.add(-1, trailerAt, "the trailer names no catalog (/Root)");
        damagedAt(trailerAt, "PDF file was damaged");
    }
    rootNum_ = root.getRefNum();
    rootGen_ = root.getRefGen();
    const PdfObject info = trailer.lookupRaw("Info");
    if (info.isRef()) {
        infoNum_ = info.getRefNum();
        infoGen_ = info.getRefGen();
    }
    trailer_.getDict()->setXref(this);
}

void XrefTable::unreadable(int32_t num, const char* message, const std::string& reason) const {
    if (num > 0 && static_cast<size_t>(num) < entries_.size() && !rebuilt()) {
        const XrefEntry& e = entries_[static_cast<size_t>(num)];
        const std::string_view file = file_->view();
        const int64_t at = headerShift_ + e.offset;
        // An object the file needs that no section lists (a chain cut short, say).
        if (e.type == XrefType::Free) damagedAt(headerShift_ + trailerSection_, message);
        if (e.type == XrefType::InUse) {
            const std::optional<ObjectHeader> h =
                at >= 0 && at < static_cast<int64_t>(file.size())
                    ? plainObjectHeader(file, static_cast<size_t>(at))
                    : std::nullopt;
            if (!h || h->num != num || h->gen != e.gen) damagedAt(at, message);
        }
    }
    throw CPdfException(message, reason);
}

bool XrefTable::pointsAtObjects(int64_t& firstBad) const {
    const std::string_view file = file_->view();
    for (size_t i = 1; i < entries_.size(); ++i) {
        const XrefEntry& e = entries_[i];
        if (e.type == XrefType::Compressed) {
            const bool inTable = e.offset > 0 && static_cast<size_t>(e.offset) < entries_.size() &&
                                 entries_[static_cast<size_t>(e.offset)].type == XrefType::InUse;
            if (inTable) continue;
            firstBad = -1;
            return false;
        }
        if (e.type != XrefType::InUse) continue;
        const int64_t at = headerShift_ + e.offset;
        const std::optional<ObjectHeader> h = at >= 0 && at < static_cast<int64_t>(file.size())
                                                  ? plainObjectHeader(file, static_cast<size_t>(at))
                                                  : std::nullopt;
        if (!h || h->num != static_cast<int64_t>(i) || h->gen != e.gen) {
            firstBad = at;
            return false;
        }
    }
    return true;
}

std::optional<int64_t> XrefTable::prevOf(const PdfDict& dict) const {
    const PdfObject prev = dict.lookupRaw("Prev");
    if (prev.isInt()) return prev.getInt64();
    if (prev.isRef()) return prev.getRefNum();
    return std::nullopt;
}

std::optional<int64_t> XrefTable::readSection(int64_t pos) {
    PdfParser parser(nullptr, windowAt(headerShift_ + pos));
    entryAt_ = -1;
    try {
        PdfObject obj = parser.getObject();
        if (obj.isCommand("xref")) return readTable(parser);
        if (obj.isInt()) {
            const PdfObject gen = parser.getObject();
            const PdfObject keyword = parser.getObject();
            const PdfObject stream = parser.getObject();
            if (!gen.isInt() || !keyword.isCommand("obj") || !stream.isStream())
                throw CPdfException("Couldn't parse an xref stream");
            return readStreamSection(*stream.getStream(), false);
        }
        throw CPdfException("Couldn't parse an xref");
    } catch (const CPdfException& e) {
        if (e.kind() == FailureKind::RepairNeeded) throw;
        // Where the data broke: the table entry that does not read, else the start of the
        // object the parse read last.
        const int64_t at =
            std::max<int64_t>(entryAt_ >= 0 ? entryAt_ : parser.objectStart(), headerShift_ + pos);
        diagnostics_.add(-1, at,
                         std::string("the cross-reference section does not parse (") +
                             e.getMessage() + ")");
        damagedAt(at, e.getMessage());
    }
}

std::optional<int64_t> XrefTable::readTable(PdfParser& parser) {
    freedBySection_.clear();
    for (;;) {
        PdfObject obj = parser.getObject();
        if (obj.isCommand("trailer")) break;
        const PdfObject countObj = parser.getObject();
        if (!obj.isInt() || !countObj.isInt()) throw CPdfException("Couldn't parse an xref table");
        const int64_t first = obj.getInt64();
        const int64_t count = countObj.getInt64();
        if (first < 0 || count < 0) throw CPdfException("Couldn't parse an xref table");
        grow(first + count, "Couldn't parse an xref table");
        for (int64_t num = first; num < first + count; ++num) {
            const PdfObject offset = parser.getObject();
            entryAt_ = parser.objectStart();
            const PdfObject gen = parser.getObject();
            const PdfObject kind = parser.getObject();
            if (!offset.isInt() || !gen.isInt() || !(kind.isCommand("n") || kind.isCommand("f")))
                throw CPdfException("Couldn't parse an xref table");
            XrefEntry& e = entries_[static_cast<size_t>(num)];
            if (!e.unset) continue;
            e.offset = offset.getInt64();
            e.gen = gen.getInt();
            e.type = kind.isCommand("n") ? XrefType::InUse : XrefType::Free;
            e.unset = false;
            if (e.type == XrefType::Free) freedBySection_.push_back(static_cast<int32_t>(num));
        }
    }
    entryAt_ = -1;
    const PdfObject trailer = parser.getObject();
    if (!trailer.isDict()) throw CPdfException("Trailer dictionary is wrong type");
    if (trailer_.isNone()) trailer_ = trailer;
    // Hybrid files: objects that this table omits or marks free may be listed in the
    // companion cross-reference stream named by XRefStm; they are part of the same revision.
    const PdfObject xrefStm = trailer.getDict()->lookupRaw("XRefStm");
    if (xrefStm.isInt() && xrefStm.getInt64() > 0) {
        std::sort(freedBySection_.begin(), freedBySection_.end());
        readHybridCompanion(xrefStm.getInt64());
    }
    freedBySection_.clear();
    return prevOf(*trailer.getDict());
}

void XrefTable::readHybridCompanion(int64_t pos) {
    PdfParser parser(nullptr, windowAt(headerShift_ + pos));
    try {
        const PdfObject num = parser.getObject();
        const PdfObject gen = parser.getObject();
        const PdfObject keyword = parser.getObject();
        const PdfObject stream = parser.getObject();
        if (!num.isInt() || !gen.isInt() || !keyword.isCommand("obj") || !stream.isStream())
            throw CPdfException("Couldn't parse an xref stream");
        readStreamSection(*stream.getStream(), true);
    } catch (const CPdfException& e) {
        const int64_t at = std::max<int64_t>(parser.objectStart(), headerShift_ + pos);
        diagnostics_.add(-1, at,
                         std::string("the cross-reference stream does not parse (") +
                             e.getMessage() + ")");
        damagedAt(at, e.getMessage());
    }
}

std::optional<int64_t> XrefTable::readStreamSection(PdfStream& stream, bool hybridCompanion) {
    const std::shared_ptr<PdfDict> dict = stream.streamDict();
    if (!dict) throw CPdfException("Couldn't parse an xref stream");
    const PdfObject size = dict->lookupRaw("Size");
    if (!size.isInt()) throw CPdfException("Size of xref Stream is wrong type");
    grow(size.getInt64(), "Couldn't parse an xref stream");
    const PdfObject wObj = dict->lookupRaw("W");
    if (!wObj.isArray()) throw CPdfException("W item of xref Stream is wrong type");
    const PdfArray& wArray = *wObj.getArray();
    if (wArray.size() < 3) throw CPdfException("W item of xref Stream is wrong length");
    int w[3];
    for (int k = 0; k < 3; ++k) {
        const PdfObject v = wArray.getRaw(static_cast<size_t>(k));
        if (!v.isInt() || v.getInt() < 0)
            throw CPdfException("W item of xref Stream is wrong type");
        w[k] = v.getInt();
    }
    // Rows of no bytes say nothing, and an Index of many large ranges would loop over them
    // without reading anything: millions of entries per pair from a few bytes of input.
    if (w[0] == 0 && w[1] == 0 && w[2] == 0)
        throw CPdfException("W item of xref Stream is wrong type");
    stream.rewind();
    const PdfObject index = dict->lookupRaw("Index");
    if (index.isArray()) {
        const PdfArray& pairs = *index.getArray();
        for (size_t i = 0; i + 1 < pairs.size(); i += 2) {
            const PdfObject first = pairs.getRaw(i);
            const PdfObject count = pairs.getRaw(i + 1);
            if (!first.isInt() || !count.isInt())
                throw CPdfException("Index item of xref Stream is wrong type");
            readStreamEntries(stream, first.getInt64(), count.getInt64(), w, hybridCompanion);
        }
    } else {
        readStreamEntries(stream, 0, size.getInt64(), w, hybridCompanion);
    }
    if (hybridCompanion) return std::nullopt;
    if (trailer_.isNone()) trailer_ = PdfObject::makeDict(dict);
    return prevOf(*dict);
}

void XrefTable::readStreamEntries(PdfStream& stream, int64_t first, int64_t count, const int w[3],
                                  bool hybridCompanion) {
    if (first < 0 || count < 0) throw CPdfException("Couldn't parse an xref stream");
    grow(first + count, "Couldn't parse an xref stream");
    // A row at a time where rows are of a usual width (a few bytes a field); wider ones, which
    // only a damaged or hostile file has, byte by byte.
    constexpr int kRowBuffer = 32;
    const int64_t rowBytes = int64_t{w[0]} + w[1] + w[2];
    std::array<unsigned char, kRowBuffer> row{};
    for (int64_t num = first; num < first + count; ++num) {
        uint64_t field[3] = {0, 0, 0};
        size_t at = 0;
        const bool buffered = rowBytes <= kRowBuffer;
        if (buffered &&
            stream.read(row.data(), static_cast<size_t>(rowBytes)) != static_cast<size_t>(rowBytes))
            throw CPdfException("Unexpected EOF while reading xref stream section");
        for (int k = 0; k < 3; ++k) {
            for (int b = 0; b < w[k]; ++b) {
                const int c = buffered ? row[at++] : stream.nextChar();
                if (c < 0) throw CPdfException("Unexpected EOF while reading xref stream section");
                field[k] = field[k] * 256 + static_cast<unsigned>(c);
            }
        }
        if (w[0] == 0) field[0] = 1;
        if (field[0] > 2)
            throw CPdfException("Wrong type of xref entry while reading xref stream section");
        XrefEntry& e = entries_[static_cast<size_t>(num)];
        // The companion is searched, not copied per Index pair: a section may have many pairs.
        const bool fill =
            e.unset || (hybridCompanion && field[0] != 0 &&
                        std::binary_search(freedBySection_.begin(), freedBySection_.end(),
                                           static_cast<int32_t>(num)));
        if (!fill) continue;
        e.type = static_cast<XrefType>(field[0]);
        e.offset = static_cast<int64_t>(field[1] & 0x7FFFFFFFFFFFull);
        e.gen = static_cast<int32_t>(field[2] & 0x7FFFFFFF);
        e.unset = false;
    }
}

PdfObject XrefTable::fetchObject(int32_t num, int32_t gen) {
    // A reference to an object that is not in the table is a reference to null, as for a free
    // one: viewers open such files, so one dangling reference must not refuse the whole file.
    if (num < 0 || static_cast<size_t>(num) >= entries_.size()) {
        diagnostics_.add(num, -1,
                         "a reference names an object the file does not have; read as "
                         "null");
        return PdfObject::makeNull();
    }
    if (fetchDepth_ >= limits_.maxFetchDepth) {
        diagnostics_.add(num, -1, "references nested too deep; read as null");
        return PdfObject::makeNull();
    }
    DepthGuard guard(fetchDepth_);
    const XrefEntry e = entries_[static_cast<size_t>(num)];
    if (e.type == XrefType::InUse) {
        if (gen != e.gen) return PdfObject::makeNull();
        PdfParser parser(this, windowAt(headerShift_ + e.offset));
        if (security_ && num != encryptNum_) parser.setDecryption(security_.get(), {num, gen});
        const PdfObject n = parser.getObject();
        const PdfObject g = parser.getObject();
        const PdfObject keyword = parser.getObject();
        if (!n.isInt() || n.getInt() != num || !g.isInt() || g.getInt() != gen ||
            !keyword.isCommand("obj")) {
            diagnostics_.add(num, headerShift_ + e.offset,
                             "the cross-reference data points at other bytes; read as null");
            return PdfObject::makeNull();
        }
        return parser.getObject();
    }
    if (e.type == XrefType::Compressed) {
        if (e.offset > INT32_MAX) return PdfObject::makeNull();
        std::shared_ptr<ObjectStream> os = objectStream(static_cast<int32_t>(e.offset));
        if (!os) return PdfObject::makeNull();
        return os->member(*this, e.gen, num);
    }
    return PdfObject::makeNull();
}

std::optional<std::string_view> XrefTable::compressedObjectBytes(int32_t num, int32_t gen) {
    if (num < 0 || static_cast<size_t>(num) >= entries_.size() || gen != 0) return std::nullopt;
    const XrefEntry& e = entries_[static_cast<size_t>(num)];
    if (e.type != XrefType::Compressed || e.offset > INT32_MAX) return std::nullopt;
    std::shared_ptr<ObjectStream> os = objectStream(static_cast<int32_t>(e.offset));
    if (!os) return std::nullopt;
    return os->memberBytes(e.gen, num);
}

size_t XrefTable::objectBound(int32_t num) {
    const int64_t fileSize = static_cast<int64_t>(file_->size());
    if (num < 0 || static_cast<size_t>(num) >= entries_.size() ||
        entries_[static_cast<size_t>(num)].type != XrefType::InUse)
        return file_->size();
    if (objectStarts_.empty()) {
        // Where the objects start, in file order, made once: an object ends where the next one
        // at a larger offset starts. One number per object in use, not per table slot, so that
        // a file of object streams keeps no table of its compressed objects here.
        for (const XrefEntry& e : entries_)
            if (e.type == XrefType::InUse) objectStarts_.push_back(headerShift_ + e.offset);
        std::sort(objectStarts_.begin(), objectStarts_.end());
        objectStarts_.erase(std::unique(objectStarts_.begin(), objectStarts_.end()),
                            objectStarts_.end());
    }
    const int64_t at = headerShift_ + entries_[static_cast<size_t>(num)].offset;
    const auto next = std::upper_bound(objectStarts_.begin(), objectStarts_.end(), at);
    return static_cast<size_t>(
        std::clamp<int64_t>(next == objectStarts_.end() ? fileSize : *next, 0, fileSize));
}

void XrefTable::releaseObjectStreams() {
    streamCache_.clear();
    cacheIndex_.clear();
    cacheBytes_ = 0;
}

std::shared_ptr<ObjectStream> XrefTable::objectStream(int32_t streamNum) {
    auto hit = cacheIndex_.find(streamNum);
    if (hit != cacheIndex_.end()) {
        streamCache_.splice(streamCache_.begin(), streamCache_, hit->second);
        return streamCache_.front();
    }
    // Decoding is guarded like a fetch: an object stream stored inside itself must not loop.
    if (fetchDepth_ >= limits_.maxFetchDepth) return nullptr;
    DepthGuard guard(fetchDepth_);
    auto os = std::make_shared<ObjectStream>(*this, streamNum);
    // A nested decode may have cached this stream meanwhile; keep one entry per number.
    if (auto again = cacheIndex_.find(streamNum); again != cacheIndex_.end()) {
        cacheBytes_ -= (*again->second)->decodedSize();
        streamCache_.erase(again->second);
        cacheIndex_.erase(again);
    }
    streamCache_.push_front(os);
    cacheIndex_[streamNum] = streamCache_.begin();
    cacheBytes_ += os->decodedSize();
    // Decoded streams are kept while they fit the budget, least recently used out first.
    while (cacheBytes_ > limits_.objectStreamCacheBytes && streamCache_.size() > 1) {
        const std::shared_ptr<ObjectStream>& oldest = streamCache_.back();
        cacheBytes_ -= oldest->decodedSize();
        cacheIndex_.erase(oldest->streamNum());
        streamCache_.pop_back();
    }
    return os;
}

} // namespace tavrix
