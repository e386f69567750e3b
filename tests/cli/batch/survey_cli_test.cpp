// quarvent-batch over whole surveys: --keep-going, input lists, --dry-run, the summary, the
// JSON report and the exit statuses, each through the real program.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>

#include "common/byte_source.hpp"
#include "engine/qex_reader.hpp"
#include "tests/support/program_run.hpp"
#include "tests/support/seg2_builder.hpp"
#include "tests/support/temp_dir.hpp"

namespace quarvent::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

using Outcome = ProgramResult;

// Runs quarvent-batch in dir with args; stdin_text, when given, is its standard input.
Outcome batch(const TempDir& dir, const std::vector<std::string>& args,
              const std::string& stdin_text = {}) {
    return run_program(QUARVENT_BATCH_PROGRAM, args, dir, {}, {}, stdin_text);
}

std::string without_times(const std::string& log) {
    return std::regex_replace(log, std::regex("[0-9]{2}:[0-9]{2}:[0-9]{2}"), "hh:mm:ss");
}

// A shot of `traces` traces, each of four 16-bit samples at 0.25 ms.
Seg2Builder shot(int traces) {
    Seg2Builder file;
    for (int t = 1; t <= traces; ++t) {
        file.add_trace(Seg2Trace::int16({1, -2, 3, static_cast<std::int16_t>(t)})
                           .with_string("CHANNEL_NUMBER " + std::to_string(t))
                           .with_string("SAMPLE_INTERVAL 0.00025"));
    }
    return file;
}

struct Record {
    int ssn = 0;      // word 92
    int samples = 0;  // word 58
};

std::vector<Record> records_of(const std::string& path) {
    FileSource file;
    EXPECT_FALSE(file.open(path)) << path;
    QexReader reader(file);
    std::vector<Record> records;
    while (reader.next()) records.push_back({reader.word(92), reader.word(58)});
    EXPECT_EQ(reader.stop().end, QexEnd::whole) << describe(reader.stop());
    return records;
}

// Number of records of each SSN, in file order.
std::vector<int> records_per_ssn(const std::string& path) {
    std::vector<int> counts;
    int last = 1 << 20;
    for (const Record& r : records_of(path)) {
        if (r.ssn != last) counts.push_back(0);
        last = r.ssn;
        ++counts.back();
    }
    return counts;
}

// Damage that ends the whole run unless --keep-going is given: b.sg2's second of three
// traces (or, for the pointer table, the file itself) is what the run cannot take.
struct Damage {
    const char* title;
    std::vector<std::string> options;
    bool file_level;  // nothing of the file is read
    std::function<Seg2Builder()> build;
};

std::vector<Damage> damages() {
    const auto with_second = [](Seg2Trace bad) {
        return [bad] {
            Seg2Builder file = shot(3);
            file.traces[1] = bad;
            return file;
        };
    };
    std::vector<std::uint8_t> too_long(2 * 32769, 0);
    std::vector<std::uint8_t> floats(4 * 32768, 0);
    return {
        {"Too Many Samples",
         {},
         false,
         with_second(Seg2Trace::raw(1, 32769, too_long).with_string("SAMPLE_INTERVAL 0.00025"))},
        {"Can't accomdate Sample Length",
         {},
         false,
         with_second(Seg2Trace::raw(4, 32768, floats).with_string("SAMPLE_INTERVAL 0.00025"))},
        {"Sample Interval Too Large",
         {"--resample", "4"},
         false,
         with_second(Seg2Trace::int16({1, 2, 3, 4}).with_string("SAMPLE_INTERVAL 0.010"))},
        {"SEG-2 Data Format Error",
         {},
         true,
         [] {
             Seg2Builder file = shot(3);
             file.pointer_block_size = 8;
             return file;
         }},
    };
}

