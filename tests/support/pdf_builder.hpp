// Builds test PDF files with computed offsets: classic cross-reference tables or streams (with
// or without a PNG predictor), object streams, incremental updates, hybrid files, junk before
// the header. Object bodies are given as text; the builder adds "N G obj" ... "endobj".
// FileText assembles files piece by piece where a test needs damage the builder would not write.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace testpdf {

enum class XrefKind { Table, Stream, Hybrid };

struct Revision {
    std::map<int, std::string> objects; // number -> body
    std::map<int, int> generations;     // number -> generation (default 0)
    std::set<int> freed;                // listed as free in this revision's section
    std::set<int> compressed;           // stored in an object stream of this revision
    std::map<int, std::string> leading; // bytes between an object's offset and its header
    // Streams of this many zero bytes, the object's text giving the dictionary's other entries;
    // writeTo() leaves the data as a hole, so a file of gigabytes takes no disk.
    std::map<int, int64_t> holes;
    int objectStreamNum = 0; // number for that object stream (0: max + 1)
    XrefKind xref = XrefKind::Table;
    bool predictor = false;   // PNG Up predictor on the xref stream
    std::string trailerExtra; // extra trailer keys, e.g. "/Info 9 0 R"
    // Hybrid: the table lists the compressed objects as free instead of omitting them.
    bool hybridTableFreesCompressed = false;
};

class PdfBuilder {
  public:
    std::string junkBeforeHeader;
    std::string header = "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n";
    int rootNum = 1;
    std::vector<Revision> revisions{Revision{}};

    Revision& base() { return revisions.front(); }
    Revision& addRevision() { return revisions.emplace_back(); }
    // Bytes of the file, and where each object's header landed (absolute file offset).
    std::string build();
    // Writes the file at `path`, with the holes of `holes` left unwritten (a sparse file).
    void writeTo(const std::string& path);
    std::map<int, int64_t> offsets; // of the newest revision's objects
    int64_t lastStartxref = 0;

  private:
    std::vector<std::pair<size_t, int64_t>> holeAt_; // where in build()'s bytes, how long
};

// A stream object body with the given dictionary entries and data ("<< ... /Length n >>").
std::string streamBody(const std::string& dictEntries, const std::string& data);
// The same, Flate-compressed with zlib.
std::string flateBody(const std::string& dictEntries, const std::string& data);
std::string deflate(const std::string& data);

// Ways of damaging the cross-reference data of a built file, as files are found damaged.
enum class XrefDamage {
    NoStartxref,     // "startxref" and its offset are gone
    ShiftedOffsets,  // every in-use offset of the newest table points 7 bytes too far
    CutTable,        // the newest table stops halfway; its trailer follows at once
    JunkInSection,   // the newest section holds bytes that are no entries (for a stream: its
                     // compressed data is damaged)
    PrevIntoGarbage, // the newest trailer's /Prev leads into the middle of an object
};
// `bytes` (what b.build() gave) with `how` done to it. Where the damage starts (a byte offset
// in the file) goes to `at`.
std::string damaged(const PdfBuilder& b, std::string bytes, XrefDamage how, int64_t* at = nullptr);

// A plain document: catalog 1, page tree 2, pages 3.., each page with its own content stream
// drawing "Hello k" and a shared Helvetica font. Pages are numbered in order.
PdfBuilder simpleDocument(int pages, XrefKind xref = XrefKind::Table, bool objectStreams = false);

// Bytes of a document whose pages have no content; `pageEntries` are each page dictionary's
// box and rotation entries.
std::string emptyPages(int pages, const std::string& pageEntries = "/MediaBox [0 0 612 792]");

// Big-endian field of `width` bytes, as cross-reference streams store them.
inline std::string be(uint64_t value, int width) {
    std::string out(static_cast<size_t>(width), '\0');
    for (int i = width - 1; i >= 0; --i) {
        out[static_cast<size_t>(i)] = static_cast<char>(value & 0xFF);
        value >>= 8;
    }
    return out;
}

// One 20-byte line of a classic cross-reference table.
inline std::string entryLine(int64_t offset, int gen, char kind) {
    char line[32];
    std::snprintf(line, sizeof line, "%010lld %05d %c\r\n", static_cast<long long>(offset), gen,
                  kind);
    return line;
}

// A file assembled piece by piece. Offsets are counted from the "%PDF-" header, as the
// cross-reference data counts them; `junk` goes in front of the header.
class FileText {
  public:
    explicit FileText(std::string junk = "") : junk_(std::move(junk)) {}

    int64_t pos() const { return static_cast<int64_t>(body_.size()); }
    int64_t add(const std::string& piece) {
        const int64_t at = pos();
        body_ += piece;
        return at;
    }
    // "num gen obj\n" body "\nendobj\n"; remembers where the header landed.
    int64_t object(int num, const std::string& body, int gen = 0) {
        offsets[num] = pos();
        return add(std::to_string(num) + " " + std::to_string(gen) + " obj\n" + body +
                   "\nendobj\n");
    }
    // A classic section for objects 0 .. size - 1: the ones placed are in use (generation
    // from `gens`, default 0), the others free. Returns where "xref" starts.
    int64_t table(int size, const std::string& trailerKeys, const std::map<int, int>& gens = {}) {
        std::string text = "xref\n0 " + std::to_string(size) + "\n";
        for (int num = 0; num < size; ++num) {
            auto it = offsets.find(num);
            if (num > 0 && it != offsets.end())
                text += entryLine(it->second, gens.count(num) ? gens.at(num) : 0, 'n');
            else
                text += entryLine(0, num == 0 ? 65535 : 0, 'f');
        }
        return add(text + "trailer\n<< /Size " + std::to_string(size) + " " + trailerKeys +
                   " >>\n");
    }
    void startxref(int64_t at) { add("startxref\n" + std::to_string(at) + "\n%%EOF\n"); }
    // Replaces a placeholder of ten "X" written earlier (where an offset was not yet known)
    // with `value`, zero-padded to the same width so that no offset moves.
    void patch(const std::string& placeholder, int64_t value) {
        char digits[16];
        std::snprintf(digits, sizeof digits, "%010lld", static_cast<long long>(value));
        const size_t at = body_.find(placeholder);
        if (at == std::string::npos) throw std::logic_error("no placeholder " + placeholder);
        body_.replace(at, placeholder.size(), digits);
    }
    std::string bytes() const { return junk_ + body_; }

    std::map<int, int64_t> offsets; // object number -> header offset

  private:
    std::string junk_;
    std::string body_ = "%PDF-1.5\n"; // from the header on
};

} // namespace testpdf
