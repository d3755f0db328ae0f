#include "support/pdf_builder.hpp"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace testpdf {

std::string deflate(const std::string& data) {
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                  reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()),
                  9) != Z_OK)
        throw std::runtime_error("compress failed");
    out.resize(size);
    return out;
}

std::string streamBody(const std::string& dictEntries, const std::string& data) {
    return "<< " + dictEntries + " /Length " + std::to_string(data.size()) + " >>\nstream\n" +
           data + "\nendstream";
}

std::string flateBody(const std::string& dictEntries, const std::string& data) {
    return streamBody(dictEntries + " /Filter /FlateDecode", deflate(data));
}

namespace {

struct Entry {
    int type;       // 0 free, 1 in use, 2 compressed
    int64_t field2; // offset or object stream number
    int field3;     // generation or index
};

// Stream entries for the given numbers, as rows of W = [1 4 2], optionally PNG Up-predicted.
std::string streamRows(const std::map<int, Entry>& entries, bool predictor) {
    std::string rows;
    std::string previous(7, '\0');
    for (const auto& [num, e] : entries) {
        std::string row = be(static_cast<uint64_t>(e.type), 1) +
                          be(static_cast<uint64_t>(e.field2), 4) +
                          be(static_cast<uint64_t>(e.field3), 2);
        if (predictor) {
            std::string up(1, '\x02');
            for (size_t i = 0; i < row.size(); ++i)
                up += static_cast<char>(static_cast<unsigned char>(row[i]) -
                                        static_cast<unsigned char>(previous[i]));
            previous = row;
            rows += up;
        } else {
            rows += row;
        }
    }
    return rows;
}

// "/Index [a n b m ...]" covering exactly the given numbers in runs.
std::string indexArray(const std::map<int, Entry>& entries) {
    std::string out = "/Index [";
    int start = -1, prev = -2;
    for (const auto& [num, e] : entries) {
        if (num != prev + 1) {
            if (start >= 0)
                out += std::to_string(start) + " " + std::to_string(prev - start + 1) + " ";
            start = num;
        }
        prev = num;
    }
    if (start >= 0) out += std::to_string(start) + " " + std::to_string(prev - start + 1);
    return out + "]";
}

std::string tableText(const std::map<int, Entry>& entries) {
    std::string out = "xref\n";
    int start = -1, prev = -2;
    std::string block;
    auto flush = [&] {
        if (start >= 0)
            out += std::to_string(start) + " " + std::to_string(prev - start + 1) + "\n" + block;
        block.clear();
    };
    for (const auto& [num, e] : entries) {
        if (num != prev + 1) {
            flush();
            start = num;
        }
        prev = num;
        block += entryLine(e.field2, e.field3, e.type == 1 ? 'n' : 'f');
    }
    flush();
    return out;
}

} // namespace

