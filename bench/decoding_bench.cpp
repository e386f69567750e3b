// Sample conversion speed: every converter at factors 1, 2 and 4 on a 16,000-sample trace,
// beside a plain memcpy of the same source bytes, the resampling filter on each of its paths,
// and whole-trace decoding per format.
//
//   build/bench/bench/decoding_bench --benchmark_counters_tabular=true
//
// items_per_second is input samples per second; x_memcpy is the CPU time of one conversion over
// the time of a memcpy of its source bytes, timed in the same process. BM_output_store_floor
// shows what writing a trace's floats alone costs on that scale for the 20-bit format.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "common/byte_source.hpp"
#include "common/bytes.hpp"
#include "common/status_log.hpp"
#include "engine/sample_decoding.hpp"
#include "engine/sample_library.hpp"

namespace quarvent {
namespace {

constexpr std::int32_t trace_samples = 16000;

// A field-like trace: a decaying wavelet over noise, as whole numbers within 16 bits.
std::vector<double> trace_values() {
    std::mt19937 random(42);
    std::normal_distribution<double> noise(0.0, 40.0);
    std::vector<double> values(trace_samples);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const double t = static_cast<double>(i);
        values[i] =
            std::round(20000.0 * std::exp(-t / 3000.0) * std::sin(t * 0.07) + noise(random));
    }
    return values;
}

std::vector<std::uint8_t> packed_20_bit(const std::vector<double>& values) {
    std::mt19937 random(7);
    std::vector<std::uint8_t> out;
    for (std::size_t g = 0; g < values.size(); g += 4) {
        const auto exponents = static_cast<std::uint16_t>(random() & 0x3333U);
        append_le_u16(out, exponents);
        for (std::size_t i = 0; i < 4; ++i) {
            const auto v = static_cast<std::int32_t>(values[g + i]) / 2;
            append_le_u16(out, static_cast<std::uint16_t>(v < 0 ? v - 1 : v));
        }
    }
    return out;
}

struct Inputs {
    std::vector<std::int16_t> int16;
    std::vector<std::int32_t> int32;
    std::vector<std::uint8_t> packed;
    std::vector<float> float32;
    std::vector<double> float64;

