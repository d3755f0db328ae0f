// The open input: its bytes, the "%PDF-" header position and the cross-reference data.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "engine/pdf/input_file.hpp"
#include "engine/pdf/xref_table.hpp"

namespace tavrix {

// How a file is opened: with a password for an encrypted file (without one it is refused), and
// whether damaged cross-reference data is rebuilt (else it is refused).
struct OpenOptions {
    std::optional<std::string> password;
    bool repair = false;
    // Rebuild even when the data reads and points at its objects (it leaves out objects that
    // the file needs); implies repair.
    bool rebuild = false;
};

class PdfDocument {
  public:
    // Opens the file and reads its cross-reference data; throws CPdfException on failure.
    void openDocument(const std::string& path, const OpenOptions& options = {});
    // Same, for a file already opened by the caller.
    void openDocument(std::shared_ptr<InputFile> file, const OpenOptions& options = {});
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
