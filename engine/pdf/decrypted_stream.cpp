#include "engine/pdf/decrypted_stream.hpp"

#include "engine/pdf/flate_stream.hpp"

namespace tavrix {

DecryptedStream::DecryptedStream(std::shared_ptr<FileStream> raw, const SecurityHandler& handler,
                                 CryptMethod method, ObjectKey key, const ReaderLimits& limits,
                                 Diagnostics* diagnostics)
    : raw_(std::move(raw)), handler_(handler), method_(method), key_(key), limits_(limits),
      diagnostics_(diagnostics) {}

PdfStream& DecryptedStream::decoded() {
    if (decoded_) return *decoded_;
    auto plain = std::make_shared<std::string>(handler_.decrypt(
        method_, key_,
        std::string_view(reinterpret_cast<const char*>(raw_->windowData()), raw_->windowSize())));
    const auto* base = reinterpret_cast<const unsigned char*>(plain->data());
    const size_t size = plain->size();
    PdfObject dict = PdfObject::makeNull();
    if (const std::shared_ptr<PdfDict> d = raw_->streamDict()) dict = PdfObject::makeDict(d);
    auto window = std::make_shared<FileStream>(std::move(plain), base, size, 0,
                                               static_cast<int64_t>(size), dict);
    decoded_ = dict.isDict() ? applyFilters(window, *dict.getDict(), limits_, diagnostics_)
                             : std::shared_ptr<PdfStream>(window);
    // A filter this reader lacks leaves no data to read, as an unusable stream has none.
    if (!decoded_)
        decoded_ = std::make_shared<FileStream>(nullptr, nullptr, 0, 0, 0, PdfObject::makeNull());
    return *decoded_;
}

} // namespace tavrix
