// Byte sources of the reader: the abstract stream and the window on a byte buffer that serves
// both the input file and decoded object streams.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>

#include "engine/pdf/pdf_object.hpp"

namespace tavrix {

class PdfStream {
  public:
    virtual ~PdfStream() = default;

    // Back to the first byte of the stream's data.
    virtual void rewind() = 0;
    // Next byte 0..255 and advance, or -1 at the end.
    virtual int nextChar() = 0;
    // Next byte before predictor undoing; only decoders with a predictor have one.
    virtual int getRawChar();
    // Next byte without advancing, or -1.
    virtual int peekChar() = 0;
    // Up to `n` next bytes into `dst`; fewer only at the end. Same bytes as nextChar().
    virtual size_t read(unsigned char* dst, size_t n);
    // The stream dictionary, or null.
    virtual std::shared_ptr<PdfDict> streamDict() const { return nullptr; }
    virtual int64_t tell() const { return 0; }
    // origin 0: from the beginning of the underlying buffer, 2: from its end.
    virtual void seek(int64_t /*offset*/, int /*origin*/) {}
    virtual int64_t startOffset() const { return 0; }
    virtual void shiftStart(int64_t /*delta*/) {}
    // Length of the window; 0 means it runs to the end of the buffer.
    virtual int64_t byteLength() const { return 0; }
    // A window on the same bytes, or null for kinds that cannot make one.
    virtual std::shared_ptr<PdfStream> subStream(int64_t /*start*/, int64_t /*length*/,
                                                 const PdfObject& /*dict*/) {
        return nullptr;
    }
};

// A window [start, start + length) on a byte buffer that the stream keeps alive. Positions are
// absolute offsets into the buffer, not relative to the window.
class FileStream final : public PdfStream {
  public:
    FileStream(std::shared_ptr<const void> owner, const unsigned char* base, size_t size,
               int64_t start, int64_t length, const PdfObject& dict);

    void rewind() override { seek(start_, 0); }
    int nextChar() override {
        if (pos_ >= limit_) return -1;
        return base_[pos_++];
    }
    int peekChar() override { return pos_ >= limit_ ? -1 : base_[pos_]; }
    std::shared_ptr<PdfDict> streamDict() const override;
    int64_t tell() const override { return pos_; }
    void seek(int64_t offset, int origin) override;
    int64_t startOffset() const override { return start_; }
    void shiftStart(int64_t delta) override;
    int64_t byteLength() const override { return length_; }
    std::shared_ptr<PdfStream> subStream(int64_t start, int64_t length,
                                         const PdfObject& dict) override;

    // The whole buffer the window lies in, for searches that look past the window.
    std::string_view buffer() const {
        return {reinterpret_cast<const char*>(base_), static_cast<size_t>(size_)};
    }
    // The window's bytes clamped to the buffer, for decoders that take their input whole.
    const unsigned char* windowData() const;
    size_t windowSize() const;

  private:
    int64_t computeLimit() const;

    std::shared_ptr<const void> owner_;
    const unsigned char* base_;
    int64_t size_;
    int64_t start_;
    int64_t length_;
    int64_t pos_ = 0;
    int64_t limit_ = 0; // end of the window within the buffer
    PdfObject dict_;
};

} // namespace tavrix
