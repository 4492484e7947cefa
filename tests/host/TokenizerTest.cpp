// Token-level behaviour of the generic tokenizer, read from text buffers.

#include "host/tokenizer/GenericParser.h"
#include "host/tokenizer/KeywordLookup.h"
#include "host/tokenizer/TokenScanner.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Token {
    GenericTokenTypes kind;
    std::string text;
    bool operator==(const Token& other) const { return kind == other.kind && text == other.text; }
};

std::ostream& operator<<(std::ostream& out, const Token& token) {
    return out << "{" << token.kind << ", '" << token.text << "'}";
}

// Reads every token of `text` up to the end of input.
std::vector<Token> ReadAll(CGenericParser& parser, std::string_view text) {
    std::vector<Token> tokens;
    EXPECT_NE(parser.StartBufferReading(text.data(), text.size()), 0);
    // Bounded, so that a tokenizer that never reaches the end fails instead of hanging.
    for (size_t guard = 0; guard <= text.size() + 1; ++guard) {
        if (parser.GetCurrentToken().GetDataType() == GENERIC_END_OF_INPUT)
            return tokens;
        tokens.push_back({parser.GetCurrentToken().GetDataType(), parser.GetCurrentTokenString()});
        parser.Tokenize();
    }
    ADD_FAILURE() << "no end of input";
    return tokens;
}

std::vector<Token> ReadAll(std::string_view text) {
    CGenericParser parser;
    return ReadAll(parser, text);
}

// A small generator with a fixed seed, so the random texts are the same every run.
struct Random {
    uint32_t seed;
    uint32_t operator()(uint32_t below) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % below;
    }
};

const GenericTokenTypes W = GENERIC_WORD;
const GenericTokenTypes S = GENERIC_STRING;
const GenericTokenTypes N = GENERIC_NUMBER;
const GenericTokenTypes B = GENERIC_BOOLEAN;

