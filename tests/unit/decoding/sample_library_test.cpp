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
#include "tests/support/enum_printing.hpp"

namespace quarvent {
namespace {

constexpr float sentinel = -12345.0F;

TEST(sample_library, output_count_is_n_over_f_rounded_halves_to_even) {
    const std::int32_t rows[][3] = {{0, 1, 0}, {7, 1, 7},  {1, 2, 0}, {3, 2, 2},  {5, 2, 2},
                                    {7, 2, 4}, {2, 4, 0},  {6, 4, 2}, {10, 4, 2}, {14, 4, 4},
                                    {7, 4, 2}, {-4, 2, 0}, {8, 3, 0}};
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << "n=" << row[0] << " f=" << row[1]);
        EXPECT_EQ(resampled_count(row[0], row[1]), row[2]);
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
        std::vector<std::uint8_t> bytes;
        std::array<float, 4> expected;
    };
    const Row rows[] = {
        {{0x21, 0x22, 0x24, 0x93, 0x1F, 0xBA, 0x60, 0xAA, 0x8A, 0x9A},
         {-55734, -71552, -87676, -103892}},
        {group(0x0000, {0xFFFF, 0x8000, 0xFFFE, 0x7FFF}), {0, -32767, -1, 32767}},
        {group(0x4321, {1, 1, 1, 0xFFFE}), {2, 4, 8, -16}},
        {group(0xF0FF, {0x8000, 0xFFFF, 0x8000, 0x7FFF}),
         {-32767.0F * 32768, 0, -32767, 32767.0F * 32768}},
    };
    for (const auto& row : rows) {
        std::vector<float> out(5, sentinel);
        ASSERT_EQ(seg20bit2fpt(row.bytes, out, 4, 1), SampleLibraryResult::ok);
        std::vector<float> expected(row.expected.begin(), row.expected.end());
        expected.push_back(sentinel);  // nothing written past the fourth sample
        EXPECT_EQ(out, expected);
    }
}

TEST(sample_library, partial_20_bit_group_keeps_only_samples_whose_mantissa_was_read) {
    std::vector<std::uint8_t> bytes = group(0, {1, 2, 3, 4});
    for (auto byte : group(0, {5, 6, 7, 8})) bytes.push_back(byte);
    // n = 1 reads the exponent word only, n = 2 half of the second mantissa; whatever else
    // the buffer holds is not the trace's.
    const std::vector<float> rows[] = {{0}, {1, 0}, {1, 2, 3}, {1, 2, 3, 4, 0}, {1, 2, 3, 4, 5, 0}};
    for (const auto& expected : rows) {
        const auto n = static_cast<std::int32_t>(expected.size());
        SCOPED_TRACE(n);
        std::vector<float> out(expected.size() + 1, sentinel);
        ASSERT_EQ(seg20bit2fpt(bytes, out, n, 1), SampleLibraryResult::ok);
        out.pop_back();
        EXPECT_EQ(out, expected);
    }
}

TEST(sample_library, long_20_bit_traces_decode_as_their_groups_do_one_by_one) {
    // Long traces take a wider decoder than single groups; both must agree bit for bit.
    std::mt19937 random(20);
    std::vector<std::uint8_t> bytes(seg20bit_byte_count(1003));
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random());
    for (const std::int32_t n : {8, 12, 16, 20, 24, 1000, 1003}) {
        SCOPED_TRACE(n);
        std::vector<float> whole(static_cast<std::size_t>(n));
        ASSERT_EQ(seg20bit2fpt(bytes, whole, n, 1), SampleLibraryResult::ok);
        for (std::size_t g = 0; 4 * g + 4 <= whole.size(); ++g) {
            std::array<float, 4> one{};
            ASSERT_EQ(seg20bit2fpt(std::span(bytes).subspan(10 * g, 10), one, 4, 1),
                      SampleLibraryResult::ok);
            for (std::size_t i = 0; i < 4; ++i) {
                ASSERT_EQ(std::bit_cast<std::uint32_t>(whole[4 * g + i]),
                          std::bit_cast<std::uint32_t>(one[i]))
                    << "sample " << 4 * g + i;
            }
        }
    }
}

