// The replacements for floating-point std::to_chars and std::from_chars that
// the WebAssembly build uses, held against the standard calls here: an
// output written there must be the native tool's to the byte.

#include "host/tokenizer/FloatChars.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace trelChars;

namespace {

template <class Float>
Float FromBits(uint64_t bits) {
    Float value;
    if constexpr (sizeof(Float) == 4) {
        const auto narrow = static_cast<uint32_t>(bits);
        std::memcpy(&value, &narrow, sizeof value);
    } else {
        std::memcpy(&value, &bits, sizeof value);
    }
    return value;
}

std::string Text(char* first, std::to_chars_result written) {
    return written.ec == std::errc() ? std::string(first, written.ptr) : "(error)";
}

template <class Float>
std::string Standard(Float value) {
    char text[512];
    return Text(text, std::to_chars(text, text + sizeof text, value));
}

template <class Float>
std::string Replacement(Float value) {
    char text[512];
    return Text(text, FallbackToChars(text, text + sizeof text, value));
}

// Values where the choice between the forms, or the digits, is easy to get
// wrong: ties between fixed and scientific, whole numbers wider than their
// shortest digits, powers of two (whose neighbours are closer on one side),
// subnormals and the ends of the range.
template <class Float>
std::vector<Float> EdgeValues() {
    using Limits = std::numeric_limits<Float>;
    std::vector<Float> values = {0,
                                 -0.0f,
                                 1,
                                 -1,
                                 0.1f,
                                 0.001f,
                                 0.0001f,
                                 1e-5f,
                                 100000,
                                 1234567,
                                 123456792.0f,
                                 16777216,
                                 2e7f,
                                 1e10f,
                                 3.4e38f,
                                 Limits::min(),
                                 Limits::denorm_min(),
                                 Limits::max(),
                                 Limits::lowest(),
                                 Limits::epsilon(),
                                 Limits::infinity(),
                                 -Limits::infinity()};
    for (int exponent = Limits::min_exponent - Limits::digits; exponent <= Limits::max_exponent; ++exponent) {
        const Float power = std::ldexp(Float(1), exponent);
        values.insert(values.end(), {power, std::nextafter(power, Float(0)), std::nextafter(power, Limits::max())});
    }
    for (Float ten = 1; std::isfinite(ten); ten *= 10)
        values.insert(values.end(), {ten, ten * Float(1.5), Float(1) / ten});
    return values;
}

template <class Float>
void ExpectShortestAsStandard(int randomCount) {
    std::mt19937_64 random(29);
    std::vector<Float> values = EdgeValues<Float>();
    for (int i = 0; i < randomCount; ++i) {
        const Float value = FromBits<Float>(random());
        if (!std::isnan(value))
            values.push_back(value);
    }
    // Scene-sized numbers, where most of a file's numbers lie.
    std::uniform_real_distribution<double> scene(-1000.0, 1000.0);
    for (int i = 0; i < randomCount; ++i)
        values.push_back(static_cast<Float>(scene(random)));
    int mismatches = 0;
    for (Float value : values) {
        const std::string expected = Standard(value), got = Replacement(value);
        EXPECT_EQ(got, expected);
        if (got != expected && ++mismatches > 20)
            break;
    }
}

} // namespace

TEST(FloatChars, ShortestFloatTextIsTheStandardOne) { ExpectShortestAsStandard<float>(20000); }

TEST(FloatChars, ShortestDoubleTextIsTheStandardOne) { ExpectShortestAsStandard<double>(5000); }

