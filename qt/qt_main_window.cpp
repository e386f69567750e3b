#include "qt/qt_main_window.hpp"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <functional>

#include "qt/help_viewer.hpp"
#include "qt/kept_files_dialog.hpp"
#include "qt/qt_shell_port.hpp"

namespace quarvent {

namespace {

// Designed places in twips: left, top, width, height.
struct TwipRect {
    double left, top, width, height;
};
constexpr TwipRect label2_place{1440, 0, 3732, 492};
constexpr TwipRect label1_place{120, 240, 1092, 252};
constexpr TwipRect label3_place{3120, 360, 4212, 252};
constexpr TwipRect list1_place{120, 600, 2892, 2955};
constexpr TwipRect text1_place{3120, 600, 2052, 3132};
// The designed window size; the settings file normally replaces it.
constexpr double designed_width_twips = 9600;
constexpr double designed_height_twips = 6600;

// The smallest window in which the list, the status report and the progress panel stay
// usable, in pixels.
constexpr int minimum_width_pixels = 480;
constexpr int minimum_height_pixels = 340;

std::size_t index_of(Menu menu) { return static_cast<std::size_t>(menu); }

// A label that shows each line of its text shortened in the middle when it does not fit, so
// that both ends of a long path stay readable. text() keeps the whole caption.
class ElidedLabel final : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QRect area = contentsRect();
        const QFontMetrics metrics = fontMetrics();
        int top = area.top();
        for (const QString& line : text().split(QLatin1Char('\n'))) {
            if (top != area.top() && top + metrics.height() > area.bottom() + 1) break;
            painter.drawText(QRect(area.left(), top, area.width(), metrics.height()),
                             Qt::AlignLeft | Qt::AlignVCenter,
                             metrics.elidedText(line, Qt::ElideMiddle, area.width()));
            top += metrics.lineSpacing();
        }
    }
};

// List1: takes files and folders dropped from a file manager, and lets the operator move
// its entries by dragging them. Both are refused while editable() says no (during a run).
class InputList final : public QListWidget {
public:
    std::function<void(const QStringList& paths, bool with_subfolders)> on_drop;
    std::function<bool()> editable;

    explicit InputList(QWidget* parent) : QListWidget(parent) {
        setSelectionMode(QAbstractItemView::ExtendedSelection);
        setDragEnabled(true);
        setAcceptDrops(true);
        setDropIndicatorShown(true);
        setDragDropMode(QAbstractItemView::DragDrop);
        setDefaultDropAction(Qt::MoveAction);
    }

protected:
    static bool from_outside(const QDropEvent* event) { return event->mimeData()->hasUrls(); }
    bool own_entries(const QDropEvent* event) const {
        return !from_outside(event) && event->mimeData()->hasFormat(QStringLiteral(
                                           "application/x-qabstractitemmodeldatalist"));
    }
    bool acceptable(const QDropEvent* event) const {
        return (!editable || editable()) && (from_outside(event) || own_entries(event));
    }

    void dragEnterEvent(QDragEnterEvent* event) override {
        if (!acceptable(event)) return event->ignore();
        event->setDropAction(from_outside(event) ? Qt::CopyAction : Qt::MoveAction);
        event->accept();
    }
    void dragMoveEvent(QDragMoveEvent* event) override {
        if (!acceptable(event)) return event->ignore();
        QListWidget::dragMoveEvent(event);
        event->setDropAction(from_outside(event) ? Qt::CopyAction : Qt::MoveAction);
        event->accept();
    }
    void dropEvent(QDropEvent* event) override {
        if (!acceptable(event)) return event->ignore();
        if (from_outside(event)) {
            QStringList paths;
            for (const QUrl& url : event->mimeData()->urls()) {
                if (url.isLocalFile()) paths << url.toLocalFile();
            }
            event->setDropAction(Qt::CopyAction);
            event->accept();
            if (on_drop && !paths.isEmpty()) {
                on_drop(paths, event->modifiers().testFlag(Qt::ControlModifier));
            }
            return;
        }
        move_selected_to(event->position().toPoint());
        // Reported as a copy, so that the drag does not remove the moved entries again.
        event->setDropAction(Qt::CopyAction);
        event->accept();
    }

private:
    // Moves the selected entries, in their order, to the place under point.
    void move_selected_to(QPoint point) {
        std::vector<int> rows;
        for (const QModelIndex& index : selectionModel()->selectedRows())
            rows.push_back(index.row());
        if (rows.empty()) return;
        std::sort(rows.begin(), rows.end());
        const QModelIndex under = indexAt(point);
        int target = count();
        if (under.isValid()) {
            const QRect place = visualRect(under);
            target = under.row() + (point.y() > place.center().y() ? 1 : 0);
        }
        std::vector<QListWidgetItem*> moved;
        for (auto row = rows.rbegin(); row != rows.rend(); ++row) {
            if (*row < target) --target;
            moved.insert(moved.begin(), takeItem(*row));
        }
        clearSelection();
        for (std::size_t i = 0; i < moved.size(); ++i) {
            insertItem(target + static_cast<int>(i), moved[i]);
            moved[i]->setSelected(true);
        }
        setCurrentItem(moved.front(), QItemSelectionModel::NoUpdate);
    }
};

