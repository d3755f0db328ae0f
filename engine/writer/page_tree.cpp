#include "engine/writer/page_tree.hpp"

#include <algorithm>
#include <unordered_set>

#include "engine/pdf/pdf_exception.hpp"
#include "engine/pdf/pdf_scanner.hpp"
#include "engine/pdf/raw_object.hpp"

namespace tavrix {
namespace {

constexpr std::array<float, 4> kDefaultBox{0, 0, 612, 792};

// What the walk reads of a tree object, a node or a page, from one pass over its dictionary.
// Values are as stored: a reference is followed when the value is used.
struct TreeObject {
    enum class Kind { Missing, Node, Page } kind = Kind::Missing;
    std::string_view text;
    Value kids; // the /Kids entry, or the object's own value when that is an array
    Value crop;
    Value media;
    Value rotate;
};

TreeObject readTreeObject(std::string_view text) {
    TreeObject t;
    t.text = text;
    const Value body = objectValue(text);
    if (body.kind == ValueKind::Array) {
        t.kind = TreeObject::Kind::Node;
        t.kids = body;
        return t;
    }
    if (body.kind != ValueKind::Dict) return t;
    // A node is a /Type /Pages dictionary or one with /Kids; any other dictionary is a page.
    // When a key occurs twice the first counts, as it does for the parser.
    bool typeSeen = false, pagesType = false;
    DictReader reader(text, body.begin);
    std::string_view key;
    DictEntry entry;
    const auto take = [&](Value& slot) {
        if (slot.kind == ValueKind::End) slot = entry.value;
    };
    while (reader.next(key, entry)) {
        if (nameEquals(key, "Kids")) {
            take(t.kids);
        } else if (nameEquals(key, "Type")) {
            if (!typeSeen)
                pagesType = entry.value.kind == ValueKind::Name &&
                            nameEquals(entry.value.in(text), "Pages");
            typeSeen = true;
        } else if (nameEquals(key, "CropBox")) {
            take(t.crop);
        } else if (nameEquals(key, "MediaBox")) {
            take(t.media);
        } else if (nameEquals(key, "Rotate")) {
            take(t.rotate);
        }
    }
    const bool hasKids = t.kids.kind != ValueKind::End &&
                         !(t.kids.kind == ValueKind::Regular && t.kids.in(text) == "null");
    t.kind = hasKids || pagesType ? TreeObject::Kind::Node : TreeObject::Kind::Page;
    return t;
}

// A stored value, with a reference followed to the object it names.
class Resolved {
  public:
    Resolved(XrefTable& xref, std::string_view text, const Value& value)
        : text_(text), value_(value) {
        const std::optional<ObjectRef> ref = readReference(text, value);
        if (!ref) return;
        value_ = {};
        if (ref->num < 0 || ref->num > INT32_MAX) return;
        target_ = readRawObject(xref, static_cast<int32_t>(ref->num));
        value_ = objectValue(target_.bytes());
    }
    std::string_view text() const { return target_.empty() ? text_ : target_.bytes(); }
    const Value& value() const { return value_; }

