#pragma once
// The desktop main window: the controls and menus of the converter, laid out in twips at
// their designed places. It renders and forwards; every decision is MainWindow's.

#include <QMainWindow>
#include <array>
#include <memory>

#include "shell/main_window.hpp"
#include "shell/shell_port.hpp"

class QAction;
class QLabel;
class QListWidget;
class QMenu;
class QMenuBar;
class QPlainTextEdit;

namespace quarvent {

class QtShellPort;

class QtMainWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit QtMainWindow(QWidget* parent = nullptr);
    ~QtMainWindow() override;

    // Runs the window's load event (start-up). Returns false when the program ended
    // during it, and the window is then not to be shown.
    bool load();

    MainWindow& logic() { return *logic_; }
    QtShellPort& port() { return *port_; }

    // The menu item of menu: its QAction (for a drop-down menu, the menu's own action).
    QAction* action(Menu menu) const;
    QMenu* menu(Menu menu) const;  // nullptr for items that are not drop-down menus
    QListWidget* list1() const { return list1_; }
    QPlainTextEdit* text1() const { return text1_; }
    QLabel* label(Control label) const;
    QWidget* control(Control control) const;

    // Moves the Help menu to the right-hand end of the menu bar, or back.
    void set_help_at_right(bool at_right);
    bool help_at_right() const { return help_at_right_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build_menus();
    void build_controls();
    QAction* add_command(QMenu* parent, Menu item, const char* caption, void (MainWindow::*handler)());

    std::array<QAction*, menu_count> actions_{};
    std::array<QMenu*, menu_count> menus_{};
    QMenuBar* right_bar_ = nullptr;
    bool help_at_right_ = false;
    QLabel* label1_ = nullptr;
    QLabel* label2_ = nullptr;
    QLabel* label3_ = nullptr;
    QListWidget* list1_ = nullptr;
    QPlainTextEdit* text1_ = nullptr;
    std::unique_ptr<QtShellPort> port_;
    std::unique_ptr<MainWindow> logic_;
};

}  // namespace quarvent
