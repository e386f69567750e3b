#include "engine/sample_decoding.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <optional>
#include <utility>

#include "common/bytes.hpp"
#include "common/numbers.hpp"
#include "engine/sample_library.hpp"
#include "engine/seg2_reader.hpp"
#include "tests/support/scripted_ui.hpp"
#include "tests/support/temp_dir.hpp"

namespace quarvent {
namespace {

using ::testing::ElementsAre;
using testing::Reply;
using testing::ScriptedUi;

constexpr std::string_view path = "/field/LINE7.SG2";

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

// One run's decoding state with a scripted screen; the trace is number 3 of its file.
struct Decoding {
    ScriptedUi ui;
    StatusLog log{ui};
    SampleArrays arrays;

    DecodeResult decode(const ByteSource& input, std::int32_t n, std::uint16_t format_code,
                        std::int16_t f = 1, std::uint64_t data_offset = 0) {
        return decode_trace_samples({input, data_offset, n, format_code, 3, path}, f, arrays, ui,
                                    log);
    }
};

TEST(decode_trace_samples, each_format_accepts_its_limit_and_refuses_one_more) {
    struct Row {
        std::uint16_t format_code;
        std::int32_t accepted;
        std::size_t bytes;  // of the accepted count
        const char* message;
    };
    const Row rows[] = {
        {1, 32768, 65536, "Number of Samples Exceeds 32768. Can not Convert."},
        {2, 16384, 65536, "Number of Samples Exceeds 16384. Can not Convert."},
        {3, 26213, 65532, "Number of Samples Exceeds 26214. Can not Convert."},
        {4, 65535, 262140, "Number of Samples Exceeds 65536. Can not Convert."},
        {5, 8191, 65528, "Number of Samples Exceeds 8192. Can not Convert."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.format_code);
        Decoding accepted;
        const RecordingSource data(std::vector<std::uint8_t>(row.bytes, 0));
        EXPECT_EQ(accepted.decode(data, row.accepted, row.format_code), DecodeResult::decoded);
        EXPECT_TRUE(accepted.ui.dialogs().empty());

        Decoding refused;
        refused.ui.queue(Reply::button(Answer::ok));
        EXPECT_EQ(refused.decode(data, row.accepted + 1, row.format_code), DecodeResult::run_ended);
        ASSERT_THAT(refused.ui.titles(), ElementsAre("Too Many Samples"));
        EXPECT_EQ(refused.ui.dialogs()[0].text, row.message);
        EXPECT_EQ(refused.ui.dialogs()[0].icon, Icon::information);
        EXPECT_EQ(refused.ui.dialogs()[0].buttons, Buttons::ok);
        EXPECT_EQ(data.reads.size(), 1U);  // the accepted trace's read only
    }
}

TEST(decode_trace_samples, reads_the_formats_byte_count_at_the_data_offset_or_skips_the_trace) {
    struct Row {
        std::uint16_t format_code;
        std::int32_t n;
        std::size_t bytes;
    };
    const Row rows[] = {{3, 1, 2}, {3, 3, 8},  {3, 4, 10}, {3, 5, 12},
                        {1, 3, 6}, {2, 3, 12}, {4, 3, 12}, {5, 3, 24}};
    const std::string truncated = std::string(path) + " truncated trace 3 Skipping\r\n";
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << "format " << row.format_code << " n=" << row.n);
        // The data block starts at offset 7 and ends the file exactly...
        Decoding exact;
        const RecordingSource file(std::vector<std::uint8_t>(7 + row.bytes, 0));
        EXPECT_EQ(exact.decode(file, row.n, row.format_code, 1, 7), DecodeResult::decoded);
        EXPECT_THAT(file.reads, ElementsAre(std::pair<std::uint64_t, std::size_t>{7, row.bytes}));
        // ...or runs one byte past its end, or starts beyond it.
        for (const std::uint64_t offset : {8ULL, 1000ULL, ~0ULL}) {
            Decoding cut;
            EXPECT_EQ(cut.decode(file, row.n, row.format_code, 1, offset), DecodeResult::skipped);
            EXPECT_EQ(cut.log.text(), truncated);
        }
        EXPECT_EQ(file.reads.size(), 1U);
    }
}

