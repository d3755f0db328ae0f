#include "engine/writer/write_behind.hpp"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <system_error>

namespace tavrix {
namespace {

// Buffers that may wait for the thread at once: enough that a burst of small objects never waits
// for a long copy queued before it, few enough to count for little in a run's memory.
constexpr size_t kMaxWaitingBuffers = 8;
// A copy is made in steps this large, so that a run that stops ends it soon.
constexpr int64_t kCopyStep = int64_t{8} << 20;
constexpr size_t kScratchSize = size_t{256} << 10;
constexpr off_t kWritebackStep = off_t{8} << 20;

int writeAll(int fd, iovec* pieces, size_t count) {
    while (count > 0) {
        const ssize_t n = ::writev(fd, pieces, static_cast<int>(std::min<size_t>(count, IOV_MAX)));
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        // Past the pieces written whole, into the one written in part.
        auto left = static_cast<size_t>(n);
        while (count > 0 && left >= pieces->iov_len) {
            left -= pieces->iov_len;
            ++pieces;
            --count;
        }
        if (count > 0) {
            pieces->iov_base = static_cast<char*>(pieces->iov_base) + left;
            pieces->iov_len -= left;
        }
    }
    return 0;
}

// Reads all of [offset, offset + size) of `fd`: 0, an errno, or -1 when the file ends sooner.
int readAll(int fd, char* into, size_t size, int64_t offset) {
    while (size > 0) {
        const ssize_t n = ::pread(fd, into, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return -1;
        into += n;
        size -= static_cast<size_t>(n);
        offset += n;
    }
    return 0;
}

bool failed(const WriteBehind::Outcome& o) {
    return o.error != 0 || o.cutShort;
}

} // namespace

int writeFully(int fd, const char* data, size_t size, bool pipeSafe) {
    iovec piece{const_cast<char*>(data), size};
    return writeFully(fd, &piece, 1, pipeSafe);
}

int writeFully(int fd, iovec* pieces, size_t count, bool pipeSafe) {
    if (!pipeSafe) return writeAll(fd, pieces, count);
    // The signal is held on this thread alone: SIGPIPE goes to the thread that wrote.
    sigset_t pipeSignal, previous, pending;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    sigpending(&pending);
    const bool wasPending = sigismember(&pending, SIGPIPE) == 1;
    const int error = writeAll(fd, pieces, count);
    if (error == EPIPE && !wasPending) {
        const timespec noWait{};
        sigtimedwait(&pipeSignal, nullptr, &noWait);
    }
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    return error;
}

WriteBehind::WriteBehind(int sink, bool seekable, bool startWriteback)
    : sink_(sink), seekable_(seekable), startWriteback_(startWriteback && seekable) {
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        // A host at its limit of threads: everything is written as it is queued.
    }
}

void WriteBehind::startWriteback() {
    const off_t at = ::lseek(sink_, 0, SEEK_CUR);
    if (at - writebackFrom_ < kWritebackStep) return;
    // Only a start: whether it worked matters not, a failing disk fails the writes themselves.
    sync_file_range(sink_, writebackFrom_, at - writebackFrom_, SYNC_FILE_RANGE_WRITE);
    writebackFrom_ = at;
}

WriteBehind::~WriteBehind() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        cancelled_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

bool WriteBehind::write(std::vector<char>& bytes, size_t used, std::vector<Stretch>& stretches) {
    if (!thread_.joinable()) {
        Task task;
        task.bytes.swap(bytes);
        task.used = used;
        task.stretches.swap(stretches);
        performHere(task);
        bytes.swap(task.bytes);
        return !failed(outcome_);
    }
    std::unique_lock lock(mutex_);
    progress_.wait(lock,
                   [this] { return waitingBuffers_ < kMaxWaitingBuffers || failed(outcome_); });
    if (failed(outcome_)) return false;
    Task task;
    task.bytes.swap(bytes);
    task.used = used;
    task.stretches.swap(stretches);
    queue_.push_back(std::move(task));
    ++waitingBuffers_;
    if (!spare_.empty()) {
        bytes.swap(spare_.back());
        spare_.pop_back();
    }
    lock.unlock();
    wake_.notify_one();
    return true;
}

bool WriteBehind::copy(int fd, int64_t offset, int64_t length) {
    std::unique_lock lock(mutex_);
    if (failed(outcome_)) return false;
    Task task;
    task.fd = fd;
    task.offset = offset;
    task.length = length;
    if (!thread_.joinable()) {
        lock.unlock();
        performHere(task);
        return !failed(outcome_);
    }
    queue_.push_back(std::move(task));
    lock.unlock();
    wake_.notify_one();
    return true;
}

WriteBehind::Outcome WriteBehind::finish() {
    std::unique_lock lock(mutex_);
    progress_.wait(lock, [this] { return (queue_.empty() && !busy_) || failed(outcome_); });
    // What still waits behind a failure is never written.
    if (failed(outcome_)) {
        progress_.wait(lock, [this] { return !busy_; });
        queue_.clear();
        waitingBuffers_ = 0;
    }
    spare_.clear();
    return outcome_;
}

void WriteBehind::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (stop_) return;
        Task task = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        const bool skip = failed(outcome_);
        lock.unlock();
        const Outcome done = skip ? Outcome{} : perform(task);
        if (startWriteback_ && !skip) startWriteback();
        lock.lock();
        busy_ = false;
        record(done);
        if (task.fd < 0) {
            --waitingBuffers_;
            if (spare_.size() < 2) spare_.push_back(std::move(task.bytes));
        }
        progress_.notify_all();
    }
}

