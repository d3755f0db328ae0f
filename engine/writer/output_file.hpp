// A file a run writes: the output PDF, and the export file. Nothing reaches the path before the
// run has succeeded (a failed run leaves no new file and touches no existing one, the input
// included); the result is written to a temporary file and put in place by commit(), in a way
// that keeps what the path carried, as writing it with "wb" would have:
// - a path where nothing stands gets a new file with the mode a new file gets (0666 less the
//   umask);
// - a symlink is followed, and its target is written (a dangling link's target is created);
// - an existing regular file must be writable, else the run fails before it starts. It is
//   replaced by a rename when that keeps everything: it has no other links, its folder can be
//   written, and the new file can take its mode, owner, group and extended attributes.
//   Otherwise the finished result is written into it;
// - anything else that opens for writing (a device such as /dev/null, a FIFO) is written
//   directly and never replaced.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/writer/temp_file.hpp"
#include "engine/writer/write_behind.hpp"

namespace tavrix {

struct OutputOptions {
    // Temporary files are unnamed where the filesystem allows; false makes them named, as on
    // filesystems that do not (tests take that path).
    bool unnamedTemp = true;
    // Where a result that is to be written into an existing file waits when that file's folder
    // cannot be written; empty: $TMPDIR, else /tmp.
    std::string stagingFolder;
};

class OutputFile {
  public:
    enum class Route {
        Create,    // a new file, linked in at commit
        Replace,   // a new file renamed over the old one
        Overwrite, // the result is copied into the existing file at commit
        Direct,    // not a regular file: written as the run goes
    };

    // Checks that `path` can be written and makes the temporary file. Throws CPdfException
    // "Can't create output file" (with the cause) when it cannot.
    explicit OutputFile(std::string path, OutputOptions options = {});
    ~OutputFile(); // discards the result unless commit() succeeded
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    void write(std::string_view bytes);
    // Appends `length` bytes read from `fd` at `offset` (the same bytes the caller has mapped
    // as `mapped`, written from there if the read comes up short).
    void writeFromFile(int fd, int64_t offset, std::string_view mapped);
    // Appends `length` bytes of the file `fd` from `offset`, copied by the kernel where it can
    // (which shares blocks on filesystems that do) and leaving holes where the file has holes
    // (a sparse input stays sparse). The copy is made while the run goes on: a file that ends
    // sooner (cut short meanwhile) fails the run at stage() with "Input file changed". `fd` stays
    // open until then.
    void copyFrom(int fd, int64_t offset, int64_t length);
    int64_t position() const { return position_; }
    // Writes out what is still buffered; with `durable`, waits until it is on the disk. Throws
    // CPdfException "Can't write output file" (with the cause).
    void stage(bool durable = false);
    // Puts the result in place. Throws CPdfException "Can't write output file".
    void commit();
    void discard();

    const std::string& finalPath() const { return path_; }
    Route route() const { return route_; }

  private:
    void open();
    // Hands the buffer to the writing thread.
    void flush();
    // Waits until everything so far is in the file; throws what went wrong on the way.
    void settle();
    WriteBehind& behind();
    void writeOut(const char* data, size_t size);
    void overwriteInPlace();
    // What stood at the path when the run began may have gone meanwhile: a file list run on
    // several threads prepares outputs ahead of their turn while earlier lines put theirs in
    // place and rename them away. The route is then decided again from what stands there now,
    // so a file that has moved on under another name is never written into.
    void decideAgainIfMoved();
    [[noreturn]] void fail(const char* message, int error, const char* advice = "") const;

    std::string path_;   // as given: what messages name
    std::string target_; // the file it leads to, links followed
    OutputOptions options_;
    Route route_ = Route::Create;
    std::unique_ptr<TempFile> temp_;
    std::string stagedIn_;     // the staging folder, when the temporary file is not beside target_
    int targetFd_ = -1;        // the existing file or device, open for writing
    bool targetNamed_ = false; // target_ was seen to lead to the file targetFd_ opened
    int reopened_ = 0;         // times open() found its name moved away under it
    int sink_ = -1;            // where write() goes: the temporary file, or the device
    // Writes on a thread of its own once the output outgrows one buffer.
    std::unique_ptr<WriteBehind> behind_;
    std::vector<char> buffer_;
    std::vector<Stretch> stretches_; // of the input, to be read into their places in buffer_
    size_t stretchBytes_ = 0;
    size_t used_ = 0;
    int64_t position_ = 0;
    bool holes_ = false; // the sink was sought past bytes never written
};

} // namespace tavrix