// The divider between the list and the status report; dragging it widens or narrows the
// list.
class SplitHandle final : public QWidget {
public:
    std::function<void(int client_x)> on_drag;

    explicit SplitHandle(QWidget* parent) : QWidget(parent) { setCursor(Qt::SplitHCursor); }

protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) offset_ = event->position().toPoint().x();
    }
    void mouseMoveEvent(QMouseEvent* event) override {
        if (!(event->buttons() & Qt::LeftButton) || !on_drag) return;
        on_drag(mapToParent(event->position().toPoint()).x() - offset_);
    }

private:
    int offset_ = 0;
};

}  // namespace

QtMainWindow::QtMainWindow(FileDialogs* dialogs, QWidget* parent)
    : QMainWindow(parent),
      own_dialogs_(dialogs == nullptr ? std::make_unique<QtFileDialogs>(*this) : nullptr),
      port_(std::make_unique<QtShellPort>(*this, dialogs == nullptr ? *own_dialogs_ : *dialogs)),
      logic_(std::make_unique<MainWindow>(*port_)) {
    setObjectName(QStringLiteral("QuarventMain"));
    setWindowTitle(QStringLiteral("SEG2 -> QEX"));
    build_menus();
    build_controls();
    status_note_ = new QLabel(this);
    status_note_->setObjectName(QStringLiteral("deletenote"));
    status_note_->hide();
    statusBar()->setObjectName(QStringLiteral("statusbar"));
    kept_button_ = new QPushButton(this);
    kept_button_->setObjectName(QStringLiteral("keptfilesbutton"));
    kept_button_->setFlat(true);
    kept_button_->setCursor(Qt::PointingHandCursor);
    kept_button_->setToolTip(QStringLiteral("List the files the last run kept, and why"));
    kept_button_->hide();
    connect(kept_button_, &QPushButton::clicked, this, &QtMainWindow::show_kept_files);
    options_in_force_ = new QLabel(this);
    options_in_force_->setObjectName(QStringLiteral("optionsinforce"));
    options_in_force_->setToolTip(QStringLiteral("Options in force that differ from the defaults"));
    options_in_force_->hide();
    statusBar()->addPermanentWidget(kept_button_);
    statusBar()->addPermanentWidget(options_in_force_);
    statusBar()->addPermanentWidget(status_note_);
    connect(statusBar(), &QStatusBar::messageChanged, this, [this](const QString& message) {
        if (!message.isEmpty() || held_message_.isEmpty()) return;
        // Put back after the status tip that cleared it has been handled.
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (statusBar()->currentMessage().isEmpty() && !held_message_.isEmpty()) {
                    statusBar()->showMessage(held_message_);
                }
            },
            Qt::QueuedConnection);
    });
    setMinimumSize(minimum_width_pixels, minimum_height_pixels);

    port_->set_window_width(designed_width_twips);
    port_->set_window_height(designed_height_twips);
    port_->on_size_changed = [this] { logic_->Form_Resize(); };
    logic_->Form_Resize();
    attach_help_and_about(*this);
}

void QtMainWindow::show_status_message(const QString& text) {
    held_message_ = text;
    if (text.isEmpty()) {
        statusBar()->clearMessage();
    } else {
        statusBar()->showMessage(text);
    }
}

void QtMainWindow::set_kept_files(const std::vector<KeptFile>& kept) {
    kept_ = kept;
    kept_button_->setText(kept_files_caption(kept_) + QStringLiteral("\u2026"));
    kept_button_->setVisible(!kept_.empty());
}

