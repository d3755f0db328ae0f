// Parses objects from arbitrary bytes until the end of input, reading every stream it makes.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/pdf/pdf_exception.hpp"
#include "engine/pdf/pdf_parser.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto bytes = std::make_shared<std::string>(reinterpret_cast<const char*>(data), size);
    auto input = std::make_shared<tavrix::FileStream>(
        bytes, reinterpret_cast<const unsigned char*>(bytes->data()), bytes->size(), 0, 0,
        tavrix::PdfObject::makeNull());
    try {
        tavrix::PdfParser parser(nullptr, input);
        // Every object but the last consumes at least one byte.
        for (size_t i = 0; i <= size; ++i) {
            const tavrix::PdfObject obj = parser.getObject();
            if (obj.isEof()) break;
            if (obj.isStream())
                while (obj.getStream()->nextChar() >= 0) {
                }
        }
    } catch (const tavrix::CPdfException&) {
    }
    return 0;
}
