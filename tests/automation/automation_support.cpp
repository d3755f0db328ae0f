#include "automation_support.hpp"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "tavrixrt/registry.hpp"

namespace tavrix_test {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/tavrix-auto-XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

PrivateRegistry::PrivateRegistry() : path_(dir_.file("registry")) {
    if (const char* p = std::getenv(tavrixrt::kRegistryEnvironmentVariable)) {
        previous_ = p;
        hadPrevious_ = true;
    }
    ::setenv(tavrixrt::kRegistryEnvironmentVariable, path_.c_str(), 1);
    // The machine's own registrations stay out of the test's sight.
    ::setenv(tavrixrt::kSystemRegistryEnvironmentVariable, systemPath().c_str(), 1);
}

PrivateRegistry::~PrivateRegistry() {
    if (hadPrevious_)
        ::setenv(tavrixrt::kRegistryEnvironmentVariable, previous_.c_str(), 1);
    else
        ::unsetenv(tavrixrt::kRegistryEnvironmentVariable);
    ::unsetenv(tavrixrt::kSystemRegistryEnvironmentVariable);
}

void writeMinimalPdf(const std::string& path, int pages) {
    std::string kids;
    for (int i = 0; i < pages; ++i)
        kids += std::to_string(3 + i) + " 0 R ";
    std::vector<std::string> objects = {"<< /Type /Catalog /Pages 2 0 R >>",
                                        "<< /Type /Pages /Kids [" + kids + "] /Count " +
                                            std::to_string(pages) + " >>"};
    for (int i = 0; i < pages; ++i)
        objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>");
    std::string pdf = "%PDF-1.4\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (const size_t offset : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    writeFile(path, pdf);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

bool fileExists(const std::string& path) {
    return std::filesystem::exists(path);
}

std::string hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

} // namespace tavrix_test
