// A small PDF written for the tests: pages of a given count, offsets computed as it is built.
#pragma once

#include <fstream>
#include <string>
#include <vector>

namespace folvane::testing {

// Pages without content; `pageEntries` are the page dictionary's box and rotation entries.
inline std::string buildPdf(int pageCount,
                            const std::string& pageEntries = "/MediaBox [0 0 612 792]") {
    std::string out = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    auto object = [&](const std::string& body) {
        offsets.push_back(out.size());
        out += std::to_string(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
    };
    object("<< /Type /Catalog /Pages 2 0 R >>");
    std::string kids;
    for (int i = 0; i < pageCount; ++i)
        kids += std::to_string(3 + i) + " 0 R ";
    object("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pageCount) + " >>");
    for (int i = 0; i < pageCount; ++i)
        object("<< /Type /Page /Parent 2 0 R " + pageEntries + " /Resources << >> >>");
    const size_t xref = out.size();
    out += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
    char line[32];
    for (size_t offset : offsets) {
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        out += line;
    }
    out += "trailer\n<< /Size " + std::to_string(offsets.size() + 1) + " /Root 1 0 R >>\n";
    out += "startxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return out;
}

inline void writePdf(const std::string& path, int pageCount,
                     const std::string& pageEntries = "/MediaBox [0 0 612 792]") {
    std::ofstream(path, std::ios::binary) << buildPdf(pageCount, pageEntries);
}

// Runs a command and returns its standard output.
inline std::string commandOutput(const std::string& command) {
    std::string text;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, pipe)) > 0)
            text.append(buf, n);
        ::pclose(pipe);
    }
    return text;
}

} // namespace folvane::testing
