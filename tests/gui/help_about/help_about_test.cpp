#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>

#include "qt/about_window.hpp"
#include "qt/help_viewer.hpp"
#include "qt/qt_main_window.hpp"
#include "qt/qt_shell_port.hpp"
#include "tests/gui/modal_dialog.hpp"
#include "tests/gui/scripted_file_dialogs.hpp"
#include "tests/support/scripted_shell_ui.hpp"
#include "tests/support/temp_dir.hpp"

namespace quarvent {
namespace {

using ::testing::ElementsAre;
using testing::Reply;
using testing::ScriptedFileDialogs;
using testing::ScriptedShellUi;
using testing::TempDir;
using testing::when_modal;

const std::string data_dir = QUARVENT_SOURCE_DATA_DIR;

// The real window started in a directory of its own that holds a settings file, with the
// source tree's data folder as its program and system directory; dialogs are scripted.
class help_about : public ::testing::Test {
protected:
    help_about() : saved_dir_(std::filesystem::current_path()) {
        std::filesystem::current_path(start_.path());
        std::ofstream(start_.file("quarvent.ini"), std::ios::binary)
            << " 0  place holder quarvent.ini\r\n 0  place holder\r\n 900  form top\r\n"
               " 1500  form left\r\n 9000  form width\r\n 6000  form height\r\n\r\n\r\n";
        window.port().set_dialog_delegate(&scripted);
        window.logic().session.program_dir = data_dir;
        window.logic().session.system_dir = data_dir;
        EXPECT_TRUE(window.load());
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        viewer = window.findChild<QtHelpViewer*>(QStringLiteral("HelpViewer"));
    }
    ~help_about() override { std::filesystem::current_path(saved_dir_); }

    void trigger(const char* name) {
        QAction* action = window.findChild<QAction*>(QString::fromLatin1(name));
        ASSERT_NE(action, nullptr) << name;
        action->trigger();
    }

