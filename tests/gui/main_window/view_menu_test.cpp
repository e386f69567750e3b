// The View menu and the double-click on an input open the trace display of the file, through
// real widgets and events; the display zooms, resets and shows the words under the mouse.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QTableWidget>
#include <QTest>
#include <QWheelEvent>
#include <cmath>
#include <cstring>

#include "qt/qt_main_window.hpp"
#include "qt/qt_shell_port.hpp"
#include "qt/screen_fit.hpp"
#include "qt/trace_display_window.hpp"
#include "render/section_layout.hpp"
#include "shell/trace_view.hpp"
#include "tests/gui/scripted_file_dialogs.hpp"
#include "tests/support/scripted_shell_ui.hpp"
#include "tests/support/seg2_builder.hpp"
#include "tests/support/temp_dir.hpp"

namespace quarvent {
namespace {

using testing::Reply;
using testing::ScriptedFileDialogs;
using testing::ScriptedShellUi;

constexpr int record_samples = 100;

// A QEX file whose record r (0-based) has channel (word 8) 101 + r, a 1 ms interval and a
// sine of its own amplitude.
void write_qex(const std::string& path, int records) {
    std::vector<std::uint8_t> bytes;
    for (int r = 0; r < records; ++r) {
        std::int16_t words[120] = {};
        words[8 - 1] = static_cast<std::int16_t>(101 + r);
        words[58 - 1] = record_samples;
        words[59 - 1] = 1000;
        words[92 - 1] = static_cast<std::int16_t>(r + 1);
        const auto* header = reinterpret_cast<const std::uint8_t*>(words);
        bytes.insert(bytes.end(), header, header + sizeof words);
        for (int i = 0; i < record_samples; ++i) {
            const float sample = static_cast<float>((r + 1) * std::sin(i * 0.2));
            std::uint8_t raw[4];
            std::memcpy(raw, &sample, sizeof raw);
            bytes.insert(bytes.end(), raw, raw + 4);
        }
    }
    testing::write_file(path, bytes);
}

class view_menu : public ::testing::Test {
protected:
    view_menu() {
        window.port().set_dialog_delegate(&scripted);
        window.logic().set_option_defaults();
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    QAction* action(const char* name) { return window.findChild<QAction*>(name); }

    std::string recording(const std::string& name, int traces) {
        testing::Seg2Builder file;
        for (int t = 0; t < traces; ++t) file.add_trace(testing::Seg2Trace::int16({1, -2, 3, -4}));
        testing::write_file(dir.file(name), file.build());
        return dir.file(name);
    }

    // The display windows open now.
    QList<TraceDisplayWindow*> displays() const {
        return window.findChildren<TraceDisplayWindow*>(QStringLiteral("traceDisplay"));
    }

    testing::TempDir dir;
    ScriptedShellUi scripted;
    ScriptedFileDialogs file_dialogs{scripted};
    QtMainWindow window{&file_dialogs};
};

TEST_F(view_menu, sits_before_help_with_its_two_items) {
    QStringList bar;
    for (QAction* item : window.menuBar()->actions()) {
        if (item->isVisible()) bar << item->objectName() + "=" + item->text();
    }
    EXPECT_EQ(bar, QStringList({"filemenu=Files", "segoptions=&Options", "convert=&Convert",
                                "viewmenu=&View", "help=&Help"}));
    QStringList items;
    for (QAction* item : window.menu(Menu::viewmenu)->actions()) {
        items << item->objectName() + "=" + item->text();
    }
    EXPECT_EQ(items, QStringList({"viewinput=&Input File", "viewoutput=O&utput File"}));

    // Help moved to the right-hand end leaves View last on the left.
    window.set_help_at_right(true);
    EXPECT_EQ(window.menuBar()->actions().back()->objectName(), "viewmenu");
    window.set_help_at_right(false);
    EXPECT_EQ(window.menuBar()->actions().back()->objectName(), "help");
}

TEST_F(view_menu, input_file_opens_the_selected_input_and_a_double_click_the_one_clicked) {
    window.port().list1_add(recording("a.sg2", 3));
    window.port().list1_add(recording("b.sg2", 7));

    // Nothing selected: the operator is told so.
    scripted.queue(Reply::button(Answer::ok));
    action("viewinput")->trigger();
    ASSERT_EQ(scripted.ui().dialogs().size(), 1U);
    EXPECT_EQ(scripted.ui().dialogs()[0].text, view_no_selection_text);
    EXPECT_TRUE(displays().isEmpty());

    window.list1()->setCurrentRow(1);
    action("viewinput")->trigger();
    ASSERT_EQ(displays().size(), 1);
    EXPECT_EQ(displays()[0]->windowTitle(), "b.sg2 - traces 1-7 of 7");
    EXPECT_EQ(displays()[0]->section().traces.size(), 7U);
    EXPECT_TRUE(displays()[0]->isVisible());
    EXPECT_TRUE(displays()[0]->isWindow());
    // It opens within the screen's available area, however small the screen.
    EXPECT_TRUE(available_area(window).contains(
        displays()[0]->geometry().marginsAdded(frame_of(*displays()[0]))));

    QListWidget* list = window.list1();
    const QPoint on_first = list->visualItemRect(list->item(0)).center();
    // As the system delivers a double-click: a click, then the second press as a double-click.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, on_first);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, on_first);
    ASSERT_EQ(displays().size(), 2);
    QStringList titles;
    for (TraceDisplayWindow* display : displays()) titles << display->windowTitle();
    EXPECT_TRUE(titles.contains("a.sg2 - traces 1-3 of 3")) << titles.join(", ").toStdString();

    // Closing a display deletes it.
    for (TraceDisplayWindow* display : displays()) display->close();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(displays().isEmpty());
}

TEST_F(view_menu, output_file_zooms_resets_and_shows_the_words_under_the_mouse) {
    write_qex(dir.file("out.dat"), 12);
    window.logic().output_file_name = dir.file("out.dat");
    action("viewoutput")->trigger();
    ASSERT_EQ(displays().size(), 1);
    TraceDisplayWindow& display = *displays()[0];
    EXPECT_EQ(display.windowTitle(), "out.dat - records 1-12 of 12");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&display));
    auto* canvas = display.findChild<QWidget*>(QStringLiteral("sectionCanvas"));
    ASSERT_NE(canvas, nullptr);
    const render::ViewRange whole = display.view();
    EXPECT_EQ(whole.first_trace, 0);
    EXPECT_EQ(whole.last_trace, 11);

