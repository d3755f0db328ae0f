#include "engine/writer/output_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "engine/pdf/pdf_exception.hpp"

namespace tavrix {
namespace {

constexpr size_t kBufferSize = size_t{1} << 20;

// The process umask, read without changing it (umask() would race with other threads).
mode_t currentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
    }
    return 022;
}

} // namespace

OutputFile::OutputFile(std::string finalPath) : finalPath_(std::move(finalPath)) {
    if (finalPath_.empty()) throw CPdfException("Can't create output file");
    const size_t slash = finalPath_.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : finalPath_.substr(0, slash + 1);
    std::string pattern = folder + ".tavrix-XXXXXX";
    fd_ = mkostemp(pattern.data(), O_CLOEXEC);
    if (fd_ < 0) throw CPdfException("Can't create output file");
    tempPath_ = pattern;
    // The finished file gets the permissions a newly created file would have.
    fchmod(fd_, 0666 & ~currentUmask());
    buffer_.resize(kBufferSize);
}

OutputFile::~OutputFile() {
    discard();
}

void OutputFile::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
}

void OutputFile::flush() {
    size_t done = 0;
    while (done < used_) {
        const ssize_t n = ::write(fd_, buffer_.data() + done, used_ - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw CPdfException("Can't write output file");
        }
        done += static_cast<size_t>(n);
    }
    used_ = 0;
}

void OutputFile::write(std::string_view bytes) {
    if (fd_ < 0) throw CPdfException("Can't write output file");
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
    // Large pieces (image streams) go straight to the file.
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw CPdfException("Can't write output file");
        }
        done += static_cast<size_t>(n);
    }
}

void OutputFile::writeFromFile(int fd, int64_t offset, std::string_view mapped) {
    if (fd_ < 0) throw CPdfException("Can't write output file");
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

void OutputFile::commit() {
    flush();
    if (::close(fd_) != 0) {
        fd_ = -1;
        throw CPdfException("Can't write output file");
    }
    fd_ = -1;
    if (std::rename(tempPath_.c_str(), finalPath_.c_str()) != 0)
        throw CPdfException("Can't create output file");
    tempPath_.clear();
}

} // namespace tavrix
