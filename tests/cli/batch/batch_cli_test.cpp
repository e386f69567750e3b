// quarvent-batch as a program: standard output, standard error, exit status, output file.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <regex>
#include <thread>

#include "common/byte_source.hpp"
#include "engine/qex_reader.hpp"
#include "tests/support/program_run.hpp"
#include "tests/support/seg2_builder.hpp"
#include "tests/support/temp_dir.hpp"

namespace quarvent::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;

using Result = ProgramResult;

pid_t start_batch(const std::vector<std::string>& args, const TempDir& cwd, int out, int err) {
    return start_program(QUARVENT_BATCH_PROGRAM, args, cwd, out, err);
}

// The messages without the run's closing summary (its two lines end standard error).
std::string without_summary(const std::string& err) {
    return std::regex_replace(
        err, std::regex("(Dry run: )?[0-9]+ inputs: [^\n]*\n[0-9]+ traces [^\n]*\n$"), "");
}

Result batch(const std::vector<std::string>& args, const TempDir& cwd,
             const std::vector<std::string>& env = {}, const Streams& streams = {}) {
    Result result = run_program(QUARVENT_BATCH_PROGRAM, args, cwd, env, streams);
    result.err = without_summary(result.err);
    return result;
}

// The log with every time of day replaced by hh:mm:ss.
std::string without_times(const std::string& log) {
    return std::regex_replace(log, std::regex("[0-9]{2}:[0-9]{2}:[0-9]{2}"), "hh:mm:ss");
}

Seg2Builder shot(int traces) {
    Seg2Builder file;
    file.file_string("ACQUISITION_DATE 07/MAR/2018");
    for (int t = 1; t <= traces; ++t) {
        file.add_trace(Seg2Trace::int16({1, -2, 3, -4})
                           .with_string("CHANNEL_NUMBER " + std::to_string(t))
                           .with_string("SAMPLE_INTERVAL 0.00025"));
    }
    return file;
}

// Trace count of each run of records with the same SSN (word 92), in file order.
std::vector<int> records_per_ssn(const std::string& path) {
    std::vector<int> counts;
    FileSource source;
    if (source.open(path)) return counts;
    QexReader reader(source);
    int last_ssn = 1 << 20;
    while (reader.next()) {
        if (reader.word(92) != last_ssn) counts.push_back(0);
        last_ssn = reader.word(92);
        ++counts.back();
    }
    return counts;
}

TEST(batch_cli, usage_errors) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"a.sg2"},
        {"-o", "out.qex"},
        {"-o", "out.qex", "--resample", "3", "a.sg2"},
        {"-o", "out.qex", "--resample", "two", "a.sg2"},
        {"-o", "out.qex", "--bogus", "a.sg2"},
    };
    TempDir dir;
    for (const auto& args : cases) {
        SCOPED_TRACE(::testing::PrintToString(args));
        const Result r = batch(args, dir);
        EXPECT_EQ(r.status, 2);
        EXPECT_THAT(r.err, ::testing::Not(IsEmpty()));
        EXPECT_FALSE(std::filesystem::exists(dir.file("out.qex")));
    }
    EXPECT_EQ(batch({"--help"}, dir).status, 0);
}