  private:
    std::string_view text_;
    RawObject target_;
    Value value_;
};

std::optional<std::array<float, 4>> boxOf(XrefTable& xref, std::string_view text,
                                          const Value& stored) {
    if (stored.kind == ValueKind::End) return std::nullopt;
    const Resolved box(xref, text, stored);
    const std::optional<std::array<double, 4>> corners = readBox(box.text(), box.value());
    if (!corners) return std::nullopt;
    const auto [x0, y0, x1, y1] = *corners;
    return std::array<float, 4>{
        static_cast<float>(std::min(x0, x1)), static_cast<float>(std::min(y0, y1)),
        static_cast<float>(std::max(x0, x1)), static_cast<float>(std::max(y0, y1))};
}

// The attributes in force below a node (or on a page).
InheritedAttributes below(XrefTable& xref, const InheritedAttributes& above, const TreeObject& t) {
    InheritedAttributes out = above;
    if (const auto crop = boxOf(xref, t.text, t.crop)) out.crop = crop;
    if (const auto media = boxOf(xref, t.text, t.media)) out.media = media;
    if (t.rotate.kind != ValueKind::End) {
        const Resolved rotate(xref, t.text, t.rotate);
        if (const std::optional<int64_t> r = readIntegerValue(rotate.text(), rotate.value()))
            out.rotate = saturateInt32(*r);
    }
    return out;
}

// The object numbers of the references in a node's kid list, stored in place or as an array
// object.
std::vector<int32_t> kidsOf(XrefTable& xref, const TreeObject& t) {
    std::vector<int32_t> kids;
    if (t.kids.kind == ValueKind::End) return kids;
    const Resolved list(xref, t.text, t.kids);
    const std::string_view in = list.text();
    const Value& array = list.value();
    if (array.kind != ValueKind::Array) return kids;
    const size_t limit = array.closed ? array.end - 1 : array.end;
    PdfScanner s(in, array.begin + 1);
    for (;;) {
        const Value v = s.nextValue();
        if (v.kind == ValueKind::End || v.begin >= limit) break;
        if (const std::optional<ObjectRef> ref = readReference(in, v))
            kids.push_back(ref->num < 0 || ref->num > INT32_MAX ? -1
                                                                : static_cast<int32_t>(ref->num));
    }
    return kids;
}

} // namespace

std::array<float, 4> InheritedAttributes::visibleBox() const {
    const std::array<float, 4> m = media.value_or(kDefaultBox);
    if (!crop) return m;
    const std::array<float, 4>& c = *crop;
    const std::array<float, 4> box{std::max(c[0], m[0]), std::max(c[1], m[1]), std::min(c[2], m[2]),
                                   std::min(c[3], m[3])};
    // A crop box that lies wholly outside the media box clips nothing a viewer could show; the
    // media box is what is shown then.
    if (box[0] >= box[2] || box[1] >= box[3]) return m;
    return box;
}

void PageList::build(XrefTable& xref, std::string_view catalogText) {
    const Value catalog = objectValue(catalogText);
    const std::optional<DictEntry> pages = catalog.kind == ValueKind::Dict
                                               ? findEntry(catalogText, catalog.begin, "Pages")
                                               : std::nullopt;
    const std::optional<ObjectRef> root =
        pages ? readReference(catalogText, pages->value) : std::nullopt;
    // Without a readable tree root there is no page to copy; the output would be no document.
    if (!root || root->num < 0 || static_cast<uint64_t>(root->num) >= xref.entries().size())
        throw CPdfException("PDF file was damaged",
                            "{input} is damaged: its catalog names no page tree");
    const int32_t rootNum = static_cast<int32_t>(root->num);
    const XrefEntry& e = xref.entries()[static_cast<size_t>(rootNum)];
    const PdfObject rootObj = xref.fetchObject(rootNum, e.type == XrefType::Compressed ? 0 : e.gen);
    if (!rootObj.isDict())
        xref.unreadable(rootNum, "PDF file was damaged",
                        "{input} is damaged: the root of its page tree cannot be read");
    const PdfObject count = rootObj.getDict()->lookup("Count");
    if (count.isInt()) {
        pageCount_ = static_cast<uint32_t>(count.getInt());
        countKnown_ = true;
        // Made at its size once: grown by doubling, a list of many pages holds up to twice what
        // it needs for the whole run. Every page is an object the table lists, which bounds
        // what a false count can ask.
        const auto listed =
            std::count_if(xref.entries().begin(), xref.entries().end(),
                          [](const XrefEntry& x) { return x.type != XrefType::Free; });
        const size_t expected = std::min<size_t>(pageCount_, static_cast<size_t>(listed));
        slots_.reserve(expected);
        firstSlot_.reserve(expected);
    }
    walk(xref, rootNum);
    // A root without an integer /Count counts the pages found.
    if (!countKnown_) pageCount_ = static_cast<uint32_t>(slots_.size());
}

void PageList::addPage(int32_t num, const InheritedAttributes& own) {
    if (countKnown_ && slots_.size() >= pageCount_) return;
    PageSlot slot;
    slot.num = num;
    // The visible area, from the page's boxes or those it inherits from the nodes above it.
    // A page placed within a letter-size default box instead would get its stamp off the page
    // whenever the page is landscape or taller than letter.
    slot.rotate = own.rotate;
    slot.box = own.visibleBox();
    firstSlot_.emplace(num, slots_.size());
    slots_.push_back(slot);
}

void PageList::walk(XrefTable& xref, int32_t rootNum) {
    // Depth first with an explicit stack; every node is entered once, so a node that contains
    // itself (or a tree shared in a loop) ends the walk instead of recursing.
    struct Frame {
        std::vector<int32_t> kids;
        size_t next = 0;
        InheritedAttributes boxes;
    };
    std::unordered_set<int32_t> entered{rootNum};
    std::vector<Frame> stack;
    size_t visited = 0;
    const RawObject rootText = readRawObject(xref, rootNum);
    const TreeObject root = readTreeObject(rootText.bytes());
    stack.push_back({kidsOf(xref, root), 0, below(xref, InheritedAttributes{}, root)});
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next >= top.kids.size()) {
            stack.pop_back();
            continue;
        }
        const int32_t kid = top.kids[top.next++];
        // Each kid read maps a little of the file; give those pages back now and then.
        if (++visited % 256 == 0) xref.file()->dropResidentPages();
        const RawObject text = readRawObject(xref, kid);
        const TreeObject object = readTreeObject(text.bytes());
        switch (object.kind) {
        case TreeObject::Kind::Missing:
            skippedKids_.push_back(kid);
            xref.diagnostics().add(kid, -1,
                                   "a page-tree kid that is no page or node is passed over");
            break;
        case TreeObject::Kind::Node:
            if (entered.insert(kid).second) {
                InheritedAttributes boxes = below(xref, top.boxes, object);
                std::vector<int32_t> kids = kidsOf(xref, object);
                stack.push_back({std::move(kids), 0, boxes});
            }
            break;
        case TreeObject::Kind::Page:
            addPage(kid, below(xref, top.boxes, object));
            break;
        }
    }
}

int64_t PageList::slotOf(int32_t num) const {
    auto it = firstSlot_.find(num);
    return it == firstSlot_.end() ? -1 : static_cast<int64_t>(it->second);
}

} // namespace tavrix