TEST(decode_trace_samples, formats_become_floats_by_value_and_32_bit_floats_keep_every_bit) {
    struct Row {
        std::uint16_t format_code;
        std::vector<std::uint8_t> bytes;
        std::vector<std::uint32_t> expected;  // bits of the output floats
    };
    const auto bits = [](std::initializer_list<float> values) {
        std::vector<std::uint32_t> out;
        for (float v : values) out.push_back(std::bit_cast<std::uint32_t>(v));
        return out;
    };
    std::vector<std::uint8_t> int16s, int32s, float32s, float64s;
    for (std::int16_t v : {-32768, -1, 32767}) append_le_i16(int16s, v);
    for (std::int32_t v : {-2147483647 - 1, -5, 16777217}) append_le_i32(int32s, v);
    const std::vector<std::uint32_t> patterns = {0x7FC00000, 0x7FA00001, 0xFFC12345,
                                                 0x80000000, 0x00000001, 0xFF800000};
    for (auto pattern : patterns) append_le_u32(float32s, pattern);
    for (double v : {0.1, -2.5, 1e300, -1e-50}) append_le_f64(float64s, v);
    const Row rows[] = {
        {1, int16s, bits({-32768, -1, 32767})},
        {2, int32s, bits({-2147483648.0F, -5, 16777216})},
        {3,
         {0x21, 0x22, 0x24, 0x93, 0x1F, 0xBA, 0x60, 0xAA, 0x8A, 0x9A,  // worked example
          0x00, 0x00, 0x05, 0x00, 0xFF, 0xFF, 0x00, 0x80},             // 7 samples: 18 bytes
         bits({-55734, -71552, -87676, -103892, 5, 0, -32767})},
        {4, float32s, patterns},  // NaNs with payloads, negative zero, subnormal, -infinity
        {5, float64s, bits({0.1F, -2.5F, std::numeric_limits<float>::infinity(), -0.0F})},
    };
    // The samples go to output_samples, or to a destination that can hold them all (the
    // record being built) and then output_samples is left as it was.
    struct Where {
        const char* name;
        int destination_extra;  // destination size less n; no destination when below -1
        bool into_destination;
    };
    const Where places[] = {
        {"no destination", -2, false},
        {"destination one short", -1, false},
        {"destination just large enough", 0, true},
        {"destination larger", 3, true},
    };
    constexpr float untouched = 4321.0F;
    for (const auto& row : rows) {
        for (const Where& where : places) {
            SCOPED_TRACE(std::to_string(row.format_code) + ", " + where.name);
            Decoding decoding;
            const MemorySource data(row.bytes);
            const auto n = static_cast<std::int32_t>(row.expected.size());
            std::vector<float> destination;
            if (where.destination_extra >= -1) {
                destination.assign(static_cast<std::size_t>(n + where.destination_extra),
                                   untouched);
                decoding.arrays.destination = destination;
            }
            decoding.arrays.output_samples.assign(static_cast<std::size_t>(n), untouched);
            ASSERT_EQ(decoding.decode(data, n, row.format_code), DecodeResult::decoded);
            const std::span<const float> decoded = decoding.arrays.decoded;
            EXPECT_EQ(decoded.data(), where.into_destination
                                          ? destination.data()
                                          : decoding.arrays.output_samples.data());
            std::vector<std::uint32_t> got;
            for (float v : decoded) got.push_back(std::bit_cast<std::uint32_t>(v));
            EXPECT_EQ(got, row.expected);
            if (where.into_destination) {
                EXPECT_THAT(decoding.arrays.output_samples, ::testing::Each(untouched));
                for (std::size_t k = got.size(); k < destination.size(); ++k) {
                    EXPECT_EQ(destination[k], untouched);
                }
            } else {
                EXPECT_THAT(destination, ::testing::Each(untouched));
            }
        }
    }
}

// Resampling needs its input beside its output, so it never works in the destination.
TEST(decode_trace_samples, resampled_traces_go_to_output_samples_whatever_the_destination) {
    std::vector<std::uint8_t> bytes;
    for (int k = 0; k < 64; ++k) append_le_f32(bytes, 7.0F);
    const MemorySource data(bytes);
    for (const std::int16_t f : {2, 4}) {
        SCOPED_TRACE(f);
        Decoding decoding;
        std::vector<float> destination(64, 0.0F);
        decoding.arrays.destination = destination;
        ASSERT_EQ(decoding.decode(data, 64, 4, f), DecodeResult::decoded);
        EXPECT_EQ(decoding.arrays.decoded.data(), decoding.arrays.output_samples.data());
        EXPECT_EQ(decoding.arrays.decoded.size(), static_cast<std::size_t>(64 / f));
        EXPECT_THAT(decoding.arrays.decoded, ::testing::Each(7.0F));
        EXPECT_THAT(destination, ::testing::Each(0.0F));
    }
}

