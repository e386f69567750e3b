#include "render/section_layout.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace quarvent::render {

std::int16_t SectionTrace::word(int n) const {
    if (n < 1 || n > word_count) return 0;
    return words[static_cast<std::size_t>(n - 1)];
}

void SectionTrace::set_word(int n, std::int16_t value) {
    if (n < 1 || n > word_count) return;
    words[static_cast<std::size_t>(n - 1)] = value;
}

namespace {

constexpr int interval_word = 59;

float finite_or_zero(float value) { return std::isfinite(value) ? value : 0.0f; }

// A setting from the user or a caller, made safe to divide and multiply by.
double usable(double value, double fallback) {
    return std::isfinite(value) && value >= 0 ? value : fallback;
}

// The samples less their mean (over the finite ones); samples that are not finite become 0.
std::vector<float> without_mean(std::span<const float> samples) {
    double sum = 0;
    std::size_t finite = 0;
    for (const float value : samples) {
        if (!std::isfinite(value)) continue;
        sum += value;
        ++finite;
    }
    const double mean = finite == 0 ? 0.0 : sum / static_cast<double>(finite);
    std::vector<float> out(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        out[i] = std::isfinite(samples[i]) ? static_cast<float>(samples[i] - mean) : 0.0f;
    }
    return out;
}

std::string number_text(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

}  // namespace

double trace_interval_ms(const Section& section, std::size_t index) {
    const std::int16_t word59 = section.traces[index].word(interval_word);
    if (word59 > 0) return word59 / 1000.0;
    if (std::isfinite(section.sample_interval_us) && section.sample_interval_us > 0) {
        return section.sample_interval_us / 1000.0;
    }
    return 1.0;
}

bool time_is_in_samples(const Section& section) {
    if (std::isfinite(section.sample_interval_us) && section.sample_interval_us > 0) return false;
    return std::none_of(section.traces.begin(), section.traces.end(),
                        [](const SectionTrace& trace) { return trace.word(interval_word) > 0; });
}

double trace_delay_ms(const Section& section, std::size_t index) {
    return section.traces[index].word(delay_word);
}

double section_start_ms(const Section& section) {
    // Missing traces have no time of their own.
    double start_ms = std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < section.traces.size(); ++i) {
        if (!section.traces[i].missing) start_ms = std::min(start_ms, trace_delay_ms(section, i));
    }
    return std::isfinite(start_ms) ? start_ms : 0.0;
}

double section_end_ms(const Section& section) {
    const double start_ms = section_start_ms(section);
    double end_ms = start_ms;
    for (std::size_t i = 0; i < section.traces.size(); ++i) {
        if (section.traces[i].missing) continue;
        const double samples = static_cast<double>(section.traces[i].samples.size());
        end_ms =
            std::max(end_ms, trace_delay_ms(section, i) + samples * trace_interval_ms(section, i));
    }
    return end_ms > start_ms ? end_ms : start_ms + 1.0;
}

double section_length_ms(const Section& section) {
    return section_end_ms(section) - section_start_ms(section);
}

std::string delay_text(const Section& section) {
    const double start_ms = section_start_ms(section);
    double latest_ms = start_ms;
    for (std::size_t i = 0; i < section.traces.size(); ++i) {
        if (!section.traces[i].missing) latest_ms = std::max(latest_ms, trace_delay_ms(section, i));
    }
    if (start_ms == 0 && latest_ms == 0) return {};
    const auto ms = [](double value) { return std::to_string(static_cast<int>(value)); };
    if (latest_ms == start_ms) return "delay " + ms(start_ms) + " ms";
    return "delay " + ms(start_ms) + " to " + ms(latest_ms) + " ms";
}

ViewRange resolve_view(const Section& section, const ViewRange& view) {
    ViewRange resolved;
    const int count = static_cast<int>(section.traces.size());
    if (count > 0) {
        resolved.first_trace = std::clamp(view.first_trace, 0, count - 1);
        resolved.last_trace = view.last_trace < resolved.first_trace
                                  ? count - 1
                                  : std::min(view.last_trace, count - 1);
    } else {
        resolved.first_trace = 0;
        resolved.last_trace = -1;
    }
    const double earliest_ms = section_start_ms(section);
    const double latest_ms = section_end_ms(section);
    const double start_ms = std::isfinite(view.start_ms) ? view.start_ms : earliest_ms;
    const double end_ms = std::isfinite(view.end_ms) ? view.end_ms : latest_ms;
    resolved.start_ms = std::clamp(start_ms, earliest_ms, latest_ms);
    resolved.end_ms = end_ms <= resolved.start_ms ? latest_ms : std::min(end_ms, latest_ms);
    if (resolved.end_ms <= resolved.start_ms) {
        resolved.start_ms = earliest_ms;
        resolved.end_ms = latest_ms;
    }
    return resolved;
}

