#include "qt/trace_display_window.hpp"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTableWidget>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <limits>

#include "render/section_renderer.hpp"

namespace quarvent {

namespace {

// The time scroll bar moves in steps of this fraction of the whole record.
constexpr int time_scroll_steps = 100000;
// One notch of a mouse wheel zooms by this factor.
constexpr double wheel_zoom = 1.25;
// A dragged rectangle smaller than this is taken for a click.
constexpr int least_rectangle_px = 4;

QString number_text(double value, int decimals) { return QString::number(value, 'f', decimals); }

}  // namespace

// The picture area: keeps the rendered image for its current size and options, and passes
// the mouse to the window.
class TraceDisplayWindow::Canvas final : public QWidget {
public:
    explicit Canvas(TraceDisplayWindow& window) : QWidget(&window), window_(window) {
        setObjectName(QStringLiteral("sectionCanvas"));
        setMouseTracking(true);
        setMinimumSize(200, 150);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        setCursor(Qt::CrossCursor);
    }

    void invalidate() {
        stale_ = true;
        update();
    }

    const QImage& image() {
        if (stale_ || image_.size() != size()) {
            image_ = render::render_section_image(window_.section_, window_.options_, size());
            stale_ = false;
        }
        return image_;
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.drawImage(0, 0, image());
    }

    void resizeEvent(QResizeEvent*) override {
        stale_ = true;
        window_.update_status();
    }

    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton) return;
        origin_ = event->position().toPoint();
        if (rubber_band_ == nullptr) {
            rubber_band_ = new QRubberBand(QRubberBand::Rectangle, this);
            rubber_band_->setObjectName(QStringLiteral("zoomRectangle"));
        }
        rubber_band_->setGeometry(QRect(origin_, QSize()));
        rubber_band_->show();
    }

    void mouseMoveEvent(QMouseEvent* event) override {
        const QPoint at = event->position().toPoint();
        if (rubber_band_ != nullptr && rubber_band_->isVisible()) {
            rubber_band_->setGeometry(QRect(origin_, at).normalized());
        }
        window_.show_hit(event->position().x(), event->position().y());
    }

    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() != Qt::LeftButton || rubber_band_ == nullptr ||
            !rubber_band_->isVisible()) {
            return;
        }
        rubber_band_->hide();
        const QRect dragged = QRect(origin_, event->position().toPoint()).normalized();
        if (dragged.width() >= least_rectangle_px && dragged.height() >= least_rectangle_px) {
            window_.zoom_to_rectangle(dragged.left(), dragged.top(), dragged.right() + 1,
                                      dragged.bottom() + 1);
        } else if (dragged.width() < least_rectangle_px && dragged.height() < least_rectangle_px) {
            window_.pin_at(event->position().x(), event->position().y());
        }
    }

    void wheelEvent(QWheelEvent* event) override {
        const int notches_eighths = event->angleDelta().y();
        if (notches_eighths == 0) return;
        window_.zoom_at(std::pow(wheel_zoom, notches_eighths / 120.0), event->position().x(),
                        event->position().y());
        event->accept();
    }

    void leaveEvent(QEvent*) override { window_.show_hit(-1, -1); }

private:
    TraceDisplayWindow& window_;
    QImage image_;
    bool stale_ = true;
    QRubberBand* rubber_band_ = nullptr;
    QPoint origin_;
};

TraceDisplayWindow::TraceDisplayWindow(render::Section section, const QString& title,
                                       QWidget* parent)
    : TraceDisplayWindow(
          std::make_unique<render::MemoryPages>(std::move(section), "trace", std::string()),
          std::numeric_limits<std::uint64_t>::max(), parent) {
    fixed_title_ = title;
    update_title();
}

