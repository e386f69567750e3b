#include "qt/qt_main_window.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>

#include "qt/qt_shell_port.hpp"
#include "tests/gui/modal_dialog.hpp"
#include "tests/gui/scripted_file_dialogs.hpp"
#include "tests/support/scripted_shell_ui.hpp"
#include "tests/support/seg2_builder.hpp"
#include "tests/support/temp_dir.hpp"

// Readable QStrings in failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace quarvent {
namespace {

using namespace std::string_literals;
using ::testing::ElementsAre;
using testing::Reply;
using testing::ScriptedFileDialogs;
using testing::ScriptedShellUi;
using testing::when_modal;

// The full paths of the list's entries (an entry shows its file name first, and its full
// path as its tooltip).
QStringList item_texts(const QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) texts << list->item(i)->toolTip();
    return texts;
}

class qt_main_window : public ::testing::Test {
protected:
    qt_main_window() {
        window.port().set_dialog_delegate(&scripted);
        window.logic().set_option_defaults();
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    QAction* action(const char* name) {
        auto* found = window.findChild<QAction*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    template <typename Widget>
    Widget* widget(const char* name) {
        auto* found = window.findChild<Widget*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    void add_inputs(std::initializer_list<const char*> paths) {
        for (const char* path : paths) window.port().list1_add(path);
    }

    ScriptedShellUi scripted;
    ScriptedFileDialogs file_dialogs{scripted};
    QtMainWindow window{&file_dialogs};
};

TEST_F(qt_main_window, has_the_designed_caption_menus_and_controls) {
    EXPECT_EQ(window.windowTitle(), "SEG2 -> QEX");

    QStringList bar;
    for (QAction* item : window.menuBar()->actions()) {
        if (item->isVisible()) bar << item->objectName() + "=" + item->text();
    }
    EXPECT_EQ(bar, QStringList({"filemenu=Files", "segoptions=&Options", "convert=&Convert",
                                "viewmenu=&View", "help=&Help"}));

    struct Item {
        const char* name;
        const char* caption;
        const char* parent;
    };
    const Item items[] = {
        {"fileopen", "Select &Inputs", "filemenu"},
        {"fileoutput", "&Output ", "filemenu"},
        {"fileclear", "&Clear List", "filemenu"},
        {"fileexit", "E&xit", "filemenu"},
        {"optresamp", "Resample", "segoptions"},
        {"resamp1_1", "1:1", "optresamp"},
        {"resamp1_2", "2:1", "optresamp"},
        {"resamp1_4", "4:1", "optresamp"},
        {"optiondelete", "Delete Input Files", "segoptions"},
        {"optionshorten", "Adjust Record Length", "segoptions"},
        {"helpcontent", "&Contents", "help"},
        {"fileabout", "&About", "help"},
    };
    for (const auto& item : items) {
        SCOPED_TRACE(item.name);
        QAction* found = action(item.name);
        ASSERT_NE(found, nullptr);
        EXPECT_EQ(found->text(), item.caption);
        auto* parent = window.findChild<QMenu*>(QString::fromLatin1(item.parent));
        ASSERT_NE(parent, nullptr);
        EXPECT_TRUE(parent->actions().contains(found));
    }
    // Order within the Files menu, with its separator before Exit; Save Status Log is ours.
    QStringList files;
    for (QAction* item : window.findChild<QMenu*>("filemenu")->actions()) {
        files << (item->isSeparator() ? QStringLiteral("-") : item->objectName());
    }
    EXPECT_EQ(files,
              QStringList({"fileopen", "fileoutput", "fileclear", "filesavelog", "-", "fileexit"}));

    EXPECT_TRUE(action("resamp1_1")->isChecked());
    EXPECT_FALSE(action("resamp1_2")->isChecked());
    EXPECT_FALSE(action("optiondelete")->isChecked());

    EXPECT_EQ(widget<QLabel>("Label1")->text(), "Input Files");
    EXPECT_EQ(widget<QLabel>("Label2")->text(), "OutPut File:");
    EXPECT_EQ(widget<QLabel>("Label3")->text(), "Status Report");
    EXPECT_NE(widget<QListWidget>("List1"), nullptr);
    EXPECT_TRUE(widget<QPlainTextEdit>("Text1")->isReadOnly());
}

TEST_F(qt_main_window, file_commands_fill_the_list_and_label2) {
    scripted.queue_filelog(ScriptedShellUi::chosen("/data\0a.dat\0b.dat"s, "/data"));
    action("fileopen")->trigger();
    EXPECT_EQ(item_texts(window.list1()), QStringList({"/data/a.dat", "/data/b.dat"}));
    EXPECT_EQ(window.logic().last_input_dir, "/data");
    EXPECT_EQ(scripted.filelog_calls().at(0).settings.title, "Quarvent File OPEN");

    scripted.queue_filelog(ScriptedShellUi::chosen("/qex/line1.dat", "/qex"));
    action("fileoutput")->trigger();
    EXPECT_EQ(widget<QLabel>("Label2")->text(), "Output file: /qex/line1.dat");

    action("fileclear")->trigger();
    EXPECT_EQ(window.list1()->count(), 0);
}

TEST_F(qt_main_window, list_items_keep_the_exact_bytes_of_their_paths) {
    const std::string latin1_path = "/data/m\xFCnster.dat";  // not valid UTF-8
    const std::string utf8_path = "/data/m\xC3\xBCnster.dat";
    add_inputs({latin1_path.c_str(), utf8_path.c_str()});
    EXPECT_EQ(window.port().list1_item(0), latin1_path);
    EXPECT_EQ(window.port().list1_item(1), utf8_path);
    EXPECT_EQ(window.list1()->item(0)->toolTip(), QString::fromUtf8("/data/m\xC3\xBCnster.dat"));
    EXPECT_EQ(window.list1()->item(1)->toolTip(), QString::fromUtf8("/data/m\xC3\xBCnster.dat"));
    // The file name first, its folder after it.
    EXPECT_EQ(window.list1()->item(1)->text(),
              QString::fromUtf8("m\xC3\xBCnster.dat  \xE2\x80\x94  /data"));
}

TEST_F(qt_main_window, delete_key_removes_the_selected_item_and_selects_the_one_before) {
    struct Case {
        int selected;
        QStringList remaining;
        int selected_after;
    };
    for (const Case& c :
         {Case{2, {"/a", "/b"}, 1}, Case{0, {"/b", "/c"}, 0}, Case{-1, {"/a", "/b", "/c"}, -1}}) {
        SCOPED_TRACE(c.selected);
        window.port().list1_clear();
        add_inputs({"/a", "/b", "/c"});
        window.port().list1_select(c.selected);
        window.list1()->setFocus();
        QTest::keyClick(window.list1(), Qt::Key_Delete);
        EXPECT_EQ(item_texts(window.list1()), c.remaining);
        EXPECT_EQ(window.port().list1_selected(), c.selected_after);
    }
}

TEST_F(qt_main_window, right_button_removes_the_selected_item_not_the_one_under_the_pointer) {
    add_inputs({"/a", "/b", "/c"});
    window.port().list1_select(2);
    const QRect first = window.list1()->visualItemRect(window.list1()->item(0));
    QTest::mouseClick(window.list1()->viewport(), Qt::RightButton, {}, first.center());
    EXPECT_EQ(item_texts(window.list1()), QStringList({"/a", "/b"}));
    EXPECT_EQ(window.port().list1_selected(), 1);

    // The left button only selects.
    QTest::mouseClick(window.list1()->viewport(), Qt::LeftButton, {}, first.center());
    EXPECT_EQ(item_texts(window.list1()), QStringList({"/a", "/b"}));
    EXPECT_EQ(window.port().list1_selected(), 0);
}

TEST_F(qt_main_window, options_menu_items_keep_their_check_marks_in_step) {
    action("resamp1_2")->trigger();
    EXPECT_EQ(window.logic().options.resample_factor, 2);
    EXPECT_FALSE(action("resamp1_1")->isChecked());
    EXPECT_TRUE(action("resamp1_2")->isChecked());
    // Choosing the checked item again keeps it checked.
    action("resamp1_2")->trigger();
    EXPECT_TRUE(action("resamp1_2")->isChecked());
    action("optiondelete")->trigger();
    EXPECT_TRUE(window.logic().options.delete_inputs);
    EXPECT_TRUE(action("optiondelete")->isChecked());
    action("optiondelete")->trigger();
    EXPECT_FALSE(window.logic().options.delete_inputs);
    EXPECT_FALSE(action("optiondelete")->isChecked());
}

TEST_F(qt_main_window, resizing_lays_out_the_status_report_beside_the_list) {
    const double tx = window.port().twips_per_pixel_x();
    const double ty = window.port().twips_per_pixel_y();
    for (QSize size : {QSize(700, 500), QSize(500, 300), QSize(900, 650)}) {
        SCOPED_TRACE(size.width());
        window.resize(size);
        QCoreApplication::processEvents();
        const double width = window.geometry().width() * tx;
        const double height = window.geometry().height() * ty;
        const double list_width = window.list1()->width() * tx;
        EXPECT_NEAR(window.text1()->width() * tx, width - list_width - 350, tx);
        EXPECT_NEAR(window.text1()->height() * ty, height - 1300, ty);
        EXPECT_EQ(window.list1()->height(), window.text1()->height());
    }
}

TEST_F(qt_main_window, geometry_set_in_twips_lays_the_window_out) {
    QtShellPort& port = window.port();
    const double tx = port.twips_per_pixel_x();
    port.set_window_width(9000);
    port.set_window_height(6000);
    EXPECT_NEAR(port.window_width(), 9000, tx);
    EXPECT_NEAR(port.window_height(), 6000, port.twips_per_pixel_y());
    EXPECT_NEAR(port.control_width(Control::Text1), 9000 - port.control_width(Control::List1) - 350,
                2 * tx);
    EXPECT_NEAR(port.control_height(Control::List1), 4700, 2 * port.twips_per_pixel_y());
    EXPECT_FALSE(port.set_control_width(Control::Text1, -10));
}

TEST_F(qt_main_window, a_backspace_caption_moves_help_to_the_right_hand_end) {
    window.port().set_menu_caption(Menu::help, "\b&Help");
    EXPECT_EQ(window.port().menu_caption(Menu::help), "\b&Help");
    QAction* help = action("help");
    EXPECT_FALSE(window.menuBar()->actions().contains(help));
    auto* corner = qobject_cast<QMenuBar*>(window.menuBar()->cornerWidget(Qt::TopRightCorner));
    ASSERT_NE(corner, nullptr);
    EXPECT_TRUE(corner->actions().contains(help));
    EXPECT_EQ(help->text(), "&Help");
    // The Help menu's items still work from there.
    EXPECT_EQ(window.findChild<QMenu*>("help")->actions().size(), 2);
}

TEST_F(qt_main_window, the_status_log_shows_in_text1_with_its_line_breaks) {
    window.logic().status_log().append("\r\nConversion of /a begun at 10:00:00\r\n");
    window.logic().status_log().append(" *SCALE FACTOR APPLIED!* ");
    window.logic().status_log().append("Conversion complete @ 10:00:01\r");
    window.logic().status_log().append("\n");
    EXPECT_EQ(window.text1()->toPlainText(),
              "\nConversion of /a begun at 10:00:00\n *SCALE FACTOR APPLIED!* Conversion "
              "complete @ 10:00:01\n");
    window.logic().status_log().clear();
    EXPECT_EQ(window.text1()->toPlainText(), "");
}

// The real dialogs, answered from a timer: the adapter shows the program's titles, texts,
// buttons and icons and maps the answers back.
TEST_F(qt_main_window, real_message_box_shows_the_request_and_returns_the_answer) {
    window.port().set_dialog_delegate(nullptr);
    struct Case {
        MessageBoxRequest request;
        QString title;
        QMessageBox::StandardButtons buttons;
        QMessageBox::Icon icon;
        QMessageBox::StandardButton press;
        Answer answer;
    };
    const Case cases[] = {
        {{Dialog::file_error, "Disk is full. Continue?", "File Error", Buttons::yes_no_cancel,
          Icon::question},
         "File Error",
         QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel,
         QMessageBox::Question,
         QMessageBox::No,
         Answer::no},
        {{Dialog::appending,
          "Warning-Output file all ready exisits.\r\nconverted data will be appended to end!",
          "Appending Data", Buttons::ok_cancel, Icon::question},
         "Appending Data",
         QMessageBox::Ok | QMessageBox::Cancel,
         QMessageBox::Question,
         QMessageBox::Cancel,
         Answer::cancel},
        {{Dialog::settings_missing, "Can not find quarvent.INI file!\r\n", "", Buttons::ok,
          Icon::critical},
         "Quarvent",
         QMessageBox::Ok,
         QMessageBox::Critical,
         QMessageBox::Ok,
         Answer::ok},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.request.title);
        QString seen_text;
        QString seen_title;
        QMessageBox::StandardButtons seen_buttons;
        QMessageBox::Icon seen_icon = QMessageBox::NoIcon;
        when_modal([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            seen_text = box->text();
            seen_title = box->windowTitle();
            seen_buttons = box->standardButtons();
            seen_icon = box->icon();
            box->button(c.press)->click();
        });
        EXPECT_EQ(window.port().message_box(c.request), c.answer);
        EXPECT_EQ(seen_title, c.title);
        EXPECT_EQ(seen_text, QString::fromStdString(c.request.text).replace("\r\n", "\n"));
        EXPECT_EQ(seen_buttons, c.buttons);
        EXPECT_EQ(seen_icon, c.icon);
    }
}

TEST_F(qt_main_window, real_input_prompt_sets_the_record_length) {
    window.port().set_dialog_delegate(nullptr);
    QString seen_label;
    QString seen_title;
    QString seen_proposed;
    when_modal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QInputDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        seen_label = dialog->labelText();
        seen_title = dialog->windowTitle();
        seen_proposed = dialog->textValue();
        dialog->setTextValue("500");
        dialog->accept();
    });
    action("optionshorten")->trigger();
    EXPECT_EQ(seen_title, "Modify Record Length");
    EXPECT_EQ(seen_label, "Enter ending time(ms) of records. 0=original");
    EXPECT_EQ(seen_proposed, "0");
    EXPECT_EQ(window.logic().options.record_end_ms, 500.0F);
    EXPECT_EQ(action("optionshorten")->text(), "Adjusted Length =  500 ms");

