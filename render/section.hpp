#pragma once
// A record section as the display sees it: traces with their 120 header words and their
// samples, plus how to draw them. Plain data, no Qt, so that readers of any file format can
// fill it and tests can build one in a few lines.

#include <array>
#include <bitset>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

namespace quarvent::render {

struct SectionTrace {
    static constexpr int word_count = 120;

    // Header word n (1 to 120) is words[n - 1].
    std::array<std::int16_t, word_count> words{};
    std::vector<float> samples;
    // The trace's number in its file (a SEG-2 trace number or a QEX record number); 0 when
    // unknown, and the trace is then labelled by its position in the section.
    std::uint64_t number = 0;
    // A trace that could not be read: drawn hatched and labelled "missing", with the reader's
    // reason in the readout.
    bool missing = false;
    std::string missing_reason;
    // Words that the keyword translation filled (bit n - 1 for word n).
    std::bitset<word_count> translated;

    // Word n, 1 to 120; 0 for any other number, so a display never reads out of range.
    std::int16_t word(int n) const;
    // Ignored for numbers outside 1 to 120.
    void set_word(int n, std::int16_t value);
};

struct Section {
    std::vector<SectionTrace> traces;
    // Sample interval in microseconds for traces whose word 59 holds none (0 or negative);
    // 0 when unknown. When neither gives one, a trace is drawn at one sample per ms and the
    // time axis is labelled in samples.
    double sample_interval_us = 0;
    // Names of header words for the header panel, word n at [n - 1]; empty where none is known.
    std::array<std::string, SectionTrace::word_count> word_names;
};

// Header word 55: the recording delay in ms, the time of each trace's first sample.
inline constexpr int delay_word = 55;

enum class DisplayMode { wiggle, density };
enum class Scaling { per_trace, whole_section };

// Below this lane width (px) wiggle traces lose their line unless asked to keep it.
inline constexpr double narrow_trace_px = 3.0;

// The part of the section on show. Out-of-range values are brought into range when drawn.
struct ViewRange {
    int first_trace = 0;  // index into Section::traces
    int last_trace = -1;  // inclusive; below first_trace: up to the last trace
    // Times as recorded: a trace's first sample lies at its delay (word 55). A start that is
    // not finite means the earliest first sample.
    double start_ms = -std::numeric_limits<double>::infinity();
    // At or below start_ms, or not finite: to the end of the trace that ends latest.
    double end_ms = -std::numeric_limits<double>::infinity();

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
    // Wiggle mode: traces narrower than narrow_trace_px are drawn as filled positive lobes
    // without the wiggle line, so that many traces do not merge into a black block; true draws
    // the line whatever the width.
    bool wiggle_line_when_narrow = false;
    // Subtract each trace's mean before anything else, so that a DC offset does not fill a
    // trace's lane.
    bool remove_mean = false;
    // A strip under the picture naming the file, the range and the settings it was drawn with.
    bool caption = false;
    std::string caption_file;   // the file's name
    std::string caption_range;  // e.g. "records 1-2000 of 20000"
    ViewRange view;
};

}  // namespace quarvent::render