    TempDir start_;
    ScriptedShellUi scripted;
    ScriptedFileDialogs file_dialogs{scripted};
    QtMainWindow window{&file_dialogs};
    QtHelpViewer* viewer = nullptr;

private:
    std::filesystem::path saved_dir_;
};

TEST_F(help_about, contents_opens_the_help_file_and_closing_the_window_closes_it) {
    ASSERT_NE(viewer, nullptr);
    EXPECT_TRUE(window.help_at_right());
    EXPECT_FALSE(viewer->isVisible());

    trigger("helpcontent");
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_FALSE(viewer->shows_error());
    EXPECT_EQ(viewer->help_file().toStdString(), data_dir + "QUARVENT.HLP");
    EXPECT_EQ(viewer->anchor(), "contents");
    EXPECT_TRUE(viewer->browser()->toPlainText().contains("Quarvent Help: Contents"));
    EXPECT_TRUE(viewer->browser()->toPlainText().contains("Adjust Record Length"));

    window.close();
    EXPECT_FALSE(viewer->isVisible());
    EXPECT_TRUE(viewer->help_file().isEmpty());
    EXPECT_TRUE(scripted.ui().dialogs().empty());
}

TEST_F(help_about, a_missing_help_file_is_reported_by_the_viewer) {
    TempDir empty;
    window.logic().session.help.set_up_help(*viewer, empty.path().string());
    trigger("helpcontent");
    EXPECT_TRUE(viewer->isVisible());
    EXPECT_TRUE(viewer->shows_error());
    EXPECT_TRUE(viewer->browser()->toPlainText().contains("cannot be opened"));
    EXPECT_TRUE(scripted.ui().dialogs().empty());
}

TEST_F(help_about, f1_opens_the_topic_of_the_menu_or_control_in_use) {
    struct Row {
        const char* name;
        std::function<QWidget*(QtMainWindow&)> focus;  // returns the widget that gets F1
        int context;
    };
    auto open_menu = [](Menu menu_item, Menu active) {
        return [menu_item, active](QtMainWindow& w) -> QWidget* {
            QMenu* menu = w.menu(menu_item);
            menu->popup(w.mapToGlobal(QPoint(20, 20)));
            menu->setActiveAction(w.action(active));
            return menu;
        };
    };
    const Row rows[] = {
        {"List1",
         [](QtMainWindow& w) -> QWidget* {
             w.list1()->setFocus();
             return w.list1();
         },
         5100},
        {"Text1",
         [](QtMainWindow& w) -> QWidget* {
             w.text1()->setFocus();
             return w.text1();
         },
         5200},
        {"an item of its own", open_menu(Menu::segoptions, Menu::optiondelete), 5024},
        {"Adjust Record Length", open_menu(Menu::segoptions, Menu::optionshorten), 5026},
        {"Fresh Header for Each File", open_menu(Menu::segoptions, Menu::optionfresh), 5028},
        {"an item without a number: its menu's", open_menu(Menu::optresamp, Menu::resamp1_4), 5022},
        {"Files", open_menu(Menu::filemenu, Menu::fileopen), 5010},
        {"Help", open_menu(Menu::help, Menu::fileabout), 5040},
        {"Convert on the menu bar",
         [](QtMainWindow& w) -> QWidget* {
             w.menuBar()->setActiveAction(w.action(Menu::convert));
             return w.menuBar();
         },
         5030},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        window.activateWindow();
        QWidget* target = row.focus(window);
        QApplication::processEvents();
        QTest::keyClick(target, Qt::Key_F1);
        EXPECT_EQ(viewer->anchor().toStdString(), "context" + std::to_string(row.context));
        EXPECT_TRUE(viewer->isVisible());
        EXPECT_EQ(QApplication::activePopupWidget(), nullptr);  // the menu made way
        EXPECT_EQ(viewer->browser()->source().fragment().toStdString(),
                  "context" + std::to_string(row.context));
        window.menuBar()->setActiveAction(nullptr);
    }
}

TEST_F(help_about, about_is_centred_with_the_picture_and_shows_both_boxes) {
    scripted.queue(Reply::button(Answer::ok));  // the credits
    scripted.queue(Reply::button(Answer::ok));  // the disclaimer
    bool checked = false;
    when_modal([&](QWidget* modal) {
        auto* about = qobject_cast<QtAboutWindow*>(modal);
        ASSERT_NE(about, nullptr);
        checked = true;
        EXPECT_EQ(about->windowTitle(), "QUARVENT  Ver. 4.1.32b");
        EXPECT_EQ(about->size(), QSize(388, 253));
        EXPECT_TRUE(about->has_picture());
        EXPECT_EQ(about->command1()->geometry().bottom(), 252);
        EXPECT_EQ(about->command1()->text(), "OK");
        const QRect main = window.frameGeometry();
        const QRect box = about->frameGeometry();
        EXPECT_LE(std::abs(box.center().x() - main.center().x()), 1);
        EXPECT_LE(std::abs(box.center().y() - main.center().y()), 1);
        EXPECT_TRUE(about->isModal());

        QTest::mouseClick(about, Qt::LeftButton, {}, QPoint(40, 120));
        EXPECT_TRUE(about->isVisible());  // the credits leave it open
        QTest::mouseClick(about->command1(), Qt::LeftButton);
    });
    trigger("fileabout");

    EXPECT_TRUE(checked);
    EXPECT_THAT(scripted.ui().titles(), ElementsAre("About", ""));
    EXPECT_EQ(scripted.ui().dialogs()[0].icon, Icon::information);
    EXPECT_TRUE(window.findChildren<QtAboutWindow*>().isEmpty());  // unloaded
}

TEST_F(help_about, about_without_its_picture_opens_plain_and_silently) {
    TempDir empty;
    window.logic().session.system_dir = empty.path().string();
    bool checked = false;
    when_modal([&](QWidget* modal) {
        auto* about = qobject_cast<QtAboutWindow*>(modal);
        ASSERT_NE(about, nullptr);
        checked = true;
        EXPECT_FALSE(about->has_picture());
        EXPECT_EQ(about->size(), QSize(388, 253));
        QTest::keyClick(about, Qt::Key_F1);  // the modal window blocks help
        EXPECT_FALSE(viewer->isVisible());
        about->reject();  // closed by the window's close control: no disclaimer
    });
    trigger("fileabout");
    EXPECT_TRUE(checked);
    EXPECT_TRUE(scripted.ui().dialogs().empty());
}

}  // namespace
}  // namespace quarvent
