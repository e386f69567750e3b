// An input that goes away, or cannot be read, after the run's checks found it: the run logs
// the open failure (or the damage) for that file, keeps it, and goes on with the next.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "common/byte_source.hpp"
#include "common/status_log.hpp"
#include "engine/conversion_run.hpp"
#include "keywords/header_translation.hpp"
#include "tests/support/scripted_ui.hpp"
#include "tests/support/seg2_builder.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/unit/reliability/reliability_support.hpp"

namespace quarvent {
namespace {

using ::testing::HasSubstr;
using testing::Reply;
using testing::ScriptedUi;
using testing::TempDir;

namespace fs = std::filesystem;

constexpr int traces = 3;
constexpr int samples = 50;

std::string reason_text(int error) {
    return std::error_code(error, std::generic_category()).message();
}

struct Row {
    const char* name;
    int at_yield;  // after this many records the change is made (3 = the end of A's turn)
    std::function<void(const std::string& path)> change;
    std::string entry;  // the log entry B gets, with B's path in place of %
    int b_records;      // records from B that reach the output
    int c_ssn;          // B advances the SSN only when it was read as SEG-2
    bool b_remains;     // B (or what took its place) is still there afterwards
};

TEST(input_faults, an_input_that_goes_away_before_its_turn_is_logged_and_kept) {
    const Row rows[] = {
        {"removed", 1, [](const std::string& p) { fs::remove(p); },
         "An " + reason_text(ENOENT) + " occured on file % skipping \r\n", 0, 2, false},
        {"replaced by a directory", 2,
         [](const std::string& p) {
             fs::remove(p);
             fs::create_directory(p);
         },
         "An " + reason_text(EISDIR) + " occured on file % skipping \r\n", 0, 2, true},
        {"replaced by a link to itself", 3,
         [](const std::string& p) {
             fs::remove(p);
             fs::create_symlink(p, p);
         },
         "An " + reason_text(ELOOP) + " occured on file % skipping \r\n", 0, 2, true},
        {"cut inside its pointer table", 1, [](const std::string& p) { fs::resize_file(p, 34); },
         "% Not valid SEG-2 file-Skipping\r\n", 0, 2, true},
        {"cut during its own turn", 4, [](const std::string& p) { fs::resize_file(p, 0); },
         "% truncated trace 2 Skipping\r\n", 1, 3, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        TempDir dir;
        const std::string a = dir.file("a.sg2");
        const std::string b = dir.file("b.sg2");
        const std::string c = dir.file("c.sg2");
        testing::write_file(a, testing::numbered_input(1, traces, samples));
        testing::write_file(b, testing::numbered_input(2, traces, samples));
        testing::write_file(c, testing::numbered_input(3, traces, samples));
        const std::string output = dir.file("out.qex");

        ScriptedUi ui{Reply::button(Answer::yes), Reply::text("1")};  // deletion; SSN
        ui.on_yield = [&](int call) {
            if (call == row.at_yield) {
                row.change(b);
                // A file in its turn is looked at again once the recheck interval is over.
                std::this_thread::sleep_for(FileSource::recheck_interval +
                                            std::chrono::milliseconds(1));
            }
            return true;
        };
        StatusLog log(ui);
        HeaderTranslator strings(testing::shipped_keywords(), log, ui);
        RunRequest request;
        request.inputs = {a, b, c};
        request.output_file_name = output;
        request.options.delete_inputs = true;
        request.time_of_day = [] { return std::string("10:00:00"); };

        EXPECT_EQ(convert_run(request, ui, log, strings), RunOutcome::completed);
        std::string entry = row.entry;
        entry.replace(entry.find('%'), 1, b);
        EXPECT_THAT(log.text(), HasSubstr(entry));
        EXPECT_THAT(log.text(), HasSubstr(b + " kept: not converted completely\r\n"));
        EXPECT_THAT(log.text(), HasSubstr("Conversion complete @ 10:00:00\r\n"));

        // A and C are whole in the output and deleted; of B only what was read before.
        const testing::QexFile qex = testing::read_qex(testing::file_bytes(output));
        EXPECT_EQ(qex.trailing_bytes, 0U);
        ASSERT_EQ(qex.records.size(), static_cast<std::size_t>(2 * traces + row.b_records));
        for (const auto& record : qex.records) {
            const int file = static_cast<int>(record.samples.at(0));
            EXPECT_EQ(record.word(14), static_cast<int>(record.samples.at(1)));
            EXPECT_EQ(record.word(92), file == 3 ? row.c_ssn : file);
        }
        EXPECT_FALSE(fs::exists(a));
        EXPECT_FALSE(fs::exists(c));
        EXPECT_EQ(fs::exists(fs::symlink_status(b)), row.b_remains);
    }
}

// Without read permission the open fails like any other. Root is not stopped by permissions,
// so the run goes on as an unprivileged user.
TEST(input_faults, an_input_made_unreadable_before_its_turn_is_logged_and_kept) {
    TempDir dir;
    testing::open_to_everyone(dir.path().string());
    const int failures = testing::run_unprivileged([&] {
        const std::string a = dir.file("a.sg2");
        const std::string b = dir.file("b.sg2");
        testing::write_file(a, testing::numbered_input(1, traces, samples));
        testing::write_file(b, testing::numbered_input(2, traces, samples));
        ScriptedUi ui{Reply::button(Answer::yes), Reply::text("1")};  // deletion; SSN
        ui.on_yield = [&](int call) {
            if (call == 1) fs::permissions(b, fs::perms::none);
            return true;
        };
        StatusLog log(ui);
        HeaderTranslator strings(testing::shipped_keywords(), log, ui);
        RunRequest request;
        request.inputs = {a, b};
        request.output_file_name = dir.file("out.qex");
        request.options.delete_inputs = true;
        EXPECT_EQ(convert_run(request, ui, log, strings), RunOutcome::completed);
        EXPECT_THAT(log.text(), HasSubstr("An " + reason_text(EACCES) + " occured on file " + b +
                                          " skipping \r\n"));
        EXPECT_THAT(log.text(), HasSubstr(b + " kept: not converted completely\r\n"));
        EXPECT_EQ(testing::read_qex(testing::file_bytes(dir.file("out.qex"))).records.size(),
                  static_cast<std::size_t>(traces));
        EXPECT_FALSE(fs::exists(a));
        EXPECT_TRUE(fs::exists(b));
    });
    EXPECT_EQ(failures, 0);
}

// A named pipe in the input list exists, so the checks pass it, but it has no length and no
// data to position in: opening it for reading must neither wait for a writer nor hang the
// run. It gets the open-failure entry and the run goes on.
TEST(input_faults, a_named_pipe_among_the_inputs_is_skipped_without_waiting) {
    TempDir dir;
    const std::string pipe = dir.file("pipe.sg2");
    const std::string good = dir.file("good.sg2");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    testing::write_file(good, testing::numbered_input(1, traces, samples));

    const testing::ChildResult child =
        testing::run_child(testing::batch_program(),
                           {"-k", testing::keyword_file(), "-o", dir.file("out.qex"), pipe, good},
                           {.file_size_limit = {}, .kill_after = std::chrono::seconds(20)});
    ASSERT_EQ(child.signal, 0) << "the run hung on the named pipe";
    // The run completes; 3 says that an input (the pipe) was not converted.
    EXPECT_EQ(child.exit_status, 3) << child.err;
    EXPECT_THAT(child.out, HasSubstr("An " + reason_text(ESPIPE) + " occured on file " + pipe +
                                     " skipping \r\n"));
    EXPECT_EQ(testing::read_qex(testing::file_bytes(dir.file("out.qex"))).records.size(),
              static_cast<std::size_t>(traces));
}

}  // namespace
}  // namespace quarvent
