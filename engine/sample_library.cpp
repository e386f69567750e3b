#include "engine/sample_library.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#if defined(__wasm_simd128__)
#include <wasm_simd128.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif
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

// The taps for factor 2 or 4, designed once: element j weighs the inputs j samples before
// and after the kept one.
std::span<const double> resampling_taps(std::int32_t f) {
    static const std::vector<double> taps_2 = design_taps(2);
    static const std::vector<double> taps_4 = design_taps(4);
    return f == 2 ? taps_2 : taps_4;
}

// Conversions to float round to the nearest value; on an IEEE machine a finite value beyond
// the float range lies between the largest float and infinity and so becomes the infinity of
// its sign, and NaN stays NaN.
static_assert(std::numeric_limits<float>::is_iec559 && std::numeric_limits<double>::is_iec559);

// Index i of an n-sample trace mirrored about its first and last samples
// (... x2 x1 | x0 x1 ... xn-1 | xn-2 ...), for any i; n >= 1.
inline std::ptrdiff_t mirror(std::ptrdiff_t i, std::ptrdiff_t n) {
    if (n == 1) return 0;
    const std::ptrdiff_t period = 2 * (n - 1);
    i %= period;
    if (i < 0) i += period;
    return i < n ? i : period - i;
}

// Low-pass filters x and writes the filtered value at input sample k * f to out[k] for every
// k of out. Sums are formed in double, so integer and double sources lose nothing before the
// final rounding and a constant trace comes out exactly constant.
void decimate(std::span<const double> x, std::span<float> out, std::int32_t f) {
    const std::span<const double> taps = resampling_taps(f);
    const auto half = static_cast<std::ptrdiff_t>(taps.size()) - 1;
    const auto n = static_cast<std::ptrdiff_t>(x.size());
    const double* t = taps.data();
    for (std::size_t k = 0; k < out.size(); ++k) {
        const auto c = static_cast<std::ptrdiff_t>(k) * f;
        double sum;
        if (c >= half && c + half < n) {
            // Four partial sums keep the additions independent of one another.
            const double* centre = x.data() + c;
            double s0 = 0.0;
            double s1 = 0.0;
            double s2 = 0.0;
            double s3 = 0.0;
            std::ptrdiff_t j = 1;
#if defined(__wasm_simd128__)
            // WebAssembly SIMD: the same four sums, two to a vector, each lane doing exactly
            // the operations of its scalar sum, so the result is the same to the bit.
            v128_t s01 = wasm_f64x2_splat(0.0);
            v128_t s23 = wasm_f64x2_splat(0.0);
            const auto mirrored = [](const double* at) {  // at[1], at[0]
                const v128_t pair = wasm_v128_load(at);
                return wasm_i64x2_shuffle(pair, pair, 1, 0);
            };
            for (; j + 3 <= half; j += 4) {
                const v128_t sums01 =
                    wasm_f64x2_add(mirrored(centre - j - 1), wasm_v128_load(centre + j));
                const v128_t sums23 =
                    wasm_f64x2_add(mirrored(centre - j - 3), wasm_v128_load(centre + j + 2));
                s01 = wasm_f64x2_add(s01, wasm_f64x2_mul(wasm_v128_load(t + j), sums01));
                s23 = wasm_f64x2_add(s23, wasm_f64x2_mul(wasm_v128_load(t + j + 2), sums23));
            }
            s0 = wasm_f64x2_extract_lane(s01, 0);
            s1 = wasm_f64x2_extract_lane(s01, 1);
            s2 = wasm_f64x2_extract_lane(s23, 0);
            s3 = wasm_f64x2_extract_lane(s23, 1);
#else
            for (; j + 3 <= half; j += 4) {
                s0 += t[j] * (centre[-j] + centre[j]);
                s1 += t[j + 1] * (centre[-j - 1] + centre[j + 1]);
                s2 += t[j + 2] * (centre[-j - 2] + centre[j + 2]);
                s3 += t[j + 3] * (centre[-j - 3] + centre[j + 3]);
            }
#endif
            for (; j <= half; ++j) s0 += t[j] * (centre[-j] + centre[j]);
            sum = t[0] * centre[0] + ((s0 + s1) + (s2 + s3));
        } else {
            sum = t[0] * x[static_cast<std::size_t>(c)];
            for (std::ptrdiff_t j = 1; j <= half; ++j) {
                sum += t[j] * (x[static_cast<std::size_t>(mirror(c - j, n))] +
                               x[static_cast<std::size_t>(mirror(c + j, n))]);
            }
        }
        out[k] = static_cast<float>(sum);
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

// A run of up to three taps of a vector filter, a vector's lanes times f samples apart (see
// fill_tap_runs); the inputs of output 0 for the first of them lie at positions before and
// after of the phase rows.
struct TapRun {
    static constexpr std::size_t longest = 3;
    std::size_t before;
    std::size_t after;
    std::size_t count;
    double taps[longest];
};

#if defined(__x86_64__) && defined(__GNUC__)
#define QUARVENT_HAVE_AVX2_PATH 1

// Decodes whole groups two at a time with 256-bit operations, from group 0 on, for as long as
// both 16-byte loads stay inside size bytes. Returns the number of groups decoded. Each
// sample is (mantissa * 2^16) as a float times 2^(exponent - 16), both exact; the exponent
// nibble is moved to the float exponent field by a multiplication, which keeps the work off
// the shift and shuffle units that the byte moves already load.
__attribute__((target("avx2"))) std::size_t decode_seg20bit_pairs_avx2(const std::uint8_t* bytes,
                                                                       std::size_t size,
                                                                       std::size_t groups,
                                                                       float* out) {
    // Each 128-bit half holds one group at its bytes 0 to 9. The mantissa words go to the upper
    // 16 bits of the 32-bit lanes, the exponent word to the lower 16 bits of every lane.
    const __m256i mantissa_order =
        _mm256_setr_epi8(-1, -1, 2, 3, -1, -1, 4, 5, -1, -1, 6, 7, -1, -1, 8, 9,  //
                         -1, -1, 2, 3, -1, -1, 4, 5, -1, -1, 6, 7, -1, -1, 8, 9);
    const __m256i exponent_order =
        _mm256_setr_epi8(0, 1, -1, -1, 0, 1, -1, -1, 0, 1, -1, -1, 0, 1, -1, -1,  //
                         0, 1, -1, -1, 0, 1, -1, -1, 0, 1, -1, -1, 0, 1, -1, -1);
    // Lane s: nibble s of the exponent word to bits 23 to 26.
    const __m256i to_exponent_field =
        _mm256_setr_epi32(1 << 23, 1 << 19, 1 << 15, 1 << 11, 1 << 23, 1 << 19, 1 << 15, 1 << 11);
    const __m256i exponent_field = _mm256_set1_epi32(0xF << 23);
    const __m256i bias = _mm256_set1_epi32((127 - 16) << 23);
    const __m256i zero = _mm256_setzero_si256();
    // Pair p reads bytes 20p to 20p + 25.
    const std::size_t pairs = std::min(groups / 2, size < 26 ? 0 : (size - 26) / 20 + 1);
    const std::uint8_t* b = bytes;
    for (std::size_t p = 0; p < pairs; ++p, b += 20, out += 8) {
        const __m256i raw = _mm256_inserti128_si256(
            _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b))),
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + 10)), 1);
        // One's complement: a negative word w stands for w + 1 (subtracting -1).
        const __m256i corrected = _mm256_sub_epi16(raw, _mm256_cmpgt_epi16(zero, raw));
        const __m256 mantissa = _mm256_cvtepi32_ps(_mm256_shuffle_epi8(corrected, mantissa_order));
        const __m256i exponent = _mm256_and_si256(
            _mm256_mullo_epi32(_mm256_shuffle_epi8(raw, exponent_order), to_exponent_field),
            exponent_field);
        const __m256 scale = _mm256_castsi256_ps(_mm256_add_epi32(exponent, bias));
        _mm256_storeu_ps(out, _mm256_mul_ps(mantissa, scale));
    }
    return 2 * pairs;
}

