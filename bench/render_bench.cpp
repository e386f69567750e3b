// Record-section drawing speed: 96 traces of 4,000 samples into a 1280 x 900 image, in both
// display modes, from samples to finished image (axes and labels included); one frame at full
// extent of 2,000 traces; and opening a page of a 2 GB output, the way the display pages
// through a whole day's output.
//
//   build/bench/bench/render_bench --benchmark_counters_tabular=true
//
// frames_per_second is the figure to watch; the display needs 25 or more. Opening any page of
// a 2 GB output must take under 1 s: index_2gb_output (the header walk, once per file),
// page_of_2gb_output (2,000 records read at their offsets) and open_2gb_output_page (the
// whole of it as the View menu does it: the file's report, its index and a page). The 2 GB
// file is sparse (headers only, the samples holes), written to $TMPDIR once.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "common/header_string_receiver.hpp"
#include "inspect/section_loader.hpp"
#include "render/section_renderer.hpp"

namespace quarvent::render {
namespace {

Section field_like_section() {
    std::mt19937 random(42);
    std::normal_distribution<float> noise(0.0f, 30.0f);
    Section section;
    for (int t = 0; t < 96; ++t) {
        SectionTrace trace;
        trace.set_word(8, static_cast<std::int16_t>(t + 1));
        trace.set_word(58, 4000);
        trace.set_word(59, 250);
        trace.samples.resize(4000);
        const double arrival = 200.0 + 12.0 * t;
        for (int i = 0; i < 4000; ++i) {
            const double since = i - arrival;
            const double wavelet =
                since < 0 ? 0.0 : 8000.0 * std::exp(-since / 600.0) * std::sin(since * 0.08);
            trace.samples[static_cast<std::size_t>(i)] =
                static_cast<float>(wavelet) + noise(random);
        }
        section.traces.push_back(std::move(trace));
    }
    return section;
}

void draw_section(benchmark::State& state, DisplayMode mode) {
    ensure_gui_application();
    const Section section = field_like_section();
    RenderOptions options;
    options.mode = mode;
    for (auto _ : state) {
        QImage image = render_section_image(section, options, QSize(1280, 900));
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["frames_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void wiggle_96x4000_1280x900(benchmark::State& state) { draw_section(state, DisplayMode::wiggle); }
void density_96x4000_1280x900(benchmark::State& state) {
    draw_section(state, DisplayMode::density);
}
BENCHMARK(wiggle_96x4000_1280x900)->Unit(benchmark::kMillisecond);
BENCHMARK(density_96x4000_1280x900)->Unit(benchmark::kMillisecond);

// 2,000 traces of 1,000 samples at full extent: narrower than a pixel each.
void full_extent_2000(benchmark::State& state, DisplayMode mode) {
    ensure_gui_application();
    std::mt19937 random(5);
    std::normal_distribution<float> noise(0.0f, 30.0f);
    Section section;
    section.traces.resize(2000);
    for (std::size_t t = 0; t < section.traces.size(); ++t) {
        SectionTrace& trace = section.traces[t];
        trace.number = t + 1;
        trace.set_word(59, 1000);
        trace.set_word(92, static_cast<std::int16_t>(t / 24 + 1));
        trace.samples.resize(1000);
        for (float& value : trace.samples) value = noise(random);
    }
    RenderOptions options;
    options.mode = mode;
    for (auto _ : state) {
        QImage image = render_section_image(section, options, QSize(1280, 900));
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["frames_per_second"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
void wiggle_2000_traces_full_extent(benchmark::State& state) {
    full_extent_2000(state, DisplayMode::wiggle);
}
void density_2000_traces_full_extent(benchmark::State& state) {
    full_extent_2000(state, DisplayMode::density);
}
BENCHMARK(wiggle_2000_traces_full_extent)->Unit(benchmark::kMillisecond);
BENCHMARK(density_2000_traces_full_extent)->Unit(benchmark::kMillisecond);

// A 2 GB output of records of 2,000 samples (8,240 bytes), 24 to a shot; only the headers are
// written, so the file costs a few MB of disk.
const std::string& sparse_output() {
    static const std::string path = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string file = std::string(tmp != nullptr ? tmp : "/tmp") + "/quarvent-bench-2gb.qex";
        constexpr std::uint64_t record_bytes = 240 + 4 * 2000;
        constexpr std::uint64_t records = (std::uint64_t{2} << 30) / record_bytes;
        if (std::filesystem::exists(file) &&
            std::filesystem::file_size(file) == records * record_bytes) {
            return file;
        }
        const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::uint8_t header[240] = {};
        const auto word = [&](int n, int value) {
            header[2 * (n - 1)] = static_cast<std::uint8_t>(value & 0xFF);
            header[2 * (n - 1) + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
        };
        word(58, 2000);
        word(59, 500);
        for (std::uint64_t n = 0; n < records; ++n) {
            word(8, static_cast<int>(n % 24 + 1));
            word(92, static_cast<int>(n / 24 % 30000 + 1));
            if (::pwrite(fd, header, sizeof header, static_cast<off_t>(n * record_bytes)) !=
                static_cast<ssize_t>(sizeof header)) {
                break;
            }
        }
        if (::ftruncate(fd, static_cast<off_t>(records * record_bytes)) != 0) file.clear();
        ::close(fd);
        return file;
    }();
    return path;
}

void index_2gb_output(benchmark::State& state) {
    for (auto _ : state) {
        FileSource source;
        if (source.open(sparse_output())) {
            state.SkipWithError("cannot open the 2 GB output");
            return;
        }
        const QexIndex index = index_qex(source);
        benchmark::DoNotOptimize(index.offsets.data());
        state.counters["records"] = static_cast<double>(index.records());
    }
}
BENCHMARK(index_2gb_output)->Unit(benchmark::kMillisecond)->Iterations(3);

void page_of_2gb_output(benchmark::State& state) {
    IgnoreHeaderStrings none;
    const FileReport report = read_file_report(sparse_output(), none);
    FileSectionPages pages(report, none, 2000);
    std::uint64_t first = 1;
    for (auto _ : state) {
        // A different page each time, spread over the whole file.
        first = (first + 97'001) % (pages.count() - 2000) + 1;
        const Section page = pages.load(first, first + 1999);
        benchmark::DoNotOptimize(page.traces.data());
    }
}
BENCHMARK(page_of_2gb_output)->Unit(benchmark::kMillisecond);

void open_2gb_output_page(benchmark::State& state) {
    (void)sparse_output();
    IgnoreHeaderStrings none;
    for (auto _ : state) {
        const FileReport report = read_file_report(sparse_output(), none);
        FileSectionPages pages(report, none, 2000);
        const Section page = pages.load(pages.count() / 2, pages.count() / 2 + 1999);
        benchmark::DoNotOptimize(page.traces.data());
    }
}
BENCHMARK(open_2gb_output_page)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace quarvent::render
