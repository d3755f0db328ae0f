#include "engine/pdf/flate_stream.hpp"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include <libdeflate.h>

namespace tavrix {
namespace {

// One inflate call never produces more than this; a call that fails loses only its own output.
constexpr size_t kInflateStep = 1024;
constexpr size_t kOutBuffer = 64 * 1024;

// TIFF horizontal differencing: each sample plus the decoded sample one pixel to its left,
// modulo 2 to the power of the sample's bits.
void undoTiff(const PredictorState& p, std::vector<unsigned char>& row) {
    const size_t pb = p.pixelBytes;
    if (p.bits == 8) {
        for (size_t i = pb + p.colors; i < p.rowBytes; ++i)
            row[i] = static_cast<unsigned char>(row[i] + row[i - p.colors]);
        return;
    }
    if (p.bits == 16) {
        const size_t step = 2 * static_cast<size_t>(p.colors);
        for (size_t i = pb + step; i + 1 < p.rowBytes; i += 2) {
            const unsigned cur = row[i] << 8 | row[i + 1];
            const unsigned left = row[i - step] << 8 | row[i - step + 1];
            const unsigned sum = (cur + left) & 0xFFFF;
            row[i] = static_cast<unsigned char>(sum >> 8);
            row[i + 1] = static_cast<unsigned char>(sum);
        }
        return;
    }
    // 1, 2 and 4 bits per sample, packed from the high bit down.
    const size_t samples = (p.rowBytes - pb) * 8 / p.bits;
    const unsigned mask = (1u << p.bits) - 1;
    auto get = [&](size_t k) {
        const size_t bit = k * p.bits;
        const unsigned shift = 8 - p.bits - bit % 8;
        return (row[pb + bit / 8] >> shift) & mask;
    };
    auto put = [&](size_t k, unsigned v) {
        const size_t bit = k * p.bits;
        const unsigned shift = 8 - p.bits - bit % 8;
        unsigned char& b = row[pb + bit / 8];
        b = static_cast<unsigned char>((b & ~(mask << shift)) | ((v & mask) << shift));
    };
    for (size_t k = p.colors; k < samples; ++k)
        put(k, get(k) + get(k - p.colors));
}

} // namespace

PredictorState::PredictorState(int predictor_, int columns, int colors_, int bits_)
    : predictor(predictor_), colors(colors_), bits(bits_) {
    pixelBytes = (static_cast<size_t>(colors) * bits + 7) / 8;
    rowBytes = (static_cast<size_t>(columns) * colors * bits + 7) / 8 + pixelBytes;
    row.assign(rowBytes, 0);
    next.assign(rowBytes, 0);
    readIndex = rowBytes;
}

FlateStream::FlateStream(std::shared_ptr<FileStream> source, int predictor, int columns, int colors,
                         int bits)
    : source_(std::move(source)) {
    // The compressed window is taken whole, straight from the mapped input.
    zs_.next_in = const_cast<Bytef*>(source_->windowData());
    zs_.avail_in = static_cast<uInt>(source_->windowSize());
    if (source_->windowSize() > 0xFFFFFFFFu) zs_.avail_in = 0xFFFFFFFFu;
    if (predictor != 1)
        predictor_ = std::make_unique<PredictorState>(predictor, columns, colors, bits);
}

FlateStream::~FlateStream() {
    if (zlibReady_) inflateEnd(&zs_);
}

// What a thread keeps of its whole-buffer decoding space between streams.
constexpr size_t kKeptScratch = size_t{4} << 20;

bool FlateStream::decodeWhole(std::string& out, size_t limit) {
    if (predictor_ || started_) return false;
    // One decompressor per thread, reused: it holds only tables, no state between calls.
    thread_local const std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)>
        decompressor(libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
    if (!decompressor) return false;
    const unsigned char* in = source_->windowData();
    const size_t inSize = source_->windowSize();
    // Decoded into a buffer kept for the thread, then copied out at its exact size: a string
    // made at the guessed size would be filled with zeros first and copied again to shrink.
    thread_local std::vector<char> scratch;
    const auto release = [] {
        // A buffer grown for one large stream is not kept beyond a few megabytes.
        if (scratch.capacity() > kKeptScratch) std::vector<char>().swap(scratch);
    };
    // Object streams shrink to a fifth or so; the buffer doubles until the data fits.
    size_t capacity = std::min(limit, std::max<size_t>(inSize * 8, 4096));
    for (;;) {
        if (scratch.size() < capacity) scratch.resize(capacity);
        size_t produced = 0;
        const libdeflate_result r = libdeflate_zlib_decompress(decompressor.get(), in, inSize,
                                                               scratch.data(), capacity, &produced);
        if (r == LIBDEFLATE_SUCCESS) {
            out.assign(scratch.data(), produced);
            release();
            started_ = ended_ = true;
            return true;
        }
        if (r != LIBDEFLATE_INSUFFICIENT_SPACE || capacity >= limit) break;
        capacity = capacity > limit / 2 ? limit : capacity * 2;
    }
    release();
    out.clear();
    out.shrink_to_fit();
    return false;
}

bool FlateStream::refill() {
    if (!started_) {
        started_ = true;
        zlibReady_ = inflateInit(&zs_) == Z_OK;
    }
    outPos_ = outEnd_ = 0;
    if (ended_ || !zlibReady_) return false;
    if (out_.empty()) out_.resize(kOutBuffer);
    while (outEnd_ + kInflateStep <= out_.size()) {
        if (zs_.avail_in == 0) {
            ended_ = true;
            break;
        }
        zs_.next_out = out_.data() + outEnd_;
        zs_.avail_out = kInflateStep;
        const int rc = inflate(&zs_, Z_NO_FLUSH);
        const size_t produced = kInflateStep - zs_.avail_out;
        if (rc == Z_OK || rc == Z_STREAM_END || rc == Z_BUF_ERROR) {
            outEnd_ += produced;
            if (rc == Z_STREAM_END || produced == 0) {
                ended_ = true;
                break;
            }
        } else {
            // Corrupt data ends the stream; what this call produced is dropped.
            ended_ = true;
            if (diagnostics_)
                diagnostics_->add(-1, source_->startOffset(),
                                  "compressed stream data is damaged; it is read up to the "
                                  "damage");
            break;
        }
    }
    return outEnd_ > 0;
}

int FlateStream::getRawChar() {
    if (outPos_ >= outEnd_ && !refill()) return -1;
    return out_[outPos_++];
}

bool FlateStream::decodeRow() {
    PredictorState& p = *predictor_;
    int method = p.predictor;
    if (p.predictor >= 10) {
        const int tag = getRawChar();
        if (tag < 0) return false;
        method = tag + 10;
    }
    const size_t pb = p.pixelBytes;
    // `row` holds the previous row; the new one is built in `next` and then takes its place.
    std::vector<unsigned char>& prev = p.row;
    std::vector<unsigned char>& cur = p.next;
    for (size_t i = pb; i < p.rowBytes; ++i) {
        const int c = getRawChar();
        if (c < 0) return false; // a partly read row is dropped
        const unsigned left = cur[i - pb];
        const unsigned up = prev[i];
        const unsigned upLeft = prev[i - pb];
        unsigned value;
        switch (method) {
        case 11:
            value = left + c;
            break;
        case 12:
            value = up + c;
            break;
        case 13:
            value = ((left + up) >> 1) + c;
            break;
        case 14: {
            const int pv = static_cast<int>(left + up) - static_cast<int>(upLeft);
            const int pa = std::abs(pv - static_cast<int>(left));
            const int pbv = std::abs(pv - static_cast<int>(up));
            const int pc = std::abs(pv - static_cast<int>(upLeft));
            const unsigned pred = (pa <= pbv && pa <= pc) ? left : (pbv <= pc ? up : upLeft);
            value = pred + c;
            break;
        }
        default:
            value = static_cast<unsigned>(c);
            break;
        }
        cur[i] = static_cast<unsigned char>(value);
    }
    if (p.predictor == 2) undoTiff(p, cur);
    prev.swap(cur);
    p.readIndex = pb;
    return true;
}

int FlateStream::nextChar() {
    if (!predictor_) return getRawChar();
    PredictorState& p = *predictor_;
    if (p.readIndex >= p.rowBytes) {
        if (!decodeRow()) return -1;
    }
    return p.row[p.readIndex++];
}

int FlateStream::peekChar() {
    if (!predictor_) {
        if (outPos_ >= outEnd_ && !refill()) return -1;
        return out_[outPos_];
    }
    PredictorState& p = *predictor_;
    if (p.readIndex >= p.rowBytes) {
        if (!decodeRow()) return -1;
    }
    return p.row[p.readIndex];
}

size_t FlateStream::read(unsigned char* dst, size_t n) {
    size_t got = 0;
    if (predictor_) {
        // A decoded row at a time, not a byte: cross-reference streams are read this way.
        PredictorState& p = *predictor_;
        while (got < n) {
            if (p.readIndex >= p.rowBytes && !decodeRow()) break;
            const size_t take = std::min(n - got, p.rowBytes - p.readIndex);
            std::copy_n(p.row.data() + p.readIndex, take, dst + got);
            p.readIndex += take;
            got += take;
        }
        return got;
    }
    while (got < n) {
        if (outPos_ >= outEnd_ && !refill()) break;
        const size_t take = std::min(n - got, outEnd_ - outPos_);
        std::copy_n(out_.data() + outPos_, take, dst + got);
        outPos_ += take;
        got += take;
    }
    return got;
}

std::shared_ptr<PdfStream> makeFilter(std::string_view name, std::shared_ptr<FileStream> source,
                                      const PdfObject& params, const ReaderLimits& limits,
                                      Diagnostics* diagnostics) {
    if (name != "FlateDecode" && name != "Fl") return nullptr;
    int predictor = 1, columns = 1, colors = 1, bits = 8;
    if (params.isDict()) {
        const PdfDict& d = *params.getDict();
        PdfObject v = d.lookup("Predictor");
        if (v.isInt()) predictor = v.getInt();
        v = d.lookup("Columns");
        if (v.isInt()) columns = v.getInt();
        v = d.lookup("Colors");
        if (v.isInt()) colors = v.getInt();
        v = d.lookup("BitsPerComponent");
        if (v.isInt()) bits = v.getInt();
    }
    if (predictor != 1) {
        // Rows are sized from these numbers; values no real file uses would only allocate.
        if (columns < 1 || columns > limits.maxPredictorColumns || colors < 1 ||
            colors > limits.maxPredictorColors ||
            (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16))
            return nullptr;
        if (int64_t{columns} * colors * bits > limits.maxPredictorRowBits) return nullptr;
    }
    auto flate = std::make_shared<FlateStream>(std::move(source), predictor, columns, colors, bits);
    flate->setDiagnostics(diagnostics);
    return flate;
}

std::shared_ptr<PdfStream> applyFilters(std::shared_ptr<FileStream> raw, const PdfDict& dict,
                                        const ReaderLimits& limits, Diagnostics* diagnostics) {
    PdfObject filter = dict.lookup("Filter");
    if (filter.isNull()) filter = dict.lookup("F");
    PdfObject params = dict.lookup("DecodeParms");
    if (params.isNull()) params = dict.lookup("DP");
    if (filter.isName())
        return makeFilter(filter.getText(), std::move(raw), params, limits, diagnostics);
    if (filter.isArray()) {
        // Chains of several filters are not supported.
        if (filter.getArray()->size() != 1) return nullptr;
        PdfObject name = filter.getArray()->get(0);
        if (!name.isName()) return nullptr;
        // A one-element parameter array goes with its one filter.
        if (params.isArray() && params.getArray()->size() == 1) params = params.getArray()->get(0);
        return makeFilter(name.getText(), std::move(raw), params, limits, diagnostics);
    }
    if (filter.isNull()) return raw;
    return nullptr;
}

} // namespace tavrix