// Byte moves of decode_seg20bit_quads_avx512: the 32-bit lane l of the result, for sample
// l % 4 of group l / 4, takes its group's exponent word in its low 16 bits and the sample's
// mantissa word in its high 16 bits.
struct Seg20BitMoves {
    alignas(64) std::uint8_t lanes[64];
};
constexpr Seg20BitMoves seg20bit_moves = [] {
    Seg20BitMoves moves{};
    for (int p = 0; p < 64; ++p) {
        const int lane = p / 4;
        const int group = lane / 4;
        const int sample = lane % 4;
        const int b = p % 4;
        moves.lanes[p] =
            static_cast<std::uint8_t>(b < 2 ? 10 * group + b : 10 * group + 2 + 2 * sample + b - 2);
    }
    return moves;
}();

// 2^e for each exponent nibble e.
struct Seg20BitPowers {
    alignas(64) float of[16];
};
constexpr Seg20BitPowers seg20bit_powers = [] {
    Seg20BitPowers powers{};
    for (int e = 0; e < 16; ++e) powers.of[e] = static_cast<float>(1 << e);
    return powers;
}();

// Decodes four groups (40 bytes, 16 samples) a round with one 512-bit byte permute, from
// group 0 on, as many whole rounds as groups allows; returns the number of groups decoded.
// Nothing beyond size bytes is read. Each sample is its corrected mantissa as a float times
// 2^exponent, both exact; the float permute picks 2^exponent from a table by the low four
// bits of the exponent word shifted to the sample's nibble.
__attribute__((target("avx512f,avx512bw,avx512dq,avx512vbmi"))) std::size_t
decode_seg20bit_quads_avx512(const std::uint8_t* bytes, std::size_t size, std::size_t groups,
                             float* out) {
    const __m512i moves = _mm512_load_si512(seg20bit_moves.lanes);
    const __m512 powers = _mm512_load_ps(seg20bit_powers.of);
    const auto round_bytes = static_cast<__mmask64>((std::uint64_t{1} << 40) - 1);
    const __m512i nibble_shift =
        _mm512_setr_epi32(0, 4, 8, 12, 0, 4, 8, 12, 0, 4, 8, 12, 0, 4, 8, 12);
    // The masked forms with every lane set are the plain ones (whose plain forms trip a
    // false uninitialised-value warning in some compilers' headers).
    const auto all = static_cast<__mmask16>(0xFFFF);
    const auto all_bytes = ~static_cast<__mmask64>(0);
    const std::size_t rounds = groups / 4;
    // Round r may load 64 bytes from byte 40r on while they lie inside size bytes; the
    // last rounds load their 40 bytes alone.
    const std::size_t unmasked_rounds = size < 64 ? 0 : (size - 64) / 40 + 1;
    for (std::size_t r = 0; r < rounds; ++r, bytes += 40, out += 16) {
        const __m512i raw = r < unmasked_rounds ? _mm512_loadu_si512(bytes)
                                                : _mm512_maskz_loadu_epi8(round_bytes, bytes);
        const __m512i lanes = _mm512_maskz_permutexvar_epi8(all_bytes, moves, raw);
        // One's complement: a negative mantissa word w stands for w + 1 (subtracting -1).
        const __m512i mantissa = _mm512_sub_epi32(_mm512_maskz_srai_epi32(all, lanes, 16),
                                                  _mm512_maskz_srai_epi32(all, lanes, 31));
        const __m512 scale = _mm512_maskz_permutexvar_ps(
            all, _mm512_maskz_srlv_epi32(all, lanes, nibble_shift), powers);
        _mm512_storeu_ps(out, _mm512_mul_ps(_mm512_maskz_cvtepi32_ps(all, mantissa), scale));
    }
    return 4 * rounds;
}

