#include "engine/writer/page_tree.hpp"

#include <unordered_set>

#include "engine/pdf/pdf_exception.hpp"
#include "engine/pdf/pdf_scanner.hpp"
#include "engine/pdf/raw_object.hpp"
#include "engine/writer/stamp_content.hpp"

namespace tavrix {
namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// A node's kid list: the object numbers of the pairs after "/Kids" (or the first "["), up to
// the first "/" or "]".
std::vector<int32_t> kidsOf(std::string_view text) {
    std::vector<int32_t> kids;
    size_t i = findBytes(text, 0, text.size(), "/Kids");
    if (i == 0) i = findBytes(text, 0, text.size(), "[");
    // Neither: the node lists no kids. Scanning from the start would take the node's own
    // object number as its kid.
    if (i == 0) return kids;
    int64_t pending = -1;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '/' || c == ']') break;
        if (isDigit(c)) {
            int64_t value = 0;
            while (i < text.size() && isDigit(text[i])) {
                if (value < (int64_t{1} << 40)) value = value * 10 + (text[i] - '0');
                ++i;
            }
            if (pending < 0) {
                pending = value;
            } else {
                kids.push_back(pending > INT32_MAX ? -1 : static_cast<int32_t>(pending));
                pending = -1;
            }
            continue;
        }
        ++i;
    }
    return kids;
}

// PDF number syntax: optional "-", digits, optional "." and digits; may begin with ".".
bool readNumber(std::string_view text, size_t& i, float& out) {
    while (i < text.size() && text[i] != ']') {
        const char c = text[i];
        if (isDigit(c) || c == '.' ||
            (c == '-' && i + 1 < text.size() && (isDigit(text[i + 1]) || text[i + 1] == '.')))
            break;
        ++i;
    }
    if (i >= text.size() || text[i] == ']') return false;
    // A second "." ends the number and is passed over before the next one.
    out = static_cast<float>(readReal(text, i));
    return true;
}

} // namespace

bool readCropBox(std::string_view text, std::array<float, 4>& box) {
    return readBox(text, "/CropBox", box);
}

bool readBox(std::string_view text, std::string_view key, std::array<float, 4>& box) {
    size_t i = findBytes(text, 0, text.size(), key);
    if (i == 0) return false;
    ++i;
    // Only a box written out as an array is read; an indirect one ("/CropBox 12 0 R") would
    // otherwise take the reference's numbers as coordinates.
    size_t open = i;
    while (open < text.size() && (text[open] == ' ' || text[open] == '\n' || text[open] == '\r' ||
                                  text[open] == '\t' || text[open] == '\f' || text[open] == '\0'))
        ++open;
    if (open >= text.size() || text[open] != '[') return false;
    std::array<float, 4> values = box;
    int n = 0;
    while (n < 4) {
        float v;
        if (!readNumber(text, i, v)) break;
        values[static_cast<size_t>(n++)] = v;
    }
    box = values;
    return true;
}

InheritedAttributes InheritedAttributes::below(std::string_view text) const {
    InheritedAttributes out = *this;
    std::array<float, 4> box{0, 0, 612, 792};
    if (readBox(text, "/CropBox", box)) out.crop = box;
    box = {0, 0, 612, 792};
    if (readBox(text, "/MediaBox", box)) out.media = box;
    if (findBytes(text, 0, text.size(), "/Rotate") != 0) out.rotate = pageRotation(text);
    return out;
}

void PageList::build(XrefTable& xref, std::string_view catalogText) {
    bool isRef = false;
    const int64_t root = findRefAfterKey(catalogText, "/Pages", isRef);
    if (root > INT32_MAX) throw CPdfException("Corrupted PDF file");
    const int32_t rootNum = static_cast<int32_t>(root);
    if (rootNum < 0 || static_cast<size_t>(rootNum) >= xref.entries().size())
        throw CPdfException("Corrupted PDF file");
    const XrefEntry& e = xref.entries()[static_cast<size_t>(rootNum)];
    const PdfObject rootObj = xref.fetchObject(rootNum, e.type == XrefType::Compressed ? 0 : e.gen);
    // Without a readable tree root there is no page to copy; the output would be no document.
    if (!rootObj.isDict()) throw CPdfException("PDF file was damaged");
    const PdfObject count = rootObj.isDict() ? rootObj.getDict()->lookup("Count") : PdfObject();
    if (count.isInt()) {
        pageCount_ = static_cast<uint32_t>(count.getInt());
        countKnown_ = true;
    }
    walk(xref, rootNum);
    // A root without an integer /Count counts the pages found.
    if (!countKnown_) pageCount_ = static_cast<uint32_t>(slots_.size());
}

void PageList::addPage(int32_t num, std::string_view text, const InheritedAttributes& inherited) {
    if (countKnown_ && slots_.size() >= pageCount_) return;
    PageSlot slot;
    slot.num = num;
    // The visible area: the page's crop box, else its media box, each of which the page may
    // inherit from the nodes above it. A page placed within a letter-size default box instead
    // would get its stamp off the page whenever the page is landscape or taller than letter.
    const InheritedAttributes own = inherited.below(text);
    slot.rotate = own.rotate;
    if (own.crop)
        slot.box = *own.crop;
    else if (own.media)
        slot.box = *own.media;
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
    stack.push_back({kidsOf(rootText.bytes()), 0, InheritedAttributes{}.below(rootText.bytes())});
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.next >= top.kids.size()) {
            stack.pop_back();
            continue;
        }
        const int32_t kid = top.kids[top.next++];
        // Each kid read maps a little of the file; give those pages back now and then.
        if (++visited % 256 == 0) xref.file()->dropResidentPages();
        if (kid < 0 || static_cast<size_t>(kid) >= xref.entries().size())
            throw CPdfException("Corrupted PDF file");
        const RawObject text = readRawObject(xref, kid);
        const XrefEntry& e = xref.entries()[static_cast<size_t>(kid)];
        const PdfObject value = xref.fetchObject(kid, e.type == XrefType::Compressed ? 0 : e.gen);
        if (value.isNull()) throw CPdfException("PDF file was damaged");
        const bool isNode =
            findBytes(text.bytes(), 0, text.bytes().size(), "/Pages") != 0 || value.isArray();
        if (isNode) {
            if (!entered.insert(kid).second) continue;
            const InheritedAttributes boxes = top.boxes.below(text.bytes());
            stack.push_back({kidsOf(text.bytes()), 0, boxes});
        } else {
            addPage(kid, text.bytes(), top.boxes);
        }
    }
}

int64_t PageList::slotOf(int32_t num) const {
    auto it = firstSlot_.find(num);
    return it == firstSlot_.end() ? -1 : static_cast<int64_t>(it->second);
}

} // namespace tavrix
