// The page list: one slot per page in page-tree order, with the page's object number and the
// box that placement uses, found by reading the tree's objects as text.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/pdf/xref_table.hpp"

namespace tavrix {

struct PageSlot {
    int32_t num = 0;
    std::array<float, 4> box{0, 0, 612, 792}; // x0, y0, x1, y1
    int32_t rotate = 0;                       // /Rotate of the page or inherited from above
};

// What a page tree node passes down to its kids: the boxes and the rotation, which a page
// takes from the nearest node above it when it has none of its own.
struct InheritedAttributes {
    std::optional<std::array<float, 4>> crop;
    std::optional<std::array<float, 4>> media;
    int32_t rotate = 0;
    // The attributes in force below a node (or on a page) whose text is `text`.
    InheritedAttributes below(std::string_view text) const;
};

class PageList {
  public:
    // Walks the tree whose root is named by "/Pages" in the catalog's text. Throws
    // CPdfException "PDF file was damaged" for a kid that cannot be fetched.
    void build(XrefTable& xref, std::string_view catalogText);

    // The root's integer /Count, or, when it has none, the number of pages found.
    uint32_t pageCount() const { return pageCount_; }
    const std::vector<PageSlot>& slots() const { return slots_; }
    // Index of the first slot of object `num`, or -1 when the object is not a page.
    int64_t slotOf(int32_t num) const;

  private:
    void walk(XrefTable& xref, int32_t rootNum);
    void addPage(int32_t num, std::string_view text, const InheritedAttributes& inherited);

    uint32_t pageCount_ = 0;
    bool countKnown_ = false;
    std::vector<PageSlot> slots_;
    std::unordered_map<int32_t, size_t> firstSlot_;
};

// The first four numbers after the first `key` ("/CropBox") up to the next "]"; false when the
// text has no such key.
bool readBox(std::string_view text, std::string_view key, std::array<float, 4>& box);
bool readCropBox(std::string_view text, std::array<float, 4>& box);

} // namespace tavrix
