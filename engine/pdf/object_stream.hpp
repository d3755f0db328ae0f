// One decoded object stream: its member numbers and where each member's bytes lie. Decoded
// once and shared by object fetching and raw copying.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/pdf/pdf_object.hpp"

namespace tavrix {

class ObjectStream {
  public:
    // Fetches object stream `streamNum` through `xref` and decodes it. A stream that is missing,
    // not a stream, too large or with a bad header yields no members.
    ObjectStream(XrefTable& xref, int32_t streamNum);

    int32_t streamNum() const { return streamNum_; }
    size_t memberCount() const { return nums_.size(); }
    // The object number of each member, by index.
    const std::vector<int32_t>& memberNumbers() const { return nums_; }
    size_t decodedSize() const { return data_ ? data_->size() : 0; }

    // Member `index` parsed, when it is object `num`; otherwise Null.
    PdfObject member(XrefTable& xref, int32_t index, int32_t num);
    // The member's bytes, including whatever whitespace lies before the next member; nullopt
    // when `index` is out of range or holds another object.
    std::optional<std::string_view> memberBytes(int32_t index, int32_t num) const;

  private:
    int32_t streamNum_;
    std::shared_ptr<const std::string> data_;
    int64_t first_ = 0;
    std::vector<int32_t> nums_;
    std::vector<int64_t> offsets_;
};

} // namespace tavrix