TEST(batch_cli, converts_with_relative_paths) {
    TempDir dir;
    std::filesystem::create_directory(dir.file("sub"));
    write_file(dir.file("a.sg2"), shot(2).build());
    Seg2Builder scaled = shot(1);
    scaled.traces[0].strings.push_back("DESCALING_FACTOR 0.5");
    write_file(dir.file("sub/b.sg2"), scaled.build());
    const Result r = batch({"-o", "./sub/../out.qex", "a.sg2", "sub/./b.sg2"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_THAT(r.err, IsEmpty());
    const std::string top = dir.path().string();
    EXPECT_EQ(without_times(r.out),
              "\r\nConversion of " + top + "/a.sg2 begun at hh:mm:ss\r\n" + "\r\nConversion of " +
                  top + "/sub/b.sg2 begun at hh:mm:ss\r\n" +
                  " *SCALE FACTOR APPLIED!* Conversion complete @ hh:mm:ss\r\n");
    EXPECT_EQ(std::filesystem::file_size(dir.file("out.qex")), 3u * (240 + 16));
    EXPECT_EQ(records_per_ssn(dir.file("out.qex")), (std::vector<int>{2, 1}));
}

// Message boxes on standard error, CR LF as newlines; the command's outcome in the status.
TEST(batch_cli, messages_and_exit_status) {
    struct Case {
        const char* name;
        std::vector<std::string> options;
        std::function<void(const TempDir&)> setup;
        int status;
        std::string err;
    };
    const auto existing_output = [](const TempDir& d) {
        write_file(d.file("out.qex"), qex_records({1}, 1));
    };
    const std::vector<Case> cases = {
        {"existing output without --append",
         {},
         existing_output,
         1,
         "Appending Data: Warning-Output file all ready exisits.\n"
         "converted data will be appended to end!\n"},
        {"existing output with --append",
         {"--append"},
         existing_output,
         0,
         "Appending Data: Warning-Output file all ready exisits.\n"
         "converted data will be appended to end!\n"},
        {"pointer shortage",
         {},
         [](const TempDir& d) {
             Seg2Builder f = shot(2);
             f.pointer_block_size = 6;
             write_file(d.file("a.sg2"), f.build());
         },
         1,
         "SEG-2 Data Format Error: There are more traces ( 2) than\npointers to the traces ( "
         "1.5).\n"
         "This data can not be converted correctly.\nContact author of data.\n"
         "Input file: DIR/a.sg2\n"},
        {"SSN out of range",
         {"--ssn", "40000"},
         {},
         1,
         "SSN Out Of Range: The starting SSN must lie between -32768 and 32767.\n"
         "Entered value = 40000\n"},
        {"empty SSN answer", {"--ssn", ""}, {}, 1, "SSN Value?: Enter Starting SSN\n"},
        {"no interval, no answer",
         {},
         [](const TempDir& d) {
             Seg2Builder f;
             f.add_trace(Seg2Trace::int16({1, 2}).with_string("CHANNEL_NUMBER 1"));
             write_file(d.file("a.sg2"), f.build());
         },
         1,
         "Missing Sampling Rate: The sampling rate for this data is not defined properly in the "
         "header. Some value other than 0 is required. Enter the value for sample rate in "
         "MILLISECONDS. Cancel to abort conversion.\n"
         "Input file: DIR/a.sg2\n"},
        {"missing keyword file", {"-k", "/nowhere/QEXKEYWO.RD"}, {}, 1, "Keyword File Error"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        write_file(dir.file("a.sg2"), shot(1).build());
        if (c.setup) c.setup(dir);
        const auto before = read_file(dir.file("out.qex"));
        std::vector<std::string> args = {"-o", "out.qex"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        args.push_back("a.sg2");
        Result r = batch(args, dir);
        // The input a message concerns is named with its full path.
        const std::string top = dir.path().string();
        for (std::size_t at; (at = r.err.find(top)) != std::string::npos;) {
            r.err.replace(at, top.size(), "DIR");
        }
        EXPECT_EQ(r.status, c.status);
        if (c.err.find('\n') == std::string::npos) {
            EXPECT_THAT(r.err, HasSubstr(c.err));
        } else {
            EXPECT_EQ(r.err, c.err);
        }
        if (c.status != 0 && !before.empty()) {
            EXPECT_EQ(read_file(dir.file("out.qex")), before);
        }
    }
}

TEST(batch_cli, answers_from_options) {
    TempDir dir;
    Seg2Builder no_interval;
    no_interval.add_trace(Seg2Trace::int16({1, 2, 3, 4}).with_string("CHANNEL_NUMBER 1"));
    write_file(dir.file("a.sg2"), no_interval.build());
    write_file(dir.file("b.sg2"), {'n', 'o'});
    const Result r =
        batch({"-o", "out.qex", "--delete-inputs", "--sample-interval-ms", "0.5", "--resample", "2",
               "--record-end-ms", "1", "--ssn", "12", "a.sg2", "b.sg2"},
              dir);
    EXPECT_EQ(r.status, 3);  // b.sg2 was not converted
    EXPECT_THAT(r.out, HasSubstr(" -*Manual entered sample rate value used.*- "));
    EXPECT_THAT(r.out, HasSubstr(dir.file("b.sg2") + " kept: not converted completely\r\n"));
    EXPECT_EQ(r.err,
              "Input Files Will Be Deleted: WARNING:  Automatic input file deletion selected!\n"
              "Ok to proceed?\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("a.sg2")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("b.sg2")));
    const std::vector<std::uint8_t> out = read_file(dir.file("out.qex"));
    ASSERT_EQ(out.size(), 240u + 4u);                       // 1 ms at 1000 us per output sample
    EXPECT_EQ(out[2 * 91], 12);                             // word 92
    EXPECT_EQ(out[2 * 58] | (out[2 * 58 + 1] << 8), 1000);  // word 59
}

TEST(batch_cli, system_directory_and_latin1_text) {
    TempDir dir;
    const std::string name = "caf\xE9.sg2";
    Seg2Builder file = shot(1);
    file.file_string("NO_SUCH_KEYWORD \xE9t\xE9");
    write_file(dir.file(name), file.build());

    const Result missing =
        batch({"-o", "out.qex", name}, dir, {"QUARVENT_SYSTEM_DIR=" + dir.path().string()});
    EXPECT_EQ(missing.status, 1);
    EXPECT_THAT(missing.err, HasSubstr("QEXKEYWO.RD"));

    const Result r = batch({"-o", "out.qex", name}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_THAT(r.out, HasSubstr("caf\xC3\xA9.sg2"));
    EXPECT_THAT(r.out, HasSubstr("\xC3\xA9t\xC3\xA9"));
    EXPECT_EQ(r.out.find('\0'), std::string::npos);
    EXPECT_EQ(r.out.find("caf\xE9"), std::string::npos);
}

TEST(batch_cli, demo_data_converts) {
    TempDir dir;
    ASSERT_EQ(run_program(QUARVENT_DEMO_PROGRAM, {"demo"}, dir).status, 0);
    std::vector<std::string> args = {"-q", "-o", "demo.qex"};
    for (const auto& entry : std::filesystem::directory_iterator(dir.file("demo"))) {
        args.push_back(entry.path().string());
    }
    std::sort(args.begin() + 3, args.end());
    ASSERT_EQ(args.size(), 6u);
    const Result r = batch(args, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_THAT(r.err, IsEmpty());
    EXPECT_EQ(records_per_ssn(dir.file("demo.qex")), (std::vector<int>{24, 24, 48}));
}

// Every real recording is walked to its end with its true trace count (the count word of
// its file descriptor), without a crash or a sanitizer report.
TEST(batch_cli, walks_every_shared_recording) {
    const std::string samples = shared_samples_dir();
    if (samples.empty())
        GTEST_SKIP() << "the shared SEG-2 recordings (../shared/seg2-samples) are absent";
    std::vector<std::string> inputs;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(samples)) {
        const std::string ext = entry.path().extension().string();
        if (entry.is_regular_file() && (ext == ".seg2" || ext == ".dat")) {
            inputs.push_back(entry.path().string());
        }
    }
    std::sort(inputs.begin(), inputs.end());
    ASSERT_GE(inputs.size(), 14u);
    std::vector<int> true_counts;
    for (const std::string& input : inputs) {
        const std::vector<std::uint8_t> b = read_file(input);
        true_counts.push_back(b.at(6) | (b.at(7) << 8));
    }
    TempDir dir;
    std::vector<std::string> args = {"-q", "-o", "all.qex"};
    args.insert(args.end(), inputs.begin(), inputs.end());
    const Result r = batch(args, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_THAT(r.err, IsEmpty());
    EXPECT_THAT(r.out, HasSubstr("Conversion complete @ "));
    EXPECT_EQ(records_per_ssn(dir.file("all.qex")), true_counts);
}

// Each record's SSN (word 92) and sample count (word 58) as "ssn:samples", in file order.
std::string record_summary(const std::string& path) {
    std::string summary;
    FileSource source;
    if (source.open(path)) return summary;
    QexReader reader(source);
    while (reader.next()) {
        if (!summary.empty()) summary += ' ';
        summary += std::to_string(reader.word(92)) + ":" + std::to_string(reader.word(58));
    }
    return summary;
}

// "--name=" is an empty value, never "the value follows": the argument after it stays what it
// is. Every option that takes a value, in all four spellings, with the arguments that an
// old parser swallowed after it.
TEST(batch_cli, an_empty_value_after_equals_is_empty) {
    struct Outcome {
        int status;
        std::string records;  // record_summary of out.qex
        std::string err;      // contained in standard error
        bool inputs_deleted = false;
    };
    struct Case {
        std::string option;
        std::string value;
        std::vector<std::string> following;  // between the option and the inputs
        Outcome with_value;
        Outcome empty;
    };
    const std::string converted = "1:4 1:4 2:4";
    const std::vector<Case> cases = {
        {"--output", "out.qex", {}, {0, converted, ""}, {1, "", "No Output File Selected"}},
        {"--keywords",
         "/nowhere/QEXKEYWO.RD",
         {},
         {1, "", "Keyword File Error"},
         {0, converted, ""}},
        {"--ssn",
         "12",
         {"--delete-inputs", "--resample=2"},
         {0, "12:2 12:2 13:2", "Input Files Will Be Deleted", true},
         {1, "", "SSN Value?: Enter Starting SSN\n"}},
        {"--resample", "2", {}, {0, "1:2 1:2 2:2", ""}, {2, "", "--resample"}},
        {"--record-end-ms", "0.5", {}, {0, "1:2 1:2 2:2", ""}, {0, converted, ""}},
        {"--sample-interval-ms", "0.5", {"-q"}, {0, converted, ""}, {0, converted, ""}},
    };
    struct Spelling {
        const char* name;
        bool empty;
        std::function<std::vector<std::string>(const std::string&, const std::string&)> args;
    };
    const std::vector<Spelling> spellings = {
        {"--name=V", false, [](auto& o, auto& v) { return std::vector{o + "=" + v}; }},
        {"--name V", false,
         [](auto& o, auto& v) {
             return std::vector{o, v};
         }},
        {"--name=", true, [](auto& o, auto&) { return std::vector{o + "="}; }},
        {"--name \"\"", true,
         [](auto& o, auto&) {
             return std::vector<std::string>{o, ""};
         }},
    };
    for (const Case& c : cases) {
        for (const Spelling& spelling : spellings) {
            SCOPED_TRACE(c.option + " as " + spelling.name);
            TempDir dir;
            write_file(dir.file("a.sg2"), shot(2).build());
            write_file(dir.file("b.sg2"), shot(1).build());
            const auto a_before = read_file(dir.file("a.sg2"));
            std::vector<std::string> args;
            if (c.option != "--output") args = {"-o", "out.qex"};
            for (const std::string& arg : spelling.args(c.option, c.value)) args.push_back(arg);
            args.insert(args.end(), c.following.begin(), c.following.end());
            args.insert(args.end(), {"a.sg2", "b.sg2"});

            const Outcome& expected = spelling.empty ? c.empty : c.with_value;
            const Result r = batch(args, dir);
            EXPECT_EQ(r.status, expected.status) << r.err;
            EXPECT_EQ(record_summary(dir.file("out.qex")), expected.records);
            EXPECT_THAT(r.err, HasSubstr(expected.err));
            EXPECT_EQ(std::filesystem::exists(dir.file("a.sg2")), !expected.inputs_deleted);
            EXPECT_EQ(std::filesystem::exists(dir.file("b.sg2")), !expected.inputs_deleted);
            if (!expected.inputs_deleted) {
                EXPECT_EQ(read_file(dir.file("a.sg2")), a_before);
            }
        }
    }
}

// An interrupt, a termination and a hang-up (once, or twice as a closed terminal can give)
// each stop the run after a whole record, and the program ends by itself with status 1. The
// report counts every record the output holds, the last one before the stop too.
TEST(batch_cli, signals_stop_the_run_after_a_whole_record) {
    constexpr int files = 60;
    constexpr int traces = 24;
    constexpr int samples = 2000;
    constexpr std::uintmax_t record_size = 240 + 4 * samples;
    std::vector<std::int16_t> data(samples);
    for (int k = 0; k < samples; ++k)
        data[static_cast<std::size_t>(k)] = static_cast<std::int16_t>(k);
    Seg2Builder recording;
    for (int t = 1; t <= traces; ++t) {
        recording.add_trace(Seg2Trace::int16(data).with_string("SAMPLE_INTERVAL 0.00025"));
    }
    const std::vector<std::uint8_t> bytes = recording.build();

    const std::vector<std::pair<const char*, std::vector<int>>> cases = {
        {"interrupt", {SIGINT}},
        {"termination", {SIGTERM}},
        {"hang-up", {SIGHUP}},
        {"hang-up twice", {SIGHUP, SIGHUP}},
    };
    for (const auto& [name, signals] : cases) {
        SCOPED_TRACE(name);
        TempDir dir;
        std::vector<std::string> args = {"-q", "-o", "out.qex", "--report", "r.json"};
        for (int f = 1; f <= files; ++f) {
            args.push_back("shot" + std::to_string(f) + ".sg2");
            write_file(dir.file(args.back()), bytes);
        }
        const int log = ::open(dir.file(".log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const pid_t child = start_batch(args, dir, log, log);
        ::close(log);
        ASSERT_GT(child, 0);

        // Records reach the file at the end of the first file's turn: the run is under way.
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        std::error_code missing;
        while (std::filesystem::file_size(dir.file("out.qex"), missing) == 0 || missing) {
            if (std::chrono::steady_clock::now() > give_up) break;
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        for (int signal : signals) {
            ::kill(child, signal);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        const int status = wait_for(child);
        ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 1) << file_text(dir.file(".log"));
        const std::uintmax_t size = std::filesystem::file_size(dir.file("out.qex"));
        EXPECT_EQ(size % record_size, 0u) << "a partial record at the end";
        EXPECT_LT(size, files * traces * record_size) << "the run was not stopped";
        const auto report = nlohmann::json::parse(file_text(dir.file("r.json")));
        EXPECT_EQ(report["traces_written"], size / record_size);
        EXPECT_EQ(report["bytes_written"], size);
    }
}

// Two conversions on one output: while one run writes it (held still by SIGSTOP), a second
// refuses before it writes anything, and the first goes on to a whole output of its own
// records. A run killed with SIGKILL leaves no lock behind: the next run appends.
TEST(batch_cli, a_second_run_on_an_output_being_written_is_refused) {
    constexpr int files = 40;
    constexpr int traces = 24;
    std::vector<std::int16_t> data(2000, 5);
    Seg2Builder recording;
    for (int t = 1; t <= traces; ++t) {
        recording.add_trace(Seg2Trace::int16(data).with_string("SAMPLE_INTERVAL 0.00025"));
    }
    const std::vector<std::uint8_t> bytes = recording.build();
    struct Row {
        const char* name;
        int signal;  // sent to the first run once it has begun writing
        int second_status;
    };
    for (const Row& row : {Row{"the first run still writes", SIGSTOP, 1},
                           Row{"the first run was killed", SIGKILL, 0}}) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        std::vector<std::string> args = {"-q", "-o", "out.qex"};
        for (int f = 1; f <= files; ++f) {
            args.push_back("shot" + std::to_string(f) + ".sg2");
            write_file(dir.file(args.back()), bytes);
        }
        write_file(dir.file("late.sg2"), shot(3).build());
        const int log = ::open(dir.file(".log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const pid_t first = start_batch(args, dir, log, log);
        ::close(log);
        ASSERT_GT(first, 0);
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        std::error_code missing;
        while (std::filesystem::file_size(dir.file("out.qex"), missing) == 0 || missing) {
            if (std::chrono::steady_clock::now() > give_up) break;
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        ::kill(first, row.signal);
        if (row.signal == SIGKILL) (void)wait_for(first);

        const Result second = batch(
            {"-o", "out.qex", "--append", "--ssn", "continue", "--trim-partial-record", "late.sg2"},
            dir);
        EXPECT_EQ(second.status, row.second_status) << second.err;
        if (row.signal == SIGSTOP) {
            EXPECT_THAT(second.err,
                        HasSubstr(dir.file("out.qex") + " is being written by another conversion"));
            EXPECT_THAT(second.out, Not(HasSubstr("Conversion of")));
            ::kill(first, SIGCONT);
            const int status = wait_for(first);
            ASSERT_TRUE(WIFEXITED(status));
            EXPECT_EQ(WEXITSTATUS(status), 0) << file_text(dir.file(".log"));
            // Only the first run's records, every one whole.
            EXPECT_EQ(records_per_ssn(dir.file("out.qex")), std::vector<int>(files, traces));
            EXPECT_EQ(std::filesystem::file_size(dir.file("out.qex")),
                      std::uintmax_t{files} * traces * (240 + 4 * 2000));
        } else {
            const std::vector<int> counts = records_per_ssn(dir.file("out.qex"));
            ASSERT_FALSE(counts.empty());
            EXPECT_EQ(counts.back(), 3) << "the late run's records follow the killed run's";
        }
    }
}

// A log reader that goes away (quarvent-batch ... | head -1) leaves the run to finish: the
// log's writes are dropped and the conversion completes.
TEST(batch_cli, a_log_reader_that_goes_away_does_not_end_the_run) {
    constexpr int files = 300;  // about 25 KB of log, several times the log's buffer
    TempDir dir;
    const std::vector<std::uint8_t> bytes = shot(1).build();
    std::vector<std::string> args = {"-q", "-o", "out.qex"};
    for (int f = 1; f <= files; ++f) {
        args.push_back("shot" + std::to_string(f) + ".sg2");
        write_file(dir.file(args.back()), bytes);
    }
    int pipe_ends[2];
    ASSERT_EQ(::pipe(pipe_ends), 0);
    const int err = ::open(dir.file(".stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const pid_t child = start_batch(args, dir, pipe_ends[1], err);
    ::close(pipe_ends[1]);
    ::close(err);
    ASSERT_GT(child, 0);
    char first = 0;
    EXPECT_EQ(::read(pipe_ends[0], &first, 1), 1);
    ::close(pipe_ends[0]);

    const int status = wait_for(child);
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(WEXITSTATUS(status), 0) << file_text(dir.file(".stderr"));
    EXPECT_EQ(records_per_ssn(dir.file("out.qex")).size(), static_cast<std::size_t>(files));
}

// An output that is the file standard output or standard error goes to is refused before
// anything is written: the log or the messages would land among the records.
TEST(batch_cli, an_output_that_is_the_log_or_messages_file_is_refused) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        bool as_stdout;  // else out.qex receives standard error
    };
    const std::vector<Case> cases = {
        {"/dev/stdout", {"--append", "-o", "/dev/stdout", "a.sg2"}, true},
        {"the log file by its name", {"--append", "-o", "out.qex", "a.sg2"}, true},
        {"the messages file by its name", {"--append", "-o", "./out.qex", "a.sg2"}, false},
        {"/dev/stderr", {"--append", "-o", "/dev/stderr", "a.sg2"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        write_file(dir.file("a.sg2"), shot(1).build());
        write_file(dir.file("out.qex"), {1, 2, 3});
        Streams streams;
        (c.as_stdout ? streams.out : streams.err) = dir.file("out.qex");
        const Result r = batch(c.args, dir, {}, streams);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(read_file(dir.file("out.qex")), (std::vector<std::uint8_t>{1, 2, 3}));
        // One line, on whichever stream is not the output.
        const std::string message = c.as_stdout ? r.err : r.out;
        EXPECT_THAT(message, HasSubstr("same file as standard"));
        EXPECT_EQ(std::count(message.begin(), message.end(), '\n'), 1) << message;
    }
}

// A character device keeps nothing that the log could break: /dev/null may be both.
TEST(batch_cli, a_character_device_may_be_the_output_and_the_log) {
    TempDir dir;
    write_file(dir.file("a.sg2"), shot(1).build());
    Streams streams;
    streams.out = "/dev/null";
    const Result r = batch({"--append", "-o", "/dev/null", "a.sg2"}, dir, {}, streams);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_THAT(r.err, ::testing::Not(HasSubstr("same file as standard")));
}

// --ssn, --record-end-ms and --sample-interval-ms take a number and nothing else, read as the
// window reads an answer (blanks ignored); --ssn also takes "continue". Any other text would
// quietly count as 0 or as the number it starts with.
TEST(batch_cli, option_values_that_are_not_numbers_are_usage_errors) {
    struct Case {
        std::string option;
        std::string value;
        std::string records;  // record_summary of out.qex; empty: a usage error
    };
    const std::string converted = "1:4 1:4 2:4";
    const std::vector<Case> cases = {
        {"--ssn", "Continue", ""},
        {"--ssn", "continu", ""},
        {"--ssn", "next", ""},
        {"--ssn", "nan", ""},
        {"--ssn", "0x10", ""},
        {"--ssn", "12abc", ""},
        {"--ssn", " ", ""},
        {"--ssn", " 1 2\t", "12:4 12:4 13:4"},
        {"--ssn", "+1.2E1", "12:4 12:4 13:4"},
        {"--ssn", "continue", converted},
        {"--record-end-ms", "abc", ""},
        {"--record-end-ms", "0.5ms", ""},
        {"--record-end-ms", "5e-1", "1:2 1:2 2:2"},
        {"--sample-interval-ms", "1e", ""},
        {"--sample-interval-ms", "0.25.", ""},
        {"--sample-interval-ms", ".25", converted},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.option + " \"" + c.value + "\"");
        TempDir dir;
        write_file(dir.file("a.sg2"), shot(2).build());
        write_file(dir.file("b.sg2"), shot(1).build());
        const Result r = batch({"-o", "out.qex", c.option, c.value, "a.sg2", "b.sg2"}, dir);
        EXPECT_EQ(record_summary(dir.file("out.qex")), c.records);
        if (c.records.empty()) {
            EXPECT_EQ(r.status, 2);
            EXPECT_THAT(r.err, HasSubstr(c.option + " takes a number"));
            EXPECT_THAT(r.err, HasSubstr("not \"" + c.value + "\""));
        } else {
            EXPECT_EQ(r.status, 0) << r.err;
        }
    }
}

// File names are UTF-8 already and are shown as they are; only text read from SEG-2 files is
// Latin-1 and converted.
TEST(batch_cli, utf8_file_names_are_shown_unchanged) {
    TempDir dir;
    const std::string folder = "d\xC3\xADr";                                    // dír
    const std::string name = folder + "/Schu\xC3\x9F.sg2";                      // Schuß.sg2
    const std::string missing = folder + "/\xE2\x82\xAC-\xF0\x9F\x8C\x8A.sg2";  // €-🌊.sg2
    std::filesystem::create_directory(dir.file(folder));
    Seg2Builder file = shot(1);
    file.file_string("NO_SUCH_KEYWORD \xE9t\xE9");
    write_file(dir.file(name), file.build());

    const Result r = batch({"-o", "out.qex", name}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_THAT(r.out, HasSubstr("Conversion of " + dir.file(name) + " begun"));
    EXPECT_THAT(r.out, HasSubstr("\xC3\xA9t\xC3\xA9"));

    const Result not_found = batch({"-o", "out2.qex", name, missing}, dir);
    EXPECT_EQ(not_found.status, 1);
    EXPECT_THAT(not_found.err, HasSubstr("Files Not Found"));
    EXPECT_THAT(not_found.err, HasSubstr("\n" + dir.file(missing) + "\n"));
}

// The screen a terminal shows for what was written to it: carriage return, line feed and
// "erase to the end of the line" are obeyed; trailing empty lines are left out.
std::vector<std::string> screen_lines(const std::string& written) {
    std::vector<std::string> lines(1);
    std::size_t column = 0;
    for (std::size_t i = 0; i < written.size(); ++i) {
        std::string& line = lines.back();
        if (written.compare(i, 3, "\x1b[K") == 0) {
            line.resize(std::min(line.size(), column));
            i += 2;
        } else if (written[i] == '\r') {
            column = 0;
        } else if (written[i] == '\n') {
            lines.emplace_back();
            column = 0;
        } else {
            if (column < line.size()) {
                line[column] = written[i];
            } else {
                line.push_back(written[i]);
            }
            ++column;
        }
    }
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    return lines;
}

// With the log and the progress line on one terminal, no log text lands on the progress line
// and the last progress figure is the number of records written.
TEST(batch_cli, progress_and_log_take_turns_on_one_terminal) {
    TempDir dir;
    Seg2Builder a = shot(2);
    Seg2Builder b = shot(3);
    for (Seg2Builder* file : {&a, &b}) {
        for (Seg2Trace& trace : file->traces) trace.strings.push_back("DESCALING_FACTOR 0.5");
    }
    write_file(dir.file("a.sg2"), a.build());
    write_file(dir.file("b.sg2"), b.build());

    int terminal = -1;
    const pid_t child = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child == 0) {
        if (::chdir(dir.path().c_str()) != 0) ::_exit(126);
        const char* argv[] = {QUARVENT_BATCH_PROGRAM, "-o", "out.qex", "a.sg2", "b.sg2", nullptr};
        ::execv(QUARVENT_BATCH_PROGRAM, const_cast<char**>(argv));
        ::_exit(127);
    }
    ASSERT_GT(child, 0);
    std::string shown;
    char buffer[4096];
    ssize_t got = 0;
    while ((got = ::read(terminal, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR)) {
        if (got > 0) shown.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(terminal);
    const int status = wait_for(child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    EXPECT_EQ(record_summary(dir.file("out.qex")), "1:4 1:4 2:4 2:4 2:4");
    const std::string top = dir.path().string();
    // The closing summary follows the last progress figure on lines of its own.
    std::vector<std::string> lines = screen_lines(without_times(shown));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_THAT(lines[lines.size() - 2], HasSubstr("2 inputs: 2 converted completely"));
    EXPECT_THAT(lines.back(), HasSubstr("5 traces written, 0 skipped; 1280 bytes written"));
    lines.resize(lines.size() - 2);
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "",
                         "Conversion of " + top + "/a.sg2 begun at hh:mm:ss",
                         " *SCALE FACTOR APPLIED!* ",
                         "Conversion of " + top + "/b.sg2 begun at hh:mm:ss",
                         " *SCALE FACTOR APPLIED!* Conversion complete @ hh:mm:ss",
                         "file 2 of 2, 5 traces written",
                     }));
}

// ".." after a symbolic link is resolved by the kernel, from where the link leads: the file
// converted, deleted and written is the one the path names.
TEST(batch_cli, dot_dot_after_a_symbolic_link_follows_the_link) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("real/deep"));
    std::filesystem::create_directory_symlink("real/deep", dir.file("link"));
    write_file(dir.file("real/A0001.sg2"), shot(2).build());
    write_file(dir.file("A0001.sg2"), shot(1).build());  // what a text edit of the path names

    Result r = batch({"-q", "--delete-inputs", "-o", "out.qex", "link/../A0001.sg2"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.file("real/A0001.sg2")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("A0001.sg2")));
    EXPECT_EQ(record_summary(dir.file("out.qex")), "1:4 1:4");

    r = batch({"-q", "-o", "link/../o2.qex", "A0001.sg2"}, dir);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(record_summary(dir.file("real/o2.qex")), "1:4");
    EXPECT_FALSE(std::filesystem::exists(dir.file("o2.qex")));

    // One place spelled two ways still counts as shared, the output not existing yet.
    write_file(dir.file("real/B0001.sg2"), shot(1).build());
    r = batch({"-q", "-o", "link/../B0001.sg2.qex", "./real/B0001.sg2"}, dir);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Input/Output Share Error: Output file can not be an input file also.\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("real/B0001.sg2.qex")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("B0001.sg2.qex")));
}

}  // namespace
}  // namespace quarvent::testing

namespace quarvent::testing {
namespace {

// --run-log: where the log goes, what its summary says of the run, and that a log that cannot
// be written leaves the run's result as it is.
TEST(batch_cli, run_log_records_the_run_beside_the_output_or_where_named) {
    struct Case {
        const char* name;
        std::vector<std::string> args;  // before the inputs
        bool with_interval;             // the inputs state their sample interval
        const char* log;                // where the log should be; nullptr: nowhere
        int status;
        std::vector<std::string> expected;  // in the log, or on standard error for a folder
    };
    const Case cases[] = {
        {"beside the output",
         {"--run-log"},
         true,
         "out.qex.log",
         3,
         {"Program: quarvent-batch ", "  Files converted: 1\n  Files kept: 1\n",
          "/notes.dat: not SEG-2\n", "  SSN range: 1 to 1\n", "  Run ended: completed\n"}},
        {"named", {"--run-log=named.log"}, true, "named.log", 3, {"Run ended: completed"}},
        {"ended at a check",
         {"--run-log"},
         false,
         "out.qex.log",
         1,
         {"/a.sg2: the run stopped at trace 1: no usable sample interval\n",
          "  Run ended: ended at a check: \"Missing Sampling Rate\"\n"}},
        {"not writable",
         {"--run-log=folder"},
         true,
         nullptr,
         3,
         {"quarvent-batch: the run log ", "/folder was not written: "}},
        {"interval given",
         {"--run-log", "--sample-interval-ms", "0.25"},
         false,
         "out.qex.log",
         3,
         {"  Manual sample interval: 0.25 ms\n", "  Run ended: completed\n"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::filesystem::create_directory(dir.file("folder"));
        Seg2Builder file;
        file.add_trace(Seg2Trace::int16({1, 2}));
        if (c.with_interval) file.traces[0].strings.push_back("SAMPLE_INTERVAL 0.00025");
        write_file(dir.file("a.sg2"), file.build());
        std::ofstream(dir.file("notes.dat")) << "not a recording";
        std::ofstream(dir.file("k.rd"), std::ios::binary) << "SAMPLE_INTERVAL 1 59 1000000\r\n";
        std::vector<std::string> args = {"-q", "-k", "k.rd", "-o", "out.qex"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        args.insert(args.end(), {"a.sg2", "notes.dat"});
        const Result r = batch(args, dir);
        EXPECT_EQ(r.status, c.status) << r.err;
        const std::string log = c.log != nullptr ? file_text(dir.file(c.log)) : r.err;
        for (const std::string& text : c.expected) EXPECT_THAT(log, HasSubstr(text));
        if (c.log == nullptr) {
            EXPECT_TRUE(std::filesystem::is_directory(dir.file("folder")));
        }
    }
}

TEST(batch_cli, no_run_log_without_the_option_or_when_nothing_was_converted) {
    TempDir dir;
    write_file(dir.file("a.sg2"), shot(1).build());
    EXPECT_EQ(batch({"-q", "-o", "out.qex", "a.sg2"}, dir).status, 0);
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.qex.log")));
    // A missing input ends the run at its checks: nothing written, no log.
    EXPECT_EQ(batch({"-q", "--run-log", "-o", "new.qex", "a.sg2", "gone.sg2"}, dir).status, 1);
    EXPECT_FALSE(std::filesystem::exists(dir.file("new.qex.log")));
}

}  // namespace
}  // namespace quarvent::testing
