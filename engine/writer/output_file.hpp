// The output file of a run. It is written to a temporary file beside the final path and moved
// into place only when the run has succeeded, so a failed run leaves no new file behind and
// never touches a file that already stood at the output path (the input itself included).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavrix {

class OutputFile {
  public:
    // Creates the temporary file; throws CPdfException when the folder is not writable.
    explicit OutputFile(std::string finalPath);
    ~OutputFile(); // discards the temporary file unless commit() succeeded
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(std::string_view bytes);
    // Appends `length` bytes read from `fd` at `offset` (the same bytes the caller has mapped
    // as `mapped`, written from there if the read comes up short).
    void writeFromFile(int fd, int64_t offset, std::string_view mapped);
    int64_t position() const { return position_; }
    // Flushes, closes and renames the temporary file to the final path.
    void commit();
    void discard();
    const std::string& finalPath() const { return finalPath_; }

  private:
    void flush();

    std::string finalPath_;
    std::string tempPath_;
    int fd_ = -1;
    std::vector<char> buffer_;
    size_t used_ = 0;
    int64_t position_ = 0;
};

} // namespace tavrix
