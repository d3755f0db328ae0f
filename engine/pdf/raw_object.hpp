// The bytes of input objects exactly as they stand, found by the token-aware scanner.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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

// The text of the newest trailer's entry `key` when its value is a dictionary written in place
// ("/Info << /Title (...) >>"), or empty.
std::string_view directTrailerDict(XrefTable& xref, std::string_view key);
// The text of the newest trailer's entry `key` as it stands ("[<ab..> <cd..>]", "9 0 R"), or
// empty when the trailer has none.
std::string_view trailerValueText(XrefTable& xref, std::string_view key);
// Whether the newest cross-reference section is a stream (else a table).
bool newestSectionIsStream(XrefTable& xref);

} // namespace tavrix
