// Tokenizer and object parser over inline bytes, and the value model they build.
#include <gtest/gtest.h>

#include <climits>

#include "engine/pdf/pdf_object.hpp"
#include "pdf/reader_fixtures.hpp"

using namespace tavrix;
using readertest::memoryStream;
using readertest::parseAll;
using readertest::parseOne;
using readertest::readAll;

namespace {

std::string textOf(const std::string& source) {
    const PdfObject obj = parseOne(source);
    EXPECT_TRUE(obj.isString() || obj.isName()) << source;
    return obj.getText();
}

} // namespace

TEST(Lexer, LiteralStringsResolveEscapesAndNesting) {
    const struct {
        const char* source;
        std::string text;
    } cases[] = {
        {"(a(b)c)", "a(b)c"},
        {"(\\051)", ")"},
        {"(ab\\\ncd)", "abcd"},   // line continuation
        {"(ab\\\r\ncd)", "abcd"}, // CR LF continuation
        {"(\\401)", "\x01"},      // low 8 bits of 257
        {"(\\0a)", std::string(1, '\0') + "a"},
        {"(\\1234)", "S4"}, // at most three octal digits
        {"(\\n\\r\\t\\b\\f\\\\\\q)", "\n\r\t\b\f\\q"},
        {"(line\r\nend)", "line\r\nend"}, // line ends inside are kept unchanged
        {"(open (never closed", "open (never closed"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(textOf(c.source), c.text) << c.source;
}

TEST(Lexer, HexStringsPairDigitsAndPadTheLastOne) {
    EXPECT_EQ(textOf("<41>"), "A");
    EXPECT_EQ(textOf("<7>"), "\x70");
    EXPECT_EQ(textOf("<4 1\n42>"), "AB");
    EXPECT_EQ(textOf("<G1>"), std::string(1, '\x01')); // an invalid digit counts as 0
    EXPECT_EQ(textOf("<6162"), "ab");                  // ends with the input
}

TEST(Lexer, NamesResolveHashEscapes) {
    EXPECT_EQ(textOf("/A#20B"), "A B");
    EXPECT_EQ(textOf("/A#2GB"), "A B"); // the G after one digit is dropped
    EXPECT_EQ(textOf("/A#GB"), "A#GB");
    EXPECT_EQ(textOf("/A#"), "A#");
    const std::vector<PdfObject> objs = parseAll("/Type/Page /");
    ASSERT_EQ(objs.size(), 3u);
    EXPECT_TRUE(objs[0].isName("Type"));
    EXPECT_TRUE(objs[1].isName("Page"));
    EXPECT_TRUE(objs[2].isName(""));
}

TEST(Lexer, NumbersFollowTheDecimalConversion) {
    const std::vector<PdfObject> objs = parseAll("-.5 5-3 - . 1.2.3 007 +5");
    ASSERT_EQ(objs.size(), 8u);
    EXPECT_TRUE(objs[0].isReal());
    EXPECT_DOUBLE_EQ(objs[0].getReal(), -0.5);
    EXPECT_EQ(objs[1].getInt(), 5);
    EXPECT_EQ(objs[2].getInt(), -3);
    EXPECT_TRUE(objs[3].isInt());
    EXPECT_EQ(objs[3].getInt(), 0);
    EXPECT_TRUE(objs[4].isReal());
    EXPECT_DOUBLE_EQ(objs[4].getReal(), 0.0);
    EXPECT_DOUBLE_EQ(objs[5].getReal(), 1.2);
    EXPECT_EQ(objs[6].getInt(), 7);
    EXPECT_TRUE(objs[7].isCommand("+5")); // a plus sign does not start a number
}

TEST(Lexer, IntegersBeyond32BitsSaturate) {
    const std::vector<PdfObject> objs =
        parseAll("2147483647 2147483648 99999999999999999999999 -2147483649 -99999999999999");
    ASSERT_EQ(objs.size(), 5u);
    EXPECT_EQ(objs[0].getInt(), INT_MAX);
    EXPECT_EQ(objs[1].getInt(), INT_MAX);
    EXPECT_EQ(objs[2].getInt(), INT_MAX);
    EXPECT_EQ(objs[3].getInt(), INT_MIN);
    EXPECT_EQ(objs[4].getInt(), INT_MIN);
}

TEST(Lexer, KeywordsDelimitersAndComments) {
    const std::vector<PdfObject> objs =
        parseAll("true false null obj%comment (not a string)\n endobj ) { } > 'x \"y");
    ASSERT_EQ(objs.size(), 11u);
    EXPECT_TRUE(objs[0].isBool() && objs[0].getBool());
    EXPECT_TRUE(objs[1].isBool() && !objs[1].getBool());
    EXPECT_TRUE(objs[2].isNull());
    EXPECT_TRUE(objs[3].isCommand("obj"));
    EXPECT_TRUE(objs[4].isCommand("endobj"));
    for (int i = 5; i < 9; ++i)
        EXPECT_TRUE(objs[static_cast<size_t>(i)].isError()) << i;
    EXPECT_TRUE(objs[9].isCommand("'x"));
    EXPECT_TRUE(objs[10].isCommand("\"y"));
    EXPECT_TRUE(parseOne("% only a comment").isEof());
    EXPECT_TRUE(parseOne("").isEof());
}

TEST(Parser, IntegerPairFollowedByRIsReference) {
    const std::vector<PdfObject> objs = parseAll("12 0 R 12 0 obj [1 2 R 3 4 R]");
    ASSERT_EQ(objs.size(), 5u);
    EXPECT_TRUE(objs[0].isRef());
    EXPECT_EQ(objs[0].getRefNum(), 12);
    EXPECT_EQ(objs[0].getRefGen(), 0);
    EXPECT_EQ(objs[1].getInt(), 12); // "obj" is no "R": the integers stay for later calls
    EXPECT_EQ(objs[2].getInt(), 0);
    EXPECT_TRUE(objs[3].isCommand("obj"));
    ASSERT_TRUE(objs[4].isArray());
    ASSERT_EQ(objs[4].getArray()->size(), 2u);
    EXPECT_EQ(objs[4].getArray()->getRaw(1).getRefNum(), 3);
    EXPECT_EQ(objs[4].getArray()->getRaw(1).getRefGen(), 4);
}

TEST(Parser, DictionaryKeysSkipNonNamesAndDropKeysBeforeLoneGreaterThan) {
    const PdfObject obj = parseOne("<< 7 /A 1 (x) /B > /C /D /E [1] >>");
    ASSERT_TRUE(obj.isDict());
    const PdfDict& d = *obj.getDict();
    EXPECT_EQ(d.lookup("A").getInt(), 1);
    EXPECT_TRUE(d.lookup("B").isNull());
    EXPECT_TRUE(d.lookup("C").isName("D"));
    EXPECT_TRUE(d.lookup("E").isArray());
    EXPECT_EQ(d.size(), 3u);
}

TEST(Parser, ContainersOpenAtEndOfInputEndThere) {
    const PdfObject array = parseOne("[1 [2 (three)");
    ASSERT_TRUE(array.isArray());
    ASSERT_EQ(array.getArray()->size(), 2u);
    EXPECT_EQ(array.getArray()->getRaw(1).getArray()->size(), 2u);
    const PdfObject dict = parseOne("<< /A 1 /B << /C 2");
    ASSERT_TRUE(dict.isDict());
    EXPECT_EQ(dict.getDict()->lookup("B").getDict()->lookup("C").getInt(), 2);
    EXPECT_EQ(parseAll("[ << /K").size(), 1u);
}

TEST(Parser, NestingPastTheLimitGivesError) {
    // 300 levels: 256 arrays, then Error where the 257th would be.
    std::string text = std::string(300, '[') + std::string(300, ']');
    PdfObject obj = parseOne(text);
    int depth = 0;
    while (obj.isArray() && obj.getArray()->size() > 0) {
        obj = obj.getArray()->getRaw(0);
        ++depth;
    }
    EXPECT_EQ(depth, 256);
    EXPECT_TRUE(obj.isError());

    std::string dicts;
    for (int i = 0; i < 1000; ++i)
        dicts += "<< /K ";
    obj = parseOne(dicts);
    depth = 0;
    while (obj.isDict() && !obj.getDict()->lookup("K").isNull()) {
        obj = obj.getDict()->lookup("K");
        ++depth;
    }
    EXPECT_LE(depth, 256);
}

TEST(Parser, StreamWindowFollowsLength) {
    PdfParser parser(nullptr, memoryStream("<< /Length 5 >>\nstream\r\nhello\nendstream 42"));
    PdfObject obj = parser.getObject();
    ASSERT_TRUE(obj.isStream());
    EXPECT_EQ(readAll(*obj.getStream()), "hello");
    EXPECT_EQ(obj.getStream()->streamDict()->lookup("Length").getInt(), 5);
    EXPECT_EQ(parser.getObject().getInt(), 42); // parsing goes on after "endstream"
}

TEST(Parser, StreamWithLengthZeroRunsToEndOfInput) {
    const std::string text = "<< /Length 0 >>\nstream\nendstream\n% trailing";
    PdfObject obj = parseOne(text);
    ASSERT_TRUE(obj.isStream());
    EXPECT_EQ(readAll(*obj.getStream()), "endstream\n% trailing");
}

TEST(Parser, StreamWithoutUsableLengthIsError) {
    EXPECT_TRUE(parseOne("<< >>\nstream\nabc\nendstream").isError());
    EXPECT_TRUE(parseOne("<< /Length /Five >>\nstream\nabc\nendstream").isError());
    // Without a table an indirect Length stays a reference, which is no length.
    EXPECT_TRUE(parseOne("<< /Length 3 0 R >>\nstream\nabc\nendstream").isError());
    EXPECT_TRUE(parseOne("<< /Length -3 >>\nstream\nabc\nendstream").isError());
}

// A Length that does not end at "endstream" is measured to the keyword, without the line end
// before it; parsing goes on after the keyword. Only a stream with no "endstream" at all fails.
TEST(Parser, StreamWithWrongLengthIsMeasuredToEndstream) {
    const struct {
        const char* text;
        const char* data;
    } cases[] = {
        {"<< /Length 2 >>\nstream\nabcdef\nendstream 42", "abcdef"},               // short
        {"<< /Length 90 >>\nstream\nabcdef\r\nendstream 42", "abcdef"},            // past the end
        {"<< /Length 7 >>\nstream\nab endstreamX\rendstream 42", "ab endstreamX"}, // no keyword
        {"<< /Length 6 >>\nstream\nabcdef \n% note\nendstream 42", "abcdef"},      // as given
    };
    for (const auto& c : cases) {
        PdfParser parser(nullptr, memoryStream(c.text));
        const PdfObject obj = parser.getObject();
        ASSERT_TRUE(obj.isStream()) << c.text;
        EXPECT_EQ(readAll(*obj.getStream()), c.data) << c.text;
        EXPECT_EQ(parser.getObject().getInt(), 42) << c.text;
    }
    try {
        parseOne("<< /Length 2 >>\nstream\nabcdef\nendobj");
        FAIL() << "no exception";
    } catch (const CPdfException& e) {
        EXPECT_STREQ(e.getMessage(), "Missing 'endstream'");
    }
}

TEST(ObjectModel, DuplicateKeyFirstOccurrenceWins) {
    const PdfObject obj = parseOne("<< /A 1 /A 2 >>");
    EXPECT_EQ(obj.getDict()->lookup("A").getInt(), 1);
    PdfDict dict(nullptr);
    dict.addEntry("K", PdfObject::makeName("first"));
    dict.addEntry("K", PdfObject::makeName("second"));
    EXPECT_TRUE(dict.lookupRaw("K").isName("first"));
}

TEST(ObjectModel, LookupWithoutTableKeepsReferencesAndAnswersNullForAbsentKeys) {
    const PdfObject obj = parseOne("<< /P 5 0 R >>");
    const PdfDict& dict = *obj.getDict();
    const PdfObject p = dict.lookup("P");
    ASSERT_TRUE(p.isRef());
    EXPECT_EQ(p.getRefNum(), 5);
    EXPECT_EQ(p.getRefGen(), 0);
    EXPECT_TRUE(dict.lookup("Q").isNull());
    EXPECT_TRUE(dict.lookupRaw("Q").isNull());
}
