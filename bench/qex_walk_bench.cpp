// The walk over an existing output before a run appends to it: 100,000 records of 5,000
// samples, about 2 GB, in a sparse file (only the headers hold bytes), walked header by header
// through a read-only file and through the run's own open of the output.
//
//   build/bench/bench/qex_walk_bench --benchmark_counters_tabular=true
//
// Each iteration is one whole walk; records_per_second and bytes_per_second say how far it
// goes. A walk that reads only the headers costs one small read per record, whatever the
// samples, so the 2 GB take well under a second.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/byte_source.hpp"
#include "engine/output_file.hpp"
#include "engine/qex_reader.hpp"

namespace quarvent {
namespace {

constexpr std::uint64_t records = 100000;
constexpr std::uint64_t samples = 5000;
constexpr std::uint64_t record_bytes = 240 + 4 * samples;

// The sparse output, made once and removed at exit.
const std::string& sparse_output() {
    static const std::string path = [] {
        std::string name = "/tmp/qex_walk_bench.XXXXXX";
        const int fd = ::mkstemp(name.data());
        if (fd < 0) std::abort();
        std::array<std::uint8_t, 240> header{};
        header[2 * 57] = static_cast<std::uint8_t>(samples & 0xFF);
        header[2 * 57 + 1] = static_cast<std::uint8_t>(samples >> 8);
        for (std::uint64_t r = 0; r < records; ++r) {
            header[2 * 91] = static_cast<std::uint8_t>(r & 0x7F);  // word 92, the SSN
            if (::pwrite(fd, header.data(), header.size(), static_cast<off_t>(r * record_bytes)) !=
                240) {
                std::abort();
            }
        }
        if (::ftruncate(fd, static_cast<off_t>(records * record_bytes)) != 0) std::abort();
        ::close(fd);
        std::atexit([] { ::unlink(sparse_output().c_str()); });
        return name;
    }();
    return path;
}

void report(benchmark::State& state, const QexWalk& walk) {
    if (walk.records != records || walk.stop.end != QexEnd::whole) {
        state.SkipWithError("the walk did not cover every record");
    }
    state.counters["records_per_second"] = benchmark::Counter(
        static_cast<double>(records), benchmark::Counter::kIsIterationInvariantRate);
    state.counters["bytes_per_second"] = benchmark::Counter(
        static_cast<double>(records * record_bytes), benchmark::Counter::kIsIterationInvariantRate);
}

void BM_walk_read_only_file(benchmark::State& state) {
    FileSource file;
    if (file.open(sparse_output())) {
        state.SkipWithError("cannot open the sparse output");
        return;
    }
    QexWalk walk;
    for (auto _ : state) {
        walk = walk_qex(file);
        benchmark::DoNotOptimize(walk.last_ssn);
    }
    report(state, walk);
}
BENCHMARK(BM_walk_read_only_file)->Unit(benchmark::kMillisecond)->UseRealTime();

// As a run does it: open, lock, walk through the open it would then append through.
void BM_walk_the_runs_open_output(benchmark::State& state) {
    QexWalk walk;
    for (auto _ : state) {
        OutputFile output;
        if (output.open(sparse_output()) || output.lock() != OutputFile::LockResult::locked) {
            state.SkipWithError("cannot open and lock the sparse output");
            return;
        }
        walk = output.walk();
        benchmark::DoNotOptimize(walk.last_ssn);
        (void)output.close();
    }
    report(state, walk);
}
BENCHMARK(BM_walk_the_runs_open_output)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace quarvent
