#pragma once
// The hot part of the byte-level scan, defined here so that the tokenizer's
// per-token loop and the number-group reader inline it: one call per token
// of a large file is a measurable share of the load. Included by
// TokenScanner.h; nothing here is meant to be used on its own.

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__) || defined(_M_X64) || (defined(_M_IX86_FP) && _M_IX86_FP >= 2)
#define TOKEN_SCANNER_SSE2 1
#include <emmintrin.h>
#if defined(_MSC_VER) && !defined(__clang__)
#include <intrin.h>
#endif
#endif

// The scan of a token is inlined where it is called, however large: it runs
// once per token, and its callers are few.
#if defined(_MSC_VER) && !defined(__clang__)
#define TOKEN_SCANNER_HOT __forceinline
#elif defined(__GNUC__)
#define TOKEN_SCANNER_HOT inline __attribute__((always_inline))
#else
#define TOKEN_SCANNER_HOT inline
#endif

namespace TokenScanner {
namespace Detail {

// The runs of separators and of word bytes, and the long stretches a skipped
// block is passed over by, are read sixteen bytes at a time where SSE2 is
// there; the class table does the rest, and everything near the end.
#ifdef TOKEN_SCANNER_SSE2

// Index of the lowest set bit of a non-zero mask.
inline unsigned LowestSetBit(unsigned mask) {
#if defined(_MSC_VER) && !defined(__clang__)
    unsigned long index = 0;
    _BitScanForward(&index, mask);
    return static_cast<unsigned>(index);
#else
    return static_cast<unsigned>(__builtin_ctz(mask));
#endif
}

inline __m128i Load16(const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

// The bytes that are brackets, quotes or '#'. They pair up under two masks:
// c | 0x20 turns "[" and "]" into "{" and "}", and c & 0xFE turns ")" into
// "(" and "#" into the quote.
inline __m128i StopBytes(__m128i bytes) {
    const __m128i folded = _mm_or_si128(bytes, _mm_set1_epi8(0x20));
    const __m128i paired = _mm_and_si128(bytes, _mm_set1_epi8(static_cast<char>(0xFE)));
    return _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(folded, _mm_set1_epi8('{')), _mm_cmpeq_epi8(folded, _mm_set1_epi8('}'))),
        _mm_or_si128(_mm_cmpeq_epi8(paired, _mm_set1_epi8('(')), _mm_cmpeq_epi8(paired, _mm_set1_epi8('"'))));
}

// The separators: every byte up to the space, and the comma.
inline __m128i SeparatorBytes(__m128i bytes) {
    const __m128i space = _mm_set1_epi8(0x20);
    return _mm_or_si128(_mm_cmpeq_epi8(_mm_min_epu8(bytes, space), bytes), _mm_cmpeq_epi8(bytes, _mm_set1_epi8(',')));
}

inline unsigned MaskOf(__m128i flags) { return static_cast<unsigned>(_mm_movemask_epi8(flags)); }

#endif

inline bool IsDigit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// Digits, an optional point and digits: the digits as one number (more
// than 19 may wrap it, unsigned, so defined) and how many stood on each side.
struct DecimalDigits {
    uint64_t digits = 0;
    size_t integerDigits = 0;
    size_t fractionDigits = 0;
};

// Reads the digits of a decimal from p; returns where they end.
inline const char* ReadDecimalDigits(const char* p, const char* end, DecimalDigits& decimal) {
    const char* const integerStart = p;
    for (; p < end && IsDigit(*p); ++p) {
        decimal.digits = decimal.digits * 10 + static_cast<uint64_t>(*p - '0');
    }
    decimal.integerDigits = static_cast<size_t>(p - integerStart);
    if (p < end && *p == '.') {
        const char* const fractionStart = ++p;
        for (; p < end && IsDigit(*p); ++p) {
            decimal.digits = decimal.digits * 10 + static_cast<uint64_t>(*p - '0');
        }
        decimal.fractionDigits = static_cast<size_t>(p - fractionStart);
    }
    return p;
}

// The value of a decimal read as its digits without the point: exact when
// the digits fit a double's mantissa and the power of ten is exact too, so
// the one division is correctly rounded and equals std::from_chars's result.
// False (no value) for every other decimal.
inline bool ShortDecimalValue(const DecimalDigits& decimal, double& value) {
    static constexpr double PowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const size_t digitCount = decimal.integerDigits + decimal.fractionDigits;
    if (digitCount == 0 || digitCount > 19 || decimal.digits > (uint64_t(1) << 53) || decimal.fractionDigits > 22) {
        return false;
    }
    value = static_cast<double>(decimal.digits);
    if (decimal.fractionDigits > 0) {
        value /= PowersOfTen[decimal.fractionDigits];
    }
    return true;
}

// Reads a word that is a short plain decimal in one pass: sign, digits, an
// optional point and digits, and then the word's end. Returns the position
// behind it, or 0 when the word is anything else (exponent, hexadecimal,
// too many digits, letters...), which the general path then reads.
inline size_t ScanShortDecimal(const char* text, size_t size, size_t pos, double& value) {
    const bool negative = text[pos] == '-';
    if (text[pos] == '+' || negative) {
        ++pos;
    }
    DecimalDigits decimal;
    pos = static_cast<size_t>(ReadDecimalDigits(text + pos, text + size, decimal) - text);
    if ((pos < size && (ClassOf(text[pos]) & WordByte) != 0) || !ShortDecimalValue(decimal, value)) {
        return 0;
    }
    if (negative) {
        value = -value;
    }
    return pos;
}

// The first byte at or behind `pos` that is not of class `Run` (separators
// or word bytes), or `size`. Most tokens follow one separator byte and most
// words are short, so the first two bytes are tested one by one; indentation
// and long words make the runs read sixteen bytes at a time.
template <CharacterClass Run>
inline size_t SkipRun(const char* text, size_t size, size_t pos) {
    for (int k = 0; k < 2; ++k, ++pos) {
        if (pos >= size || (ClassOf(text[pos]) & Run) == 0) {
            return pos;
        }
    }
#ifdef TOKEN_SCANNER_SSE2
    for (; pos + 16 <= size; pos += 16) {
        const __m128i bytes = Load16(text + pos);
        // A word ends at a separator or at a byte that starts another token.
        const unsigned ends = Run == Separator ? ~MaskOf(SeparatorBytes(bytes)) & 0xFFFFu
                                               : MaskOf(_mm_or_si128(SeparatorBytes(bytes), StopBytes(bytes)));
        if (ends != 0) {
            return pos + LowestSetBit(ends);
        }
    }
#endif
    while (pos < size && (ClassOf(text[pos]) & Run) != 0) {
        ++pos;
    }
    return pos;
}

// The position behind the comment that starts at `pos`: at its line end, or `size`.
size_t PastComment(const char* text, size_t size, size_t pos);
// The position behind the quoted string that starts at `pos`; an
// unterminated one runs to the end of the input.
size_t PastQuotedString(const char* text, size_t size, size_t pos);

} // namespace Detail

