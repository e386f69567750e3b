#include "engine/trace_record.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <limits>

#include "tests/unit/engine/engine_test_support.hpp"

namespace quarvent::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

Reply ssn(std::string answer) { return Reply::text(std::move(answer)); }

std::vector<int> word_of_records(const QexFile& file, int word) {
    std::vector<int> values;
    for (const QexRecord& r : file.records) values.push_back(r.words[word]);
    return values;
}

std::size_t occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

TEST(trace_record, engine_words_for_a_file_of_24_traces) {
    for (const bool last_skipped : {false, true}) {
        SCOPED_TRACE(last_skipped ? "last trace skipped" : "all traces written");
        ScriptedRun run;
        Seg2Builder file = float_file(std::vector<int>(24, 3));
        file.file_string("W3=99").file_string("W4=99").file_string("W60=99").file_string("W15=5");
        if (last_skipped) file.traces[23].format_code = 9;
        run.add_input("data.sgx", file);
        run.ui.queue(ssn("7"));
        ASSERT_EQ(run.go(), RunOutcome::completed);
        const QexFile out = run.output();
        ASSERT_EQ(out.records.size(), last_skipped ? 23u : 24u);
        for (std::size_t i = 0; i < out.records.size(); ++i) {
            const QexRecord& r = out.records[i];
            SCOPED_TRACE("record " + std::to_string(i + 1));
            EXPECT_EQ(r.words[14], static_cast<int>(i + 1));
            EXPECT_EQ(r.words[88], !last_skipped && i == 23 ? 1 : 0);
            EXPECT_EQ(r.words[2], 24);
            EXPECT_EQ(r.words[3], 6);
            EXPECT_EQ(r.words[4], 8);
            EXPECT_EQ(r.words[60], 21930);
            EXPECT_EQ(r.words[15], 5);  // set by the strings: kept
            EXPECT_EQ(r.words[6], 7);
            EXPECT_EQ(r.words[92], 7);
            EXPECT_EQ(r.words[58], 3);
            EXPECT_EQ(r.words[59], 1000);
        }
    }
}

TEST(trace_record, word_8_defaulted_then_cleared) {
    ScriptedRun run;
    Seg2Builder file;
    file.add_trace(Seg2Trace::float32({1}).with_string("W59=1000"));
    file.add_trace(Seg2Trace::float32({1}).with_string("W8=7"));
    file.add_trace(Seg2Trace::float32({1}));
    file.add_trace(Seg2Trace::float32({1}).with_string("W15=0"));
    run.add_input("a.sgx", file);
    run.ui.queue(ssn("1"));
    ASSERT_EQ(run.go(), RunOutcome::completed);
    const QexFile out = run.output();
    EXPECT_THAT(word_of_records(out, 8), ElementsAre(1, 7, 7, 7));
    EXPECT_THAT(word_of_records(out, 15), ElementsAre(1, 1, 1, 1));
    EXPECT_EQ(occurrences(run.log.text(), " Bad trace #-corrected "), 1u);

    // Word 8 is 0 again after a defaulted record, so the next trace is defaulted too.
    ScriptedRun again;
    Seg2Builder plain;
    for (int i = 0; i < 3; ++i) plain.add_trace(Seg2Trace::float32({1}).with_string("W59=1000"));
    again.add_input("a.sgx", plain);
    again.ui.queue(ssn("1"));
    ASSERT_EQ(again.go(), RunOutcome::completed);
    EXPECT_THAT(word_of_records(again.output(), 8), ElementsAre(1, 2, 3));
    EXPECT_EQ(occurrences(again.log.text(), " Bad trace #-corrected "), 3u);
}

