#pragma once
// Floating-point numbers to text and back, locale-free, exactly as
// std::to_chars and std::from_chars write and read them. Where the standard
// library has them (__cpp_lib_to_chars) these are the standard calls
// themselves; a library without them (emscripten's, for the WebAssembly
// build) gets replacements built on printf and strtod that give the same
// characters, so that a file written there is the same to the byte.

#include <charconv>
#include <type_traits>

namespace trelChars {

// The shortest text that reads back as the same value: fixed or scientific,
// whichever is shorter (fixed on a tie), as std::to_chars without a format.
std::to_chars_result FallbackToChars(char* first, char* last, float value);
std::to_chars_result FallbackToChars(char* first, char* last, double value);
// printf's %.{precision}g, as std::to_chars with chars_format::general.
std::to_chars_result FallbackToChars(char* first, char* last, double value, int precision);
// A decimal in general format (no "inf", "nan" or hexadecimal), as
// std::from_chars with chars_format::general: result_out_of_range leaves
// `value` alone.
std::from_chars_result FallbackFromChars(const char* first, const char* last, double& value);

// Shortest round trip of a float or a double.
template <class Float>
std::to_chars_result ToChars(char* first, char* last, Float value) {
    static_assert(std::is_same_v<Float, float> || std::is_same_v<Float, double>);
#ifdef __cpp_lib_to_chars
    return std::to_chars(first, last, value);
#else
    return FallbackToChars(first, last, value);
#endif
}

inline std::to_chars_result ToCharsGeneral(char* first, char* last, double value, int precision) {
#ifdef __cpp_lib_to_chars
    return std::to_chars(first, last, value, std::chars_format::general, precision);
#else
    return FallbackToChars(first, last, value, precision);
#endif
}

inline std::from_chars_result FromChars(const char* first, const char* last, double& value) {
#ifdef __cpp_lib_to_chars
    return std::from_chars(first, last, value, std::chars_format::general);
#else
    return FallbackFromChars(first, last, value);
#endif
}

} // namespace trelChars
