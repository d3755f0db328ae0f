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
// takes from the nearest node above it when it has none of its own. Boxes are kept with their
// corners in order (lower left, upper right), whichever two corners the file gives.
struct InheritedAttributes {
    std::optional<std::array<float, 4>> crop;
    std::optional<std::array<float, 4>> media;
    int32_t rotate = 0;
    // The area a viewer shows: the crop box clipped to the media box (each defaulting to
    // [0 0 612 792]).
    std::array<float, 4> visibleBox() const;
};

class PageList {
  public:
    // Walks the tree whose root is the catalog's /Pages. Throws CPdfException "PDF file was
    // damaged" when the catalog names no readable tree root. A kid that is missing (null, as a
    // reference to a free object or one outside the table reads) or that is neither a page nor
    // a node is passed over, as viewers pass over it, and listed in skippedKids().
    void build(XrefTable& xref, std::string_view catalogText);

    // The root's integer /Count, or, when it has none, the number of pages found.
    uint32_t pageCount() const { return pageCount_; }
    const std::vector<PageSlot>& slots() const { return slots_; }
    // Index of the first slot of object `num`, or -1 when the object is not a page.
    int64_t slotOf(int32_t num) const;
    const std::vector<int32_t>& skippedKids() const { return skippedKids_; }

  private:
    void walk(XrefTable& xref, int32_t rootNum);
    // Page `num`, shown with the attributes `own` (its own, or those it inherits).
    void addPage(int32_t num, const InheritedAttributes& own);

    uint32_t pageCount_ = 0;
    bool countKnown_ = false;
    std::vector<PageSlot> slots_;
    std::unordered_map<int32_t, size_t> firstSlot_;
    std::vector<int32_t> skippedKids_;
};

} // namespace tavrix