void WriteBehind::performHere(Task& task) {
    if (!failed(outcome_)) record(perform(task));
}

void WriteBehind::record(const Outcome& done) {
    outcome_.holes = outcome_.holes || done.holes;
    // The first failure is the one reported: what follows it was never attempted.
    if (!failed(outcome_)) {
        outcome_.error = done.error;
        outcome_.cutShort = done.cutShort;
    }
}

WriteBehind::Outcome WriteBehind::perform(Task& task) {
    if (task.fd >= 0) return copyNow(task.fd, task.offset, task.length);
    if (!task.stretches.empty()) return writeWithStretches(task);
    Outcome o;
    o.error = writeFully(sink_, task.bytes.data(), task.used, !seekable_);
    return o;
}

WriteBehind::Outcome WriteBehind::writeWithStretches(Task& task) {
    Outcome o;
    size_t total = 0;
    for (const Stretch& s : task.stretches)
        total += s.length;
    if (scratch_.size() < total) scratch_.resize(total);
    pieces_.clear();
    char* const bytes = task.bytes.data();
    size_t from = 0, read = 0;
    for (const Stretch& s : task.stretches) {
        if (s.at > from) pieces_.push_back({bytes + from, s.at - from});
        from = s.at;
        if (const int error = readAll(s.fd, scratch_.data() + read, s.length, s.offset)) {
            o.cutShort = error < 0;
            o.error = error > 0 ? error : 0;
            return o;
        }
        pieces_.push_back({scratch_.data() + read, s.length});
        read += s.length;
    }
    if (task.used > from) pieces_.push_back({bytes + from, task.used - from});
    o.error = writeFully(sink_, pieces_.data(), pieces_.size(), !seekable_);
    return o;
}

WriteBehind::Outcome WriteBehind::copyNow(int fd, int64_t offset, int64_t length) {
    Outcome o;
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        o.error = errno;
        return o;
    }
    const int64_t end = offset + length;
    o.cutShort = st.st_size < end;
    const int64_t stop = std::min<int64_t>(end, st.st_size);
    int64_t at = offset;
    while (at < stop) {
        if (cancelled_) return o;
        int64_t stretchEnd = std::min(stop, at + kCopyStep);
        if (seekable_) {
            const off_t data = ::lseek(fd, static_cast<off_t>(at), SEEK_DATA);
            const int64_t dataAt = data >= 0 ? data : errno == ENXIO ? stop : at;
            if (dataAt > at) {
                const int64_t hole = std::min(dataAt, stop) - at;
                if (::lseek(sink_, static_cast<off_t>(hole), SEEK_CUR) < 0) {
                    o.error = errno;
                    return o;
                }
                o.holes = true;
                at += hole;
                continue;
            }
            const off_t hole = ::lseek(fd, static_cast<off_t>(at), SEEK_HOLE);
            if (hole > at) stretchEnd = std::min<int64_t>(hole, stretchEnd);
        }
        while (at < stretchEnd) {
            loff_t in = at;
            const ssize_t n =
                copy_file_range(fd, &in, sink_, nullptr, static_cast<size_t>(stretchEnd - at), 0);
            if (n > 0) {
                at += n;
                if (startWriteback_) startWriteback();
                continue;
            }
            if (n == 0) { // the file ended sooner than it did a moment ago
                o.cutShort = true;
                return o;
            }
            if (errno == EINTR) continue;
            if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP &&
                errno != EBADF) {
                o.error = errno;
                return o;
            }
            // The kernel cannot copy between these two (a FIFO, another filesystem on an old
            // kernel): through the buffer.
            const int64_t stopped = readThrough(fd, at, stretchEnd);
            if (stopped < 0) {
                o.error = static_cast<int>(-stopped);
                return o;
            }
            if (stopped < stretchEnd) {
                o.cutShort = true;
                return o;
            }
            at = stopped;
        }
    }
    return o;
}

int64_t WriteBehind::readThrough(int fd, int64_t at, int64_t end) {
    // The buffer may be smaller, sized last for a few stretches.
    if (scratch_.size() < kScratchSize) scratch_.resize(kScratchSize);
    while (at < end) {
        const ssize_t n = ::pread(
            fd, scratch_.data(),
            static_cast<size_t>(std::min<int64_t>(end - at, static_cast<int64_t>(scratch_.size()))),
            static_cast<off_t>(at));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        if (const int error =
                writeFully(sink_, scratch_.data(), static_cast<size_t>(n), !seekable_))
            return -error;
        at += n;
    }
    return at;
}

} // namespace tavrix
