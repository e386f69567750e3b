#pragma once
// A window that shows a record section: the picture with zoom (mouse wheel, a dragged
// rectangle, reset) and scroll bars, the display controls (mode, scaling, gain, clip, AGC),
// a panel with the header words, time and amplitude under the mouse, and saving the
// picture as PNG. It holds its own copy of the traces, so it can outlive what it was opened
// from.

#include <QImage>
#include <QMainWindow>
#include <QString>
#include <functional>

#include "render/section.hpp"
#include "render/section_layout.hpp"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QScrollBar;
class QTableWidget;
class QWidget;

namespace quarvent {

class TraceDisplayWindow : public QMainWindow {
    Q_OBJECT
public:
    // A top-level window even with a parent. A caller that does not keep the window sets
    // Qt::WA_DeleteOnClose on it.
    TraceDisplayWindow(render::Section section, const QString& title, QWidget* parent = nullptr);
    ~TraceDisplayWindow() override;

    // Asks where to save the picture; an empty answer cancels. The default is a file dialog;
    // tests put a function of their own here.
    using SavePathChooser = std::function<QString(QWidget* parent, const QString& suggested)>;
    void set_save_path_chooser(SavePathChooser chooser);

    const render::Section& section() const { return section_; }
    const render::RenderOptions& options() const { return options_; }
    // The part of the section on show, with every field in range.
    render::ViewRange view() const;
    void set_view(const render::ViewRange& view);
    void reset_zoom();
    // Zooms by factor (above 1: in) about the centre of the picture.
    void zoom(double factor);
    // The picture as shown, at the size of the picture area.
    QImage picture() const;
    // Asks for a path and writes the picture there; false when cancelled or not written (the
    // operator has then been told why).
    bool save_picture();

private:
    class Canvas;
    friend class Canvas;

    void build_controls();
    void apply_options(const render::RenderOptions& options);
    void update_scroll_bars();
    void update_status();
    void show_hit(double x, double y);
    void zoom_at(double factor, double x, double y);
    void zoom_to_rectangle(double x0, double y0, double x1, double y1);

    render::Section section_;
    render::RenderOptions options_;
    SavePathChooser choose_save_path_;
    Canvas* canvas_ = nullptr;
    QScrollBar* trace_scroll_ = nullptr;
    QScrollBar* time_scroll_ = nullptr;
    QLabel* hit_label_ = nullptr;
    QTableWidget* header_table_ = nullptr;
};

}  // namespace quarvent