TraceDisplayWindow::TraceDisplayWindow(std::unique_ptr<render::SectionPages> pages,
                                       std::uint64_t page_size, QWidget* parent)
    : QMainWindow(parent),
      pages_(std::move(pages)),
      page_size_(std::max<std::uint64_t>(page_size, 1)) {
    setObjectName(QStringLiteral("traceDisplayWindow"));
    setWindowFlag(Qt::Window);
    choose_save_path_ = [](QWidget* owner, const QString& suggested) {
        return QFileDialog::getSaveFileName(owner, QStringLiteral("Save Picture as PNG"), suggested,
                                            QStringLiteral("PNG pictures (*.png)"));
    };
    build_controls();
    build_page_controls();
    show_page(1);
    update_scroll_bars();
    update_status();
    show_hit(-1, -1);
    resize(1100, 750);
}

TraceDisplayWindow::~TraceDisplayWindow() = default;

void TraceDisplayWindow::build_controls() {
    auto* central = new QWidget(this);
    auto* grid = new QGridLayout(central);
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setSpacing(0);
    canvas_ = new Canvas(*this);
    trace_scroll_ = new QScrollBar(Qt::Horizontal, central);
    trace_scroll_->setObjectName(QStringLiteral("traceScrollBar"));
    time_scroll_ = new QScrollBar(Qt::Vertical, central);
    time_scroll_->setObjectName(QStringLiteral("timeScrollBar"));
    grid->addWidget(canvas_, 0, 0);
    grid->addWidget(time_scroll_, 0, 1);
    grid->addWidget(trace_scroll_, 1, 0);
    setCentralWidget(central);

    connect(trace_scroll_, &QScrollBar::valueChanged, this, [this](int first) {
        render::ViewRange view = this->view();
        const int visible = view.last_trace - view.first_trace;
        view.first_trace = first;
        view.last_trace = first + visible;
        set_view(view);
    });
    connect(time_scroll_, &QScrollBar::valueChanged, this, [this](int step) {
        render::ViewRange view = this->view();
        const double span_ms = view.end_ms - view.start_ms;
        view.start_ms = render::section_start_ms(section_) +
                        render::section_length_ms(section_) * step / time_scroll_steps;
        view.end_ms = view.start_ms + span_ms;
        set_view(view);
    });

    auto* tools = addToolBar(QStringLiteral("Display"));
    tools->setObjectName(QStringLiteral("displayToolBar"));
    tools->setMovable(false);

    auto* save = tools->addAction(QStringLiteral("Save as PNG..."));
    save->setObjectName(QStringLiteral("savePngAction"));
    save->setShortcut(QKeySequence::Save);
    connect(save, &QAction::triggered, this, [this] { save_picture(); });
    tools->addSeparator();

    auto* zoom_in = tools->addAction(QStringLiteral("Zoom In"));
    zoom_in->setObjectName(QStringLiteral("zoomInAction"));
    zoom_in->setShortcut(QKeySequence::ZoomIn);
    connect(zoom_in, &QAction::triggered, this, [this] { zoom(2.0); });
    auto* zoom_out = tools->addAction(QStringLiteral("Zoom Out"));
    zoom_out->setObjectName(QStringLiteral("zoomOutAction"));
    zoom_out->setShortcut(QKeySequence::ZoomOut);
    connect(zoom_out, &QAction::triggered, this, [this] { zoom(0.5); });
    auto* reset = tools->addAction(QStringLiteral("Reset Zoom"));
    reset->setObjectName(QStringLiteral("resetZoomAction"));
    reset->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    connect(reset, &QAction::triggered, this, [this] { reset_zoom(); });
    tools->addSeparator();

    auto* mode = new QComboBox(tools);
    mode->setObjectName(QStringLiteral("modeCombo"));
    mode->addItem(QStringLiteral("Wiggle"));
    mode->addItem(QStringLiteral("Density"));
    mode->setToolTip(QStringLiteral("Wiggle traces with filled positive lobes, or grey density"));
    tools->addWidget(mode);
    connect(mode, &QComboBox::currentIndexChanged, this, [this](int index) {
        render::RenderOptions options = options_;
        options.mode = index == 1 ? render::DisplayMode::density : render::DisplayMode::wiggle;
        apply_options(options);
    });

    auto* scaling = new QComboBox(tools);
    scaling->setObjectName(QStringLiteral("scalingCombo"));
    scaling->addItem(QStringLiteral("Each trace to its peak"));
    scaling->addItem(QStringLiteral("One scale for all"));
    tools->addWidget(scaling);
    connect(scaling, &QComboBox::currentIndexChanged, this, [this](int index) {
        render::RenderOptions options = options_;
        options.scaling = index == 1 ? render::Scaling::whole_section : render::Scaling::per_trace;
        apply_options(options);
    });

    const auto add_spin = [&](const char* name, const QString& label, double low, double high,
                              double value, double step, const QString& suffix) {
        tools->addWidget(new QLabel(label, tools));
        auto* spin = new QDoubleSpinBox(tools);
        spin->setObjectName(QString::fromLatin1(name));
        spin->setRange(low, high);
        spin->setDecimals(2);
        spin->setSingleStep(step);
        spin->setValue(value);
        spin->setSuffix(suffix);
        spin->setKeyboardTracking(false);
        tools->addWidget(spin);
        return spin;
    };
    auto* gain =
        add_spin("gainSpin", QStringLiteral(" Gain "), 0.01, 1000, options_.gain, 0.5, QString());
    connect(gain, &QDoubleSpinBox::valueChanged, this, [this](double value) {
        render::RenderOptions options = options_;
        options.gain = value;
        apply_options(options);
    });
    auto* clip = add_spin("clipSpin", QStringLiteral(" Clip "), 0.1, 50, options_.clip_spacings,
                          0.5, QStringLiteral(" traces"));
    connect(clip, &QDoubleSpinBox::valueChanged, this, [this](double value) {
        render::RenderOptions options = options_;
        options.clip_spacings = value;
        apply_options(options);
    });
    auto* agc =
        add_spin("agcSpin", QStringLiteral(" AGC "), 0, 100000, 0, 50, QStringLiteral(" ms"));
    agc->setSpecialValueText(QStringLiteral("off"));
    agc->setToolTip(QStringLiteral("Automatic gain control window; off at 0"));
    connect(agc, &QDoubleSpinBox::valueChanged, this, [this](double value) {
        render::RenderOptions options = options_;
        options.agc_window_ms = value;
        apply_options(options);
    });

    auto* panel = new QWidget(this);
    auto* column = new QVBoxLayout(panel);
    hit_label_ = new QLabel(panel);
    hit_label_->setObjectName(QStringLiteral("hitLabel"));
    hit_label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    hit_label_->setMinimumHeight(hit_label_->fontMetrics().height() * 4);
    hit_label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    header_table_ = new QTableWidget(render::SectionTrace::word_count, 1, panel);
    header_table_->setObjectName(QStringLiteral("headerTable"));
    header_table_->setHorizontalHeaderLabels({QStringLiteral("Value")});
    header_table_->horizontalHeader()->setStretchLastSection(true);
    header_table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    header_table_->setToolTip(
        QStringLiteral("Marked rows: words filled by the keyword translation"));
    for (int n = 1; n <= render::SectionTrace::word_count; ++n) {
        header_table_->setItem(n - 1, 0, new QTableWidgetItem);
    }
    column->addWidget(hit_label_);
    column->addWidget(header_table_);
    // Wide enough for a named word and its value side by side.
    header_table_->horizontalHeader()->setMinimumSectionSize(
        header_table_->fontMetrics().horizontalAdvance(QStringLiteral("-32768")) + 24);
    panel->setMinimumWidth(header_table_->fontMetrics().horizontalAdvance(
                               QStringLiteral("15 trace type (1 when unset) -32768")) +
                           130);
    auto* dock = new QDockWidget(QStringLiteral("Trace Header"), this);
    dock->setObjectName(QStringLiteral("headerDock"));
    dock->setFeatures(QDockWidget::DockWidgetMovable | QDockWidget::DockWidgetFloatable);
    dock->setWidget(panel);
    addDockWidget(Qt::RightDockWidgetArea, dock);
}

