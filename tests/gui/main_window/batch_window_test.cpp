// The main window with real batches: progress, Stop, the close question, drops, multi-select
// removal, reorder, remembered choices and the proposed SSN, through real widgets and events.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QDropEvent>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QUrl>
#include <filesystem>
#include <fstream>

#include "engine/file_probe.hpp"
#include "qt/qt_main_window.hpp"
#include "qt/qt_preferences.hpp"
#include "qt/qt_shell_port.hpp"
#include "tests/gui/scripted_file_dialogs.hpp"
#include "tests/support/scripted_shell_ui.hpp"
#include "tests/support/seg2_builder.hpp"
#include "tests/support/temp_dir.hpp"

namespace quarvent {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::Reply;
using testing::ScriptedFileDialogs;
using testing::ScriptedShellUi;

constexpr std::size_t record_bytes = 240 + 4 * 4;  // four samples a trace

std::vector<std::string> entries(QtMainWindow& window) {
    std::vector<std::string> paths;
    for (int i = 0; i < window.port().list1_count(); ++i) {
        paths.push_back(window.port().list1_item(i));
    }
    return paths;
}

class batch_window : public ::testing::Test {
protected:
    batch_window() {
        window.port().set_dialog_delegate(&scripted);
        window.logic().set_option_defaults();
        window.logic().time_of_day = [] { return std::string("10:20:30"); };
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    QAction* action(const char* name) { return window.findChild<QAction*>(name); }

    // A SEG-2 recording of `traces` traces of four samples each.
    std::string recording(const std::string& name, int traces = 2) {
        testing::Seg2Builder file;
        for (int t = 0; t < traces; ++t) file.add_trace(testing::Seg2Trace::int16({1, -2, 3, -4}));
        testing::write_file(dir.file(name), file.build());
        return dir.file(name);
    }
    void add_recordings(int count, int traces) {
        for (int i = 0; i < count; ++i) {
            window.port().list1_add(recording("shot" + std::to_string(100 + i) + ".sg2", traces));
        }
    }
    std::size_t output_size() const {
        std::error_code error;
        const auto size = std::filesystem::file_size(dir.file("out.qex"), error);
        return error ? 0 : static_cast<std::size_t>(size);
    }
    void queue_run_answers() {
        scripted.queue(Reply::text("1"));  // SSN
        scripted.queue(Reply::text("1"));  // sample interval, ms
    }
    // A new run: no output yet, count recordings of traces traces each in the list, and the
    // answers to the run's questions queued.
    void prepare_run(int count, int traces) {
        std::filesystem::remove(dir.file("out.qex"));
        window.port().list1_clear();
        add_recordings(count, traces);
        window.logic().output_file_name = dir.file("out.qex");
        queue_run_answers();
    }
    // Calls at_yield with the number of each written record while the run yields to events.
    void during_run(std::function<void(int)> at_yield) {
        auto* timer = new QTimer(&window);
        auto seen = std::make_shared<int>(0);
        QObject::connect(timer, &QTimer::timeout, [this, timer, seen, at_yield] {
            if (!window.logic().run_in_progress()) return;
            at_yield(++*seen);
            (void)timer;
        });
        timer->start(0);
        timers.push_back(timer);
    }
    ~batch_window() override {
        for (QTimer* timer : timers) timer->stop();
    }

    testing::TempDir dir;
    ScriptedShellUi scripted;
    ScriptedFileDialogs file_dialogs{scripted};
    QtMainWindow window{&file_dialogs};
    std::vector<QTimer*> timers;
};

TEST_F(batch_window, progress_advances_through_a_run_of_20_files) {
    prepare_run(20, 2);
    std::vector<int> values;
    std::vector<QString> file_lines;
    bool panel_instead_of_log = true;
    during_run([&](int) {
        panel_instead_of_log = panel_instead_of_log && window.progress_panel()->isVisible() &&
                               !window.text1()->isVisible() && action("convertstop")->isVisible();
        values.push_back(window.progress_bar()->value());
        file_lines.push_back(window.findChild<QLabel*>("progressfile")->text());
    });
    action("convert")->trigger();

    EXPECT_TRUE(panel_instead_of_log);
    ASSERT_GE(values.size(), 20U);
    EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
    EXPECT_GT(values.back(), values.front());
    EXPECT_EQ(file_lines.front(), "File 1 of 20");
    EXPECT_EQ(file_lines.back(), "File 20 of 20");
    EXPECT_EQ(window.findChild<QLabel*>("progresstraces")->text(), "Traces written: 40 of 40");
    EXPECT_EQ(window.progress_bar()->value(), 1000);
    // At the end: the status report is back, and the summary is in the status bar only.
    EXPECT_FALSE(window.progress_panel()->isVisible());
    EXPECT_TRUE(window.text1()->isVisible());
    EXPECT_FALSE(action("convertstop")->isVisible());
    EXPECT_THAT(window.statusBar()->currentMessage().toStdString(),
                HasSubstr("Complete: 20 files converted, 0 kept incomplete, 40 traces, "
                          "10,240 bytes in "));
    EXPECT_THAT(window.logic().status_log().text(), HasSubstr("Conversion complete @ 10:20:30"));
    EXPECT_THAT(window.logic().status_log().text(), ::testing::Not(HasSubstr("files converted")));
}

TEST_F(batch_window, stop_ends_the_run_after_whole_records_and_logs_it) {
    struct Case {
        const char* how;
        int at_record;
    };
    for (const Case& c : {Case{"Esc key", 5}, Case{"Stop item", 8}}) {
        SCOPED_TRACE(c.how);
        prepare_run(20, 3);
        const bool by_key = std::string(c.how) == "Esc key";
        during_run([&](int record) {
            if (record != c.at_record) return;
            if (by_key) {
                window.activateWindow();
                QTest::keyClick(&window, Qt::Key_Escape);
            } else {
                action("convertstop")->trigger();
            }
        });
        action("convert")->trigger();
        timers.back()->stop();

        EXPECT_FALSE(window.logic().run_in_progress());
        EXPECT_EQ(output_size() % record_bytes, 0U) << "whole records only";
        EXPECT_EQ(output_size(), static_cast<std::size_t>(c.at_record) * record_bytes);
        const std::string log = window.logic().status_log().text();
        EXPECT_THAT(log, HasSubstr("Conversion stopped by the operator @ 10:20:30\r\n"));
        EXPECT_THAT(log, ::testing::Not(HasSubstr("Conversion complete")));
        EXPECT_THAT(window.statusBar()->currentMessage().toStdString(), HasSubstr("Stopped: "));
        EXPECT_TRUE(window.text1()->isVisible());
    }
}

TEST_F(batch_window, closing_during_a_run_asks_whether_to_stop_or_go_on) {
    struct Case {
        Answer answer;
        bool closes;
    };
    // Closing the last window would end the tests' application.
    QApplication::setQuitOnLastWindowClosed(false);
    for (const Case& c : {Case{Answer::no, false}, Case{Answer::yes, true}}) {
        SCOPED_TRACE(c.closes);
        prepare_run(3, 2);
        scripted.queue(Reply::button(c.answer));
        during_run([&](int record) {
            if (record == 1) window.close();
        });
        action("convert")->trigger();
        timers.back()->stop();

        const auto& question = scripted.ui().dialogs().back();
        EXPECT_EQ(question.title, "Conversion in progress");
        EXPECT_EQ(question.buttons, Buttons::yes_no);
        EXPECT_EQ(output_size(), (c.closes ? 1U : 6U) * record_bytes);
        for (int waited = 0; window.isVisible() && waited < 500; waited += 10) QTest::qWait(10);
        EXPECT_EQ(window.isVisible(), !c.closes);
    }
    QApplication::setQuitOnLastWindowClosed(true);
}

// Exit during a run asks what closing the window asks; Yes stops the run after its current
// record and only then ends the program, with the settings written.
TEST_F(batch_window, exit_during_a_run_asks_whether_to_stop_or_go_on) {
    window.logic().session.start_dir = dir.path().string();
    struct Case {
        Answer answer;
        bool ends;
    };
    for (const Case& c : {Case{Answer::no, false}, Case{Answer::yes, true}}) {
        SCOPED_TRACE(c.ends);
        prepare_run(3, 2);
        scripted.queue(Reply::button(c.answer));
        during_run([&](int record) {
            if (record == 1) action("fileexit")->trigger();
        });
        action("convert")->trigger();
        timers.back()->stop();

        const auto& question = scripted.ui().dialogs().back();
        EXPECT_EQ(question.title, "Conversion in progress");
        EXPECT_EQ(question.buttons, Buttons::yes_no);
        EXPECT_EQ(output_size(), (c.ends ? 1U : 6U) * record_bytes);
        EXPECT_EQ(window.port().program_ended(), c.ends);
        EXPECT_EQ(std::filesystem::exists(dir.file("quarvent.ini")), c.ends);
        EXPECT_THAT(window.logic().status_log().text(),
                    c.ends ? HasSubstr("Conversion stopped by the operator")
                           : HasSubstr("Conversion complete"));
    }
    // Exit ends the application; a fresh start of its event loop undoes that for the tests
    // that follow.
    QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

// Before the run writes, the existing output is judged through the open it writes through:
// a file that is not QEX is refused untouched, a partial last record goes only when the
// operator says so, and an output another conversion holds is refused.
TEST_F(batch_window, an_existing_output_is_judged_before_the_run_writes) {
    const std::vector<std::uint8_t> whole = testing::qex_records({6, 6, 7}, 4);
    const std::vector<std::uint8_t> cut(whole.begin(), whole.end() - 100);
    testing::Seg2Builder seg2;
    seg2.add_trace(testing::Seg2Trace::int16({1, 2}));
    const std::string out = dir.file("out.qex");
    struct Row {
        const char* name;
        std::vector<std::uint8_t> bytes;
        bool locked;                 // another open of the file holds its lock
        std::vector<Reply> answers;  // after "Appending Data"
        std::string title;           // of the box after "Appending Data"
        Dialog identity;             // of that box
        std::string in_text;
        std::size_t size_after;  // 0: untouched
    };
    const Row rows[] = {
        {"a SEG-2 recording",
         seg2.build(),
         false,
         {Reply::button(Answer::ok)},
         "Output Is Not QEX",
         Dialog::output_not_qex,
         out + " is not a QEX file; nothing was written",
         0},
        {"a partial last record, kept",
         cut,
         false,
         {Reply::button(Answer::no)},
         "Partial Record at End of Output",
         Dialog::partial_record,
         "2 records (512 bytes) stay and 156 bytes go",
         0},
        {"a partial last record, cut back",
         cut,
         false,
         {Reply::button(Answer::yes), Reply::text("7"), Reply::text("1")},
         "Partial Record at End of Output",
         Dialog::partial_record,
         "Cut the file back to its last whole record?",
         512 + 2 * record_bytes},
        {"held by another conversion",
         whole,
         true,
         {Reply::button(Answer::ok)},
         "Output File In Use",
         Dialog::output_in_use,
         out + " is being written by another conversion",
         0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        window.port().list1_clear();
        window.port().list1_add(recording("a.sg2"));
        window.logic().output_file_name = out;
        testing::write_file(out, row.bytes);
        const int holder = row.locked ? ::open(out.c_str(), O_RDWR) : -1;
        if (row.locked) {
            struct flock whole_file {};
            whole_file.l_type = F_WRLCK;
            whole_file.l_whence = SEEK_SET;
            ASSERT_EQ(::fcntl(holder, F_OFD_SETLK, &whole_file), 0);
        }
        scripted.queue(Reply::button(Answer::ok));  // Appending Data
        for (const Reply& reply : row.answers) scripted.queue(reply);
        const std::size_t before = scripted.ui().dialogs().size();
        action("convert")->trigger();
        if (holder >= 0) ::close(holder);

        const auto& dialogs = scripted.ui().dialogs();
        ASSERT_GE(dialogs.size(), before + 2);
        EXPECT_EQ(dialogs[before].title, "Appending Data");
        EXPECT_EQ(dialogs[before + 1].title, row.title);
        EXPECT_EQ(dialogs[before + 1].identity, row.identity);
        EXPECT_THAT(dialogs[before + 1].text, HasSubstr(row.in_text));
        if (row.size_after == 0) {
            EXPECT_EQ(testing::read_file(out), row.bytes);
            continue;
        }
        // The SSN proposed follows the last whole record's.
        EXPECT_EQ(dialogs[before + 2].proposed, "7");
        EXPECT_EQ(output_size(), row.size_after);
    }
}

// The Output dialog takes no file that holds something other than QEX records.
TEST_F(batch_window, the_output_dialog_refuses_a_file_that_is_not_qex) {
    testing::write_file(dir.file("line1.qex"), testing::qex_records({1}, 4));
    struct Row {
        const char* name;
        std::string chosen;
        bool refused;
    };
    const Row rows[] = {
        {"a SEG-2 recording", recording("shot1.dat"), true},
        {"a QEX file", dir.file("line1.qex"), false},
        {"a new name", dir.file("new.dat"), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        window.logic().output_file_name = "/earlier/out.qex";
        const std::size_t before = scripted.ui().dialogs().size();
        if (row.refused) scripted.queue(Reply::button(Answer::ok));
        scripted.queue_filelog(ScriptedShellUi::chosen(row.chosen, dir.path().string()));
        action("fileoutput")->trigger();
        EXPECT_EQ(window.logic().output_file_name, row.refused ? "/earlier/out.qex" : row.chosen);
        EXPECT_EQ(scripted.ui().dialogs().size(), before + (row.refused ? 1 : 0));
        if (row.refused) {
            EXPECT_EQ(scripted.ui().dialogs().back().title, "Output Is Not QEX");
            EXPECT_THAT(scripted.ui().dialogs().back().text,
                        HasSubstr(row.chosen + " is not a QEX file"));
        }
    }
}

// The walk over a long output lets the window's events run: Stop during it ends the command
// before the SSN prompt, and nothing is written.
TEST_F(batch_window, stop_during_the_walk_of_a_long_output_writes_nothing) {
    constexpr int records = 20000;
    constexpr int samples = 1000;
    const std::string out = dir.file("out.qex");
    {
        // Sparse: only the headers are written.
        const std::vector<std::uint8_t> header = testing::qex_records({3}, samples);
        const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        const off_t record = 240 + 4 * samples;
        for (int r = 0; r < records; ++r) {
            ASSERT_EQ(::pwrite(fd, header.data(), 240, r * record), 240);
        }
        ASSERT_EQ(::ftruncate(fd, records * record), 0);
        ::close(fd);
    }
    const auto size = std::filesystem::file_size(out);
    window.port().list1_clear();
    window.port().list1_add(recording("a.sg2"));
    window.logic().output_file_name = out;
    scripted.queue(Reply::button(Answer::ok));  // Appending Data
    during_run([&](int tick) {
        if (tick == 1) action("convertstop")->trigger();
    });
    action("convert")->trigger();
    timers.back()->stop();
    EXPECT_EQ(scripted.ui().dialogs().back().title, "Appending Data");
    EXPECT_EQ(std::filesystem::file_size(out), size);
    EXPECT_FALSE(window.logic().run_in_progress());
}

// Sends a drag of urls from outside onto the list, and drops it.
void drop_urls(QListWidget* list, const std::vector<std::string>& paths,
               Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QMimeData data;
    QList<QUrl> urls;
    for (const std::string& path : paths) urls << QUrl::fromLocalFile(QString::fromStdString(path));
    data.setUrls(urls);
    const QPoint at = list->viewport()->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(list->viewport(), &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, modifiers);
    QApplication::sendEvent(list->viewport(), &drop);
}

TEST_F(batch_window, a_drop_adds_only_seg2_recordings_in_name_order) {
    // Three files (one not SEG-2, one SEG-2 under another name) and a folder holding
    // recordings, a text file and a folder of its own.
    const std::string c = recording("c.sg2");
    const std::string b = recording("b.dat");
    std::ofstream(dir.file("a.txt")) << "not a recording";
    std::filesystem::create_directories(dir.path() / "shots" / "deeper");
    const std::string z = recording("shots/z.sg2");
    const std::string m = recording("shots/m.bin");
    std::ofstream(dir.file("shots/notes.txt")) << "field notes";
    const std::string deep = recording("shots/deeper/x.sg2");
    // Numbered names in the order of their numbers: 9 before 10.
    const std::string ten = recording("shots/10.sg2");
    const std::string nine = recording("shots/9.sg2");

    struct Case {
        const char* name;
        Qt::KeyboardModifiers modifiers;
        std::optional<Answer> asked;  // the answer to the subfolder question, when asked
        bool with_deeper;
    };
    for (const Case& k : {Case{"asked, no", Qt::NoModifier, Answer::no, false},
                          Case{"asked, yes", Qt::NoModifier, Answer::yes, true},
                          Case{"Ctrl: subfolders without asking", Qt::ControlModifier, {}, true}}) {
        SCOPED_TRACE(k.name);
        window.port().list1_clear();
        const std::size_t dialogs_before = scripted.ui().dialogs().size();
        if (k.asked) scripted.queue(Reply::button(*k.asked));
        drop_urls(window.list1(), {c, dir.file("shots"), dir.file("a.txt"), b}, k.modifiers);
        EXPECT_EQ(scripted.ui().dialogs().size(), dialogs_before + (k.asked ? 1 : 0));
        if (k.with_deeper) {
            EXPECT_THAT(entries(window), ElementsAre(b, c, nine, ten, deep, m, z));
        } else {
            EXPECT_THAT(entries(window), ElementsAre(b, c, nine, ten, m, z));
        }
        EXPECT_THAT(window.statusBar()->currentMessage().toStdString(),
                    HasSubstr("left out 2 files that are not SEG-2"));
    }
}

TEST_F(batch_window, delete_removes_every_selected_entry) {
    for (const char* path : {"/a", "/b", "/c", "/d", "/e"}) window.port().list1_add(path);
    window.list1()->item(1)->setSelected(true);
    window.list1()->item(3)->setSelected(true);
    window.list1()->setFocus();
    QTest::keyClick(window.list1(), Qt::Key_Delete);
    EXPECT_THAT(entries(window), ElementsAre("/a", "/c", "/e"));
    // The entry before the first one removed is selected.
    EXPECT_EQ(window.port().list1_selection(), std::vector<int>{0});

    // The right button removes the selection too, whatever lies under the pointer.
    window.list1()->clearSelection();
    window.list1()->item(1)->setSelected(true);
    window.list1()->item(2)->setSelected(true);
    const QRect first = window.list1()->visualItemRect(window.list1()->item(0));
    QTest::mouseClick(window.list1()->viewport(), Qt::RightButton, {}, first.center());
    EXPECT_THAT(entries(window), ElementsAre("/a"));
}

TEST_F(batch_window, dragging_entries_reorders_the_list) {
    for (const char* path : {"/a", "/b", "/c", "/d"}) window.port().list1_add(path);
    QListWidget* list = window.list1();
    list->item(2)->setSelected(true);
    list->item(3)->setSelected(true);
    std::unique_ptr<QMimeData> data(
        list->model()->mimeData(list->selectionModel()->selectedIndexes()));
    const QRect top = list->visualItemRect(list->item(0));
    const QPoint at(top.center().x(), top.top() + 1);
    QDragEnterEvent enter(at, Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &enter);
    QDropEvent drop(QPointF(at), Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &drop);
    EXPECT_THAT(entries(window), ElementsAre("/c", "/d", "/a", "/b"));
}

TEST_F(batch_window, inputs_deleted_by_the_run_leave_the_list) {
    add_recordings(3, 2);
    std::ofstream(dir.file("notes.dat")) << "not a recording";
    window.port().list1_add(dir.file("notes.dat"));
    window.port().list1_add(recording("last.sg2"));
    window.logic().output_file_name = dir.file("out.qex");
    action("optiondelete")->trigger();
    scripted.queue(Reply::button(Answer::yes));  // inputs will be deleted
    queue_run_answers();
    action("convert")->trigger();
    // The file that was not converted stays, on disk and in the list; the summary counts it
    // apart from the files kept partly converted.
    EXPECT_THAT(entries(window), ElementsAre(dir.file("notes.dat")));
    EXPECT_TRUE(std::filesystem::exists(dir.file("notes.dat")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("last.sg2")));
    EXPECT_THAT(window.statusBar()->currentMessage().toStdString(),
                HasSubstr("Complete: 4 files converted, 0 kept incomplete, 1 not SEG-2"));
}

TEST_F(batch_window, appending_proposes_the_ssn_after_the_last_record) {
    struct Case {
        const char* name;
        bool existing_output;
        std::string proposed;
    };
    for (const Case& c : {Case{"new output", false, "1"}, Case{"appending", true, "8"}}) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(dir.file("out.qex"));
        window.port().list1_clear();
        window.port().list1_add(recording("a.sg2"));
        window.logic().output_file_name = dir.file("out.qex");
        if (c.existing_output) {
            scripted.queue(Reply::text("7"));  // SSN of a first run
            scripted.queue(Reply::text("1"));  // sample interval, ms
            action("convert")->trigger();
            ASSERT_EQ(last_record_ssn(dir.file("out.qex")), std::optional<std::int16_t>(7));
            scripted.queue(Reply::button(Answer::ok));  // appending
        }
        scripted.queue(Reply::text(""));  // the SSN prompt, cancelled
        action("convert")->trigger();
        const auto& prompt = scripted.ui().dialogs().back();
        EXPECT_EQ(prompt.title, "SSN Value?");
        EXPECT_EQ(prompt.proposed, c.proposed);
    }
}

// Start-up and Exit of the whole program twice: what the operator chose in the first
// session is back in the second, kept in the program's own settings file, never in
// quarvent.ini.
TEST(batch_window_restart, remembered_choices_survive_exit_and_start) {
    testing::TempDir start;
    testing::TempDir system;
    testing::TempDir config;
    std::ofstream(system.file("QEXKEYWO.RD"), std::ios::binary)
        << "SAMPLE_INTERVAL 1 59 1000000\r\n";
    const auto saved_dir = std::filesystem::current_path();
    std::filesystem::current_path(start.path());
    const QString preferences_file = QString::fromStdString(config.file("quarvent-desktop.ini"));

    struct Session {
        bool remember_delete;
    };
    for (const Session& s : {Session{true}, Session{false}}) {
        SCOPED_TRACE(s.remember_delete);
        std::filesystem::remove(config.file("quarvent-desktop.ini"));
        double list_width = 0;
        {
            ScriptedShellUi scripted;
            QtPreferences preferences(preferences_file);
            ScriptedFileDialogs file_dialogs{scripted};
            QtMainWindow program{&file_dialogs};
            program.port().set_dialog_delegate(&scripted);
            program.logic().preferences = &preferences;
            program.logic().session.system_dir = system.path().string();
            if (!std::filesystem::exists(start.file("quarvent.ini"))) {
                scripted.queue(Reply::button(Answer::ok));  // no quarvent.ini yet
            }
            ASSERT_TRUE(program.load());
            program.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&program));
            program.findChild<QAction*>("resamp1_4")->trigger();
            scripted.queue(Reply::text("250"));
            program.findChild<QAction*>("optionshorten")->trigger();
            if (s.remember_delete) program.findChild<QAction*>("optionremember")->trigger();
            program.findChild<QAction*>("optionfresh")->trigger();
            program.findChild<QAction*>("optiondelete")->trigger();
            EXPECT_TRUE(program.findChild<QLabel*>("deletenote")->isVisible());
            scripted.queue_filelog(ScriptedShellUi::chosen("/qex/line7.qex", "/qex"));
            program.findChild<QAction*>("fileoutput")->trigger();
            // Widen the list by dragging the divider 60 pixels to the right.
            QWidget* handle = program.splitter_handle();
            const int before = program.list1()->width();
            QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(1, 10));
            QTest::mouseMove(handle, QPoint(61, 10));
            QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(61, 10));
            EXPECT_NEAR(program.list1()->width(), before + 60, 1);
            list_width = program.port().control_width(Control::List1);
            program.findChild<QAction*>("fileexit")->trigger();
            // Exit ends the application; a fresh start of its event loop undoes that for the
            // tests that follow.
            QTimer::singleShot(0, [] { QCoreApplication::exit(0); });
            QCoreApplication::exec();
        }
        std::ifstream ini(start.file("quarvent.ini"), std::ios::binary);
        int lines = 0;
        for (std::string line; std::getline(ini, line);) ++lines;
        EXPECT_EQ(lines, 22);