void QtMainWindow::show_kept_files() {
    KeptFilesDialog dialog(kept_, this);
    dialog.exec();
}

QtMainWindow::~QtMainWindow() {
    // The logic holds a reference to the port; it goes first.
    logic_.reset();
}

bool QtMainWindow::load() {
    logic_->Form_Load();
    return !port_->program_ended();
}

QAction* QtMainWindow::add_command(QMenu* parent, Menu item, const char* caption,
                                   void (MainWindow::*handler)()) {
    QAction* action = parent != nullptr ? parent->addAction(QString::fromLatin1(caption))
                                        : menuBar()->addAction(QString::fromLatin1(caption));
    action->setObjectName(QString::fromLatin1(menu_name(item).data(),
                                              static_cast<qsizetype>(menu_name(item).size())));
    connect(action, &QAction::triggered, this, [this, handler] {
        if (!port_->program_ended()) (logic_.get()->*handler)();
    });
    actions_[index_of(item)] = action;
    return action;
}

void QtMainWindow::build_menus() {
    const AddMenu add_menu = [this](QWidget* parent_menu, Menu item, const char* caption) {
        const QString name = QString::fromLatin1(menu_name(item).data(),
                                                 static_cast<qsizetype>(menu_name(item).size()));
        auto* drop_down = new QMenu(QString::fromLatin1(caption), this);
        drop_down->setObjectName(name);
        drop_down->menuAction()->setObjectName(name);
        if (auto* bar = qobject_cast<QMenuBar*>(parent_menu)) {
            bar->addMenu(drop_down);
        } else {
            qobject_cast<QMenu*>(parent_menu)->addMenu(drop_down);
        }
        menus_[index_of(item)] = drop_down;
        actions_[index_of(item)] = drop_down->menuAction();
        return drop_down;
    };

    // The menu bar, left to right; each menu is built by its own function.
    build_files_menu(add_menu);
    build_options_menu(add_menu);
    build_convert_commands();
    build_view_menu(add_menu);
    build_help_menu(add_menu);
}

void QtMainWindow::build_files_menu(const AddMenu& add_menu) {
    QMenu* files = add_menu(menuBar(), Menu::filemenu, "Files");
    add_command(files, Menu::fileopen, "Select &Inputs", &MainWindow::fileopen_Click)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    add_command(files, Menu::fileoutput, "&Output ", &MainWindow::fileoutput_Click)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    add_command(files, Menu::fileclear, "&Clear List", &MainWindow::fileclear_Click);
    add_command(files, Menu::filesavelog, "Save Status &Log", &MainWindow::filesavelog_Click)
        ->setText(QStringLiteral("Save Status &Log\u2026"));
    QAction* separator = files->addSeparator();
    separator->setObjectName(QStringLiteral("filesep"));
    actions_[index_of(Menu::filesep)] = separator;
    add_command(files, Menu::fileexit, "E&xit", &MainWindow::fileexit_Click)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
}

void QtMainWindow::build_options_menu(const AddMenu& add_menu) {
    QMenu* options = add_menu(menuBar(), Menu::segoptions, "&Options");
    QMenu* resample = add_menu(options, Menu::optresamp, "Resample");
    auto* factors = new QActionGroup(resample);
    factors->setExclusive(true);
    for (auto [item, caption, handler] :
         {std::tuple{Menu::resamp1_1, "1:1", &MainWindow::resamp1_1_Click},
          std::tuple{Menu::resamp1_2, "2:1", &MainWindow::resamp1_2_Click},
          std::tuple{Menu::resamp1_4, "4:1", &MainWindow::resamp1_4_Click}}) {
        QAction* action = add_command(resample, item, caption, handler);
        action->setCheckable(true);
        action->setChecked(item == Menu::resamp1_1);
        factors->addAction(action);
    }
    add_command(options, Menu::optiondelete, "Delete Input Files", &MainWindow::optiondelete_Click)
        ->setCheckable(true);
    add_command(options, Menu::optionremember, "Remember Delete Input Files",
                &MainWindow::optionremember_Click)
        ->setCheckable(true);
    add_command(options, Menu::optionshorten, "Adjust Record Length",
                &MainWindow::optionshorten_Click);
    add_command(options, Menu::optionfresh, "Fresh Header for Each File",
                &MainWindow::optionfresh_Click)
        ->setCheckable(true);
    QAction* run_log = add_command(options, Menu::optionrunlog, "Write Run Log Beside Output",
                                   &MainWindow::optionrunlog_Click);
    run_log->setCheckable(true);
    run_log->setChecked(true);
}