void TraceDisplayWindow::set_save_path_chooser(SavePathChooser chooser) {
    choose_save_path_ = std::move(chooser);
}

render::ViewRange TraceDisplayWindow::view() const {
    return render::resolve_view(section_, options_.view);
}

void TraceDisplayWindow::set_view(const render::ViewRange& view) {
    render::RenderOptions options = options_;
    options.view = render::resolve_view(section_, view);
    apply_options(options);
}

void TraceDisplayWindow::reset_zoom() { set_view(render::ViewRange{}); }

void TraceDisplayWindow::zoom(double factor) {
    zoom_at(factor, canvas_->width() / 2.0, canvas_->height() / 2.0);
}

QImage TraceDisplayWindow::picture() const { return canvas_->image(); }

QImage TraceDisplayWindow::captioned_picture() const {
    render::RenderOptions options = options_;
    options.caption = true;
    options.caption_file =
        QFileInfo(QString::fromStdString(pages_->path())).fileName().toStdString();
    if (!section_.traces.empty()) {
        const render::ViewRange shown = view();
        options.caption_range =
            pages_->unit() + "s " +
            std::to_string(page_first_ + static_cast<std::uint64_t>(shown.first_trace)) + "-" +
            std::to_string(page_first_ + static_cast<std::uint64_t>(shown.last_trace)) + " of " +
            std::to_string(total());
    }
    return render::render_section_image(section_, options, canvas_->size());
}

