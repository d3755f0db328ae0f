// Rewrites a selected page so that it draws the two new content streams around its own
// content and knows the run's font and graphics state. The page's text is edited in place:
// short texts are inserted at positions the scanner finds, and the entries' values tell which
// form each has.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/pdf/pdf_scanner.hpp"
#include "engine/pdf/raw_object.hpp"
#include "engine/pdf/xref_table.hpp"
#include "engine/writer/pdf_writer.hpp"

namespace tavrix {

struct NamedObject {
    std::string name;
    int32_t num = 0;
};

struct RunResources {
    std::string fontName; // "F<digits>"
    int32_t fontNum = 0;
    std::string gsName; // "GS<digits>"
    int32_t gsNum = 0;
    // Further fonts of a run whose text no one installed font draws whole.
    std::vector<NamedObject> moreFonts;
};

class PagePatcher {
  public:
    PagePatcher(XrefTable& xref, PdfWriter& writer, const RunResources& resources)
        : xref_(xref), writer_(writer), res_(resources) {}

    // Writes any rewritten indirect objects, then the patched page; `q` and `s` are the
    // numbers of the save-state and stamp streams just appended.
    void patchPage(int32_t pageNum, std::string_view pageText, int32_t q, int32_t s);

  private:
    // Notes the page's keys that have no usable value: the copy keeps them, as it keeps every
    // byte it does not patch, but they are damage a reader passes over.
    void noteDroppedKeys(std::string_view page);
    void patchContents(std::string& page, int32_t q, int32_t s);
    void patchResources(std::string& page);
    // Inserts the font and graphics state into the dictionary text that starts at `from`.
    void addToResources(std::string& text, size_t from);
    // `refs` holds the new entries, " /F1 12 0 R" each.
    void addEntry(std::string& text, size_t from, std::string_view key, const std::string& refs);
    std::string fontRefs() const;
    std::string gsRefs() const;
    void rewriteIndirectDict(int32_t num, const std::string& insert);
    // Whether the rewritten input object `num` is still to be written: in an update an object
    // that several pages share is written for the first of them only (what each page adds to it
    // is the same), and the rewrite stands for all of them.
    bool toRewrite(int32_t num) const;
    void writeRewritten(int32_t num, std::string_view text);
    int32_t outputGen(int32_t num) const;
    // How the strings of input object `num`'s text stand (see PdfWriter::writeObjectText).
    std::optional<ObjectKey> readAs(int32_t num) const;
    // What a stored value names: itself, or the object a reference fetches. A reference that
    // names another generation of an object that is there gives that object.
    PdfObject target(const PdfObject& stored);
    // Whether input object `num` is a stream in the file whose /Length, a number, ends at its
    // "endstream": one the parser reads without a note.
    bool isSoundStream(int32_t num);
    // Whether the object a reference names (as target() reads it) is a dictionary; its text
    // goes to `text` when it was read on the way.
    bool namesDictionary(int32_t num, int32_t gen, RawObject* text = nullptr);
    // Rewrites the reference at `value` with the generation its object is written with.
    void fixGeneration(std::string& text, const Value& value);

    XrefTable& xref_;
    PdfWriter& writer_;
    const RunResources& res_;
    int32_t pageNum_ = 0;
};

} // namespace tavrix
