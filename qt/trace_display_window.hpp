#pragma once
// A window that shows a record section: the picture with zoom (mouse wheel, a dragged
// rectangle, reset) and scroll bars, the display controls (mode, scaling, gain, clip, AGC,
// mean removal, the wiggle line on narrow traces), a panel with the header words, time and
// amplitude under the mouse (a click pins a trace there), paging through a file of any size a
// page of traces at a time (next, previous, go to a record or an SSN), and saving the picture
// as PNG with a caption. It holds the page on show and the source of the others, so it can
// outlive what it was opened from.

#include <QImage>
#include <QMainWindow>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "render/section.hpp"
#include "render/section_layout.hpp"
#include "render/section_pages.hpp"

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
    // Pages of page_size traces from pages, the first page on show; the title names the file
    // and the traces on show.
    TraceDisplayWindow(std::unique_ptr<render::SectionPages> pages, std::uint64_t page_size,
                       QWidget* parent = nullptr);
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
    // The picture as saved: the same size, with the caption strip under it.
    QImage captioned_picture() const;
    // What Save as PNG proposes: <input name>-<mode>.png in the input's folder.
    QString suggested_png_path() const;

    // Paging. The number of the first trace on show (1-based) and how many the source holds.
    std::uint64_t page_first() const { return page_first_; }
    std::uint64_t page_size() const { return page_size_; }
    std::uint64_t total() const;
    void show_page(std::uint64_t first);
    void next_page();
    void previous_page();
    // Shows the page that holds trace (or record) n; false when there is none.
    bool go_to_record(std::uint64_t n);
    // Shows the page that starts with the first record of shot ssn; false when none has it.
    bool go_to_ssn(std::int16_t ssn);
    // Keeps the header panel on trace index (of the section on show), or frees it.
    void pin_trace(std::optional<int> index);
    std::optional<int> pinned_trace() const { return pinned_; }
    // Asks for a path and writes the picture there; false when cancelled or not written (the
    // operator has then been told why).
    bool save_picture();

private:
    class Canvas;
    friend class Canvas;

    void build_controls();
    void build_page_controls();
    void update_title();
    void show_header(const render::SectionTrace* trace);
    void pin_at(double x, double y);
    void apply_options(const render::RenderOptions& options);
    void update_scroll_bars();
    void update_status();
    void show_hit(double x, double y);
    void zoom_at(double factor, double x, double y);
    void zoom_to_rectangle(double x0, double y0, double x1, double y1);

    std::unique_ptr<render::SectionPages> pages_;
    std::uint64_t page_size_ = 1;
    std::uint64_t page_first_ = 1;
    QString fixed_title_;
    std::optional<int> pinned_;
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
