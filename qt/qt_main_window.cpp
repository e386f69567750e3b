#include "qt/qt_main_window.hpp"

#include <QAction>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <cmath>

#include "qt/help_viewer.hpp"
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

std::size_t index_of(Menu menu) { return static_cast<std::size_t>(menu); }

}  // namespace

QtMainWindow::QtMainWindow(QWidget* parent)
    : QMainWindow(parent),
      port_(std::make_unique<QtShellPort>(*this)),
      logic_(std::make_unique<MainWindow>(*port_)) {
    setObjectName(QStringLiteral("QuarventMain"));
    setWindowTitle(QStringLiteral("SEG2 -> QEX"));
    build_menus();
    build_controls();

    port_->set_window_width(designed_width_twips);
    port_->set_window_height(designed_height_twips);
    port_->on_size_changed = [this] { logic_->Form_Resize(); };
    logic_->Form_Resize();
    attach_help_and_about(*this);
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
    auto add_menu = [this](QWidget* parent_menu, Menu item, const char* caption) {
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

    QMenu* files = add_menu(menuBar(), Menu::filemenu, "Files");
    add_command(files, Menu::fileopen, "Select &Inputs", &MainWindow::fileopen_Click);
    add_command(files, Menu::fileoutput, "&Output ", &MainWindow::fileoutput_Click);
    add_command(files, Menu::fileclear, "&Clear List", &MainWindow::fileclear_Click);
    QAction* separator = files->addSeparator();
    separator->setObjectName(QStringLiteral("filesep"));
    actions_[index_of(Menu::filesep)] = separator;
    add_command(files, Menu::fileexit, "E&xit", &MainWindow::fileexit_Click);

    QMenu* options = add_menu(menuBar(), Menu::segoptions, "&Options");
    QMenu* resample = add_menu(options, Menu::optresamp, "Resample");
    for (auto [item, caption, handler] :
         {std::tuple{Menu::resamp1_1, "1:1", &MainWindow::resamp1_1_Click},
          std::tuple{Menu::resamp1_2, "2:1", &MainWindow::resamp1_2_Click},
          std::tuple{Menu::resamp1_4, "4:1", &MainWindow::resamp1_4_Click}}) {
        QAction* action = add_command(resample, item, caption, handler);
        action->setCheckable(true);
        action->setChecked(item == Menu::resamp1_1);
    }
    add_command(options, Menu::optiondelete, "Delete Input Files", &MainWindow::optiondelete_Click)
        ->setCheckable(true);
    add_command(options, Menu::optionshorten, "Adjust Record Length",
                &MainWindow::optionshorten_Click);

    add_command(nullptr, Menu::convert, "&Convert", &MainWindow::convert_Click);

    QMenu* help = add_menu(menuBar(), Menu::help, "&Help");
    add_command(help, Menu::helpcontent, "&Contents", &MainWindow::helpcontent_Click);
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
    auto make_label = [&](const char* name, const char* caption, const TwipRect& rect) {
        auto* label = new QLabel(QString::fromLatin1(caption), client);
        label->setObjectName(QString::fromLatin1(name));
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        place(label, rect);
        return label;
    };
    label2_ = make_label("Label2", "OutPut File:", label2_place);
    label1_ = make_label("Label1", "Input Files", label1_place);
    label3_ = make_label("Label3", "Status Report", label3_place);

    list1_ = new QListWidget(client);
    list1_->setObjectName(QStringLiteral("List1"));
    list1_->setSelectionMode(QAbstractItemView::SingleSelection);
    list1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    place(list1_, list1_place);
    list1_->installEventFilter(this);
    list1_->viewport()->installEventFilter(this);

    text1_ = new QPlainTextEdit(client);
    text1_->setObjectName(QStringLiteral("Text1"));
    text1_->setReadOnly(true);
    // A status line longer than the box wraps rather than hiding behind a scroll bar.
    text1_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    place(text1_, text1_place);
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
        case Control::Label1: return label1_;
        case Control::Label2: return label2_;
        case Control::Label3: return label3_;
        default: return nullptr;
    }
}

QWidget* QtMainWindow::control(Control control) const {
    switch (control) {
        case Control::List1: return list1_;
        case Control::Text1: return text1_;
        default: return label(control);
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
