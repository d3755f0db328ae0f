// The data of an encrypted stream: decrypted with its object's key, then decoded by its filters.
// Nothing is decrypted until the data is first read, so a stream fetched only to learn its kind
// (a page's content, an image) costs nothing.
#pragma once

#include <memory>
#include <string>

#include "engine/pdf/diagnostics.hpp"
#include "engine/pdf/pdf_stream.hpp"
#include "engine/pdf/reader_limits.hpp"
#include "engine/pdf/security_handler.hpp"

namespace tavrix {

class DecryptedStream final : public PdfStream {
  public:
    // `handler` is kept by the document, which outlives the reading of its streams.
    DecryptedStream(std::shared_ptr<FileStream> raw, const SecurityHandler& handler,
                    CryptMethod method, ObjectKey key, const ReaderLimits& limits,
                    Diagnostics* diagnostics);

    void rewind() override { decoded().rewind(); }
    int nextChar() override { return decoded().nextChar(); }
    int getRawChar() override { return decoded().getRawChar(); }
    int peekChar() override { return decoded().peekChar(); }
    size_t read(unsigned char* dst, size_t n) override { return decoded().read(dst, n); }
    std::shared_ptr<PdfDict> streamDict() const override { return raw_->streamDict(); }
    int64_t tell() const override { return raw_->tell(); }
    int64_t startOffset() const override { return raw_->startOffset(); }
    int64_t byteLength() const override { return raw_->byteLength(); }

  private:
    PdfStream& decoded();

    std::shared_ptr<FileStream> raw_;
    const SecurityHandler& handler_;
    CryptMethod method_;
    ObjectKey key_;
    ReaderLimits limits_;
    Diagnostics* diagnostics_;
    std::shared_ptr<PdfStream> decoded_;
};

} // namespace tavrix
