// The output's objects and its one cross-reference table: new objects are appended with the
// numbers above the input's highest, input objects keep their numbers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/writer/object_encryption.hpp"
#include "engine/writer/output_file.hpp"

namespace tavrix {

struct OutputEntry {
    int64_t offset = 0;
    int32_t gen = 0;
    bool written = false;
};

// Cross-reference entries hold offsets in ten digits.
inline constexpr int64_t kMaxXrefOffset = 9'999'999'999;

// How the output holds the input: rewritten whole with one new table, or as the input's own
// bytes followed by an update section holding only what the run changed.
enum class Layout { Rewrite, Update };

class PdfWriter {
  public:
    // One cleared entry per input object number, with room for `newObjects` more. Objects may
    // start at offsets up to `offsetLimit` (lower only in tests).
    PdfWriter(OutputFile& out, size_t inputEntries, size_t newObjects = 0,
              int64_t offsetLimit = kMaxXrefOffset)
        : out_(out), offsetLimit_(offsetLimit) {
        offsets_.reserve(inputEntries + newObjects);
        gens_.reserve(inputEntries + newObjects);
        written_.reserve(inputEntries + newObjects);
        offsets_.resize(inputEntries);
        gens_.resize(inputEntries);
        written_.resize(inputEntries);
    }

    // An update follows the input's bytes, already written: its offsets count from `base` (where
    // the input's "%PDF-" header stands, as the input's own offsets do), each object it writes
    // starts on a line of its own, and an object that several pages share is written once.
    // `lastByte`: the input's last byte.
    void beginUpdate(int64_t base, char lastByte);
    Layout layout() const { return layout_; }

    void write(std::string_view bytes) {
        if (bytes.empty()) return;
        out_.write(bytes);
        lastByte_ = bytes.back();
    }
    void writeFromFile(int fd, int64_t offset, std::string_view mapped) {
        out_.writeFromFile(fd, offset, mapped);
        if (!mapped.empty()) lastByte_ = mapped.back();
    }
    // Where the next byte goes, counted as the table's offsets count.
    int64_t position() const { return out_.position() - base_; }

    // The output of an encrypted input is encrypted with its keys: from now on every new object
    // is, and so is every input object whose text changes hands (see writeObjectText).
    // `handler` outlives the writer.
    void setEncryption(const SecurityHandler& handler, int32_t encryptNum) {
        encryption_.emplace(handler, encryptNum);
    }
    bool encrypting() const { return encryption_.has_value(); }

    // Writes "<number>" + `text` (which begins with " 0 obj") and returns the new number. Every
    // new object passes here, and is encrypted here when the output is.
    int32_t appendObject(std::string_view text);
    // The same for a cross-reference stream, which readers need before any key: never encrypted.
    int32_t appendCrossReferenceStream(std::string_view text);
    // Writes the text of input object `num` as the output's object `num` with generation `gen`.
    // `readAs` says how its strings stand: encrypted for the object it was read as, or (nullopt)
    // not at all, as in a member of an object stream; an encrypted output gives them the
    // encryption of (num, gen). Stream data is written as it stands.
    void writeObjectText(int32_t num, int32_t gen, std::string_view text,
                         std::optional<ObjectKey> readAs);
    // A piece of object text (a dictionary copied from one object into another) with its
    // strings as they must stand in the text of `to`; the piece itself when nothing changes.
    std::string moveStrings(std::string_view piece, std::optional<ObjectKey> from,
                            std::optional<ObjectKey> to) const;
    // The object about to be written at the current position is `num` with generation `gen`.
    void markWritten(int32_t num, int32_t gen);
    void setOffset(int32_t num, int64_t offset) { offsets_[static_cast<size_t>(num)] = offset; }
    void setWritten(int32_t num, int32_t gen) {
        gens_[static_cast<size_t>(num)] = gen;
        written_[static_cast<size_t>(num)] = true;
    }

    bool isWritten(int32_t num) const { return written_[static_cast<size_t>(num)]; }
    size_t size() const { return offsets_.size(); }
    OutputEntry entry(size_t num) const { return {offsets_[num], gens_[num], written_[num]}; }

    void writeXrefSection();
    // Refuses an object written past what the table's ten digits can address.
    void checkOffset(const OutputEntry& e) const;
    // `directInfo`: the text of an /Info dictionary that the input's trailer holds in place,
    // written as it stands when there is no /Info object.
    // `extra`: further entries (" /Encrypt 9 0 R /ID [...]"), each on a line of its own.
    void writeTrailer(int64_t xrefOffset, int32_t rootNum, int32_t rootGen, int32_t infoNum,
                      int32_t infoGen, std::string_view directInfo = {},
                      std::string_view extra = {});

    // In an update, what follows text that ends in another token starts on a new line.
    void startLine();

  private:
    int32_t append(std::string_view text, bool mayEncrypt);

    OutputFile& out_;
    // The table by object number, kept as three arrays: as one array of entries, padding
    // would make it a third larger, and it has an entry for every object of the input.
    std::vector<int64_t> offsets_;
    std::vector<int32_t> gens_;
    std::vector<bool> written_;
    int64_t offsetLimit_;
    std::optional<ObjectEncryption> encryption_;
    Layout layout_ = Layout::Rewrite;
    int64_t base_ = 0;
    char lastByte_ = '\n';
};

} // namespace tavrix