TEST(batch_survey, a_damaged_file_ends_the_run_or_only_its_turn) {
    for (const Damage& damage : damages()) {
        for (const bool keep_going : {false, true}) {
            SCOPED_TRACE(std::string(damage.title) + (keep_going ? " --keep-going" : ""));
            TempDir dir;
            write_file(dir.file("a.sg2"), shot(2).build());
            write_file(dir.file("b.sg2"), damage.build().build());
            write_file(dir.file("c.sg2"), shot(1).build());
            std::vector<std::string> args = {"-o", "out.qex",  "--delete-inputs", "--ssn",
                                             "5",  "--report", "report.json"};
            args.insert(args.end(), damage.options.begin(), damage.options.end());
            if (keep_going) args.push_back("--keep-going");
            for (const char* name : {"a.sg2", "b.sg2", "c.sg2"}) args.push_back(name);
            const Outcome r = batch(dir, args);

            const std::string b = dir.file("b.sg2");
            // The box names the file it concerns.
            EXPECT_THAT(r.err, HasSubstr(std::string(damage.title) + ": "));
            EXPECT_THAT(r.err, HasSubstr("\nInput file: " + b + "\n"));
            EXPECT_FALSE(std::filesystem::exists(dir.file("a.sg2")));
            EXPECT_TRUE(std::filesystem::exists(b));  // never deleted
            const std::vector<int> from_b =
                damage.file_level ? std::vector<int>{} : std::vector<int>{1};
            std::vector<int> expected = {2};
            expected.insert(expected.end(), from_b.begin(), from_b.end());
            const auto report = nlohmann::json::parse(file_text(dir.file("report.json")));
            if (keep_going) {
                EXPECT_EQ(r.status, 3);
                EXPECT_THAT(r.out, HasSubstr(b + " ended by \"" + damage.title + "\""));
                EXPECT_THAT(r.out, HasSubstr(b + " kept: not converted completely\r\n"));
                EXPECT_THAT(r.out, HasSubstr("Conversion complete @ "));
                EXPECT_FALSE(std::filesystem::exists(dir.file("c.sg2")));
                expected.push_back(1);
                // A file none of whose traces was read does not use up an SSN.
                EXPECT_EQ(records_of(dir.file("out.qex")).back().ssn, damage.file_level ? 6 : 7);
                EXPECT_EQ(report["inputs"][2]["status"], "converted");
            } else {
                EXPECT_EQ(r.status, 1);
                EXPECT_THAT(r.out, Not(HasSubstr("ended by")));
                EXPECT_THAT(r.out, Not(HasSubstr("Conversion complete @ ")));
                EXPECT_TRUE(std::filesystem::exists(dir.file("c.sg2")));
                EXPECT_EQ(report["inputs"][2]["status"], "not_reached");
            }
            EXPECT_EQ(records_per_ssn(dir.file("out.qex")), expected);
            EXPECT_EQ(report["inputs"][1]["status"], damage.file_level ? "skipped" : "partial");
            EXPECT_THAT(report["inputs"][1]["reason"].get<std::string>(), HasSubstr(damage.title));
            EXPECT_EQ(report["inputs"][1]["deleted"], false);
        }
    }
}

TEST(batch_survey, a_run_without_damage_is_unchanged_by_keep_going) {
    std::string logs[2];
    for (const bool keep_going : {false, true}) {
        TempDir dir;
        write_file(dir.file("a.sg2"), shot(2).build());
        write_file(dir.file("b.sg2"), {'n', 'o'});
        std::vector<std::string> args = {"-o", "out.qex", "a.sg2", "b.sg2"};
        if (keep_going) args.push_back("--keep-going");
        const Outcome r = batch(dir, args);
        // Not every input converted: the run still reaches its end, with status 3.
        EXPECT_EQ(r.status, 3);
        logs[keep_going ? 1 : 0] =
            std::regex_replace(without_times(r.out), std::regex(dir.path().string()), "DIR");
    }
    EXPECT_EQ(logs[0], logs[1]);
    EXPECT_EQ(logs[0],
              "\r\nConversion of DIR/a.sg2 begun at hh:mm:ss\r\n"
              "\r\nConversion of DIR/b.sg2 begun at hh:mm:ss\r\n"
              "DIR/b.sg2 Not valid SEG-2 file-Skipping\r\n"
              "Conversion complete @ hh:mm:ss\r\n");
}

