// Helpers for the writer tests: run a stamping job through TavrixCom, read the output's
// cross-reference table back, find objects and the stamp text of a page, and render a page.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <regex>
#include <string>
#include <variant>
#include <vector>

#include "engine/pdf/pdf_exception.hpp"
#include "engine/service/stamp_job.hpp"
#include "engine/service/tavrix_com.hpp"
#include "support/test_files.hpp"
#include "tavrix/members.hpp"

namespace stamptest {

// What a failed run answers.
constexpr const char* kFailure = "Stamp file issue\r\n";

inline int32_t dispid(const char* name) {
    return tavrix::findProperty(name)->dispid;
}

// A job for `in` into `out` with default settings.
inline tavrix::StampJob jobFor(const std::string& in, const std::string& out) {
    tavrix::StampJob job;
    job.input = in;
    job.output = out;
    return job;
}

struct Setting {
    std::string name;
    std::variant<int32_t, std::string> value;
};

// Stamps `in` into `out` with the given properties on a fresh instance; the result text.
inline std::string stamp(const std::string& in, const std::string& out,
                         const std::vector<Setting>& settings = {}) {
    tavrix::TavrixCom com;
    for (const Setting& s : settings) {
        const tavrix::PropertyInfo* p = tavrix::findProperty(s.name);
        if (!p) return "unknown property " + s.name;
        if (const auto* v = std::get_if<int32_t>(&s.value))
            com.putLong(p->dispid, *v);
        else
            com.putText(p->dispid, std::get<std::string>(s.value));
    }
    return com.getTavrixFile(in, out, "");
}

// A fresh folder with the input path "in.pdf" (holding `bytes` when given) and the output path
// "out.pdf".
struct InOut {
    explicit InOut(const std::string& bytes = "") {
        if (!bytes.empty()) testpdf::writeFile(in, bytes);
    }
    testpdf::TempDir dir;
    std::string in = dir.file("in.pdf"), out = dir.file("out.pdf");
};

// pdftotext finds `text` on `page` of `path` (on any page when `page` is 0).
inline ::testing::AssertionResult shows(const std::string& path, int page, const std::string& text,
                                        const std::string& password = "") {
    const std::string all = testpdf::pdfText(path, page, password);
    if (all.find(text) != std::string::npos) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "page " << page << " lacks '" << text << "': " << all;
}

// What a run came to: for a failure its message, reason and kind; the notes it left either way.
struct JobOutcome {
    bool ok = false;
    std::string message, reason;
    tavrix::FailureKind kind = tavrix::FailureKind::Other;
    std::vector<std::string> notes;
};

// Runs `job`, its progress lines going nowhere unless it names a sink of its own.
inline JobOutcome runJob(tavrix::StampJob& job) {
    tavrix::BufferSink quiet;
    const bool silenced = job.progress == nullptr;
    if (silenced) job.progress = &quiet;
    JobOutcome r;
    try {
        tavrix::stampFile(job);
        r.ok = true;
    } catch (const tavrix::CPdfException& e) {
        r.message = e.getMessage();
        r.reason = e.reason();
        r.kind = e.kind();
    }
    if (silenced) job.progress = nullptr;
    r.notes = job.outcome.notes;
    return r;
}

// Stamps `in` into `out` with default settings and the call options `params`.
inline JobOutcome runJob(const std::string& in, const std::string& out,
                         const std::string& params = "") {
    tavrix::StampJob job = jobFor(in, out);
    job.options = tavrix::parseCallOptions(params);
    return runJob(job);
}

// An output file read back through its own cross-reference table.
struct OutputPdf {
    struct Entry {
        int64_t offset = 0;
        int gen = 0;
        char type = 'f';
    };
    std::string bytes;
    int64_t xrefOffset = -1;
    std::vector<Entry> entries;
    std::string trailer; // from "trailer" to the end of the file
    bool wellFormed = false;

