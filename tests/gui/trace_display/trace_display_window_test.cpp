#include "qt/trace_display_window.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>
#include <QWheelEvent>
#include <cmath>

#include "render/section_layout.hpp"
#include "tests/gui/modal_dialog.hpp"
#include "tests/support/temp_dir.hpp"

namespace quarvent {
namespace {

using ::testing::HasSubstr;

constexpr int trace_count = 8;
constexpr int sample_count = 400;

// Trace t has header word n = 100 * t + n (word 59 aside: 2 ms; word 55, the delay, 0), and a
// ramp of samples that tells the traces apart.
render::Section synthetic_section() {
    render::Section section;
    for (int t = 0; t < trace_count; ++t) {
        render::SectionTrace trace;
        for (int n = 1; n <= 120; ++n) trace.set_word(n, static_cast<std::int16_t>(100 * t + n));
        trace.set_word(59, 2000);
        trace.set_word(55, 0);
        trace.samples.resize(sample_count);
        for (int i = 0; i < sample_count; ++i) {
            trace.samples[static_cast<std::size_t>(i)] =
                static_cast<float>((t + 1) * std::sin(i * 0.1) + 0.001 * i);
        }
        section.traces.push_back(std::move(trace));
    }
    return section;
}

class trace_display_window : public ::testing::Test {
protected:
    trace_display_window() : window(synthetic_section(), QStringLiteral("Shot 1001")) {
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        canvas = window.findChild<QWidget*>(QStringLiteral("sectionCanvas"));
    }

