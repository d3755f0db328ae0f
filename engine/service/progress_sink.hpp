// Where a run's progress goes. The automation surface prints the run's lines on standard output,
// exactly as they have always read; a parallel file list keeps each file's lines until the files
// before it are done; the Python package reports pages to a callback and prints nothing.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavrix {

class ProgressSink {
  public:
    virtual ~ProgressSink() = default;
    // A piece of the progress text ("Input file: '...'", a dot, "Renaming output file: ...").
    virtual void text(std::string_view bytes) = 0;
    // The copy pass met a page: `done` of the `total` pages of the file's page list.
    virtual void page(uint32_t done, uint32_t total) {
        (void)done;
        (void)total;
    }
    // Damage the reader tolerated in the file ("'a.pdf': object 12 at byte 3456: ..."), given
    // only when the call asked for it (verbose=1). Nothing by default.
    virtual void note(std::string_view line) { (void)line; }
};

// Writes the text to standard output and flushes it at once, as a user watching a long file
// expects.
class StandardOutputSink : public ProgressSink {
  public:
    void text(std::string_view bytes) override;
    // Notes go to standard error, each on a line of its own, so standard output keeps its bytes.
    void note(std::string_view line) override;
};

// Keeps the text for later; counts nothing.
class BufferSink : public ProgressSink {
  public:
    void text(std::string_view bytes) override { text_.append(bytes); }
    const std::string& buffered() const { return text_; }

  private:
    std::string text_;
};

// The sink of runs that were given none.
ProgressSink& standardOutput();

} // namespace tavrix
