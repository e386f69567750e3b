// Deletion of converted inputs in groups: one sync of the output for many inputs, and never
// an input deleted before its records are on the disk.

#include "engine/input_deletion.hpp"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "engine/conversion_run.hpp"
#include "tests/unit/engine/engine_test_support.hpp"

namespace quarvent::testing {
namespace {

using ::testing::HasSubstr;

constexpr std::uint64_t record_bytes = 240 + 4;  // a trace of one sample

// What the output's syncs saw; function pointers cannot carry state of their own.
struct SyncWatch {
    const std::vector<std::string>* inputs = nullptr;
    int file_syncs = 0;
    std::uint64_t synced_records = 0;  // records in the output at its last sync
    std::uint64_t worst_unsynced_deletions = 0;
    bool fail = false;
};
SyncWatch watch;

// Notes how many inputs, from the first on, are gone beyond those whose records the last
// sync covered (one record each).
void check_deletions() {
    std::uint64_t deleted = 0;
    while (deleted < watch.inputs->size() && !std::filesystem::exists((*watch.inputs)[deleted])) {
        ++deleted;
    }
    if (deleted > watch.synced_records) {
        watch.worst_unsynced_deletions =
            std::max(watch.worst_unsynced_deletions, deleted - watch.synced_records);
    }
}

int watched_fsync(int fd) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) return ::fsync(fd);
    check_deletions();
    if (watch.fail) {
        errno = EIO;
        return -1;
    }
    const int result = ::fsync(fd);
    ++watch.file_syncs;
    watch.synced_records = static_cast<std::uint64_t>(info.st_size) / record_bytes;
    return result;
}

OutputSystemCalls watched_calls() {
    OutputSystemCalls calls = OutputSystemCalls::real();
    calls.fsync = watched_fsync;
    return calls;
}

TEST(input_deletion, many_inputs_share_few_syncs_and_none_goes_before_its_records_are_synced) {
    struct Case {
        const char* name;
        bool sync_fails;
        RunOutcome outcome;
        bool inputs_deleted;
    };
    const Case cases[] = {
        {"syncs succeed", false, RunOutcome::completed, true},
        {"the sync fails: every input of the group stays", true, RunOutcome::stopped, false},
    };
    constexpr int inputs = 150;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        watch = SyncWatch{};
        watch.fail = c.sync_fails;
        ScriptedRun run;
        run.request.options.delete_inputs = true;
        run.request.output_calls = watched_calls();
        for (int i = 0; i < inputs; ++i)
            run.add_input("in" + std::to_string(i) + ".sg2", float_file({1}));
        watch.inputs = &run.request.inputs;
        // At every record and every sync: the deleted inputs are the first ones, and the
        // last sync covered all their records.
        run.ui.on_yield = [](int) {
            check_deletions();
            return true;
        };
        run.ui.queue(Reply::button(Answer::yes));
        run.ui.queue(Reply::text("1"));
        if (c.sync_fails) run.ui.queue(Reply::button(Answer::ok));
        EXPECT_EQ(run.go(), c.outcome);
        check_deletions();
        EXPECT_EQ(watch.worst_unsynced_deletions, 0U);
        int left = 0;
        for (const std::string& path : run.request.inputs) left += std::filesystem::exists(path);
        if (c.inputs_deleted) {
            EXPECT_EQ(left, 0);
            EXPECT_EQ(run.output().records.size(), static_cast<std::size_t>(inputs));
            // One sync per file would be 150.
            EXPECT_LE(watch.file_syncs, 4);
        } else {
            EXPECT_EQ(left, inputs);
            EXPECT_EQ(watch.file_syncs, 0);
        }
        EXPECT_TRUE(run.output().whole);
    }
}