TEST(decode_trace_samples, unknown_formats_and_bad_counts_are_logged_and_skipped) {
    struct Row {
        std::uint16_t format_code;
        std::int32_t n;
        std::int16_t f;
        DecodeResult expected;
        std::string entry;  // after the path
    };
    const Row rows[] = {
        {0, 4, 1, DecodeResult::skipped, " Uknown data type  0\r\n"},
        {6, 4, 1, DecodeResult::skipped, " Uknown data type  6\r\n"},
        {255, -1, 1, DecodeResult::skipped, " Uknown data type  255\r\n"},
        {1, -1, 1, DecodeResult::skipped, " Bad sample count on trace  3 Skipping\r\n"},
        {5, std::numeric_limits<std::int32_t>::min(), 1, DecodeResult::skipped,
         " Bad sample count on trace  3 Skipping\r\n"},
        {1, 4, 3, DecodeResult::skipped,
         " Sample conversion failed on trace  3: resample factor not 1, 2 or 4 Skipping\r\n"},
        {3, 0, 4, DecodeResult::decoded, ""},  // empty, wherever its data block would start
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << "format " << row.format_code << " n=" << row.n);
        Decoding decoding;
        decoding.arrays.output_samples = {1, 2};
        const RecordingSource data(std::vector<std::uint8_t>(8, 0));
        EXPECT_EQ(decoding.decode(data, row.n, row.format_code, row.f, row.n == 0 ? 99 : 0),
                  row.expected);
        EXPECT_EQ(decoding.log.text(), row.entry.empty() ? "" : std::string(path) + row.entry);
        EXPECT_TRUE(decoding.ui.dialogs().empty());
        if (row.n < 0) {
            EXPECT_EQ(decoding.arrays.output_samples, (std::vector<float>{1, 2}));
        }
    }
}

// ---- check_sample_interval ----

struct IntervalRun {
    ScriptedUi ui;
    StatusLog log{ui};
    OutputTraceHeader header;
    ManualInterval manual;

    // word_59 as the translation left it; own_interval what the trace (or its file) stated.
    IntervalResult check(std::int16_t word_59, std::optional<std::int16_t> own_interval = {}) {
        header.word(59) = word_59;
        return check_sample_interval(header, manual, own_interval, ui, log);
    }
};

TEST(check_sample_interval, asks_once_per_run_and_the_answer_holds_for_traces_without_their_own) {
    IntervalRun run;
    EXPECT_EQ(run.check(125), IntervalResult::ready);  // usable: nothing asked
    EXPECT_EQ(run.header.word(59), 125);
    run.ui.queue(Reply::text("0.5"));
    ASSERT_EQ(run.check(0), IntervalResult::ready);
    EXPECT_EQ(run.header.word(59), 500);
    ASSERT_THAT(run.ui.titles(), ElementsAre("Missing Sampling Rate"));
    EXPECT_EQ(run.ui.dialogs()[0].text,
              "The sampling rate for this data is not defined properly in the header. Some "
              "value other than 0 is required. Enter the value for sample rate in "
              "MILLISECONDS. Cancel to abort conversion.");
    EXPECT_EQ(run.ui.dialogs()[0].proposed, " 1");
    // Later traces: those without an interval of their own get the operator's; one that
    // states its interval keeps it, also when it equals what an earlier trace left.
    struct Later {
        const char* name;
        std::int16_t word_59;
        std::optional<std::int16_t> own;
        std::int16_t expected;
    };
    const Later later[] = {
        {"nothing stated, word 59 at 0", 0, std::nullopt, 500},
        {"stated 0 or below", -4, -4, 500},
        {"inherited from an earlier trace's own interval", 250, std::nullopt, 500},
        {"stated by the trace", 250, 250, 250},
        {"stated, the same as what the previous trace left", 500, 500, 500},
        {"stated by a later file", 125, 125, 125},
        {"again nothing stated after a trace that stated one", 125, std::nullopt, 500},
    };
    for (const Later& row : later) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(run.check(row.word_59, row.own), IntervalResult::ready);
        EXPECT_EQ(run.header.word(59), row.expected);
    }
    EXPECT_EQ(run.ui.dialogs().size(), 1U);
    EXPECT_EQ(run.log.text(), " -*Manual entered sample rate value used.*- ");

    IntervalRun next_run;
    next_run.ui.queue(Reply::text(""));  // Cancel
    EXPECT_EQ(next_run.check(0), IntervalResult::run_ended);
    ASSERT_EQ(next_run.ui.dialogs().size(), 1U);
    EXPECT_EQ(next_run.ui.dialogs()[0].proposed, " 1");
    EXPECT_EQ(next_run.log.text(), "");
}