// Sample counts, intervals and record lengths, through a whole run of one float trace.
TEST(trace_record, output_count_and_interval) {
    struct Case {
        const char* name;
        int samples;
        std::int16_t factor;
        int interval_us;
        float record_end_ms;
        int count;  // -1: the run ends with expected_title
        int word_59;
        const char* expected_title;
    };
    const std::vector<Case> cases = {
        {"1000 samples at factor 2", 1000, 2, 500, 0, 500, 1000, ""},
        {"101 at factor 2: 50.5 rounds to 50", 101, 2, 500, 0, 50, 1000, ""},
        {"103 at factor 2: 51.5 rounds to 52", 103, 2, 500, 0, 52, 1000, ""},
        {"250 ms at 1000 us", 1000, 1, 1000, 250, 250, 1000, ""},
        {"2000 ms capped to the 1000 samples", 1000, 1, 1000, 2000, 1000, 1000, ""},
        {"negative record length keeps the length", 1000, 1, 1000, -5, 1000, 1000, ""},
        {"32768 floats at factor 1", 32768, 1, 500, 0, -1, 0, "Can't accomdate Sample Length"},
        {"32768 floats at factor 2", 32768, 2, 500, 0, 16384, 1000, ""},
        {"32768 floats shortened to 1000 ms", 32768, 1, 500, 1000, 2000, 500, ""},
        {"32768 floats, negative record length", 32768, 1, 500, -1000, -1, 0,
         "Can't accomdate Sample Length"},
        {"interval times factor beyond 32767", 100, 4, 10000, 0, -1, 0,
         "Sample Interval Too Large"},
        {"interval times factor at 32767", 100, 1, 32767, 0, 100, 32767, ""},
        {"too long and interval times factor too large: the length refusal first", 65535, 2, 20000,
         0, -1, 0, "Can't accomdate Sample Length"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedRun run;
        run.request.options.resample_factor = c.factor;
        run.request.options.record_end_ms = c.record_end_ms;
        Seg2Builder file = float_file({});
        file.add_trace(
            Seg2Trace::float32(std::vector<float>(static_cast<std::size_t>(c.samples), 1.0F))
                .with_string("W59=" + std::to_string(c.interval_us)));
        run.add_input("a.sgx", file);
        run.ui.queue(ssn("1"));
        if (c.count < 0) run.ui.queue(Reply::button(Answer::ok));
        const RunOutcome outcome = run.go();
        const QexFile out = run.output();
        if (c.count < 0) {
            EXPECT_EQ(outcome, RunOutcome::stopped);
            EXPECT_EQ(run.ui.titles().back(), c.expected_title);
            EXPECT_EQ(out.records.size(), 0u);
            continue;
        }
        EXPECT_EQ(outcome, RunOutcome::completed);
        ASSERT_EQ(out.records.size(), 1u);
        EXPECT_EQ(out.records[0].words[58], c.count);
        EXPECT_EQ(out.records[0].samples.size(), static_cast<std::size_t>(c.count));
        EXPECT_EQ(out.records[0].words[59], c.word_59);
        EXPECT_EQ(std::filesystem::file_size(run.request.output_file_name), 240u + 4u * c.count);
    }
}

TEST(trace_record, refusal_texts) {
    ScriptedUi ui{Reply::button(Answer::ok), Reply::button(Answer::ok)};
    OutputTraceHeader header;
    TraceRecordState state;
    ConversionOptions options;
    header.word(59) = 500;
    EXPECT_EQ(finish_trace_header(header, {1, 1, 32768, "/d/a.sgx", 1, {}}, options, state, ui),
              FinishResult::run_ended);
    header.word(59) = 0;
    EXPECT_EQ(finish_trace_header(header, {1, 1, 100, "/d/a.sgx", 1, {}}, options, state, ui),
              FinishResult::run_ended);
    ASSERT_EQ(ui.dialogs().size(), 2u);
    EXPECT_EQ(ui.dialogs()[0].text,
              "The number of samples and resampling option choosen are atempting to create a file "
              "with more than 32767 samples/trace.\r\nNumber samples =  32768 resample factor  1");
    EXPECT_EQ(ui.dialogs()[0].icon, Icon::none);
    EXPECT_EQ(ui.dialogs()[1].title, "Sample Interval Too Large");
    EXPECT_THAT(ui.dialogs()[1].text, HasSubstr("Sample interval =  0 resample factor  1"));
}

// The length is checked before the interval is multiplied; an interval of 0 is never divided
// by.
TEST(trace_record, length_refusal_comes_before_the_interval_refusal) {
    struct Case {
        const char* name;
        std::int32_t samples;
        std::int16_t factor;
        std::int16_t interval_us;
        float record_end_ms;
        const char* title;  // empty: accepted
    };
    const std::vector<Case> cases = {
        {"too long, interval too large", 65535, 2, 20000, 0, "Can't accomdate Sample Length"},
        {"fits, interval too large", 65534, 2, 20000, 0, "Sample Interval Too Large"},
        {"too long, shortened, interval too large", 65535, 2, 20000, 100,
         "Sample Interval Too Large"},
        {"too long, shortened, interval 0", 40000, 1, 0, 1000, "Sample Interval Too Large"},
        {"too long, interval 0", 40000, 1, 0, 0, "Can't accomdate Sample Length"},
        {"fits, interval 0", 100, 1, 0, 1000, "Sample Interval Too Large"},
        {"too long, shortened, interval usable", 40000, 1, 500, 1000, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedUi ui;
        if (*c.title != '\0') ui.queue(Reply::button(Answer::ok));
        OutputTraceHeader header;
        header.word(59) = c.interval_us;
        TraceRecordState state;
        ConversionOptions options;
        options.resample_factor = c.factor;
        options.record_end_ms = c.record_end_ms;
        const FinishResult result =
            finish_trace_header(header, {1, 1, c.samples, "/d/a.sgx", 1, {}}, options, state, ui);
        if (*c.title == '\0') {
            EXPECT_EQ(result, FinishResult::ready);
            EXPECT_TRUE(ui.dialogs().empty());
            continue;
        }
        EXPECT_EQ(result, FinishResult::run_ended);
        EXPECT_EQ(ui.titles(), std::vector<std::string>{c.title});
        EXPECT_EQ(header.word(59), c.interval_us);  // nothing of the trace was set
        EXPECT_EQ(header.word(58), 0);
    }
}

// At factor 2 a trace that sets no interval inherits the previous trace's own interval,
// not the multiplied one.
TEST(trace_record, interval_is_multiplied_for_the_record_only) {
    ScriptedRun run;
    run.request.options.resample_factor = 2;
    Seg2Builder file;
    file.file_string("W8=1");
    file.add_trace(Seg2Trace::float32({1, 2}).with_string("W59=250"));
    file.add_trace(Seg2Trace::float32({1, 2}));
    file.add_trace(Seg2Trace::float32({1, 2}));
    file.add_trace(Seg2Trace::float32({1, 2}).with_string("W59=125"));
    run.add_input("a.sgx", file);
    run.ui.queue(ssn("1"));
    ASSERT_EQ(run.go(), RunOutcome::completed);
    EXPECT_THAT(word_of_records(run.output(), 59), ElementsAre(500, 500, 500, 250));
}

TEST(trace_record, scale_factor_applies_to_samples_only) {
    struct Case {
        const char* scale;
        std::vector<float> samples;
        std::vector<float> written;
    };
    constexpr float top = std::numeric_limits<float>::max();
    const std::vector<Case> cases = {
        {"1", {1.5F, -2.0F, 0.25F}, {1.5F, -2.0F, 0.25F}},
        {"2.5", {1.5F, -2.0F, 0.1F}, {3.75F, -5.0F, static_cast<float>(0.1F * 2.5)}},
        {"1e38", {100.0F, -100.0F, 0.0F}, {top, -top, 0.0F}},
    };
    std::vector<std::int16_t> first_header;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scale);
        ScriptedRun run;
        Seg2Builder file = float_file({});
        file.add_trace(Seg2Trace::float32(c.samples)
                           .with_string("W59=1000")
                           .with_string(std::string("SCALE ") + c.scale));
        run.add_input("a.sgx", file);
        run.ui.queue(ssn("1"));
        ASSERT_EQ(run.go(), RunOutcome::completed);
        const QexFile out = run.output();
        ASSERT_EQ(out.records.size(), 1u);
        EXPECT_EQ(out.records[0].samples, c.written);
        const std::vector<std::int16_t> header(out.records[0].words, out.records[0].words + 121);
        if (first_header.empty()) first_header = header;
        EXPECT_EQ(header, first_header);
    }
}

