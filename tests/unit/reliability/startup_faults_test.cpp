// Start-up and Exit when their files fail them: a keyword file that cannot be read or that
// vanishes while the program starts, and a settings file that cannot be written at Exit.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "shell/main_window.hpp"
#include "shell/startup.hpp"
#include "tests/support/scripted_shell_ui.hpp"
#include "tests/support/temp_dir.hpp"
#include "tests/unit/reliability/reliability_support.hpp"

namespace quarvent {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::Reply;
using testing::ScriptedShellUi;
using testing::TempDir;

namespace fs = std::filesystem;

std::string read_text(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream content;
    content << file.rdbuf();
    return content.str();
}

void write_text(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string settings_text() {
    std::string text =
        " 0  place holder quarvent.ini\r\n 0  place holder\r\n 600  form top\r\n"
        " 1200  form left\r\n 9000  form width\r\n 6000  form height\r\n/data/in\r\n/data/out\r\n";
    for (int line = 9; line <= 22; ++line) text += " 0  place holder\r\n";
    return text;
}

const std::string keywords = "* keywords\r\nSAMPLE_INTERVAL 1 59 1000000\r\n";

// A program about to start: a start-up directory with a settings file and a system directory
// with a keyword file, both open to the unprivileged user.
struct Program {
    Program() {
        testing::open_to_everyone(start.path().string());
        testing::open_to_everyone(system.path().string());
    }
    TempDir start;
    TempDir system;
};

TEST(startup_faults, a_keyword_file_that_cannot_be_read_ends_the_program_with_its_name) {
    Program program;
    const int failures = testing::run_unprivileged([&] {
        write_text(program.start.path() / "quarvent.ini", settings_text());
        const fs::path keyword_file = program.system.path() / "QEXKEYWO.RD";
        write_text(keyword_file, keywords);
        fs::permissions(keyword_file, fs::perms::none);
        fs::current_path(program.start.path());

        ScriptedShellUi ui{Reply::button(Answer::ok)};
        MainWindow window(ui);
        window.session.system_dir = program.system.path().string();
        EXPECT_EQ(run_startup(window, window.session), StartupResult::ended);
        EXPECT_TRUE(ui.program_ended());
        EXPECT_THAT(ui.ui().titles(), ElementsAre("Keyword File Error"));
        EXPECT_THAT(ui.ui().dialogs().at(0).text, HasSubstr(keyword_file.string()));
        EXPECT_THAT(ui.ui().dialogs().at(0).text, HasSubstr("Permission denied"));
        EXPECT_NE(dynamic_cast<IgnoreHeaderStrings*>(window.header_strings.get()), nullptr);
        EXPECT_EQ(read_text(program.start.path() / "quarvent.ini"), settings_text());
    });
    EXPECT_EQ(failures, 0);
}

// The keyword file comes and goes while the program starts again and again. Each start must
// end in one of the three sound ways: the whole table loaded; the file not found, the
// operator asked for it (and giving no answer, the program ended); or the file found but gone
// when it was read, the program ended with a message that names it. Never a partial table.
TEST(startup_faults, a_keyword_file_that_vanishes_during_start_up_never_gives_a_partial_table) {
    Program program;
    write_text(program.start.path() / "quarvent.ini", settings_text());
    std::string table;
    for (int i = 0; i < 200; ++i) table += "KEY" + std::to_string(i) + " 1 5 1\r\n";
    const fs::path keyword_file = program.system.path() / "QEXKEYWO.RD";
    const fs::path away = program.system.path() / "away.rd";
    write_text(keyword_file, table);

    const fs::path saved_dir = fs::current_path();
    fs::current_path(program.start.path());
    std::atomic<bool> done{false};
    std::thread toggler([&] {
        while (!done) {
            std::error_code ignored;
            fs::rename(keyword_file, away, ignored);
            fs::rename(away, keyword_file, ignored);
        }
    });

    std::map<std::string, int> outcomes;
    for (int start = 0; start < 300; ++start) {
        ScriptedShellUi ui{Reply::button(Answer::ok), Reply::text("")};
        MainWindow window(ui);
        window.session.system_dir = program.system.path().string();
        const StartupResult result = run_startup(window, window.session);
        const std::vector<std::string> titles = ui.ui().titles();
        ui.ui().drop_pending_replies();
        if (result == StartupResult::ready) {
            EXPECT_TRUE(titles.empty());
            OutputTraceHeader header;
            double scale = 1.0;
            (void)window.header_strings->header_string("KEY199 7", header, scale);
            EXPECT_EQ(header.word(5), 7) << "the last entry is missing";
            ++outcomes["loaded"];
        } else if (titles == std::vector<std::string>{"Keyword file not found", "Keyword Path?"}) {
            EXPECT_TRUE(ui.program_ended());
            ++outcomes["not found, asked"];
        } else {
            EXPECT_THAT(titles, ElementsAre("Keyword File Error"));
            EXPECT_THAT(ui.ui().dialogs().at(0).text, HasSubstr(keyword_file.string()));
            EXPECT_TRUE(ui.program_ended());
            ++outcomes["gone when read"];
        }
        if (::testing::Test::HasFailure()) break;
    }
    done = true;
    toggler.join();
    fs::current_path(saved_dir);
    for (const auto& [outcome, count] : outcomes) {
        std::printf("[          ] %s: %d\n", outcome.c_str(), count);
    }
    EXPECT_GT(outcomes["loaded"] + outcomes["not found, asked"], 0);
}

// Exit cannot write the settings file: after the file error (when there is one) the operator
// is asked whether to exit; No keeps the program running, Yes ends it.
TEST(startup_faults, a_settings_file_that_cannot_be_written_at_exit_leaves_the_choice) {
    enum class Fault { read_only_directory, read_only_file, start_directory_removed };
    struct Row {
        const char* name;
        Fault fault;
        std::vector<std::string> titles;  // after start-up
        Answer exit_answer;
    };
    const Row rows[] = {
        {"read-only start-up directory",
         Fault::read_only_directory,
         {"File Error", ""},
         Answer::yes},
        {"read-only settings file", Fault::read_only_file, {"File Error", ""}, Answer::no},
        {"start-up directory removed",
         Fault::start_directory_removed,
         {"File Error", ""},
         Answer::yes},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Program program;
        const fs::path start_dir = program.start.path() / "start";
        const int failures = testing::run_unprivileged([&] {
            fs::create_directory(start_dir);
            write_text(program.system.path() / "QEXKEYWO.RD", keywords);
            write_text(start_dir / "quarvent.ini", settings_text());
            fs::current_path(start_dir);
            ScriptedShellUi ui;
            MainWindow window(ui);
            window.session.system_dir = program.system.path().string();
            ASSERT_EQ(run_startup(window, window.session), StartupResult::ready);
            window.last_input_dir = "/data/changed";

            switch (row.fault) {
                case Fault::read_only_directory:
                    fs::remove(start_dir / "quarvent.ini");
                    fs::permissions(start_dir, fs::perms::owner_read | fs::perms::owner_exec);
                    break;
                case Fault::read_only_file:
                    fs::permissions(start_dir / "quarvent.ini", fs::perms::owner_read);
                    break;
                case Fault::start_directory_removed:
                    fs::current_path(program.start.path());
                    fs::remove_all(start_dir);
                    break;
            }
            ui.queue(Reply::button(Answer::no));  // the file error: give up
            ui.queue(Reply::button(row.exit_answer));
            EXPECT_EQ(run_exit(window, window.session),
                      row.exit_answer == Answer::yes ? ExitResult::ended : ExitResult::stayed);
            EXPECT_EQ(ui.ui().titles(), row.titles);
            EXPECT_EQ(ui.ui().dialogs().back().text, settings_unwritable_text);
            EXPECT_EQ(ui.program_ended(), row.exit_answer == Answer::yes);
            // Nothing lands anywhere else, and a file that could not be opened is untouched.
            EXPECT_FALSE(fs::exists(program.start.path() / "quarvent.ini"));
            if (row.fault == Fault::read_only_file) {
                EXPECT_EQ(read_text(start_dir / "quarvent.ini"), settings_text());
            }
        });
        EXPECT_EQ(failures, 0);
    }
}

// A file size limit cuts the settings short: the write is reported as failed rather than
// taken for done, and staying lets the operator exit again once writing works.
TEST(startup_faults, a_settings_file_cut_short_by_a_size_limit_is_reported) {
    Program program;
    const int failures = testing::run_unprivileged([&] {
        write_text(program.system.path() / "QEXKEYWO.RD", keywords);
        fs::current_path(program.start.path());
        ScriptedShellUi ui{Reply::button(Answer::ok)};  // no settings file yet
        MainWindow window(ui);
        window.session.system_dir = program.system.path().string();
        ASSERT_EQ(run_startup(window, window.session), StartupResult::ready);

        ::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{};
        ::getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit small{100, limit.rlim_max};
        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
        ui.queue(Reply::button(Answer::no));  // stay
        EXPECT_EQ(run_exit(window, window.session), ExitResult::stayed);
        EXPECT_EQ(ui.ui().dialogs().back().text, settings_unwritable_text);
        EXPECT_FALSE(ui.program_ended());

        ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
        EXPECT_EQ(run_exit(window, window.session), ExitResult::ended);
        const std::string written = read_text(program.start.path() / "quarvent.ini");
        EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 22);
    });
    EXPECT_EQ(failures, 0);
}

}  // namespace
}  // namespace quarvent
