// What a run reports of each input, and a dry run that counts its records instead of
// writing them.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/unit/engine/engine_test_support.hpp"

namespace quarvent::testing {
namespace {

TEST(run_report, dry_run_counts_what_the_run_writes) {
    std::uint64_t written_bytes = 0;
    for (const bool dry : {true, false}) {
        SCOPED_TRACE(dry ? "dry run" : "run");
        ScriptedRun run;
        run.add_input("a.sgx", float_file({5, 6, 7}));
        run.add_input("b.sgx", float_file({1}));
        run.request.dry_run = dry;
        run.ui.queue(Reply::text("3"));  // Enter Starting SSN
        const RunReport report = convert_run_reporting(run.request, run.ui, run.log, run.strings);
        EXPECT_EQ(report.outcome, RunOutcome::completed);
        EXPECT_EQ(report.next_ssn, 5);
        ASSERT_EQ(report.inputs.size(), 2u);
        EXPECT_EQ(report.inputs[0].status, InputStatus::converted);
        EXPECT_EQ(report.inputs[0].first_ssn, 3);
        EXPECT_EQ(report.inputs[1].last_ssn, 4);
        if (dry) {
            EXPECT_FALSE(std::filesystem::exists(run.request.output_file_name));
            written_bytes = report.bytes_written;
        } else {
            EXPECT_EQ(report.bytes_written, written_bytes);
            EXPECT_EQ(std::filesystem::file_size(run.request.output_file_name), written_bytes);
        }
    }
    EXPECT_GT(written_bytes, 0u);
}

TEST(run_report, counting_output_refuses_what_opening_would_refuse) {
    TempDir dir;
    OutputFile output;
    EXPECT_FALSE(output.open_for_counting(dir.file("new.qex")));
    EXPECT_TRUE(output.is_open());
    EXPECT_FALSE(output.close());
    EXPECT_FALSE(std::filesystem::exists(dir.file("new.qex")));
    EXPECT_TRUE(output.open_for_counting(dir.file("no/such/dir/out.qex")));
    EXPECT_TRUE(output.open_for_counting(dir.path().string()));  // a directory
}

// The totals count every input once by its status, add up traces, and take the SSNs of the
// first and last inputs that received records.
TEST(run_report, totals_add_up_the_inputs) {
    const auto input = [](InputStatus status, int written, int skipped,
                          std::optional<std::int16_t> first, std::optional<std::int16_t> last) {
        InputResult result;
        result.status = status;
        result.traces_written = written;
        result.traces_skipped = skipped;
        result.first_ssn = first;
        result.last_ssn = last;
        return result;
    };
    struct Case {
        const char* name;
        std::vector<InputResult> inputs;
        RunTotals expected;
    };
    const Case cases[] = {
        {"no inputs", {}, {}},
        {"one of each",
         {input(InputStatus::skipped, 0, 0, {}, {}), input(InputStatus::converted, 24, 0, 7, 7),
          input(InputStatus::partial, 10, 14, 8, 8), input(InputStatus::not_reached, 0, 0, {}, {})},
         {1, 1, 1, 1, 34, 14, 7, 8}},
        {"the last file with records is not the last file",
         {input(InputStatus::converted, 2, 0, -5, -5), input(InputStatus::converted, 3, 0, -4, -4),
          input(InputStatus::partial, 0, 6, {}, {})},
         {2, 1, 0, 0, 5, 6, -5, -4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RunReport report;
        report.inputs = c.inputs;
        const RunTotals totals = run_totals(report);
        EXPECT_EQ(totals.converted, c.expected.converted);
        EXPECT_EQ(totals.partial, c.expected.partial);
        EXPECT_EQ(totals.skipped, c.expected.skipped);
        EXPECT_EQ(totals.not_reached, c.expected.not_reached);
        EXPECT_EQ(totals.traces_written, c.expected.traces_written);
        EXPECT_EQ(totals.traces_skipped, c.expected.traces_skipped);
        EXPECT_EQ(totals.first_ssn, c.expected.first_ssn);
        EXPECT_EQ(totals.last_ssn, c.expected.last_ssn);
    }
}

// Each input as the output holds it: the record written before a stop counts, and an input
// written to after its conversion is kept with that reason.
TEST(run_report, inputs_as_the_output_holds_them) {
    struct Row {
        const char* name;
        bool delete_inputs;
        int stop_at_yield;     // 0: never
        int rewrite_at_yield;  // a.sgx is written to then; 0: never
        InputStatus status;    // of a.sgx
        int written;
        std::string reason;
    };
    const Row rows[] = {
        {"stopped after the second record", false, 2, 0, InputStatus::partial, 2,
         "stopped by the operator after trace 2"},
        {"written to after its conversion", true, 0, 4, InputStatus::converted, 3,
         std::string(changed_after_conversion)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ScriptedRun run;
        const std::string first = run.add_input("a.sgx", float_file({5, 6, 7}));
        run.add_input("b.sgx", float_file({1}));
        run.request.options.delete_inputs = row.delete_inputs;
        if (row.delete_inputs) run.ui.queue(Reply::button(Answer::yes));
        run.ui.queue(Reply::text("1"));
        run.ui.on_yield = [&](int call) {
            if (call == row.rewrite_at_yield) write_file(first, {1, 2, 3});
            return call != row.stop_at_yield;
        };
        const RunReport report = convert_run_reporting(run.request, run.ui, run.log, run.strings);
        ASSERT_EQ(report.inputs.size(), 2u);
        EXPECT_EQ(report.inputs[0].status, row.status);
        EXPECT_EQ(report.inputs[0].traces_written, row.written);
        EXPECT_EQ(report.inputs[0].reason, row.reason);
        EXPECT_FALSE(report.inputs[0].deleted);
        EXPECT_EQ(run_totals(report).traces_written,
                  static_cast<long long>(run.output().records.size()));
    }
}

}  // namespace
}  // namespace quarvent::testing
