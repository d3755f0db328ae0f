#include "engine/pdf/input_file.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "engine/pdf/pdf_exception.hpp"

namespace tavrix {
namespace {

bool readWhole(int fd, std::vector<unsigned char>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n =
            ::pread(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

[[noreturn]] void cannotOpen(const std::string& path, const std::string& why) {
    throw CPdfException("Can't open file", "cannot open '" + path + "': " + why);
}

} // namespace

std::shared_ptr<InputFile> InputFile::open(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) cannotOpen(path, std::strerror(errno));
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        cannotOpen(path, S_ISDIR(st.st_mode) ? "it is a folder, not a PDF file"
                                             : "it is not a regular file");
    }
    std::shared_ptr<InputFile> file(new InputFile());
    file->fd_ = fd; // closed by the destructor from here on
    file->size_ = static_cast<size_t>(st.st_size);
    file->modified_ = st.st_mtim;
    if (file->size_ == 0) return file;
    void* p = mmap(nullptr, file->size_, PROT_READ, MAP_PRIVATE, fd, 0);
    if (p == MAP_FAILED) cannotOpen(path, std::strerror(errno));
    file->data_ = static_cast<const unsigned char*>(p);
    file->mapped_ = true;
    file->guard_.emplace(p, file->size_);
    if (!file->guard_->active()) {
        // An unguarded mapping could kill the process: read the file instead.
        file->guard_.reset();
        munmap(p, file->size_);
        file->mapped_ = false;
        file->data_ = nullptr;
        file->copy_.resize(file->size_);
        if (!readWhole(fd, file->copy_)) cannotOpen(path, std::strerror(errno));
        file->data_ = file->copy_.data();
        return file;
    }
    madvise(p, file->size_, MADV_SEQUENTIAL);
    return file;
}

InputFile::~InputFile() {
    // The guard goes before the mapping: a freed range must not be taken for ours.
    guard_.reset();
    if (mapped_) munmap(const_cast<unsigned char*>(data_), size_);
    if (fd_ >= 0) ::close(fd_);
}

void InputFile::dropResidentPages() const {
    if (mapped_ && size_ > kResidentBudget)
        madvise(const_cast<unsigned char*>(data_), size_, MADV_DONTNEED);
}

bool InputFile::changed() const {
    if (guard_ && guard_->faulted()) return true;
    struct stat st {};
    if (fstat(fd_, &st) != 0) return true;
    return static_cast<size_t>(st.st_size) != size_ || st.st_mtim.tv_sec != modified_.tv_sec ||
           st.st_mtim.tv_nsec != modified_.tv_nsec;
}

} // namespace tavrix
