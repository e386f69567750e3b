// quarvent-batch as a program: standard output, standard error, exit status, output file.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include "tests/support/seg2_builder.hpp"
#include "tests/support/temp_dir.hpp"

namespace quarvent::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Runs program with args in directory cwd; env entries ("NAME=value") are added.
Result run_program(const std::string& program, const std::vector<std::string>& args,
                   const TempDir& cwd, const std::vector<std::string>& env = {}) {
    const std::string out_path = cwd.file(".stdout");
    const std::string err_path = cwd.file(".stderr");
    const pid_t child = ::fork();
    if (child == 0) {
        const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (::chdir(cwd.path().c_str()) != 0) ::_exit(126);
        for (const std::string& entry : env) ::putenv(const_cast<char*>(entry.c_str()));
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    Result result;
    int status = 0;
    if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status)) {
        result.status = WEXITSTATUS(status);
    }
    result.out = contents(out_path);
    result.err = contents(err_path);
    return result;
}

Result batch(const std::vector<std::string>& args, const TempDir& cwd,
             const std::vector<std::string>& env = {}) {
    return run_program(QUARVENT_BATCH_PROGRAM, args, cwd, env);
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
    const std::vector<std::uint8_t> b = read_file(path);
    std::vector<int> counts;
    int last_ssn = 1 << 20;
    for (std::size_t at = 0; at + 240 <= b.size();) {
        const auto word = [&](int n) {
            return static_cast<std::int16_t>(b[at + 2 * (n - 1)] | (b[at + 2 * (n - 1) + 1] << 8));
        };
        if (word(92) != last_ssn) counts.push_back(0);
        last_ssn = word(92);
        ++counts.back();
        at += 240 + 4 * static_cast<std::size_t>(std::max<int>(0, word(58)));
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
    const auto existing_output = [](const TempDir& d) { write_file(d.file("out.qex"), {9}); };
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
         "This data can not be converted correctly.\nContact author of data.\n"},
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
         "MILLISECONDS. Cancel to abort conversion.\n"},
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
        const Result r = batch(args, dir);
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
    EXPECT_EQ(r.status, 0);
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

}  // namespace
}  // namespace quarvent::testing