    // Cancel gives an empty answer: the original length.
    when_modal([](QWidget* modal) { qobject_cast<QDialog*>(modal)->reject(); });
    action("optionshorten")->trigger();
    EXPECT_EQ(window.logic().options.record_end_ms, 0.0F);
    EXPECT_EQ(action("optionshorten")->text(), "Adjust Record Length");
}

TEST_F(qt_main_window, real_file_dialog_returns_the_chosen_files_in_one_directory) {
    window.port().set_dialog_delegate(nullptr);
    file_dialogs.use_real_dialogs(window);
    testing::TempDir dir;
    for (const char* name : {"a.dat", "b.dat", "c.raw"}) std::ofstream(dir.file(name)) << "x";
    window.logic().last_input_dir = dir.path().string();
    QString seen_title;
    when_modal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        seen_title = dialog->windowTitle();
        EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFiles);
        EXPECT_EQ(dialog->directory().absolutePath(), QString::fromStdString(dir.path().string()));
        // SEG-2 recordings first and selected, then the designed pairs unchanged.
        const QStringList designed =
            qt_name_filters("Data (*.dat)|*.dat|Raw Data (*.raw)|*.raw|All Data (*.*)|*.*");
        ASSERT_EQ(dialog->nameFilters().size(), designed.size() + 1);
        EXPECT_EQ(dialog->nameFilters().mid(1), designed);
        EXPECT_EQ(dialog->selectedNameFilter(),
                  "SEG-2 recordings (*.sg2 *.seg2 *.dat *.SG2 *.SEG2 *.DAT)");
        auto* name_edit = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name_edit, nullptr);
        name_edit->setText("\"b.dat\" \"a.dat\"");
        static_cast<QDialog*>(dialog)->accept();
    });
    action("fileopen")->trigger();
    EXPECT_EQ(seen_title, "Quarvent File OPEN");
    std::vector<std::string> items;
    for (int i = 0; i < window.port().list1_count(); ++i)
        items.push_back(window.port().list1_item(i));
    EXPECT_THAT(items, ElementsAre(dir.file("b.dat"), dir.file("a.dat")));
    EXPECT_EQ(window.logic().last_input_dir, dir.path().string());
}

