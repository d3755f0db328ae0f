#include "engine/pdf/pdf_document.hpp"

namespace tavrix {

int64_t findHeaderOffset(std::string_view bytes) {
    const std::string_view head = bytes.substr(0, 1023);
    const size_t at = head.find("%PDF-");
    if (at == std::string_view::npos || at > 1017) return 0;
    return static_cast<int64_t>(at);
}

void PdfDocument::openDocument(const std::string& path) {
    openDocument(InputFile::open(path));
}

void PdfDocument::openDocument(std::shared_ptr<InputFile> file) {
    closeDocument();
    file_ = std::move(file);
    headerShift_ = findHeaderOffset(file_->view());
    auto xref = std::make_unique<XrefTable>(file_, headerShift_);
    try {
        xref->read();
    } catch (...) {
        file_.reset();
        throw;
    }
    xref_ = std::move(xref);
}

void PdfDocument::closeDocument() {
    xref_.reset();
    file_.reset();
}

} // namespace tavrix
