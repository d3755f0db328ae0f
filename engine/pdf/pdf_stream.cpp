#include "engine/pdf/pdf_stream.hpp"

#include <algorithm>

#include "engine/pdf/pdf_exception.hpp"

namespace tavrix {

int PdfStream::getRawChar() {
    throw CPdfException("Internal: called getRawChar() on non-predictor stream");
}

size_t PdfStream::read(unsigned char* dst, size_t n) {
    size_t got = 0;
    for (; got < n; ++got) {
        const int c = nextChar();
        if (c < 0) break;
        dst[got] = static_cast<unsigned char>(c);
    }
    return got;
}

FileStream::FileStream(std::shared_ptr<const void> owner, const unsigned char* base, size_t size,
                       int64_t start, int64_t length, const PdfObject& dict)
    : owner_(std::move(owner)), base_(base), size_(static_cast<int64_t>(size)), start_(start),
      length_(length), dict_(dict) {
    limit_ = computeLimit();
    rewind();
}

std::shared_ptr<PdfDict> FileStream::streamDict() const {
    return dict_.isDict() ? dict_.getDict() : nullptr;
}

int64_t FileStream::computeLimit() const {
    if (length_ <= 0) return size_;
    // A window past the end of the buffer simply ends with the buffer.
    if (start_ > size_ - length_) return size_;
    return start_ + length_;
}

void FileStream::seek(int64_t offset, int origin) {
    int64_t target = origin == 2 ? size_ + offset : offset;
    pos_ = std::clamp<int64_t>(target, 0, size_);
}

void FileStream::shiftStart(int64_t delta) {
    start_ += delta;
    limit_ = computeLimit();
    pos_ = std::clamp<int64_t>(start_, 0, size_);
}

std::shared_ptr<PdfStream> FileStream::subStream(int64_t start, int64_t length,
                                                 const PdfObject& dict) {
    return std::make_shared<FileStream>(owner_, base_, static_cast<size_t>(size_), start, length,
                                        dict);
}

const unsigned char* FileStream::windowData() const {
    return base_ + std::clamp<int64_t>(start_, 0, size_);
}

size_t FileStream::windowSize() const {
    const int64_t from = std::clamp<int64_t>(start_, 0, size_);
    const int64_t to = length_ <= 0 ? from : std::max(from, limit_);
    return static_cast<size_t>(to - from);
}

} // namespace tavrix