TEST_F(qt_main_window, real_file_dialog_returns_a_selection_of_300_files_whole) {
    window.port().set_dialog_delegate(nullptr);
    file_dialogs.use_real_dialogs(window);
    testing::TempDir dir;
    QString typed;
    std::vector<std::string> expected;
    for (int i = 0; i < 300; ++i) {
        const std::string name = "shot_" + std::to_string(10000 + i) + "_raw.dat";
        std::ofstream(dir.file(name)) << "x";
        typed += QStringLiteral("\"%1\" ").arg(QString::fromStdString(name));
        expected.push_back(dir.file(name));
    }
    window.logic().last_input_dir = dir.path().string();
    when_modal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText(typed);
        static_cast<QDialog*>(dialog)->accept();
    });
    // Any message box that comes up is counted and closed.
    int boxes = 0;
    QTimer boxes_closer;
    QObject::connect(&boxes_closer, &QTimer::timeout, [&boxes] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            ++boxes;
            box->done(0);
        }
    });
    boxes_closer.start(10);
    action("fileopen")->trigger();
    boxes_closer.stop();
    EXPECT_EQ(boxes, 0);
    std::vector<std::string> items;
    for (int i = 0; i < window.port().list1_count(); ++i)
        items.push_back(window.port().list1_item(i));
    EXPECT_EQ(items, expected);
}