QString TraceDisplayWindow::suggested_png_path() const {
    const QString mode = options_.mode == render::DisplayMode::density ? QStringLiteral("density")
                                                                       : QStringLiteral("wiggle");
    const QString input = QString::fromStdString(pages_->path());
    if (input.isEmpty()) return QStringLiteral("section-%1.png").arg(mode);
    const QFileInfo info(input);
    return info.dir().filePath(QStringLiteral("%1-%2.png").arg(info.completeBaseName(), mode));
}

std::uint64_t TraceDisplayWindow::total() const { return pages_->count(); }

void TraceDisplayWindow::show_page(std::uint64_t first) {
    const std::uint64_t count = total();
    first = count == 0 ? 1 : std::clamp<std::uint64_t>(first, 1, count);
    const std::uint64_t last = count == 0 ? 0 : first + std::min(page_size_ - 1, count - first);
    // The page on show goes before the next is read, so that two are never held at once.
    section_ = render::Section{};
    section_ = pages_->load(first, last);
    page_first_ = first;
    pinned_.reset();
    render::RenderOptions options = options_;
    options.view.first_trace = 0;
    options.view.last_trace = -1;
    apply_options(options);
    update_title();
    show_hit(-1, -1);
}

void TraceDisplayWindow::next_page() {
    const std::uint64_t next = page_first_ + page_size_;
    if (next <= total()) show_page(next);
}

void TraceDisplayWindow::previous_page() {
    if (page_first_ <= 1) return;
    show_page(page_first_ > page_size_ ? page_first_ - page_size_ : 1);
}

bool TraceDisplayWindow::go_to_record(std::uint64_t n) {
    if (n < 1 || n > total()) return false;
    if (n < page_first_ || n >= page_first_ + section_.traces.size()) {
        show_page(n - (n - 1) % page_size_);
    }
    return true;
}

bool TraceDisplayWindow::go_to_ssn(std::int16_t ssn) {
    const std::optional<std::uint64_t> first = pages_->first_of_ssn(ssn);
    if (!first) return false;
    show_page(*first);
    return true;
}

void TraceDisplayWindow::pin_trace(std::optional<int> index) {
    if (index && (*index < 0 || *index >= static_cast<int>(section_.traces.size()))) {
        index.reset();
    }
    pinned_ = index;
    show_hit(-1, -1);
}

void TraceDisplayWindow::pin_at(double x, double y) {
    const std::optional<render::Hit> hit =
        render::hit_test(section_, options_, canvas_->width(), canvas_->height(), x, y);
    // A click on the pinned trace, or off the traces, frees the panel.
    if (!hit || (pinned_ && *pinned_ == hit->trace)) {
        pin_trace(std::nullopt);
    } else {
        pin_trace(hit->trace);
    }
    show_hit(x, y);
}

