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
    file->size_ = static_cast<size_t>(st.st_size);
    if (file->size_ > 0) {
        void* p = mmap(nullptr, file->size_, PROT_READ, MAP_PRIVATE, fd, 0);
        if (p == MAP_FAILED) {
            const int error = errno;
            ::close(fd);
            cannotOpen(path, std::strerror(error));
        }
        file->data_ = static_cast<const unsigned char*>(p);
        file->mapped_ = true;
        madvise(p, file->size_, MADV_SEQUENTIAL);
    }
    file->fd_ = fd;
    return file;
}

InputFile::~InputFile() {
    if (mapped_) munmap(const_cast<unsigned char*>(data_), size_);
    if (fd_ >= 0) ::close(fd_);
}

void InputFile::dropResidentPages() const {
    if (mapped_) madvise(const_cast<unsigned char*>(data_), size_, MADV_DONTNEED);
}

} // namespace tavrix
