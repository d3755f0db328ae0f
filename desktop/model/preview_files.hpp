// The files of the page preview: each preview is a real run of the engine into a private folder,
// opened and unlinked as soon as the run ends, so that the file lives on only as an open handle
// and disappears with the process however it ends.
#pragma once

#include <memory>
#include <string>

namespace folvane {

// One open, already unlinked file. Readable as "/proc/self/fd/N" while it lives.
class FileHandle {
  public:
    explicit FileHandle(int fd) : fd_(fd) {}
    ~FileHandle();
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    int fd() const { return fd_; }
    std::string procPath() const { return "/proc/self/fd/" + std::to_string(fd_); }

  private:
    int fd_;
};

class PreviewFiles {
  public:
    // The folder is made on first use, under $TMPDIR (else /tmp), and named after the process.
    PreviewFiles() = default;
    ~PreviewFiles();
    PreviewFiles(const PreviewFiles&) = delete;
    PreviewFiles& operator=(const PreviewFiles&) = delete;

    // A fresh path for the next run's output; empty when no private folder can be made.
    std::string nextPath();
    // Opens what the run wrote at `path` and unlinks it; nullptr when it is not there.
    std::shared_ptr<FileHandle> take(const std::string& path);
    // Removes whatever a run left at `path` (a failed run writes nothing, but be sure).
    void discard(const std::string& path);

    // Removes the preview folders of processes that no longer run (a killed program's leftovers).
    static void sweepAbandoned(const std::string& parent);

  private:
    std::string folder_;
    unsigned long counter_ = 0;
};

} // namespace folvane
