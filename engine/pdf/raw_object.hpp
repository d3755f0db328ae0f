// The bytes of input objects exactly as they stand, found by the token-aware scanner.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/pdf/pdf_scanner.hpp"
#include "engine/pdf/xref_table.hpp"

namespace tavrix {

// One object's text, from its number through "endobj" and one byte more. Directly stored
// objects are a view on the mapped input; members of object streams are rebuilt and owned.
class RawObject {
  public:
    RawObject() = default;
    RawObject(std::string_view view, int64_t fileOffset) : view_(view), fileOffset_(fileOffset) {}
    explicit RawObject(std::string owned) : owned_(std::move(owned)), view_(owned_) {}
    RawObject(const RawObject&) = delete;
    RawObject& operator=(const RawObject&) = delete;
    RawObject(RawObject&& other) noexcept { *this = std::move(other); }
    RawObject& operator=(RawObject&& other) noexcept;

    std::string_view bytes() const { return view_; }
    // Where the bytes stand in the input file, or -1 for a text rebuilt from an object stream.
    int64_t fileOffset() const { return fileOffset_; }
    bool empty() const { return view_.empty(); }

  private:
    std::string owned_;
    std::string_view view_;
    int64_t fileOffset_ = -1;
};

// Index of the last byte of the first match of `pattern` lying wholly in [from, end), or 0.
size_t findBytes(std::string_view buffer, size_t from, size_t end, std::string_view pattern);

// The text of object `num`, or an empty object when it is free, unset, outside the table or
// cannot be had. Offsets count from the "%PDF-" header, as the cross-reference data does.
RawObject readRawObject(XrefTable& xref, int32_t num);

// Whether `objectText` (an object's text from its header) is a stream whose /Length is a number
// that ends at its "endstream": one the parser reads as it stands, without a note.
bool hasSoundLength(std::string_view objectText);

// The text of a stream object whose /Length (direct or indirect) does not end at "endstream",
// with the length its data really has written in place; nullopt for any other object.
std::optional<std::string> streamLengthMended(XrefTable& xref, std::string_view objectText);

// The newest trailer's entry `key` as written (a reference, an array, a dictionary...) within
// `text`, which receives the file's bytes; nullopt when absent or left open.
std::optional<Value> directTrailerEntry(XrefTable& xref, std::string_view key,
                                        std::string_view& text);
// The text of the newest trailer's entry `key` when its value is a dictionary written in place
// ("/Info << /Title (...) >>"), or empty.
std::string_view directTrailerDict(XrefTable& xref, std::string_view key);
// Where the newest trailer's dictionary (or cross-reference stream dictionary) is, found once
// for the several keys a caller reads: a table's entries are stepped over token by token.
struct NewestTrailer {
    bool found = false;
    bool stream = false; // the newest section is a cross-reference stream (else a table)
    size_t dictFrom = 0; // the dictionary opens at the first "<<" from here
};
NewestTrailer findNewestTrailer(XrefTable& xref);
// The text of the trailer's entry `key` as it stands ("[<ab..> <cd..>]", "9 0 R"), or empty
// when it has none.
std::string_view trailerValueText(XrefTable& xref, const NewestTrailer& trailer,
                                  std::string_view key);

} // namespace tavrix