SectionLayout::SectionLayout(const Section& section, const RenderOptions& options, int width_px,
                             int height_px)
    : width_px_(std::max(width_px, 0)),
      height_px_(std::max(height_px, 0)),
      trace_count_(static_cast<int>(section.traces.size())),
      view_(resolve_view(section, options.view)) {
    has_axes_ = width_px_ >= axis_width_px + border_px + 40 &&
                height_px_ >= label_height_px + border_px + 40;
    if (has_axes_) {
        const bool bar = options.mode == DisplayMode::density &&
                         width_px_ >= axis_width_px + colour_bar_width_px + border_px + 40;
        const bool strip =
            options.caption && height_px_ >= label_height_px + caption_height_px + border_px + 40;
        colour_bar_width_ = bar ? colour_bar_width_px : 0;
        plot_left_ = axis_width_px;
        plot_top_ = label_height_px;
        plot_width_ = width_px_ - axis_width_px - border_px - colour_bar_width_;
        plot_height_ = height_px_ - label_height_px - border_px - (strip ? caption_height_px : 0);
        colour_bar_left_ = plot_left_ + plot_width_ + border_px;
        if (strip) caption_top_ = height_px_ - caption_height_px;
    } else {
        plot_width_ = width_px_;
        plot_height_ = height_px_;
    }
    if (visible_traces() > 0) spacing_px_ = static_cast<double>(plot_width_) / visible_traces();
    area_only_ = options.mode == DisplayMode::wiggle && !options.wiggle_line_when_narrow &&
                 visible_traces() > 0 && spacing_px_ < narrow_trace_px;
}

double SectionLayout::baseline_x(int trace) const {
    return plot_left_ + (trace - view_.first_trace + 0.5) * spacing_px_;
}

double SectionLayout::y_of_ms(double time_ms) const {
    return plot_top_ + (time_ms - view_.start_ms) / (view_.end_ms - view_.start_ms) * plot_height_;
}

double SectionLayout::ms_of_y(double y) const {
    if (plot_height_ == 0) return view_.start_ms;
    return view_.start_ms + (y - plot_top_) / plot_height_ * (view_.end_ms - view_.start_ms);
}

double SectionLayout::row_ms() const {
    return plot_height_ == 0 ? 0.0 : (view_.end_ms - view_.start_ms) / plot_height_;
}

int SectionLayout::trace_at_x(double x) const {
    if (visible_traces() == 0 || x < plot_left_ || x >= plot_left_ + plot_width_) return -1;
    const int lane = static_cast<int>(std::floor((x - plot_left_) / spacing_px_));
    return std::clamp(view_.first_trace + lane, view_.first_trace, view_.last_trace);
}

bool SectionLayout::in_plot(double x, double y) const {
    return x >= plot_left_ && x < plot_left_ + plot_width_ && y >= plot_top_ &&
           y < plot_top_ + plot_height_;
}

void row_spans(std::span<const float> samples, double interval_ms, double start_ms, double row_ms,
               std::span<RowSpan> rows) {
    const std::size_t count = samples.size();
    if (count == 0 || !(interval_ms > 0) || !(row_ms > 0)) {
        std::fill(rows.begin(), rows.end(), RowSpan{});
        return;
    }
    const double last_ms = static_cast<double>(count - 1) * interval_ms;
    // The line through the samples at time t (0 <= t <= last_ms).
    const auto value_at = [&](double time_ms) {
        const double position = time_ms / interval_ms;
        const auto index = std::min(static_cast<std::size_t>(position), count - 1);
        if (index + 1 >= count) return finite_or_zero(samples[count - 1]);
        const double fraction = position - static_cast<double>(index);
        const double a = finite_or_zero(samples[index]);
        const double b = finite_or_zero(samples[index + 1]);
        return static_cast<float>(a + (b - a) * fraction);
    };
    for (std::size_t r = 0; r < rows.size(); ++r) {
        const double top_ms = start_ms + static_cast<double>(r) * row_ms;
        const double bottom_ms = top_ms + row_ms;
        if (bottom_ms < 0 || top_ms > last_ms) {
            rows[r] = RowSpan{};
            continue;
        }
        const double from_ms = std::max(top_ms, 0.0);
        const double to_ms = std::min(bottom_ms, last_ms);
        float low = value_at(from_ms);
        float high = low;
        const float end_value = value_at(to_ms);
        low = std::min(low, end_value);
        high = std::max(high, end_value);
        const auto first = static_cast<std::size_t>(std::ceil(from_ms / interval_ms));
        const auto last = std::min(static_cast<std::size_t>(to_ms / interval_ms), count - 1);
        for (std::size_t i = first; i <= last; ++i) {
            const float value = finite_or_zero(samples[i]);
            low = std::min(low, value);
            high = std::max(high, value);
        }
        rows[r] = RowSpan{low, high, true};
    }
}

