// The scanner of raw PDF text: what it takes for an entry, a value, a number and the end of an
// object, where a search of bytes would be fooled by strings, comments and nested containers.
#include <gtest/gtest.h>

#include <string>

#include "engine/pdf/pdf_scanner.hpp"

using namespace tavrix;

namespace {

// The value text of `key` in the dictionary at the start of `text`, or "-" when there is none.
std::string entryText(std::string_view text, std::string_view key) {
    const std::optional<DictEntry> e = findEntry(text, 0, key);
    return e ? std::string(e->value.in(text)) : "-";
}

} // namespace

TEST(Scanner, FindEntryMatchesOnlyTheDictionaryAtHand) {
    const struct {
        const char* text;
        const char* key;
        const char* value;
    } cases[] = {
        {"<< /Contents 4 0 R /Resources 5 0 R >>", "Contents", "4 0 R"},
        {"7 0 obj\n<</Rotate\n-90/Type/Page>>", "Rotate", "-90"},
        // Nested dictionaries, arrays, strings, hex strings and comments hold no entry.
        {"<< /A << /Rotate 90 >> /Rotate 180 >>", "Rotate", "180"},
        {"<< /Annots [<< /Rotate 90 >>] >>", "Rotate", "-"},
        {"<< /T (a /Rotate 90 \\) ( /Rotate 1 ) ) /Rotate 2 >>", "Rotate", "2"},
        {"<< /T <3E3E2F526F74617465> /Rotate 3 >>", "Rotate", "3"},
        {"<< % /Rotate 90 >>\n/Rotate 4 >>", "Rotate", "4"},
        {"<< % /Rotate 90 >>\r/Rotate 15 >>", "Rotate", "15"}, // a CR alone ends a comment
        {"<< /PieceInfo << /App << /Private (see /Pages) >> >> >>", "Pages", "-"},
        // Whole names only, escapes decoded; the first of two counts, as for the parser.
        {"<< /RotateX 5 /Rotate 6 >>", "Rotate", "6"},
        {"<< /Rot#61te 7 >>", "Rotate", "7"},
        {"<< /A#2G 16 >>", "A ", "16"}, // half an escape: the digit's value, the G dropped
        {"<< /Rotate 8 /Rotate 9 >>", "Rotate", "8"},
        // A value is a whole container, a reference or one token.
        {"<< /Kids [3 0 R [4] (x]) 5 0 R] /Count 2 >>", "Kids", "[3 0 R [4] (x]) 5 0 R]"},
        {"<< /Font << /F1 5 0 R /F2 << >> >> /X 1 >>", "Font", "<< /F1 5 0 R /F2 << >> >>"},
        {"<< /Length 12 0 obj >>", "Length", "12"},
        {"<< /Font null /ExtGState 1 >>", "Font", "null"},
        // Keys as the parser pairs them: a stray byte drops its key, a lone value is passed over.
        {"<< 12 /Rotate 10 >>", "Rotate", "10"},
        {"<< /Rotate ) /Type 11 >>", "Rotate", "-"},
        {"<< /Rotate ) /Type 11 >>", "Type", "11"},
        // Dictionaries end only at ">>", arrays only at "]".
        {"<< /A [ >> ] /Rotate 12 >>", "Rotate", "12"},
        {"<< /A << ] >> /Rotate 13 >>", "Rotate", "13"},
        {"<< /A 1 >> /Rotate 14", "Rotate", "-"},
        // Inside a value, what hides a closer hides it too: a comment to its CR, a hexadecimal
        // string (even one holding a parenthesis).
        {"<< /A << % x >>\r/B 1 >> /Rotate 18 >>", "Rotate", "18"},
        {"<< /A [ <(> ] /Rotate 19 >>", "Rotate", "19"},
        {"<< /Rotate", "Rotate", "-"},
        {"no dictionary", "Rotate", "-"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(entryText(c.text, c.key), c.value) << c.text;
}

TEST(Scanner, ValuesNumbersAndBoxes) {
    const std::string text = "<< /R 12 0 R /N 12 0 /M -7 /B [0 -.5 612.25 7.] /S [1 2 3] "
                             "/T [1 2 (3) 4] /I 99999999999999999999 /J 18446744073709551617 "
                             "/O [1 2 3 4 >> ";
    const auto value = [&](const char* key) { return findEntry(text, 0, key)->value; };
    const std::optional<ObjectRef> ref = readReference(text, value("R"));
    ASSERT_TRUE(ref);
    EXPECT_EQ(ref->num, 12);
    EXPECT_EQ(ref->gen, 0);
    EXPECT_FALSE(readReference(text, value("N")));
    EXPECT_EQ(readIntegerValue(text, value("N")), 12);
    EXPECT_EQ(readIntegerValue(text, value("M")), -7);
    for (const char* key : {"I", "J"}) // saturate, without wrapping past 64 bits
        EXPECT_GT(*readIntegerValue(text, value(key)), int64_t{1} << 40) << key;
    EXPECT_EQ(saturateInt32(*readIntegerValue(text, value("I"))), INT32_MAX);
    EXPECT_EQ(readBox(text, value("B")), (std::array<double, 4>{0, -0.5, 612.25, 7}));
    EXPECT_FALSE(readBox(text, value("S")));
    EXPECT_FALSE(readBox(text, value("T")));
    EXPECT_FALSE(value("O").closed);
}

TEST(Scanner, ObjectHeaderAndEnd) {
    const auto header = readObjectHeader("% a comment\r\n 12 3 obj<</A 1>>", 0);
    ASSERT_TRUE(header);
    EXPECT_EQ(header->num, 12);
    EXPECT_EQ(header->gen, 3);
    EXPECT_FALSE(readObjectHeader("12 0 objx", 0));
    EXPECT_FALSE(readObjectHeader("12 R obj", 0));
    EXPECT_FALSE(readObjectHeader("12 0x obj", 0));

    const struct {
        const char* text;
        ObjectEnd::Kind kind;
        const char* before; // the text up to the end found
    } cases[] = {
        {"(a endobj b) endobj 2 0 obj", ObjectEnd::Kind::Endobj, "(a endobj b) endobj"},
        {"<< /T (x) % endobj\n>>endobj", ObjectEnd::Kind::Endobj, "<< /T (x) % endobj\n>>endobj"},
        {"[ (]) >> ] endobj", ObjectEnd::Kind::Endobj, "[ (]) >> ] endobj"},
        {"<< /Length 3 >> stream\nendobj", ObjectEnd::Kind::Stream, "<< /Length 3 >> stream"},
        {"[1] stream endobj", ObjectEnd::Kind::Endobj, "[1] stream endobj"},
        {"<< /A (left open >> endobj", ObjectEnd::Kind::Unended, ""},
        {"<< /A 1 >>\n2 0 obj (b) endobj", ObjectEnd::Kind::Unended, ""},
        {"nullendobj endobj", ObjectEnd::Kind::Endobj, "nullendobj endobj"},
    };
    for (const auto& c : cases) {
        const std::string_view text = c.text;
        const ObjectEnd end = scanToObjectEnd(text, 0);
        EXPECT_EQ(end.kind, c.kind) << c.text;
        if (end.kind != ObjectEnd::Kind::Unended) {
            EXPECT_EQ(text.substr(0, end.at), c.before);
        }
    }
}

TEST(Scanner, StreamDataEnds) {
    const std::string text = "stream\r\nabc endstreamX\r\nendstream\nendobj";
    const size_t data = streamDataStart(text, 6);
    EXPECT_EQ(data, 8u);
    size_t end = 0;
    EXPECT_FALSE(endstreamAt(text, data + 4, end)); // "endstreamX" is another word
    const size_t keyword = findEndstream(text, data);
    EXPECT_EQ(text.substr(keyword, 10), "endstream\n");
    // The line end before the keyword is not data.
    EXPECT_EQ(text.substr(data, dataEndBefore(text, data, keyword) - data), "abc endstreamX");
    EXPECT_TRUE(endstreamAt(text, keyword - 2, end));
    EXPECT_EQ(text.substr(end), "\nendobj");
}