TEST(sample_library, every_20_bit_mantissa_word_decodes_exactly_at_every_exponent) {
    // One long trace, so that the widest decoder takes nearly all of it: sample i holds the
    // mantissa word i and an exponent that changes from sample to sample and group to group.
    constexpr std::int32_t n = 65536;
    const auto exponent_of = [](std::uint32_t i) { return (i * 7 + i / 4) % 16; };
    std::vector<std::uint8_t> bytes;
    for (std::uint32_t g = 0; g < n / 4; ++g) {
        std::uint16_t exponents = 0;
        std::array<std::uint16_t, 4> words{};
        for (std::uint32_t s = 0; s < 4; ++s) {
            exponents = static_cast<std::uint16_t>(exponents | exponent_of(4 * g + s) << (4 * s));
            words[s] = static_cast<std::uint16_t>(4 * g + s);
        }
        for (auto byte : group(exponents, words)) bytes.push_back(byte);
    }
    std::vector<float> out(n);
    ASSERT_EQ(seg20bit2fpt(bytes, out, n, 1), SampleLibraryResult::ok);
    for (std::uint32_t i = 0; i < n; ++i) {
        const auto word = static_cast<std::int16_t>(i);
        const double expected = (word + (word < 0 ? 1 : 0)) * std::ldexp(1.0, exponent_of(i));
        ASSERT_EQ(std::bit_cast<std::uint32_t>(out[i]),
                  std::bit_cast<std::uint32_t>(static_cast<float>(expected)))
            << "word " << i << ", exponent " << exponent_of(i);
    }
}

// Every converter over the same values (whole numbers within 15 bits), so that the
// resampling tables run them all.
struct Converter {
    const char* name;
    std::function<SampleLibraryResult(const std::vector<double>&, std::span<float>, std::int32_t f)>
        run;
};
void PrintTo(const Converter& converter, std::ostream* os) { *os << converter.name; }

std::vector<std::uint8_t> packed_20_bit(const std::vector<double>& values) {
    std::vector<std::uint8_t> out;
    for (std::size_t g = 0; g < values.size(); g += 4) {
        std::array<std::uint16_t, 4> words{};
        for (std::size_t i = 0; i < 4 && g + i < values.size(); ++i) {
            const auto v = static_cast<std::int32_t>(values[g + i]);
            words[i] = static_cast<std::uint16_t>(v < 0 ? v - 1 : v);  // one's complement
        }
        for (auto byte : group(0, words)) out.push_back(byte);
    }
    return out;
}

using Values = std::vector<double>;
const Converter converters[] = {
    {"int2fpt",
     [](const Values& v, std::span<float> out, std::int32_t f) {
         return int2fpt(std::vector<std::int16_t>(v.begin(), v.end()), out,
                        static_cast<std::int32_t>(v.size()), f);
     }},
    {"long2fpt",
     [](const Values& v, std::span<float> out, std::int32_t f) {
         return long2fpt(std::vector<std::int32_t>(v.begin(), v.end()), out,
                         static_cast<std::int32_t>(v.size()), f);
     }},
    {"seg20bit2fpt",
     [](const Values& v, std::span<float> out, std::int32_t f) {
         return seg20bit2fpt(packed_20_bit(v), out, static_cast<std::int32_t>(v.size()), f);
     }},
    {"fpt2fpt in place",
     [](const Values& v, std::span<float> out, std::int32_t f) {
         std::vector<float> samples(v.begin(), v.end());
         const auto result = fpt2fpt(samples, static_cast<std::int32_t>(v.size()), f);
         if (result == SampleLibraryResult::ok)
             std::copy_n(samples.begin(), out.size(), out.begin());
         return result;
     }},
    {"double2fpt",
     [](const Values& v, std::span<float> out, std::int32_t f) {
         return double2fpt(v, out, static_cast<std::int32_t>(v.size()), f);
     }},
};

class every_converter : public ::testing::TestWithParam<Converter> {
protected:
    std::vector<float> convert(const Values& values, std::int32_t f) {
        const auto n = static_cast<std::int32_t>(values.size());
        std::vector<float> out(static_cast<std::size_t>(resampled_count(n, f)));
        EXPECT_EQ(GetParam().run(values, out, f), SampleLibraryResult::ok);
        return out;
    }
};
INSTANTIATE_TEST_SUITE_P(sample_library, every_converter, ::testing::ValuesIn(converters));