        ScriptedShellUi scripted;  // no message may appear
        QtPreferences preferences(preferences_file);
        ScriptedFileDialogs file_dialogs{scripted};
        QtMainWindow program{&file_dialogs};
        program.port().set_dialog_delegate(&scripted);
        program.logic().preferences = &preferences;
        program.logic().session.system_dir = system.path().string();
        ASSERT_TRUE(program.load());
        const MainWindow& logic = program.logic();
        EXPECT_EQ(logic.options.resample_factor, 4);
        EXPECT_TRUE(program.findChild<QAction*>("resamp1_4")->isChecked());
        EXPECT_FALSE(program.findChild<QAction*>("resamp1_1")->isChecked());
        EXPECT_EQ(logic.options.record_end_ms, 250.0F);
        EXPECT_EQ(program.findChild<QAction*>("optionshorten")->text(),
                  "Adjusted Length =  250 ms");
        EXPECT_TRUE(logic.options.fresh_header_per_file);
        EXPECT_TRUE(program.findChild<QAction*>("optionfresh")->isChecked());
        EXPECT_EQ(logic.output_file_name, "/qex/line7.qex");
        EXPECT_EQ(program.findChild<QLabel*>("Label2")->text(), "Output file: /qex/line7.qex");
        EXPECT_NEAR(program.port().control_width(Control::List1), list_width, 1);
        // Delete Input Files only when the operator asked for it to be remembered.
        EXPECT_EQ(logic.options.delete_inputs, s.remember_delete);
        EXPECT_EQ(program.findChild<QAction*>("optiondelete")->isChecked(), s.remember_delete);
        EXPECT_EQ(program.findChild<QLabel*>("deletenote")->isVisibleTo(&program),
                  s.remember_delete);
    }
    std::filesystem::current_path(saved_dir);
}

}  // namespace
}  // namespace quarvent
