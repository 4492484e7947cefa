// Captured texts: their exact layout, what each field type takes, and where
// the reader is left.

#include "parser/VRMLIOManager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string AsString(const std::vector<char>& text) { return std::string(text.begin(), text.end()); }

struct Reader {
    CVRMLIOManager io;
    explicit Reader(const std::string& text) { EXPECT_EQ(io.StartBufferReading(text.data(), text.size()), 1); }
};

} // namespace

TEST(FieldCapture, BlockTextHasSingleSpacesAndALineFeedAfterEveryFifthToken) {
    struct Case {
        const char* input;
        int stopAtDeclarationEnd;
        const char* captured; // exact bytes
        int result;
        const char* leftOn; // the current token afterwards
    };
    const Case cases[] = {
        // The line feed follows the space after every fifth token.
        {"{ a b c d e f g h i j k }", 0, "a b c d e \nf g h i j \nk", 1, "}"},
        // The body of the Ball prototype: six tokens, 28 bytes.
        {"{ Sphere { radius IS radius } } Ball", 0, "Sphere { radius IS radius \n}", 1, "}"},
        // A square list keeps its brackets; its fifth token is the "]".
        {"[ 1 2 3 ] field", 1, "[ 1 2 3 ]\n", 1, "field"},
        // Exactly five tokens end with the line feed and nothing after it.
        {"{ a b c d e }", 0, "a b c d e\n", 1, "}"},
        // An unbracketed value runs up to the token that ends the declaration.
        {"1 0 0 eventIn SFBool set", 1, "1 0 0", 1, "eventIn"},
        // Brackets inside an unbracketed value do not end it.
        {"Transform { children [ ] } ]", 1, "Transform { children [ ] \n}", 1, "]"},
        // Without the stop rule an unbracketed value is one token.
        {"Cube { }", 0, "Cube", 1, "{"},
        // An empty block makes no buffer and stays on its closing brace.
        {"{ }", 0, "", 0, "}"},
        // A list cut off by the end of input keeps a space in place of its "]".
        {"[ 1 2", 1, "[ 1 2  ", 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        Reader reader(c.input);
        std::vector<char> text;
        EXPECT_EQ(reader.io.CaptureBlock(text, c.stopAtDeclarationEnd), c.result);
        EXPECT_EQ(AsString(text), c.captured);
        EXPECT_EQ(reader.io.GetCurrentTokenString(), c.leftOn);
    }
}

TEST(FieldCapture, EachFieldTypeTakesItsOwnTokens) {
    struct Case {
        int type;
        int allowNodes;
        const char* input;
        const char* captured;
        int result;
        const char* leftOn;
    };
    const Case cases[] = {
        {VRML_FIELD_SFSTRING, 1, "\"a b\" x", "\"a b\"", 1, "x"},
        {VRML_FIELD_SFVEC3F, 1, "1 2 3 4", "1 2 3", 1, "4"},
        {VRML_FIELD_SFVEC3F, 1, "[ 1 2 3 ] x", "[ 1 2 3 ]\n", 1, "x"},
        {VRML_FIELD_SFVEC2F, 1, "1 x 2", "1", 1, "x"},
        {VRML_FIELD_SFROTATION, 1, "0 1 0 1.57 y", "0 1 0 1.57", 1, "y"},
        {VRML_FIELD_SFCOLOR, 1, "red", "", 0, "red"},
        {VRML_FIELD_MFFLOAT, 1, "[ 1 2 3 4 5 6 ] x", "[ 1 2 3 4 \n5 6 ]", 1, "x"},
        // An MF value needs its brackets; without them nothing is taken.
        {VRML_FIELD_MFFLOAT, 1, "1 2", "", 0, "1"},
        // No nesting: the first closing bracket ends the list.
        {VRML_FIELD_MFSTRING, 1, "[ \"a\" { ] x", "[ \"a\" { ]", 1, "x"},
        {VRML_FIELD_MFNODE, 1, "USE Thing x", "USE Thing", 1, "x"},
        {VRML_FIELD_MFNODE, 1, "NULL x", "NULL", 1, "x"},
        {VRML_FIELD_MFNODE, 1, "Transform { children [ Shape { } ] } x", "Transform { children [ Shape \n{ } ] }", 1,
         "x"},
        {VRML_FIELD_MFNODE, 1, "[ Box { } Cone { } ] x", "[ Box { } Cone \n{ } ]", 1, "x"},
        {VRML_FIELD_MFNODE, 0, "USE Thing", "", 0, "USE"},
        {VRML_FIELD_UNKNOWN, 1, "5 x", "", 0, "5"},
        // An image takes width, height, components and at most width x height pixels.
        {VRML_FIELD_SFIMAGE, 1, "2 1 1 0xFF 0x00 x", "2 1 1 0xFF 0x00\n", 1, "x"},
        // A header claiming a huge image takes only the pixels that are there.
        {VRML_FIELD_SFIMAGE, 1, "100000 100000 3 7 8 x", "100000 100000 3 7 8\n", 1, "x"},
        {VRML_FIELD_SFIMAGE, 1, "-5 4 3 1 x", "-5 4 3", 1, "1"},
        {VRML_FIELD_SFIMAGE, 1, "x 1 1", "", 0, "x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        Reader reader(c.input);
        std::vector<char> text;
        EXPECT_EQ(reader.io.CaptureFieldValue(text, c.type, c.allowNodes), c.result);
        EXPECT_EQ(AsString(text), c.captured);
        EXPECT_EQ(reader.io.GetCurrentTokenString(), c.leftOn);
    }
}

TEST(FieldCapture, CountingPassWritesNothingAndCopyingPassStaysInsideItsBuffer) {
    Reader reader("alpha beta gamma");
    VRMLCaptureCursor counting;
    EXPECT_EQ(reader.io.CopyCurrentToken(counting), 1);
    EXPECT_EQ(reader.io.CopyCurrentToken(counting), 1);
    EXPECT_EQ(counting.tokenCount, 2u);
    EXPECT_EQ(counting.totalLength, 9u);

    // A buffer too small for the token: the copy stops at its end.
    std::vector<char> small(3, '.');
    VRMLCaptureCursor copying;
    copying.cursor = small.data();
    copying.end = small.data() + small.size();
    copying.limit = 1;
    EXPECT_EQ(reader.io.CopyCurrentToken(copying), 1);
    EXPECT_EQ(AsString(small), "gam");
    EXPECT_EQ(reader.io.CopyCurrentToken(copying), 0); // end of input: nothing taken
    EXPECT_EQ(copying.tokenCount, 1u);
}

// Captures too long to keep their tokens, and blocks whose end leaves the
// reader away from the last token taken, are read a second time: the text
// and the place the reader is left on must not depend on the way taken.
TEST(FieldCapture, LongCapturesAndOddEndsGiveTheSameTextAndPlace) {
    std::string numbers, expected;
    const int count = 70000;
    for (int i = 1; i <= count; ++i) {
        numbers += std::to_string(i % 10) + " ";
        // The list's "[" is the first token, so number i is token i + 1.
        expected += std::to_string(i % 10) + " ";
        if ((i + 1) % 5 == 0)
            expected += "\n";
    }
    {
        SCOPED_TRACE("long field value");
        Reader reader("[ " + numbers + "] next");
        std::vector<char> text;
        ASSERT_EQ(reader.io.CaptureFieldValue(text, VRML_FIELD_MFFLOAT, 0), 1);
        std::string whole = "[ " + expected + "]";
        if ((count + 2) % 5 == 0)
            whole += "\n";
        EXPECT_EQ(AsString(text), whole);
        EXPECT_EQ(reader.io.GetCurrentTokenString(), "next");
    }
    {
        SCOPED_TRACE("long block");
        Reader reader("{ " + numbers + "} next");
        std::vector<char> text;
        ASSERT_EQ(reader.io.CaptureBlock(text, 0), 1);
        std::string body;
        for (int i = 1; i <= count; ++i) {
            body += std::to_string(i % 10);
            if (i < count)
                body += " ";
            if (i % 5 == 0)
                body += "\n";
        }
        EXPECT_EQ(AsString(text), body);
        EXPECT_EQ(reader.io.GetCurrentTokenString(), "}");
    }
    {
        // The block closes, and tokens after it are passed over up to the
        // end of the declaration: only the token inside is taken.
        SCOPED_TRACE("block closed before the declaration ends");
        Reader reader("{ a } b c ] d");
        std::vector<char> text;
        ASSERT_EQ(reader.io.CaptureBlock(text, 1), 1);
        EXPECT_EQ(AsString(text), "a");
        EXPECT_EQ(reader.io.GetCurrentTokenString(), "}");
    }
}