// Every sample, of a record long enough to be scaled several at a time, against the product
// held within the float range before it is narrowed; compared bit for bit.
TEST(trace_record, scaled_samples_beyond_the_float_range_are_held_at_the_largest_float) {
    constexpr float top = std::numeric_limits<float>::max();
    constexpr float infinity = std::numeric_limits<float>::infinity();
    const float edge[] = {top,    -top,   infinity,   -infinity, std::nanf(""), 3e38F,
                          -3e38F, 1e-45F, 0.0F,       -0.0F,     1.5F,          -2.0F,
                          1e30F,  1.0F,   top / 2.0F, 2e38F,     -2e38F};
    std::vector<float> samples;
    for (int copies = 0; copies < 3; ++copies) samples.insert(samples.end(), edge, std::end(edge));

    const auto held = [](float sample, double factor) {
        const double largest = top;
        double product = static_cast<double>(sample) * factor;
        if (product < -largest) product = -largest;
        if (product > largest) product = largest;
        return static_cast<float>(product);  // NaN stays NaN
    };
    for (const char* scale :
         {"1.0000000001", "-1.0000000001", "1.00000003", "2", "-2", "0.5", "1e300", "-1e300"}) {
        SCOPED_TRACE(scale);
        ScriptedRun run;
        Seg2Builder file = float_file({});
        file.add_trace(Seg2Trace::float32(samples)
                           .with_string("W59=1000")
                           .with_string(std::string("SCALE ") + scale));
        run.add_input("a.sgx", file);
        run.ui.queue(ssn("1"));
        ASSERT_EQ(run.go(), RunOutcome::completed);
        const QexFile out = run.output();
        ASSERT_EQ(out.records.size(), 1u);
        ASSERT_EQ(out.records[0].samples.size(), samples.size());
        for (std::size_t k = 0; k < samples.size(); ++k) {
            const float expected = held(samples[k], std::stod(scale));
            EXPECT_EQ(std::bit_cast<std::uint32_t>(out.records[0].samples[k]),
                      std::bit_cast<std::uint32_t>(expected))
                << "sample " << k << ": " << samples[k];
        }
    }
}

