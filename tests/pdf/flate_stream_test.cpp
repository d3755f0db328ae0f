// Stream decoding: which Filter forms are accepted, Flate with the PNG and TIFF predictors, and
// damaged or absurd input that must end quietly.
#include <gtest/gtest.h>

#include "engine/pdf/flate_stream.hpp"
#include "pdf/reader_fixtures.hpp"
#include "support/pdf_builder.hpp"

using namespace tavrix;
using readertest::parseOne;
using readertest::readAll;

namespace {

// The decoded bytes of a stream object with the given dictionary entries and raw data, or
// "(error)" when the stream is unusable.
std::string decode(const std::string& dictEntries, const std::string& raw) {
    const PdfObject obj = parseOne(testpdf::streamBody(dictEntries, raw));
    if (!obj.isStream()) return "(error)";
    return readAll(*obj.getStream());
}

std::string flate(const std::string& parms, const std::string& data) {
    return decode("/Filter /FlateDecode /DecodeParms << " + parms + " >>", testpdf::deflate(data));
}

std::string bytes(std::initializer_list<int> values) {
    std::string out;
    for (int v : values)
        out += static_cast<char>(v);
    return out;
}

} // namespace

TEST(FlateStream, FilterFormsNameOrOneElementArrayOnly) {
    const std::string z = testpdf::deflate("hello");
    EXPECT_EQ(decode("/Filter /FlateDecode", z), "hello");
    EXPECT_EQ(decode("/Filter /Fl", z), "hello");
    EXPECT_EQ(decode("/F /FlateDecode", z), "hello");
    EXPECT_EQ(decode("/Filter [/FlateDecode]", z), "hello");
    EXPECT_EQ(decode("/Filter [/FlateDecode /FlateDecode]", z), "(error)");
    EXPECT_EQ(decode("/Filter []", z), "(error)");
    EXPECT_EQ(decode("/Filter /LZWDecode", z), "(error)");
    EXPECT_EQ(decode("/Filter (FlateDecode)", z), "(error)");
    EXPECT_EQ(decode("", "plain"), "plain");
}

TEST(FlateStream, DecodeParmsFormsReachTheFilter) {
    // Two rows of the Up method: 1 2 3, then 1 2 3 added to it.
    const std::string z = testpdf::deflate(bytes({2, 1, 2, 3, 2, 1, 2, 3}));
    const std::string want = bytes({1, 2, 3, 2, 4, 6});
    EXPECT_EQ(decode("/Filter /FlateDecode /DecodeParms << /Predictor 12 /Columns 3 >>", z), want);
    EXPECT_EQ(decode("/Filter /FlateDecode /DP << /Predictor 12 /Columns 3 >>", z), want);
    EXPECT_EQ(decode("/Filter [/FlateDecode] /DecodeParms [<< /Predictor 12 /Columns 3 >>]", z),
              want);
    // Parameters that are not a dictionary leave the defaults: no predictor.
    EXPECT_EQ(decode("/Filter /FlateDecode /DecodeParms [1 2]", z).size(), 8u);
}

TEST(FlateStream, PngPredictorRowsUndoEachMethod) {
    const struct {
        const char* what;
        std::string parms;
        std::string raw;
        std::string decoded;
    } cases[] = {
        // Predictor 12, Columns 5 (cross-reference rows of widths 1, 2, 2): the first row's Up
        // adds to zeros.
        {"up", "/Predictor 12 /Columns 5", bytes({2, 1, 0, 10, 0, 3, 2, 0, 0, 5, 0, 1}),
         bytes({1, 0, 10, 0, 3, 1, 0, 15, 0, 4})},
        {"sub", "/Predictor 11 /Columns 3", bytes({1, 5, 1, 1}), bytes({5, 6, 7})},
        // Odd sums: the mean rounds down.
        {"average", "/Predictor 13 /Columns 2", bytes({0, 11, 20, 3, 1, 1}),
         bytes({11, 20, 6, 14})},
        // Paeth ties: left and up-left equally near picks left; up and up-left picks up. (A tie
        // of left and up alone cannot change the result: it needs left == up.)
        {"paeth left", "/Predictor 14 /Columns 2", bytes({0, 10, 12, 4, 252, 1}),
         bytes({10, 12, 6, 7})},
        {"paeth up", "/Predictor 14 /Columns 2", bytes({0, 10, 6, 4, 2, 1}), bytes({10, 6, 12, 7})},
        {"unknown tag is none", "/Predictor 10 /Columns 2", bytes({9, 7, 8}), bytes({7, 8})},
        {"wraps modulo 256", "/Predictor 12 /Columns 1", bytes({0, 200, 2, 100}), bytes({200, 44})},
        {"short last row dropped", "/Predictor 12 /Columns 3", bytes({0, 1, 2, 3, 0, 4, 5}),
         bytes({1, 2, 3})},
        {"two bytes per pixel", "/Predictor 11 /Columns 2 /Colors 2", bytes({1, 1, 2, 1, 1}),
         bytes({1, 2, 2, 3})},
        {"predictor 5 copies rows", "/Predictor 5 /Columns 2", bytes({3, 4, 5, 6}),
         bytes({3, 4, 5, 6})},
    };
    for (const auto& c : cases)
        EXPECT_EQ(flate(c.parms, c.raw), c.decoded) << c.what;
}

