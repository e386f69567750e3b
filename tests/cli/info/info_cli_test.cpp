// quarvent-info as a program: what it prints, its JSON, its exit status.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QImage>
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>

#include "common/bytes.hpp"
#include "tests/support/program_run.hpp"
#include "tests/support/seg2_builder.hpp"
#include "tests/support/temp_dir.hpp"

namespace quarvent::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;

using Result = ProgramResult;

Result run_info(const std::vector<std::string>& args, const TempDir& cwd) {
    return run_program(QUARVENT_INFO_PROGRAM, args, cwd);
}

// A QEX record with the given words (others 0) and count samples k + 0.25.
std::vector<std::uint8_t> qex_record(std::map<int, std::int16_t> words, int count) {
    words[58] = static_cast<std::int16_t>(count);
    std::vector<std::uint8_t> bytes;
    for (int n = 1; n <= 120; ++n) append_le_i16(bytes, words.contains(n) ? words[n] : 0);
    for (int k = 0; k < count; ++k) append_le_f32(bytes, static_cast<float>(k) + 0.25F);
    return bytes;
}

// Three records of SSN 7 and 8 on channels 1 to 3.
std::vector<std::uint8_t> qex_file() {
    std::vector<std::uint8_t> bytes;
    for (int r = 1; r <= 3; ++r) {
        const auto record =
            qex_record({{5, 1}, {8, static_cast<std::int16_t>(r)}, {59, 250}, {92, r < 3 ? 7 : 8}},
                       r < 3 ? 4 : 2);
        bytes.insert(bytes.end(), record.begin(), record.end());
    }
    return bytes;
}

Seg2Builder seg2_file() {
    Seg2Builder file;
    file.file_string("ACQUISITION_DATE 07/MAR/2018");
    for (int t = 1; t <= 3; ++t) {
        file.add_trace(Seg2Trace::int16({1, -2, 3, -4})
                           .with_string("CHANNEL_NUMBER " + std::to_string(t + 10))
                           .with_string("SAMPLE_INTERVAL 0.00025"));
    }
    return file;
}

