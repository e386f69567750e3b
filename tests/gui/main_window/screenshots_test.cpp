// Pictures of the window for the documentation, taken on a real display: set
// QUARVENT_SCREENSHOT_DIR and run this under a window manager, for example
//
//   xvfb-run -s "-screen 0 800x600x24" sh -c 'openbox & sleep 1; QT_QPA_PLATFORM=xcb
//       QUARVENT_SCREENSHOT_DIR=shots gui_main_window --gtest_filter=screenshots.*'
//
// Without the variable the test is skipped.

#include <gtest/gtest.h>

#include <QAction>
#include <QGuiApplication>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "keywords/header_translation.hpp"
#include "keywords/keyword_table.hpp"
#include "qt/qt_main_window.hpp"
#include "qt/qt_shell_port.hpp"
#include "tests/gui/modal_dialog.hpp"
#include "tests/gui/scripted_file_dialogs.hpp"
#include "tests/support/program_run.hpp"
#include "tests/support/scripted_shell_ui.hpp"
#include "tests/support/temp_dir.hpp"

namespace quarvent {
namespace {

using testing::Reply;

// The whole screen, frames and all, once the window manager has drawn it.
void save_screen(const std::string& path) {
    QTest::qWait(700);
    const QPixmap shot = QGuiApplication::primaryScreen()->grabWindow(0);
    EXPECT_TRUE(shot.save(QString::fromStdString(path))) << path;
}

TEST(screenshots, kept_files_after_600_files_and_files_not_found_with_2000) {
    const char* out = std::getenv("QUARVENT_SCREENSHOT_DIR");
    if (out == nullptr) GTEST_SKIP() << "QUARVENT_SCREENSHOT_DIR is not set";
    const std::string size = std::to_string(QGuiApplication::primaryScreen()->size().width()) +
                             "x" +
                             std::to_string(QGuiApplication::primaryScreen()->size().height());
    std::filesystem::create_directories(out);

    testing::TempDir dir;
    const testing::ProgramResult demo = testing::run_program(
        QUARVENT_DEMO_PROGRAM, {"--shots", "600", "--traces", "12", "--samples", "250", "line7"},
        dir);
    ASSERT_EQ(demo.status, 0) << demo.err;
    std::vector<std::string> shots;
    for (const auto& entry : std::filesystem::directory_iterator(dir.file("line7"))) {
        shots.push_back(entry.path().string());
    }
    std::sort(shots.begin(), shots.end());
    ASSERT_EQ(shots.size(), 600U);
    // One damaged recording: its last traces cut off.
    std::filesystem::resize_file(shots[417], std::filesystem::file_size(shots[417]) - 1500);

    std::ofstream(dir.file("QEXKEYWO.RD"), std::ios::binary) << "SAMPLE_INTERVAL 1 59 1000000\r\n";
    KeywordLoadResult loaded = load_keyword_table(dir.file("QEXKEYWO.RD"));
    testing::ScriptedShellUi scripted;
    testing::ScriptedFileDialogs file_dialogs{scripted};
    QtMainWindow window{&file_dialogs};
    window.port().set_dialog_delegate(&scripted);
    window.logic().set_option_defaults();
    window.logic().header_strings = std::make_unique<HeaderTranslator>(
        *loaded.table, window.logic().status_log(), window.port());
    window.logic().output_file_name = dir.file("line7.qex");
    window.port().set_label_caption(Control::Label2, "Output file: " + dir.file("line7.qex"));
    window.findChild<QAction*>("resamp1_2")->trigger();
    window.setGeometry(60, 60, 900, 650);
    window.port().fit_window_into_screen();
    for (const std::string& shot : shots) window.port().list1_add(shot);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));

    scripted.queue(Reply::text("1001"));  // SSN
    window.findChild<QAction*>("convert")->trigger();
    testing::when_modal([&](QWidget* modal) {
        modal->activateWindow();
        save_screen(std::string(out) + "/kept-files-" + size + ".png");
        modal->close();
    });
    window.kept_files_button()->click();

    window.port().set_dialog_delegate(nullptr);
    window.port().list1_clear();
    for (int i = 0; i < 2000; ++i) {
        window.port().list1_add("/media/field/line7/shot" + std::to_string(3001 + i) + ".sg2");
    }
    testing::when_modal([&](QWidget* modal) {
        save_screen(std::string(out) + "/files-not-found-" + size + ".png");
        modal->close();
    });
    window.findChild<QAction*>("convert")->trigger();
}

}  // namespace
}  // namespace quarvent