    auto layout = [&] {
        return render::SectionLayout(display.section(), display.options(), canvas->width(),
                                     canvas->height());
    };
    auto point_at = [&](int trace, double ms) {
        const render::SectionLayout shown = layout();
        return QPointF(shown.baseline_x(trace) + 0.5, shown.y_of_ms(ms) + 0.5);
    };

    // The mouse wheel zooms in about the pointer.
    const QPointF at = point_at(6, 50);
    QWheelEvent wheel(at, canvas->mapToGlobal(at), QPoint(), QPoint(0, 240), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(canvas, &wheel);
    const render::ViewRange zoomed = display.view();
    EXPECT_LT(zoomed.last_trace - zoomed.first_trace, 11);
    EXPECT_LE(zoomed.first_trace, 6);
    EXPECT_GE(zoomed.last_trace, 6);

    // The header panel shows the words of the record under the mouse.
    QMouseEvent move(QEvent::MouseMove, point_at(6, 50), canvas->mapToGlobal(point_at(6, 50)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(canvas, &move);
    auto* table = display.findChild<QTableWidget*>(QStringLiteral("headerTable"));
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->item(8 - 1, 0)->text(), "107");
    EXPECT_EQ(table->item(58 - 1, 0)->text(), QString::number(record_samples));
    EXPECT_EQ(table->item(92 - 1, 0)->text(), "7");

    display.findChild<QAction*>(QStringLiteral("resetZoomAction"))->trigger();
    EXPECT_EQ(display.view(), whole);
}

TEST_F(view_menu, output_file_that_is_not_there_yet_is_reported) {
    window.logic().output_file_name = dir.file("later.dat");
    scripted.queue(Reply::button(Answer::ok));
    action("viewoutput")->trigger();
    ASSERT_EQ(scripted.ui().dialogs().size(), 1U);
    EXPECT_EQ(scripted.ui().dialogs()[0].title, view_message_title);
    EXPECT_THAT(scripted.ui().dialogs()[0].text,
                ::testing::StartsWith("Cannot open " + dir.file("later.dat")));
    EXPECT_TRUE(displays().isEmpty());
}

}  // namespace
}  // namespace quarvent
