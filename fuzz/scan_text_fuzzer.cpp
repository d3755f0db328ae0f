// Runs the raw-text scanner over arbitrary bytes as raw object access, the page tree and the
// page patcher do: the end of an object, its value, entries of its dictionary, references and
// boxes. Every span it answers must lie within the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "engine/pdf/pdf_scanner.hpp"

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

void checkValue(std::string_view text, const tavrix::Value& v) {
    check(v.begin <= v.end && v.end <= text.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const tavrix::ObjectEnd end = tavrix::scanToObjectEnd(text, 0);
    check(end.at <= text.size());
    checkValue(text, tavrix::objectValue(text));
    for (const char* key : {"Length", "Kids", "Contents", "Resources", "MediaBox", "Rotate"}) {
        const std::optional<tavrix::DictEntry> entry = tavrix::findEntry(text, 0, key);
        if (!entry) continue;
        checkValue(text, entry->value);
        check(entry->keyBegin < entry->value.begin);
        tavrix::readReference(text, entry->value);
        tavrix::readIntegerValue(text, entry->value);
        tavrix::readBox(text, entry->value);
    }
    size_t keywordEnd = 0;
    const size_t keyword = tavrix::findEndstream(text, 0);
    if (keyword != std::string_view::npos) {
        check(tavrix::endstreamAt(text, keyword, keywordEnd) && keywordEnd <= text.size());
        check(tavrix::dataEndBefore(text, 0, keyword) <= keyword);
    }
    tavrix::PdfScanner scanner(text);
    for (size_t i = 0; i <= size; ++i) {
        const tavrix::Value v = scanner.nextValue();
        checkValue(text, v);
        if (v.kind == tavrix::ValueKind::End) break;
    }
    return 0;
}