TEST(info_cli, summary_and_words_golden_text) {
    TempDir dir;
    write_file(dir.file("a.qex"), qex_file());
    std::vector<std::uint8_t> cut = qex_file();
    cut.resize(cut.size() - 3);
    write_file(dir.file("cut.qex"), cut);
    write_file(dir.file("a.sg2"), seg2_file().build());
    Seg2Builder damaged = seg2_file();
    damaged.traces[1].block_id = 0x1234;
    damaged.traces[2].format_code = 1;
    damaged.traces[2].sample_count = 9;  // runs past the end
    write_file(dir.file("bad.sg2"), damaged.build());
    write_file(dir.file("other.txt"), {'h', 'i'});
    write_file(dir.file("empty.qex"), {});
    Seg2Builder scaled = seg2_file();
    scaled.traces[1].strings.push_back("DESCALING_FACTOR 0.5");
    write_file(dir.file("scaled.sg2"), scaled.build());

    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out;
    };
    const std::string keywords = QUARVENT_KEYWORD_FILE;
    const std::vector<Case> cases = {
        {{"a.qex"},
         0,
         "a.qex: QEX, 3 records, ends in whole records\n"
         "  samples per record: 2 (1), 4 (2)\n"
         "  interval (us, word 59): 250\n"
         "  SSN (word 92): 7 to 8 (2 values), first 7, last 8\n"
         "  channels (word 8): 1 to 3 (3 values)\n"},
        {{"empty.qex"}, 1, "empty.qex: empty\n"},
        {{"cut.qex"},
         1,
         "cut.qex: QEX, 2 records, DAMAGED: record 3 at byte 512: partial record, 245 of 248 "
         "bytes present (word 58 = 2)\n"
         "  samples per record: 4\n"
         "  interval (us, word 59): 250\n"
         "  SSN (word 92): 7, first 7, last 7\n"
         "  channels (word 8): 1 to 2 (2 values)\n"},
        {{"a.sg2"},
         0,
         "a.sg2: SEG-2 revision 1, 3 traces, read whole\n"
         "  formats: 16-bit integer (code 1)\n"
         "  samples per trace: 4\n"
         "  interval (us): 250\n"},
        {{"bad.sg2", "other.txt"},
         1,
         "bad.sg2: SEG-2 revision 1, 3 traces, DAMAGED\n"
         "  formats: 16-bit integer (code 1)\n"
         "  samples per trace: 4 (1), 9 (1)\n"
         "  interval (us): 250\n"
         "  damaged: bad.sg2 BAD trace Id on trace  2 Skipping\n"
         "  damaged: bad.sg2 truncated trace 3 Skipping\n"
         "other.txt: neither SEG-2 nor QEX (as QEX: it is shorter than one record header (2 "
         "of 240 bytes))\n"},
        {{"--words", "5,8,58,59,92", "a.qex"},
         0,
         "a.qex: QEX, 3 records, ends in whole records\n"
         "  samples per record: 2 (1), 4 (2)\n"
         "  interval (us, word 59): 250\n"
         "  SSN (word 92): 7 to 8 (2 values), first 7, last 8\n"
         "  channels (word 8): 1 to 3 (3 values)\n"
         " record     w5     w8    w58    w59    w92\n"
         "      1      1      1      4    250      7\n"
         "      2      1      2      4    250      7\n"
         "      3      1      3      2    250      8\n"},
        {{"--words", "8,59", "-k", keywords, "a.sg2"},
         0,
         "a.sg2: SEG-2 revision 1, 3 traces, read whole\n"
         "  formats: 16-bit integer (code 1)\n"
         "  samples per trace: 4\n"
         "  interval (us): 250\n"
         "  words as if this file were converted alone: in a run of several files, a word it "
         "does not set keeps the value an earlier file left\n"
         "  trace     w8    w59\n"
         "      1     11    250\n"
         "      2     12    250\n"
         "      3     13    250\n"},
        {{"--strings", "a.sg2", "a.qex"},
         0,
         "a.sg2: SEG-2 revision 1, 3 traces, read whole\n"
         "  formats: 16-bit integer (code 1)\n"
         "  samples per trace: 4\n"
         "  interval (us): 250\n"
         "a.sg2: file strings\n"
         "  ACQUISITION_DATE 07/MAR/2018\n"
         "trace 1\n  CHANNEL_NUMBER 11\n  SAMPLE_INTERVAL 0.00025\n"
         "trace 2\n  CHANNEL_NUMBER 12\n  SAMPLE_INTERVAL 0.00025\n"
         "trace 3\n  CHANNEL_NUMBER 13\n  SAMPLE_INTERVAL 0.00025\n"
         "a.qex: QEX, 3 records, ends in whole records\n"
         "  samples per record: 2 (1), 4 (2)\n"
         "  interval (us, word 59): 250\n"
         "  SSN (word 92): 7 to 8 (2 values), first 7, last 8\n"
         "  channels (word 8): 1 to 3 (3 values)\n"},
        {{"--samples", "3", "a.qex"}, 0, "0.25\n1.25\n"},
        // Raw and scaled: as the file stores them, and as the output holds them.
        {{"--samples", "1", "a.sg2"}, 0, "1\t1\n-2\t-2\n3\t3\n-4\t-4\n"},
        {{"--samples", "2", "scaled.sg2"}, 0, "1\t0.5\n-2\t-1\n3\t1.5\n-4\t-2\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const Result r = run_info(c.args, dir);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, c.out);
        EXPECT_THAT(r.err, IsEmpty());
    }
}

TEST(info_cli, usage_errors_and_missing_traces) {
    TempDir dir;
    write_file(dir.file("a.qex"), qex_file());
    const std::vector<std::vector<std::string>> usage = {
        {},
        {"--words", "5,x", "a.qex"},
        {"--words", "121", "a.qex"},
        {"--words", "", "a.qex"},
        {"--samples", "0", "a.qex"},
        {"--bogus", "a.qex"},
        {"-k", "no-such-keywords", "a.qex"},
    };
    for (const auto& args : usage) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const Result r = run_info(args, dir);
        EXPECT_EQ(r.status, 2);
        EXPECT_THAT(r.err, ::testing::Not(IsEmpty()));
    }
    const Result missing = run_info({"--samples", "4", "a.qex"}, dir);
    EXPECT_EQ(missing.status, 1);
    EXPECT_THAT(missing.err, HasSubstr("a.qex holds no readable trace 4"));
    const Result absent = run_info({"nothing.qex"}, dir);
    EXPECT_EQ(absent.status, 1);
    EXPECT_EQ(absent.out, "nothing.qex: cannot be read: No such file or directory\n");
    const Result version = run_info({"--version"}, dir);
    EXPECT_EQ(version.status, 0);
    EXPECT_THAT(version.out, HasSubstr("quarvent-info " QUARVENT_VERSION_TEXT));
}