void TraceDisplayWindow::update_title() {
    if (!fixed_title_.isEmpty()) {
        setWindowTitle(fixed_title_);
        return;
    }
    const QString name = QFileInfo(QString::fromStdString(pages_->path())).fileName();
    const QString unit = QString::fromStdString(pages_->unit());
    QString title =
        QStringLiteral("%1 - %2s %3-%4 of %5")
            .arg(name, unit)
            .arg(page_first_)
            .arg(page_first_ + section_.traces.size() - (section_.traces.empty() ? 0 : 1))
            .arg(total());
    const std::size_t readable = render::readable_traces(section_);
    if (readable < section_.traces.size()) {
        title += QStringLiteral(", %1 of %2 %3s readable")
                     .arg(readable)
                     .arg(section_.traces.size())
                     .arg(unit);
    }
    setWindowTitle(title);
}

void TraceDisplayWindow::build_page_controls() {
    addToolBarBreak();
    auto* tools = addToolBar(QStringLiteral("Pages"));
    tools->setObjectName(QStringLiteral("pageToolBar"));
    tools->setMovable(false);
    auto* previous = tools->addAction(QStringLiteral("Previous Page"));
    previous->setObjectName(QStringLiteral("previousPageAction"));
    previous->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageUp));
    connect(previous, &QAction::triggered, this, [this] { previous_page(); });
    auto* next = tools->addAction(QStringLiteral("Next Page"));
    next->setObjectName(QStringLiteral("nextPageAction"));
    next->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_PageDown));
    connect(next, &QAction::triggered, this, [this] { next_page(); });
    auto* record = tools->addAction(QStringLiteral("Go to Record..."));
    record->setObjectName(QStringLiteral("goToRecordAction"));
    record->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    connect(record, &QAction::triggered, this, [this] {
        bool ok = false;
        const int n = QInputDialog::getInt(
            this, QStringLiteral("Go to Record"),
            QStringLiteral("%1 number (1 to %2):")
                .arg(pages_->unit() == "record" ? QStringLiteral("Record")
                                                : QStringLiteral("Trace"))
                .arg(total()),
            static_cast<int>(std::min<std::uint64_t>(page_first_, INT32_MAX)), 1,
            static_cast<int>(
                std::min<std::uint64_t>(std::max<std::uint64_t>(total(), 1), INT32_MAX)),
            1, &ok);
        if (ok) go_to_record(static_cast<std::uint64_t>(n));
    });
    auto* ssn = tools->addAction(QStringLiteral("Go to SSN..."));
    ssn->setObjectName(QStringLiteral("goToSsnAction"));
    connect(ssn, &QAction::triggered, this, [this] {
        bool ok = false;
        const int value =
            QInputDialog::getInt(this, QStringLiteral("Go to SSN"),
                                 QStringLiteral("Shot (SSN, word 92):"), 1, -32768, 32767, 1, &ok);
        if (ok && !go_to_ssn(static_cast<std::int16_t>(value))) {
            statusBar()->showMessage(QStringLiteral("No record has SSN %1").arg(value));
        }
    });
    tools->addSeparator();
    auto* mean = tools->addAction(QStringLiteral("Remove Mean"));
    mean->setObjectName(QStringLiteral("removeMeanAction"));
    mean->setCheckable(true);
    mean->setToolTip(QStringLiteral("Subtract each trace's mean (its DC offset) before drawing"));
    connect(mean, &QAction::toggled, this, [this](bool on) {
        render::RenderOptions options = options_;
        options.remove_mean = on;
        apply_options(options);
    });
    auto* line = tools->addAction(QStringLiteral("Wiggle Line on Narrow Traces"));
    line->setObjectName(QStringLiteral("narrowWiggleAction"));
    line->setCheckable(true);
    line->setToolTip(
        QStringLiteral("Draw the wiggle line even where traces are narrower than 3 pixels"));
    connect(line, &QAction::toggled, this, [this](bool on) {
        render::RenderOptions options = options_;
        options.wiggle_line_when_narrow = on;
        apply_options(options);
    });
}

void TraceDisplayWindow::apply_options(const render::RenderOptions& options) {
    options_ = options;
    options_.view = render::resolve_view(section_, options_.view);
    canvas_->invalidate();
    update_scroll_bars();
    update_status();
}

