#include "TokenScanner.h"

#include "FloatChars.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>
#include <system_error>

namespace TokenScanner {

using namespace Detail;

namespace {

// The position of the next bracket, quote or '#' at or behind `pos`, or
// `size`. Skipped blocks are mostly long runs of numbers, so this is where
// skipping spends its time.
size_t SkipToBlockStop(const char* text, size_t size, size_t pos) {
#ifdef TOKEN_SCANNER_SSE2
    for (; pos + 16 <= size; pos += 16) {
        const unsigned stops = MaskOf(StopBytes(Load16(text + pos)));
        if (stops != 0) {
            return pos + LowestSetBit(stops);
        }
    }
#endif
    constexpr uint8_t Stop = Bracket | Quote | CommentStart;
    while (pos < size && (ClassOf(text[pos]) & Stop) == 0) {
        ++pos;
    }
    return pos;
}

} // namespace

size_t Detail::PastComment(const char* text, size_t size, size_t pos) {
    ++pos;
    while (pos < size && (ClassOf(text[pos]) & LineEnd) == 0) {
        ++pos;
    }
    return pos;
}

size_t Detail::PastQuotedString(const char* text, size_t size, size_t pos) {
    ++pos;
    while (pos < size) {
        const char c = text[pos];
        if (c == '"') {
            return pos + 1;
        }
        pos += (c == '\\' && pos + 1 < size) ? 2 : 1;
    }
    return pos;
}

size_t FindBracket(const char* text, size_t size, size_t pos) {
    while (pos < size) {
        pos = SkipToBlockStop(text, size, pos);
        if (pos >= size) {
            break;
        }
        const uint8_t cls = ClassOf(text[pos]);
        if ((cls & Bracket) != 0) {
            return pos;
        }
        if ((cls & CommentStart) != 0) {
            pos = PastComment(text, size, pos);
        } else if ((cls & Quote) != 0) {
            pos = PastQuotedString(text, size, pos);
        } else {
            ++pos;
        }
    }
    return size;
}

namespace {

// A word is a whole token when no word byte touches it on either side.
bool IsWholeWordAt(const char* text, size_t size, size_t at, std::string_view word) {
    for (size_t i = 0; i < word.size(); ++i) {
        if ((static_cast<unsigned char>(text[at + i]) | 0x20) != static_cast<unsigned char>(word[i])) {
            return false;
        }
    }
    const bool joinedBefore = at > 0 && (ClassOf(text[at - 1]) & WordByte) != 0;
    const size_t after = at + word.size();
    const bool joinedAfter = after < size && (ClassOf(text[after]) & WordByte) != 0;
    return !joinedBefore && !joinedAfter;
}

} // namespace

WordFinder::WordFinder(const char* text, size_t size, std::string_view word)
    : text(text), size(size), word(word), upper(size), lower(size) {
    if (word.empty() || size < word.size()) {
        return;
    }
    lower = NextFrom(0, word[0]);
    const char upperFirst = static_cast<char>(word[0] & ~0x20);
    if (upperFirst != word[0]) {
        upper = NextFrom(0, upperFirst);
    }
}

size_t WordFinder::NextFrom(size_t from, char first) const {
    const size_t lastStart = size - word.size();
    while (from <= lastStart) {
        const void* hit = std::memchr(text + from, first, lastStart + 1 - from);
        if (hit == nullptr) {
            break;
        }
        const size_t at = static_cast<size_t>(static_cast<const char*>(hit) - text);
        if (IsWholeWordAt(text, size, at, word)) {
            return at;
        }
        from = at + 1;
    }
    return size;
}

size_t WordFinder::Next() {
    size_t& stream = upper < lower ? upper : lower;
    const size_t at = stream;
    if (at < size) {
        stream = NextFrom(at + 1, text[at]);
    }
    return at;
}

namespace {

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// std::from_chars reports a decimal out of the range of double without a
// value. Whether it overflowed or underflowed follows from the decimal order
// of magnitude: digits before the point, minus zeros after it, plus exponent.
bool DecimalIsTooLarge(const char* p, const char* end) {
    int64_t order = 0;
    bool afterPoint = false;
    bool significant = false;
    for (; p < end && *p != 'e' && *p != 'E'; ++p) {
        if (*p == '.') {
            afterPoint = true;
        } else if (!significant && *p == '0') {
            if (afterPoint) {
                --order;
            }
        } else {
            significant = true;
            if (!afterPoint) {
                ++order;
            }
        }
    }
    int64_t exponent = 0;
    bool negativeExponent = false;
    if (p < end) {
        ++p;
        if (p < end && (*p == '+' || *p == '-')) {
            negativeExponent = *p == '-';
            ++p;
        }
        // The bound keeps the sum from overflowing; any such exponent is out of range anyway.
        for (; p < end && exponent < 1000000000; ++p) {
            exponent = exponent * 10 + (*p - '0');
        }
    }
    return order + (negativeExponent ? -exponent : exponent) > 0;
}

// The decimal [p, end) without sign or exponent, as ShortDecimalValue reads
// it; false, without a value, for everything else.
bool ParseShortDecimal(const char* p, const char* end, double& value) {
    DecimalDigits decimal;
    return ReadDecimalDigits(p, end, decimal) == end && ShortDecimalValue(decimal, value);
}

} // namespace

bool ParseNumber(const char* begin, const char* end, double& value) {
    const char* p = begin;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    if (p == end) {
        return false;
    }
    double result = 0.0;
    if (end - p > 2 && p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        // Accumulated in double, so a long hexadecimal run loses precision
        // instead of wrapping around.
        for (p += 2; p < end; ++p) {
            const int digit = HexDigitValue(*p);
            if (digit < 0) {
                return false;
            }
            result = result * 16.0 + digit;
        }
    } else {
        // from_chars would also take "inf" and "nan"; in a scene file those are words.
        if (!((*p >= '0' && *p <= '9') || *p == '.')) {
            return false;
        }
        if (ParseShortDecimal(p, end, result)) {
            value = negative ? -result : result;
            return true;
        }
        const std::from_chars_result parsed = trelChars::FromChars(p, end, result);
        if (parsed.ptr != end) {
            return false;
        }
        if (parsed.ec == std::errc::result_out_of_range) {
            result = DecimalIsTooLarge(p, end) ? std::numeric_limits<double>::infinity() : 0.0;
        } else if (parsed.ec != std::errc()) {
            return false;
        }
    }
    value = negative ? -result : result;
    return true;
}

} // namespace TokenScanner