void QtMainWindow::build_convert_commands() {
    add_command(nullptr, Menu::convert, "&Convert", &MainWindow::convert_Click)
        ->setShortcuts(
            {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)});
    // Shown beside Convert only while a run is in progress.
    QAction* stop =
        add_command(nullptr, Menu::convertstop, "&Stop", &MainWindow::convertstop_Click);
    stop->setShortcut(QKeySequence(Qt::Key_Escape));
    stop->setVisible(false);
    stop->setEnabled(false);
}

void QtMainWindow::build_view_menu(const AddMenu& add_menu) {
    QMenu* view = add_menu(menuBar(), Menu::viewmenu, "&View");
    add_command(view, Menu::viewinput, "&Input File", &MainWindow::viewinput_Click);
    add_command(view, Menu::viewoutput, "O&utput File", &MainWindow::viewoutput_Click);
}

void QtMainWindow::build_help_menu(const AddMenu& add_menu) {
    QMenu* help = add_menu(menuBar(), Menu::help, "&Help");
    QAction* contents =
        add_command(help, Menu::helpcontent, "&Contents", &MainWindow::helpcontent_Click);
    // F1 itself is taken by the context help anywhere in the window; the menu shows it.
    contents->setShortcut(QKeySequence(Qt::Key_F1));
    contents->setShortcutContext(Qt::WidgetShortcut);
    add_command(help, Menu::fileabout, "&About", &MainWindow::fileabout_Click);
}

void QtMainWindow::build_controls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    const double tx = port_->twips_per_pixel_x();
    const double ty = port_->twips_per_pixel_y();
    auto place = [tx, ty](QWidget* widget, const TwipRect& rect) {
        widget->setGeometry(static_cast<int>(std::lround(rect.left / tx)),
                            static_cast<int>(std::lround(rect.top / ty)),
                            static_cast<int>(std::lround(rect.width / tx)),
                            static_cast<int>(std::lround(rect.height / ty)));
    };
    auto make_label = [&](const char* name, const char* caption, const TwipRect& rect,
                          bool elided) {
        QLabel* label = elided ? new ElidedLabel(QString::fromLatin1(caption), client)
                               : new QLabel(QString::fromLatin1(caption), client);
        label->setObjectName(QString::fromLatin1(name));
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        place(label, rect);
        return label;
    };
    label2_ = make_label("Label2", "OutPut File:", label2_place, true);
    label1_ = make_label("Label1", "Input Files", label1_place, false);
    label3_ = make_label("Label3", "Status Report", label3_place, true);

    auto* list = new InputList(client);
    list->editable = [this] { return !logic_->run_in_progress() && !port_->program_ended(); };
    list->on_drop = [this](const QStringList& paths, bool with_subfolders) {
        std::vector<std::string> dropped;
        for (const QString& path : paths) dropped.push_back(program_text(path));
        logic_->List1_Drop(dropped,
                           with_subfolders ? std::optional<bool>(true) : std::optional<bool>());
    };
    list1_ = list;
    list1_->setObjectName(QStringLiteral("List1"));
    list1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    place(list1_, list1_place);
    list1_->installEventFilter(this);
    list1_->viewport()->installEventFilter(this);
    connect(list1_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        if (!port_->program_ended()) logic_->List1_DblClick(list1_->row(item));
    });

    auto* handle = new SplitHandle(client);
    handle->setObjectName(QStringLiteral("listsplitter"));
    handle->on_drag = [this](int client_x) {
        logic_->List1_SetWidth((client_x - list1_->x()) * port_->twips_per_pixel_x());
    };
    splitter_ = handle;

    text1_ = new QPlainTextEdit(client);
    text1_->setObjectName(QStringLiteral("Text1"));
    text1_->setReadOnly(true);
    // A status line longer than the box wraps rather than hiding behind a scroll bar.
    text1_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    place(text1_, text1_place);

    progress_panel_ = new QWidget(client);
    progress_panel_->setObjectName(QStringLiteral("progresspanel"));
    auto* layout = new QVBoxLayout(progress_panel_);
    layout->setContentsMargins(4, 4, 4, 4);
    const char* line_names[] = {"progressfile", "progresspath", "progresstraces", "progresstime"};
    for (std::size_t i = 0; i < progress_lines_.size(); ++i) {
        progress_lines_[i] =
            i == 1 ? new ElidedLabel(progress_panel_) : new QLabel(progress_panel_);
        progress_lines_[i]->setObjectName(QString::fromLatin1(line_names[i]));
        progress_lines_[i]->setTextFormat(Qt::PlainText);
        layout->addWidget(progress_lines_[i]);
        if (i == 1) {
            progress_bar_ = new QProgressBar(progress_panel_);
            progress_bar_->setObjectName(QStringLiteral("progressbar"));
            progress_bar_->setRange(0, 1000);
            progress_bar_->setValue(0);
            layout->addWidget(progress_bar_);
        }
    }
    layout->addStretch();
    progress_panel_->hide();
    place_companions();
}

