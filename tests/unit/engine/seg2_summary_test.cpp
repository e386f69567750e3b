// The SEG-2 summary: what a file holds and every damaged part, in the run's own words.

#include "engine/seg2_summary.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/unit/engine/engine_test_support.hpp"

namespace quarvent::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

Seg2Builder two_traces() {
    Seg2Builder file;
    file.file_string("ACQUISITION_DATE 07/MAR/2018");
    file.add_trace(Seg2Trace::int16({1, -2, 3}).with_string("SAMPLE_INTERVAL 0.00025"));
    file.add_trace(Seg2Trace::float32({0.5F, 1.5F}).with_string("W8=4"));
    return file;
}

TEST(seg2_summary, reports_every_damaged_part_as_the_run_logs_it) {
    struct Case {
        const char* name;
        std::function<void(Seg2Builder&)> damage;
        std::vector<std::string> file_damage;
        std::vector<std::string> trace2_damage;
        bool trace2_descriptor = true;
    };
    const std::vector<Case> cases = {
        {"whole", [](Seg2Builder&) {}, {}, {}},
        {"bad trace id",
         [](Seg2Builder& f) { f.traces[1].block_id = 0x1234; },
         {},
         {"f.sg2 BAD trace Id on trace  2 Skipping"},
         false},
        {"unknown format",
         [](Seg2Builder& f) { f.traces[1].format_code = 9; },
         {},
         {"f.sg2 Uknown data type  9"}},
        {"data block past the end",
         [](Seg2Builder& f) { f.traces[1].sample_count = 400; },
         {},
         {"f.sg2 truncated trace 2 Skipping"}},
        {"too many samples",
         [](Seg2Builder& f) { f.traces[1].sample_count = 70000; },
         {},
         {"Number of Samples Exceeds 65536. Can not Convert."}},
        {"not SEG-2",
         [](Seg2Builder& f) { f.block_id = 0x1111; },
         {"f.sg2 Not valid SEG-2 file-Skipping"},
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Seg2Builder file = two_traces();
        c.damage(file);
        const std::vector<std::uint8_t> bytes = file.build();
        const MemorySource source(bytes);
        TestStrings strings;
        std::vector<float> samples;
        const Seg2Summary summary = summarize_seg2(source, "f.sg2", strings, 2, &samples);
        EXPECT_EQ(summary.damage, c.file_damage);
        const bool whole = c.file_damage.empty() && c.trace2_damage.empty();
        EXPECT_EQ(summary.whole(), whole);
        if (!c.file_damage.empty()) {
            EXPECT_THAT(summary.traces, IsEmpty());
            continue;
        }
        ASSERT_EQ(summary.traces.size(), 2u);
        EXPECT_THAT(summary.file_strings, ElementsAre("ACQUISITION_DATE 07/MAR/2018"));
        const Seg2TraceSummary& first = summary.traces[0];
        EXPECT_THAT(first.damage, IsEmpty());
        EXPECT_EQ(first.descriptor.format_code, 1);
        EXPECT_EQ(first.descriptor.sample_count, 3);
        ASSERT_TRUE(first.interval_us.has_value());
        EXPECT_DOUBLE_EQ(*first.interval_us, 250.0);
        EXPECT_THAT(first.strings, ElementsAre("SAMPLE_INTERVAL 0.00025"));
        const Seg2TraceSummary& second = summary.traces[1];
        EXPECT_EQ(second.damage, c.trace2_damage);
        EXPECT_EQ(second.descriptor_read, c.trace2_descriptor);
        EXPECT_FALSE(second.interval_us.has_value());
        if (whole) {
            EXPECT_EQ(second.words[8], 4);  // the strings went through the receiver
            EXPECT_EQ(samples, (std::vector<float>{0.5F, 1.5F}));
        } else {
            EXPECT_THAT(samples, IsEmpty());
        }
    }
}

TEST(seg2_summary, a_pointer_shortage_is_the_runs_message) {
    Seg2Builder file = two_traces();
    file.pointer_block_size = 4;
    const std::vector<std::uint8_t> bytes = file.build();
    const MemorySource source(bytes);
    IgnoreHeaderStrings ignore;
    const Seg2Summary summary = summarize_seg2(source, "f.sg2", ignore);
    EXPECT_FALSE(summary.whole());
    ASSERT_EQ(summary.damage.size(), 1u);
    EXPECT_THAT(summary.damage[0], HasSubstr("There are more traces ( 2) than; pointers to the "
                                             "traces ( 1).; This data can not be converted"));
}

// A descriptor that several pointers name writes, when read again, what its strings wrote
// the first time, a value a trace between them changed and one its strings set without
// changing it among them: the words equal those of a file holding a copy of it for each
// pointer. Its strings are kept once.
TEST(seg2_summary, a_descriptor_named_again_writes_its_words_again_and_keeps_its_strings_once) {
    const auto a = [] {
        return Seg2Trace::int16({1, 2}).with_string("W8=5").with_string("W10=3").with_string(
            "SAMPLE_INTERVAL 0.0005");
    };
    const auto b = [] { return Seg2Trace::int16({3}).with_string("W8=7").with_string("W10=4"); };
    struct Row {
        const char* layout;  // the descriptor each pointer names
    };
    const std::vector<Row> rows = {{"ABA"}, {"AAA"}, {"BABA"}, {"AB"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.layout);
        const std::string layout = row.layout;
        Seg2Builder shared;
        shared.file_string("W10=3");  // the first A sets word 10 to the value it has
        shared.add_trace(a()).add_trace(b());
        shared.trace_count = static_cast<std::int16_t>(layout.size());
        shared.pointer_block_size = static_cast<std::uint16_t>(4 * layout.size());
        const std::vector<std::int32_t> offsets = shared.trace_offsets();
        shared.pointers.emplace();
        Seg2Builder copies;
        copies.file_string("W10=3");
        for (const char c : layout) {
            shared.pointers->push_back(offsets[c == 'A' ? 0 : 1]);
            copies.add_trace(c == 'A' ? a() : b());
        }
        const std::vector<std::uint8_t> shared_bytes = shared.build();
        const std::vector<std::uint8_t> copies_bytes = copies.build();
        const MemorySource shared_source(shared_bytes);
        const MemorySource copies_source(copies_bytes);
        TestStrings strings;
        const Seg2Summary got = summarize_seg2(shared_source, "s.sg2", strings);
        const Seg2Summary want = summarize_seg2(copies_source, "c.sg2", strings);
        ASSERT_EQ(got.traces.size(), layout.size());
        ASSERT_EQ(want.traces.size(), layout.size());
        EXPECT_TRUE(got.whole());
        for (std::size_t t = 0; t < layout.size(); ++t) {
            SCOPED_TRACE(t + 1);
            EXPECT_EQ(got.traces[t].words, want.traces[t].words);
            EXPECT_EQ(got.traces[t].descriptor.sample_count,
                      want.traces[t].descriptor.sample_count);
            EXPECT_EQ(got.traces[t].interval_us, want.traces[t].interval_us);
            const std::size_t first = layout.find(layout[t]);
            EXPECT_EQ(got.traces[t].strings_of_trace, first == t ? 0 : static_cast<int>(first + 1));
            EXPECT_EQ(got.traces[t].strings.empty(), first != t);
        }
    }
}

// Past kept_string_bytes of strings none more are kept, and the summary says from where.
TEST(seg2_summary, strings_past_the_bound_are_not_kept) {
    const std::string long_string = "NOTE " + std::string(31990, 'x');
    // The samples cut the first string short; the second trace passes the bound.
    const int per_trace = static_cast<int>(kept_string_bytes / long_string.size() / 2) + 2;
    Seg2Builder file;
    for (int t = 0; t < 3; ++t) {
        Seg2Trace trace = Seg2Trace::int16({1});
        for (int s = 0; s < per_trace; ++s) trace.with_string(long_string);
        trace.block_size = 40;
        trace.data_over_strings = true;
        file.add_trace(std::move(trace));
    }
    const std::vector<std::uint8_t> bytes = file.build();
    const MemorySource source(bytes);
    TestStrings strings;
    const Seg2Summary summary = summarize_seg2(source, "f.sg2", strings);
    ASSERT_EQ(summary.traces.size(), 3u);
    EXPECT_EQ(summary.strings_dropped_from, 2);
    EXPECT_EQ(summary.traces[0].strings.size(), static_cast<std::size_t>(per_trace));
    for (int t = 1; t < 3; ++t) {
        EXPECT_FALSE(summary.traces[static_cast<std::size_t>(t)].strings_kept);
        EXPECT_THAT(summary.traces[static_cast<std::size_t>(t)].strings, IsEmpty());
    }
}

}  // namespace
}  // namespace quarvent::testing
