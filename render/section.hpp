#pragma once
// A record section as the display sees it: traces with their 120 header words and their
// samples, plus how to draw them. Plain data, no Qt, so that readers of any file format can
// fill it and tests can build one in a few lines.

#include <array>
#include <cstdint>
#include <vector>

namespace quarvent::render {

struct SectionTrace {
    static constexpr int word_count = 120;

    // Header word n (1 to 120) is words[n - 1].
    std::array<std::int16_t, word_count> words{};
    std::vector<float> samples;

    // Word n, 1 to 120; 0 for any other number, so a display never reads out of range.
    std::int16_t word(int number) const;
    // Ignored for numbers outside 1 to 120.
    void set_word(int number, std::int16_t value);
};

struct Section {
    std::vector<SectionTrace> traces;
    // Sample interval in microseconds for traces whose word 59 holds none (0 or negative);
    // 0 when unknown. When neither gives one, a trace is drawn at one sample per ms and the
    // time axis is labelled in samples.
    double sample_interval_us = 0;
};

enum class DisplayMode { wiggle, density };
enum class Scaling { per_trace, whole_section };

// The part of the section on show. Out-of-range values are brought into range when drawn.
struct ViewRange {
    int first_trace = 0;  // index into Section::traces
    int last_trace = -1;  // inclusive; below first_trace: up to the last trace
    double start_ms = 0;
    double end_ms = -1;  // at or below start_ms: to the end of the longest trace

    bool operator==(const ViewRange&) const = default;
};

struct RenderOptions {
    DisplayMode mode = DisplayMode::wiggle;
    Scaling scaling = Scaling::per_trace;
    // At gain 1 the largest normalised sample swings one trace spacing from its baseline.
    double gain = 1.0;
    // No trace swings further than this many trace spacings from its baseline; in density
    // mode this swing is the darkest (positive) or lightest (negative) grey.
    double clip_spacings = 1.0;
    // Automatic gain control over a sliding window of this length; 0 switches it off.
    double agc_window_ms = 0.0;
    // Wiggle mode: fill the positive lobes.
    bool variable_area = true;
    ViewRange view;
};

}  // namespace quarvent::render
