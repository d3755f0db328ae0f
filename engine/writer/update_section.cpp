#include "engine/writer/update_section.hpp"

#include <utility>
#include <vector>

namespace tavrix {
namespace {

// The written entries as runs of consecutive numbers: (first, count); `extra` more numbers
// follow the table's last one (a cross-reference stream lists itself).
std::vector<std::pair<size_t, size_t>> writtenRuns(const PdfWriter& writer, size_t extra = 0) {
    std::vector<std::pair<size_t, size_t>> runs;
    for (size_t i = 1; i < writer.size() + extra; ++i) {
        if (i < writer.size() && !writer.isWritten(static_cast<int32_t>(i))) continue;
        if (!runs.empty() && runs.back().first + runs.back().second == i)
            ++runs.back().second;
        else
            runs.emplace_back(i, 1);
    }
    return runs;
}

std::string trailerKeys(const UpdateTrailer& t, size_t size) {
    std::string keys = "/Size " + std::to_string(size) + " /Root " + t.root;
    if (!t.info.empty()) keys += " /Info " + t.info;
    if (!t.id.empty()) keys += " /ID " + t.id;
    if (!t.encrypt.empty()) keys += " /Encrypt " + t.encrypt;
    keys += " /Prev " + std::to_string(t.prev);
    return keys;
}

// `value` in `digits` digits, zero-padded (the value fits: the caller checked the offsets).
void appendPadded(std::string& out, uint64_t value, int digits) {
    char text[24];
    for (int i = digits - 1; i >= 0; --i, value /= 10)
        text[i] = static_cast<char>('0' + value % 10);
    out.append(text, static_cast<size_t>(digits));
}

void appendBigEndian(std::string& out, uint64_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i)
        out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

void writeTable(PdfWriter& writer, const UpdateTrailer& t) {
    writer.startLine();
    const int64_t xrefAt = writer.position();
    std::string text = "xref\n";
    for (const auto& [first, count] : writtenRuns(writer)) {
        text += std::to_string(first) + ' ' + std::to_string(count) + '\n';
        for (size_t i = first; i < first + count; ++i) {
            const OutputEntry e = writer.entry(i);
            writer.checkOffset(e);
            appendPadded(text, static_cast<uint64_t>(e.offset), 10);
            text += ' ';
            appendPadded(text, static_cast<uint64_t>(e.gen & 0xFFFF), 5);
            text += " n\r\n";
        }
    }
    text += "trailer\n<< " + trailerKeys(t, writer.size()) + " >>\nstartxref\n" +
            std::to_string(xrefAt) + "\n%%EOF\n";
    writer.write(text);
}

void writeStream(PdfWriter& writer, const UpdateTrailer& t) {
    writer.startLine();
    // The stream lists itself: it is the next new object, at the current position.
    const int64_t xrefAt = writer.position();
    const OutputEntry self{xrefAt, 0, true};
    int offsetBytes = 1;
    while (offsetBytes < 8 && (static_cast<uint64_t>(xrefAt) >> (8 * offsetBytes)) != 0)
        ++offsetBytes;
    const auto runs = writtenRuns(writer, 1);
    std::string index;
    size_t listed = 0;
    for (const auto& [first, count] : runs) {
        index += (index.empty() ? "" : " ") + std::to_string(first) + ' ' + std::to_string(count);
        listed += count;
    }
    // The stream's data is made in place in the object's text, which is sized once: a table of
    // many pages would otherwise stand in memory three times over.
    const size_t entryBytes = 1 + static_cast<size_t>(offsetBytes) + 2;
    std::string text = " 0 obj\n<< /Type /XRef " + trailerKeys(t, writer.size() + 1) + " /Index [" +
                       index + "] /W [1 " + std::to_string(offsetBytes) + " 2] /Length " +
                       std::to_string(listed * entryBytes) + " >>\nstream\n";
    const std::string end =
        "\nendstream\nendobj\nstartxref\n" + std::to_string(xrefAt) + "\n%%EOF\n";
    text.reserve(text.size() + listed * entryBytes + end.size());
    for (const auto& [first, count] : runs) {
        for (size_t i = first; i < first + count; ++i) {
            const OutputEntry e = i < writer.size() ? writer.entry(i) : self;
            writer.checkOffset(e);
            text += '\1';
            appendBigEndian(text, static_cast<uint64_t>(e.offset), offsetBytes);
            appendBigEndian(text, static_cast<uint64_t>(e.gen & 0xFFFF), 2);
        }
    }
    text += end;
    writer.appendCrossReferenceStream(text);
}

} // namespace

void writeUpdateSection(PdfWriter& writer, const UpdateTrailer& trailer) {
    if (trailer.stream)
        writeStream(writer, trailer);
    else
        writeTable(writer, trailer);
}

} // namespace tavrix