// The width and height a PNG file's header gives, or 0 x 0 when it is not a PNG file.
std::pair<std::uint32_t, std::uint32_t> png_size(const std::string& path) {
    const std::string bytes = file_text(path);
    if (bytes.size() < 24 || bytes.compare(0, 8, "\x89PNG\r\n\x1a\n") != 0) return {0, 0};
    const auto big_endian = [&](std::size_t at) {
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            value = value << 8 | static_cast<unsigned char>(bytes[at + i]);
        }
        return value;
    };
    return {big_endian(16), big_endian(20)};
}

// True when the picture ends in a caption strip: a light grey band over its bottom rows.
bool caption_strip_in(const std::string& path) {
    const QImage image(QString::fromStdString(path));
    if (image.isNull()) return false;
    const int row = image.height() - 4;
    int band = 0;
    for (int x = 0; x < image.width(); ++x) band += image.pixel(x, row) == qRgb(238, 238, 238);
    return band > image.width() / 2;
}

TEST(info_cli, plot_draws_a_picture_of_the_chosen_traces) {
    TempDir dir;
    write_file(dir.file("a.qex"), qex_file());
    write_file(dir.file("b.sg2"), seg2_file().build());
    struct Row {
        std::vector<std::string> args;
        int status;
        std::uint32_t width = 0;  // 0: no picture may be written
        std::uint32_t height = 0;
    };
    const Row rows[] = {
        {{"--plot", "p.png", "a.qex"}, 0, 1280, 900},
        {{"--plot", "p.png", "--size", "400x300", "--mode", "density", "--records", "2-3", "a.qex"},
         0,
         400,
         300},
        {{"--plot=p.png", "--records", "2", "--size", "640X480", "b.sg2"}, 0, 640, 480},
        {{"--plot", "p.png", "--records", "2-", "b.sg2"}, 0, 1280, 900},
        {{"--plot", "p.png", "--records", "9", "a.qex"}, 1},
        {{"--plot", "p.png", "--records", "3-1", "a.qex"}, 2},
        {{"--plot", "p.png", "--records", "x", "a.qex"}, 2},
        {{"--plot", "p.png", "--size", "10x10", "a.qex"}, 2},
        {{"--plot", "p.png", "--size", "400x300x2", "a.qex"}, 2},
        {{"--plot", "p.png", "--mode", "colour", "a.qex"}, 2},
        {{"--plot", "p.png", "a.qex", "b.sg2"}, 2},
        {{"--plot", "", "a.qex"}, 2},
        {{"--plot", "no-such-folder/p.png", "a.qex"}, 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.args));
        std::filesystem::remove(dir.file("p.png"));
        const Result r = run_info(row.args, dir);
        EXPECT_EQ(r.status, row.status) << r.err;
        if (row.width == 0) {
            EXPECT_FALSE(std::filesystem::exists(dir.file("p.png")));
            EXPECT_THAT(r.err, ::testing::Not(IsEmpty()));
        } else {
            EXPECT_EQ(png_size(dir.file("p.png")), std::make_pair(row.width, row.height));
        }
    }
}

