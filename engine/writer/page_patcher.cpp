#include "engine/writer/page_patcher.hpp"

#include <unordered_set>

#include "engine/pdf/pdf_exception.hpp"
#include "engine/pdf/pdf_scanner.hpp"
#include "engine/pdf/raw_object.hpp"

namespace tavrix {
namespace {

constexpr size_t npos = std::string::npos;
// About what a page's or a dictionary's text grows by when patched.
constexpr size_t kPatchRoom = 256;

// An input object's text, with room for what patching inserts.
std::string roomyCopy(std::string_view text) {
    std::string copy;
    copy.reserve(text.size() + kPatchRoom);
    copy.append(text);
    return copy;
}

// `before` + "num 0 R" + `after`: the references patching puts around a page's contents.
std::string refText(std::string_view before, int32_t num, std::string_view after) {
    std::string text(before);
    text.append(std::to_string(num)).append(" 0 R").append(after);
    return text;
}

std::string namedRef(const std::string& name, int32_t num) {
    return " /" + name + " " + std::to_string(num) + " 0 R";
}

// Just after the first "<<" at or after `from` (found as a token, never inside a string).
size_t dictionaryStart(std::string_view text, size_t from) {
    const std::optional<Value> dict = dictionaryAt(text, from);
    return dict ? dict->begin + 2 : npos;
}

// Gives `key` of the dictionary at `from` the value `value`: in place of the value it has (one
// that reads as null, or one of no use), so that the dictionary never holds the key twice, or
// as a new first entry. `found` is what findEntry(text, from, key) gives.
void putEntry(std::string& text, size_t from, std::string_view key, const std::string& value,
              const std::optional<DictEntry>& found) {
    if (found) {
        text.replace(found->value.begin, found->value.end - found->value.begin, value);
        return;
    }
    const size_t at = dictionaryStart(text, from);
    if (at == npos) return;
    std::string entry(1, '/');
    entry.append(key).append(1, ' ').append(value);
    text.insert(at, entry);
}

void putEntry(std::string& text, size_t from, std::string_view key, const std::string& value) {
    putEntry(text, from, key, value, findEntry(text, from, key));
}

// Where the closing part of a contents array goes after a value that ends at `end`: before the
// next key or the dictionary's end, but in front of the line break before it, so the page keeps
// its layout; right after the value when a comment or anything else follows it.
size_t afterValue(std::string_view text, size_t end) {
    size_t next = end;
    while (next < text.size() && isPdfWhitespace(static_cast<unsigned char>(text[next])))
        ++next;
    if (next >= text.size() || std::string_view("/<>").find(text[next]) == npos) return end;
    while (next > end && (text[next - 1] == '\r' || text[next - 1] == '\n'))
        --next;
    return next;
}

// A dictionary entry's value as patching tells it apart. The page and its resources are read
// from their text with the scanner rather than parsed into objects: parsing a page's whole
// dictionary (its annotations, say) cost more than everything else patching does.
struct Stored {
    enum class Form { Null, Reference, Dict, Array, Other } form = Form::Null;
    int32_t num = 0;
    int32_t gen = 0;
};

Stored storedIn(std::string_view text, const std::optional<DictEntry>& entry) {
    Stored stored;
    if (!entry) return stored;
    const Value& value = entry->value;
    switch (value.kind) {
    case ValueKind::Reference:
        if (const std::optional<ObjectRef> ref = readReference(text, value)) {
            stored.form = Stored::Form::Reference;
            stored.num = saturateInt32(ref->num);
            stored.gen = saturateInt32(ref->gen);
        }
        break;
    case ValueKind::Dict:
        stored.form = Stored::Form::Dict;
        break;
    case ValueKind::Array:
        stored.form = Stored::Form::Array;
        break;
    case ValueKind::Regular:
        if (value.in(text) != "null") stored.form = Stored::Form::Other;
        break;
    default:
        stored.form = Stored::Form::Other;
        break;
    }
    return stored;
}

// Whether an object's text holds a dictionary: nothing when the text has no object header or
// holds a stream (whose dictionary is no dictionary value).
std::optional<bool> holdsDictionary(std::string_view objectText) {
    const std::optional<ObjectHeader> header = readObjectHeader(objectText, 0);
    if (!header) return std::nullopt;
    {
        // The usual object, a dictionary and then "endobj", is settled in one pass over it.
        PdfScanner s(objectText, header->end);
        if (s.nextValue().kind == ValueKind::Dict) {
            const Token after = s.next();
            if (after.kind == TokenKind::Regular &&
                objectText.substr(after.begin, after.end - after.begin) == "endobj")
                return true;
        }
    }
    if (scanToObjectEnd(objectText, header->end).kind == ObjectEnd::Kind::Stream)
        return std::nullopt;
    PdfScanner s(objectText, header->end);
    return s.nextValue().kind == ValueKind::Dict;
}

} // namespace

int32_t PagePatcher::outputGen(int32_t num) const {
    const XrefEntry& e = xref_.entries()[static_cast<size_t>(num)];
    return e.type == XrefType::InUse ? e.gen : 0;
}

std::optional<ObjectKey> PagePatcher::readAs(int32_t num) const {
    const XrefEntry& e = xref_.entries()[static_cast<size_t>(num)];
    if (e.type != XrefType::InUse) return std::nullopt;
    return ObjectKey{num, e.gen};
}

PdfObject PagePatcher::target(const PdfObject& stored) {
    if (!stored.isRef()) return stored;
    const int32_t num = stored.getRefNum();
    PdfObject value = xref_.fetchObject(num, stored.getRefGen());
    if (!value.isNull() || num < 0 || static_cast<size_t>(num) >= xref_.entries().size())
        return value;
    const XrefEntry& e = xref_.entries()[static_cast<size_t>(num)];
    if (e.type != XrefType::InUse || e.gen == stored.getRefGen()) return value;
    return xref_.fetchObject(num, e.gen);
}

bool PagePatcher::namesDictionary(int32_t num, int32_t gen, RawObject* text) {
    // The object's text, as the table places it whatever generation the reference gives (as
    // target() reads it), tells a dictionary in the usual case. What the text cannot settle
    // (an object that cannot be read, a stream) goes to the parser, which notes damage.
    if (num >= 0 && static_cast<size_t>(num) < xref_.entries().size()) {
        RawObject raw = readRawObject(xref_, num);
        if (const std::optional<bool> dict = holdsDictionary(raw.bytes())) {
            if (*dict && text) *text = std::move(raw);
            return *dict;
        }
    }
    return target(PdfObject::makeRef(num, gen)).isDict();
}

bool PagePatcher::isSoundStream(int32_t num) {
    if (num < 0 || static_cast<size_t>(num) >= xref_.entries().size() ||
        xref_.entries()[static_cast<size_t>(num)].type != XrefType::InUse)
        return false;
    return hasSoundLength(readRawObject(xref_, num).bytes());
}

void PagePatcher::fixGeneration(std::string& text, const Value& value) {
    const std::optional<ObjectRef> ref = readReference(text, value);
    if (!ref || ref->num < 0 || static_cast<uint64_t>(ref->num) >= xref_.entries().size()) return;
    const int32_t num = static_cast<int32_t>(ref->num);
    if (xref_.entries()[static_cast<size_t>(num)].type == XrefType::Free) return;
    if (ref->gen == outputGen(num)) return;
    text.replace(value.begin, value.end - value.begin,
                 std::to_string(num) + " " + std::to_string(outputGen(num)) + " R");
}

void PagePatcher::patchPage(int32_t pageNum, std::string_view pageText, int32_t q, int32_t s) {
    pageNum_ = pageNum;
    // Room for what patching inserts, so that the insertions do not move the text each time.
    std::string page = roomyCopy(pageText);
    if (holdsDictionary(page).value_or(false)) {
        noteDroppedKeys(page);
        patchContents(page, q, s);
        patchResources(page);
    }
    writer_.markWritten(pageNum, outputGen(pageNum));
    writer_.writeObjectText(pageNum, outputGen(pageNum), page, readAs(pageNum));
}

void PagePatcher::noteDroppedKeys(std::string_view page) {
    DictReader reader(page, 0);
    std::string_view key;
    DictEntry entry;
    while (reader.next(key, entry)) {
    }
    for (const std::string_view dropped : reader.dropped())
        xref_.diagnostics().add(pageNum_, -1,
                                "the dictionary key " + std::string(dropped) +
                                    " has no usable value and is passed over");
}

void PagePatcher::patchContents(std::string& page, int32_t q, int32_t s) {
    std::optional<DictEntry> entry = findEntry(page, 0, "Contents");
    const Stored stored = storedIn(page, entry);
    const std::string both = "[ " + std::to_string(q) + " 0 R " + std::to_string(s) + " 0 R ]";
    if (stored.form == Stored::Form::Null) {
        // No contents (or /Contents null): the page draws just the two streams.
        putEntry(page, 0, "Contents", both);
        return;
    }
    if (stored.form == Stored::Form::Array) {
        if (entry->value.closed) {
            page.insert(entry->value.end - 1, refText(" ", s, " "));
            page.insert(entry->value.begin + 1, refText(" ", q, " "));
        }
        return;
    }
    if (stored.form != Stored::Form::Reference) return;
    // What the contents are decides how the streams go around them. A sound stream in the file
    // is told from its text; anything else is read by the parser, so that a stream whose data
    // cannot be found fails, and one whose length is wrong is noted, as everywhere else.
    const bool soundStream = isSoundStream(stored.num);
    const PdfObject resolved =
        soundStream ? PdfObject::makeNull() : target(PdfObject::makeRef(stored.num, stored.gen));
    if (!soundStream && resolved.isNull()) {
        // A reference to a missing object: the page draws nothing of its own. Viewers drop a
        // whole contents array that holds a non-stream, so the reference is replaced.
        page.replace(entry->value.begin, entry->value.end - entry->value.begin, both);
        return;
    }
    // A reference that names another generation of the object that is there is taken for that
    // object (some viewers do, others then show an empty page); the output names it as it is
    // written, so that every viewer draws the page's content and the stamp.
    fixGeneration(page, entry->value);
    entry = findEntry(page, 0, "Contents");
    if (!entry || entry->value.kind != ValueKind::Reference) return;
    const Value& value = entry->value;
    if (soundStream || resolved.isStream() || resolved.isError()) {
        // The page's content between the two streams. The reference ends at its "R": a
        // comment after it must stay outside the array.
        page.insert(afterValue(page, value.end), refText(" ", s, " ]"));
        page.insert(value.begin, refText("[ ", q, " "));
        return;
    }
    if (resolved.isArray()) {
        // Several pages may draw the same array object; rewriting it would give each of them
        // the streams (and so the number) of the last page stamped. The page gets a direct
        // array of its own instead, the shared elements between its two streams, and the array
        // object is copied as it is.
        const RawObject raw = readRawObject(xref_, stored.num);
        const Value array = objectValue(raw.bytes());
        if (array.kind != ValueKind::Array || !array.closed) return;
        const std::string elements =
            writer_.moveStrings(raw.bytes().substr(array.begin + 1, array.end - array.begin - 2),
                                readAs(stored.num), readAs(pageNum_));
        page.replace(value.begin, value.end - value.begin,
                     refText("[ ", q, " ") + elements + refText(" ", s, " ]"));
    }
}

std::string PagePatcher::fontRefs() const {
    std::string refs = namedRef(res_.fontName, res_.fontNum);
    for (const NamedObject& font : res_.moreFonts)
        refs += namedRef(font.name, font.num);
    return refs;
}

std::string PagePatcher::gsRefs() const {
    return namedRef(res_.gsName, res_.gsNum);
}

void PagePatcher::addEntry(std::string& text, size_t from, std::string_view key,
                           const std::string& refs) {
    const std::optional<DictEntry> entry = findEntry(text, from, key);
    const Stored stored = storedIn(text, entry);
    if (stored.form == Stored::Form::Dict) {
        text.insert(entry->value.begin + 2, refs + " ");
        return;
    }
    if (stored.form == Stored::Form::Reference && namesDictionary(stored.num, stored.gen)) {
        fixGeneration(text, entry->value);
        rewriteIndirectDict(stored.num, refs + " ");
        return;
    }
    // Absent, null, or a reference to a missing object: the run's own dictionary.
    putEntry(text, from, key, "<<" + refs + " >>", entry);
}

void PagePatcher::addToResources(std::string& text, size_t from) {
    addEntry(text, from, "Font", fontRefs());
    addEntry(text, from, "ExtGState", gsRefs());
}

bool PagePatcher::toRewrite(int32_t num) const {
    // A number outside the input's table names no input object (at most a new one of the run).
    if (num < 0 || static_cast<size_t>(num) >= xref_.entries().size()) return true;
    return writer_.layout() != Layout::Update || !writer_.isWritten(num);
}

void PagePatcher::writeRewritten(int32_t num, std::string_view text) {
    writer_.markWritten(num, outputGen(num));
    writer_.writeObjectText(num, outputGen(num), text, readAs(num));
}

void PagePatcher::rewriteIndirectDict(int32_t num, const std::string& insert) {
    if (!toRewrite(num)) return;
    const RawObject raw = readRawObject(xref_, num);
    if (raw.empty()) return;
    std::string text = roomyCopy(raw.bytes());
    const size_t at = dictionaryStart(text, 0);
    if (at != npos) text.insert(at, insert);
    writeRewritten(num, text);
}

void PagePatcher::patchResources(std::string& page) {
    std::optional<DictEntry> entry = findEntry(page, 0, "Resources");
    const Stored stored = storedIn(page, entry);
    // In an update, a shared dictionary already rewritten for an earlier page serves this one
    // too: only the page's reference to it may need its generation.
    if (stored.form == Stored::Form::Reference && !toRewrite(stored.num)) {
        fixGeneration(page, entry->value);
        return;
    }
    if (stored.form == Stored::Form::Dict) {
        // Positions move with each insertion, so /Resources is found again for the second.
        addEntry(page, entry->value.begin, "Font", fontRefs());
        entry = findEntry(page, 0, "Resources");
        if (!entry) return;
        addEntry(page, entry->value.begin, "ExtGState", gsRefs());
        return;
    }
    RawObject raw;
    if (stored.form == Stored::Form::Reference && namesDictionary(stored.num, stored.gen, &raw)) {
        fixGeneration(page, entry->value);
        if (raw.empty()) raw = readRawObject(xref_, stored.num);
        if (raw.empty()) return;
        std::string text = roomyCopy(raw.bytes());
        addToResources(text, 0);
        writeRewritten(stored.num, text);
        return;
    }
    // A reference to a missing object reads as null, and null is no value at all.
    if (stored.form != Stored::Form::Null && stored.form != Stored::Form::Reference) return;

    // The page inherits its resources from a parent node, or has none. Viewers look up the
    // stamp's font in the page's own resources, so the page gets a /Resources entry of its own:
    // a reference to an inherited indirect dictionary (rewritten with the two names added), a
    // copy of an inherited direct dictionary, or a new dictionary holding just the two.
    if (dictionaryStart(page, 0) == npos) return;
    const Stored pageParent = storedIn(page, findEntry(page, 0, "Parent"));
    PdfObject parent = pageParent.form == Stored::Form::Reference
                           ? PdfObject::makeRef(pageParent.num, pageParent.gen)
                           : PdfObject::makeNull();
    std::unordered_set<int32_t> seen;
    while (parent.isRef() && seen.insert(parent.getRefNum()).second && seen.size() < 256) {
        const int32_t parentNum = parent.getRefNum();
        if (parentNum < 0 || static_cast<size_t>(parentNum) >= xref_.entries().size()) break;
        const PdfObject node = xref_.fetchObject(parentNum, outputGen(parentNum));
        if (!node.isDict()) break;
        const PdfObject inherited = node.getDict()->lookupRaw("Resources");
        if (inherited.isRef()) {
            const PdfObject shared = target(inherited);
            if (!shared.isDict()) break;
            const int32_t num = inherited.getRefNum();
            const RawObject raw = readRawObject(xref_, num);
            if (raw.empty()) break;
            putEntry(page, 0, "Resources",
                     std::to_string(num) + " " + std::to_string(outputGen(num)) + " R ");
            if (!toRewrite(num)) return;
            std::string text = roomyCopy(raw.bytes());
            addToResources(text, 0);
            writeRewritten(num, text);
            return;
        }
        if (inherited.isDict()) {
            // Copied from the node's own entry, never from a nested dictionary of the same name
            // that precedes it in the node's text.
            const RawObject nodeText = readRawObject(xref_, parentNum);
            const std::optional<DictEntry> nodeEntry = findEntry(nodeText.bytes(), 0, "Resources");
            if (!nodeEntry || nodeEntry->value.kind != ValueKind::Dict || !nodeEntry->value.closed)
                break;
            // The copy's strings move from the node's object to the page's.
            std::string copy = writer_.moveStrings(nodeEntry->value.in(nodeText.bytes()),
                                                   readAs(parentNum), readAs(pageNum_)) +
                               " ";
            addToResources(copy, 0);
            putEntry(page, 0, "Resources", copy);
            return;
        }
        parent = node.getDict()->lookupRaw("Parent");
    }
    putEntry(page, 0, "Resources",
             "<< /Font <<" + fontRefs() + " >> /ExtGState <<" + gsRefs() + " >> >> ");
}

} // namespace tavrix
