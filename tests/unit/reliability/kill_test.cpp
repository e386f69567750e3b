// quarvent-batch killed with SIGKILL at random points of a long run that deletes its inputs:
// whatever moment the kill comes, the output is a run of whole, correct records with at most
// one partial record at its end, every deleted input has all its traces in the output, and
// no input whose traces are missing was deleted.
//
// QUARVENT_KILL_RUNS sets the number of killed runs (default 10); QUARVENT_KILL_SEED repeats
// the kill points of an earlier run.

#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "tests/support/seg2_builder.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/unit/reliability/reliability_support.hpp"

namespace quarvent {
namespace {

using testing::TempDir;

constexpr int files = 200;
constexpr int traces = 24;
constexpr int samples = 2000;
constexpr std::uint64_t record_bytes = 240 + 4 * samples;

int environment_number(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::atoi(value) : fallback;
}

struct Figures {
    int runs = 0;
    int kills = 0;
    int records_checked = 0;
    int partial_records = 0;
    int inputs_deleted_and_verified = 0;
    int inputs_kept_though_converted = 0;
};

// Converts every input once, killing the program after kill_after when it is given, and
// checks what the run left behind. Returns how long the program ran.
std::chrono::microseconds run_and_check(const std::vector<std::vector<std::uint8_t>>& contents,
                                        std::optional<std::chrono::microseconds> kill_after,
                                        Figures& figures) {
    TempDir dir;
    std::vector<std::string> args = {
        "-q", "-k", testing::keyword_file(), "-o", dir.file("out.qex"), "--delete-inputs"};
    std::vector<std::string> inputs;
    for (int f = 1; f <= files; ++f) {
        inputs.push_back(dir.file("shot" + std::to_string(f) + ".sg2"));
        testing::write_file(inputs.back(), contents[static_cast<std::size_t>(f - 1)]);
        args.push_back(inputs.back());
    }

    const testing::ChildResult child = testing::run_child(
        testing::batch_program(), args, {.file_size_limit = {}, .kill_after = kill_after});
    ++figures.runs;
    const auto ran = std::chrono::duration_cast<std::chrono::microseconds>(child.elapsed);
    if (child.signal == SIGKILL) {
        ++figures.kills;
    } else {
        EXPECT_EQ(child.signal, 0);
        EXPECT_EQ(child.exit_status, 0) << child.err;
    }

    const testing::QexFile qex = testing::read_qex(testing::file_bytes(dir.file("out.qex")));
    EXPECT_LT(qex.trailing_bytes, record_bytes) << "more than one partial record at the end";
    if (qex.trailing_bytes > 0) ++figures.partial_records;
    EXPECT_LE(qex.records.size(), static_cast<std::size_t>(files * traces));
    for (std::size_t i = 0; i < qex.records.size(); ++i) {
        const testing::QexRecord& record = qex.records[i];
        const int file = static_cast<int>(i) / traces + 1;
        const int t = static_cast<int>(i) % traces + 1;
        SCOPED_TRACE("record " + std::to_string(i + 1));
        EXPECT_EQ(record.word(92), file) << "records out of order, lost or repeated";
        EXPECT_EQ(record.word(14), t) << "records out of order, lost or repeated";
        EXPECT_EQ(record.word(2), traces);
        EXPECT_EQ(record.word(58), samples);
        EXPECT_EQ(record.word(59), 250);
        EXPECT_EQ(record.word(60), 21930);
        int wrong_sample = 0;
        for (int k = 1; k <= samples && wrong_sample == 0; ++k) {
            if (record.samples[static_cast<std::size_t>(k - 1)] !=
                testing::numbered_sample(file, t, k)) {
                wrong_sample = k;
            }
        }
        EXPECT_EQ(wrong_sample, 0) << "a sample that is not the input's";
        if (::testing::Test::HasFailure()) return ran;
        ++figures.records_checked;
    }

    const int whole_files = static_cast<int>(qex.records.size()) / traces;
    for (int f = 1; f <= files; ++f) {
        const bool deleted = !std::filesystem::exists(inputs[static_cast<std::size_t>(f - 1)]);
        if (deleted) {
            EXPECT_LE(f, whole_files) << "input " << f << " was deleted with traces missing";
            ++figures.inputs_deleted_and_verified;
        } else if (f <= whole_files) {
            // Killed between its last record and its deletion: kept, which loses nothing.
            ++figures.inputs_kept_though_converted;
        }
    }
    return ran;
}

TEST(kill_test, a_killed_run_leaves_whole_records_and_deletes_only_converted_inputs) {
    std::vector<std::vector<std::uint8_t>> contents;
    for (int f = 1; f <= files; ++f)
        contents.push_back(testing::numbered_input(f, traces, samples));

    Figures figures;
    // A run left alone tells how long a run takes, and that it converts and deletes all.
    const std::chrono::microseconds whole_run = run_and_check(contents, std::nullopt, figures);
    ASSERT_EQ(figures.inputs_deleted_and_verified, files);
    ASSERT_FALSE(::testing::Test::HasFailure());

    const int runs = environment_number("QUARVENT_KILL_RUNS", 10);
    const auto seed = static_cast<unsigned>(
        environment_number("QUARVENT_KILL_SEED", static_cast<int>(std::random_device{}() >> 1)));
    std::mt19937 random(seed);
    // Runs get quicker once the inputs are in the page cache: a run that ends before its kill
    // shortens the span the next kill is drawn from.
    std::chrono::microseconds span = whole_run;
    for (int run = 1; run <= runs && !::testing::Test::HasFailure(); ++run) {
        std::uniform_int_distribution<long long> moment(span.count() / 50, span.count() * 9 / 10);
        const std::chrono::microseconds kill_after(moment(random));
        SCOPED_TRACE("killed after " + std::to_string(kill_after.count()) + " us (seed " +
                     std::to_string(seed) + ")");
        const int kills_before = figures.kills;
        const std::chrono::microseconds ran = run_and_check(contents, kill_after, figures);
        if (figures.kills == kills_before) span = std::min(span, ran);
    }

    std::printf(
        "[          ] whole run %.2f s; seed %u; %d runs, %d killed; %d records checked, %d "
        "partial records at the end; %d inputs deleted and verified, %d converted inputs kept\n",
        static_cast<double>(whole_run.count()) / 1e6, seed, figures.runs, figures.kills,
        figures.records_checked, figures.partial_records, figures.inputs_deleted_and_verified,
        figures.inputs_kept_though_converted);
    RecordProperty("runs", figures.runs);
    RecordProperty("kills", figures.kills);
    RecordProperty("records_checked", figures.records_checked);
    RecordProperty("inputs_deleted_and_verified", figures.inputs_deleted_and_verified);
    EXPECT_GT(figures.kills, 0) << "every run ended before its kill";
}

}  // namespace
}  // namespace quarvent