    Inputs() {
        const auto values = trace_values();
        int16.assign(values.begin(), values.end());
        int32.assign(values.begin(), values.end());
        for (auto& v : int32) v *= 1000;
        packed = packed_20_bit(values);
        float32.assign(values.begin(), values.end());
        float64 = values;
    }
};

const Inputs& inputs() {
    static const Inputs data;
    return data;
}

void finish(benchmark::State& state) {
    state.SetItemsProcessed(state.iterations() * trace_samples);
}

// memcpy of the source bytes of one trace in the given format.
void BM_memcpy(benchmark::State& state) {
    const auto bytes = static_cast<std::size_t>(state.range(0));
    const std::vector<std::uint8_t> source(bytes, 0x5A);
    std::vector<std::uint8_t> destination(bytes);
    for (auto _ : state) {
        std::memcpy(destination.data(), source.data(), bytes);
        benchmark::DoNotOptimize(destination.data());
        benchmark::ClobberMemory();
    }
    finish(state);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_memcpy)
    ->ArgName("bytes")
    ->Arg(2 * trace_samples)      // 16-bit
    ->Arg(5 * trace_samples / 2)  // 20-bit packed
    ->Arg(4 * trace_samples)      // 32-bit
    ->Arg(8 * trace_samples);     // 64-bit

// CPU seconds of this thread: steadier than elapsed time on a machine shared with other work.
double thread_seconds() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The shortest CPU time of one memcpy of bytes bytes, in seconds, out of several rounds.
double memcpy_seconds(std::size_t bytes) {
    const std::vector<std::uint8_t> source(bytes, 0x5A);
    std::vector<std::uint8_t> destination(bytes);
    constexpr int copies = 2000;
    double best = 1e9;
    for (int round = 0; round < 7; ++round) {
        const double start = thread_seconds();
        for (int i = 0; i < copies; ++i) {
            std::memcpy(destination.data(), source.data(), bytes);
            benchmark::DoNotOptimize(destination.data());
            benchmark::ClobberMemory();
        }
        best = std::min(best, (thread_seconds() - start) / copies);
    }
    return best;
}

// Runs body for each iteration of state and reports x_memcpy: the CPU time of one iteration
// over that of a memcpy of source_bytes.
template <typename Body>
void timed_against_memcpy(benchmark::State& state, std::size_t source_bytes, Body body) {
    const double start = thread_seconds();
    for (auto _ : state) body();
    const double took = thread_seconds() - start;
    const auto iterations =
        static_cast<double>(std::max<benchmark::IterationCount>(state.iterations(), 1));
    state.counters["x_memcpy"] = took / iterations / memcpy_seconds(source_bytes);
}

template <typename Convert>
void run_converter(benchmark::State& state, std::size_t bytes_per_sample_x2, Convert convert) {
    const auto f = static_cast<std::int32_t>(state.range(0));
    std::vector<float> out(trace_samples);
    timed_against_memcpy(state, bytes_per_sample_x2 * trace_samples / 2, [&] {
        if (convert(out, f) != SampleLibraryResult::ok) state.SkipWithError("refused");
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    });
    finish(state);
}

// The floor under a converter whose output is larger than its input: a memset of one trace's
// float output (4 bytes a sample), against a memcpy of the 20-bit input (2.5 bytes a sample),
// which writes 1.6 times fewer bytes.
void BM_output_store_floor(benchmark::State& state) {
    std::vector<float> out(trace_samples);
    timed_against_memcpy(state, 5 * trace_samples / 2, [&] {
        std::memset(out.data(), 0x5A, out.size() * sizeof(float));
        benchmark::DoNotOptimize(out.data());
        benchmark::ClobberMemory();
    });
    finish(state);
}
BENCHMARK(BM_output_store_floor);

void BM_int2fpt(benchmark::State& state) {
    run_converter(state, 4, [](std::span<float> out, std::int32_t f) {
        return int2fpt(inputs().int16, out, trace_samples, f);
    });
}
void BM_long2fpt(benchmark::State& state) {
    run_converter(state, 8, [](std::span<float> out, std::int32_t f) {
        return long2fpt(inputs().int32, out, trace_samples, f);
    });
}
void BM_seg20bit2fpt(benchmark::State& state) {
    run_converter(state, 5, [](std::span<float> out, std::int32_t f) {
        return seg20bit2fpt(inputs().packed, out, trace_samples, f);
    });
}
void BM_double2fpt(benchmark::State& state) {
    run_converter(state, 16, [](std::span<float> out, std::int32_t f) {
        return double2fpt(inputs().float64, out, trace_samples, f);
    });
}
// Data format 4 as decoding does it: the bytes moved into the output array, then resampled
// there in place when f is not 1.
void BM_bufmoverf_fpt2fpt(benchmark::State& state) {
    run_converter(state, 8, [](std::span<float> out, std::int32_t f) {
        const auto moved =
            bufmoverf(std::as_bytes(std::span(inputs().float32)), std::as_writable_bytes(out));
        if (moved != SampleLibraryResult::ok || f == 1) return moved;
        return fpt2fpt(out, trace_samples, f);
    });
}

BENCHMARK(BM_int2fpt)->ArgName("f")->Arg(1)->Arg(2)->Arg(4);
BENCHMARK(BM_long2fpt)->ArgName("f")->Arg(1)->Arg(2)->Arg(4);
BENCHMARK(BM_seg20bit2fpt)->ArgName("f")->Arg(1)->Arg(2)->Arg(4);
BENCHMARK(BM_bufmoverf_fpt2fpt)->ArgName("f")->Arg(1)->Arg(2)->Arg(4);
BENCHMARK(BM_double2fpt)->ArgName("f")->Arg(1)->Arg(2)->Arg(4);

// The resampling filter on each path (0 plain, 1 AVX2, 2 AVX-512), from 32-bit integers.
void BM_resampling_path(benchmark::State& state) {
    const auto path = static_cast<ResamplingPath>(state.range(1));
    const ResamplingPath before = resampling_path();
    if (!set_resampling_path(path)) {
        state.SkipWithError("this processor cannot take the path");
        return;
    }
    state.SetLabel(std::string(describe(path)));
    run_converter(state, 8, [](std::span<float> out, std::int32_t f) {
        return long2fpt(inputs().int32, out, trace_samples, f);
    });
    (void)set_resampling_path(before);
}
BENCHMARK(BM_resampling_path)->ArgNames({"f", "path"})->ArgsProduct({{2, 4}, {0, 1, 2}});

// A null screen for whole-trace decoding, which never asks anything of it here.
class SilentUi final : public WindowlessPort {
public:
    Answer message_box(const MessageBoxRequest&) override { return Answer::ok; }
    std::string input_prompt(const PromptRequest&) override { return {}; }
};

// decode_trace_samples from a data block in memory: read, move and convert.
void BM_decode_trace_samples(benchmark::State& state) {
    const auto format_code = static_cast<std::uint16_t>(state.range(0));
    const auto f = static_cast<std::int16_t>(state.range(1));
    std::vector<std::uint8_t> block;
    const Inputs& in = inputs();
    switch (format_code) {
        case 1:
            for (auto v : in.int16) append_le_i16(block, v);
            break;
        case 2:
            for (auto v : in.int32) append_le_i32(block, v);
            break;
        case 3:
            block = in.packed;
            break;
        case 4:
            for (auto v : in.float32) append_le_f32(block, v);
            break;
        default:
            for (auto v : in.float64) append_le_f64(block, v);
            break;
    }
    const MemorySource source(block);
    SilentUi ui;
    StatusLog log(ui);
    SampleArrays arrays;
    // Format 5 accepts at most 8191 samples.
    const std::int32_t n = format_code == 5 ? 8191 : trace_samples;
    const TraceToDecode trace{source, 0, n, format_code, 1, "bench.sg2"};
    const std::size_t block_bytes =
        format_code == 5 ? 8 * static_cast<std::size_t>(n) : block.size();
    timed_against_memcpy(state, block_bytes, [&] {
        if (decode_trace_samples(trace, f, arrays, ui, log) != DecodeResult::decoded) {
            state.SkipWithError("not decoded");
        }
        benchmark::DoNotOptimize(arrays.output_samples.data());
        benchmark::ClobberMemory();
    });
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_decode_trace_samples)
    ->ArgNames({"format", "f"})
    ->ArgsProduct({{1, 2, 3, 4, 5}, {1, 2, 4}});

}  // namespace
}  // namespace quarvent
