// The input PDF file, mapped read-only. Mapped pages are file-backed: the copy pass drops them
// from the process now and then so a 100 MB input never stays resident as a whole.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/pdf/mapping_guard.hpp"

namespace tavrix {

// Why a run stopped when its input changed under it (see InputFile::changed).
inline constexpr const char* kInputChangedReason =
    "{input} changed while it was being stamped; run again";

// How much of the input a run lets stay mapped in memory before giving the pages back.
inline constexpr size_t kResidentBudget = size_t{4} << 20;

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
    // A file no larger than kResidentBudget is left mapped as it is: all of it fits the
    // budget, and dropping it would only make every later read fault its pages in again.
    void dropResidentPages() const;
    // The file is not what it was when it was opened: it was cut short under a read (which then
    // found zeros), or its size or modification time differ. What was read from it may be a mix
    // of old and new bytes.
    bool changed() const;

  private:
    InputFile() = default;
    const unsigned char* data_ = nullptr;
    size_t size_ = 0;
    bool mapped_ = false;
    int fd_ = -1;
    timespec modified_{};
    std::optional<MappingGuard> guard_;
    // The bytes, when no guard was free to make the mapping safe.
    std::vector<unsigned char> copy_;
};

} // namespace tavrix
