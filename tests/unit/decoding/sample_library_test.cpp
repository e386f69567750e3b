#include "engine/sample_library.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "common/bytes.hpp"

namespace quarvent {
namespace {

constexpr float sentinel = -12345.0F;
constexpr float infinity = std::numeric_limits<float>::infinity();

std::uint32_t bits(float value) { return std::bit_cast<std::uint32_t>(value); }

TEST(sample_library, output_count_is_n_over_f_rounded_halves_to_even) {
    const std::int32_t rows[][3] = {
        // n, f, count
        {0, 1, 0}, {7, 1, 7}, {1, 2, 0},        {2, 2, 1},  {3, 2, 2}, {5, 2, 2},  {7, 2, 4},
        {9, 2, 4}, {1, 4, 0}, {2, 4, 0},        {3, 4, 1},  {6, 4, 2}, {10, 4, 2}, {14, 4, 4},
        {7, 4, 2}, {5, 4, 1}, {16000, 4, 4000}, {-4, 2, 0}, {8, 3, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << "n=" << row[0] << " f=" << row[1]);
        EXPECT_EQ(resampled_count(row[0], row[1]), row[2]);
    }
}

TEST(sample_library, packed_20_bit_byte_count_rounds_halves_to_even) {
    const std::int32_t rows[][2] = {{0, 0},  {1, 2},  {2, 5},  {3, 8},         {4, 10},
                                    {5, 12}, {6, 15}, {7, 18}, {26213, 65532}, {-1, 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row[0]);
        EXPECT_EQ(seg20bit_byte_count(row[0]), static_cast<std::size_t>(row[1]));
    }
}

// One 10-byte group of the 20-bit format from its exponent word and four mantissa words.
std::vector<std::uint8_t> group(std::uint16_t exponents, std::array<std::uint16_t, 4> words) {
    std::vector<std::uint8_t> out;
    append_le_u16(out, exponents);
    for (auto word : words) append_le_u16(out, word);
    return out;
}

TEST(sample_library, packed_20_bit_groups_decode_with_ones_complement_mantissas) {
    struct Row {
        const char* name;
        std::vector<std::uint8_t> bytes;
        std::array<float, 4> expected;
    };
    const Row rows[] = {
        {"worked example",
         {0x21, 0x22, 0x24, 0x93, 0x1F, 0xBA, 0x60, 0xAA, 0x8A, 0x9A},
         {-55734, -71552, -87676, -103892}},
        {"0xFFFF is 0 and 0x8000 is -32767",
         group(0x0000, {0xFFFF, 0x8000, 0x0000, 0x7FFF}),
         {0, -32767, 0, 32767}},
        {"0xFFFE is -1", group(0x0000, {0xFFFE, 0x0001, 0xFFFF, 0x8001}), {-1, 1, 0, -32766}},
        {"each nibble is its own sample's exponent", group(0x4321, {1, 1, 1, 1}), {2, 4, 8, 16}},
        {"largest exponent",
         group(0xF0F0, {0x7FFF, 0x8000, 0x7FFF, 0x8000}),
         {32767, -32767.0F * 32768, 32767, -32767.0F * 32768}},
        {"negative zero mantissa stays zero at any exponent",
         group(0xFFFF, {0xFFFF, 0xFFFF, 0, 0}),
         {0, 0, 0, 0}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<float> out(5, sentinel);
        ASSERT_EQ(seg20bit2fpt(row.bytes, out, 4, 1), SampleLibraryResult::ok);
        for (int i = 0; i < 4; ++i)
            EXPECT_EQ(out[static_cast<std::size_t>(i)], row.expected[static_cast<std::size_t>(i)])
                << "sample " << i + 1;
        EXPECT_EQ(out[4], sentinel);
    }
}

TEST(sample_library, partial_20_bit_group_keeps_only_samples_whose_mantissa_was_read) {
    // Two groups: 1 2 3 4 | 5 6 7 8, all at exponent 0.
    std::vector<std::uint8_t> bytes = group(0, {1, 2, 3, 4});
    const auto second = group(0, {5, 6, 7, 8});
    bytes.insert(bytes.end(), second.begin(), second.end());
    struct Row {
        std::int32_t n;
        std::vector<float> expected;
    };
    const Row rows[] = {
        {1, {0}},                    // 2 bytes: the exponent word only
        {2, {1, 0}},                 // 5 bytes: half of the second mantissa
        {3, {1, 2, 3}},              // 8 bytes
        {5, {1, 2, 3, 4, 0}},        // 12 bytes
        {6, {1, 2, 3, 4, 5, 0}},     // 15 bytes
        {7, {1, 2, 3, 4, 5, 6, 7}},  // 18 bytes
        {8, {1, 2, 3, 4, 5, 6, 7, 8}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.n);
        std::vector<float> out(9, sentinel);
        // The whole buffer is offered; only the format's byte count of it may be used.
        ASSERT_EQ(seg20bit2fpt(bytes, out, row.n, 1), SampleLibraryResult::ok);
        const std::vector<float> got(out.begin(), out.begin() + row.n);
        EXPECT_EQ(got, row.expected);
        EXPECT_EQ(out[static_cast<std::size_t>(row.n)], sentinel);
    }
}

TEST(sample_library, long_20_bit_traces_decode_as_their_groups_do_one_by_one) {
    // Long traces go through a wider decoder than single groups; both must agree for every
    // exponent and mantissa, at every length around the wide decoder's steps.
    std::mt19937 random(20);
    std::vector<std::uint8_t> bytes(seg20bit_byte_count(1003));
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
    for (const std::int32_t n : {4, 8, 12, 16, 20, 24, 28, 996, 1000, 1001, 1002, 1003}) {
        SCOPED_TRACE(n);
        std::vector<float> whole(static_cast<std::size_t>(n) + 1, sentinel);
        ASSERT_EQ(seg20bit2fpt(std::span(bytes).first(seg20bit_byte_count(n)), whole, n, 1),
                  SampleLibraryResult::ok);
        EXPECT_EQ(whole.back(), sentinel);
        for (std::int32_t g = 0; 4 * g + 4 <= n; ++g) {
            std::array<float, 4> one{};
            ASSERT_EQ(seg20bit2fpt(std::span(bytes).subspan(10 * static_cast<std::size_t>(g), 10),
                                   one, 4, 1),
                      SampleLibraryResult::ok);
            for (std::size_t i = 0; i < 4; ++i) {
                ASSERT_EQ(bits(whole[4 * static_cast<std::size_t>(g) + i]), bits(one[i]))
                    << "group " << g << " sample " << i;
            }
        }
    }
}

TEST(sample_library, integers_become_the_floats_of_their_values) {
    const std::vector<std::int16_t> shorts = {0, 1, -1, 32767, -32768, 1234};
    std::vector<float> out(shorts.size());
    ASSERT_EQ(int2fpt(shorts, out, 6, 1), SampleLibraryResult::ok);
    EXPECT_EQ(out, (std::vector<float>{0, 1, -1, 32767, -32768, 1234}));

    struct Row {
        std::int32_t value;
        float expected;
    };
    const Row longs[] = {
        {0, 0.0F},
        {-7, -7.0F},
        {16777216, 16777216.0F},
        {16777217, 16777216.0F},  // beyond 2^24: the nearest float, ties to even
        {16777219, 16777220.0F},
        {2147483647, 2147483648.0F},
        {-2147483647 - 1, -2147483648.0F},
    };
    for (const auto& row : longs) {
        SCOPED_TRACE(row.value);
        float result = sentinel;
        ASSERT_EQ(long2fpt(std::span(&row.value, 1), std::span(&result, 1), 1, 1),
                  SampleLibraryResult::ok);
        EXPECT_EQ(result, row.expected);
    }
}

TEST(sample_library, doubles_round_to_the_nearest_float) {
    struct Row {
        const char* name;
        double value;
        float expected;
    };
    const Row rows[] = {
        {"tenth", 0.1, 0.1F},
        {"whole", -3.0, -3.0F},
        {"largest float", 0x1.fffffep127, std::numeric_limits<float>::max()},
        {"just below the rounding edge", 0x1.fffffefffffffp127, std::numeric_limits<float>::max()},
        {"the rounding edge", 0x1.ffffffp127, infinity},
        {"far beyond the range", 1e300, infinity},
        {"far beyond, negative", -1e300, -infinity},
        {"infinity", std::numeric_limits<double>::infinity(), infinity},
        {"below the smallest float", 1e-50, 0.0F},
        {"subnormal float", 0x1p-140, 0x1p-140F},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        float result = sentinel;
        ASSERT_EQ(double2fpt(std::span(&row.value, 1), std::span(&result, 1), 1, 1),
                  SampleLibraryResult::ok);
        EXPECT_EQ(bits(result), bits(row.expected));
    }
    const double nan = std::numeric_limits<double>::quiet_NaN();
    float result = 0.0F;
    ASSERT_EQ(double2fpt(std::span(&nan, 1), std::span(&result, 1), 1, 1), SampleLibraryResult::ok);
    EXPECT_TRUE(std::isnan(result));
}

TEST(sample_library, bufmoverf_copies_bytes_unchanged) {
    const std::vector<float> source = {std::bit_cast<float>(0x7FA00001U), -0.0F, 1.5F};
    std::vector<float> destination(4, sentinel);
    ASSERT_EQ(
        bufmoverf(std::as_bytes(std::span(source)), std::as_writable_bytes(std::span(destination))),
        SampleLibraryResult::ok);
    for (std::size_t i = 0; i < source.size(); ++i)
        EXPECT_EQ(bits(destination[i]), bits(source[i]));
    EXPECT_EQ(destination[3], sentinel);

    std::vector<float> small(2, sentinel);
    EXPECT_EQ(bufmoverf(std::as_bytes(std::span(source)), std::as_writable_bytes(std::span(small))),
              SampleLibraryResult::destination_too_small);
    EXPECT_EQ(small, (std::vector<float>{sentinel, sentinel}));
    EXPECT_EQ(bufmoverf({}, {}), SampleLibraryResult::ok);
}

TEST(sample_library, fpt2fpt_at_factor_1_leaves_every_bit) {
    std::vector<float> samples = {std::bit_cast<float>(0x7F800001U), -0.0F, 0x1p-149F, -infinity};
    const std::vector<float> before = samples;
    ASSERT_EQ(fpt2fpt(samples, 4, 1), SampleLibraryResult::ok);
    for (std::size_t i = 0; i < samples.size(); ++i) EXPECT_EQ(bits(samples[i]), bits(before[i]));
}

// Every converter on the same sample values, so that tables can run them all.
struct Converter {
    const char* name;
    // Converts values (whole numbers within 16 bits) into out with factor f.
    std::function<SampleLibraryResult(const std::vector<double>&, std::span<float>, std::int32_t n,
                                      std::int32_t f)>
        run;
};

std::vector<std::uint8_t> packed_20_bit(const std::vector<double>& values) {
    std::vector<std::uint8_t> out;
    for (std::size_t g = 0; g < values.size(); g += 4) {
        std::array<std::uint16_t, 4> words{};
        for (std::size_t i = 0; i < 4 && g + i < values.size(); ++i) {
            const auto v = static_cast<std::int32_t>(values[g + i]);
            // One's complement: a negative value v is stored as the word of v - 1.
            words[i] = static_cast<std::uint16_t>(v < 0 ? v - 1 : v);
        }
        const auto bytes = group(0, words);
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

const Converter converters[] = {
    {"int2fpt",
     [](const std::vector<double>& v, std::span<float> out, std::int32_t n, std::int32_t f) {
         const std::vector<std::int16_t> s(v.begin(), v.end());
         return int2fpt(s, out, n, f);
     }},
    {"long2fpt",
     [](const std::vector<double>& v, std::span<float> out, std::int32_t n, std::int32_t f) {
         const std::vector<std::int32_t> s(v.begin(), v.end());
         return long2fpt(s, out, n, f);
     }},
    {"seg20bit2fpt", [](const std::vector<double>& v, std::span<float> out, std::int32_t n,
                        std::int32_t f) { return seg20bit2fpt(packed_20_bit(v), out, n, f); }},
    {"fpt2fpt",
     [](const std::vector<double>& v, std::span<float> out, std::int32_t n, std::int32_t f) {
         // In place: the destination holds the input and receives the output.
         std::vector<float> samples(v.begin(), v.end());
         const auto result = fpt2fpt(samples, n, f);
         for (std::size_t i = 0; i < out.size() && i < samples.size(); ++i) {
             if (i < static_cast<std::size_t>(resampled_count(n, f))) out[i] = samples[i];
         }
         return result;
     }},
    {"double2fpt", [](const std::vector<double>& v, std::span<float> out, std::int32_t n,
                      std::int32_t f) { return double2fpt(v, out, n, f); }},
};

void PrintTo(const Converter& converter, std::ostream* os) { *os << converter.name; }

class every_converter : public ::testing::TestWithParam<Converter> {};

INSTANTIATE_TEST_SUITE_P(sample_library, every_converter, ::testing::ValuesIn(converters),
                         [](const auto& param_info) { return std::string(param_info.param.name); });

std::vector<float> convert(const Converter& converter, const std::vector<double>& values,
                           std::int32_t f) {
    const auto n = static_cast<std::int32_t>(values.size());
    std::vector<float> out(static_cast<std::size_t>(resampled_count(n, f)) + 1, sentinel);
    EXPECT_EQ(converter.run(values, out, n, f), SampleLibraryResult::ok);
    EXPECT_EQ(out.back(), sentinel) << "wrote past the output count";
    out.pop_back();
    return out;
}

std::vector<double> sine(std::size_t n, double cycles_per_sample, double amplitude,
                         double phase = 0.3) {
    std::vector<double> values(n);
    for (std::size_t i = 0; i < n; ++i) {
        values[i] = std::round(
            amplitude *
            std::sin(2 * std::numbers::pi * cycles_per_sample * static_cast<double>(i) + phase));
    }
    return values;
}

TEST_P(every_converter, refuses_arguments_that_do_not_fit_and_writes_nothing) {
    struct Row {
        const char* name;
        std::int32_t n;
        std::int32_t f;
        std::size_t destination_size;
        SampleLibraryResult expected;
    };
    const Row rows[] = {
        {"factor 3", 8, 3, 8, SampleLibraryResult::bad_factor},
        {"factor 0", 8, 0, 8, SampleLibraryResult::bad_factor},
        {"factor -2", 8, -2, 8, SampleLibraryResult::bad_factor},
        {"negative count", -1, 1, 8, SampleLibraryResult::bad_count},
        {"count beyond the source", 9, 1, 9, SampleLibraryResult::source_too_short},
        {"destination short at factor 1", 8, 1, 7, SampleLibraryResult::destination_too_small},
        {"destination short at factor 4", 8, 4, 1, SampleLibraryResult::destination_too_small},
    };
    const std::vector<double> values = {1, 2, 3, 4, 5, 6, 7, 8};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<float> out(row.destination_size, sentinel);
        if (std::string(GetParam().name) == "fpt2fpt") {
            // In place: the one array is both source and destination.
            std::vector<float> samples(values.begin(), values.end());
            if (row.expected == SampleLibraryResult::destination_too_small) continue;
            EXPECT_EQ(fpt2fpt(samples, row.n, row.f), row.expected);
            EXPECT_EQ(samples, std::vector<float>(values.begin(), values.end()));
            continue;
        }
        EXPECT_EQ(GetParam().run(values, out, row.n, row.f), row.expected);
        EXPECT_EQ(out, std::vector<float>(row.destination_size, sentinel));
    }
}

TEST_P(every_converter, constant_and_zero_traces_stay_as_they_are_at_every_length) {
    for (const std::int32_t f : {1, 2, 4}) {
        for (const std::size_t n : {1U, 2U, 3U, 5U, 6U, 17U, 80U, 81U, 200U, 1001U}) {
            // A last 20-bit group cut within its second mantissa leaves samples unread.
            if (std::string(GetParam().name) == "seg20bit2fpt" && (n % 4 == 1 || n % 4 == 2)) {
                continue;
            }
            for (const double level : {0.0, -1234.0, 7.0}) {
                SCOPED_TRACE(::testing::Message() << "f=" << f << " n=" << n << " level=" << level);
                const auto out = convert(GetParam(), std::vector<double>(n, level), f);
                EXPECT_EQ(out, std::vector<float>(out.size(), static_cast<float>(level)));
            }
        }
    }
}

TEST_P(every_converter, first_output_keeps_the_first_input_time) {
    // A symmetric filter passes a straight line unchanged away from the trace's ends, so
    // output k must be the ramp's value at input k * f.
    std::vector<double> ramp(1000);
    for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<double>(i) - 500.0;
    for (const std::int32_t f : {1, 2, 4}) {
        SCOPED_TRACE(f);
        const auto out = convert(GetParam(), ramp, f);
        ASSERT_EQ(out.size(), 1000U / static_cast<std::size_t>(f));
        const std::size_t edge = 100;  // beyond the longest filter's reach
        for (std::size_t k = edge / static_cast<std::size_t>(f);
             k < out.size() - edge / static_cast<std::size_t>(f); ++k) {
            ASSERT_NEAR(out[k], ramp[k * static_cast<std::size_t>(f)], 1e-3) << "output " << k;
        }
    }
}

// Gain of out against a sine of the given frequency taken at every f-th input sample, by a
// least-squares fit over the outputs away from the ends.
double gain_db(const std::vector<float>& out, double cycles_per_sample, double amplitude,
               std::int32_t f) {
    double fit = 0.0;
    double norm = 0.0;
    const std::size_t edge = 200 / static_cast<std::size_t>(f);
    for (std::size_t k = edge; k + edge < out.size(); ++k) {
        const double reference =
            amplitude * std::sin(2 * std::numbers::pi * cycles_per_sample *
                                     static_cast<double>(k * static_cast<std::size_t>(f)) +
                                 0.3);
        fit += out[k] * reference;
        norm += reference * reference;
    }
    return 20.0 * std::log10(std::fabs(fit / norm));
}

double peak_db(const std::vector<float>& out, double amplitude, std::int32_t f) {
    double peak = 0.0;
    const std::size_t edge = 200 / static_cast<std::size_t>(f);
    for (std::size_t k = edge; k + edge < out.size(); ++k) {
        peak = std::max(peak, static_cast<double>(std::fabs(out[k])));
    }
    return 20.0 * std::log10(peak / amplitude);
}

TEST_P(every_converter, low_sines_pass_within_a_tenth_of_a_decibel) {
    const double amplitude = 30000.0;
    for (const std::int32_t f : {2, 4}) {
        const double new_nyquist = 0.5 / f;
        for (const double fraction : {0.05, 0.3, 0.6, 0.8}) {
            SCOPED_TRACE(::testing::Message()
                         << "f=" << f << " at " << fraction << " of the new Nyquist");
            const double frequency = fraction * new_nyquist;
            const auto out = convert(GetParam(), sine(4000, frequency, amplitude), f);
            EXPECT_LE(std::fabs(gain_db(out, frequency, amplitude, f)), 0.1);
        }
    }
}

TEST_P(every_converter, sines_at_and_above_the_new_nyquist_are_60_db_down) {
    const double amplitude = 30000.0;
    for (const std::int32_t f : {2, 4}) {
        const double new_nyquist = 0.5 / f;
        for (const double fraction : {1.0, 1.05, 1.3, 1.9}) {
            SCOPED_TRACE(::testing::Message()
                         << "f=" << f << " at " << fraction << " of the new Nyquist");
            const auto out = convert(GetParam(), sine(4000, fraction * new_nyquist, amplitude), f);
            EXPECT_LE(peak_db(out, amplitude, f), -60.0);
        }
    }
}

TEST(sample_library, filter_response_meets_its_bounds_everywhere) {
    for (const std::int32_t f : {2, 4}) {
        SCOPED_TRACE(f);
        const auto taps = resampling_taps(f);
        ASSERT_GT(taps.size(), 1U);
        double dc = taps[0];
        for (std::size_t j = 1; j < taps.size(); ++j) dc += 2 * taps[j];
        EXPECT_NEAR(dc, 1.0, 1e-12);
        const double new_nyquist = 0.5 / f;
        for (int i = 0; i <= 5000; ++i) {
            const double frequency = 0.5 * i / 5000.0;
            double response = taps[0];
            for (std::size_t j = 1; j < taps.size(); ++j) {
                response += 2 * taps[j] *
                            std::cos(2 * std::numbers::pi * frequency * static_cast<double>(j));
            }
            const double db = 20.0 * std::log10(std::fabs(response));
            if (frequency <= 0.8 * new_nyquist) {
                ASSERT_LE(std::fabs(db), 0.1) << "pass band at " << frequency;
            } else if (frequency >= new_nyquist) {
                ASSERT_LE(db, -60.0) << "stop band at " << frequency;
            }
        }
    }
    EXPECT_TRUE(resampling_taps(1).empty());
    EXPECT_TRUE(resampling_taps(3).empty());
}

TEST(sample_library, every_result_has_a_text) {
    for (const auto result :
         {SampleLibraryResult::ok, SampleLibraryResult::bad_factor, SampleLibraryResult::bad_count,
          SampleLibraryResult::source_too_short, SampleLibraryResult::destination_too_small}) {
        EXPECT_NE(describe(result), "unknown result");
        EXPECT_FALSE(describe(result).empty());
    }
}

}  // namespace
}  // namespace quarvent