TEST_P(every_converter, constant_and_zero_traces_stay_as_they_are_at_any_length) {
    for (const std::int32_t f : {1, 2, 4}) {
        // Lengths below, at and above the longest filter (163 taps), each ending where a
        // 20-bit trace's last mantissa is read whole.
        for (const std::size_t n : {3U, 4U, 7U, 80U, 163U, 1000U}) {
            for (const double level : {0.0, -1234.0}) {
                SCOPED_TRACE(::testing::Message() << "f=" << f << " n=" << n << " " << level);
                const auto out = convert(Values(n, level), f);
                EXPECT_EQ(out, std::vector<float>(out.size(), static_cast<float>(level)));
            }
        }
    }
}

TEST_P(every_converter, output_k_is_taken_at_input_k_times_f) {
    // A symmetric filter passes a straight line unchanged away from the trace's ends.
    Values ramp(1000);
    for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = static_cast<double>(i) - 500.0;
    for (const std::size_t f : {1U, 2U, 4U}) {
        const auto out = convert(ramp, static_cast<std::int32_t>(f));
        for (std::size_t k = 100 / f; k < out.size() - 100 / f; ++k) {
            ASSERT_NEAR(out[k], ramp[k * f], 1e-3) << "f=" << f << " output " << k;
        }
    }
}

TEST_P(every_converter, keeps_low_sines_and_removes_those_at_and_above_the_new_nyquist) {
    // Level of the output against the input's amplitude, away from the trace's ends: a
    // least-squares gain for pass-band sines, the peak for stop-band ones.
    const double amplitude = 30000.0;
    const double phase = 0.3;
    for (const std::int32_t f : {2, 4}) {
        for (const double fraction : {0.05, 0.5, 0.8, 1.0, 1.05, 1.9}) {
            SCOPED_TRACE(::testing::Message() << "f=" << f << ", " << fraction << " x Nyquist");
            const double frequency = fraction * 0.5 / f;
            Values wave(4000);
            for (std::size_t i = 0; i < wave.size(); ++i) {
                wave[i] = std::round(
                    amplitude *
                    std::sin(2 * std::numbers::pi * frequency * static_cast<double>(i) + phase));
            }
            const auto out = convert(wave, f);
            double fit = 0.0;
            double norm = 0.0;
            double peak = 0.0;
            for (std::size_t k = 200 / f; k + 200 / f < out.size(); ++k) {
                const double time = static_cast<double>(k) * f;
                const double expected = std::sin(2 * std::numbers::pi * frequency * time + phase);
                fit += out[k] * expected;
                norm += expected * expected;
                peak = std::max(peak, std::fabs(static_cast<double>(out[k])));
            }
            if (fraction <= 0.8) {
                EXPECT_LE(std::fabs(20 * std::log10(fit / norm / amplitude)), 0.1);
            } else {
                EXPECT_LE(20 * std::log10(peak / amplitude), -60.0);
            }
        }
    }
}

// Distance in floats between two finite floats of the same sign (or zero).
std::int64_t ulp_distance(float a, float b) {
    const auto order = [](float x) {
        const auto bits = static_cast<std::int64_t>(std::bit_cast<std::int32_t>(x));
        return bits < 0 ? std::int64_t{std::numeric_limits<std::int32_t>::min()} - bits : bits;
    };
    return std::abs(order(a) - order(b));
}

// Sets a resampling path for the life of the object and goes back to the one before.
class PathInForce {
public:
    explicit PathInForce(ResamplingPath path) : before_(resampling_path()) {
        EXPECT_TRUE(set_resampling_path(path));
    }
    ~PathInForce() { (void)set_resampling_path(before_); }
    PathInForce(const PathInForce&) = delete;
    PathInForce& operator=(const PathInForce&) = delete;

private:
    ResamplingPath before_;
};

TEST(sample_library, the_widest_resampling_path_is_taken_and_unavailable_ones_are_refused) {
    const auto paths = available_resampling_paths();
    ASSERT_FALSE(paths.empty());
    EXPECT_EQ(paths.front(), ResamplingPath::plain);
    EXPECT_EQ(resampling_path(), paths.back());
    for (const auto path : {ResamplingPath::plain, ResamplingPath::avx2, ResamplingPath::avx512}) {
        const bool available = std::find(paths.begin(), paths.end(), path) != paths.end();
        const ResamplingPath before = resampling_path();
        EXPECT_EQ(set_resampling_path(path), available) << describe(path);
        EXPECT_EQ(resampling_path(), available ? path : before);
        (void)set_resampling_path(paths.back());
    }
}

