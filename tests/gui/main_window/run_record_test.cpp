// The record the window keeps of each run and what it shows around it: the run log beside the
// output, the list of kept files behind the status bar's summary, the options in force, and
// dialogs and windows that fit the screen.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>
#include <regex>

#include "keywords/header_translation.hpp"
#include "keywords/keyword_table.hpp"
#include "qt/kept_files_dialog.hpp"
#include "qt/qt_main_window.hpp"
#include "qt/qt_shell_port.hpp"
#include "qt/screen_fit.hpp"
#include "tests/gui/modal_dialog.hpp"
#include "tests/gui/scripted_file_dialogs.hpp"
#include "tests/support/program_run.hpp"
#include "tests/support/scripted_shell_ui.hpp"
#include "tests/support/seg2_builder.hpp"
#include "tests/support/temp_dir.hpp"

namespace quarvent {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using testing::Reply;
using testing::ScriptedFileDialogs;
using testing::ScriptedShellUi;

// The run log's lines that differ from run to run: dates and times of day.
std::string without_times(const std::string& log) {
    const std::string dated = std::regex_replace(
        log, std::regex("[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}"), "date");
    return std::regex_replace(dated, std::regex("[0-9]{2}:[0-9]{2}:[0-9]{2}"), "hh:mm:ss");
}

class run_record : public ::testing::Test {
protected:
    run_record() {
        window.port().set_dialog_delegate(&scripted);
        window.logic().set_option_defaults();
        window.logic().time_of_day = [] { return std::string("10:20:30"); };
        window.logic().date_and_time = [] { return std::string("2026-12-09 10:20:30"); };
        window.logic().output_file_name = dir.file("out.qex");
        keywords = install_keywords();
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    ~run_record() override {
        if (timer_ != nullptr) timer_->stop();
    }

    QAction* action(const char* name) { return window.findChild<QAction*>(name); }

    // A recording of traces traces that state their interval; cut_bytes taken off its end
    // truncate its last trace's samples.
    std::string recording(const std::string& name, int traces, std::size_t cut_bytes = 0) {
        testing::Seg2Builder file;
        for (int t = 0; t < traces; ++t) {
            file.add_trace(
                testing::Seg2Trace::int16({1, -2, 3, -4}).with_string("SAMPLE_INTERVAL 0.00025"));
        }
        std::vector<std::uint8_t> bytes = file.build();
        bytes.resize(bytes.size() - cut_bytes);
        testing::write_file(dir.file(name), bytes);
        return dir.file(name);
    }
    std::string not_seg2(const std::string& name) {
        std::ofstream(dir.file(name)) << "field notes, not a recording";
        return dir.file(name);
    }
    // The inputs of the damaged batch: a whole file, a truncated one, one that is not SEG-2,
    // and another whole one.
    void add_damaged_batch() {
        for (const std::string& path : {recording("a.sg2", 2), recording("cut.sg2", 2, 4),
                                        not_seg2("notes.dat"), recording("z.sg2", 3)}) {
            window.port().list1_add(path);
        }
    }
    // Installs the keyword translation of a keyword file that maps the sample interval.
    std::string install_keywords() {
        std::ofstream(dir.file("QEXKEYWO.RD"), std::ios::binary)
            << "SAMPLE_INTERVAL 1 59 1000000\r\n";
        loaded_ = load_keyword_table(dir.file("QEXKEYWO.RD"));
        window.logic().header_strings = std::make_unique<HeaderTranslator>(
            *loaded_.table, window.logic().status_log(), window.port());
        window.logic().session.keyword_file_path = dir.file("QEXKEYWO.RD");
        return dir.file("QEXKEYWO.RD");
    }
    void convert() {
        scripted.queue(Reply::text("1"));  // SSN
        action("convert")->trigger();
    }
    // Stops the run through its Stop item once record records are written.
    void stop_at_record(int record) {
        timer_ = new QTimer(&window);
        auto seen = std::make_shared<int>(0);
        QObject::connect(timer_, &QTimer::timeout, [this, seen, record] {
            if (window.logic().run_in_progress() && ++*seen == record) {
                action("convertstop")->trigger();
            }
        });
        timer_->start(0);
    }
    std::string run_log() const { return testing::file_text(dir.file("out.qex.log")); }

    testing::TempDir dir;
    ScriptedShellUi scripted;
    ScriptedFileDialogs file_dialogs{scripted};
    QtMainWindow window{&file_dialogs};
    KeywordLoadResult loaded_;
    std::string keywords;
    QTimer* timer_ = nullptr;
};

// The run log of a run over damaged inputs: the header, the whole status log, the summary.
TEST_F(run_record, the_run_log_records_damaged_files_and_how_the_run_ended) {
    struct Case {
        const char* name;
        int stop_at;  // 0: no stop
        std::vector<std::string> expected;
        std::vector<std::string> absent;
    };
    const std::string top = dir.path().string();
    const Case cases[] = {
        {"completed",
         0,
         {"==== Quarvent run log ====\nDate and time: 2026-12-09 10:20:30\nProgram: quarvent ",
          "Output file: " + top + "/out.qex\n", "  Resample: 1:1\n  Record length: original\n",
          "  Delete Input Files: off\n  Fresh header per file: off\n",
          top + "/cut.sg2 truncated trace 2 Skipping\n",
          top + "/notes.dat Not valid SEG-2 file-Skipping\n",
          "  Files converted: 2\n  Files kept: 2\n",
          "    " + top + "/cut.sg2: trace 2 truncated (1 of 2 traces skipped)\n",
          "    " + top + "/notes.dat: not SEG-2\n", "  Traces written: 6\n",
          "  Bytes written: 1,536\n", "  SSN range: 1 to 3\n", "  Run ended: completed\n"},
         {}},
        {"stopped by the operator",
         4,
         {"Conversion stopped by the operator @ 10:20:30\n",
          "    " + top + "/z.sg2: stopped by the operator after trace 1\n",
          "  Files converted: 1\n  Files kept: 3\n", "  Run ended: stopped by the operator\n"},
         {"Conversion complete"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(dir.file("out.qex"));
        std::filesystem::remove(dir.file("out.qex.log"));
        window.port().list1_clear();
        add_damaged_batch();
        if (c.stop_at > 0) stop_at_record(c.stop_at);
        convert();
        if (timer_ != nullptr) timer_->stop();
        const std::string log = run_log();
        for (const std::string& text : c.expected) EXPECT_THAT(log, HasSubstr(text));
        for (const std::string& text : c.absent) EXPECT_THAT(log, Not(HasSubstr(text)));
        EXPECT_EQ(log, window.logic().last_run_log());
    }
}

// An interval that rounds to 0: the prompt says where and what the strings said; cancelling
// it ends the run at that check, and the run log says which.
TEST_F(run_record, the_sampling_rate_prompt_names_the_file_and_what_its_strings_said) {
    testing::Seg2Builder file;
    file.add_trace(testing::Seg2Trace::int16({1, 2}));
    file.add_trace(testing::Seg2Trace::int16({1, 2}).with_string("SAMPLE_INTERVAL 2.000E-007"));
    testing::write_file(dir.file("lab.sg2"), file.build());
    window.port().list1_add(recording("a.sg2", 1));
    window.port().list1_add(dir.file("lab.sg2"));
    scripted.queue(Reply::text("1"));  // SSN
    scripted.queue(Reply::text(""));   // the interval prompt cancelled
    action("convert")->trigger();
    const testing::Dialog& prompt = scripted.ui().dialogs().back();
    EXPECT_EQ(prompt.title, "Missing Sampling Rate");
    EXPECT_EQ(prompt.detail, dir.file("lab.sg2") +
                                 ", trace 2: SAMPLE_INTERVAL 2.000E-007: 0.2 microseconds, below 1 "
                                 "microsecond");
    EXPECT_THAT(run_log(), HasSubstr("  Run ended: ended at a check: \"Missing Sampling Rate\"\n"));
}

// The run log keeps the start of a long run that the status report has emptied away.
TEST_F(run_record, the_run_log_keeps_what_the_status_report_emptied) {
    // Long names: each file that is not SEG-2 adds two lines of its name to the log.
    const std::string long_name(150, 'n');
    for (int i = 0; i < 80; ++i) {
        window.port().list1_add(not_seg2(long_name + std::to_string(1000 + i) + ".dat"));
    }
    window.port().list1_add(recording("last.sg2", 1));
    convert();
    const std::string first = dir.file(long_name + "1000.dat") + " Not valid SEG-2 file-Skipping";
    EXPECT_THAT(window.logic().status_log().text(), Not(HasSubstr(first)));
    EXPECT_THAT(run_log(), HasSubstr(first));
    EXPECT_THAT(run_log(), HasSubstr("  Files kept: 80\n"));
}

// Whether the run log is written, and what a failure to write it does.
TEST_F(run_record, writing_the_run_log_is_an_option_and_its_failure_is_reported) {
    struct Case {
        const char* name;
        bool option_on;
        bool log_path_is_folder;  // the log cannot be opened
        bool log_written;
        const char* status;
    };
    for (const Case& c : {Case{"on", true, false, true, "Complete: 1 file converted"},
                          Case{"off", false, false, false, "Complete: 1 file converted"},
                          Case{"fails", true, true, false, "the run log "}}) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove_all(dir.file("out.qex.log"));
        std::filesystem::remove(dir.file("out.qex"));
        if (c.log_path_is_folder) std::filesystem::create_directory(dir.file("out.qex.log"));
        if (window.logic().write_run_log != c.option_on) action("optionrunlog")->trigger();
        EXPECT_EQ(action("optionrunlog")->isChecked(), c.option_on);
        window.port().list1_clear();
        window.port().list1_add(recording("a.sg2", 2));
        convert();
        EXPECT_EQ(std::filesystem::is_regular_file(dir.file("out.qex.log")), c.log_written);
        EXPECT_EQ(std::filesystem::file_size(dir.file("out.qex")), 2U * (240 + 16))
            << "the conversion is whole either way";
        EXPECT_THAT(window.statusBar()->currentMessage().toStdString(), HasSubstr(c.status));
    }
}

// The same inputs give the same run log from the window and from quarvent-batch, but for
// the program's name.
TEST_F(run_record, the_window_and_the_batch_program_write_the_same_run_log) {
    add_damaged_batch();
    convert();
    const std::string from_window = run_log();
    ASSERT_THAT(from_window, HasSubstr("Run ended: completed"));
    std::filesystem::remove(dir.file("out.qex"));
    std::filesystem::remove(dir.file("out.qex.log"));

    std::vector<std::string> args = {"-k", keywords, "-o", dir.file("out.qex"), "--run-log", "-q"};
    for (const char* name : {"a.sg2", "cut.sg2", "notes.dat", "z.sg2"}) {
        args.push_back(dir.file(name));
    }
    const testing::ProgramResult batch = testing::run_program(QUARVENT_BATCH_PROGRAM, args, dir);
    EXPECT_EQ(batch.status, 3) << batch.err;
    std::string from_batch = run_log();
    from_batch = std::regex_replace(from_batch, std::regex("Program: quarvent-batch "),
                                    "Program: quarvent ");
    EXPECT_EQ(without_times(from_batch), without_times(from_window));
}

// The status bar's button lists the kept files with their reasons; a new run clears it.
TEST_F(run_record, the_kept_files_list_opens_from_the_status_bar) {
    add_damaged_batch();
    convert();
    QPushButton* button = window.kept_files_button();
    ASSERT_TRUE(button->isVisible());
    EXPECT_EQ(button->text().toStdString(), "1 kept incomplete, 1 not SEG-2\u2026");
    EXPECT_THAT(window.statusBar()->currentMessage().toStdString(),
                HasSubstr("Complete: 2 files converted, 1 kept incomplete, 1 not SEG-2, 6 traces"));

    std::vector<std::pair<std::string, std::string>> rows;
    std::string copied;
    testing::when_modal([&](QWidget* modal) {
        auto* dialog = qobject_cast<KeptFilesDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        for (int i = 0; i < dialog->list()->topLevelItemCount(); ++i) {
            const QTreeWidgetItem* row = dialog->list()->topLevelItem(i);
            rows.emplace_back(row->text(0).toStdString(), row->text(1).toStdString());
        }
        dialog->findChild<QPushButton*>("keptcopy")->click();
        copied = QApplication::clipboard()->text().toStdString();
        dialog->reject();
    });
    button->click();
    const std::vector<std::pair<std::string, std::string>> expected = {
        {dir.file("cut.sg2"), "trace 2 truncated (1 of 2 traces skipped)"},
        {dir.file("notes.dat"), "not SEG-2"}};
    EXPECT_EQ(rows, expected);
    EXPECT_EQ(copied, dir.file("cut.sg2") + ": trace 2 truncated (1 of 2 traces skipped)\n" +
                          dir.file("notes.dat") + ": not SEG-2\n");

    // A hovered menu item clears the bar's message; the summary comes back.
    QStatusTipEvent tip{QString()};
    QApplication::sendEvent(&window, &tip);
    QTest::qWait(20);
    EXPECT_THAT(window.statusBar()->currentMessage().toStdString(), HasSubstr("Complete: "));

    // The next run starts without the last one's summary and list.
    bool cleared_at_start = false;
    bool looked = false;
    timer_ = new QTimer(&window);
    QObject::connect(timer_, &QTimer::timeout, [&] {
        if (!window.logic().run_in_progress() || looked) return;
        looked = true;
        cleared_at_start = window.statusBar()->currentMessage().isEmpty() &&
                           !window.kept_files_button()->isVisible();
    });
    timer_->start(0);
    window.port().list1_clear();
    window.port().list1_add(recording("b.sg2", 3));
    std::filesystem::remove(dir.file("out.qex"));
    convert();
    EXPECT_TRUE(cleared_at_start);
    EXPECT_FALSE(window.kept_files_button()->isVisible());
}

TEST_F(run_record, the_status_bar_shows_the_options_that_differ_from_the_defaults) {
    struct Case {
        const char* name;
        std::vector<const char*> items;
        const char* record_ms;  // answer to Adjust Record Length, or nullptr
        const char* shown;
    };
    const Case cases[] = {
        {"defaults", {"resamp1_1"}, nullptr, ""},
        {"2:1", {"resamp1_2"}, nullptr, "2:1"},
        {"record length", {}, "500", "record 500 ms"},
        {"all three",
         {"resamp1_2", "optiondelete"},
         "500",
         "2:1 \u00b7 record 500 ms \u00b7 Delete Input Files"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        window.logic().set_option_defaults();
        for (const char* item : c.items) action(item)->trigger();
        if (c.record_ms != nullptr) {
            scripted.queue(Reply::text(c.record_ms));
            action("optionshorten")->trigger();
        }
        EXPECT_EQ(window.options_in_force()->text().toStdString(), c.shown);
        EXPECT_EQ(window.options_in_force()->isVisible(), std::string(c.shown) != "");
    }
}

// "Files Not Found" for 2,000 missing files fits the screen, its list in a scrolling area.
TEST_F(run_record, files_not_found_with_2000_names_scrolls_within_the_screen) {
    window.port().set_dialog_delegate(nullptr);
    for (int i = 0; i < 2000; ++i) window.port().list1_add(dir.file("gone" + std::to_string(i)));
    const QRect available = available_area(window);
    std::string title;
    std::string text;
    QSize size;
    bool button_inside = false;
    testing::when_modal([&](QWidget* modal) {
        title = modal->windowTitle().toStdString();
        if (auto* shown = modal->findChild<QLabel*>("messagetext"))
            text = shown->text().toStdString();
        size = modal->size();
        ASSERT_NE(modal->findChild<QScrollArea*>("messagescroll"), nullptr);
        QPushButton* ok = modal->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        ASSERT_NE(ok, nullptr);
        button_inside = modal->rect().contains(QRect(ok->mapTo(modal, QPoint()), ok->size()));
        ok->click();
    });
    action("convert")->trigger();
    EXPECT_EQ(title, "Files Not Found");
    EXPECT_THAT(text,
                ::testing::StartsWith("The following files not found:\n" + dir.file("gone0")));
    EXPECT_THAT(text, HasSubstr(dir.file("gone1999") + "\nCan not Continue."));
    EXPECT_LE(size.height(), available.height());
    EXPECT_LE(size.width(), available.width());
    EXPECT_TRUE(button_inside);
}

// Settings made on a larger screen: the window is moved and shrunk into this one, and Exit
// saves the values it was given until the operator moves it.
TEST_F(run_record, geometry_from_a_larger_screen_is_fitted_and_saved_as_given) {
    const QRect available = available_area(window);
    const double tx = window.port().twips_per_pixel_x();
    const double ty = window.port().twips_per_pixel_y();
    const WindowRect given{(available.left() + 300) * tx, (available.top() + 200) * ty,
                           (available.width() + 100) * tx, (available.height() + 50) * ty};
    window.port().set_window_left(given.left);
    window.port().set_window_top(given.top);
    window.port().set_window_width(given.width);
    window.port().set_window_height(given.height);
    window.port().fit_window_into_screen();
    const QRect outer = window.geometry().marginsAdded(frame_of(window));
    EXPECT_TRUE(available.contains(outer)) << "window fits the available area";
    const WindowRect saved = window.port().window_rect_to_save();
    EXPECT_EQ(saved.left, given.left);
    EXPECT_EQ(saved.width, given.width);
    EXPECT_EQ(saved.height, given.height);
    // Once the operator moves it, its own place is saved.
    window.move(window.pos() + QPoint(-1, 0));
    EXPECT_EQ(window.port().window_rect_to_save().left, window.port().window_left());
}

TEST(screen_fit, a_rectangle_is_kept_moved_or_shrunk_into_the_available_area) {
    struct Case {
        const char* name;
        QRect rect;
        QRect expected;
    };
    const QRect available(0, 0, 800, 600);
    const QMargins frame(4, 28, 4, 4);
    const Case cases[] = {
        {"fits", QRect(100, 100, 400, 300), QRect(100, 100, 400, 300)},
        {"off the right edge", QRect(600, 100, 400, 300), QRect(396, 100, 400, 300)},
        {"above the top", QRect(100, -50, 400, 300), QRect(100, 28, 400, 300)},
        {"larger than the screen", QRect(50, 50, 900, 650), QRect(4, 28, 792, 568)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(fitted_into(c.rect, frame, available), c.expected);
    }
}

}  // namespace
}  // namespace quarvent
