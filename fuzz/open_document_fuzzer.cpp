// Opens arbitrary bytes as a document (with the empty password, and rebuilding the
// cross-reference data when it cannot be used), then fetches every object, reads every stream,
// and takes the raw text of every object, as a run does.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/pdf/pdf_document.hpp"
#include "engine/pdf/pdf_exception.hpp"
#include "engine/pdf/raw_object.hpp"

namespace {
// The input lives in an anonymous in-memory file, opened by path like any input.
const int inputFd = memfd_create("tavrix-fuzz-input", 0);
const std::string inputPath = "/proc/self/fd/" + std::to_string(inputFd);
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (ftruncate(inputFd, 0) != 0 || pwrite(inputFd, data, size, 0) != static_cast<ssize_t>(size))
        return 0;
    auto doc = std::make_unique<tavrix::PdfDocument>();
    tavrix::OpenOptions options;
    options.password = "";
    try {
        doc->openDocument(inputPath, options);
    } catch (const tavrix::CPdfException& e) {
        if (e.kind() != tavrix::FailureKind::RepairNeeded) return 0;
        options.repair = true;
        doc = std::make_unique<tavrix::PdfDocument>();
        try {
            doc->openDocument(inputPath, options);
        } catch (const tavrix::CPdfException&) {
            return 0;
        }
    }
    tavrix::XrefTable& xref = doc->xref();
    for (size_t num = 0; num < xref.entries().size() && num < 100000; ++num) {
        const tavrix::XrefEntry e = xref.entries()[num];
        try {
            const tavrix::PdfObject obj = xref.fetchObject(
                static_cast<int32_t>(num), e.type == tavrix::XrefType::InUse ? e.gen : 0);
            if (obj.isStream())
                while (obj.getStream()->nextChar() >= 0) {
                }
            tavrix::readRawObject(xref, static_cast<int32_t>(num));
        } catch (const tavrix::CPdfException&) {
        }
    }
    return 0;
}