TEST(input_deletion, an_input_listed_twice_is_converted_once) {
    ScriptedRun run;
    run.request.options.delete_inputs = true;
    const std::string path = run.add_input("a.sg2", float_file({2, 2}));
    run.request.inputs.push_back(path);
    const std::string later = run.add_input("b.sg2", float_file({1}));
    run.ui.queue(Reply::button(Answer::yes));
    run.ui.queue(Reply::text("1"));
    EXPECT_EQ(run.go(), RunOutcome::completed);
    EXPECT_EQ(run.output().records.size(), 3U);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(std::filesystem::exists(later));
    EXPECT_THAT(run.log.text(), HasSubstr("occured on file " + path + " skipping "));
}

// A converted input waits for its group's deletion; one written to meanwhile holds what was
// never converted and stays.
TEST(input_deletion, an_input_written_to_after_its_turn_is_kept) {
    struct Case {
        const char* name;
        void (*change)(const std::string& path);
        bool kept;
    };
    const Case cases[] = {
        {"left alone", [](const std::string&) {}, false},
        {"appended to",
         [](const std::string& path) {
             std::ofstream(path, std::ios::binary | std::ios::app) << "more";
         },
         true},
        {"cut short", [](const std::string& path) { std::filesystem::resize_file(path, 10); },
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedRun run;
        run.request.options.delete_inputs = true;
        const std::string a = run.add_input("a.sg2", float_file({1}));
        const std::string b = run.add_input("b.sg2", float_file({2}));
        // Yield 1 comes after a's only record: a's turn is over, its deletion still to come.
        run.ui.on_yield = [&](int call) {
            if (call == 1) c.change(a);
            return true;
        };
        run.ui.queue(Reply::button(Answer::yes));
        run.ui.queue(Reply::text("1"));
        EXPECT_EQ(run.go(), RunOutcome::completed);
        EXPECT_EQ(run.output().records.size(), 2U);
        EXPECT_EQ(std::filesystem::exists(a), c.kept);
        EXPECT_FALSE(std::filesystem::exists(b));
        if (c.kept) {
            EXPECT_THAT(run.log.text(), HasSubstr(a + " kept: not converted completely"));
        }
    }
}

// Many inputs of every kind, so that several threads share them: each outcome belongs to its
// own input, in order.
TEST(input_deletion, outcomes_come_in_the_order_of_the_inputs) {
    TempDir dir;
    enum class Kind { plain, replaced, link, missing, rewritten };
    std::vector<ConvertedInput> inputs;
    std::vector<Kind> kinds;
    for (int i = 0; i < 100; ++i) {
        const Kind kind = static_cast<Kind>(i % 7 % 5);
        const std::string path = dir.file("in" + std::to_string(i));
        std::string file = path;
        if (kind == Kind::link) {
            file = dir.file("real" + std::to_string(i));
            std::filesystem::create_symlink(file, path);
        }
        write_file(file, {1, 2, 3});
        struct stat info {};
        ASSERT_EQ(::stat(file.c_str(), &info), 0);
        inputs.push_back({path, {info.st_dev, info.st_ino}, FileSource::version_of(info)});
        if (kind == Kind::replaced) {
            // Made before the old one goes, so that it cannot take over its inode number.
            write_file(path + ".new", {4});
            std::filesystem::rename(path + ".new", path);
        }
        if (kind == Kind::missing) std::filesystem::remove(path);
        if (kind == Kind::rewritten) std::ofstream(file, std::ios::binary | std::ios::app) << "4";
        kinds.push_back(kind);
    }
    const std::vector<DeletionOutcome> outcomes = delete_converted_inputs(inputs);
    ASSERT_EQ(outcomes.size(), inputs.size());
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        SCOPED_TRACE(inputs[i].path);
        const bool name_left =
            std::filesystem::exists(std::filesystem::symlink_status(inputs[i].path));
        switch (kinds[i]) {
            case Kind::plain:
            case Kind::link:
                EXPECT_EQ(outcomes[i].result, DeletionResult::deleted);
                EXPECT_FALSE(name_left);
                break;
            case Kind::replaced:
            case Kind::rewritten:
                EXPECT_EQ(outcomes[i].result, DeletionResult::replaced);
                EXPECT_TRUE(name_left);
                break;
            case Kind::missing:
                EXPECT_EQ(outcomes[i].result, DeletionResult::failed);
                EXPECT_EQ(outcomes[i].reason, std::errc::no_such_file_or_directory);
                break;
        }
        if (kinds[i] == Kind::link) {
            EXPECT_TRUE(std::filesystem::exists(dir.file("real" + std::to_string(i))));
        }
    }
}