TEST(FlateStream, TiffPredictorAddsTheSampleOnePixelLeft) {
    const struct {
        const char* what;
        std::string parms;
        std::string raw;
        std::string decoded;
    } cases[] = {
        {"8 bits", "/Predictor 2 /Columns 3", bytes({1, 1, 1, 9, 1, 1}),
         bytes({1, 2, 3, 9, 10, 11})},
        {"two colours", "/Predictor 2 /Columns 2 /Colors 2", bytes({1, 2, 1, 1}),
         bytes({1, 2, 2, 3})},
        {"16 bits", "/Predictor 2 /Columns 2 /BitsPerComponent 16", bytes({1, 255, 0, 2}),
         bytes({1, 255, 2, 1})},
        {"4 bits", "/Predictor 2 /Columns 4 /BitsPerComponent 4", bytes({0x1F, 0x11}),
         bytes({0x10, 0x12})},
    };
    for (const auto& c : cases)
        EXPECT_EQ(flate(c.parms, c.raw), c.decoded) << c.what;
}

TEST(FlateStream, AbsurdPredictorParametersMakeTheStreamUnusable) {
    for (const char* parms : {"/Predictor 12 /Columns 0", "/Predictor 12 /Columns 1073741824",
                              "/Predictor 12 /Colors 0", "/Predictor 12 /Colors 100000",
                              "/Predictor 2 /BitsPerComponent 3",
                              "/Predictor 12 /Columns 1048576 /Colors 256 /BitsPerComponent 16"})
        EXPECT_EQ(flate(parms, "data"), "(error)") << parms;
}

TEST(FlateStream, DamagedDataEndsTheStreamQuietly) {
    EXPECT_EQ(decode("/Filter /FlateDecode", "not compressed at all"), "");
    // Raw deflate data without the zlib header is not accepted.
    const std::string z = testpdf::deflate("hello");
    EXPECT_EQ(decode("/Filter /FlateDecode", z.substr(2)), "");
    // A truncated stream gives at most what was decoded before the cut.
    std::string text;
    for (int i = 0; i < 5000; ++i)
        text += std::to_string(i * 7919 % 10007) + " ";
    const std::string big = testpdf::deflate(text);
    const std::string cut = decode("/Filter /FlateDecode", big.substr(0, big.size() / 2));
    EXPECT_LT(cut.size(), text.size());
    EXPECT_EQ(text.substr(0, cut.size()), cut);
    EXPECT_EQ(decode("/Filter /FlateDecode", big), text);
}

TEST(FlateStream, LengthZeroDecodesToNothing) {
    const PdfObject obj = parseOne("<< /Length 0 /Filter /FlateDecode >>\nstream\nendstream\n" +
                                   testpdf::deflate("tail"));
    ASSERT_TRUE(obj.isStream());
    EXPECT_EQ(readAll(*obj.getStream()), "");
}

TEST(FlateStream, PeekCharAgreesWithNextChar) {
    for (const std::string parms : {"", "/Predictor 12 /Columns 2"}) {
        const PdfObject obj =
            parseOne(testpdf::streamBody("/Filter /FlateDecode /DecodeParms << " + parms + " >>",
                                         testpdf::deflate(bytes({2, 65, 66, 2, 1, 1}))));
        ASSERT_TRUE(obj.isStream());
        PdfStream& s = *obj.getStream();
        std::string seen;
        for (int c = s.peekChar(); c >= 0; c = s.peekChar()) {
            EXPECT_EQ(s.nextChar(), c);
            seen += static_cast<char>(c);
        }
        EXPECT_EQ(s.nextChar(), -1);
        EXPECT_EQ(seen.size(), parms.empty() ? 6u : 4u) << parms;
    }
}
