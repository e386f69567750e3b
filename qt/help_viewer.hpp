#pragma once
// The help viewer: a window of the program's own that shows the help file (HTML) with a
// contents button and back and forward, standing in for the platform's help program. It is
// owned by the main window. ContextHelp turns F1 on a menu or control of the main window
// into the topic of its context number.

#include <QObject>
#include <QString>
#include <QWidget>
#include <string>

#include "shell/help.hpp"

class QTextBrowser;
class QToolButton;

namespace quarvent {

class QtMainWindow;

class QtHelpViewer final : public QWidget, public HelpViewer {
    Q_OBJECT

public:
    explicit QtHelpViewer(QWidget* owner);

    void show_contents(const std::string& help_file) override;
    void show_topic(const std::string& help_file, int context) override;
    void quit(const std::string& help_file) override;

    QTextBrowser* browser() const { return browser_; }
    // Places the viewer beside its owner, or over it when the screen has no room beside.
    void place_beside_owner();
    // The help file shown, empty when none is.
    const QString& help_file() const { return help_file_; }
    // The anchor last asked for ("contents", "context5010", ...).
    const QString& anchor() const { return anchor_; }
    // True when the help file could not be read and the viewer shows why instead.
    bool shows_error() const { return shows_error_; }

private:
    void open(const std::string& help_file, const QString& anchor);

    QTextBrowser* browser_ = nullptr;
    QToolButton* contents_button_ = nullptr;
    QString help_file_;
    QString anchor_;
    bool shows_error_ = false;
};

// F1 context help for a main window: with one of its menus open, the topic of the item
// under the cursor (or of the menu itself when the item carries no context number);
// otherwise the topic of the focused control, or the contents when it carries none.
class ContextHelp final : public QObject {
    Q_OBJECT

public:
    ContextHelp(QtMainWindow& window, Help& help);

    // The context number F1 would open now, or 0 for the contents.
    int current_context() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool belongs_to_window(const QWidget* widget) const;

    QtMainWindow& window_;
    Help& help_;
};

// Gives the main window its help viewer, its About windows and F1 context help: the objects
// are children of the window and the window's logic uses them from its load on.
void attach_help_and_about(QtMainWindow& window);

}  // namespace quarvent