    bool inUse(int num) const {
        return num >= 0 && static_cast<size_t>(num) < entries.size() && entries[num].type == 'n';
    }
    // The object the table points at, from its number through "endobj"; empty when free. It
    // ends before the next object the table places (a string inside may spell "endobj").
    std::string object(int num) const {
        if (!inUse(num)) return {};
        const int64_t at = entries[num].offset;
        int64_t next = xrefOffset;
        for (const Entry& e : entries)
            if (e.type == 'n' && e.offset > at && e.offset < next) next = e.offset;
        const std::string text =
            bytes.substr(static_cast<size_t>(at), static_cast<size_t>(next - at));
        const size_t end = text.rfind("endobj");
        return end == std::string::npos ? std::string() : text.substr(0, end + 6);
    }
    // How many times an object with this number and generation 0 is written in the file.
    size_t copies(int num) const {
        const std::string header = std::to_string(num) + " 0 obj";
        size_t n = 0;
        for (size_t at = bytes.find(header); at != std::string::npos;
             at = bytes.find(header, at + 1))
            n += at == 0 || bytes[at - 1] == '\n' || bytes[at - 1] == '\r';
        return n;
    }
};

inline OutputPdf readOutput(const std::string& path) {
    OutputPdf pdf;
    pdf.bytes = testpdf::readFile(path);
    const size_t sx = pdf.bytes.rfind("startxref\n");
    if (sx == std::string::npos) return pdf;
    pdf.xrefOffset = std::atoll(pdf.bytes.c_str() + sx + 10);
    const size_t x = static_cast<size_t>(pdf.xrefOffset);
    if (pdf.bytes.compare(x, 7, "xref\n0 ") != 0) return pdf;
    const size_t countEnd = pdf.bytes.find('\r', x + 7);
    if (countEnd == std::string::npos) return pdf;
    const long count = std::atol(pdf.bytes.c_str() + x + 7);
    size_t at = countEnd + 1;
    for (long i = 0; i < count; ++i, at += 20) {
        if (at + 20 > pdf.bytes.size()) return pdf;
        const std::string line = pdf.bytes.substr(at, 20);
        if (line[10] != ' ' || line[16] != ' ' || line[18] != ' ' || line[19] != '\r') return pdf;
        pdf.entries.push_back({std::atoll(line.c_str()), std::atoi(line.c_str() + 11), line[17]});
    }
    pdf.trailer = pdf.bytes.substr(at);
    pdf.wellFormed = pdf.trailer.starts_with("trailer\n");
    return pdf;
}

// Collapses every run of white space into one blank, so that expectations need not spell the
// exact spacing of each insertion.
inline std::string squeeze(const std::string& text) {
    return std::regex_replace(text, std::regex("[ \t\r\n]+"), " ");
}

// `text` without its literal strings (escapes and one level of nesting taken into account), so
// that keys can be counted.
inline std::string withoutStrings(const std::string& text) {
    return std::regex_replace(text, std::regex(R"(\((?:\\.|[^\\()]|\((?:\\.|[^\\()])*\))*\))"),
                              "()");
}

inline size_t occurrences(const std::string& text, const std::string& word) {
    size_t n = 0;
    for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
        ++n;
    return n;
}

// The numbers of the references inside the first "/Contents [ ... ]" of `text`.
inline std::vector<int> contentRefs(const std::string& text) {
    std::vector<int> refs;
    std::smatch m;
    if (!std::regex_search(text, m, std::regex(R"(/Contents\s*\[([^\]]*)\])"))) return refs;
    const std::string list = m[1];
    const std::regex ref(R"((\d+)\s+\d+\s+R)");
    for (auto it = std::sregex_iterator(list.begin(), list.end(), ref);
         it != std::sregex_iterator(); ++it)
        refs.push_back(std::stoi((*it)[1]));
    return refs;
}

// The text shown by the stamp stream `num`: what stands between "(" and ") Tj".
inline std::string shownText(const OutputPdf& pdf, int num) {
    const std::string stream = pdf.object(num);
    const size_t open = stream.find("\n(");
    const size_t close = stream.find(") Tj", open);
    if (open == std::string::npos || close == std::string::npos) return {};
    return stream.substr(open + 2, close - open - 2);
}

// The run's resource names: the font's "/Name" and the graphics state named in a stamp stream.
inline std::string fontResourceName(const OutputPdf& pdf, int fontNum) {
    std::smatch m;
    const std::string font = pdf.object(fontNum);
    return std::regex_search(font, m, std::regex(R"(/Name /(F\d+) \n)")) ? m[1].str() : "";
}
inline std::string gsResourceName(const OutputPdf& pdf, int stampNum) {
    std::smatch m;
    const std::string stream = pdf.object(stampNum);
    return std::regex_search(stream, m, std::regex(R"(/(GS\d+) gs\n)")) ? m[1].str() : "";
}

// Bounding box, in pixels of a 36 dpi rendering of the crop box (half a point each, origin at
// the top left of the page as displayed), of the dark pixels inside the given region of the
// rendered page.
struct DarkBox {
    int width = 0, height = 0; // of the whole rendering
    int minX = -1, minY = -1, maxX = -1, maxY = -1;
    bool any() const { return minX >= 0; }
};

inline DarkBox darkBox(const std::string& pdf, int page, int x0 = 0, int y0 = 0, int x1 = 1 << 20,
                       int y1 = 1 << 20) {
    DarkBox box;
    testpdf::TempDir dir;
    const std::string prefix = dir.file("page");
    const auto r = testpdf::runCommand({"pdftoppm", "-q", "-cropbox", "-gray", "-r", "36", "-f",
                                        std::to_string(page), "-l", std::to_string(page),
                                        "-singlefile", pdf, prefix});
    const std::string image = testpdf::readFile(prefix + ".pgm");
    if (r.exitCode != 0 || !image.starts_with("P5")) return box;
    int maxval = 0, headerEnd = 0;
    if (std::sscanf(image.c_str(), "P5 %d %d %d%n", &box.width, &box.height, &maxval, &headerEnd) !=
        3)
        return box;
    const size_t pixels = static_cast<size_t>(headerEnd) + 1;
    for (int y = std::max(0, y0); y < std::min(box.height, y1); ++y) {
        for (int x = std::max(0, x0); x < std::min(box.width, x1); ++x) {
            const auto value = static_cast<unsigned char>(
                image[pixels + static_cast<size_t>(y) * static_cast<size_t>(box.width) +
                      static_cast<size_t>(x)]);
            if (value >= 128) continue;
            if (box.minX < 0 || x < box.minX) box.minX = x;
            if (box.minY < 0 || y < box.minY) box.minY = y;
            box.maxX = std::max(box.maxX, x);
            box.maxY = std::max(box.maxY, y);
        }
    }
    return box;
}

// qpdf --check passes (with warnings only when the input had them too), and pdftotext finds
// `text` on `page`.
inline void expectReadable(const std::string& path, int page, const std::string& text,
                           bool inputWarns = false) {
    std::string report;
    EXPECT_TRUE(testpdf::qpdfCheck(path, inputWarns, &report)) << report;
    EXPECT_NE(squeeze(testpdf::pdfText(path, page)).find(text), std::string::npos)
        << "page " << page << ": " << testpdf::pdfText(path, page);
}

// The same, and MuPDF, a second reader, finds the text and loads the page without an error.
inline void expectReadableEverywhere(const std::string& path, int page, const std::string& text) {
    expectReadable(path, page, text);
    std::string errors;
    const std::string mupdf = testpdf::mupdfText(path, page, &errors);
    EXPECT_EQ(errors, "") << "page " << page;
    EXPECT_NE(squeeze(mupdf).find(text), std::string::npos) << "page " << page << ": " << mupdf;
}

// Where the default stamp of a [0 0 612 792] page lands in a 36 dpi rendering: the bottom
// left corner, starting 10 pixels from the left edge.
inline void expectStampAtBottomLeft(const std::string& path, int page, int width, int height) {
    const DarkBox box = darkBox(path, page, 0, height - 20, width / 2, height);
    ASSERT_TRUE(box.any()) << path << " page " << page;
    EXPECT_NEAR(box.minX, 10, 3);
    EXPECT_NEAR(box.maxY, height - 5, 3);
    EXPECT_GT(box.maxX - box.minX, 3 * (box.maxY - box.minY)); // a line of upright text
}

} // namespace stamptest