// The queue deletes each group after a sync of its own or shared with the groups waiting
// with it, in the order the groups came; a failed sync keeps its groups and every later one.
TEST(deletion_queue, groups_go_in_order_after_a_sync_and_a_failed_sync_keeps_the_rest) {
    struct Case {
        const char* name;
        int failing_sync;  // 0: none fails
        std::vector<bool> group_deleted;
    };
    const Case cases[] = {
        {"every sync succeeds", 0, {true, true, true, true}},
        {"the first sync fails", 1, {false, false, false, false}},
        {"the shared second sync fails", 2, {true, false, false, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::vector<std::vector<ConvertedInput>> groups;
        for (int g = 0; g < 4; ++g) {
            std::vector<ConvertedInput> group;
            for (int i = 0; i < 5; ++i) {
                const std::string path =
                    dir.file("g" + std::to_string(g) + "-" + std::to_string(i));
                write_file(path, {1, 2, 3});
                struct stat info {};
                EXPECT_EQ(::stat(path.c_str(), &info), 0);
                group.push_back({path,
                                 {info.st_dev, info.st_ino},
                                 FileSource::version_of(info),
                                 static_cast<std::size_t>(g)});
            }
            groups.push_back(std::move(group));
        }
        std::mutex mutex;
        std::condition_variable all_added;
        std::condition_variable sync_begun;
        bool added = false;
        int syncs = 0;
        std::vector<int> files_at_sync;  // the groups' files that existed when each sync began
        const auto count_files = [&] {
            int present = 0;
            for (const auto& group : groups)
                for (const auto& input : group) present += std::filesystem::exists(input.path);
            return present;
        };
        std::vector<std::vector<ConvertedInput>> copies = groups;
        {
            DeletionQueue queue([&]() -> std::error_code {
                std::unique_lock lock(mutex);
                const int sync = ++syncs;
                files_at_sync.push_back(count_files());
                sync_begun.notify_all();
                // The first sync lasts until every group is added: the other three wait and
                // share the next one.
                if (sync == 1) all_added.wait(lock, [&] { return added; });
                if (sync == c.failing_sync) return std::make_error_code(std::errc::io_error);
                return {};
            });
            queue.add(std::move(copies[0]));
            {
                // The rest come while the first group's sync is under way.
                std::unique_lock lock(mutex);
                sync_begun.wait(lock, [&] { return syncs > 0; });
            }
            for (std::size_t g = 1; g < copies.size(); ++g) queue.add(std::move(copies[g]));
            {
                const std::lock_guard lock(mutex);
                added = true;
            }
            all_added.notify_all();
            const std::vector<DeletionQueue::Done> done = queue.take_done(true);
            ASSERT_EQ(done.size(), groups.size());
            for (std::size_t g = 0; g < done.size(); ++g) {
                SCOPED_TRACE("group " + std::to_string(g));
                ASSERT_EQ(done[g].group.size(), groups[g].size());
                EXPECT_EQ(done[g].group.front().path, groups[g].front().path);
                EXPECT_EQ(!done[g].sync_failure, c.group_deleted[g]);
                EXPECT_EQ(done[g].outcomes.size(), c.group_deleted[g] ? groups[g].size() : 0U);
                for (std::size_t i = 0; i < groups[g].size(); ++i) {
                    EXPECT_EQ(std::filesystem::exists(groups[g][i].path), !c.group_deleted[g]);
                }
            }
            EXPECT_TRUE(queue.take_done(true).empty());
        }
        // One sync for the first group, one shared by the rest (none after a failure).
        EXPECT_EQ(syncs, c.failing_sync == 1 ? 1 : 2);
        EXPECT_EQ(files_at_sync.front(), 20);  // nothing goes before its sync
    }
}

}  // namespace
}  // namespace quarvent::testing
