// The open input: its bytes, the "%PDF-" header position and the cross-reference data.
#pragma once

#include <memory>
#include <string>

#include "engine/pdf/input_file.hpp"
#include "engine/pdf/xref_table.hpp"

namespace tavrix {

class PdfDocument {
  public:
    // Opens the file and reads its cross-reference data; throws CPdfException on failure.
    void openDocument(const std::string& path);
    // Same, for a file already opened by the caller.
    void openDocument(std::shared_ptr<InputFile> file);
    void closeDocument();
    bool isOpen() const { return xref_ != nullptr; }

    XrefTable& xref() { return *xref_; }
    const std::shared_ptr<InputFile>& file() const { return file_; }
    // Offset of "%PDF-" in the file; cross-reference offsets count from there.
    int64_t headerShift() const { return headerShift_; }

  private:
    std::shared_ptr<InputFile> file_;
    std::unique_ptr<XrefTable> xref_;
    int64_t headerShift_ = 0;
};

// Position of "%PDF-" within the first 1023 bytes (at 0..1017), or 0 when absent.
int64_t findHeaderOffset(std::string_view bytes);

} // namespace tavrix