void TraceDisplayWindow::update_scroll_bars() {
    const render::ViewRange shown = view();
    const int trace_count = static_cast<int>(section_.traces.size());
    const int visible = trace_count == 0 ? 0 : shown.last_trace - shown.first_trace + 1;
    {
        const QSignalBlocker quiet(trace_scroll_);
        trace_scroll_->setRange(0, std::max(trace_count - visible, 0));
        trace_scroll_->setPageStep(std::max(visible, 1));
        trace_scroll_->setValue(shown.first_trace);
    }
    const double length_ms = render::section_length_ms(section_);
    const auto steps = [&](double time_ms) {
        return static_cast<int>(std::lround(time_ms / length_ms * time_scroll_steps));
    };
    const int span = std::max(steps(shown.end_ms - shown.start_ms), 1);
    const QSignalBlocker quiet(time_scroll_);
    time_scroll_->setRange(0, std::max(time_scroll_steps - span, 0));
    time_scroll_->setPageStep(span);
    time_scroll_->setSingleStep(std::max(span / 20, 1));
    time_scroll_->setValue(steps(shown.start_ms - render::section_start_ms(section_)));
}

void TraceDisplayWindow::update_status() {
    const render::ViewRange shown = view();
    const int count = static_cast<int>(section_.traces.size());
    const QString unit =
        render::time_is_in_samples(section_) ? QStringLiteral("samples") : QStringLiteral("ms");
    if (count == 0) {
        statusBar()->showMessage(QStringLiteral("No traces to show"));
        return;
    }
    const bool records = pages_ && pages_->unit() == "record";
    QString text = QStringLiteral("%1 %2 to %3 of %4, %5 to %6 %7")
                       .arg(records ? QStringLiteral("Records") : QStringLiteral("Traces"))
                       .arg(page_first_ + static_cast<std::uint64_t>(shown.first_trace))
                       .arg(page_first_ + static_cast<std::uint64_t>(shown.last_trace))
                       .arg(total())
                       .arg(number_text(shown.start_ms, 1))
                       .arg(number_text(shown.end_ms, 1))
                       .arg(unit);
    const std::string delay = render::delay_text(section_);
    if (!delay.empty()) text += QStringLiteral(" (%1)").arg(QString::fromStdString(delay));
    const std::size_t readable = render::readable_traces(section_);
    if (readable < section_.traces.size()) {
        text += QStringLiteral("; %1 of %2 %3 readable")
                    .arg(readable)
                    .arg(section_.traces.size())
                    .arg(records ? QStringLiteral("records") : QStringLiteral("traces"));
    }
    const render::SectionLayout layout(section_, options_, canvas_->width(), canvas_->height());
    if (layout.area_only()) {
        text += QStringLiteral(
            "; traces under 3 px wide: variable area without wiggle line (see \"Wiggle Line on "
            "Narrow Traces\")");
    }
    statusBar()->showMessage(text);
}

void TraceDisplayWindow::show_header(const render::SectionTrace* trace) {
    QStringList names;
    for (int n = 1; n <= render::SectionTrace::word_count; ++n) {
        const std::string& name = section_.word_names[static_cast<std::size_t>(n - 1)];
        names << (name.empty() ? QString::number(n)
                               : QStringLiteral("%1 %2").arg(n).arg(QString::fromStdString(name)));
        QTableWidgetItem* value = header_table_->item(n - 1, 0);
        const bool translated =
            trace != nullptr && trace->translated.test(static_cast<std::size_t>(n - 1));
        value->setText(trace == nullptr ? QString() : QString::number(trace->word(n)));
        // The row's value and the vertical header both say where the word came from.
        value->setData(Qt::UserRole, translated);
        value->setBackground(translated ? QBrush(QColor(255, 236, 170)) : QBrush());
        value->setToolTip(translated ? QStringLiteral("Filled by the keyword translation")
                                     : QString());
        if (translated) names.last() += QStringLiteral(" \u2020");
    }
    header_table_->setVerticalHeaderLabels(names);
}