// Every vector path against the plain one, for every converter, at lengths around the vector
// blocks (32 and 128 outputs) and the filter length (each ending where a 20-bit trace's last
// mantissa is read whole), on noise, a loud sine, steps and constants.
TEST_P(every_converter, vector_resampling_agrees_with_the_plain_filter) {
    const auto paths = available_resampling_paths();
    if (paths.size() == 1) GTEST_SKIP() << "this processor has no vector resampling path";
    std::mt19937 random(17);
    std::uniform_int_distribution<int> noise(-32000, 32000);
    for (const std::size_t n :
         {3U, 4U, 7U, 31U, 64U, 128U, 163U, 164U, 255U, 256U, 259U, 512U, 516U, 1000U, 4099U}) {
        Values noisy(n);
        Values sine(n);
        Values step(n);
        for (std::size_t i = 0; i < n; ++i) {
            noisy[i] = noise(random);
            sine[i] = std::round(30000.0 * std::sin(0.3 * static_cast<double>(i)));
            step[i] = i < n / 3 ? -20000.0 : 15000.0;
        }
        for (const std::int32_t f : {2, 4}) {
            for (const auto* values : {&noisy, &sine, &step}) {
                std::vector<float> plain;
                {
                    const PathInForce in_force(ResamplingPath::plain);
                    plain = convert(*values, f);
                }
                for (std::size_t p = 1; p < paths.size(); ++p) {
                    SCOPED_TRACE(::testing::Message()
                                 << describe(paths[p]) << " n=" << n << " f=" << f);
                    const PathInForce in_force(paths[p]);
                    const auto wide = convert(*values, f);
                    ASSERT_EQ(wide.size(), plain.size());
                    for (std::size_t k = 0; k < wide.size(); ++k) {
                        ASSERT_LE(ulp_distance(wide[k], plain[k]), 4)
                            << "output " << k << ": " << wide[k] << " against " << plain[k];
                    }
                }
            }
            for (const double level : {0.0, 1.0, -1234.0, 32767.0}) {
                for (const ResamplingPath path : paths) {
                    SCOPED_TRACE(::testing::Message() << describe(path) << " n=" << n << " f=" << f
                                                      << " level " << level);
                    const PathInForce in_force(path);
                    const auto out = convert(Values(n, level), f);
                    EXPECT_EQ(out, std::vector<float>(out.size(), static_cast<float>(level)));
                }
            }
        }
    }
}

TEST(sample_library, arguments_that_do_not_fit_are_refused_and_nothing_is_written) {
    const std::vector<std::int16_t> four(4, 7);
    std::vector<float> out(4, sentinel);
    const std::pair<SampleLibraryResult, SampleLibraryResult> rows[] = {
        {int2fpt(four, out, 4, 3), SampleLibraryResult::bad_factor},
        {int2fpt(four, out, -1, 1), SampleLibraryResult::bad_count},
        {int2fpt(four, out, 5, 1), SampleLibraryResult::source_too_short},
        {int2fpt(four, std::span(out).first(1), 4, 2), SampleLibraryResult::destination_too_small},
        {seg20bit2fpt(std::vector<std::uint8_t>(9), out, 4, 1),
         SampleLibraryResult::source_too_short},
        {fpt2fpt(out, 4, 0), SampleLibraryResult::bad_factor},
        {bufmoverf(std::as_bytes(std::span(four)), std::as_writable_bytes(std::span(out).first(1))),
         SampleLibraryResult::destination_too_small},
    };
    for (const auto& [got, expected] : rows) EXPECT_EQ(got, expected);
    EXPECT_EQ(out, std::vector<float>(4, sentinel));
}

TEST(sample_library, every_result_has_a_text) {
    for (int code = 0; code <= 4; ++code) {
        EXPECT_NE(describe(static_cast<SampleLibraryResult>(code)), "unknown result") << code;
    }
}

}  // namespace
}  // namespace quarvent
