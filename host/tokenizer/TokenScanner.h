#pragma once
// The byte level of the tokenizer: character classes, the scan of one raw
// token and the number syntax. Private to the tokenizer library.
// ScanToken and ScanPlainInteger are defined in TokenScannerInline.h.

#include "GenericTypes.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace TokenScanner {

enum CharacterClass : uint8_t {
    Separator = 1,    // whitespace, comma, NUL and every other control byte
    Bracket = 2,      // { } [ ] ( )
    Quote = 4,        // "
    CommentStart = 8, // #
    WordByte = 16,    // anything else, non-ASCII bytes included
    NumberStart = 32, // a word starting with one of these may be a number
    LineEnd = 64      // ends a comment
};

constexpr std::array<uint8_t, 256> MakeCharacterClasses() {
    std::array<uint8_t, 256> classes{};
    for (int c = 0; c < 256; ++c) {
        uint8_t cls = WordByte;
        if (c <= 0x20 || c == ',') {
            cls = Separator;
        } else if (c == '{' || c == '}' || c == '[' || c == ']' || c == '(' || c == ')') {
            cls = Bracket;
        } else if (c == '"') {
            cls = Quote;
        } else if (c == '#') {
            cls = CommentStart;
        }
        if ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.') {
            cls = static_cast<uint8_t>(cls | NumberStart);
        }
        if (c == '\n' || c == '\r') {
            cls = static_cast<uint8_t>(cls | LineEnd);
        }
        classes[static_cast<size_t>(c)] = cls;
    }
    return classes;
}

inline constexpr std::array<uint8_t, 256> CharacterClasses = MakeCharacterClasses();

constexpr std::array<uint8_t, 256> MakeBracketKinds() {
    std::array<uint8_t, 256> kinds{};
    kinds['{'] = static_cast<uint8_t>(GENERIC_OPEN_BRACE);
    kinds['}'] = static_cast<uint8_t>(GENERIC_CLOSE_BRACE);
    kinds['['] = static_cast<uint8_t>(GENERIC_OPEN_BRACKET);
    kinds[']'] = static_cast<uint8_t>(GENERIC_CLOSE_BRACKET);
    kinds['('] = static_cast<uint8_t>(GENERIC_OPEN_PAREN);
    kinds[')'] = static_cast<uint8_t>(GENERIC_CLOSE_PAREN);
    return kinds;
}

inline constexpr std::array<uint8_t, 256> BracketKinds = MakeBracketKinds();

inline uint8_t ClassOf(char c) { return CharacterClasses[static_cast<unsigned char>(c)]; }

// A token found by ScanToken before words are told apart: kind is
// GENERIC_END_OF_INPUT, a bracket kind, GENERIC_STRING or GENERIC_WORD, or
// GENERIC_NUMBER with its value for a short plain decimal (sign, at most 19
// digits with or without a point), read in the same pass as its bytes. A
// word of any other form may still be a number: ParseNumber decides.
struct RawToken {
    GenericTokenTypes kind = GENERIC_END_OF_INPUT;
    size_t begin = 0;
    size_t end = 0;
    double number = 0.0;
};

// Scans one token of text[0, size) starting at `pos`, passing over separators
// and comments; returns the position behind it. At the end the token is
// GENERIC_END_OF_INPUT, empty, at `size`.
inline size_t ScanToken(const char* text, size_t size, size_t pos, RawToken& token);

// The next token behind `pos` when it is a plain integer ("-" and at most 15
// digits, up to a byte that ends a word), the most common token of a mesh:
// returns the position behind it, with the value ScanToken gives it. 0 for
// anything else, which ScanToken reads.
inline size_t ScanPlainInteger(const char* text, size_t size, size_t pos, double& value);

// Like ScanToken but only looks for brackets: returns the position of the next
// bracket behind `pos` that is outside comments and strings, or `size`.
size_t FindBracket(const char* text, size_t size, size_t pos);

// The occurrences of `word` (ASCII letters in lower case, the first one a
// letter) in any letter case that no word byte touches on either side, in
// the order of the text. Found by the bytes alone, comments and strings
// included, with memchr on each case of the first letter: files hold few of
// them.
class WordFinder {
public:
    WordFinder(const char* text, size_t size, std::string_view word);
    // The position of the next occurrence; `size` when there is none.
    size_t Next();

private:
    size_t NextFrom(size_t from, char first) const;

    const char* text;
    size_t size;
    std::string_view word;
    size_t upper; // the next occurrence starting with the capital letter
    size_t lower;
};

// True when the whole word is a number: optional sign, then a decimal with
// optional fraction and exponent, or 0x and hexadecimal digits. A decimal too
// large for a double gives an infinity, one too small gives zero.
bool ParseNumber(const char* begin, const char* end, double& value);

} // namespace TokenScanner

#include "TokenScannerInline.h"
