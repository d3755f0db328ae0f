// The cross-reference data of the input: every section along the "Prev" chain (tables and
// streams), the trailer, the catalog and /Info, and fetching of indirect objects.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/pdf/diagnostics.hpp"
#include "engine/pdf/input_file.hpp"
#include "engine/pdf/object_stream.hpp"
#include "engine/pdf/pdf_object.hpp"
#include "engine/pdf/pdf_stream.hpp"
#include "engine/pdf/reader_limits.hpp"
#include "engine/pdf/security_handler.hpp"
#include "engine/pdf/xref_entry.hpp"

namespace tavrix {

class XrefTable {
  public:
    XrefTable(std::shared_ptr<InputFile> file, int64_t headerShift, ReaderLimits limits = {});

    // Reads every section; throws CPdfException on damaged files (kind RepairNeeded, the reason
    // naming the byte where the data broke).
    void read();
    // Whether every in-use entry points at its own object's header (and every compressed one
    // into an object the table has): the cross-reference data can be trusted.
    bool pointsAtObjects(int64_t& firstBad) const;
    // Forgets what read() found and makes the table again from the objects that the file holds,
    // found by scanning it: the last definition of a number wins; the newest trailer that parses
    // gives the catalog, /Info, /ID and /Encrypt. Leaves a note saying so.
    void rebuild();
    // The second part of a rebuild, once the file can be decrypted: the members of the object
    // streams found, and the catalog (the trailer's, else the last /Type /Catalog object).
    // Throws CPdfException when no catalog is left.
    void finishRebuild();
    bool rebuilt() const { return rebuild_ != nullptr; }
    // The failure for object `num`, which the run needs but cannot read: damaged
    // cross-reference data (kind RepairNeeded) when the table lists no such object or points it
    // at other bytes, else `message` with `reason`.
    [[noreturn]] void unreadable(int32_t num, const char* message, const std::string& reason) const;

    // Strings and streams of the file's objects are decrypted with `handler` from now on; object
    // `encryptNum` (the /Encrypt dictionary, -1 when it is direct) is never encrypted.
    void setSecurity(std::shared_ptr<const SecurityHandler> handler, int32_t encryptNum) {
        security_ = std::move(handler);
        encryptNum_ = encryptNum;
    }
    const SecurityHandler* security() const { return security_.get(); }
    int32_t encryptNum() const { return encryptNum_; }

    // Indirect object `num` with generation `gen`; Null when missing (outside the table, free)
    // or mismatching.
    PdfObject fetchObject(int32_t num, int32_t gen);

    // Bytes of a compressed object; nullopt when unobtainable (outside the table, say) or `gen`
    // is not 0. The view stays valid while the object stream is cached; copy it before the next
    // call.
    std::optional<std::string_view> compressedObjectBytes(int32_t num, int32_t gen);
    // Gives back the decoded object streams kept for reuse (they are decoded again if asked).
    void releaseObjectStreams();

    const std::vector<XrefEntry>& entries() const { return entries_; }
    int32_t rootNum() const { return rootNum_; }
    int32_t rootGen() const { return rootGen_; }
    int32_t infoNum() const { return infoNum_; }
    int32_t infoGen() const { return infoGen_; }
    const PdfObject& trailer() const { return trailer_; }
    int64_t headerShift() const { return headerShift_; }
    // Where the newest section (whose trailer this table keeps) starts, counted from the header;
    // for a rebuilt table, where the trailer it took starts ("trailer" or a cross-reference
    // stream); -1 when there is no trailer in the file.
    int64_t trailerSection() const { return trailerSection_; }
    // Where the first object that the table places after object `num` starts (or the end of the
    // file), as an offset in the file: object `num` cannot run past it.
    size_t objectBound(int32_t num);
    const ReaderLimits& limits() const { return limits_; }
    // Damage tolerated while reading the file, for tests and verbose runs.
    Diagnostics& diagnostics() { return diagnostics_; }
    const Diagnostics& diagnostics() const { return diagnostics_; }
    const std::shared_ptr<InputFile>& file() const { return file_; }

    // Nesting depth of the parse whose fetches are under way; parsers made meanwhile start there
    // (see ReaderLimits::maxDepth).
    int nestingBase() const { return nestingBase_; }
    class NestingScope {
      public:
        NestingScope(XrefTable* xref, int depth)
            : xref_(xref), saved_(xref ? xref->nestingBase_ : 0) {
            if (xref_) xref_->nestingBase_ = depth;
        }
        ~NestingScope() {
            if (xref_) xref_->nestingBase_ = saved_;
        }
        NestingScope(const NestingScope&) = delete;
        NestingScope& operator=(const NestingScope&) = delete;

      private:
        XrefTable* xref_;
        int saved_;
    };

  private:
    // The offset "startxref" gives at the end of the file, or 0. `objectAfter` receives where
    // an object header follows it (an update cut short before its own "startxref"), else -1.
    int64_t findStartXref(int64_t& objectAfter) const;
    // Reads the section at `pos`; answers the next section's position when "Prev" gives one.
    std::optional<int64_t> readSection(int64_t pos);
    std::optional<int64_t> readTable(class PdfParser& parser);
    std::optional<int64_t> readStreamSection(PdfStream& stream, bool hybridCompanion);
    void readStreamEntries(PdfStream& stream, int64_t first, int64_t count, const int w[3],
                           bool hybridCompanion);
    void readHybridCompanion(int64_t pos);
    void grow(int64_t size, const char* message);
    std::optional<int64_t> prevOf(const PdfDict& dict) const;
    std::shared_ptr<FileStream> windowAt(int64_t absoluteStart) const;
    std::shared_ptr<ObjectStream> objectStream(int32_t streamNum);
    [[noreturn]] void damagedAt(int64_t at, const std::string& message) const;
    void clearForRebuild();
    bool takeTrailer(int64_t at, bool stream);
    // While a rebuild is under way: where each number's current definition stands in the file,
    // and the object streams found (where, which number), in file order.
    struct RebuildState {
        std::vector<int64_t> definedAt;
        std::vector<std::pair<int64_t, int32_t>> objectStreams;
    };

    std::shared_ptr<InputFile> file_;
    int64_t headerShift_;
    ReaderLimits limits_;
    Diagnostics diagnostics_;
    std::vector<XrefEntry> entries_;
    // Slots that the table section being read marked free: its XRefStm companion may fill them.
    std::vector<int32_t> freedBySection_;
    int32_t rootNum_ = 0, rootGen_ = 0, infoNum_ = 0, infoGen_ = 0;
    int64_t trailerSection_ = 0;
    int64_t entryAt_ = -1;              // the table entry being read, for the place of damage
    std::vector<int64_t> objectStarts_; // of the objects in use, sorted, made on first need
    PdfObject trailer_;
    int fetchDepth_ = 0;
    int nestingBase_ = 0;
    std::list<std::shared_ptr<ObjectStream>> streamCache_; // most recently used first
    std::unordered_map<int32_t, std::list<std::shared_ptr<ObjectStream>>::iterator> cacheIndex_;
    size_t cacheBytes_ = 0;
    std::shared_ptr<const SecurityHandler> security_;
    int32_t encryptNum_ = -1;
    std::unique_ptr<RebuildState> rebuild_;
};

} // namespace tavrix
