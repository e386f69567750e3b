// Record-section drawing speed: 96 traces of 4,000 samples into a 1280 x 900 image, in both
// display modes, from samples to finished image (axes and labels included).
//
//   build/bench/bench/render_bench --benchmark_counters_tabular=true
//
// frames_per_second is the figure to watch; the display needs 25 or more.

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

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

}  // namespace
}  // namespace quarvent::render
