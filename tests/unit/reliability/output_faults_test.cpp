// The output on a file size limit, on a full device, and in a directory that cannot take it:
// the run stops with "Output Write Error" (or does not start), the output holds only complete
// records, and no input whose traces are not all in the output is deleted. A close or a cut-back
// that fails is reported too.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <system_error>
#include <vector>

#include "common/status_log.hpp"
#include "engine/conversion_run.hpp"
#include "keywords/header_translation.hpp"
#include "tests/support/program_run.hpp"
#include "tests/support/scripted_ui.hpp"
#include "tests/support/seg2_builder.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/unit/reliability/reliability_support.hpp"

namespace quarvent {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using testing::Reply;
using testing::ScriptedUi;
using testing::TempDir;

constexpr int files = 4;
constexpr int traces = 3;
constexpr int samples = 500;
constexpr std::uint64_t record_bytes = 240 + 4 * samples;

std::vector<std::string> write_inputs(const TempDir& dir) {
    std::vector<std::string> inputs;
    for (int f = 1; f <= files; ++f) {
        inputs.push_back(dir.file("shot" + std::to_string(f) + ".sg2"));
        testing::write_file(inputs.back(), testing::numbered_input(f, traces, samples));
    }
    return inputs;
}

// Every record is the next trace in order and carries that trace's samples.
void expect_records_in_order(const testing::QexFile& qex) {
    for (std::size_t i = 0; i < qex.records.size(); ++i) {
        const auto& record = qex.records[i];
        const int file = static_cast<int>(i) / traces + 1;
        const int t = static_cast<int>(i) % traces + 1;
        SCOPED_TRACE("record " + std::to_string(i + 1));
        EXPECT_EQ(record.word(92), file);  // the SSN starts at 1
        EXPECT_EQ(record.word(14), t);
        ASSERT_EQ(record.samples.size(), static_cast<std::size_t>(samples));
        for (int k = 1; k <= samples; ++k) {
            ASSERT_EQ(record.samples[static_cast<std::size_t>(k - 1)],
                      testing::numbered_sample(file, t, k));
        }
    }
}

TEST(output_faults, a_file_size_limit_stops_the_run_with_whole_records_only) {
    struct Row {
        const char* name;
        std::uint64_t limit;
    };
    const Row rows[] = {
        {"inside the first header", 100},
        {"at the end of the first header", 240},
        {"inside the first samples", 1000},
        {"at the end of the first record", record_bytes},
        {"one byte into the second record", record_bytes + 1},
        {"at the end of the first file", traces * record_bytes},
        {"inside the second file's last record", 2 * traces * record_bytes - 7},
        {"at the end of the third file", 3 * traces * record_bytes},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        const std::vector<std::string> inputs = write_inputs(dir);
        const std::string output = dir.file("out.qex");
        std::vector<std::string> args = {"-q", "-k",   testing::keyword_file(),
                                         "-o", output, "--delete-inputs"};
        args.insert(args.end(), inputs.begin(), inputs.end());

        const testing::ChildResult child = testing::run_child(
            testing::batch_program(), args, {.file_size_limit = row.limit, .kill_after = {}});
        EXPECT_EQ(child.signal, 0);
        EXPECT_EQ(child.exit_status, 1);
        EXPECT_THAT(child.err,
                    HasSubstr("Output Write Error: The output file could not be written:"));
        EXPECT_THAT(child.err, HasSubstr("File too large"));
        EXPECT_THAT(child.out, Not(HasSubstr("Conversion complete")));

        const std::uint64_t whole = row.limit / record_bytes;
        const std::vector<std::uint8_t> bytes = testing::file_bytes(output);
        EXPECT_EQ(bytes.size(), whole * record_bytes);
        const testing::QexFile qex = testing::read_qex(bytes);
        EXPECT_EQ(qex.trailing_bytes, 0U);
        EXPECT_EQ(qex.records.size(), whole);
        expect_records_in_order(qex);

        // Exactly the files whose every trace is in the output are gone.
        for (int f = 1; f <= files; ++f) {
            const bool converted = static_cast<std::uint64_t>(f * traces) <= whole;
            EXPECT_EQ(std::filesystem::exists(inputs[static_cast<std::size_t>(f - 1)]), !converted)
                << "input " << f;
        }
    }
}

// A file system of one page, mounted for the test: the output on it is full after 4096 bytes.
// (A device such as /dev/full is no output: the run refuses anything but a regular file.)
class FullDisk {
public:
    explicit FullDisk(const std::string& at) : at_(at) {
        std::filesystem::create_directories(at);
        mounted_ = ::mount("tmpfs", at.c_str(), "tmpfs", 0, "size=4k") == 0;
    }
    ~FullDisk() {
        if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }

private:
    std::string at_;
    bool mounted_ = false;
};

TEST(output_faults, a_full_device_stops_the_run_before_any_input_is_deleted) {
    TempDir dir;
    const FullDisk disk(dir.file("full"));
    if (!disk.mounted()) GTEST_SKIP() << "a tmpfs cannot be mounted here: " << std::strerror(errno);
    const std::vector<std::string> inputs = write_inputs(dir);
    const std::string output = dir.file("full/out.qex");
    std::vector<std::string> args = {"-q",   "-k",       testing::keyword_file(), "-o",
                                     output, "--append", "--delete-inputs"};
    args.insert(args.end(), inputs.begin(), inputs.end());

    const testing::ChildResult child = testing::run_child(testing::batch_program(), args);
    EXPECT_EQ(child.exit_status, 1);
    EXPECT_THAT(child.err, HasSubstr("Output Write Error: The output file could not be written:\n" +
                                     output + "\n"));
    EXPECT_THAT(child.err, HasSubstr("No space left on device"));
    EXPECT_THAT(child.out, HasSubstr("Conversion of " + inputs[0]));
    EXPECT_THAT(child.out, Not(HasSubstr("Conversion of " + inputs[1])));
    for (const std::string& input : inputs) EXPECT_TRUE(std::filesystem::exists(input)) << input;
    EXPECT_EQ(std::filesystem::file_size(output) % record_bytes, 0U);
}

// The output cannot be opened: the command ends before the SSN prompt, nothing is written
// and no input is touched. The run goes as an unprivileged user, whom a read-only directory
// stops (root it would not).
TEST(output_faults, an_output_that_cannot_be_opened_ends_the_command_untouched) {
    enum class Place { parent_is_a_file, output_is_a_directory, read_only_directory };
    struct Row {
        const char* name;
        Place place;
        const char* reason;
    };
    const Row rows[] = {
        {"parent is a file", Place::parent_is_a_file, "Not a directory"},
        {"output is a directory", Place::output_is_a_directory, "Is a directory"},
        {"parent directory is read-only", Place::read_only_directory, "Permission denied"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        const std::vector<std::string> inputs = write_inputs(dir);
        const std::string out_dir = dir.file("out");
        std::string output = out_dir + "/run.qex";
        bool output_exists = false;
        switch (row.place) {
            case Place::parent_is_a_file:
                testing::write_file(out_dir, {1, 2, 3});
                break;
            case Place::output_is_a_directory:
                std::filesystem::create_directories(out_dir);
                output = out_dir;
                output_exists = true;
                break;
            case Place::read_only_directory:
                std::filesystem::create_directories(out_dir);
                std::filesystem::permissions(out_dir, std::filesystem::perms::owner_read |
                                                          std::filesystem::perms::owner_exec |
                                                          std::filesystem::perms::others_read |
                                                          std::filesystem::perms::others_exec);
                break;
        }
        testing::open_to_everyone(dir.path().string());

        const int failures = testing::run_unprivileged([&] {
            ScriptedUi ui;
            if (output_exists) ui.queue(Reply::button(Answer::ok));  // "Appending Data"
            ui.queue(Reply::button(Answer::yes));  // "Input Files Will Be Deleted"
            ui.queue(Reply::button(Answer::ok));   // "QUARVENT FILE-ERROR"
            StatusLog log(ui);
            HeaderTranslator strings(testing::shipped_keywords(), log, ui);
            RunRequest request;
            request.inputs = inputs;
            request.output_file_name = output;
            request.options.delete_inputs = true;

            EXPECT_EQ(convert_run(request, ui, log, strings), RunOutcome::ended_at_check);
            ASSERT_FALSE(ui.dialogs().empty());
            EXPECT_EQ(ui.dialogs().back().title, "QUARVENT FILE-ERROR");
            EXPECT_THAT(ui.dialogs().back().text, HasSubstr(row.reason));
        });
        EXPECT_EQ(failures, 0);
        EXPECT_FALSE(std::filesystem::exists(out_dir + "/run.qex"));
        for (const std::string& input : inputs) {
            EXPECT_TRUE(std::filesystem::exists(input)) << input;
        }
    }
}

// The output file is removed while the run goes on (the run keeps writing to the open but
// nameless file): no input may be deleted on the strength of records that nobody can reach.
TEST(output_faults, an_output_removed_during_the_run_stops_it_before_any_input_is_deleted) {
    TempDir dir;
    const std::vector<std::string> inputs = write_inputs(dir);
    const std::string output = dir.file("out.qex");
    ScriptedUi ui{Reply::button(Answer::yes), Reply::text("1"),  // deletion; SSN
                  Reply::button(Answer::ok)};                    // "Output Write Error"
    ui.on_yield = [&](int call) {
        if (call == 1) std::filesystem::remove(output);
        return true;
    };
    StatusLog log(ui);
    HeaderTranslator strings(testing::shipped_keywords(), log, ui);
    RunRequest request;
    request.inputs = inputs;
    request.output_file_name = output;
    request.options.delete_inputs = true;

    EXPECT_EQ(convert_run(request, ui, log, strings), RunOutcome::stopped);
    ASSERT_FALSE(ui.dialogs().empty());
    EXPECT_EQ(ui.dialogs().back().title, "Output Write Error");
    for (const std::string& input : inputs) EXPECT_TRUE(std::filesystem::exists(input)) << input;
}

// Failures put in the place of the output's system calls, for the errors that real file
// systems report seldom: a close that reports a deferred write error, a cut-back that fails.
struct InjectedFaults {
    std::uint64_t writable = ~std::uint64_t{0};  // bytes that reach the file before writes fail
    int truncate_interruptions = 0;              // EINTR results before the cut-back's outcome
    int truncate_error = 0;                      // 0: the cut-back succeeds
    int close_error = 0;                         // 0: the close succeeds
    int fsync_error = 0;                         // 0: the sync succeeds
};
InjectedFaults injected;

ssize_t faulty_pwrite(int fd, const void* bytes, std::size_t count, off_t offset) {
    if (injected.writable == 0) {
        errno = ENOSPC;
        return -1;
    }
    const ssize_t wrote = ::pwrite(
        fd, bytes, static_cast<std::size_t>(std::min<std::uint64_t>(count, injected.writable)),
        offset);
    if (wrote > 0) injected.writable -= static_cast<std::uint64_t>(wrote);
    return wrote;
}

int faulty_ftruncate(int fd, off_t length) {
    if (injected.truncate_interruptions > 0) {
        --injected.truncate_interruptions;
        errno = EINTR;
        return -1;
    }
    if (injected.truncate_error != 0) {
        errno = injected.truncate_error;
        return -1;
    }
    return ::ftruncate(fd, length);
}

int faulty_fsync(int fd) {
    if (injected.fsync_error != 0) {
        errno = injected.fsync_error;
        return -1;
    }
    return ::fsync(fd);
}

int faulty_close(int fd) {
    const int result = ::close(fd);
    if (result == 0 && injected.close_error != 0) {
        errno = injected.close_error;
        return -1;
    }
    return result;
}

// A close or a cut-back that fails is an "Output Write Error": the run does not complete, and
// the box says when part of a record stays at the output's end.
TEST(output_faults, failures_of_the_close_and_of_the_cut_back_are_told) {
    struct Row {
        const char* name;
        InjectedFaults faults;
        std::uint64_t output_bytes;
        std::vector<std::string> in_text;
    };
    const std::string whole_records =
        "It keeps every trace record that reached it whole; the conversion stops.";
    const Row rows[] = {
        {"the close reports a deferred write error",
         {.close_error = EIO},
         files * traces * record_bytes,
         {"Input/output error", whole_records}},
        {"a write fails inside a record, the cut-back fails",
         {.writable = record_bytes + 100, .truncate_error = EIO},
         record_bytes + 100,
         {"No space left on device",
          "Part of a trace record stays at its end: cutting it off failed (Input/output "
          "error).\r\nThe conversion stops."}},
        {"a write fails inside a record, the cut-back is interrupted, then done",
         {.writable = record_bytes + 100, .truncate_interruptions = 2},
         record_bytes,
         {"No space left on device", whole_records}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        injected = row.faults;
        TempDir dir;
        ScriptedUi ui{Reply::text("1"), Reply::button(Answer::ok)};  // SSN; the error box
        StatusLog log(ui);
        HeaderTranslator strings(testing::shipped_keywords(), log, ui);
        RunRequest request;
        request.inputs = write_inputs(dir);
        request.output_file_name = dir.file("out.qex");
        request.output_calls = {faulty_pwrite, faulty_ftruncate, faulty_close, ::fsync};

        EXPECT_EQ(convert_run(request, ui, log, strings), RunOutcome::stopped);
        ASSERT_FALSE(ui.dialogs().empty());
        EXPECT_EQ(ui.dialogs().back().title, "Output Write Error");
        for (const std::string& text : row.in_text) {
            EXPECT_THAT(ui.dialogs().back().text, HasSubstr(text));
        }
        EXPECT_THAT(log.text(), Not(HasSubstr("Conversion complete")));
        EXPECT_EQ(std::filesystem::file_size(request.output_file_name), row.output_bytes);
    }
    injected = {};
}

// A run stopped by the operator while converted inputs wait for their sync: a write of the
// records gathered before the stop, or the sync itself, that fails then is an "Output Write
// Error" like any other; every waiting input is kept and says why, and the stopped input
// counts only the records the output holds.
TEST(output_faults, a_failure_while_the_run_stops_is_told) {
    struct Row {
        const char* name;
        InjectedFaults faults;
        std::string reason;   // of the first input, kept
        int second_written;   // records of the stopped second input in the output
        std::string in_text;  // of the box
    };
    const Row rows[] = {
        {"the write of the last record fails",
         {.writable = traces * record_bytes},
         "kept: the output could not be written when the run stopped: No space left on device",
         0,
         "No space left on device"},
        {"the sync before the deletion fails",
         {.fsync_error = EIO},
         "kept: the output could not be synced to the disk: Input/output error",
         1,
         "Input/output error"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        injected = row.faults;
        TempDir dir;
        ScriptedUi ui{Reply::button(Answer::yes), Reply::text("1"),  // deletion; SSN
                      Reply::button(Answer::ok)};                    // "Output Write Error"
        ui.on_yield = [](int call) { return call != traces + 1; };   // Stop in the second file
        StatusLog log(ui);
        HeaderTranslator strings(testing::shipped_keywords(), log, ui);
        RunRequest request;
        request.inputs = write_inputs(dir);
        request.output_file_name = dir.file("out.qex");
        request.options.delete_inputs = true;
        request.output_calls = {faulty_pwrite, faulty_ftruncate, faulty_close, faulty_fsync};

        const RunReport report = convert_run_reporting(request, ui, log, strings);
        EXPECT_EQ(report.outcome, RunOutcome::stopped);
        ASSERT_FALSE(ui.dialogs().empty());
        EXPECT_EQ(ui.dialogs().back().title, "Output Write Error");
        EXPECT_THAT(ui.dialogs().back().text, HasSubstr(row.in_text));
        for (const std::string& input : request.inputs) {
            EXPECT_TRUE(std::filesystem::exists(input)) << input;
        }
        ASSERT_EQ(report.inputs.size(), request.inputs.size());
        EXPECT_EQ(report.inputs[0].reason, row.reason);
        EXPECT_FALSE(report.inputs[0].deleted);
        EXPECT_EQ(report.inputs[1].traces_written, row.second_written);
        EXPECT_EQ(std::filesystem::file_size(request.output_file_name),
                  (traces + static_cast<std::uint64_t>(row.second_written)) * record_bytes);
    }
    injected = {};
}

// The output on a device that fills up part way through an input: the report counts for each
// input exactly the records the output holds, calls none converted that is not whole in it,
// and every input not whole in it is kept.
TEST(output_faults, a_full_device_is_reported_as_what_the_output_holds) {
    TempDir dir;
    constexpr int shots = 12;
    constexpr int shot_traces = 24;
    const std::string device_dir = dir.file("full");
    const testing::SmallDevice device(device_dir, 256 * 1024);
    if (!device.mounted()) GTEST_SKIP() << device.failure();
    std::vector<std::string> args = {"-q",
                                     "-k",
                                     testing::keyword_file(),
                                     "-o",
                                     device_dir + "/out.qex",
                                     "--delete-inputs",
                                     "--report",
                                     dir.file("r.json")};
    std::vector<std::string> inputs;
    for (int f = 1; f <= shots; ++f) {
        inputs.push_back(dir.file("shot" + std::to_string(100 + f) + ".sg2"));
        testing::write_file(inputs.back(), testing::numbered_input(f, shot_traces, samples));
        args.push_back(inputs.back());
    }
    const testing::ChildResult child = testing::run_child(testing::batch_program(), args);
    EXPECT_EQ(child.exit_status, 1);
    EXPECT_THAT(child.err, HasSubstr("No space left on device"));

    const testing::QexFile qex = testing::read_qex(testing::file_bytes(device_dir + "/out.qex"));
    EXPECT_EQ(qex.trailing_bytes, 0U);
    std::vector<int> held(shots + 1, 0);  // records of each SSN, which is the shot's number
    for (const auto& record : qex.records) ++held.at(static_cast<std::size_t>(record.word(92)));
    const auto report = nlohmann::json::parse(testing::file_text(dir.file("r.json")));
    EXPECT_EQ(report["traces_written"], qex.records.size());
    EXPECT_EQ(report["bytes_written"], qex.records.size() * record_bytes);
    bool cut_short = false;
    for (int f = 1; f <= shots; ++f) {
        SCOPED_TRACE("shot " + std::to_string(f));
        const auto& input = report["inputs"][static_cast<std::size_t>(f - 1)];
        const int in_output = held[static_cast<std::size_t>(f)];
        EXPECT_EQ(input["traces_written"], in_output);
        const bool whole = in_output == shot_traces;
        cut_short = cut_short || (in_output > 0 && !whole);
        EXPECT_EQ(input["status"] == "converted", whole);
        EXPECT_EQ(std::filesystem::exists(inputs[static_cast<std::size_t>(f - 1)]), !whole);
    }
    EXPECT_TRUE(cut_short) << "the device filled up between two inputs";
}

// A folder the user may write into but not read, as a shared drop box (mode 0333): the
// output's entry is made durable without opening the folder, and the run completes.
TEST(output_faults, a_write_only_output_folder_takes_the_whole_run) {
    TempDir dir;
    const std::vector<std::string> inputs = write_inputs(dir);
    const std::string drop = dir.file("drop");
    std::filesystem::create_directories(drop);
    std::filesystem::permissions(drop, static_cast<std::filesystem::perms>(0333));
    testing::open_to_everyone(dir.path().string());
    const KeywordTable& keywords = testing::shipped_keywords();  // read before the fork

    const int failures = testing::run_unprivileged([&] {
        ScriptedUi ui{Reply::button(Answer::yes), Reply::text("1")};  // deletion; SSN
        StatusLog log(ui);
        HeaderTranslator strings(keywords, log, ui);
        RunRequest request;
        request.inputs = inputs;
        request.output_file_name = drop + "/out.qex";
        request.options.delete_inputs = true;
        EXPECT_EQ(convert_run(request, ui, log, strings), RunOutcome::completed);
        for (const auto& dialog : ui.dialogs()) {
            EXPECT_NE(dialog.title, "Output Write Error") << dialog.text;
        }
    });
    EXPECT_EQ(failures, 0);
    const testing::QexFile qex = testing::read_qex(testing::file_bytes(drop + "/out.qex"));
    EXPECT_EQ(qex.records.size(), static_cast<std::size_t>(files * traces));
    expect_records_in_order(qex);
    for (const std::string& input : inputs) EXPECT_FALSE(std::filesystem::exists(input)) << input;
}

}  // namespace
}  // namespace quarvent
