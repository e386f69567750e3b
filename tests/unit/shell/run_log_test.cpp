// The run log's file: appended to run after run, through the output file's checked writes,
// and its summary's account of each kept file.

#include "shell/run_log.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>

#include "tests/support/program_run.hpp"
#include "tests/support/temp_dir.hpp"

namespace quarvent {
namespace {

using ::testing::HasSubstr;

ssize_t failing_pwrite(int, const void*, std::size_t, off_t) {
    errno = ENOSPC;
    return -1;
}

TEST(run_log, each_run_is_appended_and_a_failed_write_is_reported) {
    struct Case {
        const char* name;
        bool failing;
        std::string expected;  // the file's text after two appends of "one\n" and "two\n"
    };
    for (const Case& c : {Case{"written", false, "one\ntwo\n"}, Case{"disk full", true, ""}}) {
        SCOPED_TRACE(c.name);
        testing::TempDir dir;
        OutputSystemCalls calls = OutputSystemCalls::real();
        if (c.failing) calls.pwrite = failing_pwrite;
        for (const char* text : {"one\n", "two\n"}) {
            const std::error_code reason = append_run_log(dir.file("out.log"), text, calls);
            EXPECT_EQ(static_cast<bool>(reason), c.failing) << reason.message();
        }
        EXPECT_EQ(testing::file_text(dir.file("out.log")), c.expected);
    }
}

TEST(run_log, kept_files_carry_a_reason_each) {
    struct Case {
        const char* name;
        InputResult input;
        const char* reason;  // nullptr: not kept
    };
    auto result = [](InputStatus status, std::string reason, bool not_seg2 = false,
                     std::string first_skip = {}) {
        InputResult input;
        input.path = "/d/x.sg2";
        input.status = status;
        input.reason = std::move(reason);
        input.not_seg2 = not_seg2;
        input.first_skip = std::move(first_skip);
        return input;
    };
    const Case cases[] = {
        {"converted", result(InputStatus::converted, ""), nullptr},
        {"not SEG-2", result(InputStatus::skipped, "not a SEG-2 file", true), "not SEG-2"},
        {"truncated",
         result(InputStatus::partial, "2 of 12 traces skipped", false, "trace 11 truncated"),
         "trace 11 truncated (2 of 12 traces skipped)"},
        {"stopped", result(InputStatus::partial, "stopped by the operator after trace 3"),
         "stopped by the operator after trace 3"},
        {"changed after conversion",
         result(InputStatus::converted, "changed after it was converted; kept"),
         "changed after it was converted; kept"},
        {"not reached", result(InputStatus::not_reached, ""), "not reached"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunReport report;
        report.inputs.push_back(c.input);
        const std::vector<KeptFile> kept = kept_files(report);
        if (c.reason == nullptr) {
            EXPECT_TRUE(kept.empty());
            continue;
        }
        ASSERT_EQ(kept.size(), 1U);
        EXPECT_EQ(kept[0].reason, c.reason);
        EXPECT_THAT(run_log_summary_text(report, {}),
                    HasSubstr("    /d/x.sg2: " + std::string(c.reason) + "\n"));
    }
}

}  // namespace
}  // namespace quarvent
