// The input PDF file, mapped read-only. Mapped pages are file-backed: the copy pass drops them
// from the process now and then so a 100 MB input never stays resident as a whole.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace tavrix {

class InputFile {
  public:
    // Throws CPdfException "Can't open file" when the path cannot be opened as a regular file.
    static std::shared_ptr<InputFile> open(const std::string& path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    const unsigned char* data() const { return data_; }
    // The open descriptor: large stretches are read with pread() rather than through the
    // mapping, which saves faulting the pages in and dropping them again.
    int fd() const { return fd_; }
    size_t size() const { return size_; }
    std::string_view view() const { return {reinterpret_cast<const char*>(data_), size_}; }
    // Lets the kernel reclaim the mapped pages read so far; later reads fault them back in.
    void dropResidentPages() const;

  private:
    InputFile() = default;
    const unsigned char* data_ = nullptr;
    size_t size_ = 0;
    bool mapped_ = false;
    int fd_ = -1;
};

} // namespace tavrix