TEST(trace_record, file_number_from_name) {
    struct Case {
        const char* name;
        std::optional<std::int16_t> number;
    };
    const std::vector<Case> cases = {
        {"123.sg2", 123},     {"32767.sg2", std::nullopt},
        {"32766.sg2", 32766}, {"data.sgx", std::nullopt},
        {"shot0057.dat", 57}, {"L3_0005.sg2", 3},
        {"line.sg2", 2},      {"a1e9.sg2", std::nullopt},
        {"v2.5.sg2", 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(file_number_from_name(c.name), c.number);
    }

    ScriptedRun run;
    run.add_input("123.sg2", float_file({1}));
    run.add_input("32767.sg2", float_file({1}));
    run.ui.queue(ssn("7"));
    ASSERT_EQ(run.go(), RunOutcome::completed);
    EXPECT_THAT(word_of_records(run.output(), 6), ElementsAre(123, 8));
    EXPECT_THAT(word_of_records(run.output(), 92), ElementsAre(7, 8));
}

TEST(trace_record, appends_after_existing_records) {
    ScriptedRun run;
    run.add_input("a.sgx", float_file({5, 6}));
    run.ui.queue(ssn("1"));
    ASSERT_EQ(run.go(), RunOutcome::completed);
    const std::vector<std::uint8_t> before = read_file(run.request.output_file_name);

    run.ui.queue(Reply::button(Answer::ok));  // Appending Data
    run.ui.queue(ssn("2"));
    ASSERT_EQ(run.go(), RunOutcome::completed);
    const std::vector<std::uint8_t> after = read_file(run.request.output_file_name);
    ASSERT_EQ(after.size(), 2 * before.size());
    EXPECT_TRUE(std::equal(before.begin(), before.end(), after.begin()));
    EXPECT_THAT(word_of_records(run.output(), 92), ElementsAre(1, 1, 2, 2));
}

// A disk that takes nothing more: every write fails as a full one does. (A device such as
// /dev/full is no output: the run refuses anything but a regular file.)
ssize_t full_disk_pwrite(int, const void*, std::size_t, off_t) {
    errno = ENOSPC;
    return -1;
}

TEST(trace_record, write_failure_on_a_full_device) {
    ScriptedRun run;
    testing::write_file(run.request.output_file_name, {});
    run.request.output_calls.pwrite = full_disk_pwrite;
    run.request.options.delete_inputs = true;
    const std::string input = run.add_input("a.sgx", float_file({4}));
    run.ui.queue(Reply::button(Answer::ok));   // Appending Data: the output exists
    run.ui.queue(Reply::button(Answer::yes));  // deletion
    run.ui.queue(ssn("1"));
    run.ui.queue(Reply::button(Answer::ok));
    EXPECT_EQ(run.go(), RunOutcome::stopped);
    const Dialog& box = run.ui.dialogs().back();
    EXPECT_EQ(box.title, "Output Write Error");
    EXPECT_EQ(box.icon, Icon::critical);
    EXPECT_THAT(box.text, HasSubstr(run.request.output_file_name));
    EXPECT_THAT(box.text, HasSubstr("No space left on device"));
    EXPECT_TRUE(std::filesystem::exists(input));
}

// A port for a child process: answers every box with OK or Yes and the prompt with "1",
// and remembers the last box.
class ChildPort final : public WindowlessPort {
public:
    MessageBoxRequest last;
    Answer message_box(const MessageBoxRequest& request) override {
        last = request;
        return request.buttons == Buttons::yes_no ? Answer::yes : Answer::ok;
    }
    std::string input_prompt(const PromptRequest&) override { return "1"; }
};

// A file size limit met part way through the third record: the output keeps exactly two
// records, the run stops with the reason, and the input is not deleted.
TEST(trace_record, write_failure_at_a_file_size_limit) {
    TempDir dir;
    const std::string input = write_seg2(dir, "a.sgx", float_file({100, 100, 100, 100}));
    const std::string output = dir.file("out.qex");
    const std::string report = dir.file("report.txt");
    constexpr rlim_t record_bytes = 240 + 400;

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{2 * record_bytes + record_bytes / 2,
                           2 * record_bytes + record_bytes / 2};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ChildPort port;
        StatusLog log(port);
        TestStrings strings;
        RunRequest request{{input}, output, {1, true, 0.0F}, {}};
        const RunOutcome outcome = convert_run(request, port, log, strings);
        // The limit applies to the report too; it is far below it.
        std::ofstream(report) << port.last.title << '\n' << port.last.text;
        ::_exit(outcome == RunOutcome::stopped ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "the run did not stop";
    EXPECT_EQ(std::filesystem::file_size(output), 2 * record_bytes);
    const QexFile out = read_qex(output);
    EXPECT_TRUE(out.whole);
    EXPECT_EQ(out.records.size(), 2u);
    EXPECT_TRUE(std::filesystem::exists(input));
    std::ifstream in(report);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    EXPECT_THAT(text, ::testing::StartsWith("Output Write Error\n"));
    EXPECT_THAT(text, HasSubstr(output));
    EXPECT_THAT(text, HasSubstr("File too large"));
}

}  // namespace
}  // namespace quarvent::testing
