#include "engine/sample_decoding.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>
#include <utility>

#include "common/bytes.hpp"
#include "common/numbers.hpp"
#include "engine/sample_library.hpp"
#include "tests/support/scripted_ui.hpp"
#include "tests/support/seg2_builder.hpp"
#include "tests/support/temp_dir.hpp"

namespace quarvent {
namespace {

using ::testing::ElementsAre;
using testing::Reply;
using testing::ScriptedUi;

constexpr std::string_view path = "/field/LINE7.SG2";
constexpr float sentinel = -12345.0F;

// Memory that records every read, so that tests see which bytes decoding asked for.
class RecordingSource final : public ByteSource {
public:
    explicit RecordingSource(std::vector<std::uint8_t> bytes)
        : bytes_(std::move(bytes)), memory_(bytes_) {}
    std::uint64_t size() const override { return memory_.size(); }
    bool read_at(std::uint64_t offset, std::span<std::uint8_t> out) const override {
        reads.emplace_back(offset, out.size());
        return memory_.read_at(offset, out);
    }
    mutable std::vector<std::pair<std::uint64_t, std::size_t>> reads;

private:
    std::vector<std::uint8_t> bytes_;
    MemorySource memory_;
};

// One run's decoding state with a scripted screen.
struct Decoding {
    ScriptedUi ui;
    StatusLog log{ui};
    SampleArrays arrays;