void TraceDisplayWindow::show_hit(double x, double y) {
    const std::optional<render::Hit> hit =
        render::hit_test(section_, options_, canvas_->width(), canvas_->height(), x, y);
    const QString unit_name =
        pages_ && pages_->unit() == "record" ? QStringLiteral("Record") : QStringLiteral("Trace");
    const auto number_of = [&](int index) {
        const render::SectionTrace& trace = section_.traces[static_cast<std::size_t>(index)];
        return trace.number != 0 ? trace.number : page_first_ + static_cast<std::uint64_t>(index);
    };
    QString text;
    if (pinned_) {
        text = QStringLiteral("%1 %2 pinned (click it again to free the panel)\n")
                   .arg(unit_name)
                   .arg(number_of(*pinned_));
    }
    if (!hit) {
        if (!pinned_) {
            hit_label_->setText(QStringLiteral("Point at a trace to see its header words."));
            show_header(nullptr);
            return;
        }
        hit_label_->setText(text.trimmed());
        show_header(&section_.traces[static_cast<std::size_t>(*pinned_)]);
        return;
    }
    const render::SectionTrace& trace = section_.traces[static_cast<std::size_t>(hit->trace)];
    if (trace.missing) {
        text += QStringLiteral("%1 %2 missing: %3")
                    .arg(unit_name)
                    .arg(number_of(hit->trace))
                    .arg(QString::fromStdString(trace.missing_reason));
    } else {
        text += QStringLiteral("%1 %2, channel %3")
                    .arg(unit_name)
                    .arg(number_of(hit->trace))
                    .arg(trace.word(8));
        if (trace.word(92) != 0) text += QStringLiteral(", SSN %1").arg(trace.word(92));
        text += QStringLiteral("\nTime %1 %2\n")
                    .arg(number_text(hit->time_ms, 3))
                    .arg(render::time_is_in_samples(section_) ? QStringLiteral("(samples)")
                                                              : QStringLiteral("ms"));
        if (hit->sample) {
            text += QStringLiteral("Sample %1, amplitude %2")
                        .arg(*hit->sample + 1)
                        .arg(QString::number(hit->amplitude, 'g', 7));
        } else {
            text += QStringLiteral("No sample at this time");
        }
    }
    hit_label_->setText(text);
    show_header(pinned_ ? &section_.traces[static_cast<std::size_t>(*pinned_)] : &trace);
}

void TraceDisplayWindow::zoom_at(double factor, double x, double y) {
    const render::SectionLayout layout(section_, options_, canvas_->width(), canvas_->height());
    if (layout.visible_traces() == 0 || layout.plot_width() == 0) return;
    const double px =
        std::clamp(x, double(layout.plot_left()), double(layout.plot_left() + layout.plot_width()));
    const double py =
        std::clamp(y, double(layout.plot_top()), double(layout.plot_top() + layout.plot_height()));
    const double anchor_trace =
        layout.view().first_trace + (px - layout.plot_left()) / layout.trace_spacing_px();
    set_view(render::zoom_view(section_, options_.view, factor, anchor_trace, layout.ms_of_y(py)));
}

void TraceDisplayWindow::zoom_to_rectangle(double x0, double y0, double x1, double y1) {
    set_view(render::view_of_rectangle(section_, options_, canvas_->width(), canvas_->height(), x0,
                                       y0, x1, y1));
}

bool TraceDisplayWindow::save_picture() {
    QString path = choose_save_path_(this, suggested_png_path());
    if (path.isEmpty()) return false;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".png");
    std::string reason;
    const render::PngResult result =
        render::save_png(captioned_picture(), QFile::encodeName(path).toStdString(), &reason);
    if (result == render::PngResult::written) {
        statusBar()->showMessage(QStringLiteral("Picture saved to %1").arg(path));
        return true;
    }
    QString text = QString::fromUtf8(render::png_result_text(result));
    if (!reason.empty()) text += QStringLiteral("\n") + QString::fromStdString(reason);
    QMessageBox::warning(this, QStringLiteral("Save as PNG"), text);
    return false;
}

}  // namespace quarvent
