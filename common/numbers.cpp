#include "common/numbers.hpp"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>

// The C++ library of the WebAssembly build has no floating-point from_chars and to_chars.
// There the C library's strtod and snprintf stand in: both are correctly rounded, and the
// formats used here are the printf ones that to_chars with a precision is defined by. They
// depend on the C locale's decimal point, which that build never changes. Defining
// QUARVENT_NUMBERS_WITHOUT_CHARCONV takes the same path in any build (the number tests do).
#if !defined(__cpp_lib_to_chars) && !defined(QUARVENT_NUMBERS_WITHOUT_CHARCONV)
#define QUARVENT_NUMBERS_WITHOUT_CHARCONV 1
#endif

namespace quarvent {

namespace {

bool is_ignored(char c) { return c == ' ' || c == '\t' || c == '\n'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

// Decimal order of magnitude of a plain-decimal mantissa (m such that the value lies in
// [10^(m-1), 10^m)) plus the written exponent: tells an overflow from an underflow when
// from_chars reports a range error. Leading zeros, before or after the point, do not count.
long long magnitude_estimate(std::string_view mantissa, long long exponent) {
    long long integer_digits = 0;
    for (char c : mantissa) {
        if (c == '.') break;
        ++integer_digits;
    }
    long long position = 0;  // index of the digit among all digits, the point skipped
    for (char c : mantissa) {
        if (c == '.') continue;
        if (c != '0') return integer_digits - position + exponent;
        ++position;
    }
    return std::numeric_limits<long long>::min();  // all zeros
}

}  // namespace

double read_number(std::string_view text) {
    std::string cleaned;
    cleaned.reserve(text.size());
    for (char c : text) {
        if (!is_ignored(c)) cleaned.push_back(c);
    }

    std::size_t i = 0;
    bool negative = false;
    if (i < cleaned.size() && (cleaned[i] == '+' || cleaned[i] == '-')) {
        negative = cleaned[i] == '-';
        ++i;
    }
    const std::size_t mantissa_start = i;
    bool seen_digit = false;
    bool seen_point = false;
    while (i < cleaned.size()) {
        const char c = cleaned[i];
        if (is_digit(c)) {
            seen_digit = true;
        } else if (c == '.' && !seen_point) {
            seen_point = true;
        } else {
            break;
        }
        ++i;
    }
    if (!seen_digit) return 0.0;
    const std::string_view mantissa(cleaned.data() + mantissa_start, i - mantissa_start);
    std::size_t end = i;

    long long exponent = 0;
    if (i < cleaned.size() && (cleaned[i] == 'e' || cleaned[i] == 'E')) {
        std::size_t j = i + 1;
        bool exponent_negative = false;
        if (j < cleaned.size() && (cleaned[j] == '+' || cleaned[j] == '-')) {
            exponent_negative = cleaned[j] == '-';
            ++j;
        }
        const std::size_t digits_start = j;
        while (j < cleaned.size() && is_digit(cleaned[j])) {
            if (exponent < 1'000'000'000) exponent = exponent * 10 + (cleaned[j] - '0');
            ++j;
        }
        if (j > digits_start) {
            end = j;
            if (exponent_negative) exponent = -exponent;
        } else {
            exponent = 0;
        }
    }

    const std::string_view number(cleaned.data() + mantissa_start, end - mantissa_start);
    double value = 0.0;
#if QUARVENT_NUMBERS_WITHOUT_CHARCONV
    // The text is a checked number, so strtod reads all of it. Its range error also covers
    // results that are subnormal, which from_chars gives without one; only an infinity, or a
    // zero from digits that are not all zeros, is out of range here.
    const std::string terminated(number);
    errno = 0;
    value = std::strtod(terminated.c_str(), nullptr);
    const bool out_of_range = errno == ERANGE && (std::isinf(value) || value == 0.0);
    const bool failed = false;
#else
    const auto result = std::from_chars(number.data(), number.data() + number.size(), value,
                                        std::chars_format::general);
    const bool out_of_range = result.ec == std::errc::result_out_of_range;
    const bool failed = result.ec != std::errc{} && !out_of_range;
#endif
    if (out_of_range) {
        value = magnitude_estimate(mantissa, exponent) > 0 ? std::numeric_limits<double>::infinity()
                                                           : 0.0;
    } else if (failed) {
        value = 0.0;
    }
    return negative ? -value : value;
}

bool is_whole_number(std::string_view text) {
    std::string cleaned;
    for (char c : text) {
        if (!is_ignored(c)) cleaned.push_back(c);
    }
    std::size_t i = 0;
    if (i < cleaned.size() && (cleaned[i] == '+' || cleaned[i] == '-')) ++i;
    bool seen_digit = false;
    bool seen_point = false;
    for (; i < cleaned.size(); ++i) {
        if (is_digit(cleaned[i])) {
            seen_digit = true;
        } else if (cleaned[i] == '.' && !seen_point) {
            seen_point = true;
        } else {
            break;
        }
    }
    if (!seen_digit) return false;
    if (i < cleaned.size() && (cleaned[i] == 'e' || cleaned[i] == 'E')) {
        ++i;
        if (i < cleaned.size() && (cleaned[i] == '+' || cleaned[i] == '-')) ++i;
        const std::size_t digits_start = i;
        while (i < cleaned.size() && is_digit(cleaned[i])) ++i;
        if (i == digits_start) return false;
    }
    return i == cleaned.size();
}

double round_half_even(double value) {
    if (!std::isfinite(value)) return value;
    const double floor_value = std::floor(value);
    const double fraction = value - floor_value;
    if (fraction < 0.5) return floor_value;
    if (fraction > 0.5) return floor_value + 1.0;
    return std::fmod(floor_value, 2.0) == 0.0 ? floor_value : floor_value + 1.0;
}

std::optional<std::int16_t> to_int16(double value) {
    const double rounded = round_half_even(value);
    if (!(rounded >= -32768.0 && rounded <= 32767.0)) return std::nullopt;
    return static_cast<std::int16_t>(rounded);
}

std::optional<std::int32_t> to_int32(double value) {
    const double rounded = round_half_even(value);
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) return std::nullopt;
    return static_cast<std::int32_t>(rounded);
}

float to_float(double value) {
    constexpr double largest = std::numeric_limits<float>::max();
    if (value > largest) return std::numeric_limits<float>::infinity();
    if (value < -largest) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

std::string number_text(double value, int significant_digits) {
    std::string text;
    if (std::isnan(value)) return " NaN";
    if (std::isinf(value)) return value < 0 ? "-Inf" : " Inf";
    if (value == 0.0) value = 0.0;  // negative zero shows as zero
    text.push_back(value < 0 ? '-' : ' ');
    const double magnitude = std::fabs(value);
    char buffer[64];
    const bool whole = magnitude == std::floor(magnitude) && magnitude < 1e15;
#if QUARVENT_NUMBERS_WITHOUT_CHARCONV
    const int length =
        whole ? std::snprintf(buffer, sizeof buffer, "%.0f", magnitude)
              : std::snprintf(buffer, sizeof buffer, "%.*g", significant_digits, magnitude);
    std::string digits(buffer, static_cast<std::size_t>(std::max(length, 0)));
#else
    std::to_chars_result result;
    if (whole) {
        result =
            std::to_chars(buffer, buffer + sizeof buffer, magnitude, std::chars_format::fixed, 0);
    } else {
        result = std::to_chars(buffer, buffer + sizeof buffer, magnitude,
                               std::chars_format::general, significant_digits);
    }
    std::string digits(buffer, result.ptr);
#endif
    // Exponent letters are written upper case, as in the rest of the program's texts.
    for (char& c : digits) {
        if (c == 'e') c = 'E';
    }
    text += digits;
    return text;
}

std::string number_text(float value) { return number_text(static_cast<double>(value), 7); }

}  // namespace quarvent
