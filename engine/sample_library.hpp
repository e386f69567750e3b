#pragma once
// The sample conversion library: moves sample bytes and turns each SEG-2 data format into
// 32-bit floats, reduced by a resample factor f of 1, 2 or 4.
//
// Every converter takes n samples from its source and fills destination positions
// 0 .. resampled_count(n, f) - 1 in time order; nothing else of the destination is touched.
// A sample becomes the float of its value: 16-bit integers and 20-bit packed values exactly,
// 32-bit integers and 64-bit floats rounded to the nearest float (64-bit values beyond the
// float range become infinities of their sign, NaN stays NaN).
//
// At f = 2 or 4 output sample k is the input low-pass filtered and taken at input sample
// k * f, so the first output sample keeps the first input sample's time. The filter is a
// zero-phase Kaiser-windowed sinc with unit gain at zero frequency, flat within 0.1 dB up to
// 0.8 of the new Nyquist frequency and at least 60 dB down at and above it; the trace's ends
// are mirrored about its first and last samples, so a constant trace stays constant. Keeping
// one sample in f without the filter would fold every frequency above the new Nyquist back
// into the data.
//
// The entries check their spans and refuse, writing nothing, when the arguments do not fit;
// every result lies within a signed 16-bit integer.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "common/enum_names.hpp"

namespace quarvent {

enum class SampleLibraryResult : std::int16_t {
    ok = 0,
    bad_factor = 1,             // f is not 1, 2 or 4
    bad_count = 2,              // n is negative
    source_too_short = 3,       // the source holds less than n samples' worth
    destination_too_small = 4,  // the destination cannot hold what is to be written
};

// Fixed text for each result, for log entries.
std::string_view describe(SampleLibraryResult result);
constexpr std::string_view name_of(SampleLibraryResult result) {
    constexpr auto names = enum_names<SampleLibraryResult::destination_too_small>(
        "ok", "bad_factor", "bad_count", "source_too_short", "destination_too_small");
    return name_in(names, result);
}

// n / f rounded to the nearest integer, halves to even: the number of samples a converter
// writes (n = 5, f = 2 gives 2; n = 6, f = 4 gives 2; n = 1, f = 2 gives 0). 0 for a
// negative n or a factor other than 1, 2 or 4.
std::int32_t resampled_count(std::int32_t n, std::int32_t f);

// Bytes of n samples in the 20-bit packed format: 5 * n / 2 rounded to the nearest integer,
// halves to even (n = 1 gives 2, n = 3 gives 8, n = 4 gives 10, n = 5 gives 12). 0 for a
// negative n.
std::size_t seg20bit_byte_count(std::int32_t n);

// The resampling filter has a plain path and, on processors that have them, paths on
// 256-bit (AVX2 with fused multiply-add) and 512-bit (AVX-512) vectors; the widest one
// available is taken. All sum in double: they agree within 4 units in the last place of each
// float result, and exactly on constant traces.
enum class ResamplingPath : std::uint8_t { plain, avx2, avx512 };
std::string_view describe(ResamplingPath path);

// The paths this processor can take, plain first and the widest last.
std::vector<ResamplingPath> available_resampling_paths();
ResamplingPath resampling_path();
// Makes the whole process take path from now on, so that tests and benchmarks can compare
// the paths; false, changing nothing, when the processor cannot take it.
bool set_resampling_path(ResamplingPath path);

// Copies every byte of source, unchanged, to the start of destination.
[[nodiscard]] SampleLibraryResult bufmoverf(std::span<const std::byte> source,
                                            std::span<std::byte> destination);

// 16-bit two's-complement integers (data format 1).
[[nodiscard]] SampleLibraryResult int2fpt(std::span<const std::int16_t> source,
                                          std::span<float> destination, std::int32_t n,
                                          std::int32_t f);

// 32-bit two's-complement integers (data format 2).
[[nodiscard]] SampleLibraryResult long2fpt(std::span<const std::int32_t> source,
                                           std::span<float> destination, std::int32_t n,
                                           std::int32_t f);

// The 20-bit packed format (data format 3): groups of 4 samples in 10 bytes. Bytes 0-1, a
// little-endian word, hold the four 4-bit exponents (sample 1 in bits 0-3 ... sample 4 in
// bits 12-15); bytes 2-9 hold the four mantissas, little-endian words in time order, each a
// sign bit and a 15-bit one's-complement magnitude. A sample is mantissa * 2^exponent.
// Only the first seg20bit_byte_count(n) bytes of source are used; a sample of the last
// group whose mantissa does not lie wholly inside them becomes 0.
[[nodiscard]] SampleLibraryResult seg20bit2fpt(std::span<const std::uint8_t> source,
                                               std::span<float> destination, std::int32_t n,
                                               std::int32_t f);

// 32-bit floats (data format 4), resampled in place: samples holds the n input samples and
// receives the output. At f = 1 nothing changes.
[[nodiscard]] SampleLibraryResult fpt2fpt(std::span<float> samples, std::int32_t n, std::int32_t f);

// 64-bit floats (data format 5).
[[nodiscard]] SampleLibraryResult double2fpt(std::span<const double> source,
                                             std::span<float> destination, std::int32_t n,
                                             std::int32_t f);

}  // namespace quarvent