std::vector<float> apply_agc(std::span<const float> samples, int window_samples) {
    const std::size_t count = samples.size();
    const auto window = static_cast<std::size_t>(std::max(window_samples, 1));
    std::vector<double> running(count + 1, 0.0);
    for (std::size_t i = 0; i < count; ++i) {
        running[i + 1] = running[i] + std::fabs(finite_or_zero(samples[i]));
    }
    std::vector<float> out(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t from = i >= window / 2 ? i - window / 2 : 0;
        const std::size_t to = std::min(from + window, count);
        const double mean = (running[to] - running[from]) / static_cast<double>(to - from);
        out[i] = mean > 0 ? static_cast<float>(finite_or_zero(samples[i]) / mean) : 0.0f;
    }
    return out;
}

std::span<const float> PreparedSection::samples(const Section& section, std::size_t trace) const {
    if (!agc_samples.empty()) return agc_samples[trace];
    return section.traces[trace].samples;
}

PreparedSection prepare_section(const Section& section, const RenderOptions& options) {
    PreparedSection prepared;
    const std::size_t count = section.traces.size();
    const double agc_ms = usable(options.agc_window_ms, 0.0);
    if (options.remove_mean) {
        prepared.agc_samples.reserve(count);
        for (const SectionTrace& trace : section.traces) {
            prepared.agc_samples.push_back(without_mean(trace.samples));
        }
    }
    if (agc_ms > 0) {
        prepared.agc_samples.resize(count);
        for (std::size_t i = 0; i < count; ++i) {
            const double window = std::round(agc_ms / trace_interval_ms(section, i));
            const std::span<const float> input =
                options.remove_mean ? std::span<const float>(prepared.agc_samples[i])
                                    : section.traces[i].samples;
            prepared.agc_samples[i] =
                apply_agc(input, static_cast<int>(std::clamp(window, 1.0, 1e9)));
        }
    }
    std::vector<double> peaks(count, 0.0);
    for (std::size_t i = 0; i < count; ++i) {
        for (const float value : prepared.samples(section, i)) {
            peaks[i] = std::max(peaks[i], static_cast<double>(std::fabs(finite_or_zero(value))));
        }
    }
    if (options.scaling == Scaling::whole_section && count > 0) {
        const double peak = *std::max_element(peaks.begin(), peaks.end());
        std::fill(peaks.begin(), peaks.end(), peak);
    }
    const double gain = usable(options.gain, 1.0);
    prepared.spacings_per_unit.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        prepared.spacings_per_unit[i] = peaks[i] > 0 ? gain / peaks[i] : 0.0;
    }
    return prepared;
}

std::optional<Hit> hit_test(const Section& section, const RenderOptions& options, int width_px,
                            int height_px, double x, double y) {
    const SectionLayout layout(section, options, width_px, height_px);
    if (!layout.in_plot(x, y)) return std::nullopt;
    const int trace = layout.trace_at_x(x);
    if (trace < 0) return std::nullopt;
    Hit hit;
    hit.trace = trace;
    hit.time_ms = layout.ms_of_y(y);
    const auto index = static_cast<std::size_t>(trace);
    hit.missing = section.traces[index].missing;
    const auto& samples = section.traces[index].samples;
    const double position = std::round((hit.time_ms - trace_delay_ms(section, index)) /
                                       trace_interval_ms(section, index));
    if (position >= 0 && position < static_cast<double>(samples.size())) {
        hit.sample = static_cast<int>(position);
        hit.amplitude = samples[static_cast<std::size_t>(*hit.sample)];
    }
    return hit;
}

