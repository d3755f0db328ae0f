// Font files are read as hostile input: a damaged one is refused with a reason naming it, and
// never read past its end.
#include <gtest/gtest.h>

#include <string>

#include "engine/fonts/font_face.hpp"
#include "engine/pdf/pdf_exception.hpp"
#include "support/test_files.hpp"

namespace tavrix {
namespace {

std::string refusal(const std::string& bytes, unsigned index = 0) {
    try {
        FontFace::fromBytes(bytes, "f.ttf", index);
    } catch (const CPdfException& e) {
        return e.reason();
    }
    return "accepted";
}

TEST(FontFace, DamagedFilesAreRefusedWithWhatIsWrong) {
    const std::string font = testpdf::readFile("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    ASSERT_GT(font.size(), 100000u);
    std::string hugeDirectory = font.substr(0, 12);
    hugeDirectory[4] = '\xFF';
    hugeDirectory[5] = '\xFF';
    const std::string collection = std::string("ttcf\0\1\0\0\0\0\0\1\0\0\0\x10", 16) +
                                   font.substr(0, 4) + std::string(8, '\0');
    const struct {
        std::string bytes;
        unsigned index;
        const char* why;
    } cases[] = {
        {"", 0, "it is not a TrueType or OpenType font"},
        {std::string(64, 'x'), 0, "it is not a TrueType or OpenType font"},
        {font.substr(0, 12), 0, "its table directory runs past the end of the file"},
        {hugeDirectory, 0, "its table directory runs past the end of the file"},
        {font.substr(0, 100000), 0, "its 'glyf' table runs past the end of the file"},
        {font, 1, "it has no face 1"},
        {collection, 1, "it has no face 1"},
        {collection, 0, "it has no 'head' table"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(refusal(c.bytes, c.index), std::string("font file 'f.ttf' is damaged (") + c.why +
                                                 "); reinstall the package that provides it")
            << c.why;
    EXPECT_EQ(refusal(font), "accepted");
}

} // namespace
} // namespace tavrix
