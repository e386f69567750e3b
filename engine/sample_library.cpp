#include "engine/sample_library.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <vector>

namespace quarvent {

namespace {

constexpr bool valid_factor(std::int32_t f) { return f == 1 || f == 2 || f == 4; }

// The Kaiser design's length estimate is slightly optimistic, so the filter is designed for a
// few dB more than the 60 dB it must reach at the new Nyquist frequency.
constexpr double design_attenuation_db = 66.0;

double bessel_i0(double x) {
    double sum = 1.0;
    double term = 1.0;
    for (int k = 1; k < 500; ++k) {
        const double half = x / (2.0 * k);
        term *= half * half;
        sum += term;
        if (term < sum * 1e-17) break;
    }
    return sum;
}

// Kaiser-windowed sinc for reduction by f: pass band up to 0.8 of the new Nyquist frequency
// (0.5 / f cycles per input sample), stop band from the new Nyquist on, cut-off between the
// two. Returns the centre tap and one side; the taps sum to exactly one over both sides.
std::vector<double> design_taps(int f) {
    const double pass_edge = 0.4 / f;
    const double stop_edge = 0.5 / f;
    const double cutoff = (pass_edge + stop_edge) / 2.0;
    const double transition_rad = 2.0 * std::numbers::pi * (stop_edge - pass_edge);
    const double attenuation = design_attenuation_db;
    const int order = static_cast<int>(std::ceil((attenuation - 7.95) / (2.285 * transition_rad)));
    const int half = (order + 1) / 2;
    const double beta = 0.1102 * (attenuation - 8.7);

    std::vector<double> taps(static_cast<std::size_t>(half) + 1);
    const double window_norm = bessel_i0(beta);
    double sum = 0.0;
    for (int j = 0; j <= half; ++j) {
        const double sinc =
            j == 0 ? 2.0 * cutoff
                   : std::sin(2.0 * std::numbers::pi * cutoff * j) / (std::numbers::pi * j);
        const double r = static_cast<double>(j) / half;
        const double window = bessel_i0(beta * std::sqrt(1.0 - r * r)) / window_norm;
        taps[static_cast<std::size_t>(j)] = sinc * window;
        sum += j == 0 ? taps[0] : 2.0 * taps[static_cast<std::size_t>(j)];
    }
    for (double& tap : taps) tap /= sum;
    return taps;
}

// The nearest float; from the float range's rounding edge on, an infinity of the value's sign
// (the plain conversion of such a value is undefined). NaN stays NaN.
inline float to_float(double value) {
    constexpr double overflow_edge = 0x1.ffffffp127;  // largest float plus half its spacing
    if (std::fabs(value) >= overflow_edge) {
        return value > 0 ? std::numeric_limits<float>::infinity()
                         : -std::numeric_limits<float>::infinity();
    }
    return static_cast<float>(value);
}

inline double as_double(std::int16_t v) { return v; }
inline double as_double(std::int32_t v) { return v; }
inline double as_double(float v) { return v; }
inline double as_double(double v) { return v; }

// Index i of an n-sample trace mirrored about its first and last samples
// (... x2 x1 | x0 x1 ... xn-1 | xn-2 ...), for any i; n >= 1.
inline std::ptrdiff_t mirror(std::ptrdiff_t i, std::ptrdiff_t n) {
    if (n == 1) return 0;
    const std::ptrdiff_t period = 2 * (n - 1);
    i %= period;
    if (i < 0) i += period;
    return i < n ? i : period - i;
}

// Low-pass filters x[0 .. n) and writes the filtered value at input sample k * f to out[k],
// k = 0 .. count - 1. Sums are formed in double, so integer and double sources lose nothing
// before the final rounding.
template <typename T>
void decimate(const T* x, std::ptrdiff_t n, float* out, std::int32_t count, std::int32_t f) {
    const std::span<const double> taps = resampling_taps(f);
    const auto half = static_cast<std::ptrdiff_t>(taps.size()) - 1;
    const double* t = taps.data();
    for (std::int32_t k = 0; k < count; ++k) {
        const std::ptrdiff_t c = static_cast<std::ptrdiff_t>(k) * f;
        double sum;
        if (c >= half && c + half < n) {
            // Four partial sums keep the additions independent of one another.
            double s0 = 0.0;
            double s1 = 0.0;
            double s2 = 0.0;
            double s3 = 0.0;
            std::ptrdiff_t j = 1;
            for (; j + 3 <= half; j += 4) {
                s0 += t[j] * (as_double(x[c - j]) + as_double(x[c + j]));
                s1 += t[j + 1] * (as_double(x[c - j - 1]) + as_double(x[c + j + 1]));
                s2 += t[j + 2] * (as_double(x[c - j - 2]) + as_double(x[c + j + 2]));
                s3 += t[j + 3] * (as_double(x[c - j - 3]) + as_double(x[c + j + 3]));
            }
            for (; j <= half; ++j) s0 += t[j] * (as_double(x[c - j]) + as_double(x[c + j]));
            sum = t[0] * as_double(x[c]) + ((s0 + s1) + (s2 + s3));
        } else {
            sum = t[0] * as_double(x[c]);
            for (std::ptrdiff_t j = 1; j <= half; ++j) {
                sum += t[j] * (as_double(x[mirror(c - j, n)]) + as_double(x[mirror(c + j, n)]));
            }
        }
        out[k] = to_float(sum);
    }
}

// Checks shared by the five converters; ok when n samples can be read from a source of
// source_size elements and resampled_count(n, f) written to a destination of
// destination_size.
SampleLibraryResult check_arguments(std::size_t source_size, std::size_t destination_size,
                                    std::int32_t n, std::int32_t f) {
    if (n < 0) return SampleLibraryResult::bad_count;
    if (!valid_factor(f)) return SampleLibraryResult::bad_factor;
    if (source_size < static_cast<std::size_t>(n)) return SampleLibraryResult::source_too_short;
    if (destination_size < static_cast<std::size_t>(resampled_count(n, f))) {
        return SampleLibraryResult::destination_too_small;
    }
    return SampleLibraryResult::ok;
}

// One sample of the 20-bit format: a one's-complement 16-bit mantissa word (a negative word
// w stands for w + 1, so 0xFFFF is 0 and 0x8000 is -32767) times 2^exponent. The product
// has at most 15 significant bits and so is held exactly by a float.
inline float seg20bit_sample(std::uint8_t low, std::uint8_t high, unsigned exponent) {
    const auto word = static_cast<std::int16_t>(static_cast<std::uint16_t>(low | (high << 8)));
    const std::int32_t mantissa = word + (word < 0 ? 1 : 0);
    return static_cast<float>(mantissa * (std::int32_t{1} << exponent));
}

// Decodes n samples from bytes into out; samples whose mantissa lies beyond bytes are 0.
void decode_seg20bit(std::span<const std::uint8_t> bytes, std::int32_t n, float* out) {
    const std::size_t samples = static_cast<std::size_t>(n);
    const std::size_t full_groups = std::min(samples / 4, bytes.size() / 10);
    const std::uint8_t* b = bytes.data();
    for (std::size_t g = 0; g < full_groups; ++g, b += 10, out += 4) {
        const unsigned exponents = static_cast<unsigned>(b[0] | (b[1] << 8));
        out[0] = seg20bit_sample(b[2], b[3], exponents & 0xFu);
        out[1] = seg20bit_sample(b[4], b[5], (exponents >> 4) & 0xFu);
        out[2] = seg20bit_sample(b[6], b[7], (exponents >> 8) & 0xFu);
        out[3] = seg20bit_sample(b[8], b[9], (exponents >> 12) & 0xFu);
    }
    for (std::size_t i = full_groups * 4; i < samples; ++i, ++out) {
        const std::size_t base = (i / 4) * 10;
        const std::size_t mantissa_at = base + 2 + 2 * (i % 4);
        if (mantissa_at + 2 > bytes.size()) {
            *out = 0.0F;
            continue;
        }
        const unsigned exponents = static_cast<unsigned>(bytes[base] | (bytes[base + 1] << 8));
        *out = seg20bit_sample(bytes[mantissa_at], bytes[mantissa_at + 1],
                               (exponents >> (4 * (i % 4))) & 0xFu);
    }
}

template <typename T>
void convert_plain(const T* __restrict source, float* __restrict destination, std::int32_t n) {
    for (std::int32_t i = 0; i < n; ++i) destination[i] = static_cast<float>(source[i]);
}

void convert_plain(const double* __restrict source, float* __restrict destination, std::int32_t n) {
    for (std::int32_t i = 0; i < n; ++i) destination[i] = to_float(source[i]);
}

// Converts or resamples n samples of source into destination after the checks.
template <typename T>
SampleLibraryResult convert(std::span<const T> source, std::span<float> destination, std::int32_t n,
                            std::int32_t f) {
    const SampleLibraryResult checked = check_arguments(source.size(), destination.size(), n, f);
    if (checked != SampleLibraryResult::ok) return checked;
    if (f == 1) {
        convert_plain(source.data(), destination.data(), n);
    } else {
        decimate(source.data(), n, destination.data(), resampled_count(n, f), f);
    }
    return SampleLibraryResult::ok;
}

}  // namespace

std::string_view describe(SampleLibraryResult result) {
    switch (result) {
        case SampleLibraryResult::ok:
            return "ok";
        case SampleLibraryResult::bad_factor:
            return "resample factor not 1, 2 or 4";
        case SampleLibraryResult::bad_count:
            return "negative sample count";
        case SampleLibraryResult::source_too_short:
            return "fewer samples than the count";
        case SampleLibraryResult::destination_too_small:
            return "no room for the samples";
    }
    return "unknown result";
}

void PrintTo(SampleLibraryResult result, std::ostream* os) { *os << describe(result); }

std::int32_t resampled_count(std::int32_t n, std::int32_t f) {
    if (n < 0 || !valid_factor(f)) return 0;
    const std::int32_t quotient = n / f;
    const std::int32_t twice_remainder = 2 * (n % f);
    if (twice_remainder > f) return quotient + 1;
    if (twice_remainder == f) return quotient + (quotient % 2);
    return quotient;
}

std::size_t seg20bit_byte_count(std::int32_t n) {
    if (n < 0) return 0;
    const std::uint64_t five_n = 5 * static_cast<std::uint64_t>(n);
    std::uint64_t bytes = five_n / 2;
    if (five_n % 2 != 0 && bytes % 2 != 0) ++bytes;  // a half goes to the even neighbour
    return static_cast<std::size_t>(bytes);
}

SampleLibraryResult bufmoverf(std::span<const std::byte> source, std::span<std::byte> destination) {
    if (destination.size() < source.size()) return SampleLibraryResult::destination_too_small;
    if (!source.empty()) std::memmove(destination.data(), source.data(), source.size());
    return SampleLibraryResult::ok;
}

SampleLibraryResult int2fpt(std::span<const std::int16_t> source, std::span<float> destination,
                            std::int32_t n, std::int32_t f) {
    return convert(source, destination, n, f);
}

SampleLibraryResult long2fpt(std::span<const std::int32_t> source, std::span<float> destination,
                             std::int32_t n, std::int32_t f) {
    return convert(source, destination, n, f);
}

SampleLibraryResult double2fpt(std::span<const double> source, std::span<float> destination,
                               std::int32_t n, std::int32_t f) {
    return convert(source, destination, n, f);
}

SampleLibraryResult seg20bit2fpt(std::span<const std::uint8_t> source, std::span<float> destination,
                                 std::int32_t n, std::int32_t f) {
    if (n < 0) return SampleLibraryResult::bad_count;
    const std::size_t byte_count = seg20bit_byte_count(n);
    if (source.size() < byte_count) return SampleLibraryResult::source_too_short;
    const SampleLibraryResult checked =
        check_arguments(static_cast<std::size_t>(n), destination.size(), n, f);
    if (checked != SampleLibraryResult::ok) return checked;
    const auto bytes = source.first(byte_count);
    if (f == 1) {
        decode_seg20bit(bytes, n, destination.data());
    } else {
        std::vector<float> decoded(static_cast<std::size_t>(n));
        decode_seg20bit(bytes, n, decoded.data());
        decimate(decoded.data(), n, destination.data(), resampled_count(n, f), f);
    }
    return SampleLibraryResult::ok;
}

SampleLibraryResult fpt2fpt(std::span<float> samples, std::int32_t n, std::int32_t f) {
    const SampleLibraryResult checked = check_arguments(samples.size(), samples.size(), n, f);
    if (checked != SampleLibraryResult::ok) return checked;
    if (f == 1) return SampleLibraryResult::ok;
    // The filter reads inputs on both sides of each kept one, so the outputs cannot overwrite
    // the inputs as they go; they are filtered from a copy.
    const std::vector<float> input(samples.begin(), samples.begin() + n);
    decimate(input.data(), n, samples.data(), resampled_count(n, f), f);
    return SampleLibraryResult::ok;
}

std::span<const double> resampling_taps(std::int32_t f) {
    static const std::vector<double> taps_2 = design_taps(2);
    static const std::vector<double> taps_4 = design_taps(4);
    if (f == 2) return taps_2;
    if (f == 4) return taps_4;
    return {};
}

}  // namespace quarvent
