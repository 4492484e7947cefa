// The replacements of FloatChars.h, compiled only where the standard library
// lacks floating-point std::to_chars and std::from_chars (or for their test,
// which holds them against the standard calls).
#include "FloatChars.h"

#if !defined(__cpp_lib_to_chars) || defined(VRML_FLOAT_CHARS_FALLBACK)

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <system_error>

namespace trelChars {

namespace {

std::to_chars_result Copied(char* first, char* last, const char* text, size_t length) {
    if (static_cast<size_t>(last - first) < length)
        return {last, std::errc::value_too_large};
    std::memcpy(first, text, length);
    return {first + length, std::errc()};
}

template <class Float>
Float ReadBack(const char* text);
template <>
float ReadBack<float>(const char* text) {
    return std::strtof(text, nullptr);
}
template <>
double ReadBack<double>(const char* text) {
    return std::strtod(text, nullptr);
}

// A positive finite value's decimal digits (no leading or trailing zero)
// and the power of ten of the first.
struct Decimal {
    char digits[24];
    int count = 0;
    int exponent = 0;
};

// Reads "d.ddde+XX" as printf's %e writes it.
Decimal FromScientific(const char* text) {
    Decimal decimal;
    const char* p = text;
    for (; *p != 'e'; ++p)
        if (*p != '.')
            decimal.digits[decimal.count++] = *p;
    decimal.exponent = std::atoi(p + 1);
    while (decimal.count > 1 && decimal.digits[decimal.count - 1] == '0')
        --decimal.count;
    return decimal;
}

// The last digit moved by `step` (+1 or -1), carrying; false when that
// would change the number of digits.
bool Stepped(Decimal& decimal, int step) {
    for (int i = decimal.count - 1; i >= 0; --i) {
        char& digit = decimal.digits[i];
        if (step > 0 ? digit < '9' : digit > '0') {
            digit = static_cast<char>(digit + step);
            return decimal.digits[0] != '0';
        }
        digit = step > 0 ? '0' : '9';
    }
    return false;
}

std::string Scientific(const Decimal& decimal) {
    std::string text(1, decimal.digits[0]);
    if (decimal.count > 1) {
        text += '.';
        text.append(decimal.digits + 1, decimal.digits + decimal.count);
    }
    char exponent[16];
    std::snprintf(exponent, sizeof exponent, "e%c%02d", decimal.exponent < 0 ? '-' : '+', std::abs(decimal.exponent));
    return text + exponent;
}

// The shortest digits that read back as `value`: the correctly rounded
// ones of each length first, then, since the values that read back as
// `value` may reach further on one side than on the other (next to a power
// of two), their neighbours of the same length.
template <class Float>
Decimal Shortest(Float value, int mostDigits) {
    char text[48];
    Decimal found;
    for (int digits = 1; digits <= mostDigits; ++digits) {
        std::snprintf(text, sizeof text, "%.*e", digits - 1, static_cast<double>(value));
        found = FromScientific(text);
        if (ReadBack<Float>(text) == value)
            return found;
        for (int step : {1, -1}) {
            Decimal near = FromScientific(text);
            near.count = digits;
            if (Stepped(near, step) && ReadBack<Float>(Scientific(near).c_str()) == value) {
                while (near.count > 1 && near.digits[near.count - 1] == '0')
                    --near.count;
                return near;
            }
        }
    }
    return found;
}

template <class Float>
std::to_chars_result ShortestText(char* first, char* last, Float value, int mostDigits) {
    if (std::isnan(value))
        return Copied(first, last, std::signbit(value) ? "-nan" : "nan", std::signbit(value) ? 4 : 3);
    std::string text = std::signbit(value) ? "-" : "";
    const Float magnitude = std::fabs(value);
    if (std::isinf(magnitude)) {
        text += "inf";
    } else if (magnitude == 0) {
        text += '0';
    } else {
        const Decimal decimal = Shortest(magnitude, mostDigits);
        const int n = decimal.count, e = decimal.exponent;
        const size_t scientificLength = Scientific(decimal).size();
        const size_t fixedLength = static_cast<size_t>(e >= n - 1 ? e + 1 : e >= 0 ? n + 1 : n + 1 - e);
        if (fixedLength > scientificLength) {
            text += Scientific(decimal);
        } else if (e >= n - 1) {
            // A whole number is written with all its digits, as printf's %.0f
            // does, not the shortest digits padded with zeros.
            char whole[400];
            std::snprintf(whole, sizeof whole, "%.0f", static_cast<double>(magnitude));
            text += whole;
        } else if (e >= 0) {
            text.append(decimal.digits, decimal.digits + e + 1);
            text += '.';
            text.append(decimal.digits + e + 1, decimal.digits + n);
        } else {
            text += "0.";
            text.append(static_cast<size_t>(-e - 1), '0');
            text.append(decimal.digits, decimal.digits + n);
        }
    }
    return Copied(first, last, text.data(), text.size());
}

} // namespace

std::to_chars_result FallbackToChars(char* first, char* last, float value) {
    return ShortestText(first, last, value, 9);
}

std::to_chars_result FallbackToChars(char* first, char* last, double value) {
    return ShortestText(first, last, value, 17);
}

std::to_chars_result FallbackToChars(char* first, char* last, double value, int precision) {
    char text[400];
    const int length = std::snprintf(text, sizeof text, "%.*g", precision, value);
    return Copied(first, last, text, length > 0 ? static_cast<size_t>(length) : 0);
}

std::from_chars_result FallbackFromChars(const char* first, const char* last, double& value) {
    // The extent of the decimal: an optional minus, digits with at most one
    // point (at least one digit), then an exponent only if it has digits.
    const char* p = first;
    if (p < last && *p == '-')
        ++p;
    bool anyDigit = false, nonZero = false;
    for (; p < last && *p >= '0' && *p <= '9'; ++p)
        anyDigit = true, nonZero = nonZero || *p != '0';
    if (p < last && *p == '.')
        for (++p; p < last && *p >= '0' && *p <= '9'; ++p)
            anyDigit = true, nonZero = nonZero || *p != '0';
    if (!anyDigit)
        return {first, std::errc::invalid_argument};
    if (p < last && (*p == 'e' || *p == 'E')) {
        const char* exponent = p + 1;
        if (exponent < last && (*exponent == '+' || *exponent == '-'))
            ++exponent;
        if (exponent < last && *exponent >= '0' && *exponent <= '9') {
            for (p = exponent; p < last && *p >= '0' && *p <= '9'; ++p) {
            }
        }
    }
    // strtod wants a terminated string, and the C locale's point.
    const std::string text(first, p);
    const double read = std::strtod(text.c_str(), nullptr);
    if (std::isinf(read) || (read == 0 && nonZero))
        return {p, std::errc::result_out_of_range};
    value = read;
    return {p, std::errc()};
}

} // namespace trelChars

#endif
