// Rebuilding the cross-reference data of a damaged file from the objects it holds. The file is
// searched line by line for "N G obj" headers; each object found is stepped over whole with the
// token-aware scanner (its strings, and its stream data by its /Length or to its "endstream"),
// so that nothing inside an object is taken for a header. A header that ends no object is kept
// too: it may be all that is left of an object that was cut short.
#include <algorithm>

#include "engine/pdf/pdf_exception.hpp"
#include "engine/pdf/pdf_parser.hpp"
#include "engine/pdf/pdf_scanner.hpp"
#include "engine/pdf/xref_table.hpp"

namespace tavrix {
namespace {

// How far past the next header an object's text is followed when it seems to run on.
constexpr size_t kReach = size_t{4} << 20;

struct Found {
    ObjectHeader header;
    size_t at = 0; // where the header's first digit stands
};

// The start of the line after the one that holds `i`.
size_t nextLine(std::string_view text, size_t i) {
    const size_t end = text.find_first_of("\r\n", i);
    if (end == std::string_view::npos) return text.size();
    if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') return end + 2;
    return end + 1;
}

// Every "trailer" keyword: bounded by bytes that are not regular on both sides.
std::vector<size_t> trailerKeywords(std::string_view text, size_t from) {
    constexpr std::string_view kWord = "trailer";
    auto regular = [&](size_t i) {
        return charClass(static_cast<unsigned char>(text[i])) == CharClass::Regular;
    };
    std::vector<size_t> found;
    for (size_t at = text.find(kWord, from); at != std::string_view::npos;
         at = text.find(kWord, at + 1)) {
        const size_t after = at + kWord.size();
        if ((at == 0 || !regular(at - 1)) && (after >= text.size() || !regular(after)))
            found.push_back(at);
    }
    return found;
}

size_t headerStart(std::string_view text, size_t at) {
    PdfScanner s(text, at);
    s.skipSpace();
    return s.pos();
}

// What an object found holds, as far as the rebuild needs to know.
struct Extent {
    size_t end = 0; // just past its "endobj" (or its data); 0 when it has no end of its own
    bool objectStream = false;
    bool xrefStream = false;
};

bool typeIs(std::string_view text, const Value& dict, std::string_view type) {
    const std::optional<DictEntry> entry = findEntry(text, dict.begin, "Type");
    return entry && entry->value.kind == ValueKind::Name && nameEquals(entry->value.in(text), type);
}

} // namespace

void XrefTable::clearForRebuild() {
    entries_.clear();
    freedBySection_.clear();
    rootNum_ = rootGen_ = infoNum_ = infoGen_ = 0;
    trailerSection_ = -1;
    objectStarts_.clear();
    trailer_ = PdfObject();
    streamCache_.clear();
    cacheIndex_.clear();
    cacheBytes_ = 0;
    rebuild_ = std::make_unique<RebuildState>();
}

bool XrefTable::takeTrailer(int64_t at, bool stream) {
    PdfParser parser(nullptr, windowAt(at));
    PdfObject dict;
    try {
        if (stream) {
            const PdfObject num = parser.getObject();
            const PdfObject gen = parser.getObject();
            const PdfObject keyword = parser.getObject();
            const PdfObject value = parser.getObject();
            if (!num.isInt() || !gen.isInt() || !keyword.isCommand("obj") || !value.isStream() ||
                !value.getStream()->streamDict())
                return false;
            dict = PdfObject::makeDict(value.getStream()->streamDict());
        } else {
            if (!parser.getObject().isCommand("trailer")) return false;
            dict = parser.getObject();
        }
    } catch (const CPdfException&) {
        return false;
    }
    if (!dict.isDict() || !dict.getDict()->lookupRaw("Root").isRef()) return false;
    trailer_ = dict;
    trailerSection_ = at - headerShift_;
    const PdfObject root = dict.getDict()->lookupRaw("Root");
    rootNum_ = root.getRefNum();
    rootGen_ = root.getRefGen();
    const PdfObject info = dict.getDict()->lookupRaw("Info");
    if (info.isRef()) {
        infoNum_ = info.getRefNum();
        infoGen_ = info.getRefGen();
    }
    trailer_.getDict()->setXref(this);
    return true;
}

void XrefTable::rebuild() {
    clearForRebuild();
    const std::string_view file = file_->view();
    const size_t start = static_cast<size_t>(std::clamp<int64_t>(headerShift_, 0, ssize(file)));

    // Every line that starts with a header.
    std::vector<Found> headers;
    for (size_t line = start; line < file.size(); line = nextLine(file, line)) {
        size_t at = line;
        while (at < file.size() && (file[at] == ' ' || file[at] == '\t' || file[at] == '\0'))
            ++at;
        // Only the line itself is looked at: blank lines are each a line of their own.
        if (at < file.size() && isDecimalDigit(file[at])) {
            if (const std::optional<ObjectHeader> h = plainObjectHeader(file, at))
                headers.push_back({*h, at});
        }
    }
    // The first header after `pos`, as a bound: no object's dictionary runs into the next one.
    auto boundAfter = [&](size_t pos) {
        const auto it = std::upper_bound(headers.begin(), headers.end(), pos,
                                         [](size_t p, const Found& f) { return p < f.at; });
        return it == headers.end() ? file.size() : it->at;
    };
    // An object's tokens up to its end, first within the next header (a string left open cannot
    // run on), then, when that cuts it short (a string may hold a line that reads as a header),
    // within a wider reach.
    auto scanEnd = [&](size_t from) {
        ObjectEnd end = scanToObjectEnd(file.substr(0, boundAfter(from)), from);
        if (end.kind == ObjectEnd::Kind::Unended) {
            const size_t reach = from + std::min(file.size() - from, kReach);
            end = scanToObjectEnd(file.substr(0, boundAfter(reach)), from);
        }
        return end;
    };
    auto extentOf = [&](const Found& f) {
        Extent x;
        const ObjectEnd end = scanEnd(f.header.end);
        if (end.kind == ObjectEnd::Kind::Endobj) {
            x.end = end.at;
            return x;
        }
        if (end.kind != ObjectEnd::Kind::Stream) return x;
        x.objectStream = typeIs(file, end.dict, "ObjStm");
        x.xrefStream = typeIs(file, end.dict, "XRef");
        // The data by its Length when "endstream" stands there. Otherwise the keyword decides
        // when it comes before the next header (the Length is wrong); a keyword only beyond it
        // is another object's, and a direct Length is trusted (the keyword is damaged). An
        // indirect Length cannot be read before the table is made: the keyword decides.
        const size_t data = streamDataStart(file, end.at);
        size_t afterData = 0;
        const std::optional<DictEntry> length = findEntry(file, end.dict.begin, "Length");
        const std::optional<int64_t> n =
            length ? readIntegerValue(file, length->value) : std::nullopt;
        const bool usable = n && *n >= 0 && *n <= ssize(file) - static_cast<int64_t>(data);
        if (!usable || !endstreamAt(file, data + static_cast<size_t>(*n), afterData)) {
            const size_t keyword = findEndstream(file, data);
            if (usable && (keyword == std::string_view::npos || keyword >= boundAfter(data)))
                afterData = data + static_cast<size_t>(*n);
            else if (keyword != std::string_view::npos)
                afterData = keyword + 9;
            else
                return x; // data that never ends: no end of its own
        }
        const ObjectEnd tail = scanEnd(afterData);
        x.end = tail.kind == ObjectEnd::Kind::Endobj ? tail.at : afterData;
        return x;
    };

    // Objects in file order; a later definition of a number replaces an earlier one.
    const int64_t most =
        std::min(limits_.maxObjects, std::max<int64_t>(limits_.minObjectsBound,
                                                       static_cast<int64_t>(file.size()) * 64));
    std::vector<std::pair<size_t, size_t>> extents; // objects' [start, end), in file order
    std::vector<int64_t> xrefStreams;
    size_t found = 0;
    size_t cursor = start;
    size_t next = 0; // index into headers
    for (;;) {
        Found f;
        if (const std::optional<ObjectHeader> h = plainObjectHeader(file, cursor)) {
            f = {*h, headerStart(file, cursor)}; // an object right after the last one's end
        } else {
            while (next < headers.size() && headers[next].at < cursor)
                ++next;
            if (next == headers.size()) break;
            f = headers[next];
        }
        const Extent x = extentOf(f);
        cursor = x.end > f.header.end ? x.end : f.header.end;
        extents.emplace_back(f.at, cursor);
        if (f.header.num <= 0 || f.header.num >= most || f.header.gen > 65535) {
            diagnostics_.add(-1, static_cast<int64_t>(f.at),
                             "an object header with an unusable number is passed over");
            continue;
        }
        const auto num = static_cast<size_t>(f.header.num);
        if (entries_.size() <= num) {
            entries_.resize(num + 1);
            rebuild_->definedAt.resize(num + 1, -1);
        }
        entries_[num] = {static_cast<int64_t>(f.at) - headerShift_,
                         static_cast<int32_t>(f.header.gen), XrefType::InUse, false};
        rebuild_->definedAt[num] = static_cast<int64_t>(f.at);
        if (x.objectStream)
            rebuild_->objectStreams.emplace_back(static_cast<int64_t>(f.at),
                                                 static_cast<int32_t>(num));
        if (x.xrefStream) xrefStreams.push_back(static_cast<int64_t>(f.at));
        ++found;
    }
    if (found == 0)
        throw CPdfException("PDF file was damaged",
                            "{input} is damaged beyond repair: no objects were found in it");

    // The newest trailer that parses and names a catalog: "trailer" keywords outside the
    // objects found, and cross-reference streams.
    auto insideObject = [&](size_t at) {
        const auto it = std::upper_bound(extents.begin(), extents.end(), at,
                                         [](size_t p, const auto& e) { return p < e.first; });
        return it != extents.begin() && at < std::prev(it)->second;
    };
    std::vector<std::pair<int64_t, bool>> trailers; // where, whether a stream
    for (const size_t at : trailerKeywords(file, start))
        if (!insideObject(at)) trailers.emplace_back(static_cast<int64_t>(at), false);
    for (const int64_t at : xrefStreams)
        trailers.emplace_back(at, true);
    std::sort(trailers.begin(), trailers.end());
    bool haveTrailer = false;
    for (auto it = trailers.rbegin(); it != trailers.rend() && !haveTrailer; ++it)
        haveTrailer = takeTrailer(it->first, it->second);
    if (!haveTrailer) trailer_ = PdfObject::makeDict(this);
    diagnostics_.add(-1, -1,
                     "the cross-reference data was rebuilt from the " + std::to_string(found) +
                         " objects found in the file" +
                         (haveTrailer ? std::string() : "; no trailer parses"));
}

void XrefTable::finishRebuild() {
    if (!rebuild_) return;
    // Members of object streams, unless a later plain object defines the same number.
    for (const auto& [at, streamNum] : rebuild_->objectStreams) {
        if (rebuild_->definedAt[static_cast<size_t>(streamNum)] != at) continue;
        const std::shared_ptr<ObjectStream> os = objectStream(streamNum);
        if (!os) continue;
        const std::vector<int32_t>& members = os->memberNumbers();
        for (size_t index = 0; index < members.size(); ++index) {
            const int32_t num = members[index];
            if (num <= 0 || num == streamNum ||
                static_cast<int64_t>(num) >= std::min<int64_t>(limits_.maxObjects, INT32_MAX))
                continue;
            const auto n = static_cast<size_t>(num);
            if (entries_.size() <= n) {
                entries_.resize(n + 1);
                rebuild_->definedAt.resize(n + 1, -1);
            }
            if (rebuild_->definedAt[n] > at) continue;
            entries_[n] = {streamNum, static_cast<int32_t>(index), XrefType::Compressed, false};
            rebuild_->definedAt[n] = at;
        }
    }
    objectStarts_.clear();

    // The trailer's catalog when it is one, else the last catalog object defined.
    auto isCatalog = [&](int32_t num) {
        if (num <= 0 || static_cast<size_t>(num) >= entries_.size()) return false;
        const XrefEntry& e = entries_[static_cast<size_t>(num)];
        const PdfObject obj = fetchObject(num, e.type == XrefType::InUse ? e.gen : 0);
        return obj.isDict() && (obj.getDict()->lookup("Type").isName("Catalog") ||
                                obj.getDict()->lookupRaw("Pages").isRef());
    };
    if (!isCatalog(rootNum_)) {
        int32_t best = 0;
        int64_t bestAt = -1;
        for (size_t i = 1; i < entries_.size(); ++i) {
            if (entries_[i].type == XrefType::Free || rebuild_->definedAt[i] < bestAt) continue;
            const XrefEntry& e = entries_[i];
            const PdfObject obj =
                fetchObject(static_cast<int32_t>(i), e.type == XrefType::InUse ? e.gen : 0);
            if (obj.isDict() && obj.getDict()->lookup("Type").isName("Catalog")) {
                best = static_cast<int32_t>(i);
                bestAt = rebuild_->definedAt[i];
            }
        }
        if (best == 0)
            throw CPdfException("PDF file was damaged",
                                "{input} is damaged beyond repair: it holds no catalog");
        diagnostics_.add(best, -1, "the catalog is taken from the last /Type /Catalog object");
        rootNum_ = best;
        const XrefEntry& e = entries_[static_cast<size_t>(best)];
        rootGen_ = e.type == XrefType::InUse ? e.gen : 0;
    }
    rebuild_->objectStreams.clear();
}

} // namespace tavrix