ViewRange zoom_view(const Section& section, const ViewRange& view, double factor,
                    double anchor_trace, double anchor_ms) {
    ViewRange zoomed = resolve_view(section, view);
    if (!(factor > 0) || !std::isfinite(factor)) return zoomed;
    const int count = static_cast<int>(section.traces.size());
    if (count > 0) {
        const int visible = zoomed.last_trace - zoomed.first_trace + 1;
        const int wanted = std::clamp(static_cast<int>(std::lround(visible / factor)), 1, count);
        // Zooming in by a small factor must still take off at least one trace.
        const int new_visible = factor > 1 && wanted == visible && visible > 1 ? visible - 1
                                : factor < 1 && wanted == visible ? std::min(visible + 1, count)
                                                                  : wanted;
        const double share = (anchor_trace - zoomed.first_trace) / visible;
        const int first =
            static_cast<int>(std::lround(anchor_trace - std::clamp(share, 0.0, 1.0) * new_visible));
        zoomed.first_trace = std::clamp(first, 0, count - new_visible);
        zoomed.last_trace = zoomed.first_trace + new_visible - 1;
    }
    const double length_ms = section_length_ms(section);
    const double earliest_ms = section_start_ms(section);
    const double span_ms = zoomed.end_ms - zoomed.start_ms;
    const double min_span_ms = std::max(length_ms * 1e-5, 1e-3);
    const double new_span_ms =
        std::clamp(span_ms / factor, std::min(min_span_ms, length_ms), length_ms);
    const double share = std::clamp((anchor_ms - zoomed.start_ms) / span_ms, 0.0, 1.0);
    zoomed.start_ms = std::clamp(anchor_ms - share * new_span_ms, earliest_ms,
                                 earliest_ms + length_ms - new_span_ms);
    zoomed.end_ms = zoomed.start_ms + new_span_ms;
    return zoomed;
}

ViewRange view_of_rectangle(const Section& section, const RenderOptions& options, int width_px,
                            int height_px, double x0, double y0, double x1, double y1) {
    const SectionLayout layout(section, options, width_px, height_px);
    ViewRange view = layout.view();
    const double right = layout.plot_left() + layout.plot_width() - 1e-6;
    const double bottom = layout.plot_top() + layout.plot_height();
    const double left_x = std::clamp(std::min(x0, x1), double(layout.plot_left()), right);
    const double right_x = std::clamp(std::max(x0, x1), double(layout.plot_left()), right);
    const int first = layout.trace_at_x(left_x);
    const int last = layout.trace_at_x(right_x);
    if (first < 0 || last < 0) return view;
    view.first_trace = first;
    view.last_trace = last;
    const double start_ms =
        layout.ms_of_y(std::clamp(std::min(y0, y1), double(layout.plot_top()), bottom));
    const double end_ms =
        layout.ms_of_y(std::clamp(std::max(y0, y1), double(layout.plot_top()), bottom));
    if (end_ms > start_ms) {
        view.start_ms = start_ms;
        view.end_ms = end_ms;
    }
    return view;
}

std::optional<double> density_end_amplitude(const Section& section, const RenderOptions& options,
                                            const PreparedSection& prepared) {
    if (options.scaling == Scaling::per_trace) return std::nullopt;
    const double clip = usable(options.clip_spacings, 1.0);
    for (std::size_t i = 0; i < section.traces.size() && i < prepared.spacings_per_unit.size();
         ++i) {
        if (prepared.spacings_per_unit[i] > 0) return clip / prepared.spacings_per_unit[i];
    }
    return std::nullopt;
}

std::string caption_text(const Section& section, const RenderOptions& options) {
    std::string text;
    const auto add = [&](const std::string& part) {
        if (part.empty()) return;
        if (!text.empty()) text += "   ";
        text += part;
    };
    add(options.caption_file);
    add(options.caption_range);
    add(options.mode == DisplayMode::density ? "density" : "wiggle");
    add(options.scaling == Scaling::whole_section ? "one scale for all" : "each trace to its peak");
    add("gain " + number_text(usable(options.gain, 1.0)));
    add("clip " + number_text(usable(options.clip_spacings, 1.0)) + " traces");
    const double agc_ms = usable(options.agc_window_ms, 0.0);
    add(agc_ms > 0 ? "AGC " + number_text(agc_ms) + " ms" : "AGC off");
    if (options.remove_mean) add("mean removed");
    const std::string delay = delay_text(section);
    add(delay.empty() ? "delay 0 ms" : delay);
    return text;
}

double nice_step(double min_step) {
    if (!(min_step > 0) || !std::isfinite(min_step)) return 1.0;
    const double power = std::pow(10.0, std::floor(std::log10(min_step)));
    for (const double multiple : {1.0, 2.0, 5.0, 10.0}) {
        if (multiple * power >= min_step * (1 - 1e-9)) return multiple * power;
    }
    return 10.0 * power;
}

}  // namespace quarvent::render