TEST(info_cli, first_sample_time_follows_the_recording_delay) {
    TempDir dir;
    write_qex_output(dir.file("late.qex"), {.records = 48, .samples = 10, .delay_ms = -500});
    write_qex_output(dir.file("prompt.qex"), {.records = 3, .samples = 10});
    std::vector<std::uint8_t> mixed = read_file(dir.file("late.qex"));
    const std::vector<std::uint8_t> more = read_file(dir.file("prompt.qex"));
    mixed.insert(mixed.end(), more.begin(), more.end());
    write_file(dir.file("mixed.qex"), mixed);
    Seg2Builder delayed = seg2_file();
    delayed.file_string("DELAY -0.25");
    write_file(dir.file("d.sg2"), delayed.build());
    const std::string keywords = QUARVENT_KEYWORD_FILE;
    struct Case {
        std::vector<std::string> args;
        std::string line;     // in the summary; empty: no such line
        nlohmann::json json;  // first_sample_ms
    };
    const Case cases[] = {
        {{"late.qex"}, "  first sample (ms, word 55): -500\n", -500},
        {{"prompt.qex"}, "", 0},
        {{"mixed.qex"},
         "  first sample (ms, word 55): -500 for records 1-48, 0 for records 49-51\n",
         nlohmann::json::array({{{"first", 48 - 47}, {"last", 48}, {"ms", -500}},
                                {{"first", 49}, {"last", 51}, {"ms", 0}}})},
        // A SEG-2 recording's delay comes through the keyword file (DELAY in s to word 55).
        {{"-k", keywords, "d.sg2"}, "  first sample (ms, word 55): -250\n", -250},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const Result text = run_info(c.args, dir);
        EXPECT_EQ(text.status, 0) << text.err;
        if (c.line.empty()) {
            EXPECT_THAT(text.out, ::testing::Not(HasSubstr("first sample")));
        } else {
            EXPECT_THAT(text.out, HasSubstr(c.line));
        }
        std::vector<std::string> json_args = c.args;
        json_args.insert(json_args.begin(), "--json");
        const Result json = run_info(json_args, dir);
        EXPECT_EQ(nlohmann::json::parse(json.out)["files"][0].at("first_sample_ms"), c.json);
    }
}

TEST(info_cli, plot_marks_shots_and_captions_the_picture) {
    TempDir dir;
    write_qex_output(dir.file("day.qex"), {.records = 96, .samples = 50, .first_ssn = 11});
    Seg2Builder cut = seg2_file();
    std::vector<std::uint8_t> bytes = cut.build();
    bytes.resize(static_cast<std::size_t>(cut.trace_offsets()[1]) + 40);
    write_file(dir.file("cut.sg2"), bytes);
    struct Row {
        std::vector<std::string> args;
        int status;
        bool caption;
        std::string err;  // expected within standard error
    };
    const Row rows[] = {
        {{"--plot", "p.png", "day.qex"}, 0, true, ""},
        {{"--plot", "p.png", "--no-caption", "day.qex"}, 0, false, ""},
        {{"--plot", "p.png", "--ssn", "13", "day.qex"}, 0, true, ""},
        {{"--plot", "p.png", "--ssn", "99", "day.qex"}, 1, false, "no trace or record has SSN 99"},
        {{"--plot", "p.png", "--ssn", "12", "--records", "1-5", "day.qex"}, 2, false, "--ssn"},
        // A cut recording is drawn, its unreadable traces marked, and the count said.
        {{"--plot", "p.png", "cut.sg2"}, 1, true, "1 of 3 traces readable"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.args));
        std::filesystem::remove(dir.file("p.png"));
        const Result r = run_info(row.args, dir);
        EXPECT_EQ(r.status, row.status) << r.err;
        EXPECT_THAT(r.err, HasSubstr(row.err));
        if (row.status == 2 || (row.status == 1 && !row.caption)) {
            EXPECT_FALSE(std::filesystem::exists(dir.file("p.png")));
            continue;
        }
        ASSERT_TRUE(std::filesystem::exists(dir.file("p.png")));
        EXPECT_EQ(png_size(dir.file("p.png")), std::make_pair(1280u, 900u));
        EXPECT_EQ(caption_strip_in(dir.file("p.png")), row.caption);
    }
}

