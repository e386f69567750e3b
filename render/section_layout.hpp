#pragma once
// The pixel arithmetic of a record section, without Qt: where the plot lies in an image, where
// each trace's baseline and each time fall, what lies under a pixel, how far each trace's
// ink reaches in each pixel row, and the zoom steps of the display. The renderer draws from
// these; tests call them directly.

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "render/section.hpp"

namespace quarvent::render {

// Sample interval of trace `index` in ms: word 59 when positive, else the section's
// interval, else 1 (one sample per ms).
double trace_interval_ms(const Section& section, std::size_t index);
// True when no trace has a sample interval of its own or from the section.
bool time_is_in_samples(const Section& section);
// The time of trace `index`'s first sample in ms: its word 55 (the recording delay).
double trace_delay_ms(const Section& section, std::size_t index);
// The earliest first sample of the section's traces (0 without traces); missing traces have
// none.
double section_start_ms(const Section& section);
// Time from the earliest first sample to just past the last sample that ends latest; 1 ms
// for a section without samples.
double section_length_ms(const Section& section);
double section_end_ms(const Section& section);
// "delay -500 ms" when the traces' first samples lie at a delay, "delay -500 to 0 ms" when
// their delays differ; empty when every delay is 0.
std::string delay_text(const Section& section);
// The view with every field in range: traces within the section, times within
// [section_start_ms, section_end_ms], end after start.
ViewRange resolve_view(const Section& section, const ViewRange& view);

class SectionLayout {
public:
    // Room for the time axis on the left and the trace labels on top; images too small to
    // hold them get none.
    static constexpr int axis_width_px = 54;
    static constexpr int label_height_px = 22;
    static constexpr int border_px = 8;
    // The caption strip under the plot, and the density colour bar right of it.
    static constexpr int caption_height_px = 20;
    static constexpr int colour_bar_width_px = 78;

    SectionLayout(const Section& section, const RenderOptions& options, int width_px,
                  int height_px);

    int width_px() const { return width_px_; }
    int height_px() const { return height_px_; }
    bool has_axes() const { return has_axes_; }
    // The plot: columns [plot_left, plot_left + plot_width), rows likewise.
    int plot_left() const { return plot_left_; }
    int plot_top() const { return plot_top_; }
    int plot_width() const { return plot_width_; }
    int plot_height() const { return plot_height_; }
    const ViewRange& view() const { return view_; }
    int visible_traces() const {
        return trace_count_ == 0 ? 0 : view_.last_trace - view_.first_trace + 1;
    }
    double trace_spacing_px() const { return spacing_px_; }
    // The caption strip's top row; the strip runs to the bottom of the image. -1 without one.
    int caption_top() const { return caption_top_; }
    // The density colour bar: columns [colour_bar_left, +colour_bar_width), rows of the plot.
    // Width 0 without one.
    int colour_bar_left() const { return colour_bar_left_; }
    int colour_bar_width() const { return colour_bar_width_; }
    // Wiggle traces too narrow for a line: drawn as filled positive lobes only.
    bool area_only() const { return area_only_; }

    double baseline_x(int trace) const;
    double y_of_ms(double time_ms) const;
    double ms_of_y(double y) const;
    // Duration of one pixel row.
    double row_ms() const;
    // The visible trace whose lane holds column x, or -1.
    int trace_at_x(double x) const;
    bool in_plot(double x, double y) const;

private:
    int width_px_;
    int height_px_;
    bool has_axes_ = false;
    int plot_left_ = 0;
    int plot_top_ = 0;
    int plot_width_ = 0;
    int plot_height_ = 0;
    int trace_count_ = 0;
    ViewRange view_;
    double spacing_px_ = 0;
    int caption_top_ = -1;
    int colour_bar_left_ = 0;
    int colour_bar_width_ = 0;
    bool area_only_ = false;
};

// The extent of a trace within one pixel row: the smallest and largest value that the line
// joining its samples takes in the row's time span. `ink` is false for rows outside the trace.
struct RowSpan {
    float low = 0;
    float high = 0;
    bool ink = false;
};

// Fills rows[r] for the time span [start_ms + r * row_ms, start_ms + (r + 1) * row_ms] from
// samples at interval_ms. Touches each visible sample once, so the cost follows the samples
// in view plus the rows, never the samples times the rows. Samples that are not finite count
// as 0.
void row_spans(std::span<const float> samples, double interval_ms, double start_ms, double row_ms,
               std::span<RowSpan> rows);

// The traces after automatic gain control, and the factor that turns each trace's values into
// trace spacings (normalisation and gain). A trace that is all zero gets factor 0.
struct PreparedSection {
    // One entry per trace after mean removal and AGC; empty when neither is applied, so the
    // samples are used as they are.
    std::vector<std::vector<float>> agc_samples;
    std::vector<double> spacings_per_unit;

    std::span<const float> samples(const Section& section, std::size_t trace) const;
};
PreparedSection prepare_section(const Section& section, const RenderOptions& options);

// AGC: each sample divided by the mean absolute value within a centred window of
// window_samples samples (0 where that mean is 0).
std::vector<float> apply_agc(std::span<const float> samples, int window_samples);

// What lies under pixel (x, y) of an image of the given size.
struct Hit {
    int trace = 0;  // index into Section::traces
    double time_ms = 0;
    // The sample nearest the time, when the trace has one there.
    std::optional<int> sample;
    float amplitude = 0;   // that sample as stored, before AGC and scaling
    bool missing = false;  // the trace could not be read
};
std::optional<Hit> hit_test(const Section& section, const RenderOptions& options, int width_px,
                            int height_px, double x, double y);

// Zoom steps. `factor` above 1 zooms in. The anchor (a trace index with fraction, and a time)
// stays where it is on screen.
ViewRange zoom_view(const Section& section, const ViewRange& view, double factor,
                    double anchor_trace, double anchor_ms);
// The traces and times covered by a pixel rectangle of the plot, or the view unchanged when
// the rectangle covers no trace.
ViewRange view_of_rectangle(const Section& section, const RenderOptions& options, int width_px,
                            int height_px, double x0, double y0, double x1, double y1);

// The amplitude (in the samples' units) that the density display shows at the end of its
// colour scale: the clip divided by the factor that turns values into trace spacings. Nothing
// when the traces are scaled each to its own peak (the end is then a share of each peak).
std::optional<double> density_end_amplitude(const Section& section, const RenderOptions& options,
                                            const PreparedSection& prepared);

// The caption strip's text: file, range, mode, scaling, gain, clip, AGC, mean removal and
// delay.
std::string caption_text(const Section& section, const RenderOptions& options);

// Tick interval for an axis: 1, 2 or 5 times a power of ten, at least min_step.
double nice_step(double min_step);

}  // namespace quarvent::render