// Each case's files hold 3, 1 and 2 traces, so the SSN runs tell the order.
TEST(batch_survey, files_from_lists) {
    const std::string blank = "with blank.sg2";
    const std::string newline = "with\nnewline.sg2";
    const std::string with_cr = "with cr.sg2\r";
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string list_file;  // written to list.txt
        std::string stdin_text;
    };
    const std::string nul(1, '\0');
    const std::vector<Case> cases = {
        {"lines", {"--files-from", "list.txt"}, "3.sg2\n" + blank + "\n\n2.sg2\n", ""},
        {"standard input", {"--files-from", "-"}, "", "3.sg2\n" + blank + "\n2.sg2"},
        {"NUL-separated",
         {"--null", "--files-from", "list.txt"},
         "3.sg2" + nul + newline + nul + "2.sg2" + nul,
         ""},
        {"after the arguments", {"3.sg2", "--files-from=list.txt"}, blank + "\n2.sg2\n", ""},
        // Lists written on Windows: the CR belongs to the line end.
        {"CR LF lines",
         {"--files-from", "list.txt"},
         "3.sg2\r\n" + blank + "\r\n\r\n2.sg2\r\n",
         ""},
        {"CR LF on standard input", {"--files-from", "-"}, "", "3.sg2\r\n" + blank + "\r\n2.sg2"},
        // With NUL separators a CR is part of the name.
        {"NUL-separated name ending in CR",
         {"--null", "--files-from", "list.txt"},
         "3.sg2" + nul + with_cr + nul + "2.sg2",
         ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        write_file(dir.file("3.sg2"), shot(3).build());
        write_file(dir.file(blank), shot(1).build());
        write_file(dir.file(newline), shot(1).build());
        write_file(dir.file(with_cr), shot(1).build());
        write_file(dir.file("2.sg2"), shot(2).build());
        {
            std::ofstream list(dir.file("list.txt"), std::ios::binary);
            list << c.list_file;
        }
        std::vector<std::string> args = {"-o", "out.qex"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Outcome r = batch(dir, args, c.stdin_text);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(records_per_ssn(dir.file("out.qex")), (std::vector<int>{3, 1, 2}));
    }
}

// A list that cannot be read is a usage error that names the list; a directory too, given by
// name or as standard input.
TEST(batch_survey, a_list_that_cannot_be_read_is_a_usage_error) {
    struct Case {
        const char* list;
        const char* stdin_path;  // relative to the test's folder; nullptr: no input
        const char* named;       // how the message names the list
    };
    const Case cases[] = {
        {"missing.txt", nullptr, "missing.txt"},
        {"folder", nullptr, "folder"},
        {"-", "folder", "- (standard input)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.list);
        TempDir dir;
        std::filesystem::create_directory(dir.file("folder"));
        Streams streams;
        if (c.stdin_path != nullptr) streams.in = dir.file(c.stdin_path);
        const Outcome r = run_program(QUARVENT_BATCH_PROGRAM,
                                      {"-o", "out.qex", "--files-from", c.list}, dir, {}, streams);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_THAT(r.err, HasSubstr(std::string("the list ") + c.named + " cannot be read"));
        EXPECT_FALSE(std::filesystem::exists(dir.file("out.qex")));
    }
}

TEST(batch_survey, recursive_takes_the_seg2_files_in_name_order) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("survey/line2"));
    write_file(dir.file("survey/b.sg2"), shot(2).build());
    write_file(dir.file("survey/a.dat"), shot(1).build());  // recognised by its bytes
    write_file(dir.file("survey/line2/c.sg2"), shot(3).build());
    write_file(dir.file("survey/notes.sg2"), {'n', 'o', 't', 'e', 's'});
    Seg2Builder big_endian = shot(1);
    big_endian.block_id = 0x553A;
    write_file(dir.file("survey/d.sg2"), big_endian.build());
    write_file(dir.file("survey/empty.sg2"), {});
    std::filesystem::create_directory_symlink("..", dir.file("survey/line2/up"));

    const Outcome r = batch(dir, {"-o", "out.qex", "-r", "survey", "--report", "r.json"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(records_per_ssn(dir.file("out.qex")), (std::vector<int>{1, 2, 3}));
    const auto report = nlohmann::json::parse(file_text(dir.file("r.json")));
    ASSERT_EQ(report["inputs"].size(), 3u);
    EXPECT_EQ(report["inputs"][2]["path"], dir.file("survey/line2/c.sg2"));

    // Without -r a directory stays one input, which cannot be converted.
    EXPECT_NE(batch(dir, {"-o", "out2.qex", "survey"}).status, 0);
}

// Instruments number their files 1.dat ... 1001.dat: digits count by their value, so that the
// SSNs follow the shots. Each file's trace count tells where it went.
TEST(batch_survey, recursive_orders_numbered_names_by_their_value) {
    TempDir dir;
    std::filesystem::create_directories(dir.file("survey/2"));
    const std::pair<const char*, int> files[] = {
        {"survey/10.sg2", 4},  {"survey/9.sg2", 3},   {"survey/1.sg2", 1},
        {"survey/2/x.sg2", 2}, {"survey/100.sg2", 5}, {"survey/shot.sg2", 6},
    };
    for (const auto& [name, traces] : files) write_file(dir.file(name), shot(traces).build());
    const Outcome r = batch(dir, {"-o", "out.qex", "-r", "survey"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(records_per_ssn(dir.file("out.qex")), (std::vector<int>{1, 2, 3, 4, 5, 6}));
}

// -r says what it leaves out below the folders: files that are not SEG-2 leave the exit status
// alone (folders hold notes and pictures too); a folder or file it cannot read makes it 3.
// Run as a user without privileges, so that mode 000 holds.
TEST(batch_survey, recursive_tells_what_it_leaves_out) {
    struct Case {
        const char* locked;  // made mode 000, or nullptr
        int unreadable;      // also the exit status's cause: 3 when any
        std::string named;   // with --verbose, on standard error as "reason: path"
    };
    const Case cases[] = {
        {nullptr, 0, ""},
        {nullptr, 0, "not SEG-2 by its first bytes: DIR/survey/sub/damaged.sg2"},
        {"survey/locked", 1, "unreadable: Permission denied: DIR/survey/locked"},
        {"survey/sub/b.sg2", 1, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.locked ? c.locked : "nothing locked") + " " + c.named);
        TempDir dir;
        std::filesystem::create_directories(dir.file("survey/sub"));
        std::filesystem::create_directories(dir.file("survey/locked"));
        write_file(dir.file("survey/a.sg2"), shot(1).build());
        write_file(dir.file("survey/sub/b.sg2"), shot(2).build());
        write_file(dir.file("survey/locked/c.sg2"), shot(3).build());
        write_file(dir.file("survey/notes.txt"), {'n', 'o', 't', 'e', 's'});
        std::vector<std::uint8_t> damaged = shot(1).build();
        damaged[0] = 0;  // a shot whose first byte was damaged
        write_file(dir.file("survey/sub/damaged.sg2"), damaged);
        ::chmod(dir.path().c_str(), 0777);  // the unprivileged run writes its output here
        if (c.locked != nullptr) ::chmod(dir.file(c.locked).c_str(), 0);

        std::vector<std::string> args = {"-o", "out.qex", "-r", "survey", "--report", "r.json"};
        if (!c.named.empty()) args.push_back("--verbose");
        const auto command = unprivileged(QUARVENT_BATCH_PROGRAM, args);
        if (!command) GTEST_SKIP() << "running as root without setpriv to drop privileges";
        const Outcome r =
            run_program(command->front(), {command->begin() + 1, command->end()}, dir);
        const std::string err = std::regex_replace(r.err, std::regex(dir.path().string()), "DIR");
        const int status = c.unreadable > 0 ? 3 : 0;
        EXPECT_EQ(r.status, status) << err;
        EXPECT_THAT(err, HasSubstr("below the folders given: 2 files not SEG-2 by their first "
                                   "bytes, " +
                                   std::to_string(c.unreadable) + " unreadable"));
        if (!c.named.empty()) {
            EXPECT_THAT(err, HasSubstr("quarvent-batch: left out, " + c.named + "\n"));
        }
        const auto report = nlohmann::json::parse(file_text(dir.file("r.json")));
        ASSERT_TRUE(report.contains("left_out"));
        EXPECT_EQ(report["left_out"]["not_seg2"], 2);
        EXPECT_EQ(report["left_out"]["unreadable"], c.unreadable);
        EXPECT_EQ(report["exit_status"], status);
    }
}

// The list may name a file twice and it is converted twice, but not without a word.
TEST(batch_survey, a_file_named_twice_is_said_on_standard_error) {
    struct Case {
        std::vector<std::string> inputs;
        int times;          // 0: no file named twice
        std::size_t files;  // converted, each time counted
    };
    const std::vector<Case> cases = {
        {{"-r", "dir", "dir/x.sg2"}, 2, 3},
        {{"dir/x.sg2", "link.sg2", "dir/../dir/x.sg2"}, 3, 3},
        {{"dir/x.sg2", "dir/y.sg2"}, 0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.inputs));
        TempDir dir;
        std::filesystem::create_directory(dir.file("dir"));
        write_file(dir.file("dir/x.sg2"), shot(1).build());
        write_file(dir.file("dir/y.sg2"), shot(2).build());
        std::filesystem::create_symlink("dir/x.sg2", dir.file("link.sg2"));
        std::vector<std::string> args = {"-o", "out.qex"};
        args.insert(args.end(), c.inputs.begin(), c.inputs.end());
        const Outcome r = batch(dir, args);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(records_per_ssn(dir.file("out.qex")).size(), c.files);
        const std::string note = " among the inputs and is converted each time";
        if (c.times == 0) {
            EXPECT_THAT(r.err, Not(HasSubstr(note)));
        } else {
            EXPECT_THAT(r.err, HasSubstr(dir.file("dir/x.sg2") + " is named " +
                                         std::to_string(c.times) + " times" + note));
        }
    }
}

// One header serves the whole run: a word a file does not state keeps what the file before
// left. --fresh-header-per-file clears it at each file's start instead; within a file words
// still carry from trace to trace. The rows' files are converted in order, in one run with
// and one without the option.
TEST(batch_survey, fresh_header_per_file_keeps_words_of_one_file_out_of_the_next) {
    using Words = std::vector<std::vector<int>>;  // words 5, 8 and 59 of each record
    struct Row {
        std::string file_string;                       // may be empty
        std::vector<std::vector<std::string>> traces;  // each trace's strings
        Words one_header;
        Words fresh;
    };
    const std::string i1 = "SAMPLE_INTERVAL 0.00025";
    const std::string i2 = "SAMPLE_INTERVAL 0.0005";
    const Row rows[] = {
        {"SHOT_SEQUENCE_NUMBER 1050",
         {{"CHANNEL_NUMBER 1", i1}, {"CHANNEL_NUMBER 2", i1}},
         {{1050, 1, 250}, {1050, 2, 250}},
         {{1050, 1, 250}, {1050, 2, 250}}},
        {"", {{i2}, {i2}}, {{1050, 2, 500}, {1050, 2, 500}}, {{0, 1, 500}, {0, 2, 500}}},
        {"SHOT_SEQUENCE_NUMBER 7",
         {{i1}, {}},
         {{7, 2, 250}, {7, 2, 250}},
         {{7, 1, 250}, {7, 2, 250}}},
    };
    for (const bool fresh : {false, true}) {
        SCOPED_TRACE(fresh ? "--fresh-header-per-file" : "one header for the run");
        TempDir dir;
        std::vector<std::string> args = {"-o", "out.qex"};
        if (fresh) args.push_back("--fresh-header-per-file");
        Words expected;
        for (const Row& row : rows) {
            Seg2Builder file;
            if (!row.file_string.empty()) file.file_string(row.file_string);
            for (const auto& strings : row.traces) {
                Seg2Trace trace = Seg2Trace::int16({1, 2, 3, 4});
                for (const std::string& s : strings) trace.with_string(s);
                file.add_trace(trace);
            }
            args.push_back(dir.file("shot" + std::to_string(args.size()) + ".sg2"));
            write_file(args.back(), file.build());
            const Words& words = fresh ? row.fresh : row.one_header;
            expected.insert(expected.end(), words.begin(), words.end());
        }
        ASSERT_EQ(batch(dir, args).status, 0);
        FileSource output;
        ASSERT_FALSE(output.open(dir.file("out.qex")));
        QexReader reader(output);
        Words words;
        while (reader.next()) words.push_back({reader.word(5), reader.word(8), reader.word(59)});
        EXPECT_EQ(words, expected);
    }
}

struct Entry {
    std::uintmax_t size;
    std::int64_t modified_ns;
    bool operator==(const Entry&) const = default;
};

std::map<std::string, Entry> snapshot(const TempDir& dir) {
    std::map<std::string, Entry> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
        struct stat info {};
        ::lstat(entry.path().c_str(), &info);
        files[entry.path().string()] = {
            static_cast<std::uintmax_t>(info.st_size),
            static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
    }
    return files;
}

TEST(batch_survey, dry_run_changes_nothing_and_ends_as_the_run_would) {
    struct Case {
        const char* name;
        std::vector<std::string> options;
        bool existing_output;
        std::vector<const char*> inputs = {"a.sg2", "b.sg2", "c.sg2"};
    };
    const std::vector<Case> cases = {
        {"new output, deleting, keep going", {"--delete-inputs", "--keep-going"}, false},
        {"appending", {"--append", "--keep-going"}, true},
        {"stops at the damaged file", {"--delete-inputs"}, false},
        {"appending refused", {}, true},
        {"no sample interval answer", {"--keep-going"}, false, {"c.sg2", "a.sg2"}},
        {"sample interval answered", {"--sample-interval-ms", "1"}, false, {"c.sg2", "a.sg2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        write_file(dir.file("a.sg2"), shot(2).build());
        write_file(dir.file("b.sg2"), damages()[0].build().build());
        Seg2Builder no_interval;
        no_interval.add_trace(Seg2Trace::int16({1, 2}));
        write_file(dir.file("c.sg2"),
                   c.inputs[0] == std::string("c.sg2") ? no_interval.build() : shot(1).build());
        if (c.existing_output) write_file(dir.file("out.qex"), qex_records({7}, 1));
        std::vector<std::string> args = {"-o", "out.qex"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        for (const char* name : c.inputs) args.push_back(name);
        std::vector<std::string> dry_args = args;
        dry_args.push_back("--dry-run");

        const auto before = snapshot(dir);
        const Outcome dry = batch(dir, dry_args);
        EXPECT_EQ(snapshot(dir), before);
        EXPECT_THAT(dry.err, Not(HasSubstr("\nAppending Data:")));

        const Outcome real = batch(dir, args);
        EXPECT_EQ(dry.status, real.status) << dry.err << real.err;
        // The log is the run's, apart from the deletions it announces.
        const std::string dry_log = std::regex_replace(
            without_times(dry.out), std::regex("[^\r\n]* would be deleted \\(dry run\\)\r\n"), "");
        EXPECT_EQ(dry_log, without_times(real.out));
        if (c.options.size() == 2 && c.options[0] == "--delete-inputs") {
            EXPECT_THAT(dry.out, HasSubstr(dir.file("a.sg2") + " would be deleted (dry run)"));
        }
        if (c.existing_output) {
            EXPECT_THAT(dry.err, HasSubstr("Dry run, the run would ask: Appending Data: "));
        }
    }
}

// --ssn continue: appending runs go on from the SSN after the output's last record, so no
// SSN is used twice; a new output starts at 1.
TEST(batch_survey, ssn_continue_never_repeats_an_ssn_across_appending_runs) {
    TempDir dir;
    write_file(dir.file("a.sg2"), shot(2).build());
    write_file(dir.file("b.sg2"), shot(3).build());
    write_file(dir.file("c.sg2"), shot(1).build());
    write_file(dir.file("empty.qex"), {});
    struct Step {
        std::vector<std::string> args;
        std::vector<int> ssns;  // of the output's records after the step
    };
    const Step steps[] = {
        {{"-o", "out.qex", "--ssn", "continue", "a.sg2"}, {1, 1}},
        {{"-o", "out.qex", "--append", "--ssn=continue", "b.sg2", "c.sg2"}, {1, 1, 2, 2, 2, 3}},
        {{"-o", "out.qex", "--append", "--ssn", "continue", "a.sg2"}, {1, 1, 2, 2, 2, 3, 4, 4}},
        {{"-o", "empty.qex", "--append", "--ssn", "continue", "c.sg2"}, {}},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(::testing::PrintToString(step.args));
        const Outcome r = batch(dir, step.args);
        EXPECT_EQ(r.status, 0) << r.err;
        if (step.ssns.empty()) continue;
        std::vector<int> ssns;
        for (const Record& record : records_of(dir.file("out.qex"))) ssns.push_back(record.ssn);
        EXPECT_EQ(ssns, step.ssns);
    }
    // An existing but empty output holds no record: its run starts at 1.
    ASSERT_EQ(records_of(dir.file("empty.qex")).size(), 1U);
    EXPECT_EQ(records_of(dir.file("empty.qex")).front().ssn, 1);

    // After SSN 32767 there is no next one: the run refuses before it writes anything.
    const std::vector<std::uint8_t> full = qex_records({32767}, 1);
    write_file(dir.file("full.qex"), full);
    const Outcome r = batch(dir, {"-o", "full.qex", "--append", "--ssn", "continue", "a.sg2"});
    EXPECT_EQ(r.status, 1);
    EXPECT_THAT(r.err, HasSubstr("Entered value = 32768"));
    EXPECT_EQ(read_file(dir.file("full.qex")), full);
}

// An existing output is walked record by record before anything goes into it: a file that is
// not QEX is refused untouched, a partial last record is cut back only with
// --trim-partial-record, and --ssn continue takes the SSN after the last whole record.
TEST(batch_survey, an_existing_output_is_walked_before_anything_is_appended) {
    const std::vector<std::uint8_t> whole = qex_records({4, 4, 5}, 4);  // 3 records, 256 bytes each
    const std::vector<std::uint8_t> cut(whole.begin(), whole.end() - 100);
    const std::string text = "line 7, shots 1001 to 1040\n";
    struct Row {
        const char* name;
        std::vector<std::uint8_t> bytes;
        bool pipe;  // the output is a named pipe
        std::vector<std::string> options;
        int status;
        std::vector<std::string> in_err;
        std::vector<int> ssns;  // of the output's records afterwards; empty: left untouched
    };
    const std::string refused = "out.qex is not a QEX file; nothing was written";
    const std::vector<Row> rows = {
        {"a SEG-2 recording", shot(20).build(), false, {}, 1, {refused, "SEG-2"}, {}},
        {"a text file", {text.begin(), text.end()}, false, {}, 1, {refused}, {}},
        {"a named pipe", {}, true, {}, 1, {refused, "not a regular file"}, {}},
        {"a partial last record",
         cut,
         false,
         {},
         1,
         {"2 records (512 bytes) stay and 156 bytes go", "--trim-partial-record"},
         {}},
        {"a partial last record, cut back",
         cut,
         false,
         {"--trim-partial-record"},
         0,
         {},
         {4, 4, 5, 5}},
        {"whole records", whole, false, {}, 0, {}, {4, 4, 5, 6, 6}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        write_file(dir.file("a.sg2"), shot(2).build());
        if (row.pipe) {
            ASSERT_EQ(::mkfifo(dir.file("out.qex").c_str(), 0600), 0);
        } else {
            write_file(dir.file("out.qex"), row.bytes);
        }
        std::vector<std::string> args = {"-o", "out.qex", "--append", "--ssn", "continue"};
        args.insert(args.end(), row.options.begin(), row.options.end());
        args.push_back("a.sg2");

        const Outcome r = batch(dir, args);
        EXPECT_EQ(r.status, row.status) << r.err;
        for (const std::string& part : row.in_err) EXPECT_THAT(r.err, HasSubstr(part));
        if (row.ssns.empty()) {
            if (!row.pipe) {
                EXPECT_EQ(read_file(dir.file("out.qex")), row.bytes);
            }
            EXPECT_THAT(r.out, Not(HasSubstr("Conversion of")));
            continue;
        }
        std::vector<int> ssns;
        for (const Record& record : records_of(dir.file("out.qex"))) ssns.push_back(record.ssn);
        EXPECT_EQ(ssns, row.ssns);
    }
}

TEST(batch_survey, report_matches_the_output_read_back) {
    TempDir dir;
    write_file(dir.file("a.sg2"), shot(3).build());
    write_file(dir.file("b.sg2"), {'n', 'o'});
    Seg2Builder partly = shot(3);
    partly.traces[2].block_id = 0x1234;
    write_file(dir.file("c.sg2"), partly.build());
    write_file(dir.file("d.sg2"), shot(1).build());
    write_file(dir.file("out.qex"), {});
    const Outcome r = batch(dir, {"-o", "out.qex", "--append", "--ssn", "40", "--report", "r.json",
                                  "a.sg2", "b.sg2", "c.sg2", "d.sg2"});
    EXPECT_EQ(r.status, 3);
    EXPECT_THAT(r.err, HasSubstr("4 inputs: 2 converted completely, 1 kept partly converted, 1 "
                                 "skipped at open, 0 not reached\n"));
    EXPECT_THAT(r.err, HasSubstr("6 traces written, 1 skipped; "));

    const auto report = nlohmann::json::parse(file_text(dir.file("r.json")));
    const std::vector<Record> records = records_of(dir.file("out.qex"));
    EXPECT_EQ(report["exit_status"], 3);
    EXPECT_EQ(report["outcome"], "completed");
    EXPECT_EQ(report["bytes_written"], std::filesystem::file_size(dir.file("out.qex")));
    EXPECT_EQ(report["traces_written"], records.size());
    EXPECT_EQ(report["traces_skipped"], 1);
    EXPECT_EQ(report["first_ssn"], records.front().ssn);
    EXPECT_EQ(report["last_ssn"], records.back().ssn);
    EXPECT_EQ(report["next_ssn"], 43);
    EXPECT_EQ(report["files"]["partial"], 1);
    // Each input's records follow the previous input's, with its own SSN.
    std::size_t at = 0;
    for (const auto& input : report["inputs"]) {
        SCOPED_TRACE(input.dump());
        const int written = input["traces_written"];
        if (written == 0) {
            EXPECT_TRUE(input["first_ssn"].is_null());
            continue;
        }
        EXPECT_EQ(input["first_ssn"], records.at(at).ssn);
        EXPECT_EQ(input["last_ssn"], records.at(at + written - 1).ssn);
        at += written;
    }
    EXPECT_EQ(at, records.size());
    EXPECT_EQ(report["inputs"][0]["status"], "converted");
    EXPECT_EQ(report["inputs"][1]["status"], "skipped");
    EXPECT_EQ(report["inputs"][1]["reason"], "not a SEG-2 file");
    EXPECT_EQ(report["inputs"][2]["status"], "partial");
    EXPECT_EQ(report["inputs"][2]["reason"], "1 of 3 traces skipped");
    EXPECT_EQ(report["inputs"][2]["path"], dir.file("c.sg2"));
    // Written whole under its name: no temporary file is left beside it.
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        EXPECT_THAT(entry.path().filename().string(), Not(HasSubstr("r.json.")));
    }
}

TEST(batch_survey, exit_statuses) {
    struct Case {
        const char* name;
        std::vector<std::string> args;
        int status;
    };
    const std::vector<Case> cases = {
        {"every input converted", {"a.sg2"}, 0},
        {"one not SEG-2", {"a.sg2", "bad.sg2"}, 3},
        {"a file with no trace", {"a.sg2", "none.sg2"}, 3},
        {"ended at a check", {"a.sg2", "missing.sg2"}, 1},
        {"stopped by a damaged file", {"a.sg2", "damaged.sg2"}, 1},
        {"kept going past it", {"--keep-going", "a.sg2", "damaged.sg2"}, 3},
        {"no input", {}, 2},
        {"report is the output", {"--report", "out.qex", "a.sg2"}, 2},
        {"an empty list", {"--files-from", "empty.txt"}, 2},
        {"a folder without recordings", {"-r", "folder"}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        write_file(dir.file("a.sg2"), shot(1).build());
        write_file(dir.file("bad.sg2"), {'x'});
        write_file(dir.file("none.sg2"), Seg2Builder{}.build());
        write_file(dir.file("damaged.sg2"), damages()[1].build().build());
        write_file(dir.file("empty.txt"), {});
        std::filesystem::create_directory(dir.file("folder"));
        std::vector<std::string> args = {"-o", "out.qex"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Outcome r = batch(dir, args);
        EXPECT_EQ(r.status, c.status);
        // The window's message about its Files menu means nothing here.
        EXPECT_THAT(r.err, Not(HasSubstr("Files menu")));
    }
    TempDir dir;
    const Outcome help = batch(dir, {"--help"});
    EXPECT_THAT(help.out, HasSubstr("Exit status:"));
    EXPECT_THAT(help.out, HasSubstr("  3  the run reached its end, but at least one input"));
    EXPECT_THAT(help.out, HasSubstr("     keyword file could not be loaded"));
}

// The report is renamed into place after the run: refused before anything is opened when it
// would take the place of the output or of an input, however the paths are spelt, or when
// its folder cannot take it. Nothing is converted, created or deleted.
TEST(batch_survey, a_report_that_would_replace_a_file_of_the_run_is_refused) {
    struct Row {
        const char* name;
        std::vector<std::string> args;
        bool output_exists;
    };
    const std::vector<Row> rows = {
        {"output through sub/..",
         {"-q", "-o", "sub/../out.qex", "--report", "out.qex", "--delete-inputs", "a.sg2", "b.sg2"},
         false},
        {"existing output through sub/..",
         {"-q", "-o", "sub/../out.qex", "--report", "out.qex", "--delete-inputs", "a.sg2", "b.sg2"},
         true},
        {"output through a link to its folder",
         {"-o", "link/out.qex", "--report", "sub/out.qex", "a.sg2"},
         false},
        {"an input", {"-o", "out.qex", "--report", "b.sg2", "a.sg2", "b.sg2"}, false},
        {"an input, dry run",
         {"-o", "out.qex", "--report", "b.sg2", "--dry-run", "a.sg2", "b.sg2"},
         false},
        {"an input through a link",
         {"-o", "out.qex", "--report", "link/../sub/c.sg2", "sub/c.sg2"},
         false},
        {"a folder that does not exist",
         {"-o", "out.qex", "--report", "nodir/r.json", "a.sg2"},
         false},
        {"a folder that is a file", {"-o", "out.qex", "--report", "a.sg2/r.json", "a.sg2"}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        std::filesystem::create_directory(dir.file("sub"));
        std::filesystem::create_directory_symlink("sub", dir.file("link"));
        write_file(dir.file("a.sg2"), shot(2).build());
        write_file(dir.file("b.sg2"), shot(1).build());
        write_file(dir.file("sub/c.sg2"), shot(1).build());
        if (row.output_exists) write_file(dir.file("out.qex"), {7, 7, 7});
        std::map<std::string, std::vector<std::uint8_t>> before;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
            if (entry.is_regular_file()) before[entry.path().string()] = read_file(entry.path());
        }

        const Outcome r = batch(dir, row.args);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_THAT(r.err, HasSubstr("quarvent-batch: the report "));
        std::map<std::string, std::vector<std::uint8_t>> after;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
            if (entry.is_regular_file()) after[entry.path().string()] = read_file(entry.path());
        }
        EXPECT_EQ(after, before);
    }
}

// No SSN follows 32767: the report's next_ssn is null once a file has used it.
TEST(batch_survey, no_next_ssn_after_the_last) {
    const std::pair<const char*, nlohmann::json> rows[] = {
        {"32766", 32767},
        {"32767", nullptr},
    };
    for (const auto& [ssn, next] : rows) {
        SCOPED_TRACE(ssn);
        TempDir dir;
        write_file(dir.file("a.sg2"), shot(1).build());
        const Outcome r =
            batch(dir, {"-q", "-o", "out.qex", "--ssn", ssn, "--report", "r.json", "a.sg2"});
        EXPECT_EQ(r.status, 0) << r.err;
        const auto report = nlohmann::json::parse(file_text(dir.file("r.json")));
        EXPECT_EQ(report["last_ssn"], std::atoi(ssn));
        EXPECT_EQ(report["next_ssn"], next);
    }
}

}  // namespace
}  // namespace quarvent::testing
