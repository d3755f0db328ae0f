#include "desktop/model/stdout_tap.hpp"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace folvane {
namespace {

constexpr std::string_view kFileStart = "Input file: '";

void writeAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return; // the original output is gone: the copy is dropped
        data += n;
        size -= static_cast<size_t>(n);
    }
}

} // namespace

StdoutTap::StdoutTap(std::function<void(std::string_view)> sink, bool forward) {
    std::fflush(stdout);
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0) return;
    saved_ = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (saved_ < 0 || ::dup2(ends[1], STDOUT_FILENO) < 0) {
        if (saved_ >= 0) ::close(saved_);
        saved_ = -1;
        ::close(ends[0]);
        ::close(ends[1]);
        return;
    }
    ::close(ends[1]); // standard output now holds the only write end
    const int original = forward ? saved_ : -1;
    reader_ = std::thread([readEnd = ends[0], original, sink = std::move(sink)] {
        char buffer[4096];
        for (;;) {
            const ssize_t n = ::read(readEnd, buffer, sizeof buffer);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            if (original >= 0) writeAll(original, buffer, static_cast<size_t>(n));
            if (sink) sink(std::string_view(buffer, static_cast<size_t>(n)));
        }
        ::close(readEnd);
    });
}

StdoutTap::~StdoutTap() {
    if (saved_ < 0) return;
    std::fflush(stdout);
    ::dup2(saved_, STDOUT_FILENO); // closes the pipe's last write end: the reader sees its end
    reader_.join();
    ::close(saved_);
}

int FileStartCounter::add(std::string_view chunk) {
    for (const char c : chunk) {
        if (c == kFileStart[matched_]) {
            if (++matched_ == kFileStart.size()) {
                ++count_;
                matched_ = 0;
            }
        } else {
            matched_ = c == kFileStart[0] ? 1 : 0;
        }
    }
    return count_;
}

} // namespace folvane
