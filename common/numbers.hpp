#pragma once
// How the program reads numbers from text and writes them into messages.
//
// Every number taken from text (keyword file, header strings, settings, operator answers,
// file names) is read by read_number; every real turned into an integer word is rounded by
// round_half_even. Neither depends on the C locale.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quarvent {

// The shared line break: carriage return then line feed.
inline constexpr std::string_view line_break = "\r\n";

// Reads a number from the start of text. Blanks, tabs and line feeds anywhere in the text
// are ignored; then an optional sign, digits with at most one decimal point and an optional
// exponent (E or e, optional sign, digits) are read, stopping at the first character that
// cannot continue the number. Text that does not begin with a number gives 0. A value too
// large for a double gives an infinity of its sign; one too small gives 0.
double read_number(std::string_view text);

// True when the whole text, blanks, tabs and line feeds aside, is one number as read_number
// reads it: an optional sign, digits with at most one decimal point, an optional exponent
// (E or e, optional sign, at least one digit), and nothing else. "12abc", "0x10", "nan", a
// lone "." and the empty text are not.
bool is_whole_number(std::string_view text);

// Nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4). NaN stays NaN.
double round_half_even(double value);

// round_half_even narrowed to 16 or 32 bits; nullopt when the rounded value (or NaN) does not
// fit the type.
std::optional<std::int16_t> to_int16(double value);
std::optional<std::int32_t> to_int32(double value);

// value as a 32-bit real; beyond the float range an infinity of its sign rather than an
// undefined conversion, so that whoever receives it can refuse it. NaN stays NaN.
float to_float(double value);

// number(x): decimal text with one leading blank when x is not negative, a minus sign
// otherwise; whole values without a fraction, real values with theirs, at most
// significant_digits significant digits.
std::string number_text(double value, int significant_digits = 15);
// A 32-bit real shows at most seven significant digits, as it holds no more.
std::string number_text(float value);
inline std::string number_text(std::int64_t value) {
    return number_text(static_cast<double>(value));
}
inline std::string number_text(int value) { return number_text(static_cast<double>(value)); }
inline std::string number_text(std::int16_t value) {
    return number_text(static_cast<double>(value));
}

}  // namespace quarvent
