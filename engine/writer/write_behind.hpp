// Writes a run's output on a thread of its own. The kernel's part of writing (copying the bytes
// into the page cache, or copying a stretch of the input file) then overlaps the reading and
// patching that make the next bytes: on a file of large images that part is a third of the run,
// and an update's copy of the whole input is most of it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include <sys/types.h>

struct iovec;

namespace tavrix {

// Writes all of [data, data + size) to `fd`; returns 0 or the errno that stopped it. With
// `pipeSafe` a FIFO whose reader has gone fails with EPIPE instead of raising SIGPIPE, whose
// default would end the engine's host process.
int writeFully(int fd, const char* data, size_t size, bool pipeSafe);
// The same for `count` pieces, in as few calls as the kernel allows. Changes `pieces`.
int writeFully(int fd, iovec* pieces, size_t count, bool pipeSafe);

// `length` bytes of the file `fd` from `offset`, to be read into a buffer's bytes before the
// byte at `at`.
struct Stretch {
    size_t at = 0;
    int fd = -1;
    int64_t offset = 0;
    size_t length = 0;
};

class WriteBehind {
  public:
    // Writes go to `sink` in the order they are queued, from where its offset stands. `seekable`:
    // holes of a copied file may be left as holes (not so on a device or FIFO).
    // `startWriteback`: the file's bytes are sent on to the disk as they are written, where the
    // filesystem would otherwise send all of them at once, with the caller waiting, when the file
    // is renamed over another (as ext4 does).
    // When no thread can be started (a host at its limit), everything is written as it is
    // queued.
    WriteBehind(int sink, bool seekable, bool startWriteback = false);
    // Stops what is queued (a long copy within a few megabytes) and waits for the thread.
    ~WriteBehind();
    WriteBehind(const WriteBehind&) = delete;
    WriteBehind& operator=(const WriteBehind&) = delete;

    // Queues the first `used` bytes of `bytes`, with `stretches` of files read into their
    // places among them (the reading is the thread's as well), and leaves in `bytes` a buffer to
    // fill next (one written earlier, when there is one) and `stretches` empty. Waits while
    // several are already waiting, so memory stays bounded however far the writing falls
    // behind. False once something queued has failed: finish() tells what. The files stay open
    // until finish().
    bool write(std::vector<char>& bytes, size_t used, std::vector<Stretch>& stretches);
    // Queues `length` bytes of the file `fd` from `offset`, copied by the kernel where it can
    // (which shares blocks on filesystems that do) and left as holes where the file has holes.
    // `fd` must stay open until finish(). False as write().
    bool copy(int fd, int64_t offset, int64_t length);

    struct Outcome {
        int error = 0;         // the errno of the first write that failed; nothing after it ran
        bool cutShort = false; // a copied file ended sooner than it did when queued
        bool holes = false;    // the sink was sought past bytes never written
    };
    // Waits until everything queued is written.
    Outcome finish();

  private:
    struct Task {
        std::vector<char> bytes;
        size_t used = 0;
        std::vector<Stretch> stretches;
        int fd = -1; // a copy when not -1
        int64_t offset = 0;
        int64_t length = 0;
    };
    void run();
    // Each returns what went wrong (nothing, an errno, a file cut short).
    Outcome perform(Task& task);
    // Without a thread.
    void performHere(Task& task);
    // Adds what a task came to to outcome_ (under the mutex, when the thread runs).
    void record(const Outcome& done);
    Outcome writeWithStretches(Task& task);
    void startWriteback();
    Outcome copyNow(int fd, int64_t offset, int64_t length);
    // [at, end) of `fd` through a buffer; returns where it stopped, or -errno.
    int64_t readThrough(int fd, int64_t at, int64_t end);

    const int sink_;
    const bool seekable_;
    const bool startWriteback_;
    off_t writebackFrom_ = 0; // the thread's alone
    std::mutex mutex_;
    std::condition_variable wake_;     // work queued, or the end
    std::condition_variable progress_; // a task done
    std::deque<Task> queue_;
    std::vector<std::vector<char>> spare_;
    size_t waitingBuffers_ = 0;
    bool busy_ = false;
    bool stop_ = false;
    std::atomic<bool> cancelled_{false};
    Outcome outcome_;
    std::vector<char> scratch_; // the thread's own: stretches, copies the kernel cannot make
    std::vector<iovec> pieces_;
    std::thread thread_;
};

} // namespace tavrix
