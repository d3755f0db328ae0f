// Builds test PDF files with computed offsets: classic cross-reference tables or streams (with
// or without a PNG predictor), object streams, incremental updates, hybrid files, junk before
// the header. Object bodies are given as text; the builder adds "N G obj" ... "endobj".
#pragma once

#include <cstdint>
#include <map>
#include <set>
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

} // namespace testpdf