TEST(check_sample_interval, answers_are_milliseconds_giving_1_to_32767_microseconds) {
    const std::pair<const char*, std::int16_t> rows[] = {
        {" 1", 1000},  {"32.767", 32767}, {"2.5E-1", 250}, {"0.0006", 1}, {"12abc", 12000},
        {"0", 0},      {"-1", 0},         {"abc", 0},      {"32.768", 0}, {"0.0004", 0},
        {"0.0005", 0}, {"1e40", 0},       {"-1e400", 0},   {".", 0},
    };
    for (const auto& [answer, word_59] : rows) {
        SCOPED_TRACE(answer);
        IntervalRun run;
        run.ui.queue(Reply::text(answer));
        if (word_59 > 0) {
            EXPECT_EQ(run.check(0), IntervalResult::ready);
            EXPECT_EQ(run.header.word(59), word_59);
            continue;
        }
        run.ui.queue(Reply::button(Answer::ok));
        EXPECT_EQ(run.check(0), IntervalResult::run_ended);
        ASSERT_THAT(run.ui.titles(), ElementsAre("Missing Sampling Rate", "Invalid Sampling Rate"));
        EXPECT_EQ(
            run.ui.dialogs()[1].text,
            "The sampling rate value is invalid. Can not proceed. (" + std::string(answer) + ")");
        EXPECT_EQ(run.ui.dialogs()[1].icon, Icon::none);
        EXPECT_FALSE(run.manual.manual_interval_in_force);
        EXPECT_EQ(run.log.text(), "");
    }
}

// ---- The real recordings against their reference values ----

// Keeps each trace's DESCALING_FACTOR, which the reference values are multiplied by.
class DescalingFactor final : public HeaderStringReceiver {
public:
    Result header_string(std::string_view s, OutputTraceHeader&, double&) override {
        if (s.starts_with("DESCALING_FACTOR")) value = read_number(s.substr(16));
        return Result::go_on;
    }
    double value = 1.0;
};

std::vector<double> read_reference(const std::string& file_name) {
    std::ifstream in(file_name);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    std::vector<double> values;
    for (const char* p = text.data(); p < text.data() + text.size();) {
        double value = 0.0;
        const auto [end, error] = std::from_chars(p, text.data() + text.size(), value);
        if (error == std::errc{}) values.push_back(value);
        p = error == std::errc{} ? end : p + 1;  // blanks and line breaks
    }
    return values;
}

TEST(decode_trace_samples, real_recordings_match_their_reference_values) {
    // Each reference column t holds trace t's samples times its DESCALING_FACTOR (and, for
    // the 32-bit recording, times 1000).
    const std::tuple<const char*, std::uint16_t, double> rows[] = {
        {"obspy/20180307_031245000.0", 3, 1.0},
        {"obspy/20130107_103041000.CET.3c.cont.0", 2, 1000.0},
    };
    for (const auto& [name, format_code, unit] : rows) {
        SCOPED_TRACE(name);
        const std::string recording = testing::shared_sample(std::string(name) + ".seg2");
        if (recording.empty()) GTEST_SKIP() << "the shared SEG-2 recordings are not present";
        const auto reference =
            read_reference(testing::shared_sample(std::string(name) + ".reference.txt"));
        FileSource file;
        ASSERT_FALSE(file.open(recording));
        DescalingFactor descaling;
        OutputTraceHeader header;
        double scale = 1.0;
        const HeaderStringSink sink{descaling, header, scale};
        FileDescriptor descriptor;
        ASSERT_EQ(read_file_descriptor(file, descriptor, sink), FileDescriptorResult::read);
        const auto traces = static_cast<std::size_t>(descriptor.trace_count);
        Decoding decoding;
        for (std::size_t t = 1; t <= traces; ++t) {
            SCOPED_TRACE(t);
            TraceDescriptor trace;
            ASSERT_EQ(read_trace_descriptor(file, descriptor, static_cast<int>(t), trace, sink),
                      TraceDescriptorResult::read);
            ASSERT_EQ(trace.format_code, format_code);
            ASSERT_EQ(reference.size(), traces * static_cast<std::size_t>(trace.sample_count));
            ASSERT_EQ(
                decoding.decode(file, trace.sample_count, trace.format_code, 1, trace.data_offset),
                DecodeResult::decoded);
            for (std::size_t i = 0; i < decoding.arrays.output_samples.size(); ++i) {
                const double expected = reference[i * traces + t - 1];
                const double got = decoding.arrays.output_samples[i] * descaling.value * unit;
                ASSERT_LE(std::fabs(got - expected), 1e-6 * std::fabs(expected))
                    << "sample " << i + 1 << ": " << got << " against " << expected;
            }
        }
    }
}

}  // namespace
}  // namespace quarvent
