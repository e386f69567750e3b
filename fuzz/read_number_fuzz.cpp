// read_number and the rounding helpers on any text.
//
// read_number is compared with the C library's strtod (run in the "C" locale) on the number
// that the text begins with once blanks, tabs and line feeds are taken out; round_half_even
// and the narrowing helpers are checked against their definitions; number_text must give
// back, through read_number, the value it was given to the digits it shows.

#include <locale.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "common/numbers.hpp"
#include "fuzz/fuzz_support.hpp"

namespace {

using quarvent::fuzzing::fail;

std::string show(double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

// The number at the start of text, by a separate reading of the grammar, converted by strtod.
double reference_read_number(std::string_view text) {
    std::string cleaned;
    for (char c : text) {
        if (c != ' ' && c != '\t' && c != '\n') cleaned.push_back(c);
    }
    const auto digit = [&](std::size_t k) {
        return k < cleaned.size() && cleaned[k] >= '0' && cleaned[k] <= '9';
    };
    std::size_t k = 0;
    if (k < cleaned.size() && (cleaned[k] == '+' || cleaned[k] == '-')) ++k;
    std::size_t digits = 0;
    while (digit(k)) ++k, ++digits;
    if (k < cleaned.size() && cleaned[k] == '.') {
        ++k;
        while (digit(k)) ++k, ++digits;
    }
    if (digits == 0) return 0.0;
    if (k < cleaned.size() && (cleaned[k] == 'e' || cleaned[k] == 'E')) {
        std::size_t e = k + 1;
        if (e < cleaned.size() && (cleaned[e] == '+' || cleaned[e] == '-')) ++e;
        if (digit(e)) {
            while (digit(e)) ++e;
            k = e;
        }
    }
    static const locale_t c_locale = ::newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
    const std::string number = cleaned.substr(0, k);
    return ::strtod_l(number.c_str(), nullptr, c_locale);
}

void check_read_number(std::string_view text) {
    const double value = quarvent::read_number(text);
    const double expected = reference_read_number(text);
    FUZZ_CHECK(!std::isnan(value), "read_number gave NaN");
    if (std::isinf(expected) || std::fabs(expected) >= std::numeric_limits<double>::min()) {
        FUZZ_CHECK(value == expected, "read_number gave " + show(value) + ", strtod " +
                                          show(expected) + " for \"" + std::string(text) + "\"");
    } else {
        // Below the normal range read_number may give 0 where strtod gives a subnormal value.
        FUZZ_CHECK(value == expected || value == 0.0,
                   "read_number gave " + show(value) + ", strtod " + show(expected));
    }
    FUZZ_CHECK(std::signbit(value) == std::signbit(expected) || value == 0.0,
               "sign of " + show(value) + " against " + show(expected));
}

void check_rounding(double value) {
    const double rounded = quarvent::round_half_even(value);
    if (!std::isfinite(value)) {
        FUZZ_CHECK(std::isnan(value) ? std::isnan(rounded) : rounded == value,
                   "round_half_even(" + show(value) + ") = " + show(rounded));
        FUZZ_CHECK(!quarvent::to_int16(value) && !quarvent::to_int32(value),
                   "a non-finite value narrowed to an integer");
        return;
    }
    FUZZ_CHECK(rounded == std::trunc(rounded),
               "round_half_even(" + show(value) + ") = " + show(rounded) + " is not whole");
    const double distance = std::fabs(rounded - value);
    FUZZ_CHECK(distance <= 0.5, "round_half_even(" + show(value) + ") = " + show(rounded));
    if (distance == 0.5) {
        FUZZ_CHECK(std::fmod(rounded, 2.0) == 0.0,
                   "a half went to the odd neighbour: " + show(value) + " -> " + show(rounded));
    }

    const auto as16 = quarvent::to_int16(value);
    const bool fits16 = rounded >= -32768.0 && rounded <= 32767.0;
    FUZZ_CHECK(as16.has_value() == fits16, "to_int16(" + show(value) + ")");
    if (as16) FUZZ_CHECK(*as16 == rounded, "to_int16(" + show(value) + ")");

    const auto as32 = quarvent::to_int32(value);
    const bool fits32 = rounded >= -2147483648.0 && rounded <= 2147483647.0;
    FUZZ_CHECK(as32.has_value() == fits32, "to_int32(" + show(value) + ")");
    if (as32) FUZZ_CHECK(*as32 == rounded, "to_int32(" + show(value) + ")");
}

void check_number_text(double value) {
    const std::string text = quarvent::number_text(value);
    FUZZ_CHECK(!text.empty() && (text[0] == ' ' || text[0] == '-'),
               "number_text(" + show(value) + ") = \"" + text + "\" has no sign position");
    // Beyond 1e308 the fifteen digits shown may round past the largest double.
    if (!std::isfinite(value) || std::fabs(value) > 1e308) return;
    const double back = quarvent::read_number(text);
    const double difference = std::fabs(back - value);
    const bool close = difference <= 1e-14 * std::fabs(value);
    // A subnormal value keeps only some of its digits, and read_number may give 0 for it.
    const bool subnormal_close =
        std::fabs(value) < std::numeric_limits<double>::min() &&
        (back == 0.0 ||
         difference <= 1e-14 * std::fabs(value) + std::numeric_limits<double>::denorm_min());
    FUZZ_CHECK(close || subnormal_close,
               "number_text(" + show(value) + ") = \"" + text + "\" reads back as " + show(back));

    const auto narrow = static_cast<float>(value);
    if (!std::isfinite(narrow)) return;
    const std::string short_text = quarvent::number_text(narrow);
    const double short_back = quarvent::read_number(short_text);
    FUZZ_CHECK(std::fabs(short_back - narrow) <= 1e-6 * std::fabs(narrow) ||
                   std::fabs(narrow) < std::numeric_limits<float>::min(),
               "number_text(float " + show(narrow) + ") = \"" + short_text + "\" reads back as " +
                   show(short_back));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    check_read_number(text);
    const double value = quarvent::read_number(text);
    check_rounding(value);
    check_number_text(value);
    // The input's first eight bytes as a double reach values (NaN, infinities, subnormals,
    // halves far from 0) that text rarely gives.
    if (size >= sizeof(double)) {
        double raw = 0.0;
        std::memcpy(&raw, data, sizeof raw);
        check_rounding(raw);
        check_number_text(raw);
    }
    return 0;
}
