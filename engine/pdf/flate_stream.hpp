// Decoding of Flate-compressed streams (the only filter the reader needs), with the PNG and
// TIFF predictors of their DecodeParms.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <zlib.h>

#include "engine/pdf/diagnostics.hpp"
#include "engine/pdf/pdf_stream.hpp"
#include "engine/pdf/reader_limits.hpp"

namespace tavrix {

struct PredictorState {
    PredictorState(int predictor, int columns, int colors, int bits);

    int predictor;
    int colors;
    int bits;
    size_t pixelBytes;
    size_t rowBytes;
    std::vector<unsigned char> row;  // the last decoded row; its first pixelBytes stay 0
    std::vector<unsigned char> next; // the row being decoded
    size_t readIndex;
};

class FlateStream : public PdfStream {
  public:
    FlateStream(std::shared_ptr<FileStream> source, int predictor, int columns, int colors,
                int bits);
    ~FlateStream() override;
    FlateStream(const FlateStream&) = delete;
    FlateStream& operator=(const FlateStream&) = delete;

    void rewind() override {}
    int nextChar() override;
    int getRawChar() override;
    int peekChar() override;
    size_t read(unsigned char* dst, size_t n) override;
    std::shared_ptr<PdfDict> streamDict() const override { return source_->streamDict(); }
    int64_t tell() const override { return source_->tell(); }
    int64_t startOffset() const override { return source_->startOffset(); }
    void shiftStart(int64_t delta) override { source_->shiftStart(delta); }
    int64_t byteLength() const override { return source_->byteLength(); }

    // The whole decoded data in one call, for a stream without a predictor that has not been
    // read: false when it does not decode in one piece within `limit` bytes (damaged data, a
    // wrong checksum, too large), and nothing is consumed; the stream is then read as usual,
    // which keeps what precedes damage.
    bool decodeWhole(std::string& out, size_t limit);

    // Where damaged data is noted; the list belongs to the document, which outlives the
    // reading of its streams.
    void setDiagnostics(Diagnostics* diagnostics) { diagnostics_ = diagnostics; }

  private:
    bool refill();
    bool decodeRow();

    std::shared_ptr<FileStream> source_;
    z_stream zs_{};
    bool started_ = false; // zlib is set up on the first read: many streams are never read
    bool zlibReady_ = false;
    bool ended_ = false;
    std::vector<unsigned char> out_;
    size_t outPos_ = 0;
    size_t outEnd_ = 0;
    std::unique_ptr<PredictorState> predictor_;
    Diagnostics* diagnostics_ = nullptr;
};

// The decoded form of a raw stream window, or null when its filter is not supported or its
// parameters pass `limits`. Damaged compressed data is noted in `diagnostics` (may be null).
std::shared_ptr<PdfStream> applyFilters(std::shared_ptr<FileStream> raw, const PdfDict& dict,
                                        const ReaderLimits& limits = {},
                                        Diagnostics* diagnostics = nullptr);
std::shared_ptr<PdfStream> makeFilter(std::string_view name, std::shared_ptr<FileStream> source,
                                      const PdfObject& params, const ReaderLimits& limits = {},
                                      Diagnostics* diagnostics = nullptr);

} // namespace tavrix