TEST_F(qt_main_window, real_save_dialog_remembers_the_folder_of_a_typed_path) {
    window.port().set_dialog_delegate(nullptr);
    file_dialogs.use_real_dialogs(window);
    testing::TempDir shown;
    testing::TempDir other;
    window.logic().last_output_dir = shown.path().string();
    const std::string typed = other.file("out.dat");
    when_modal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(typed));
        static_cast<QDialog*>(dialog)->accept();
    });
    action("fileoutput")->trigger();
    EXPECT_EQ(window.logic().output_file_name, typed);
    EXPECT_EQ(window.logic().last_output_dir, other.path().string());
}

TEST_F(qt_main_window, closing_during_a_run_stops_it_after_the_record_then_closes) {
    testing::TempDir dir;
    for (const char* name : {"a.sg2", "b.sg2"}) {
        testing::Seg2Builder file;
        for (int t = 0; t < 3; ++t) file.add_trace(testing::Seg2Trace::int16({1, -2, 3, -4}));
        testing::write_file(dir.file(name), file.build());
        window.port().list1_add(dir.file(name));
    }
    window.logic().output_file_name = dir.file("out.dat");
    scripted.queue(Reply::text("1"));            // SSN
    scripted.queue(Reply::text("1"));            // sample interval, ms
    scripted.queue(Reply::button(Answer::yes));  // stop after the current record and close

    // Runs at the run's first yield, after its first record.
    bool commands_enabled = true;
    bool hourglass = false;
    QTimer::singleShot(0, &window, [&] {
        commands_enabled = action("fileopen")->isEnabled() || action("convert")->isEnabled() ||
                           action("resamp1_2")->isEnabled() || action("fileclear")->isEnabled();
        hourglass = QApplication::overrideCursor() != nullptr;
        window.close();
    });
    action("convert")->trigger();
    EXPECT_FALSE(commands_enabled);
    EXPECT_TRUE(hourglass);
    EXPECT_EQ(testing::read_file(dir.file("out.dat")).size(), 240U + 16U);
    EXPECT_TRUE(action("convert")->isEnabled());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    for (int waited = 0; window.isVisible() && waited < 2000; waited += 10) QTest::qWait(10);
    EXPECT_FALSE(window.isVisible());
}