std::string PdfBuilder::build() {
    std::string out = junkBeforeHeader + header;
    const int64_t shift = static_cast<int64_t>(junkBeforeHeader.size());
    int64_t holeBytes = 0;
    holeAt_.clear();
    auto pos = [&] { return static_cast<int64_t>(out.size()) + holeBytes - shift; };
    int maxNum = 0;
    int64_t prevXref = -1;
    for (Revision& rev : revisions) {
        for (const auto& [num, body] : rev.objects)
            maxNum = std::max(maxNum, num);
        for (int num : rev.freed)
            maxNum = std::max(maxNum, num);
    }
    for (size_t r = 0; r < revisions.size(); ++r) {
        Revision& rev = revisions[r];
        std::map<int, Entry> entries;
        if (r == 0) entries[0] = {0, 0, 65535};
        offsets.clear();
        // Object stream first, so that its members get their index.
        std::vector<int> members(rev.compressed.begin(), rev.compressed.end());
        int osNum = rev.objectStreamNum;
        if (!members.empty() && osNum == 0) osNum = ++maxNum;
        for (const auto& [num, body] : rev.objects) {
            if (rev.compressed.count(num)) continue;
            const int gen = rev.generations.count(num) ? rev.generations.at(num) : 0;
            entries[num] = {1, pos(), gen};
            offsets[num] = pos() + shift;
            if (rev.leading.count(num)) out += rev.leading.at(num);
            out += std::to_string(num) + " " + std::to_string(gen) + " obj\n";
            if (const auto hole = rev.holes.find(num); hole != rev.holes.end()) {
                out += "<< " + body + " /Length " + std::to_string(hole->second) + " >>\nstream\n";
                holeAt_.emplace_back(out.size(), hole->second);
                holeBytes += hole->second;
                out += "\nendstream\nendobj\n";
                continue;
            }
            out += body + "\nendobj\n";
        }
        if (!members.empty()) {
            std::string headerPart, data;
            for (size_t i = 0; i < members.size(); ++i) {
                headerPart += std::to_string(members[i]) + " " + std::to_string(data.size()) + " ";
                data += rev.objects.at(members[i]) + "\n";
                entries[members[i]] = {2, osNum, static_cast<int>(i)};
            }
            const std::string content = headerPart + "\n" + data;
            entries[osNum] = {1, pos(), 0};
            offsets[osNum] = pos() + shift;
            out += std::to_string(osNum) + " 0 obj\n" +
                   flateBody("/Type /ObjStm /N " + std::to_string(members.size()) + " /First " +
                                 std::to_string(headerPart.size() + 1),
                             content) +
                   "\nendobj\n";
        }
        for (int num : rev.freed)
            entries[num] = {0, 0, 1};
        // Streams take the next number for themselves.
        const int size = rev.xref == XrefKind::Table ? maxNum + 1 : maxNum + 2;
        std::string trailerKeys =
            "/Size " + std::to_string(size) + " /Root " + std::to_string(rootNum) + " 0 R";
        if (prevXref >= 0) trailerKeys += " /Prev " + std::to_string(prevXref);
        if (!rev.trailerExtra.empty()) trailerKeys += " " + rev.trailerExtra;
        int64_t xrefPos = pos();
        const int xrefNum = maxNum + 1;
        const auto xrefStream = [&](const std::map<int, Entry>& listed, const std::string& keys) {
            std::string dict = "/Type /XRef /W [1 4 2] " + indexArray(listed) + " " + keys;
            if (rev.predictor) dict += " /DecodeParms << /Predictor 12 /Columns 7 >>";
            out += std::to_string(xrefNum) + " 0 obj\n" +
                   flateBody(dict, streamRows(listed, rev.predictor)) + "\nendobj\n";
        };
        if (rev.xref == XrefKind::Table) {
            out += tableText(entries) + "trailer\n<< " + trailerKeys + " >>\n";
        } else if (rev.xref == XrefKind::Stream) {
            entries[xrefNum] = {1, xrefPos, 0};
            xrefStream(entries, trailerKeys);
        } else {
            // Hybrid: the table lists only objects stored directly; the companion stream
            // (named by XRefStm) lists the compressed ones.
            std::map<int, Entry> streamEntries, tableEntries;
            for (const auto& [num, e] : entries)
                (e.type == 2 ? streamEntries : tableEntries)[num] = e;
            if (rev.hybridTableFreesCompressed)
                for (const auto& [num, e] : streamEntries)
                    tableEntries[num] = {0, 0, 0};
            const int64_t stmPos = xrefPos;
            xrefStream(streamEntries, "/Size " + std::to_string(size));
            tableEntries[xrefNum] = {1, stmPos, 0};
            xrefPos = pos();
            out += tableText(tableEntries) + "trailer\n<< " + trailerKeys + " /XRefStm " +
                   std::to_string(stmPos) + " >>\n";
        }
        out += "startxref\n" + std::to_string(xrefPos) + "\n%%EOF\n";
        prevXref = xrefPos;
        lastStartxref = xrefPos;
    }
    return out;
}