TOKEN_SCANNER_HOT size_t ScanToken(const char* text, size_t size, size_t pos, RawToken& token) {
    for (;;) {
        pos = Detail::SkipRun<Separator>(text, size, pos);
        if (pos >= size) {
            token = RawToken{GENERIC_END_OF_INPUT, size, size};
            return size;
        }
        const size_t begin = pos;
        const uint8_t cls = ClassOf(text[pos]);
        if ((cls & WordByte) != 0) {
            // Meshes are mostly numbers: a plain decimal is read as it is scanned.
            if ((cls & NumberStart) != 0) {
                double number = 0.0;
                if (const size_t end = Detail::ScanShortDecimal(text, size, pos, number)) {
                    token = RawToken{GENERIC_NUMBER, begin, end, number};
                    return end;
                }
            }
            pos = Detail::SkipRun<WordByte>(text, size, pos + 1);
            token = RawToken{GENERIC_WORD, begin, pos};
            return pos;
        }
        if ((cls & Bracket) != 0) {
            token = RawToken{static_cast<GenericTokenTypes>(BracketKinds[static_cast<unsigned char>(text[pos])]), begin,
                             pos + 1};
            return pos + 1;
        }
        if ((cls & CommentStart) != 0) {
            pos = Detail::PastComment(text, size, pos);
            continue;
        }
        pos = Detail::PastQuotedString(text, size, pos);
        token = RawToken{GENERIC_STRING, begin, pos};
        return pos;
    }
}

inline size_t ScanPlainInteger(const char* text, size_t size, size_t pos, double& value) {
    constexpr size_t MostDigits = 15; // below 2^53: the value is exact
    pos = Detail::SkipRun<Separator>(text, size, pos);
    if (pos >= size)
        return 0;
    const bool negative = text[pos] == '-';
    const size_t start = pos + (negative ? 1 : 0);
    uint64_t digits = 0;
    size_t end = start;
    for (; end < size && end - start <= MostDigits; ++end) {
        const unsigned digit = static_cast<unsigned char>(text[end]) - static_cast<unsigned>('0');
        if (digit > 9)
            break;
        digits = digits * 10 + digit;
    }
    if (end == start || end - start > MostDigits || (end < size && (ClassOf(text[end]) & WordByte) != 0))
        return 0;
    value = static_cast<double>(digits);
    if (negative)
        value = -value;
    return end;
}

} // namespace TokenScanner