// Start-up and Exit of the whole program, three times over, in a start-up directory with a
// real settings file: each Exit must write back the geometry the start-up read.
TEST(qt_main_window_settings, start_and_exit_keep_the_window_geometry_unchanged) {
    testing::TempDir start;
    testing::TempDir system;
    std::ofstream(system.file("QEXKEYWO.RD"), std::ios::binary)
        << "SAMPLE_INTERVAL 1 59 1000000\r\n";
    std::string saved =
        " 0  place holder quarvent.ini\r\n 0  place holder\r\n 600  form top\r\n"
        " 1200  form left\r\n 9000  form width\r\n 6000  form height\r\n"
        "/data/in\r\n/data/out\r\n";
    for (int line = 9; line <= 22; ++line) saved += " 0  place holder\r\n";
    std::ofstream(start.file("quarvent.ini"), std::ios::binary) << saved;

    auto geometry_lines = [&] {
        std::ifstream file(start.file("quarvent.ini"), std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(file, line);) lines.push_back(line);
        return lines.size() >= 6 ? std::vector<std::string>(lines.begin() + 2, lines.begin() + 6)
                                 : lines;
    };
    const std::vector<std::string> first = geometry_lines();
    ASSERT_EQ(first.size(), 4U);

    const auto saved_dir = std::filesystem::current_path();
    std::filesystem::current_path(start.path());
    for (int round = 1; round <= 3; ++round) {
        SCOPED_TRACE(round);
        ScriptedShellUi scripted;  // no message may appear
        {
            ScriptedFileDialogs file_dialogs{scripted};
            QtMainWindow program{&file_dialogs};
            program.port().set_dialog_delegate(&scripted);
            program.logic().session.system_dir = system.path().string();
            ASSERT_TRUE(program.load());
            program.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&program));
            QCoreApplication::processEvents();
            program.findChild<QAction*>("fileexit")->trigger();
            EXPECT_TRUE(program.port().program_ended());
        }
        EXPECT_EQ(geometry_lines(), first);
    }
    std::filesystem::current_path(saved_dir);
}

TEST(qt_name_filters, descriptions_stay_and_star_dot_star_matches_every_file) {
    EXPECT_EQ(
        qt_name_filters("Data (*.dat)|*.dat|Raw Data (*.raw)|*.raw|All Data (*.*)|*.*"),
        QStringList({"Data (*.dat) (*.dat)", "Raw Data (*.raw) (*.raw)", "All Data (*.*) (*)"}));
    EXPECT_EQ(qt_name_filters("Both|*.dat;*.raw"), QStringList({"Both (*.dat *.raw)"}));
    EXPECT_TRUE(qt_name_filters("").isEmpty());
}

}  // namespace
}  // namespace quarvent