TEST(FloatChars, GeneralTextToAPrecisionIsTheStandardOne) {
    std::mt19937_64 random(7);
    std::vector<double> values = EdgeValues<double>();
    std::uniform_real_distribution<double> exponent(-12.0, 12.0);
    for (int i = 0; i < 20000; ++i)
        values.push_back((random() % 2 ? -1 : 1) * std::pow(10.0, exponent(random)));
    for (int precision : {1, 7, 17}) {
        for (double value : values) {
            char expected[512], got[512];
            const auto standard =
                std::to_chars(expected, expected + sizeof expected, value, std::chars_format::general, precision);
            const auto replacement = FallbackToChars(got, got + sizeof got, value, precision);
            ASSERT_EQ(Text(got, replacement), Text(expected, standard)) << "precision " << precision;
        }
    }
}

TEST(FloatChars, TooSmallABufferIsRefusedAsByTheStandard) {
    char text[4];
    EXPECT_EQ(FallbackToChars(text, text + sizeof text, 123.456f).ec, std::errc::value_too_large);
    EXPECT_EQ(FallbackToChars(text, text + sizeof text, 1e-300).ec, std::errc::value_too_large);
    EXPECT_EQ(FallbackToChars(text, text + sizeof text, 3.14159, 7).ec, std::errc::value_too_large);
    EXPECT_EQ(Text(text, FallbackToChars(text, text + sizeof text, 0.25f)), "0.25");
}

TEST(FloatChars, ReadingStopsAndFailsWhereTheStandardDoes) {
    const char* const texts[] = {"1",
                                 "-1",
                                 "0",
                                 "-0",
                                 "1.5",
                                 ".5",
                                 "5.",
                                 "1.5e3",
                                 "1.5E-3",
                                 "1e",
                                 "1e+",
                                 "1e-x",
                                 "1.2.3",
                                 "00012.500",
                                 "",
                                 "-",
                                 ".",
                                 "e5",
                                 "+1",
                                 "0x10",
                                 "1e400",
                                 "-1e400",
                                 "1e-400",
                                 "4.9e-324",
                                 "2.5e-324",
                                 "2.2250738585072011e-308",
                                 "1.7976931348623157e308",
                                 "1.7976931348623159e308",
                                 "0e999999",
                                 "0.000000000000000000000000000000000000000000000000000000000000001e-300",
                                 "123456789012345678901234567890123456789012345678901234567890",
                                 "3.14159 and more",
                                 "7,5",
                                 "1e99999999999999999999"};
    for (const char* text : texts) {
        const char* end = text + std::strlen(text);
        double expected = -42.0, got = -42.0;
        const auto standard = std::from_chars(text, end, expected, std::chars_format::general);
        const auto replacement = FallbackFromChars(text, end, got);
        EXPECT_EQ(replacement.ptr - text, standard.ptr - text) << '"' << text << '"';
        EXPECT_EQ(replacement.ec, standard.ec) << '"' << text << '"';
        EXPECT_EQ(std::signbit(got), std::signbit(expected)) << '"' << text << '"';
        EXPECT_EQ(got, expected) << '"' << text << '"';
    }
}

TEST(FloatChars, ReadingTakesNoInfinityOrNaNWhichAreWordsInAScene) {
    for (const char* text : {"inf", "-infinity", "nan", "NaN(1)"}) {
        double value = -42.0;
        const auto read = FallbackFromChars(text, text + std::strlen(text), value);
        EXPECT_EQ(read.ec, std::errc::invalid_argument) << text;
        EXPECT_EQ(read.ptr, text) << text;
        EXPECT_EQ(value, -42.0) << text;
    }
}

TEST(FloatChars, ReadingGivesBackWhatWasWritten) {
    std::mt19937_64 random(3);
    for (int i = 0; i < 5000; ++i) {
        const double value = FromBits<double>(random());
        if (!std::isfinite(value))
            continue;
        char text[64];
        const auto written = FallbackToChars(text, text + sizeof text, value);
        double read = 0;
        const auto parsed = FallbackFromChars(text, written.ptr, read);
        ASSERT_EQ(parsed.ptr, written.ptr) << std::string(text, written.ptr);
        ASSERT_EQ(read, value) << std::string(text, written.ptr);
    }
}
