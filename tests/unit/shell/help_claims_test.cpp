// What the help file says the program does, checked against what it does: each row names a
// sentence of the help and a check of the behaviour it describes, so that a change to
// either cannot leave the other saying something else.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>

#include "shell/main_window.hpp"
#include "tests/support/program_run.hpp"
#include "tests/support/scripted_shell_ui.hpp"
#include "tests/support/seg2_builder.hpp"
#include "tests/support/temp_dir.hpp"

namespace quarvent {
namespace {

using testing::Reply;
using testing::ScriptedShellUi;

// The help's text with its markup taken out and every run of white space made one blank.
std::string help_sentences() {
    std::string text = testing::file_text(QUARVENT_HELP_FILE);
    text = std::regex_replace(text, std::regex("<[^>]*>"), "");
    text = std::regex_replace(text, std::regex("&middot;"), "\u00b7");
    text = std::regex_replace(text, std::regex("&hellip;"), "\u2026");
    return std::regex_replace(text, std::regex("\\s+"), " ");
}

struct Program {
    Program() {
        window.set_option_defaults();
        window.time_of_day = [] { return std::string("12:00:00"); };
        window.output_file_name = dir.file("out.qex");
    }
    std::string recording(const std::string& name) {
        testing::Seg2Builder file;
        file.add_trace(testing::Seg2Trace::int16({1, 2}));
        testing::write_file(dir.file(name), file.build());
        return dir.file(name);
    }
    std::string not_seg2(const std::string& name) {
        std::ofstream(dir.file(name)) << "notes";
        return dir.file(name);
    }
    void convert(bool delete_inputs) {
        if (delete_inputs) {
            window.optiondelete_Click();
            ui.queue(Reply::button(Answer::yes));  // inputs will be deleted
        }
        ui.queue(Reply::text("1"));  // SSN
        ui.queue(Reply::text("1"));  // sample interval, ms
        window.convert_Click();
    }

    testing::TempDir dir;
    ScriptedShellUi ui;
    MainWindow window{ui};
};

TEST(help_claims, each_claim_of_the_help_holds) {
    struct Claim {
        const char* sentence;
        std::function<void(Program&)> check;
    };
    const Claim claims[] = {
        {"a file that is not a SEG-2 file is kept, and so is a file that was only partly "
         "converted",
         [](Program& p) {
             p.ui.list1_add(p.recording("a.sg2"));
             p.ui.list1_add(p.not_seg2("notes.dat"));
             p.convert(true);
             EXPECT_FALSE(std::filesystem::exists(p.dir.file("a.sg2")));
             EXPECT_TRUE(std::filesystem::exists(p.dir.file("notes.dat")));
         }},
        {"There is no limit on how many files you choose at once: every chosen file is added",
         [](Program& p) {
             std::string text = "/data";
             for (int i = 0; i < 500; ++i) text += '\0' + std::string("shot") + std::to_string(i);
             p.ui.queue_filelog(ScriptedShellUi::chosen(text, "/data"));
             p.window.fileopen_Click();
             EXPECT_EQ(p.ui.list1_count(), 500);
             EXPECT_TRUE(p.ui.ui().dialogs().empty()) << "no warning";
         }},
        {"The resample factor, the record length and Write Run Log Beside Output are remembered "
         "from one start of the program to the next",
         [](Program& p) {
             MemoryPreferences stored;
             p.window.preferences = &stored;
             p.window.resamp1_2_Click();
             p.ui.queue(Reply::text("500"));
             p.window.optionshorten_Click();
             p.window.optionrunlog_Click();
             ScriptedShellUi next_ui;
             MainWindow next{next_ui};
             next.preferences = &stored;
             next.set_option_defaults();
             next.restore_choices();
             EXPECT_EQ(next.options.resample_factor, 2);
             EXPECT_EQ(next.options.record_end_ms, 500.0F);
             EXPECT_FALSE(next.write_run_log);
         }},
        {"The status bar shows every option in force that differs from its default (1:1, "
         "original record length, input files kept), for example \"2:1 \u00b7 record 500 ms "
         "\u00b7 Delete Input Files\"",
         [](Program& p) {
             EXPECT_EQ(p.ui.options_in_force(), "");
             p.window.resamp1_2_Click();
             p.ui.queue(Reply::text("500"));
             p.window.optionshorten_Click();
             p.window.optiondelete_Click();
             EXPECT_EQ(p.ui.options_in_force(),
                       "2:1 \u00b7 record 500 ms \u00b7 Delete Input Files");
         }},
        {"Write Run Log Beside Output (checked from the start) makes each conversion append a "
         "run log to a text file named like the output file with \".log\" added, beside it",
         [](Program& p) {
             EXPECT_TRUE(p.ui.menu_checked(Menu::optionrunlog));
             for (int run = 1; run <= 2; ++run) {
                 std::filesystem::remove(p.dir.file("out.qex"));
                 p.ui.list1_clear();
                 p.ui.list1_add(p.recording("a.sg2"));
                 p.convert(false);
             }
             const std::string log = testing::file_text(p.dir.file("out.qex.log"));
             EXPECT_EQ(std::count(log.begin(), log.end(), '='), 2 * 8) << "two runs appended";
         }},
        {"Save Status Log\u2026 saves what the Status Report shows now to a text file",
         [](Program& p) {
             p.ui.list1_add(p.recording("a.sg2"));
             p.convert(false);
             p.ui.queue_filelog(ScriptedShellUi::chosen(p.dir.file("saved.txt"), p.dir.path()));
             p.window.filesavelog_Click();
             std::string shown = p.window.status_log().text();
             shown = std::regex_replace(shown, std::regex("\r\n?"), "\n");
             EXPECT_EQ(testing::file_text(p.dir.file("saved.txt")), shown);
         }},
        {"Below the question it names the file and the trace and what their strings said about "
         "the interval",
         [](Program& p) {
             p.ui.list1_add(p.recording("a.sg2"));
             p.convert(false);
             ASSERT_GE(p.ui.ui().dialogs().size(), 2U);
             EXPECT_EQ(p.ui.ui().dialogs()[1].title, "Missing Sampling Rate");
             EXPECT_EQ(p.ui.ui().dialogs()[1].detail,
                       p.dir.file("a.sg2") + ", trace 1: its strings state no sample interval");
         }},
    };
    const std::string help = help_sentences();
    for (const Claim& claim : claims) {
        SCOPED_TRACE(claim.sentence);
        EXPECT_NE(help.find(claim.sentence), std::string::npos) << "the help says it";
        Program program;
        claim.check(program);
    }
}

}  // namespace
}  // namespace quarvent