TEST(info_cli, json_parses_back_with_the_same_facts) {
    TempDir dir;
    write_file(dir.file("a.qex"), qex_file());
    Seg2Builder damaged = seg2_file();
    damaged.traces[1].format_code = 7;
    write_file(dir.file("bad.sg2"), damaged.build());
    const Result r = run_info(
        {"--json", "--strings", "--words", "8,92", "--samples", "1", "a.qex", "bad.sg2"}, dir);
    EXPECT_EQ(r.status, 1);
    const nlohmann::json j = nlohmann::json::parse(r.out);
    ASSERT_EQ(j.at("files").size(), 2u);
    const nlohmann::json& qex = j["files"][0];
    EXPECT_EQ(qex.at("kind"), "qex");
    EXPECT_EQ(qex.at("whole"), true);
    EXPECT_EQ(qex.at("records"), 3);
    EXPECT_EQ(qex.at("first_ssn"), 7);
    EXPECT_EQ(qex.at("last_ssn"), 8);
    EXPECT_EQ(qex.at("samples_per_record"), (nlohmann::json{{"2", 1}, {"4", 2}}));
    EXPECT_EQ(qex.at("words").size(), 3u);
    EXPECT_EQ(qex["words"][2], (nlohmann::json{{"number", 3}, {"8", 3}, {"92", 8}}));
    EXPECT_EQ(qex.at("samples"), (nlohmann::json{0.25, 1.25, 2.25, 3.25}));

    const nlohmann::json& seg2 = j["files"][1];
    EXPECT_EQ(seg2.at("kind"), "seg2");
    EXPECT_EQ(seg2.at("whole"), false);
    EXPECT_EQ(seg2.at("trace_count"), 3);
    EXPECT_EQ(seg2.at("formats"), (nlohmann::json{{"1", 2}, {"7", 1}}));
    EXPECT_EQ(seg2.at("samples_per_trace"), (nlohmann::json{{"4", 3}}));
    EXPECT_EQ(seg2.at("intervals_us"), (nlohmann::json{{"250", 3}}));
    EXPECT_EQ(seg2.at("damage"), (nlohmann::json{"bad.sg2 Uknown data type  7"}));
    EXPECT_EQ(seg2.at("file_strings"), (nlohmann::json{"ACQUISITION_DATE 07/MAR/2018"}));
    const nlohmann::json& second = seg2.at("traces")[1];
    EXPECT_EQ(second.at("format"), 7);
    EXPECT_EQ(second.at("samples"), 4);
    EXPECT_EQ(second.at("whole"), false);
    EXPECT_DOUBLE_EQ(second.at("interval_us").get<double>(), 250.0);
    EXPECT_EQ(second.at("strings")[0], "CHANNEL_NUMBER 12");
    EXPECT_EQ(seg2.at("samples"), (nlohmann::json{1, -2, 3, -4}));
}

// A reading of the recordings independent of the engine: trace count, and each trace's
// format code and sample count from its descriptor block.
struct IndependentTrace {
    int format = 0;
    std::int32_t samples = 0;
};

std::vector<IndependentTrace> independent_reading(const std::string& path) {
    const std::vector<std::uint8_t> b = read_file(path);
    const auto u16 = [&](std::size_t at) { return b.at(at) | (b.at(at + 1) << 8); };
    const auto u32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(u16(at)) |
               (static_cast<std::uint32_t>(u16(at + 2)) << 16);
    };
    std::vector<IndependentTrace> traces;
    for (int t = 0; t < u16(6); ++t) {
        const std::size_t pointer = u32(32 + 4 * static_cast<std::size_t>(t));
        traces.push_back({b.at(pointer + 12), static_cast<std::int32_t>(u32(pointer + 8))});
    }
    return traces;
}

std::vector<std::string> shared_recordings() {
    std::vector<std::string> inputs;
    const std::string samples = shared_samples_dir();
    if (samples.empty()) return inputs;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(samples)) {
        const std::string ext = entry.path().extension().string();
        if (entry.is_regular_file() && (ext == ".seg2" || ext == ".dat")) {
            inputs.push_back(entry.path().string());
        }
    }
    std::sort(inputs.begin(), inputs.end());
    return inputs;
}