    DecodeResult decode(const ByteSource& input, std::int32_t sample_count,
                        std::uint16_t format_code, std::int16_t factor = 1,
                        std::uint64_t data_offset = 0) {
        const TraceToDecode trace{input, data_offset, sample_count, format_code, 3, path};
        return decode_trace_samples(trace, factor, arrays, ui, log);
    }
};

std::uint64_t bytes_per_count(std::uint16_t format_code, std::int32_t n) {
    switch (format_code) {
        case 1:
            return 2ULL * static_cast<std::uint64_t>(n);
        case 2:
            return 4ULL * static_cast<std::uint64_t>(n);
        case 3:
            return seg20bit_byte_count(n);
        case 4:
            return 4ULL * static_cast<std::uint64_t>(n);
        default:
            return 8ULL * static_cast<std::uint64_t>(n);
    }
}

TEST(decode_trace_samples, each_format_accepts_its_limit_and_refuses_one_more) {
    struct Row {
        std::uint16_t format_code;
        std::int32_t accepted;
        std::int32_t refused;
        const char* message;
    };
    const Row rows[] = {
        {1, 32768, 32769, "Number of Samples Exceeds 32768. Can not Convert."},
        {2, 16384, 16385, "Number of Samples Exceeds 16384. Can not Convert."},
        {3, 26213, 26214, "Number of Samples Exceeds 26214. Can not Convert."},
        {4, 65535, 65536, "Number of Samples Exceeds 65536. Can not Convert."},
        {5, 8191, 8192, "Number of Samples Exceeds 8192. Can not Convert."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.format_code);
        Decoding accepted;
        const std::vector<std::uint8_t> zeros(bytes_per_count(row.format_code, row.accepted), 0);
        const MemorySource data(zeros);
        EXPECT_EQ(accepted.decode(data, row.accepted, row.format_code), DecodeResult::decoded);
        EXPECT_TRUE(accepted.ui.dialogs().empty());
        EXPECT_EQ(accepted.arrays.output_samples.size(), static_cast<std::size_t>(row.accepted));

        // Refused before anything is read: the source may be empty.
        Decoding refused;
        refused.ui.queue(Reply::button(Answer::ok));
        const RecordingSource empty({});
        EXPECT_EQ(refused.decode(empty, row.refused, row.format_code), DecodeResult::run_ended);
        ASSERT_EQ(refused.ui.dialogs().size(), 1U);
        const auto& box = refused.ui.dialogs()[0];
        EXPECT_EQ(box.kind, testing::Dialog::Kind::message_box);
        EXPECT_EQ(box.title, "Too Many Samples");
        EXPECT_EQ(box.text, row.message);
        EXPECT_EQ(box.icon, Icon::information);
        EXPECT_EQ(box.buttons, Buttons::ok);
        EXPECT_TRUE(empty.reads.empty());
        EXPECT_EQ(refused.log.text(), "");
    }
}

TEST(decode_trace_samples, reads_exactly_the_formats_byte_count_from_the_data_offset) {
    struct Row {
        std::uint16_t format_code;
        std::int32_t n;
        std::size_t bytes;
    };
    const Row rows[] = {
        {3, 1, 2}, {3, 3, 8},  {3, 4, 10}, {3, 5, 12}, {3, 2, 5},
        {1, 3, 6}, {2, 3, 12}, {4, 3, 12}, {5, 3, 24},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << "format " << row.format_code << " n=" << row.n);
        // The data block sits at offset 7 and ends the file exactly.
        Decoding exact;
        const RecordingSource file(std::vector<std::uint8_t>(7 + row.bytes, 0));
        EXPECT_EQ(exact.decode(file, row.n, row.format_code, 1, 7), DecodeResult::decoded);
        EXPECT_THAT(file.reads, ElementsAre(std::pair<std::uint64_t, std::size_t>{7, row.bytes}));

        // One byte fewer: the block runs past the end of the file.
        Decoding cut;
        const RecordingSource short_file(std::vector<std::uint8_t>(7 + row.bytes - 1, 0));
        EXPECT_EQ(cut.decode(short_file, row.n, row.format_code, 1, 7), DecodeResult::skipped);
        EXPECT_EQ(cut.log.text(), std::string(path) + " truncated trace 3 Skipping\r\n");
        EXPECT_TRUE(short_file.reads.empty());
    }
}

TEST(decode_trace_samples, data_offsets_past_the_end_skip_the_trace) {
    const std::uint64_t offsets[] = {11, 12, 1000, std::numeric_limits<std::uint64_t>::max()};
    for (const auto offset : offsets) {
        SCOPED_TRACE(offset);
        Decoding decoding;
        const RecordingSource file(std::vector<std::uint8_t>(12, 0));
        EXPECT_EQ(decoding.decode(file, 2, 1, 1, offset), DecodeResult::skipped);
        EXPECT_EQ(decoding.log.text(), std::string(path) + " truncated trace 3 Skipping\r\n");
    }
}

TEST(decode_trace_samples, formats_become_floats_by_value) {
    struct Row {
        const char* name;
        testing::Seg2Trace trace;
        std::vector<float> expected;
    };
    const Row rows[] = {
        {"16-bit", testing::Seg2Trace::int16({-32768, -1, 0, 1, 32767}), {-32768, -1, 0, 1, 32767}},
        {"32-bit",
         testing::Seg2Trace::int32({-2147483647 - 1, -5, 16777217, 2147483647}),
         {-2147483648.0F, -5, 16777216, 2147483648.0F}},
        {"20-bit",
         testing::Seg2Trace::raw(3, 4,
                                 {0x21, 0x22, 0x24, 0x93, 0x1F, 0xBA, 0x60, 0xAA, 0x8A, 0x9A}),
         {-55734, -71552, -87676, -103892}},
        {"64-bit",
         testing::Seg2Trace::float64({0.1, -2.5, 1e300, -1e-50}),
         {0.1F, -2.5F, std::numeric_limits<float>::infinity(), -0.0F}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Decoding decoding;
        const MemorySource data(row.trace.data);
        ASSERT_EQ(decoding.decode(data, row.trace.sample_count, row.trace.format_code),
                  DecodeResult::decoded);
        EXPECT_EQ(decoding.arrays.output_samples, row.expected);
    }
}

TEST(decode_trace_samples, floats_at_factor_1_are_copied_bit_for_bit) {
    const std::uint32_t patterns[] = {
        0x7FC00000,  // quiet NaN
        0x7FA00001,  // signalling NaN with a payload
        0xFFC12345,  // negative NaN with a payload
        0x80000000,  // negative zero
        0x00000001,  // smallest subnormal
        0xFF800000,  // negative infinity
        0x3F800000,  // 1
    };
    std::vector<std::uint8_t> data;
    for (auto pattern : patterns) append_le_u32(data, pattern);
    Decoding decoding;
    const MemorySource source(data);
    ASSERT_EQ(decoding.decode(source, 7, 4), DecodeResult::decoded);
    ASSERT_EQ(decoding.arrays.output_samples.size(), 7U);
    for (std::size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(std::bit_cast<std::uint32_t>(decoding.arrays.output_samples[i]), patterns[i])
            << "sample " << i + 1;
    }
}

TEST(decode_trace_samples, unknown_format_codes_are_logged_and_skipped) {
    const std::uint16_t codes[] = {0, 6, 255};
    for (const auto code : codes) {
        SCOPED_TRACE(code);
        Decoding decoding;
        const RecordingSource data(std::vector<std::uint8_t>(64, 0));
        EXPECT_EQ(decoding.decode(data, 4, code), DecodeResult::skipped);
        EXPECT_EQ(decoding.log.text(),
                  std::string(path) + " Uknown data type " + number_text(int{code}) + "\r\n");
        EXPECT_TRUE(data.reads.empty());
        EXPECT_TRUE(decoding.ui.dialogs().empty());
    }
    Decoding decoding;
    const MemorySource none({});
    EXPECT_EQ(decoding.decode(none, 1, 6), DecodeResult::skipped);
    EXPECT_EQ(decoding.log.text(), std::string(path) + " Uknown data type  6\r\n");
}

TEST(decode_trace_samples, counts_of_zero_decode_empty_and_negative_counts_are_skipped) {
    for (std::uint16_t code = 1; code <= 5; ++code) {
        SCOPED_TRACE(code);
        Decoding decoding;
        decoding.arrays.output_samples = {1, 2, 3};
        const RecordingSource none({});
        // An empty data block needs no bytes, even where it would begin past the end.
        EXPECT_EQ(decoding.decode(none, 0, code, 2, 1000), DecodeResult::decoded);
        EXPECT_TRUE(decoding.arrays.output_samples.empty());
        EXPECT_EQ(decoding.log.text(), "");

        for (const std::int32_t negative : {-1, std::numeric_limits<std::int32_t>::min()}) {
            Decoding bad;
            bad.arrays.output_samples = {1, 2, 3};
            EXPECT_EQ(bad.decode(none, negative, code), DecodeResult::skipped);
            EXPECT_EQ(bad.log.text(),
                      std::string(path) + " Bad sample count on trace  3 Skipping\r\n");
            EXPECT_EQ(bad.arrays.output_samples, (std::vector<float>{1, 2, 3}));
        }
        EXPECT_TRUE(none.reads.empty());
    }
}

TEST(decode_trace_samples, resampling_fills_n_over_f_outputs_and_keeps_the_rest) {
    struct Row {
        testing::Seg2Trace trace;
        std::int16_t factor;
        std::size_t filled;
    };
    const Row rows[] = {
        {testing::Seg2Trace::int16(std::vector<std::int16_t>(9, 100)), 2, 4},
        {testing::Seg2Trace::int32(std::vector<std::int32_t>(7, 100)), 2, 4},
        {testing::Seg2Trace::raw(3, 8,
                                 std::vector<std::uint8_t>{0, 0, 100, 0, 100, 0, 100, 0, 100, 0,
                                                           0, 0, 100, 0, 100, 0, 100, 0, 100, 0}),
         4, 2},
        {testing::Seg2Trace::float32(std::vector<float>(10, 100)), 4, 2},
        {testing::Seg2Trace::float32(std::vector<float>(6, 100)), 4, 2},
        {testing::Seg2Trace::float64(std::vector<double>(5, 100)), 4, 1},
        {testing::Seg2Trace::float64(std::vector<double>(1, 100)), 2, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << "format " << int{row.trace.format_code} << " n="
                                          << row.trace.sample_count << " f=" << row.factor);
        Decoding decoding;
        decoding.arrays.output_samples.assign(20, sentinel);
        const MemorySource data(row.trace.data);
        ASSERT_EQ(decoding.decode(data, row.trace.sample_count, row.trace.format_code, row.factor),
                  DecodeResult::decoded);
        const auto n = static_cast<std::size_t>(row.trace.sample_count);
        ASSERT_EQ(decoding.arrays.output_samples.size(), n);
        for (std::size_t i = 0; i < n; ++i) {
            const float* expected_value = i < row.filled ? nullptr : &sentinel;
            if (expected_value == nullptr) {
                EXPECT_EQ(decoding.arrays.output_samples[i], 100.0F) << "output " << i;
            } else if (row.trace.format_code != 4) {
                // Beyond the filled outputs the array keeps what it held (format 4 holds the
                // input samples there, moved in before resampling).
                EXPECT_EQ(decoding.arrays.output_samples[i], sentinel) << "output " << i;
            }
        }
    }
}

TEST(decode_trace_samples, arrays_keep_their_contents_from_trace_to_trace) {
    Decoding decoding;
    const auto first = testing::Seg2Trace::int16({1, 2, 3, 4}).data;
    ASSERT_EQ(decoding.decode(MemorySource(first), 4, 1), DecodeResult::decoded);
    const auto second = testing::Seg2Trace::int16({9, 8}).data;
    ASSERT_EQ(decoding.decode(MemorySource(second), 2, 1), DecodeResult::decoded);
    EXPECT_EQ(decoding.arrays.output_samples, (std::vector<float>{9, 8}));
    const auto third = testing::Seg2Trace::int16({5, 5, 5}).data;
    ASSERT_EQ(decoding.decode(MemorySource(third), 3, 1), DecodeResult::decoded);
    EXPECT_EQ(decoding.arrays.output_samples, (std::vector<float>{5, 5, 5}));
}

// ---- check_sample_interval ----

constexpr const char* interval_prompt =
    "The sampling rate for this data is not defined properly in the header. Some value other "
    "than 0 is required. Enter the value for sample rate in MILLISECONDS. Cancel to abort "
    "conversion.";

struct IntervalRun {
    ScriptedUi ui;
    StatusLog log{ui};
    OutputTraceHeader header;
    ManualInterval manual;

    IntervalResult check(std::int16_t word_59) {
        header.word(59) = word_59;
        return check_sample_interval(header, manual, ui, log);
    }
};

TEST(check_sample_interval, a_usable_interval_is_kept_without_asking) {
    for (const std::int16_t word : {1, 125, 32767}) {
        SCOPED_TRACE(word);
        IntervalRun run;
        EXPECT_EQ(run.check(word), IntervalResult::ready);
        EXPECT_EQ(run.header.word(59), word);
        EXPECT_TRUE(run.ui.dialogs().empty());
    }
}

TEST(check_sample_interval, asks_once_per_run_and_the_answer_holds_for_every_later_trace) {
    IntervalRun run;
    run.ui.queue(Reply::text("0.5"));
    ASSERT_EQ(run.check(0), IntervalResult::ready);
    EXPECT_EQ(run.header.word(59), 500);
    ASSERT_EQ(run.ui.dialogs().size(), 1U);
    const auto& prompt = run.ui.dialogs()[0];
    EXPECT_EQ(prompt.kind, testing::Dialog::Kind::prompt);
    EXPECT_EQ(prompt.title, "Missing Sampling Rate");
    EXPECT_EQ(prompt.text, interval_prompt);
    EXPECT_EQ(prompt.proposed, " 1");
    EXPECT_EQ(run.log.text(), " -*Manual entered sample rate value used.*- ");

    // Later traces: missing again, or with an interval of their own (also from a later file).
    for (const std::int16_t word : {0, -4, 250, 1000}) {
        SCOPED_TRACE(word);
        EXPECT_EQ(run.check(word), IntervalResult::ready);
        EXPECT_EQ(run.header.word(59), 500);
    }
    EXPECT_EQ(run.ui.dialogs().size(), 1U);
    EXPECT_EQ(run.log.text(), " -*Manual entered sample rate value used.*- ");

    // A later run starts over.
    IntervalRun next;
    next.ui.queue(Reply::text("2"));
    EXPECT_EQ(next.check(0), IntervalResult::ready);
    ASSERT_EQ(next.ui.dialogs().size(), 1U);
    EXPECT_EQ(next.ui.dialogs()[0].proposed, " 1");
    EXPECT_EQ(next.header.word(59), 2000);
}

TEST(check_sample_interval, answers_are_read_as_milliseconds_and_checked) {
    struct Row {
        const char* answer;
        std::int16_t word_59;  // 0: invalid
    };
    const Row rows[] = {
        {" 1", 1000},  {"0.5", 500},  {"32.767", 32767}, {"0.125", 125},   {"2.5E-1", 250},
        {"0.0025", 2}, {"0.0006", 1}, {"0.0015", 2},     {"12abc", 12000}, {"0", 0},
        {"-1", 0},     {"-0.5", 0},   {"abc", 0},        {"32.768", 0},    {"33", 0},
        {"0.0004", 0}, {"0.0005", 0}, {"1e40", 0},       {"1e400", 0},     {"-1e400", 0},
        {".", 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.answer);
        IntervalRun run;
        run.ui.queue(Reply::text(row.answer));
        if (row.word_59 > 0) {
            EXPECT_EQ(run.check(0), IntervalResult::ready);
            EXPECT_EQ(run.header.word(59), row.word_59);
            EXPECT_TRUE(run.manual.manual_interval_in_force);
            EXPECT_THAT(run.ui.titles(), ElementsAre("Missing Sampling Rate"));
            continue;
        }
        run.ui.queue(Reply::button(Answer::ok));
        EXPECT_EQ(run.check(0), IntervalResult::run_ended);
        EXPECT_THAT(run.ui.titles(), ElementsAre("Missing Sampling Rate", "Invalid Sampling Rate"));
        const auto& box = run.ui.dialogs()[1];
        EXPECT_EQ(box.text, std::string("The sampling rate value is invalid. Can not proceed. (") +
                                row.answer + ")");
        EXPECT_EQ(box.icon, Icon::none);
        EXPECT_EQ(box.buttons, Buttons::ok);
        EXPECT_FALSE(run.manual.manual_interval_in_force);
        EXPECT_EQ(run.header.word(59), 0);
        EXPECT_EQ(run.log.text(), "");
    }
}

TEST(check_sample_interval, an_empty_answer_ends_the_run_without_a_message) {
    IntervalRun run;
    run.ui.queue(Reply::text(""));
    EXPECT_EQ(run.check(0), IntervalResult::run_ended);
    EXPECT_THAT(run.ui.titles(), ElementsAre("Missing Sampling Rate"));
    EXPECT_FALSE(run.manual.manual_interval_in_force);
    EXPECT_EQ(run.log.text(), "");
}

// ---- The real recordings against their reference values ----

struct RecordedTrace {
    std::uint64_t data_offset = 0;
    std::int32_t sample_count = 0;
    std::uint16_t format_code = 0;
    double descaling_factor = 1.0;
};

// A small walk of a SEG-2 file, independent of the program's reader: each trace's data
// offset, sample count, format code and DESCALING_FACTOR string.
std::vector<RecordedTrace> walk(std::span<const std::uint8_t> file) {
    std::vector<RecordedTrace> traces;
    const auto trace_count = read_le_i16(file, 6);
    if (!trace_count) return traces;
    for (std::size_t t = 0; t < static_cast<std::size_t>(*trace_count); ++t) {
        const auto pointer = read_le_i32(file, 32 + 4 * t);
        if (!pointer || *pointer < 0) return {};
        const auto at = static_cast<std::size_t>(*pointer);
        const auto block_size = read_le_u16(file, at + 2);
        const auto sample_count = read_le_i32(file, at + 8);
        if (!block_size || !sample_count || at + 12 >= file.size()) return {};
        RecordedTrace trace{at + *block_size, *sample_count, file[at + 12], 1.0};
        std::size_t position = at + 32;
        while (const auto length = read_le_i16(file, position)) {
            if (*length <= 0 || !fits(file.size(), position, static_cast<std::size_t>(*length)))
                break;
            const std::string text(file.begin() + static_cast<std::ptrdiff_t>(position) + 2,
                                   file.begin() + static_cast<std::ptrdiff_t>(position) + *length);
            const std::string keyword = "DESCALING_FACTOR";
            if (text.starts_with(keyword)) {
                trace.descaling_factor = read_number(std::string_view(text).substr(keyword.size()));
            }
            position += static_cast<std::size_t>(*length);
        }
        traces.push_back(trace);
    }
    return traces;
}

std::vector<double> read_reference(const std::string& file_name) {
    std::ifstream in(file_name);
    std::stringstream text;
    text << in.rdbuf();
    const std::string all = text.str();
    std::vector<double> values;
    const char* p = all.data();
    const char* end = all.data() + all.size();
    while (p < end) {
        while (p < end && (*p == ' ' || *p == '\n' || *p == '\r' || *p == '\t')) ++p;
        if (p == end) break;
        double value = 0.0;
        const auto result = std::from_chars(p, end, value);
        if (result.ec != std::errc{}) {
            ADD_FAILURE() << "unreadable reference value in " << file_name;
            break;
        }
        values.push_back(value);
        p = result.ptr;
    }
    return values;
}

TEST(decode_trace_samples, real_recordings_match_their_reference_values) {
    struct Row {
        const char* recording;
        const char* reference;
        std::uint16_t format_code;
        double unit;  // the reference's unit per descaled sample
    };
    const Row rows[] = {
        {"obspy/20180307_031245000.0.seg2", "obspy/20180307_031245000.0.reference.txt", 3, 1.0},
        {"obspy/20130107_103041000.CET.3c.cont.0.seg2",
         "obspy/20130107_103041000.CET.3c.cont.0.reference.txt", 2, 1000.0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.recording);
        const std::string recording = testing::shared_sample(row.recording);
        if (recording.empty()) GTEST_SKIP() << "the shared SEG-2 recordings are not present";

        const std::vector<std::uint8_t> bytes = testing::read_file(recording);
        const std::vector<RecordedTrace> traces = walk(bytes);
        const std::vector<double> reference = read_reference(testing::shared_sample(row.reference));
        ASSERT_FALSE(traces.empty());
        // The reference holds one column per trace.
        ASSERT_EQ(reference.size(),
                  traces.size() * static_cast<std::size_t>(traces[0].sample_count));

        FileSource file;
        ASSERT_FALSE(file.open(recording));
        Decoding decoding;
        for (std::size_t t = 0; t < traces.size(); ++t) {
            SCOPED_TRACE(::testing::Message() << "trace " << t + 1);
            const RecordedTrace& trace = traces[t];
            EXPECT_EQ(trace.format_code, row.format_code);
            const TraceToDecode to_decode{file,
                                          trace.data_offset,
                                          trace.sample_count,
                                          trace.format_code,
                                          static_cast<std::int16_t>(t + 1),
                                          recording};
            ASSERT_EQ(
                decode_trace_samples(to_decode, 1, decoding.arrays, decoding.ui, decoding.log),
                DecodeResult::decoded);
            std::size_t mismatches = 0;
            for (std::size_t i = 0; i < static_cast<std::size_t>(trace.sample_count); ++i) {
                const double expected = reference[i * traces.size() + t];
                const double got =
                    decoding.arrays.output_samples[i] * trace.descaling_factor * row.unit;
                if (std::fabs(got - expected) > 1e-6 * std::fabs(expected) && mismatches++ < 5) {
                    ADD_FAILURE() << "sample " << i + 1 << ": " << got << " against " << expected;
                }
            }
            EXPECT_EQ(mismatches, 0U);
        }
        EXPECT_EQ(decoding.log.text(), "");
    }
}

}  // namespace
}  // namespace quarvent
