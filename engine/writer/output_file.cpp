#include "engine/writer/output_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <system_error>

#include "engine/pdf/data_file.hpp"
#include "engine/pdf/input_file.hpp"
#include "engine/pdf/pdf_exception.hpp"
#include "engine/writer/write_behind.hpp"

namespace tavrix {
namespace {

// Large enough that writes cost little next to the bytes; small, as it counts in every run's
// memory.
constexpr size_t kBufferSize = size_t{256} << 10;
// Pieces this large are copied by the kernel, never passing through the process.
constexpr size_t kKernelCopyBytes = size_t{64} << 10;
// Smaller pieces of the input are read by the writing thread, once it runs: this much of them at
// a time.
constexpr size_t kStretchBatch = size_t{1} << 20;
constexpr int kMaxLinks = 40; // as the kernel follows them
constexpr decltype(statfs::f_type) kExt4Magic = 0xEF53;

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// The file `path` leads to, symlinks followed; a dangling link gives the path it points to.
std::string followLinks(std::string path) {
    for (int hops = 0; hops < kMaxLinks; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        std::string link(static_cast<size_t>(std::max<off_t>(st.st_size, 255)) + 1, '\0');
        ssize_t n;
        while ((n = ::readlink(path.c_str(), link.data(), link.size())) ==
               static_cast<ssize_t>(link.size()))
            link.resize(link.size() * 2);
        if (n <= 0) return path;
        link.resize(static_cast<size_t>(n));
        path = link.front() == '/' ? link : folderOf(path) + "/" + link;
    }
    return path;
}

// Gives the new file `to` what the old file `from` carries beyond its bytes; false when any of
// it cannot be kept (another user's file, an attribute the policy will not copy).
bool takeAttributes(int to, int from, const struct stat& old) {
    // Owner first: a change of owner clears the set-user-ID and set-group-ID bits.
    if (fchown(to, old.st_uid, old.st_gid) != 0) return false;
    if (fchmod(to, old.st_mode & 07777) != 0) return false;
    ssize_t size = flistxattr(from, nullptr, 0);
    if (size < 0) return errno == ENOTSUP;
    std::vector<char> names(static_cast<size_t>(size));
    size = flistxattr(from, names.data(), names.size());
    if (size < 0) return false;
    names.resize(static_cast<size_t>(size));
    std::vector<char> value;
    for (size_t at = 0; at < names.size(); at += std::strlen(names.data() + at) + 1) {
        const char* name = names.data() + at;
        const ssize_t length = fgetxattr(from, name, nullptr, 0);
        if (length < 0) return false;
        value.resize(static_cast<size_t>(length));
        if (fgetxattr(from, name, value.data(), value.size()) != length) return false;
        if (fsetxattr(to, name, value.data(), value.size(), 0) != 0) return false;
    }
    return true;
}

std::string stagingFolder(const OutputOptions& options) {
    if (!options.stagingFolder.empty()) return options.stagingFolder;
    const char* tmp = std::getenv("TMPDIR");
    return tmp && *tmp ? tmp : "/tmp";
}

} // namespace

OutputFile::OutputFile(std::string path, OutputOptions options)
    : path_(std::move(path)), options_(std::move(options)) {
    try {
        open();
    } catch (...) {
        discard();
        throw;
    }
}

// How often open() starts over when the file it opened moves away before it looks at it: each
// time means another writer moved it in that instant, which cannot go on for long.
constexpr int kMaxReopen = 16;

void OutputFile::open() {
    constexpr const char* kCannotCreate = "Can't create output file";
    if (path_.empty()) throw CPdfException(kCannotCreate, "no output file was given");
    if (holdsNul(path_)) {
        throw CPdfException(kCannotCreate, "the output path holds a NUL character after '" +
                                               std::string(path_.c_str()) +
                                               "'; a file name cannot hold one");
    }
    // The test "wb" would make, short of truncating: whether the file can be written at all.
    targetFd_ = ::open(path_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    int error = 0;
    if (targetFd_ < 0) {
        if (errno != ENOENT) fail(kCannotCreate, errno);
        route_ = Route::Create;
        target_ = followLinks(path_);
        temp_ = TempFile::create(folderOf(target_), 0666, options_.unnamedTemp, error);
        if (!temp_) fail(kCannotCreate, error);
        sink_ = temp_->fd();
        return;
    }
    struct stat st {};
    if (fstat(targetFd_, &st) != 0) fail(kCannotCreate, errno);
    if (!S_ISREG(st.st_mode)) {
        route_ = Route::Direct;
        sink_ = targetFd_;
        return;
    }
    target_ = followLinks(path_);
    struct stat named {};
    // Only a name known to lead to this very file may be replaced (not so for a file reached
    // through /proc/self/fd, say, or one moved meanwhile).
    if (::stat(target_.c_str(), &named) == 0 && named.st_dev == st.st_dev &&
        named.st_ino == st.st_ino) {
        targetNamed_ = true;
        temp_ = TempFile::create(folderOf(target_), 0600, options_.unnamedTemp, error);
        if (temp_ && st.st_nlink == 1 && takeAttributes(temp_->fd(), targetFd_, st)) {
            route_ = Route::Replace;
            sink_ = temp_->fd();
            return;
        }
    } else {
        // A path that no longer leads to the file just opened had it moved away meanwhile by
        // another writer (an earlier file of a list, renamed to its final name): writing into
        // it would overwrite that file where it now stands. The path is opened again instead.
        // (A path through /dev/fd still leads to its file, named or not.)
        struct stat byPath {};
        if ((::stat(path_.c_str(), &byPath) != 0 || byPath.st_dev != st.st_dev ||
             byPath.st_ino != st.st_ino) &&
            reopened_ < kMaxReopen) {
            ++reopened_;
            ::close(targetFd_);
            targetFd_ = -1;
            open();
            return;
        }
    }
    // Writing into the file keeps its links, owner and attributes. The result waits beside it
    // when its folder allows, else in the staging folder.
    route_ = Route::Overwrite;
    if (!temp_) {
        stagedIn_ = stagingFolder(options_);
        temp_ = TempFile::create(stagedIn_, 0600, options_.unnamedTemp, error);
        if (!temp_) fail(kCannotCreate, error, "; set TMPDIR to a folder you can write");
    }
    sink_ = temp_->fd();
}

OutputFile::~OutputFile() {
    discard();
}

void OutputFile::fail(const char* message, int error, const char* advice) const {
    const std::string cause = std::generic_category().message(error);
    if (!stagedIn_.empty()) {
        throw CPdfException(message, "cannot write the temporary copy of '" + path_ + "' in '" +
                                         stagedIn_ + "': " + cause + advice);
    }
    throw CPdfException(message, "cannot write '" + path_ + "': " + cause + advice);
}

void OutputFile::discard() {
    behind_.reset(); // before the file it writes goes
    temp_.reset();
    if (targetFd_ >= 0) ::close(targetFd_);
    targetFd_ = sink_ = -1;
    used_ = 0;
}

void OutputFile::writeOut(const char* data, size_t size) {
    if (const int error = writeFully(sink_, data, size, route_ == Route::Direct))
        fail("Can't write output file", error);
}

WriteBehind& OutputFile::behind() {
    if (!behind_) {
        // ext4 writes a file's bytes out before it lets the file be renamed over another, and
        // the rename waits for it (tens of milliseconds for 100 MB): on the way, they can go as
        // they are written.
        struct statfs fs {};
        const bool flushedAtRename =
            route_ == Route::Replace && fstatfs(sink_, &fs) == 0 && fs.f_type == kExt4Magic;
        behind_ = std::make_unique<WriteBehind>(sink_, route_ != Route::Direct, flushedAtRename);
    }
    return *behind_;
}

void OutputFile::flush() {
    if (used_ == 0 && stretches_.empty()) return;
    const bool queued = behind().write(buffer_, used_, stretches_);
    used_ = 0;
    stretchBytes_ = 0;
    if (buffer_.size() < kBufferSize) buffer_.resize(kBufferSize);
    if (!queued) settle(); // throws what stopped the writing
}

void OutputFile::settle() {
    if (behind_) {
        // After a failure this is never written.
        if (used_ > 0 || !stretches_.empty()) behind_->write(buffer_, used_, stretches_);
        used_ = 0;
        stretchBytes_ = 0;
        const WriteBehind::Outcome done = behind_->finish();
        holes_ = holes_ || done.holes;
        if (done.error != 0) fail("Can't write output file", done.error);
        if (done.cutShort) throw CPdfException("Input file changed", kInputChangedReason);
        return;
    }
    if (used_ > 0) writeOut(buffer_.data(), used_);
    used_ = 0;
}

void OutputFile::write(std::string_view bytes) {
    if (sink_ < 0) throw CPdfException("Can't write output file");
    if (buffer_.empty()) buffer_.resize(kBufferSize);
    position_ += static_cast<int64_t>(bytes.size());
    if (used_ + bytes.size() <= buffer_.size()) {
        std::memcpy(buffer_.data() + used_, bytes.data(), bytes.size());
        used_ += bytes.size();
        return;
    }
    flush();
    if (bytes.size() < buffer_.size()) {
        std::memcpy(buffer_.data(), bytes.data(), bytes.size());
        used_ = bytes.size();
        return;
    }
    // Large pieces go straight to the file, after what waits to be written.
    settle();
    writeOut(bytes.data(), bytes.size());
}

void OutputFile::copyFrom(int fd, int64_t offset, int64_t length) {
    if (sink_ < 0) throw CPdfException("Can't write output file");
    if (length <= 0) return;
    flush();
    if (!behind().copy(fd, offset, length)) settle();
    position_ += length;
}

void OutputFile::writeFromFile(int fd, int64_t offset, std::string_view mapped) {
    if (sink_ < 0) throw CPdfException("Can't write output file");
    if (mapped.size() >= kKernelCopyBytes) {
        copyFrom(fd, offset, static_cast<int64_t>(mapped.size()));
        return;
    }
    if (behind_) {
        stretches_.push_back({used_, fd, offset, mapped.size()});
        position_ += static_cast<int64_t>(mapped.size());
        stretchBytes_ += mapped.size();
        if (stretchBytes_ >= kStretchBatch) flush();
        return;
    }
    if (buffer_.empty()) buffer_.resize(kBufferSize);
    size_t done = 0;
    while (done < mapped.size()) {
        if (used_ == buffer_.size()) flush();
        const size_t want = std::min(buffer_.size() - used_, mapped.size() - done);
        const ssize_t n = ::pread(fd, buffer_.data() + used_, want,
                                  static_cast<off_t>(offset + static_cast<int64_t>(done)));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        used_ += static_cast<size_t>(n);
        done += static_cast<size_t>(n);
        position_ += n;
    }
    if (done < mapped.size()) write(mapped.substr(done));
}

void OutputFile::stage(bool durable) {
    if (sink_ < 0) throw CPdfException("Can't write output file");
    settle();
    behind_.reset();
    // A hole at the very end has no byte after it to give the file its length.
    if (holes_ && route_ != Route::Direct && ftruncate(sink_, static_cast<off_t>(position_)) != 0)
        fail("Can't write output file", errno);
    // A staged output may wait for its turn to be committed (a parallel file list keeps a
    // stretch of them): its buffer need not wait with it.
    std::vector<char>().swap(buffer_);
    if (durable && route_ != Route::Direct && fsync(sink_) != 0)
        fail("Can't write output file", errno);
}

void OutputFile::decideAgainIfMoved() {
    // A file reached by no name of its own is written where it was opened: there is no name to
    // look at again (the one its descriptor shows may be a stranger's).
    if (route_ == Route::Direct || (targetFd_ >= 0 && !targetNamed_)) return;
    struct stat now {};
    const bool exists = ::stat(target_.c_str(), &now) == 0;
    if (targetFd_ >= 0) {
        struct stat was {};
        if (exists && fstat(targetFd_, &was) == 0 && was.st_dev == now.st_dev &&
            was.st_ino == now.st_ino)
            return;
        ::close(targetFd_);
        targetFd_ = -1;
    } else if (!exists) {
        return;
    }
    constexpr const char* kCannotWrite = "Can't write output file";
    if (!exists) {
        // Nothing stands there any more: a new file, with the mode a new file gets.
        if (stagedIn_.empty()) {
            route_ = Route::Create;
            fchmod(temp_->fd(), 0666 & ~currentUmask());
            return;
        }
        targetFd_ = ::open(target_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (targetFd_ < 0) fail(kCannotWrite, errno);
        route_ = Route::Overwrite;
        return;
    }
    targetFd_ = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (targetFd_ < 0) fail(kCannotWrite, errno);
    if (fstat(targetFd_, &now) != 0) fail(kCannotWrite, errno);
    if (!S_ISREG(now.st_mode)) fail(kCannotWrite, EEXIST);
    route_ = stagedIn_.empty() && now.st_nlink == 1 && takeAttributes(temp_->fd(), targetFd_, now)
                 ? Route::Replace
                 : Route::Overwrite;
}

void OutputFile::commit() {
    stage();
    decideAgainIfMoved();
    constexpr const char* kCannotWrite = "Can't write output file";
    int error = 0;
    switch (route_) {
    case Route::Direct:
        if (::close(targetFd_) != 0) error = errno;
        targetFd_ = sink_ = -1;
        if (error != 0) fail(kCannotWrite, error);
        return;
    case Route::Create:
        error = temp_->linkNew(target_);
        // Something appeared there during the run: replace it, as "wb" would have.
        if (error == EEXIST) error = temp_->replace(target_);
        if (error != 0) fail(kCannotWrite, error);
        break;
    case Route::Replace:
        error = temp_->replace(target_);
        // A folder that lets files be made but not replaced (sticky, another user's file).
        if (error == EPERM || error == EACCES)
            overwriteInPlace();
        else if (error != 0)
            fail(kCannotWrite, error);
        break;
    case Route::Overwrite:
        overwriteInPlace();
        break;
    }
    temp_.reset();
    if (targetFd_ >= 0) ::close(targetFd_);
    targetFd_ = sink_ = -1;
}

void OutputFile::overwriteInPlace() {
    constexpr const char* kAdvice = "; the file may now be incomplete: run again";
    stagedIn_.clear(); // what fails from here on is the file itself
    const int from = temp_->fd();
    const off_t size = static_cast<off_t>(position_);
    off_t done = 0;
    while (done < size) {
        loff_t in = done, out = done;
        const ssize_t n =
            copy_file_range(from, &in, targetFd_, &out, static_cast<size_t>(size - done), 0);
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP &&
            errno != EBADF)
            fail("Can't write output file", errno, kAdvice);
        // The kernel cannot copy between these two files: copy through the buffer.
        if (buffer_.empty()) buffer_.resize(kBufferSize);
        while (done < size) {
            const ssize_t got =
                ::pread(from, buffer_.data(),
                        static_cast<size_t>(std::min<off_t>(size - done, kBufferSize)), done);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) fail("Can't write output file", got < 0 ? errno : EIO, kAdvice);
            for (ssize_t put = 0; put < got;) {
                const ssize_t w = ::pwrite(targetFd_, buffer_.data() + put,
                                           static_cast<size_t>(got - put), done + put);
                if (w < 0 && errno == EINTR) continue;
                if (w < 0) fail("Can't write output file", errno, kAdvice);
                put += w;
            }
            done += got;
        }
    }
    if (ftruncate(targetFd_, size) != 0) fail("Can't write output file", errno, kAdvice);
    const int closed = ::close(targetFd_);
    targetFd_ = -1;
    if (closed != 0) fail("Can't write output file", errno, kAdvice);
}

} // namespace tavrix
