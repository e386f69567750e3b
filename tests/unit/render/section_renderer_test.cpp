#include "render/section_renderer.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>
#include <set>

#include "render/section_layout.hpp"
#include "render/section_pages.hpp"
#include "tests/support/enum_printing.hpp"
#include "tests/support/temp_dir.hpp"

namespace quarvent::render {
namespace {

// `count` silent traces of `samples` samples at 1 ms, channels 101, 102, ...
Section silent_section(int count, int samples) {
    Section section;
    for (int i = 0; i < count; ++i) {
        SectionTrace trace;
        trace.set_word(8, static_cast<std::int16_t>(101 + i));
        trace.set_word(58, static_cast<std::int16_t>(samples));
        trace.set_word(59, 1000);
        trace.samples.assign(static_cast<std::size_t>(samples), 0.0f);
        section.traces.push_back(trace);
    }
    return section;
}

bool is_ink(QRgb pixel) { return pixel == qRgb(0, 0, 0); }
int grey(QRgb pixel) { return qGray(pixel); }

struct Extent {
    int left = 1 << 30;
    int right = -1;
    bool empty() const { return right < 0; }
};

// Leftmost and rightmost black pixel of a row, between columns from and to (excluded).
Extent ink_extent(const QImage& image, int row, int from, int to) {
    Extent extent;
    for (int x = from; x < to; ++x) {
        if (is_ink(image.pixel(x, row))) {
            extent.left = std::min(extent.left, x);
            extent.right = std::max(extent.right, x);
        }
    }
    return extent;
}

struct SpikeCase {
    const char* name;
    DisplayMode mode;
    int trace;
    int sample;
    QSize size;
};

class single_spike : public ::testing::TestWithParam<SpikeCase> {};

TEST_P(single_spike, draws_ink_only_near_its_time_on_its_own_trace) {
    const SpikeCase& c = GetParam();
    Section section = silent_section(6, 500);
    section.traces[static_cast<std::size_t>(c.trace)].samples[static_cast<std::size_t>(c.sample)] =
        3.0f;
    RenderOptions options;
    options.mode = c.mode;
    const QImage image = render_section_image(section, options, c.size);
    ASSERT_EQ(image.size(), c.size);
    const SectionLayout layout(section, options, c.size.width(), c.size.height());

    // The line rises from the sample before the spike and falls back by the sample after it.
    const double spike_top = layout.y_of_ms(c.sample - 1.0) - 1;
    const double spike_bottom = layout.y_of_ms(c.sample + 1.0) + 1;
    const int spike_baseline = static_cast<int>(std::floor(layout.baseline_x(c.trace)));
    std::set<int> baselines;
    for (int t = 0; t < 6; ++t)
        baselines.insert(static_cast<int>(std::floor(layout.baseline_x(t))));

    int marked_near_spike = 0;
    for (int y = layout.plot_top(); y < layout.plot_top() + layout.plot_height(); ++y) {
        for (int x = layout.plot_left(); x < layout.plot_left() + layout.plot_width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            // At gain 1 and clip 1 the spike swings up to one trace spacing from its baseline.
            const double reach = c.mode == DisplayMode::wiggle ? layout.trace_spacing_px() + 1
                                                               : layout.trace_spacing_px() / 2;
            const bool near_spike = y >= spike_top && y <= spike_bottom &&
                                    std::abs(x - layout.baseline_x(c.trace)) <= reach;
            bool marked = false;
            if (c.mode == DisplayMode::wiggle) {
                marked = is_ink(pixel) && baselines.count(x) == 0;
            } else {
                marked = std::abs(grey(pixel) - 128) > 1;
            }
            if (marked && near_spike) ++marked_near_spike;
            if (marked && !near_spike) {
                ADD_FAILURE() << "mark at " << x << "," << y << " far from the spike at row "
                              << layout.y_of_ms(c.sample) << " column " << spike_baseline;
                return;
            }
        }
    }
    EXPECT_GT(marked_near_spike, 0);
}

INSTANTIATE_TEST_SUITE_P(
    render, single_spike,
    ::testing::Values(SpikeCase{"wiggle_middle", DisplayMode::wiggle, 2, 250, {640, 480}},
                      SpikeCase{"wiggle_first_trace_early", DisplayMode::wiggle, 0, 10, {640, 480}},
                      SpikeCase{"wiggle_decimated", DisplayMode::wiggle, 5, 400, {300, 150}},
                      SpikeCase{"wiggle_no_axes", DisplayMode::wiggle, 3, 100, {90, 90}},
                      SpikeCase{"density_middle", DisplayMode::density, 2, 250, {640, 480}},
                      SpikeCase{"density_decimated", DisplayMode::density, 4, 480, {300, 150}}),
    [](const auto& row) { return std::string(row.param.name); });

struct ZeroCase {
    const char* name;
    int samples;
    QSize size;
    bool variable_area;
};

class zero_trace : public ::testing::TestWithParam<ZeroCase> {};

TEST_P(zero_trace, draws_only_its_baseline) {
    const ZeroCase& c = GetParam();
    const Section section = silent_section(4, c.samples);
    RenderOptions options;
    options.variable_area = c.variable_area;
    options.gain = 8;
    const QImage image = render_section_image(section, options, c.size);
    const SectionLayout layout(section, options, c.size.width(), c.size.height());
    const int last_row = static_cast<int>(std::floor(layout.y_of_ms(c.samples - 1.0)));
    for (int y = layout.plot_top(); y < layout.plot_top() + layout.plot_height(); ++y) {
        std::vector<int> ink;
        for (int x = layout.plot_left(); x < layout.plot_left() + layout.plot_width(); ++x) {
            if (is_ink(image.pixel(x, y))) ink.push_back(x);
        }
        std::vector<int> expected;
        if (y <= last_row) {
            for (int t = 0; t < 4; ++t) {
                expected.push_back(static_cast<int>(std::floor(layout.baseline_x(t))));
            }
        }
        ASSERT_EQ(ink, expected) << "row " << y;
    }
}

INSTANTIATE_TEST_SUITE_P(render, zero_trace,
                         ::testing::Values(ZeroCase{"sparse_samples", 40, {400, 300}, true},
                                           ZeroCase{"dense_samples", 4000, {400, 300}, true},
                                           ZeroCase{"wiggle_only", 4000, {400, 300}, false},
                                           ZeroCase{"no_axes", 300, {60, 60}, true}),
                         [](const auto& row) { return std::string(row.param.name); });

struct ClipCase {
    double clip;
    double gain;
    Scaling scaling;
};

class clip_setting : public ::testing::TestWithParam<ClipCase> {};

TEST_P(clip_setting, keeps_ink_within_the_trace_lane) {
    const ClipCase& c = GetParam();
    Section section = silent_section(5, 2000);
    std::mt19937 random(7);
    std::normal_distribution<float> noise(0.0f, 1000.0f);
    for (float& value : section.traces[2].samples) value = noise(random);
    section.traces[4].samples[3] = 1.0f;  // a small trace beside, for whole-section scaling
    RenderOptions options;
    options.clip_spacings = c.clip;
    options.gain = c.gain;
    options.scaling = c.scaling;
    const QSize size(500, 400);
    const QImage image = render_section_image(section, options, size);
    const SectionLayout layout(section, options, size.width(), size.height());
    const double centre = layout.baseline_x(2);
    const double reach = c.clip * layout.trace_spacing_px();
    std::set<int> other_baselines;
    for (int t : {0, 1, 3, 4})
        other_baselines.insert(static_cast<int>(std::floor(layout.baseline_x(t))));
    int widest = 0;
    for (int y = layout.plot_top(); y < layout.plot_top() + layout.plot_height(); ++y) {
        for (int x = layout.plot_left(); x < layout.plot_left() + layout.plot_width(); ++x) {
            if (!is_ink(image.pixel(x, y)) || other_baselines.count(x) != 0) continue;
            if (layout.trace_at_x(x) == 4 && std::abs(y - layout.y_of_ms(3)) < 4) continue;
            ASSERT_LE(std::abs(x - centre), reach + 1) << "ink at " << x << "," << y;
            widest = std::max(widest, static_cast<int>(std::abs(x - centre)));
        }
    }
    // The noise is loud enough to reach the clip at every setting here.
    EXPECT_GE(widest, reach - 2);
}

INSTANTIATE_TEST_SUITE_P(render, clip_setting,
                         ::testing::Values(ClipCase{1.0, 1.0, Scaling::per_trace},
                                           ClipCase{0.5, 4.0, Scaling::per_trace},
                                           ClipCase{2.0, 30.0, Scaling::per_trace},
                                           ClipCase{1.0, 50.0, Scaling::whole_section}));

TEST(render, density_maps_the_largest_positive_sample_to_the_darkest_grey) {
    struct Case {
        const char* name;
        Scaling scaling;
        float peak_a;
        float peak_b;
        int darkest_a;
        int darkest_b;  // expected darkest grey of trace b, within 2 levels
    };
    const Case cases[] = {
        {"per_trace", Scaling::per_trace, 10.0f, 2.5f, 0, 0},
        {"whole_section", Scaling::whole_section, 10.0f, 5.0f, 0, 64},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Section section = silent_section(2, 300);
        for (int i = 0; i < 300; ++i) {
            section.traces[0].samples[static_cast<std::size_t>(i)] =
                static_cast<float>(std::sin(i * 0.3) * c.peak_a * 0.5);
            section.traces[1].samples[static_cast<std::size_t>(i)] =
                static_cast<float>(std::sin(i * 0.2) * c.peak_b * 0.5);
        }
        section.traces[0].samples[120] = c.peak_a;
        section.traces[1].samples[200] = c.peak_b;
        section.traces[0].samples[60] = -c.peak_a;
        RenderOptions options;
        options.mode = DisplayMode::density;
        options.scaling = c.scaling;
        const QImage image = render_section_image(section, options, {300, 600});
        const SectionLayout layout(section, options, 300, 600);
        const auto darkest = [&](int trace, int* at_row) {
            int best = 256;
            const int x = static_cast<int>(layout.baseline_x(trace));
            for (int y = layout.plot_top(); y < layout.plot_top() + layout.plot_height(); ++y) {
                if (grey(image.pixel(x, y)) < best) {
                    best = grey(image.pixel(x, y));
                    *at_row = y;
                }
            }
            return best;
        };
        int row_a = 0;
        int row_b = 0;
        EXPECT_EQ(darkest(0, &row_a), c.darkest_a);
        EXPECT_NEAR(darkest(1, &row_b), c.darkest_b, 2);
        EXPECT_NEAR(row_a, layout.y_of_ms(120), 1.5);
        EXPECT_NEAR(row_b, layout.y_of_ms(200), 1.5);
        // The most negative sample is the lightest.
        EXPECT_EQ(grey(image.pixel(static_cast<int>(layout.baseline_x(0)),
                                   static_cast<int>(layout.y_of_ms(60)))),
                  255);
    }
}

TEST(render, decimated_rows_draw_the_same_ink_extent_as_every_sample) {
    Section section = silent_section(1, 4000);
    std::mt19937 random(11);
    std::normal_distribution<float> noise(0.0f, 1.0f);
    for (std::size_t i = 0; i < 4000; ++i) {
        section.traces[0].samples[i] = noise(random) + 2.0f * std::sin(i * 0.004f);
    }
    RenderOptions options;
    options.variable_area = false;
    options.gain = 0.45;  // the swings stay well within the clip
    const QSize size(260, 330);
    const QImage drawn = render_section_image(section, options, size);
    const SectionLayout layout(section, options, size.width(), size.height());

    // Every sample joined by a one-pixel line, as a plain drawing program would.
    QImage reference(size, QImage::Format_RGB32);
    reference.fill(Qt::white);
    {
        const PreparedSection prepared = prepare_section(section, options);
        const double px_per_unit = prepared.spacings_per_unit[0] * layout.trace_spacing_px();
        QPolygonF line;
        for (std::size_t i = 0; i < 4000; ++i) {
            line << QPointF(layout.baseline_x(0) + section.traces[0].samples[i] * px_per_unit,
                            layout.y_of_ms(static_cast<double>(i)));
        }
        QPainter painter(&reference);
        painter.setClipRect(layout.plot_left(), layout.plot_top(), layout.plot_width(),
                            layout.plot_height());
        painter.setPen(QPen(Qt::black, 0));
        painter.drawPolyline(line);
    }
    const int from = layout.plot_left();
    const int to = layout.plot_left() + layout.plot_width();
    const int first_row = layout.plot_top() + 1;
    const int last_row = static_cast<int>(layout.y_of_ms(3999.0)) - 1;
    ASSERT_GT(last_row - first_row, 200);
    // Lines drawn through a row boundary may land in the row above or below, so each row is
    // compared with its neighbours.
    const auto near = [&](const QImage& image, int row) {
        Extent extent;
        for (int r = row - 1; r <= row + 1; ++r) {
            const Extent one = ink_extent(image, r, from, to);
            if (one.empty()) continue;
            extent.left = std::min(extent.left, one.left);
            extent.right = std::max(extent.right, one.right);
        }
        return extent;
    };
    for (int y = first_row; y <= last_row; ++y) {
        const Extent mine = ink_extent(drawn, y, from, to);
        const Extent theirs = ink_extent(reference, y, from, to);
        ASSERT_FALSE(mine.empty()) << "row " << y;
        ASSERT_FALSE(theirs.empty()) << "row " << y;
        const Extent mine_near = near(drawn, y);
        const Extent theirs_near = near(reference, y);
        EXPECT_GE(mine.left, theirs_near.left - 1) << "row " << y;
        EXPECT_LE(mine.right, theirs_near.right + 1) << "row " << y;
        EXPECT_GE(theirs.left, mine_near.left - 1) << "row " << y;
        EXPECT_LE(theirs.right, mine_near.right + 1) << "row " << y;
    }
}

// Marks the display draws beside the traces: each row builds a section, draws it and checks
// the pixels where the mark belongs.
struct MarkCase {
    const char* name;
    void (*setup)(Section& section, RenderOptions& options);
    void (*check)(const QImage& image, const SectionLayout& layout, const Section& section,
                  const RenderOptions& options);
};

bool reddish(QRgb pixel) { return qRed(pixel) > qGreen(pixel) + 60 && qRed(pixel) > 120; }

// Share of black pixels in the plot.
double ink_share(const QImage& image, const SectionLayout& layout) {
    long ink = 0;
    for (int y = layout.plot_top(); y < layout.plot_top() + layout.plot_height(); ++y) {
        for (int x = layout.plot_left(); x < layout.plot_left() + layout.plot_width(); ++x) {
            ink += is_ink(image.pixel(x, y)) ? 1 : 0;
        }
    }
    return static_cast<double>(ink) / (layout.plot_width() * layout.plot_height());
}

const MarkCase mark_cases[] = {
    {"delay_moves_a_spike_to_its_true_time",
     [](Section& section, RenderOptions&) {
         // Recorded from -200 ms: sample 300 lies at 100 ms.
         for (SectionTrace& trace : section.traces) trace.set_word(55, -200);
         section.traces[2].samples[300] = 5.0f;
     },
     [](const QImage& image, const SectionLayout& layout, const Section& section,
        const RenderOptions& options) {
         EXPECT_EQ(layout.view().start_ms, -200.0);
         EXPECT_EQ(delay_text(section), "delay -200 ms");
         const int right = static_cast<int>(layout.baseline_x(2) + layout.trace_spacing_px());
         int widest_row = -1;
         int widest = 0;
         for (int y = layout.plot_top(); y < layout.plot_top() + layout.plot_height(); ++y) {
             const Extent extent =
                 ink_extent(image, y, static_cast<int>(layout.baseline_x(2)) + 1, right);
             if (!extent.empty() && extent.right > widest) {
                 widest = extent.right;
                 widest_row = y;
             }
         }
         EXPECT_NEAR(widest_row, layout.y_of_ms(100.0), 1.5);
         const auto hit = hit_test(section, options, image.width(), image.height(),
                                   layout.baseline_x(2), layout.y_of_ms(100.0) + 0.2);
         ASSERT_TRUE(hit.has_value());
         ASSERT_TRUE(hit->sample.has_value());
         EXPECT_EQ(*hit->sample, 300);
     }},
    {"no_delay_leaves_time_from_zero",
     [](Section& section, RenderOptions&) { section.traces[1].samples[50] = 1.0f; },
     [](const QImage&, const SectionLayout& layout, const Section& section, const RenderOptions&) {
         EXPECT_EQ(layout.view().start_ms, 0.0);
         EXPECT_EQ(delay_text(section), "");
     }},
    {"missing_traces_are_hatched_and_labelled",
     [](Section& section, RenderOptions&) {
         for (std::size_t t = 0; t < section.traces.size(); ++t) section.traces[t].number = t + 11;
         for (SectionTrace& trace : section.traces) trace.set_word(55, -20);
         for (const std::size_t t : {3u, 4u}) {
             section.traces[t].missing = true;
             section.traces[t].samples.clear();
             // The reader gave it no words: its word 55 is no delay of the recording.
             section.traces[t].set_word(55, 0);
         }
     },
     [](const QImage& image, const SectionLayout& layout, const Section& section,
        const RenderOptions&) {
         EXPECT_EQ(readable_traces(section), 4u);
         EXPECT_EQ(delay_text(section), "delay -20 ms");
         for (int t = 0; t < 6; ++t) {
             SCOPED_TRACE(t);
             const bool missing = t == 3 || t == 4;
             const int x0 = static_cast<int>(layout.baseline_x(t) - layout.trace_spacing_px() / 3);
             const int x1 = static_cast<int>(layout.baseline_x(t) + layout.trace_spacing_px() / 3);
             int grey_pixels = 0;
             int red_pixels = 0;
             for (int y = layout.plot_top(); y < layout.plot_top() + layout.plot_height(); ++y) {
                 for (int x = x0; x < x1; ++x) {
                     const QRgb pixel = image.pixel(x, y);
                     grey_pixels += pixel == qRgb(222, 222, 222) || pixel == qRgb(160, 160, 160);
                     red_pixels += reddish(pixel);
                 }
             }
             // A missing lane is grey over its whole height, with its "N missing" in red.
             if (missing) {
                 EXPECT_GT(grey_pixels, (x1 - x0) * layout.plot_height() / 2);
                 EXPECT_GT(red_pixels, 20);
             } else {
                 EXPECT_EQ(grey_pixels, 0);
                 EXPECT_EQ(red_pixels, 0);
             }
         }
         // The labels above the lanes of the missing traces are red too.
         int red_labels = 0;
         for (int y = 0; y < layout.plot_top(); ++y) {
             for (int x = static_cast<int>(layout.baseline_x(3)) - 10;
                  x < static_cast<int>(layout.baseline_x(3)) + 10; ++x) {
                 red_labels += reddish(image.pixel(x, y));
             }
         }
         EXPECT_GT(red_labels, 5);
     }},
    {"a_new_ssn_gets_a_separator",
     [](Section& section, RenderOptions&) {
         for (std::size_t t = 0; t < section.traces.size(); ++t) {
             section.traces[t].set_word(92, t < 4 ? 7 : 8);
         }
     },
     [](const QImage& image, const SectionLayout& layout, const Section&, const RenderOptions&) {
         const long boundary = std::lround(layout.baseline_x(4) - layout.trace_spacing_px() / 2);
         for (int x = layout.plot_left(); x < layout.plot_left() + layout.plot_width(); ++x) {
             int coloured = 0;
             for (int y = layout.plot_top() + 20; y < layout.plot_top() + layout.plot_height();
                  ++y) {
                 coloured += image.pixel(x, y) == qRgb(0, 90, 200);
             }
             if (x == boundary) {
                 EXPECT_GT(coloured, layout.plot_height() - 30) << "column " << x;
             } else {
                 EXPECT_EQ(coloured, 0) << "column " << x;
             }
         }
     }},
    {"caption_strip_present",
     [](Section& section, RenderOptions& options) {
         section.traces[0].samples[10] = 1.0f;
         options.caption = true;
         options.caption_file = "shot.dat";
         options.caption_range = "traces 1-6 of 6";
     },
     [](const QImage& image, const SectionLayout& layout, const Section& section,
        const RenderOptions& options) {
         ASSERT_GT(layout.caption_top(), layout.plot_top() + layout.plot_height());
         EXPECT_EQ(image.height() - layout.caption_top(), SectionLayout::caption_height_px);
         int strip = 0;
         int text = 0;
         for (int y = layout.caption_top(); y < image.height(); ++y) {
             for (int x = 0; x < image.width(); ++x) {
                 strip += image.pixel(x, y) == qRgb(238, 238, 238);
                 text += qGray(image.pixel(x, y)) < 100;
             }
         }
         EXPECT_GT(strip, image.width() * SectionLayout::caption_height_px / 2);
         EXPECT_GT(text, 30);
         const std::string caption = caption_text(section, options);
         for (const char* part : {"shot.dat", "traces 1-6 of 6", "wiggle", "gain 1", "clip 1",
                                  "AGC off", "delay 0 ms"}) {
             EXPECT_THAT(caption, ::testing::HasSubstr(part));
         }
     }},
    {"caption_strip_absent",
     [](Section& section, RenderOptions&) { section.traces[0].samples[10] = 1.0f; },
     [](const QImage& image, const SectionLayout& layout, const Section&, const RenderOptions&) {
         EXPECT_EQ(layout.caption_top(), -1);
         EXPECT_EQ(layout.plot_top() + layout.plot_height(),
                   image.height() - SectionLayout::border_px);
         for (int y = layout.plot_top() + layout.plot_height() + 1; y < image.height(); ++y) {
             for (int x = layout.plot_left(); x < image.width(); ++x) {
                 ASSERT_EQ(image.pixel(x, y), qRgb(255, 255, 255)) << x << "," << y;
             }
         }
     }},
    {"density_bar_ends",
     [](Section& section, RenderOptions& options) {
         section.traces[1].samples[40] = 10.0f;
         section.traces[2].samples[80] = -4.0f;
         options.mode = DisplayMode::density;
         options.scaling = Scaling::whole_section;
         options.gain = 2.0;
     },
     [](const QImage& image, const SectionLayout& layout, const Section& section,
        const RenderOptions& options) {
         ASSERT_GT(layout.colour_bar_width(), 0);
         EXPECT_GE(layout.colour_bar_left(), layout.plot_left() + layout.plot_width());
         // The end stands for the clip: one spacing at gain 2 is half the largest value.
         const auto end =
             density_end_amplitude(section, options, prepare_section(section, options));
         ASSERT_TRUE(end.has_value());
         EXPECT_DOUBLE_EQ(*end, 5.0);
         // Black (positive) at the top of the bar, white (negative) at its bottom.
         // The bar darkest at its top, lightening row by row to white at its bottom.
         const int x = layout.colour_bar_left() + 5;
         int top = layout.plot_top();
         while (top < layout.plot_top() + layout.plot_height() && grey(image.pixel(x, top)) > 2)
             ++top;
         int bottom = top;
         while (grey(image.pixel(x, bottom + 1)) >= grey(image.pixel(x, bottom))) ++bottom;
         ASSERT_GT(bottom, top + layout.plot_height() / 2);
         EXPECT_GT(grey(image.pixel(x, bottom)), 252);
         for (int y = top; y + 5 <= bottom; y += 5) {
             EXPECT_LT(grey(image.pixel(x, y)), grey(image.pixel(x, y + 5))) << "row " << y;
         }
     }},
    {"narrow_traces_keep_apart",
     [](Section& section, RenderOptions&) {
         section = silent_section(600, 300);
         std::mt19937 random(3);
         std::normal_distribution<float> noise(0.0f, 1.0f);
         for (SectionTrace& trace : section.traces) {
             for (float& value : trace.samples) value = noise(random);
         }
     },
     [](const QImage& image, const SectionLayout& layout, const Section& section,
        const RenderOptions& options) {
         ASSERT_TRUE(layout.area_only());
         const double area_only = ink_share(image, layout);
         RenderOptions with_line = options;
         with_line.wiggle_line_when_narrow = true;
         const QImage lined = render_section_image(section, with_line, image.size());
         EXPECT_FALSE(SectionLayout(section, with_line, image.width(), image.height()).area_only());
         // With the line, the traces merge into a near-solid block; without it they do not.
         EXPECT_GT(ink_share(lined, layout), 0.9);
         EXPECT_LT(area_only, 0.75);
     }},
    {"remove_mean_takes_away_a_dc_offset",
     [](Section& section, RenderOptions& options) {
         for (SectionTrace& trace : section.traces) {
             for (std::size_t i = 0; i < trace.samples.size(); ++i) {
                 trace.samples[i] = 100.0f + static_cast<float>(std::sin(i * 0.2));
             }
         }
         options.remove_mean = true;
         options.gain = 0.5;
     },
     [](const QImage& image, const SectionLayout& layout, const Section& section,
        const RenderOptions& options) {
         RenderOptions kept = options;
         kept.remove_mean = false;
         const QImage solid = render_section_image(section, kept, image.size());
         // Offset kept: each trace's positive area fills its lane; removed: only the lobes.
         EXPECT_GT(ink_share(solid, layout), 0.45);
         EXPECT_LT(ink_share(image, layout), 0.3);
     }},
};

class marks : public ::testing::TestWithParam<MarkCase> {};

TEST_P(marks, are_drawn_where_they_belong) {
    const MarkCase& c = GetParam();
    Section section = silent_section(6, 500);
    RenderOptions options;
    c.setup(section, options);
    const QSize size(600, 420);
    const QImage image = render_section_image(section, options, size);
    ASSERT_EQ(image.size(), size);
    c.check(image, SectionLayout(section, options, size.width(), size.height()), section, options);
}

INSTANTIATE_TEST_SUITE_P(render, marks, ::testing::ValuesIn(mark_cases),
                         [](const auto& row) { return std::string(row.param.name); });

TEST(render, png_results_each_have_their_own_text) {
    std::set<std::string> texts;
    for (const PngResult result :
         {PngResult::written, PngResult::bad_size, PngResult::cannot_write}) {
        const std::string text = png_result_text(result);
        EXPECT_FALSE(text.empty());
        texts.insert(text);
    }
    EXPECT_EQ(texts.size(), 3u);
}

TEST(render, png_file_holds_the_picture_and_a_failed_write_keeps_the_old_file) {
    const testing::TempDir dir;
    Section section = silent_section(3, 100);
    section.traces[1].samples[50] = 1.0f;
    const std::string path = dir.file("shot.png");
    ASSERT_EQ(render_section_png(section, {}, {320, 240}, path), PngResult::written);
    QImage read_back(QString::fromStdString(path));
    ASSERT_FALSE(read_back.isNull());
    EXPECT_EQ(read_back.size(), QSize(320, 240));
    EXPECT_EQ(read_back.convertToFormat(QImage::Format_RGB32),
              render_section_image(section, {}, {320, 240}));

    EXPECT_EQ(render_section_png(section, {}, {0, 240}, path), PngResult::bad_size);
    std::string reason;
    EXPECT_EQ(render_section_png(section, {}, {320, 240}, dir.file("missing/shot.png"), &reason),
              PngResult::cannot_write);
    EXPECT_FALSE(reason.empty());
    // A picture already in place survives a size that cannot be drawn.
    EXPECT_FALSE(QImage(QString::fromStdString(path)).isNull());
}

TEST(render, damaged_values_and_empty_sections_draw_without_fault) {
    Section section = silent_section(3, 50);
    section.traces[0].samples[10] = std::nanf("");
    section.traces[0].samples[11] = INFINITY;
    section.traces[1].samples.clear();
    section.traces[2].set_word(59, -5);
    RenderOptions options;
    options.agc_window_ms = 20;
    options.gain = NAN;
    options.clip_spacings = -3;
    for (const DisplayMode mode : {DisplayMode::wiggle, DisplayMode::density}) {
        options.mode = mode;
        EXPECT_FALSE(render_section_image(section, options, {200, 150}).isNull());
        EXPECT_FALSE(render_section_image(Section{}, options, {200, 150}).isNull());
        EXPECT_FALSE(render_section_image(section, options, {1, 1}).isNull());
    }
}

}  // namespace
}  // namespace quarvent::render
