#include "qt/help_viewer.hpp"

#include <QApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QScreen>
#include <QTextBrowser>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>

#include "qt/about_window.hpp"
#include "qt/qt_main_window.hpp"
#include "qt/qt_shell_port.hpp"

namespace quarvent {

namespace {

QString from_path(const std::string& path) { return QString::fromLocal8Bit(path.c_str()); }

QString topic_anchor(int context) { return QString::fromStdString(help_topic_anchor(context)); }

const QString contents_anchor = QStringLiteral("contents");

}  // namespace

QtHelpViewer::QtHelpViewer(QWidget* owner) : QWidget(owner, Qt::Window) {
    setObjectName(QStringLiteral("HelpViewer"));
    setWindowTitle(QStringLiteral("Quarvent Help"));
    resize(620, 560);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    auto* buttons = new QHBoxLayout;
    contents_button_ = new QToolButton(this);
    contents_button_->setObjectName(QStringLiteral("helpContents"));
    contents_button_->setText(QStringLiteral("&Contents"));
    auto* back = new QToolButton(this);
    back->setObjectName(QStringLiteral("helpBack"));
    back->setText(QStringLiteral("&Back"));
    back->setEnabled(false);
    auto* forward = new QToolButton(this);
    forward->setObjectName(QStringLiteral("helpForward"));
    forward->setText(QStringLiteral("&Forward"));
    forward->setEnabled(false);
    buttons->addWidget(contents_button_);
    buttons->addWidget(back);
    buttons->addWidget(forward);
    buttons->addStretch();
    layout->addLayout(buttons);

    browser_ = new QTextBrowser(this);
    browser_->setObjectName(QStringLiteral("helpBrowser"));
    browser_->setOpenLinks(true);
    browser_->setOpenExternalLinks(false);
    layout->addWidget(browser_);

    connect(back, &QToolButton::clicked, browser_, &QTextBrowser::backward);
    connect(forward, &QToolButton::clicked, browser_, &QTextBrowser::forward);
    connect(browser_, &QTextBrowser::backwardAvailable, back, &QToolButton::setEnabled);
    connect(browser_, &QTextBrowser::forwardAvailable, forward, &QToolButton::setEnabled);
    connect(contents_button_, &QToolButton::clicked, this, [this] {
        if (!help_file_.isEmpty()) open(help_file_.toLocal8Bit().toStdString(), contents_anchor);
    });
}

void QtHelpViewer::show_contents(const std::string& help_file) { open(help_file, contents_anchor); }

void QtHelpViewer::show_topic(const std::string& help_file, int context) {
    open(help_file, topic_anchor(context));
}

void QtHelpViewer::quit(const std::string& help_file) {
    // Only the file this viewer shows is closed; a quit for another file changes nothing.
    if (help_file_.isEmpty() || help_file_ != from_path(help_file)) return;
    hide();
    browser_->clear();
    browser_->clearHistory();
    help_file_.clear();
    anchor_.clear();
    shows_error_ = false;
}

void QtHelpViewer::open(const std::string& help_file, const QString& anchor) {
    const QString path = from_path(help_file);
    const QFileInfo info(path);
    help_file_ = path;
    anchor_ = anchor;
    if (!info.isFile() || !info.isReadable()) {
        // The program does not check for its help file; the viewer says what is wrong.
        shows_error_ = true;
        browser_->clearHistory();
        browser_->setHtml(QStringLiteral("<h2>Help is not available</h2>"
                                         "<p>The help file <b>%1</b> cannot be opened: %2</p>"
                                         "<p>Reinstall Quarvent to restore it.</p>")
                              .arg(path.toHtmlEscaped(),
                                   info.exists() ? QStringLiteral("it cannot be read.")
                                                 : QStringLiteral("there is no such file.")));
    } else {
        shows_error_ = false;
        QUrl url = QUrl::fromLocalFile(info.absoluteFilePath());
        url.setFragment(anchor);
        // The file's name does not tell its format; it is HTML.
        browser_->setSource(url, QTextDocument::HtmlResource);
        browser_->scrollToAnchor(anchor);
    }
    if (!isVisible()) place_beside_owner();
    show();
    raise();
    activateWindow();
}

// Beside the main window where the screen has room for it, else over it; never past the
// screen's edge, and no larger than the screen's free area allows.
void QtHelpViewer::place_beside_owner() {
    const QWidget* owner = parentWidget();
    const QScreen* screen = owner != nullptr ? owner->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr) return;
    const QRect room = screen->availableGeometry();
    constexpr int gap = 8;
    const QSize size(std::min(620, room.width() - 2 * gap), std::min(560, room.height() - 2 * gap));
    resize(size);
    const QRect beside = owner != nullptr ? owner->frameGeometry() : room;
    QPoint at;
    if (owner != nullptr && beside.right() + gap + size.width() <= room.right()) {
        at = QPoint(beside.right() + gap, beside.top());
    } else if (owner != nullptr && beside.left() - gap - size.width() >= room.left()) {
        at = QPoint(beside.left() - gap - size.width(), beside.top());
    } else {
        at = beside.center() - QPoint(size.width() / 2, size.height() / 2);
    }
    at.setX(std::clamp(at.x(), room.left() + gap,
                       std::max(room.left() + gap, room.right() - gap - size.width())));
    at.setY(std::clamp(at.y(), room.top() + gap,
                       std::max(room.top() + gap, room.bottom() - gap - size.height())));
    move(at);
}

ContextHelp::ContextHelp(QtMainWindow& window, Help& help)
    : QObject(&window), window_(window), help_(help) {
    qApp->installEventFilter(this);
}

bool ContextHelp::belongs_to_window(const QWidget* widget) const {
    for (; widget != nullptr; widget = widget->parentWidget()) {
        if (widget == &window_) return true;
    }
    return false;
}

int ContextHelp::current_context() const {
    auto context_of = [](const QObject* object) -> int {
        if (object == nullptr) return 0;
        return help_context_of(object->objectName().toStdString()).value_or(0);
    };

    if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        menu != nullptr && belongs_to_window(menu)) {
        if (const int context = context_of(menu->activeAction())) return context;
        // An item without a number of its own leads to its menu's topic.
        return context_of(menu);
    }
    for (const QMenuBar* bar : window_.findChildren<QMenuBar*>()) {
        if (const int context = context_of(bar->activeAction())) return context;
    }
    for (const QWidget* widget = QApplication::focusWidget();
         widget != nullptr && belongs_to_window(widget); widget = widget->parentWidget()) {
        if (const int context = context_of(widget)) return context;
    }
    return 0;
}

bool ContextHelp::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || static_cast<QKeyEvent*>(event)->key() != Qt::Key_F1) {
        return false;
    }
    const auto* target = qobject_cast<QWidget*>(watched);
    // A modal dialog (About, a message box) blocks the help viewer as well; F1 is its own.
    if (target == nullptr || !belongs_to_window(target) || window_.port().program_ended() ||
        QApplication::activeModalWidget() != nullptr) {
        return false;
    }
    const int context = current_context();
    // The help window comes up in place of the open menus, as with the platform's help.
    while (auto* popup = QApplication::activePopupWidget()) {
        if (!belongs_to_window(popup)) break;
        popup->close();
    }
    if (context != 0) {
        help_.show_help_topic(context);
    } else {
        help_.show_help_contents();
    }
    return true;
}

void attach_help_and_about(QtMainWindow& window) {
    ShellSession& session = window.logic().session;
    session.help_viewer = new QtHelpViewer(&window);
    session.about_windows = new QtAboutWindowFactory(&window);
    new ContextHelp(window, session.help);
}

}  // namespace quarvent