bool has_avx512_vbmi() {
    static const bool supported = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") != 0 && __builtin_cpu_supports("avx512bw") != 0 &&
               __builtin_cpu_supports("avx512dq") != 0 && __builtin_cpu_supports("avx512vbmi") != 0;
    }();
    return supported;
}

bool has_avx2() {
    static const bool supported = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return supported;
}

bool has_avx2_fma() {
    static const bool supported = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0 && __builtin_cpu_supports("fma") != 0;
    }();
    return supported;
}
// Outputs that the vector filters form together: eight accumulators of four doubles on the
// AVX2 path, sixteen of eight doubles on the AVX-512 path; enough independent sums to keep the
// multiply-add units busy while the loads come in. The phase rows are padded for the wider one.
constexpr std::size_t vector_block = 32;
constexpr std::size_t widest_block = 128;

bool has_avx512() {
    static const bool supported = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") != 0;
    }();
    return supported;
}

// The vector filters read the mirrored trace from f phase rows of stride positions each: input
// sample s (below 0 or from n on for the mirrored ends) lies in row (s + lead) % f at position
// (s + lead) / f. lead is half rounded up to a multiple of f, so that the half samples before
// input 0 that output 0 reads have a place and input 0 starts row 0: f * 8 consecutive inputs
// from a multiple of f * 8 on fill 8 consecutive positions of every row. Output k reads the
// inputs k * f - half .. k * f + half; for a fixed distance from the centre those of
// consecutive outputs lie next to one another in one row, so one vector load serves as many
// outputs as it has lanes.
struct PhaseRows {
    double* data;
    std::size_t f;
    std::size_t lead;
    std::size_t stride;

