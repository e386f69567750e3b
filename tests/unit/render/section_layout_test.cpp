#include "render/section_layout.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace quarvent::render {
namespace {

TEST(section_layout, row_spans_follow_the_line_through_the_samples) {
    const float samples[] = {0.0f, 10.0f, 0.0f, -4.0f, std::nanf("")};
    struct Case {
        const char* name;
        double start_ms;
        double row_ms;
        std::vector<RowSpan> expected;
    };
    const Case cases[] = {
        // Rows finer than the samples: the line between them, interpolated.
        {"half_sample_rows", 0.0, 0.5, {{0, 5, true}, {5, 10, true}, {5, 10, true}, {0, 5, true}}},
        // Rows coarser than the samples: the smallest and largest value within each.
        {"two_sample_rows", 0.0, 2.0, {{0, 10, true}, {-4, 0, true}, {0, 0, true}, {}}},
        // Before the first sample there is no ink; a sample that is not a number counts as 0.
        {"from_before_the_trace", -2.0, 1.0, {{}, {0, 0, true}, {0, 10, true}, {0, 10, true}}},
        {"past_the_end", 3.5, 1.0, {{-2, 0, true}, {}, {}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<RowSpan> rows(c.expected.size());
        row_spans(samples, 1.0, c.start_ms, c.row_ms, rows);
        for (std::size_t r = 0; r < rows.size(); ++r) {
            SCOPED_TRACE(r);
            EXPECT_EQ(rows[r].ink, c.expected[r].ink);
            if (!rows[r].ink) continue;
            EXPECT_FLOAT_EQ(rows[r].low, c.expected[r].low);
            EXPECT_FLOAT_EQ(rows[r].high, c.expected[r].high);
        }
    }
}

TEST(section_layout, hit_test_finds_the_trace_time_and_sample_under_a_pixel) {
    Section section;
    for (int t = 0; t < 4; ++t) {
        SectionTrace trace;
        trace.set_word(59, 500);
        for (int i = 0; i < 100; ++i) trace.samples.push_back(static_cast<float>(t * 1000 + i));
        section.traces.push_back(trace);
    }
    section.traces[3].samples.resize(40);
    RenderOptions options;
    const SectionLayout layout(section, options, 400, 300);
    struct Case {
        int trace;
        double time_ms;
        bool has_sample;
    };
    for (const Case c :
         {Case{0, 0.0, true}, Case{2, 25.0, true}, Case{3, 10.0, true}, Case{3, 30.0, false}}) {
        SCOPED_TRACE(testing::Message() << "trace " << c.trace << " at " << c.time_ms);
        const auto hit = hit_test(section, options, 400, 300, layout.baseline_x(c.trace),
                                  layout.y_of_ms(c.time_ms) + 0.1);
        ASSERT_TRUE(hit.has_value());
        EXPECT_EQ(hit->trace, c.trace);
        EXPECT_NEAR(hit->time_ms, c.time_ms, 0.1);
        ASSERT_EQ(hit->sample.has_value(), c.has_sample);
        if (c.has_sample) {
            const int sample = static_cast<int>(std::lround(c.time_ms / 0.5));
            EXPECT_EQ(*hit->sample, sample);
            EXPECT_EQ(hit->amplitude, c.trace * 1000 + sample);
        }
    }
    // The axes and the margins are no trace.
    EXPECT_FALSE(hit_test(section, options, 400, 300, 5, 150).has_value());
    EXPECT_FALSE(hit_test(section, options, 400, 300, 200, 5).has_value());
    EXPECT_FALSE(hit_test(Section{}, options, 400, 300, 200, 150).has_value());
}

TEST(section_layout, agc_evens_out_loud_and_quiet_parts) {
    std::vector<float> samples;
    for (int i = 0; i < 200; ++i)
        samples.push_back((i % 2 == 0 ? 1.0f : -1.0f) * (i < 100 ? 1000.0f : 1.0f));
    const std::vector<float> evened = apply_agc(samples, 10);
    EXPECT_FLOAT_EQ(evened[20], 1.0f);
    EXPECT_FLOAT_EQ(evened[21], -1.0f);
    EXPECT_FLOAT_EQ(evened[180], 1.0f);
    EXPECT_EQ(apply_agc(std::vector<float>(5, 0.0f), 3), std::vector<float>(5, 0.0f));
}

}  // namespace
}  // namespace quarvent::render