TEST(Tokenizer, SplitsTextIntoTokensOfTheRightKind) {
    // Brackets, and words next to brackets, strings, separators and comments,
    // are checked on random texts below.
    const struct {
        std::string input;
        std::vector<Token> expected;
    } cases[] = {
        {"a # comment ended by CR\rb", {{W, "a"}, {W, "b"}}},
        {"#only a comment", {}},
        {" \t\r\n,", {}},
        {R"("a \"b\\" x)", {{S, R"("a \"b\\")"}, {W, "x"}}},
        {"\"unterminated { ", {{S, "\"unterminated { "}}},
        {"\"ends in a backslash\\", {{S, "\"ends in a backslash\\"}}},
        {R"("")", {{S, R"("")"}}},
        {"caf\xC3\xA9 \xFF\xFE", {{W, "caf\xC3\xA9"}, {W, "\xFF\xFE"}}},
        {"TRUE FALSE true False TRUEx", {{B, "TRUE"}, {B, "FALSE"}, {W, "true"}, {W, "False"}, {W, "TRUEx"}}},
        // Numbers end where words end: at brackets, quotes and comments too.
        {"-1.5]2#c\n.5\"s\"+7(",
         {{N, "-1.5"},
          {GENERIC_CLOSE_BRACKET, "]"},
          {N, "2"},
          {N, ".5"},
          {S, "\"s\""},
          {N, "+7"},
          {GENERIC_OPEN_PAREN, "("}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadAll(c.input), c.expected) << "input: " << c.input;
}

TEST(Tokenizer, ReadsNumberSyntaxes) {
    const double infinity = std::numeric_limits<double>::infinity();
    const std::string zeros(400, '0');
    const struct {
        std::string text;
        double value;
    } cases[] = {
        // Plain decimals are compared with the standard conversion below.
        {"+3.5", 3.5},
        {"5.", 5.0},
        {"2.5E-2", 0.025},
        {"-1.5e+2", -150.0},
        {"-0X10", -16.0},
        {"+0xff", 255.0},
        {"0xABCdef", 11259375.0},
        {"123456789012345678901234567890", 1.2345678901234568e29},
        // Out of the range of double. The mantissa's digits count as much as
        // the exponent: a negative exponent can still overflow and a positive
        // one underflow.
        {"1e999", infinity},
        {"1e-999", 0.0},
        {"123e-330", 0.0},
        {"1" + zeros + "e-50", infinity},
        {"0." + zeros + "1e50", 0.0},
        {"-1" + zeros, -infinity},
        {"0.0001e310", 1e306},
    };
    for (const auto& c : cases) {
        CGenericParser parser;
        ASSERT_NE(parser.StartBufferReading(c.text.data(), c.text.size()), 0);
        EXPECT_EQ(parser.GetCurrentToken().GetDataType(), GENERIC_NUMBER) << c.text;
        EXPECT_DOUBLE_EQ(parser.GetCurrentTokenNumericValue(), c.value) << c.text;
        EXPECT_EQ(parser.GetCurrentTokenString(), c.text);
    }
}

// Short decimals take a faster road than std::from_chars; both must agree to the bit.
TEST(Tokenizer, NumbersEqualTheStandardConversion) {
    Random next{99};
    std::string text;
    for (int i = 0; i < 20000; ++i) {
        const uint32_t digits = 1 + next(22);
        const uint32_t point = next(digits + 1);
        std::string number = next(2) != 0 ? "-" : "";
        for (uint32_t d = 0; d < digits; ++d)
            number += (d == point ? "." : "") + std::string(1, static_cast<char>('0' + next(10)));
        if (next(5) == 0)
            number += "e" + std::to_string(static_cast<int>(next(40)) - 20);
        text += number + ' ';
    }
    CGenericParser parser;
    ASSERT_NE(parser.StartBufferReading(text.data(), text.size()), 0);
    int compared = 0;
    while (parser.GetCurrentToken().GetDataType() != GENERIC_END_OF_INPUT) {
        const std::string_view token = parser.GetCurrentTokenText();
        ASSERT_EQ(parser.GetCurrentToken().GetDataType(), GENERIC_NUMBER) << token;
        double expected = 0.0;
        std::from_chars(token.data(), token.data() + token.size(), expected);
        ASSERT_EQ(parser.GetCurrentTokenNumericValue(), expected) << token;
        ++compared;
        parser.Tokenize();
    }
    EXPECT_EQ(compared, 20000);
}

TEST(Tokenizer, WordsThatOnlyBeginLikeNumbersAreWords) {
    for (const char* text : {"1abc", "-", "+", ".", "1.2.3", "0x", "0x1G", "1e", "1e+", "--1", "+-1", "-inf", "nan",
                             "1,5x", "2x3", "0x-1", ".e5", "1e5.0"}) {
        const std::vector<Token> tokens = ReadAll(text);
        ASSERT_FALSE(tokens.empty()) << text;
        // A comma separates, so "1,5x" is the number 1 and the word 5x.
        EXPECT_EQ(tokens.back().kind, GENERIC_WORD) << text;
    }
}

TEST(Tokenizer, BooleanValueOfLiteralsAndNumbers) {
    CGenericParser parser;
    std::vector<int> values;
    ASSERT_NE(parser.StartBufferReading("TRUE FALSE 0 2 -0.5 word", 24), 0);
    do {
        values.push_back(parser.GetCurrentTokenBooleanValue());
    } while (parser.Tokenize() != 0 && parser.GetCurrentToken().GetDataType() != GENERIC_END_OF_INPUT);
    EXPECT_EQ(values, (std::vector<int>{1, 0, 0, 1, 1, 0}));
}

ParserKeywordEntry Row(const std::string& name, int32_t id) {
    ParserKeywordEntry entry{};
    std::memcpy(entry.name, name.data(), std::min(name.size(), sizeof entry.name));
    entry.id = id;
    return entry;
}

TEST(Tokenizer, KeywordsMatchIgnoringLetterCase) {
    // Whole-word matching of the loader's own table (SIDE against SIDES) is
    // checked with that table in the parser tests.
    // A name that fills its whole field has no terminator; it ends at the field's end.
    const std::string longWord(sizeof ParserKeywordEntry{}.name, 'q');
    std::vector<ParserKeywordEntry> rows = {Row("SEPARATOR", 61),  Row("{", 4),
                                            Row("CUBE", 23),       Row("CUBE", 99),
                                            Row("CAF\xC3\x89", 5), Row("Q" + longWord.substr(1), 7)};

    CGenericParser parser;
    // Either order of the two calls builds the lookup.
    parser.SetKeywordTableSize(static_cast<int>(rows.size()));
    parser.SetKeywordTable(rows.data());

    const struct {
        std::string word;
        GenericTokenTypes kind;
        uint32_t id;
    } cases[] = {
        {"sEpArAtOr", GENERIC_KEYWORD, 61},
        {"Separ", GENERIC_WORD, 0},
        {"SEPARATORS", GENERIC_WORD, 0},
        {"cube", GENERIC_KEYWORD, 23},
        {"{", GENERIC_OPEN_BRACE, 0},
        {longWord, GENERIC_KEYWORD, 7},
        {longWord + "q", GENERIC_WORD, 0},
        // Only ASCII letters fold: the two spellings of the last letter differ.
        {"caf\xC3\x89", GENERIC_KEYWORD, 5},
        {"caf\xC3\xA9", GENERIC_WORD, 0},
    };
    for (const auto& c : cases) {
        const std::vector<Token> tokens = ReadAll(parser, c.word);
        ASSERT_EQ(tokens.size(), 1u) << c.word;
        EXPECT_EQ(tokens[0].kind, c.kind) << c.word;
        parser.SetToStartOfBuffer();
        EXPECT_EQ(parser.GetCurrentToken().GetUserDefinedType(), c.id) << c.word;
        parser.StopBufferReading();
    }
}

// Names of every length from 1 to 20 with letters, digits and '_': a word
// matches when it differs only in the case of letters, and misses when any
// one byte differs otherwise (including '_' against DEL, which differ by the
// letter-case bit only).
TEST(Tokenizer, KeywordLookupComparesEveryByteOfEveryLength) {
    const std::string pattern = "Ab_9cD1eF_gH2iJ3kL_m";
    std::vector<ParserKeywordEntry> rows;
    for (size_t length = 1; length <= pattern.size(); ++length)
        rows.push_back(Row(pattern.substr(0, length), static_cast<int32_t>(length)));
    const CKeywordLookup lookup(rows.data(), static_cast<int>(rows.size()));
    for (size_t length = 1; length <= pattern.size(); ++length) {
        const std::string name = pattern.substr(0, length);
        std::string flipped = name;
        for (char& c : flipped)
            if (std::isalpha(static_cast<unsigned char>(c)))
                c = static_cast<char>(c ^ 0x20);
        int32_t id = 0;
        EXPECT_TRUE(lookup.Find(flipped, id) && id == static_cast<int32_t>(length)) << flipped;
        for (size_t i = 0; i < length; ++i) {
            std::string changed = name;
            changed[i] = name[i] == '_' ? '\x7F' : static_cast<char>(name[i] + 1);
            EXPECT_FALSE(lookup.Find(changed, id)) << changed;
        }
    }
}

TEST(Tokenizer, EndOfInputIsSticky) {
    CGenericParser parser;
    // A tokenizer that has read nothing, and an empty buffer, are at the end.
    EXPECT_EQ(parser.Tokenize(), 0);
    ASSERT_NE(parser.StartBufferReading(nullptr, 0), 0);
    EXPECT_EQ(parser.GetCurrentToken().GetDataType(), GENERIC_END_OF_INPUT);
    EXPECT_EQ(parser.StartBufferReading(nullptr, 5), 0);
    const std::string text = "a b";
    ASSERT_NE(parser.StartBufferReading(text.data(), text.size()), 0);
    // References keep naming the current and the look-ahead token.
    const CGenericToken& current = parser.GetCurrentToken();
    const CGenericToken& next = parser.GetNextToken();
    EXPECT_EQ(parser.Tokenize(), 1);
    EXPECT_EQ(current.GetText(), "b");
    EXPECT_EQ(next.GetDataType(), GENERIC_END_OF_INPUT);
    // The advance onto the end still counts as an advance.
    EXPECT_EQ(parser.Tokenize(), 1);
    EXPECT_EQ(parser.Tokenize(), 0);
    EXPECT_EQ(current.GetDataType(), GENERIC_END_OF_INPUT);
    EXPECT_EQ(next.GetDataType(), GENERIC_END_OF_INPUT);
    EXPECT_EQ(parser.GetCurrentTokenString(), "");
    EXPECT_EQ(parser.Tokenize(), 0);
}

TEST(Tokenizer, NestedBufferReadingReturnsToEachOuterPosition) {
    CGenericParser parser;
    const std::string outer = "o1 o2 o3";
    ASSERT_NE(parser.StartBufferReading(outer.data(), outer.size()), 0);
    parser.Tokenize();
    std::string inner = "i1 i2 i3";
    ASSERT_NE(parser.StartBufferReading(inner.data(), inner.size()), 0);
    // The text was copied: the caller may free or change its buffer.
    inner.assign(inner.size(), 'x');
    parser.Tokenize();
    ASSERT_NE(parser.StartBufferReading("j1", 2), 0);
    EXPECT_EQ(parser.GetNextToken().GetDataType(), GENERIC_END_OF_INPUT);
    ASSERT_NE(parser.StopBufferReading(), 0);
    EXPECT_EQ(parser.GetCurrentTokenString(), "i2");
    EXPECT_EQ(parser.GetNextTokenString(), "i3");
    parser.Tokenize();
    parser.Tokenize();
    // Rewinding the inner buffer from its end does not leave it.
    ASSERT_NE(parser.SetToStartOfBuffer(), 0);
    EXPECT_EQ(parser.GetCurrentTokenString(), "i1");
    EXPECT_EQ(parser.GetNextTokenString(), "i2");
    ASSERT_NE(parser.StopBufferReading(), 0);
    EXPECT_EQ(parser.GetCurrentTokenString(), "o2");
    EXPECT_EQ(parser.GetNextTokenString(), "o3");
    ASSERT_NE(parser.StopBufferReading(), 0);
    EXPECT_EQ(parser.StopBufferReading(), 0);
}

// One buffer after another: a state saved inside a finished buffer still
// reads that buffer's text, whatever the buffers read after it hold.
TEST(Tokenizer, StatesSavedInAFinishedBufferKeepTheirText) {
    CGenericParser parser;
    const std::string first = "a1 a2 a3";
    ASSERT_NE(parser.StartBufferReading(first.data(), first.size()), 0);
    parser.Tokenize();
    CGenericIOState saved;
    parser.SaveIOState(saved);
    ASSERT_NE(parser.StopBufferReading(), 0);

    for (const std::string text : {"b1 b2 b3 b4", "c1", "d1 d2 d3"}) {
        ASSERT_NE(parser.StartBufferReading(text.data(), text.size()), 0);
        EXPECT_EQ(parser.GetCurrentTokenString(), text.substr(0, 2));
        ASSERT_NE(parser.StopBufferReading(), 0);
    }
    ASSERT_NE(parser.RestoreIOState(saved), 0);
    EXPECT_EQ(parser.GetCurrentTokenString(), "a2");
    EXPECT_EQ(parser.GetNextTokenString(), "a3");
    parser.Tokenize();
    EXPECT_EQ(parser.GetCurrentTokenString(), "a3");
    // A buffer started while that state is read must not overwrite it.
    const std::string other = "e1 e2 e3 e4 e5 e6";
    ASSERT_NE(parser.StartBufferReading(other.data(), other.size()), 0);
    EXPECT_EQ(parser.GetCurrentTokenString(), "e1");
    ASSERT_NE(parser.StopBufferReading(), 0);
    EXPECT_EQ(parser.GetCurrentTokenString(), "a3");
    EXPECT_EQ(parser.GetNextToken().GetDataType(), GENERIC_END_OF_INPUT);
}

TEST(Tokenizer, DecrementOffsetOnlyUndoesAPendingScanHit) {
    CGenericParser parser;
    const std::string text = "{ a } b } c";
    ASSERT_NE(parser.StartBufferReading(text.data(), text.size()), 0);
    GenericTokenTypes found = GENERIC_WORD;
    ASSERT_NE(parser.FindBlockToken(GENERIC_OPEN_BRACE, GENERIC_CLOSE_BRACE, found), 0);
    EXPECT_EQ(found, GENERIC_CLOSE_BRACE);
    // A second step back, or one after an advance, must not move further.
    parser.DecrementOffset();
    parser.DecrementOffset();
    parser.Tokenize();
    EXPECT_EQ(parser.GetNextTokenString(), "}");
    parser.DecrementOffset();
    parser.Tokenize();
    EXPECT_EQ(parser.GetCurrentTokenString(), "}");
    EXPECT_EQ(parser.GetNextTokenString(), "b");
    // A scan that finds nothing more leaves the end of input behind it.
    const std::string unclosed = "{ a } \"}\" #}";
    ASSERT_NE(parser.StartBufferReading(unclosed.data(), unclosed.size()), 0);
    ASSERT_NE(parser.FindBlockToken(GENERIC_OPEN_BRACE, GENERIC_CLOSE_BRACE, found), 0);
    EXPECT_EQ(parser.FindBlockToken(GENERIC_OPEN_BRACE, GENERIC_CLOSE_BRACE, found), 0);
    parser.DecrementOffset();
    parser.Tokenize();
    EXPECT_EQ(parser.GetNextToken().GetDataType(), GENERIC_END_OF_INPUT);
}

TEST(Tokenizer, HugeTokensAreWhole) {
    std::string text(3u << 20, 'w');
    text += " \"";
    text.append(2u << 20, 's');
    const std::vector<Token> tokens = ReadAll(text);
    ASSERT_EQ(tokens.size(), 2u);
    EXPECT_EQ(tokens[0].text.size(), 3u << 20);
    EXPECT_EQ(tokens[1].kind, GENERIC_STRING);
    EXPECT_EQ(tokens[1].text.size(), (2u << 20) + 1);
}

// The bracket scan must find exactly the brackets of each pair that
// tokenizing `text` gives.
void ExpectScanFindsTheTokenizedBrackets(const std::string& text, const std::vector<GenericTokenTypes>& kinds) {
    const GenericTokenTypes pairs[][2] = {{GENERIC_OPEN_BRACE, GENERIC_CLOSE_BRACE},
                                          {GENERIC_OPEN_BRACKET, GENERIC_CLOSE_BRACKET},
                                          {GENERIC_OPEN_PAREN, GENERIC_CLOSE_PAREN}};
    for (const auto& pair : pairs) {
        std::vector<GenericTokenTypes> tokenized;
        std::copy_if(kinds.begin(), kinds.end(), std::back_inserter(tokenized),
                     [&](GenericTokenTypes kind) { return kind == pair[0] || kind == pair[1]; });
        // The scan starts behind the look-ahead token: a text that opens
        // with a space keeps the first bracket in view.
        const std::string scanned = "a b " + text;
        CGenericParser parser;
        ASSERT_NE(parser.StartBufferReading(scanned.data(), scanned.size()), 0);
        std::vector<GenericTokenTypes> found;
        GenericTokenTypes kind = GENERIC_WORD;
        while (found.size() <= text.size() && parser.FindBlockToken(pair[0], pair[1], kind) != 0)
            found.push_back(kind);
        EXPECT_EQ(found, tokenized);
    }
}

// Binary garbage over the bytes that matter: tokens must be non-empty
// slices of the text, in order, and the end must come.
TEST(Tokenizer, RandomBytesGiveOrderedTokensAndTheBracketsThatTheScanFinds) {
    const char alphabet[] = "\0\x01{}[]()\"\\#,\r\n 0x1e.-+aZ\x80\xff";
    Random next{777};
    for (int round = 0; round < 50; ++round) {
        std::string text(static_cast<size_t>(round) * 36 + 1, ' ');
        for (char& c : text)
            c = alphabet[next(sizeof alphabet - 1)];
        SCOPED_TRACE(text);
        CGenericParser parser;
        ASSERT_NE(parser.StartBufferReading(text.data(), text.size()), 0);
        // Tokens are views into the tokenizer's copy: compare positions in that copy.
        const char* previousEnd = nullptr;
        std::vector<GenericTokenTypes> kinds;
        while (parser.GetCurrentToken().GetDataType() != GENERIC_END_OF_INPUT) {
            const std::string_view token = parser.GetCurrentTokenText();
            ASSERT_FALSE(token.empty());
            ASSERT_TRUE(previousEnd == nullptr || token.data() >= previousEnd);
            previousEnd = token.data() + token.size();
            // Its offset finds the same bytes in the text handed in.
            ASSERT_LE(parser.GetCurrentTokenOffset() + token.size(), text.size());
            ASSERT_EQ(std::string_view(text).substr(parser.GetCurrentTokenOffset(), token.size()), token);
            kinds.push_back(parser.GetCurrentToken().GetDataType());
            ASSERT_LE(kinds.size(), text.size());
            parser.Tokenize();
        }
        ExpectScanFindsTheTokenizedBrackets(text, kinds);
    }
}

// Separator runs, words and the bracket scan are read many bytes at a time:
// tokens of every length, between separator runs of every length, must
// come out whole wherever they fall against those steps, up to the very end
// of the text.
TEST(Tokenizer, TokensAreWholeWhateverTheirLengthAndPlace) {
    const std::vector<Token> pool = {
        {GENERIC_NUMBER, "-12.3456"},
        {GENERIC_NUMBER, "7"},
        {W, "a"},
        {W, "word_with_many_bytes_beyond_sixteen_and_more"},
        {W, "\x7f!\x80\xff;:\xa2\xa3\xfb\xdb"}, // bytes next to the stops and separators
        {GENERIC_OPEN_BRACE, "{"},
        {GENERIC_CLOSE_BRACE, "}"},
        {GENERIC_OPEN_BRACKET, "["},
        {GENERIC_CLOSE_BRACKET, "]"},
        {GENERIC_OPEN_PAREN, "("},
        {GENERIC_CLOSE_PAREN, ")"},
        {S, "\"a, {b} # c\""},
        {B, "TRUE"},
    };
    const char separators[] = {' ', ',', '\n', '\t', '\r', '\0', '\x01', '\x1f'};
    Random next{4242};
    for (int round = 0; round < 60; ++round) {
        std::string text;
        std::vector<Token> expected;
        bool previousIsWord = false;
        for (int t = 0; t < 40; ++t) {
            // Two words need a separator between them; next to a bracket or
            // a string a word may end or start with no separator at all.
            // Now and then a comment, which also ends a word.
            const Token& token = pool[next(static_cast<uint32_t>(pool.size()))];
            const bool isWord =
                token.kind == GENERIC_WORD || token.kind == GENERIC_NUMBER || token.kind == GENERIC_BOOLEAN;
            if (!(previousIsWord && isWord) && next(2) == 0) {
                text += token.text;
            } else {
                const size_t run = next(5) == 0 ? 17 + next(40) : next(3);
                for (size_t k = 0; k < run; ++k)
                    text += separators[next(sizeof separators)];
                if (next(8) == 0)
                    text += "# comment { \" [\n";
                text += ' ' + token.text;
            }
            if (next(10) == 0 && isWord)
                text += "# a comment right behind a word\n";
            expected.push_back(token);
            previousIsWord = isWord;
        }
        text.append(next(3), ' ');
        SCOPED_TRACE(text);
        EXPECT_EQ(ReadAll(text), expected);
        std::vector<GenericTokenTypes> kinds;
        for (const Token& token : expected)
            kinds.push_back(token.kind);
        ExpectScanFindsTheTokenizedBrackets(text, kinds);
    }
}

} // namespace

// Read with the "[" current: the estimate sizes the list before it is read.
// Short lists are counted; a long one may come out somewhat high (room that
// is reserved and never touched) but hardly low (the list would copy itself
// to grow).
TEST(Tokenizer, EstimatesTheNumbersOfTheListAhead) {
    std::string mesh = "[";
    for (int face = 0; face < 5000; ++face)
        mesh += std::to_string(face) + ", " + std::to_string(face + 1) + ", " + std::to_string(face + 7) + ", -1,\n";
    mesh += "] [ 1 2 ]";
    struct Case {
        std::string text;
        size_t numbers, runEnds;
        double over; // relative room above the truth, for lists longer than the sample
    };
    const Case cases[] = {
        {"[ 1 2 3 ]", 3, 0, 0.0},
        {"[ 0 1 2 -1, 3 4 5 -1 -12 ] [ 7 8 9 ]", 9, 2, 0.0}, // -12 ends no run; the next list is not counted
        {"[ 1 # 2 3\n 4 ]", 2, 0, 0.0},                      // a comment hides its numbers
        {"[ ] [ 1 2 3 ]", 0, 0, 0.0},                        // an empty list is empty
        {"[ word 1 2 ]", 0, 0, 0.0},                         // no number ahead: no guess
        {"[ 1 2 3", 3, 0, 0.0},                              // a list cut short ends with the text
        {mesh, 20000, 5000, 0.25},                           // indices grow longer along the list
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        CGenericParser parser;
        ASSERT_NE(parser.StartBufferReading(c.text.data(), c.text.size()), 0);
        const CGenericParser::NumbersAhead ahead = parser.EstimateNumbersAhead();
        for (auto [estimate, truth] : {std::pair(ahead.numbers, c.numbers), std::pair(ahead.runEnds, c.runEnds)}) {
            EXPECT_GE(static_cast<double>(estimate), static_cast<double>(truth) * (c.over > 0 ? 0.97 : 1.0));
            EXPECT_LE(static_cast<double>(estimate), static_cast<double>(truth) * (1.0 + c.over));
        }
    }
}

// Reading number groups in one go leaves the tokenizer where Tokenize calls
// over the same groups would, with the values they would read; a group that
// is not whole, or a number only the longer route reads, is left to Tokenize.
TEST(Tokenizer, NumberGroupsReadAsTokenizeWould) {
    struct Case {
        std::string text;
        size_t groupSize;
        size_t groups;
    };
    const Case cases[] = {
        {"1 2 3, 4 5 6 ]", 3, 2},
        {"1 2 3 4 5 ]", 3, 1}, // the second group is not whole
        {"0 1 2 -1 # a comment\n 3, 4 -0 ] }", 1, 7},
        {"1.5 2 -0.25 7 8 9", 3, 2},               // the last group ends the text
        {"1.5 2 -0.25 7e1 8 9", 3, 1},             // an exponent takes the longer route
        {"1 2 3 0.1234567890123456789 5 6", 3, 1}, // a long decimal is read by Tokenize
        {"1 2 3x 4", 1, 2},                        // "3x" is a word
        {"]", 1, 0},
        {"1 2 3 TRUE", 2, 1},
    };
    for (const Case& c : cases)
        for (bool integers : {false, true}) {
            SCOPED_TRACE(c.text + (integers ? " as integers" : ""));
            CGenericParser fast, slow;
            ASSERT_NE(fast.StartBufferReading(c.text.data(), c.text.size()), 0);
            ASSERT_NE(slow.StartBufferReading(c.text.data(), c.text.size()), 0);
            std::vector<double> values(c.groupSize * 8, 0.0);
            ASSERT_EQ(fast.ReadNumberGroups(c.groupSize, 8, values.data(), integers), c.groups);
            for (size_t i = 0; i < c.groups * c.groupSize; ++i) {
                ASSERT_EQ(slow.GetCurrentToken().GetDataType(), GENERIC_NUMBER);
                const double expected = slow.GetCurrentToken().GetNumericValue();
                EXPECT_EQ(std::signbit(values[i]), std::signbit(expected));
                EXPECT_EQ(values[i], expected);
                slow.Tokenize();
            }
            EXPECT_EQ(fast.GetCurrentToken().GetDataType(), slow.GetCurrentToken().GetDataType());
            EXPECT_EQ(fast.GetCurrentTokenString(), slow.GetCurrentTokenString());
            EXPECT_EQ(fast.GetNextToken().GetDataType(), slow.GetNextToken().GetDataType());
            EXPECT_EQ(fast.GetNextTokenString(), slow.GetNextTokenString());
            EXPECT_EQ(fast.GetCurrentFileOffset(), slow.GetCurrentFileOffset());
        }
}

// The integer shortcut takes only what ScanToken reads as the same number,
// ending at the same place; the rest it leaves to ScanToken.
TEST(Tokenizer, PlainIntegersScanAsScanTokenDoes) {
    const struct {
        const char* text;
        bool plain;
    } cases[] = {
        {"0 ", true},
        {"-0,", true},
        {" \n\t,42]", true},
        {"007}", true},
        {"123456789012345", true},
        {"-17#c", true},
        {"1234567890123456", false},
        {"12a", false},
        {"1.5", false},
        {"1e3", false},
        {"-", false},
        {"-x", false},
        {"+5", false},
        {"#1\n2", false},
        {"", false},
        {"0x1F", false},
        {"5\"s\"", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const size_t size = std::strlen(c.text);
        double value = 0.0;
        const size_t end = TokenScanner::ScanPlainInteger(c.text, size, 0, value);
        EXPECT_EQ(end != 0, c.plain);
        if (end == 0)
            continue;
        TokenScanner::RawToken raw;
        EXPECT_EQ(TokenScanner::ScanToken(c.text, size, 0, raw), end);
        EXPECT_EQ(raw.kind, GENERIC_NUMBER);
        EXPECT_EQ(std::signbit(value), std::signbit(raw.number));
        EXPECT_EQ(value, raw.number);
    }
}

namespace {
std::vector<std::string> TokensAfterUse(std::string_view text) {
    CGenericParser parser;
    EXPECT_NE(parser.StartBufferReading(text.data(), text.size()), 0);
    std::vector<std::string> found;
    parser.ForEachTokenAfterWord("use", [&](std::string_view token) { found.emplace_back(token); });
    return found;
}
} // namespace

TEST(Tokenizer, WordSearchFindsWholeWordsInAnyCase) {
    using Names = std::vector<std::string>;
    EXPECT_EQ(TokensAfterUse("USE a use b UsE c"), (Names{"a", "b", "c"}));
    // Only whole words: not at the end or start of a longer word.
    EXPECT_EQ(TokensAfterUse("house d USEx e xUSE f us g uses h"), Names{});
    // Bytes that end a word on either side; the next token as the tokenizer reads it.
    EXPECT_EQ(TokensAfterUse("[USE i]{USE\tj}\"x\"USE,k USE # note\n l USE 12 USE \"s t\" USE{"),
              (Names{"i", "j", "k", "l", "12", "\"s t\"", "{"}));
    // At the very end the token is the empty end of input.
    EXPECT_EQ(TokensAfterUse("x USE"), Names{""});
    EXPECT_EQ(TokensAfterUse("USE"), Names{""});
    EXPECT_EQ(TokensAfterUse("US"), Names{});
    // A plain word repeating the one before is reported once; anything else again.
    EXPECT_EQ(TokensAfterUse("USE a USE a,USE a{ USE ab USE a USE a1 USE 1 USE 1 uSE\"q\" USE \"q\""),
              (Names{"a", "ab", "a", "a1", "1", "1", "\"q\"", "\"q\""}));
    // By the bytes alone: in a comment or a string it counts too.
    EXPECT_EQ(TokensAfterUse("# USE m\n\"USE n\""), (Names{"m", "n"}));
}

// A use found wherever it falls, up to the very end of the text, and none
// where a word byte joins it.
TEST(Tokenizer, WordSearchFindsUsesWhereverTheyFall) {
    for (size_t before = 0; before < 40; ++before) {
        for (size_t after = 0; after < 20; ++after) {
            const std::string text = std::string(before, 'x') + " uSe name" + std::string(after, ' ');
            SCOPED_TRACE(text);
            EXPECT_EQ(TokensAfterUse(text), std::vector<std::string>{"name"});
            std::string joined = text;
            joined[before] = 'x';
            EXPECT_EQ(TokensAfterUse(joined), std::vector<std::string>{});
        }
    }
}

// Every token that the tokenizer reads behind a USE word is among those the
// search reports, whatever the bytes around it.
TEST(Tokenizer, WordSearchCoversEveryTokenAfterUse) {
    const char* pieces[] = {"USE", "use", "uSE", "x", "se", "u", " ", "\n",   ",", "{",
                            "}",   "[",   "\"",  "#", "\\", "1", "-", "\x80", "\0"};
    Random next{4242};
    for (int round = 0; round < 300; ++round) {
        std::string text;
        for (int i = 0; i < 40; ++i) {
            const char* piece = pieces[next(std::size(pieces))];
            text += piece[0] ? std::string(piece) : std::string(1, '\0');
        }
        SCOPED_TRACE(text);
        const std::vector<Token> tokens = ReadAll(text);
        const std::vector<std::string> found = TokensAfterUse(text);
        for (size_t i = 0; i + 1 < tokens.size(); ++i) {
            std::string lower = tokens[i].text;
            std::transform(lower.begin(), lower.end(), lower.begin(),
                           [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
            if (lower == "use") {
                EXPECT_NE(std::find(found.begin(), found.end(), tokens[i + 1].text), found.end()) << tokens[i + 1].text;
            }
        }
    }
}