    // Where input sample s lies, s >= -lead.
    [[nodiscard]] std::size_t at(std::ptrdiff_t s) const {
        const auto e = static_cast<std::size_t>(s + static_cast<std::ptrdiff_t>(lead));
        return (e % f) * stride + e / f;
    }
};

// Puts the inputs from (a multiple of F) on, in whole groups of F up to inside, into the rows.
template <std::size_t F, typename T>
void place_groups_plain(const T* source, std::size_t from, std::size_t inside,
                        const PhaseRows& rows) {
    double* base = rows.data + rows.lead / F;
    for (std::size_t q = from / F; q < inside / F; ++q) {
        for (std::size_t p = 0; p < F; ++p) base[p * rows.stride + q] = source[q * F + p];
    }
}

// Eight consecutive samples as doubles. The masked conversions with every lane set are the
// plain ones (whose plain forms trip a false uninitialised-value warning in some compilers'
// headers).
constexpr auto all_eight = static_cast<__mmask8>(0xFF);
__attribute__((target("avx512f"))) inline __m512d load_doubles(const std::int16_t* p) {
    return _mm512_maskz_cvtepi32_pd(
        all_eight, _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))));
}
__attribute__((target("avx512f"))) inline __m512d load_doubles(const std::int32_t* p) {
    return _mm512_maskz_cvtepi32_pd(all_eight,
                                    _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
}
__attribute__((target("avx512f"))) inline __m512d load_doubles(const float* p) {
    return _mm512_maskz_cvtps_pd(all_eight, _mm256_loadu_ps(p));
}
__attribute__((target("avx512f"))) inline __m512d load_doubles(const double* p) {
    return _mm512_loadu_pd(p);
}

// Widens the inputs 0 .. inside - 1 in whole groups of f * 8 and deals them out to the rows
// with two-vector permutes; returns the number of inputs placed.
template <typename T>
__attribute__((target("avx512f"))) std::size_t place_groups_avx512(const T* source,
                                                                   std::size_t inside,
                                                                   const PhaseRows& rows) {
    const __m512i evens = _mm512_setr_epi64(0, 2, 4, 6, 8, 10, 12, 14);
    const __m512i odds = _mm512_setr_epi64(1, 3, 5, 7, 9, 11, 13, 15);
    const std::size_t f = rows.f;
    const std::size_t stride = rows.stride;
    double* row = rows.data + rows.lead / f;
    const std::size_t groups = inside / (8 * f);
    const T* x = source;
    for (std::size_t g = 0; g < groups; ++g, x += 8 * f, row += 8) {
        const __m512d a = load_doubles(x);
        const __m512d b = load_doubles(x + 8);
        const __m512d even_ab = _mm512_permutex2var_pd(a, evens, b);
        const __m512d odd_ab = _mm512_permutex2var_pd(a, odds, b);
        if (f == 2) {
            _mm512_storeu_pd(row, even_ab);
            _mm512_storeu_pd(row + stride, odd_ab);
            continue;
        }
        const __m512d c = load_doubles(x + 16);
        const __m512d d = load_doubles(x + 24);
        const __m512d even_cd = _mm512_permutex2var_pd(c, evens, d);
        const __m512d odd_cd = _mm512_permutex2var_pd(c, odds, d);
        _mm512_storeu_pd(row, _mm512_permutex2var_pd(even_ab, evens, even_cd));
        _mm512_storeu_pd(row + stride, _mm512_permutex2var_pd(odd_ab, evens, odd_cd));
        _mm512_storeu_pd(row + 2 * stride, _mm512_permutex2var_pd(even_ab, odds, even_cd));
        _mm512_storeu_pd(row + 3 * stride, _mm512_permutex2var_pd(odd_ab, odds, odd_cd));
    }
    return groups * 8 * f;
}

// Fills the rows with the mirrored trace from input -lead to input end - 1, widening each
// input straight into its place, and with zeros beyond.
template <typename T>
void place_inputs(const T* source, std::ptrdiff_t n, std::ptrdiff_t end, const PhaseRows& rows,
                  bool avx512) {
    const auto inside = static_cast<std::size_t>(std::min(n, end));
    std::size_t placed = avx512 ? place_groups_avx512(source, inside, rows) : 0;
    if (rows.f == 2) {
        place_groups_plain<2>(source, placed, inside, rows);
    } else {
        place_groups_plain<4>(source, placed, inside, rows);
    }
    placed = std::max(placed, inside / rows.f * rows.f);
    for (auto s = static_cast<std::ptrdiff_t>(placed); s < end; ++s) {
        rows.data[rows.at(s)] = static_cast<double>(source[s < n ? s : mirror(s, n)]);
    }
    const auto lead = static_cast<std::ptrdiff_t>(rows.lead);
    for (std::ptrdiff_t s = -lead; s < 0; ++s) {
        rows.data[rows.at(s)] = static_cast<double>(source[mirror(s, n)]);
    }
    const auto filled = static_cast<std::size_t>(end + lead);
    for (std::size_t p = 0; p < rows.f; ++p) {
        const std::size_t used = (filled + rows.f - 1 - p) / rows.f;
        std::fill(rows.data + p * rows.stride + used, rows.data + (p + 1) * rows.stride, 0.0);
    }
}

// With vectors of L lanes, the taps j, j + L f, j + 2 L f, ... lie in one phase row L
// positions apart: the vector that accumulator v loads for the inputs j + L f before its
// centre is the one accumulator v - 1 loads for j before, and after the centre the one
// accumulator v + 1 loads. So a run of such taps over S accumulators needs S + count - 1
// loads on either side, not S a tap. Fills runs with runs of at most longest taps, the
// longest first.
void fill_tap_runs(std::span<const double> taps, const PhaseRows& rows, std::size_t lanes,
                   std::size_t longest, std::vector<TapRun>& runs) {
    const std::size_t half = taps.size() - 1;
    const std::size_t spacing = lanes * rows.f;
    runs.clear();
    for (std::size_t first = 1; first <= std::min(spacing, half); ++first) {
        for (std::size_t j = first; j <= half; j += longest * spacing) {
            TapRun run{rows.at(-static_cast<std::ptrdiff_t>(j)),
                       rows.at(static_cast<std::ptrdiff_t>(j)),
                       0,
                       {}};
            for (; run.count < longest && j + run.count * spacing <= half; ++run.count) {
                run.taps[run.count] = taps[j + run.count * spacing];
            }
            runs.push_back(run);
        }
    }
    std::stable_sort(runs.begin(), runs.end(),
                     [](const TapRun& a, const TapRun& b) { return a.count > b.count; });
}

// Loads four doubles and makes the compiler treat them as computed here (see load_once).
__attribute__((target("avx2,fma"), always_inline)) inline __m256d load_once_avx2(const double* p) {
    __m256d x = _mm256_loadu_pd(p);
    __asm__("" : "+v"(x));
    return x;
}

// add_tap_run (below) with 256-bit vectors of four outputs.
template <std::size_t Sums, std::size_t Taps>
__attribute__((target("avx2,fma"), always_inline)) inline void add_tap_run_avx2(
    __m256d (&s)[Sums], const double* before, const double* after, const double* weights) {
    __m256d tap[Taps];
    __m256d before_inputs[Sums + Taps - 1];
#pragma GCC unroll 4
    for (std::size_t i = 0; i < Taps; ++i) tap[i] = _mm256_set1_pd(weights[i]);
#pragma GCC unroll 4
    for (std::size_t i = 0; i + 1 < Taps; ++i) {
        before_inputs[i] = load_once_avx2(before - 4 * (Taps - 1 - i));
    }
#pragma GCC unroll 24
    for (std::size_t w = 0; w + 1 < Sums + Taps; ++w) {
        if (w < Sums) before_inputs[w + Taps - 1] = load_once_avx2(before + 4 * w);
        const __m256d after_inputs = load_once_avx2(after + 4 * w);
#pragma GCC unroll 4
        for (std::size_t t = 0; t < Taps; ++t) {
            if (w < t || w - t >= Sums) continue;
            const std::size_t v = w - t;
            s[v] = _mm256_fmadd_pd(
                tap[t], _mm256_add_pd(before_inputs[v - t + Taps - 1], after_inputs), s[v]);
        }
    }
}

// The filter of decimate over the phase rows, eight sums of four outputs at a time, the taps
// in runs of two (sixteen registers hold no more). The rows must be readable up to position
// m rounded up to vector_block, plus (lead + half) / f.
__attribute__((target("avx2,fma"))) void decimate_avx2(const PhaseRows& rows,
                                                       std::span<const double> taps,
                                                       std::span<float> out,
                                                       std::vector<TapRun>& runs) {
    fill_tap_runs(taps, rows, 4, 2, runs);
    const double* centre = rows.data + rows.at(0);
    const __m256d centre_tap = _mm256_set1_pd(taps[0]);
    const std::size_t m = out.size();
    constexpr std::size_t sums = vector_block / 4;
    for (std::size_t k = 0; k < m; k += vector_block) {
        __m256d s[sums];
#pragma GCC unroll 8
        for (std::size_t v = 0; v < sums; ++v) {
            s[v] = _mm256_mul_pd(centre_tap, _mm256_loadu_pd(centre + k + 4 * v));
        }
        const TapRun* run = runs.data();
        const TapRun* const runs_end = run + runs.size();
        for (; run != runs_end && run->count == 2; ++run) {
            add_tap_run_avx2<sums, 2>(s, rows.data + run->before + k, rows.data + run->after + k,
                                      run->taps);
        }
        for (; run != runs_end; ++run) {
            add_tap_run_avx2<sums, 1>(s, rows.data + run->before + k, rows.data + run->after + k,
                                      run->taps);
        }
        float block[vector_block];
        for (std::size_t v = 0; v < sums; ++v) {
            _mm_storeu_ps(block + 4 * v, _mm256_cvtpd_ps(s[v]));
        }
        std::copy_n(block, std::min(vector_block, m - k), out.data() + k);
    }
}

// Loads eight doubles and makes the compiler treat them as computed here, so that it keeps
// the vector in a register rather than reading memory again where it is used (which it
// otherwise prefers, and which doubles the loads of add_tap_run).
__attribute__((target("avx512f"), always_inline)) inline __m512d load_once(const double* p) {
    __m512d x = _mm512_loadu_pd(p);
    __asm__("" : "+v"(x));
    return x;
}

// Adds a run of Taps taps (see fill_tap_runs) to the Sums accumulators of eight outputs each,
// loading each vector once. Step w takes the inputs w vectors after the centres and gives
// them to accumulator w for the run's first tap, w - 1 for its second and so on, so that
// consecutive multiply-adds go to different accumulators. The loops are meant to unroll
// completely, so that the vectors live in registers.
template <std::size_t Sums, std::size_t Taps>
__attribute__((target("avx512f"), always_inline)) inline void add_tap_run(__m512d (&s)[Sums],
                                                                          const double* before,
                                                                          const double* after,
                                                                          const double* weights) {
    __m512d tap[Taps];
    // before_inputs[u + Taps - 1]: the inputs u vectors after accumulator 0's first inputs
    // before the centre.
    __m512d before_inputs[Sums + Taps - 1];
#pragma GCC unroll 4
    for (std::size_t i = 0; i < Taps; ++i) tap[i] = _mm512_set1_pd(weights[i]);
#pragma GCC unroll 4
    for (std::size_t i = 0; i + 1 < Taps; ++i) {
        before_inputs[i] = load_once(before - 8 * (Taps - 1 - i));
    }
#pragma GCC unroll 24
    for (std::size_t w = 0; w + 1 < Sums + Taps; ++w) {
        if (w < Sums) {
            before_inputs[w + Taps - 1] = load_once(before + 8 * w);
        }
        const __m512d after_inputs = load_once(after + 8 * w);
#pragma GCC unroll 4
        for (std::size_t t = 0; t < Taps; ++t) {
            if (w < t || w - t >= Sums) continue;
            const std::size_t v = w - t;
            s[v] = _mm512_fmadd_pd(
                tap[t], _mm512_add_pd(before_inputs[v - t + Taps - 1], after_inputs), s[v]);
        }
    }
}

// decimate_avx2 with 512-bit vectors and the taps in runs: eight outputs a vector.
__attribute__((target("avx512f"))) void decimate_avx512(const PhaseRows& rows,
                                                        std::span<const double> taps,
                                                        std::span<float> out,
                                                        std::vector<TapRun>& runs) {
    fill_tap_runs(taps, rows, 8, TapRun::longest, runs);
    const double* centre = rows.data + rows.at(0);
    const __m512d centre_tap = _mm512_set1_pd(taps[0]);
    const std::size_t m = out.size();
    constexpr std::size_t sums = widest_block / 8;
    for (std::size_t k = 0; k < m; k += widest_block) {
        __m512d s[sums];
#pragma GCC unroll 16
        for (std::size_t v = 0; v < sums; ++v) {
            s[v] = _mm512_mul_pd(centre_tap, _mm512_loadu_pd(centre + k + 8 * v));
        }
        // The runs come longest first (see fill_tap_runs), so each loop takes one kind.
        const TapRun* run = runs.data();
        const TapRun* const runs_end = run + runs.size();
        for (; run != runs_end && run->count == 3; ++run) {
            add_tap_run<sums, 3>(s, rows.data + run->before + k, rows.data + run->after + k,
                                 run->taps);
        }
        for (; run != runs_end && run->count == 2; ++run) {
            add_tap_run<sums, 2>(s, rows.data + run->before + k, rows.data + run->after + k,
                                 run->taps);
        }
        for (; run != runs_end; ++run) {
            add_tap_run<sums, 1>(s, rows.data + run->before + k, rows.data + run->after + k,
                                 run->taps);
        }
        if (k + widest_block <= m) {
#pragma GCC unroll 16
            for (std::size_t v = 0; v < sums; ++v) {
                _mm256_storeu_ps(out.data() + k + 8 * v, _mm512_maskz_cvtpd_ps(all_eight, s[v]));
            }
        } else {
            float block[widest_block];
            for (std::size_t v = 0; v < sums; ++v) {
                _mm256_storeu_ps(block + 8 * v, _mm512_maskz_cvtpd_ps(all_eight, s[v]));
            }
            std::copy_n(block, m - k, out.data() + k);
        }
    }
}
#endif

// Buffers of the resampling, kept from trace to trace so that a trace does not allocate;
// one set per thread. At most about 1 MB for the longest trace.
struct ResampleScratch {
    std::vector<double> widened;  // the plain filter's input
    std::vector<double> phases;   // the vector filter's phase rows
    std::vector<float> decoded;   // 20-bit samples before they are resampled
    std::vector<TapRun> runs;     // the vector filter's tap runs
};

ResampleScratch& scratch() {
    thread_local ResampleScratch buffers;
    return buffers;
}

ResamplingPath widest_resampling_path() {
#ifdef QUARVENT_HAVE_AVX2_PATH
    if (has_avx512()) return ResamplingPath::avx512;
    if (has_avx2_fma()) return ResamplingPath::avx2;
#endif
    return ResamplingPath::plain;
}

std::atomic<ResamplingPath> chosen_path{widest_resampling_path()};

#ifdef QUARVENT_HAVE_AVX2_PATH
// Lays the mirrored trace out in phase rows and filters it there.
template <typename T>
void resample_vectors(const T* source, std::ptrdiff_t n, std::span<float> out, std::int32_t f,
                      bool avx512) {
    const std::span<const double> taps = resampling_taps(f);
    const std::size_t half = taps.size() - 1;
    const auto step = static_cast<std::size_t>(f);
    const std::size_t m = out.size();
    const std::size_t padded = (m + widest_block - 1) / widest_block * widest_block;
    const std::size_t lead = (half + step - 1) / step * step;
    const std::size_t stride = padded + (lead + half) / step + 1;
    ResampleScratch& buffers = scratch();
    buffers.phases.resize(stride * step);
    const PhaseRows placed{buffers.phases.data(), step, lead, stride};
    // Output m - 1 reads up to input (m - 1) * f + half.
    const auto end = static_cast<std::ptrdiff_t>((m - 1) * step + half + 1);
    place_inputs(source, n, end, placed, avx512);
    if (avx512) {
        decimate_avx512(placed, taps, out, buffers.runs);
    } else {
        decimate_avx2(placed, taps, out, buffers.runs);
    }
}
#endif

// The first n samples of source low-pass filtered and reduced by f into destination.
template <typename T>
void resample(const T* source, std::int32_t n, float* destination, std::int32_t f) {
    const std::span<float> out(destination, static_cast<std::size_t>(resampled_count(n, f)));
    if (out.empty()) return;
#ifdef QUARVENT_HAVE_AVX2_PATH
    const ResamplingPath path = chosen_path.load(std::memory_order_relaxed);
    if (path != ResamplingPath::plain) {
        resample_vectors(source, n, out, f, path == ResamplingPath::avx512);
        return;
    }
#endif
    std::vector<double>& widened = scratch().widened;
    widened.assign(source, source + n);
    decimate(widened, out, f);
}

// Decodes n samples from bytes into out; samples whose mantissa lies beyond bytes are 0.
void decode_seg20bit(std::span<const std::uint8_t> bytes, std::int32_t n, float* out) {
    const std::size_t samples = static_cast<std::size_t>(n);
    const std::size_t full_groups = std::min(samples / 4, bytes.size() / 10);
    std::size_t g = 0;
#ifdef QUARVENT_HAVE_AVX2_PATH
    if (has_avx512_vbmi()) {
        g = decode_seg20bit_quads_avx512(bytes.data(), bytes.size(), full_groups, out);
    }
    if (has_avx2()) {
        g += decode_seg20bit_pairs_avx2(bytes.data() + 10 * g, bytes.size() - 10 * g,
                                        full_groups - g, out + 4 * g);
    }
#endif
    for (; g < full_groups; ++g) {
        const std::uint8_t* b = bytes.data() + 10 * g;
        float* group_out = out + 4 * g;
        const unsigned exponents = static_cast<unsigned>(b[0] | (b[1] << 8));
        group_out[0] = seg20bit_sample(b[2], b[3], exponents & 0xFu);
        group_out[1] = seg20bit_sample(b[4], b[5], (exponents >> 4) & 0xFu);
        group_out[2] = seg20bit_sample(b[6], b[7], (exponents >> 8) & 0xFu);
        group_out[3] = seg20bit_sample(b[8], b[9], (exponents >> 12) & 0xFu);
    }
    for (std::size_t i = full_groups * 4; i < samples; ++i) {
        const std::size_t base = (i / 4) * 10;
        const std::size_t mantissa_at = base + 2 + 2 * (i % 4);
        if (mantissa_at + 2 > bytes.size()) {
            out[i] = 0.0F;
            continue;
        }
        const unsigned exponents = static_cast<unsigned>(bytes[base] | (bytes[base + 1] << 8));
        out[i] = seg20bit_sample(bytes[mantissa_at], bytes[mantissa_at + 1],
                                 (exponents >> (4 * (i % 4))) & 0xFu);
    }
}

// Each sample to its float, built for the widest vectors the processor has, picked when the
// program loads.
#if defined(__x86_64__) && defined(__GNUC__)
#define QUARVENT_WIDEST_VECTORS __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define QUARVENT_WIDEST_VECTORS
#endif
QUARVENT_WIDEST_VECTORS void convert_plain(const std::int16_t* __restrict source,
                                           float* __restrict destination, std::int32_t n) {
    for (std::int32_t i = 0; i < n; ++i) destination[i] = static_cast<float>(source[i]);
}
QUARVENT_WIDEST_VECTORS void convert_plain(const std::int32_t* __restrict source,
                                           float* __restrict destination, std::int32_t n) {
    for (std::int32_t i = 0; i < n; ++i) destination[i] = static_cast<float>(source[i]);
}
QUARVENT_WIDEST_VECTORS void convert_plain(const double* __restrict source,
                                           float* __restrict destination, std::int32_t n) {
    for (std::int32_t i = 0; i < n; ++i) destination[i] = static_cast<float>(source[i]);
}
#undef QUARVENT_WIDEST_VECTORS

// Converts or resamples n samples of source into destination after the checks.
template <typename T>
SampleLibraryResult convert(std::span<const T> source, std::span<float> destination, std::int32_t n,
                            std::int32_t f) {
    const SampleLibraryResult checked = check_arguments(source.size(), destination.size(), n, f);
    if (checked != SampleLibraryResult::ok) return checked;
    if (f == 1) {
        convert_plain(source.data(), destination.data(), n);
    } else {
        resample(source.data(), n, destination.data(), f);
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

std::vector<ResamplingPath> available_resampling_paths() {
    std::vector<ResamplingPath> paths{ResamplingPath::plain};
#ifdef QUARVENT_HAVE_AVX2_PATH
    if (has_avx2_fma()) paths.push_back(ResamplingPath::avx2);
    if (has_avx512()) paths.push_back(ResamplingPath::avx512);
#endif
    return paths;
}

ResamplingPath resampling_path() { return chosen_path.load(std::memory_order_relaxed); }

bool set_resampling_path(ResamplingPath path) {
    const auto paths = available_resampling_paths();
    if (std::find(paths.begin(), paths.end(), path) == paths.end()) return false;
    chosen_path.store(path, std::memory_order_relaxed);
    return true;
}

std::string_view describe(ResamplingPath path) {
    switch (path) {
        case ResamplingPath::plain:
            return "plain";
        case ResamplingPath::avx2:
            return "AVX2";
        case ResamplingPath::avx512:
            return "AVX-512";
    }
    return "unknown path";
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
        std::vector<float>& decoded = scratch().decoded;
        decoded.resize(static_cast<std::size_t>(n));
        decode_seg20bit(bytes, n, decoded.data());
        resample(decoded.data(), n, destination.data(), f);
    }
    return SampleLibraryResult::ok;
}

SampleLibraryResult fpt2fpt(std::span<float> samples, std::int32_t n, std::int32_t f) {
    const SampleLibraryResult checked = check_arguments(samples.size(), samples.size(), n, f);
    if (checked != SampleLibraryResult::ok) return checked;
    if (f == 1) return SampleLibraryResult::ok;
    // The filter reads inputs on both sides of each kept one, so the outputs cannot overwrite
    // the inputs as they go; they are filtered from a copy in double.
    resample(samples.data(), n, samples.data(), f);
    return SampleLibraryResult::ok;
}

}  // namespace quarvent