TEST(info_cli, shared_recordings_match_an_independent_reading) {
    const std::vector<std::string> inputs = shared_recordings();
    if (inputs.empty())
        GTEST_SKIP() << "the shared SEG-2 recordings (../shared/seg2-samples) are absent";
    TempDir dir;
    std::vector<std::string> args = {"--json"};
    args.insert(args.end(), inputs.begin(), inputs.end());
    const Result r = run_info(args, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_THAT(r.err, IsEmpty());
    const nlohmann::json j = nlohmann::json::parse(r.out);
    ASSERT_EQ(j.at("files").size(), inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        SCOPED_TRACE(inputs[i]);
        const nlohmann::json& file = j["files"][i];
        EXPECT_EQ(file.at("kind"), "seg2");
        EXPECT_EQ(file.at("whole"), true);
        const std::vector<IndependentTrace> expected = independent_reading(inputs[i]);
        ASSERT_EQ(file.at("trace_count"), expected.size());
        ASSERT_EQ(file.at("traces").size(), expected.size());
        for (std::size_t t = 0; t < expected.size(); ++t) {
            EXPECT_EQ(file["traces"][t].at("format"), expected[t].format) << "trace " << t + 1;
            EXPECT_EQ(file["traces"][t].at("samples"), expected[t].samples) << "trace " << t + 1;
        }
    }

    // The text summary of each says the same trace count.
    const Result text = run_info({inputs.front()}, dir);
    EXPECT_THAT(text.out, HasSubstr(std::to_string(independent_reading(inputs.front()).size()) +
                                    " traces, read whole\n"));
}

TEST(info_cli, output_of_converting_every_shared_recording) {
    const std::vector<std::string> inputs = shared_recordings();
    if (inputs.empty())
        GTEST_SKIP() << "the shared SEG-2 recordings (../shared/seg2-samples) are absent";
    TempDir dir;
    std::vector<std::string> args = {"-q", "--ssn", "5", "-o", "all.qex"};
    args.insert(args.end(), inputs.begin(), inputs.end());
    ASSERT_EQ(run_program(QUARVENT_BATCH_PROGRAM, args, dir).status, 0);

    const Result r = run_info({"--json", "all.qex"}, dir);
    EXPECT_EQ(r.status, 0);
    const nlohmann::json file = nlohmann::json::parse(r.out).at("files").at(0);
    EXPECT_EQ(file.at("kind"), "qex");
    EXPECT_EQ(file.at("whole"), true);
    EXPECT_EQ(file.at("records"), 388);
    // One SSN per input, from 5 on, each on as many records as the input has traces.
    nlohmann::json ssns = nlohmann::json::object();
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        ssns[std::to_string(5 + i)] = independent_reading(inputs[i]).size();
    }
    EXPECT_EQ(file.at("ssns"), ssns);
    EXPECT_EQ(file.at("first_ssn"), 5);
    EXPECT_EQ(file.at("last_ssn"), 5 + static_cast<int>(inputs.size()) - 1);

    const Result text = run_info({"all.qex"}, dir);
    EXPECT_THAT(text.out, HasSubstr("all.qex: QEX, 388 records, ends in whole records\n"));
    EXPECT_THAT(text.out, HasSubstr("first 5, last " + std::to_string(4 + inputs.size())));
}