void QtMainWindow::show_progress(const ProgressView& progress) {
    const long long total = std::max<long long>(progress.total, 0);
    const long long done = std::clamp<long long>(progress.position, 0, total);
    progress_bar_->setValue(total > 0 ? static_cast<int>(done * 1000 / total) : 0);
    progress_lines_[0]->setText(display_text(progress.file_line));
    progress_lines_[1]->setText(display_text(progress.file_path));
    progress_lines_[1]->setToolTip(display_text(progress.file_path));
    progress_lines_[2]->setText(display_text(progress.traces_line));
    progress_lines_[3]->setText(display_text(progress.time_line));
}

void QtMainWindow::place_companions() {
    if (progress_panel_ != nullptr) progress_panel_->setGeometry(text1_->geometry());
    if (splitter_ != nullptr) {
        const int left = list1_->geometry().right() + 1;
        splitter_->setGeometry(left, list1_->y(), std::max(2, text1_->x() - left),
                               list1_->height());
    }
}

QAction* QtMainWindow::action(Menu menu) const {
    const auto index = index_of(menu);
    return index < actions_.size() ? actions_[index] : nullptr;
}

QMenu* QtMainWindow::menu(Menu menu) const {
    const auto index = index_of(menu);
    return index < menus_.size() ? menus_[index] : nullptr;
}

QLabel* QtMainWindow::label(Control label) const {
    switch (label) {
        case Control::Label1:
            return label1_;
        case Control::Label2:
            return label2_;
        case Control::Label3:
            return label3_;
        default:
            return nullptr;
    }
}

QWidget* QtMainWindow::control(Control control) const {
    switch (control) {
        case Control::List1:
            return list1_;
        case Control::Text1:
            return text1_;
        default:
            return label(control);
    }
}

void QtMainWindow::set_help_at_right(bool at_right) {
    if (at_right == help_at_right_) return;
    QAction* help = menus_[index_of(Menu::help)]->menuAction();
    if (at_right) {
        if (right_bar_ == nullptr) {
            right_bar_ = new QMenuBar(menuBar());
            right_bar_->setObjectName(QStringLiteral("helpbar"));
            menuBar()->setCornerWidget(right_bar_, Qt::TopRightCorner);
        }
        menuBar()->removeAction(help);
        right_bar_->addAction(help);
        right_bar_->show();
    } else {
        right_bar_->removeAction(help);
        menuBar()->addAction(help);
    }
    help_at_right_ = at_right;
}

void QtMainWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (logic_) logic_->Form_Resize();
    place_companions();
}

void QtMainWindow::closeEvent(QCloseEvent* event) {
    if (port_->program_ended()) {
        event->accept();
        return;
    }
    if (!logic_->Form_QueryUnload()) {
        event->ignore();
        return;
    }
    logic_->Form_Unload();
    event->accept();
}

bool QtMainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (logic_ && !port_->program_ended()) {
        if (watched == list1_ && event->type() == QEvent::KeyPress) {
            if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Delete) {
                logic_->List1_KeyDown(key_delete);
                return true;
            }
        } else if (watched == list1_->viewport() && event->type() == QEvent::MouseButtonPress) {
            // The right button removes the selected item, whatever item is under the
            // pointer; the press must not move the selection first.
            if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
                logic_->List1_MouseDown(MouseButton::right);
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

}  // namespace quarvent