std::string damaged(const PdfBuilder& b, std::string bytes, XrefDamage how, int64_t* at) {
    const size_t section = b.junkBeforeHeader.size() + static_cast<size_t>(b.lastStartxref);
    const size_t trailer = bytes.find("trailer", section);
    const bool table = bytes.compare(section, 4, "xref") == 0;
    int64_t where = -1;
    switch (how) {
    case XrefDamage::NoStartxref: {
        bytes.erase(bytes.rfind("startxref"));
        bytes += "%%EOF\n";
        where = static_cast<int64_t>(bytes.size());
        break;
    }
    case XrefDamage::ShiftedOffsets: {
        // Entry lines are "oooooooooo ggggg n\r\n".
        for (size_t line = bytes.find('\n', section) + 1; line < trailer;
             line = bytes.find('\n', line) + 1) {
            if (bytes.compare(line + 17, 1, "n") != 0 || bytes[line + 10] != ' ') continue;
            char digits[32];
            std::snprintf(digits, sizeof digits, "%010lld", std::atoll(bytes.c_str() + line) + 7);
            if (where < 0) where = std::atoll(digits);
            bytes.replace(line, 10, digits);
        }
        break;
    }
    case XrefDamage::CutTable: {
        const size_t half = bytes.find("\r\n", section + (trailer - section) / 2) + 2;
        bytes.erase(half, trailer - half);
        where = static_cast<int64_t>(half);
        break;
    }
    case XrefDamage::JunkInSection: {
        if (table) {
            const size_t line = bytes.find("\r\n", section + (trailer - section) / 2) + 2;
            bytes.replace(line, 20, "garbage where one is");
            where = static_cast<int64_t>(line);
        } else {
            // Past the stream's first bytes, so that it still starts to inflate.
            const size_t data = bytes.find("stream\n", section) + 7 + 12;
            for (size_t k = 0; k < 16; ++k)
                bytes[data + k] = static_cast<char>(bytes[data + k] ^ 0x5A);
            where = static_cast<int64_t>(data);
        }
        break;
    }
    case XrefDamage::PrevIntoGarbage: {
        const size_t prev = bytes.find("/Prev ", section) + 6;
        const size_t end = bytes.find_first_not_of("0123456789", prev);
        // Into the page tree's dictionary: no section starts there.
        const std::string into = std::to_string(b.offsets.begin()->second + 9);
        bytes.replace(prev, end - prev, into);
        where = std::stoll(into);
        break;
    }
    }
    if (at) *at = where;
    return bytes;
}

void PdfBuilder::writeTo(const std::string& path) {
    const std::string bytes = build();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot create " + path);
    size_t from = 0;
    bool ok = true;
    const auto put = [&](size_t to) {
        ok = ok && ::write(fd, bytes.data() + from, to - from) == static_cast<ssize_t>(to - from);
        from = to;
    };
    for (const auto& [at, length] : holeAt_) {
        put(at);
        ok = ok && ::lseek(fd, static_cast<off_t>(length), SEEK_CUR) >= 0;
    }
    put(bytes.size());
    ok = ::close(fd) == 0 && ok;
    if (!ok) throw std::runtime_error("cannot write " + path);
}

PdfBuilder simpleDocument(int pages, XrefKind xref, bool objectStreams) {
    PdfBuilder b;
    Revision& r = b.base();
    r.xref = xref;
    std::string kids;
    const int firstPage = 3;
    const int font = firstPage + 2 * pages;
    for (int k = 0; k < pages; ++k)
        kids += std::to_string(firstPage + k) + " 0 R ";
    r.objects[1] = "<< /Type /Catalog /Pages 2 0 R >>";
    r.objects[2] = "<< /Type /Pages /Kids [ " + kids + "] /Count " + std::to_string(pages) + " >>";
    for (int k = 0; k < pages; ++k) {
        const int page = firstPage + k;
        const int content = firstPage + pages + k;
        r.objects[page] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents " +
                          std::to_string(content) + " 0 R /Resources << /Font << /F1 " +
                          std::to_string(font) + " 0 R >> >> >>";
        r.objects[content] =
            streamBody("", "BT /F1 24 Tf 72 700 Td (Hello " + std::to_string(k + 1) + ") Tj ET");
        if (objectStreams) r.compressed.insert(page);
    }
    r.objects[font] = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
    if (objectStreams) {
        r.compressed.insert(1);
        r.compressed.insert(2);
        r.compressed.insert(font);
    }
    return b;
}

std::string emptyPages(int pages, const std::string& pageEntries) {
    PdfBuilder b;
    std::string kids;
    for (int k = 0; k < pages; ++k) {
        kids += std::to_string(3 + k) + " 0 R ";
        b.base().objects[3 + k] = "<< /Type /Page /Parent 2 0 R " + pageEntries + " >>";
    }
    b.base().objects[1] = "<< /Type /Catalog /Pages 2 0 R >>";
    b.base().objects[2] =
        "<< /Type /Pages /Kids [ " + kids + "] /Count " + std::to_string(pages) + " >>";
    return b.build();
}

} // namespace testpdf