// The kind of a file, told by its content: QEX only when its first record is plausible by
// the rule quarvent-batch applies before it appends; a file of 0 bytes is empty.
TEST(info_cli, kinds_by_content) {
    TempDir dir;
    std::vector<std::uint8_t> first_byte_damaged = seg2_file().build();
    first_byte_damaged[0] = 0x54;
    std::vector<std::uint8_t> longer_than_file = qex_record({}, 4);
    longer_than_file.resize(250);
    struct Row {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const char* kind;
        int status;
        std::string text;
    };
    const std::vector<Row> rows = {
        {"empty.qex", {}, "empty", 1, "empty.qex: empty\n"},
        {"shot.sg2", first_byte_damaged, "unknown", 1,
         "shot.sg2: neither SEG-2 nor QEX (as QEX: its first record would need 80424 bytes and "
         "the file holds 341)\n"},
        {"zero.qex", qex_record({{92, 1}}, 0), "unknown", 1,
         "zero.qex: neither SEG-2 nor QEX (as QEX: its first header gives 0 samples (word 58))\n"},
        {"long.qex", longer_than_file, "unknown", 1,
         "long.qex: neither SEG-2 nor QEX (as QEX: its first record would need 256 bytes and "
         "the file holds 250)\n"},
        {"a.qex", qex_file(), "qex", 0, "a.qex: QEX, 3 records, ends in whole records\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        write_file(dir.file(row.name), row.bytes);
        const Result text = run_info({row.name}, dir);
        EXPECT_EQ(text.status, row.status);
        EXPECT_EQ(text.out.substr(0, text.out.find('\n') + 1), row.text);
        const Result json = run_info({"--json", row.name}, dir);
        EXPECT_EQ(json.status, row.status);
        EXPECT_EQ(nlohmann::json::parse(json.out)["files"][0].at("kind"), row.kind);
    }
}

// Peak memory stays bounded whatever the file: 16,383 pointers that all name one descriptor
// whose strings take 256,000 bytes, through each way of showing it. What the file costs is
// measured above the same run on a small file, as a sanitizer build starts much larger.
TEST(info_cli, one_descriptor_named_by_every_pointer_in_bounded_memory) {
    TempDir dir;
    write_file(dir.file("crafted.sg2"), shared_descriptor_file(16383, 8, 32000).build());
    write_file(dir.file("small.sg2"), seg2_file().build());
    struct Row {
        std::vector<std::string> args;
        std::string shows;
    };
    const std::vector<Row> rows = {
        {{"--json", "--strings"}, "\"strings_of_trace\": 1"},
        {{"--strings"}, "trace 16383\n  (the descriptor of trace 1, with its strings)\n"},
        {{"--words", "8,59"}, "  16383      0      0\n"},
        {{"--plot", "crafted.png"}, ""},
        {{"--json", "--words", "8", "--samples", "3"}, "\"samples_scaled\""},
    };
    // The sanitizer's quarantine keeps freed memory for a while; the program's own is measured.
    const char* sanitizer = std::getenv("ASAN_OPTIONS");
    const std::string options =
        std::string("ASAN_OPTIONS=") + (sanitizer ? sanitizer : "") + ":quarantine_size_mb=1";
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.args));
        std::vector<std::string> args = row.args;
        args.push_back("small.sg2");
        const Result small = run_program(QUARVENT_INFO_PROGRAM, args, dir, {options});
        args.back() = "crafted.sg2";
        const Result r = run_program(QUARVENT_INFO_PROGRAM, args, dir, {options});
        EXPECT_EQ(r.status, 0);
        EXPECT_THAT(r.out, HasSubstr(row.shows));
        EXPECT_LT(r.peak_kb - small.peak_kb, 64 * 1024);
    }
}

// A name that is not UTF-8 keeps its converted form in "path" and is given exactly in
// "path_bytes_hex", by quarvent-info's JSON and by quarvent-batch's report.
TEST(info_cli, names_that_are_not_utf8_are_given_exactly) {
    struct Row {
        std::string name;
        std::string path;  // as "path" gives it
        const char* hex;   // nullptr: no "path_bytes_hex"
    };
    const std::vector<Row> rows = {
        {"caf\xE9.sg2", "caf\xC3\xA9.sg2", "636166e92e736732"},
        {"caf\xC3\xA9.sg2", "caf\xC3\xA9.sg2", nullptr},
        {"plain.sg2", "plain.sg2", nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path);
        TempDir dir;
        write_file(dir.file(row.name), seg2_file().build());
        const Result info = run_info({"--json", row.name}, dir);
        const Result batch = run_program(
            QUARVENT_BATCH_PROGRAM, {"-q", "-o", "out.qex", "--report", "r.json", row.name}, dir);
        ASSERT_EQ(batch.status, 0) << batch.err;
        const nlohmann::json entries[] = {
            nlohmann::json::parse(info.out)["files"][0],
            nlohmann::json::parse(file_text(dir.file("r.json")))["inputs"][0],
        };
        // quarvent-batch gives the path it opened, from the root.
        for (const nlohmann::json& entry : entries) {
            EXPECT_THAT(entry.at("path").get<std::string>(), ::testing::EndsWith(row.path));
            if (row.hex != nullptr) {
                EXPECT_THAT(entry.value("path_bytes_hex", ""), ::testing::EndsWith(row.hex));
            } else {
                EXPECT_FALSE(entry.contains("path_bytes_hex"));
            }
        }
    }
}

}  // namespace
}  // namespace quarvent::testing