    render::SectionLayout layout() const {
        return render::SectionLayout(window.section(), window.options(), canvas->width(),
                                     canvas->height());
    }
    // The pixel of the canvas on trace t's baseline at the given time.
    QPointF point_at(int trace, double time_ms) const {
        const render::SectionLayout shown = layout();
        return {shown.baseline_x(trace) + 0.5, shown.y_of_ms(time_ms) + 0.5};
    }
    void mouse(QEvent::Type type, QPointF at, Qt::MouseButton button, Qt::MouseButtons held) {
        QMouseEvent event(type, at, canvas->mapToGlobal(at), button, held, Qt::NoModifier);
        QApplication::sendEvent(canvas, &event);
    }
    void wheel(QPointF at, int eighths) {
        QWheelEvent event(at, canvas->mapToGlobal(at), QPoint(), QPoint(0, eighths), Qt::NoButton,
                          Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(canvas, &event);
    }
    QString word_shown(int n) const {
        return window.findChild<QTableWidget*>(QStringLiteral("headerTable"))
            ->item(n - 1, 0)
            ->text();
    }
    QString hit_text() const {
        return window.findChild<QLabel*>(QStringLiteral("hitLabel"))->text();
    }

    TraceDisplayWindow window;
    QWidget* canvas = nullptr;
};

TEST_F(trace_display_window, opens_with_the_whole_section_in_view) {
    ASSERT_NE(canvas, nullptr);
    EXPECT_EQ(window.windowTitle(), "Shot 1001");
    const render::ViewRange whole{0, trace_count - 1, 0.0, sample_count * 2.0};
    EXPECT_EQ(window.view(), whole);
    const QImage picture = window.picture();
    EXPECT_EQ(picture.size(), canvas->size());
    // Every trace's positive lobe at sample 15 is filled from its baseline.
    const render::SectionLayout shown = layout();
    for (int t = 0; t < trace_count; ++t) {
        const QPoint at(static_cast<int>(shown.baseline_x(t)) + 1,
                        static_cast<int>(shown.y_of_ms(15 * 2.0)));
        EXPECT_EQ(picture.pixel(at), qRgb(0, 0, 0)) << "trace " << t;
    }
}

TEST_F(trace_display_window, wheel_zooms_about_the_mouse_and_reset_shows_everything) {
    const QPointF at = point_at(5, 300);
    wheel(at, 240);
    const render::ViewRange zoomed = window.view();
    EXPECT_LT(zoomed.last_trace - zoomed.first_trace + 1, trace_count);
    EXPECT_LT(zoomed.end_ms - zoomed.start_ms, 800.0);
    EXPECT_LE(zoomed.first_trace, 5);
    EXPECT_GE(zoomed.last_trace, 5);
    EXPECT_LT(zoomed.start_ms, 300.0);
    EXPECT_GT(zoomed.end_ms, 300.0);
    // The trace under the mouse is still there after the zoom.
    EXPECT_EQ(layout().trace_at_x(at.x()), 5);

    wheel(at, -240 * 10);
    EXPECT_EQ(window.view(), (render::ViewRange{0, trace_count - 1, 0.0, 800.0}));

    wheel(at, 240);
    window.findChild<QAction*>(QStringLiteral("resetZoomAction"))->trigger();
    EXPECT_EQ(window.view(), (render::ViewRange{0, trace_count - 1, 0.0, 800.0}));
}

TEST_F(trace_display_window, dragged_rectangle_zooms_to_the_traces_and_times_it_covers) {
    const QPointF from = point_at(2, 100);
    const QPointF to = point_at(4, 300);
    mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    const render::ViewRange zoomed = window.view();
    EXPECT_EQ(zoomed.first_trace, 2);
    EXPECT_EQ(zoomed.last_trace, 4);
    EXPECT_NEAR(zoomed.start_ms, 100.0, 3.0);
    EXPECT_NEAR(zoomed.end_ms, 300.0, 3.0);

    // A click is no rectangle: the view stays.
    mouse(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, from, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(window.view(), zoomed);

    // The scroll bars move through the rest of the section.
    auto* traces = window.findChild<QScrollBar*>(QStringLiteral("traceScrollBar"));
    EXPECT_EQ(traces->maximum(), trace_count - 3);
    traces->setValue(5);
    EXPECT_EQ(window.view().first_trace, 5);
    EXPECT_EQ(window.view().last_trace, 7);
    auto* times = window.findChild<QScrollBar*>(QStringLiteral("timeScrollBar"));
    times->setValue(times->maximum());
    EXPECT_NEAR(window.view().end_ms, 800.0, 0.1);
    EXPECT_NEAR(window.view().end_ms - window.view().start_ms, zoomed.end_ms - zoomed.start_ms,
                0.1);
}

TEST_F(trace_display_window, header_panel_shows_the_words_time_and_amplitude_under_the_mouse) {
    struct Case {
        int trace;
        int sample;
        bool zoomed;
    };
    for (const Case c :
         {Case{3, 150, false}, Case{0, 0, false}, Case{7, 399, false}, Case{6, 250, true}}) {
        SCOPED_TRACE(::testing::Message() << "trace " << c.trace << " sample " << c.sample);
        if (c.zoomed) window.set_view({5, 7, 400, 600});
        mouse(QEvent::MouseMove, point_at(c.trace, c.sample * 2.0), Qt::NoButton, Qt::NoButton);
        for (int n = 1; n <= 120; ++n) {
            const int expected = n == 59 ? 2000 : n == 55 ? 0 : 100 * c.trace + n;
            ASSERT_EQ(word_shown(n), QString::number(expected)) << "word " << n;
        }
        const float amplitude =
            window.section().traces[static_cast<std::size_t>(c.trace)].samples[c.sample];
        EXPECT_THAT(hit_text().toStdString(),
                    HasSubstr(QStringLiteral("Trace %1,").arg(c.trace + 1).toStdString()));
        EXPECT_THAT(hit_text().toStdString(), HasSubstr(QStringLiteral("Sample %1, amplitude %2")
                                                            .arg(c.sample + 1)
                                                            .arg(QString::number(amplitude, 'g', 7))
                                                            .toStdString()));
    }
    // Off the traces the panel empties.
    mouse(QEvent::MouseMove, QPointF(2, 2), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(word_shown(8), QString());
}

TEST_F(trace_display_window, a_click_pins_a_trace_in_the_header_panel) {
    struct Step {
        const char* name;
        int click;  // trace clicked, or -1
        int hover;  // trace the mouse then moves to
        int shown;  // trace whose words the panel shows
    };
    const Step steps[] = {
        {"hovering follows the mouse", -1, 5, 5},
        {"a click pins", 2, 5, 2},
        {"a click on another trace pins that one", 6, 1, 6},
        {"a click on the pinned trace frees the panel", 6, 3, 3},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        if (step.click >= 0) {
            const QPointF at = point_at(step.click, 100.0);
            mouse(QEvent::MouseButtonPress, at, Qt::LeftButton, Qt::LeftButton);
            mouse(QEvent::MouseButtonRelease, at, Qt::LeftButton, Qt::NoButton);
        }
        mouse(QEvent::MouseMove, point_at(step.hover, 300.0), Qt::NoButton, Qt::NoButton);
        EXPECT_EQ(word_shown(8), QString::number(100 * step.shown + 8));
        EXPECT_EQ(window.view(), (render::ViewRange{0, trace_count - 1, 0.0, sample_count * 2.0}));
    }
    // Pinned, the panel stays when the mouse leaves the picture.
    window.pin_trace(4);
    mouse(QEvent::MouseMove, QPointF(2, 2), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(word_shown(8), QString::number(100 * 4 + 8));
}

TEST_F(trace_display_window, controls_change_the_picture) {
    const QImage wiggle = window.picture();
    window.findChild<QComboBox*>(QStringLiteral("modeCombo"))->setCurrentIndex(1);
    EXPECT_EQ(window.options().mode, render::DisplayMode::density);
    EXPECT_NE(window.picture(), wiggle);
    window.findChild<QComboBox*>(QStringLiteral("scalingCombo"))->setCurrentIndex(1);
    EXPECT_EQ(window.options().scaling, render::Scaling::whole_section);
    window.findChild<QDoubleSpinBox*>(QStringLiteral("gainSpin"))->setValue(3.5);
    EXPECT_EQ(window.options().gain, 3.5);
    window.findChild<QDoubleSpinBox*>(QStringLiteral("clipSpin"))->setValue(2);
    EXPECT_EQ(window.options().clip_spacings, 2.0);
    window.findChild<QDoubleSpinBox*>(QStringLiteral("agcSpin"))->setValue(100);
    EXPECT_EQ(window.options().agc_window_ms, 100.0);
}

TEST_F(trace_display_window, save_writes_the_picture_as_png) {
    const testing::TempDir dir;
    QString suggested;
    window.set_save_path_chooser([&](QWidget*, const QString& name) {
        suggested = name;
        return QString::fromStdString(dir.file("picture"));
    });
    window.findChild<QAction*>(QStringLiteral("savePngAction"))->trigger();
    EXPECT_TRUE(suggested.endsWith(".png"));
    const QImage saved(QString::fromStdString(dir.file("picture.png")));
    ASSERT_FALSE(saved.isNull());
    // The saved picture is the one on screen with its caption strip under it.
    EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32), window.captioned_picture());
    EXPECT_EQ(saved.size(), window.picture().size());

    // Cancelled: nothing written, no message.
    window.set_save_path_chooser([](QWidget*, const QString&) { return QString(); });
    EXPECT_FALSE(window.save_picture());
}

TEST_F(trace_display_window, a_failed_save_tells_the_operator_why) {
    const testing::TempDir dir;
    window.set_save_path_chooser([&](QWidget*, const QString&) {
        return QString::fromStdString(dir.file("no/such/folder/picture.png"));
    });
    QString told;
    testing::when_modal([&](QWidget* box) {
        told = static_cast<QMessageBox*>(box)->text();
        box->close();
    });
    EXPECT_FALSE(window.save_picture());
    EXPECT_THAT(told.toStdString(), HasSubstr("could not be written"));
}

}  // namespace
}  // namespace quarvent
