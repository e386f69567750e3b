#pragma once
// The desktop main window: the controls and menus of the converter, laid out in twips at
// their designed places. It renders and forwards; every decision is MainWindow's.

#include <QMainWindow>
#include <array>
#include <functional>
#include <memory>
#include <vector>

#include "shell/main_window.hpp"
#include "shell/shell_port.hpp"

class QAction;
class QLabel;
class QProgressBar;
class QPushButton;
class QListWidget;
class QMenu;
class QMenuBar;
class QPlainTextEdit;

namespace quarvent {

class FileDialogs;
class QtShellPort;

class QtMainWindow : public QMainWindow {
    Q_OBJECT

public:
    // dialogs shows the file dialog and must outlive the window; without one the window
    // shows real file dialogs.
    explicit QtMainWindow(FileDialogs* dialogs = nullptr, QWidget* parent = nullptr);
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
    // The progress panel that stands in for Text1 during a run, its bar, and its lines.
    QWidget* progress_panel() const { return progress_panel_; }
    QProgressBar* progress_bar() const { return progress_bar_; }
    void show_progress(const ProgressView& progress);
    // The standing note in the status bar (Delete Input Files).
    QLabel* status_note() const { return status_note_; }
    // The status bar's message (the last run's summary). A menu hovered over clears the
    // bar's message; this one comes back when it has.
    void show_status_message(const QString& text);
    // The files the last run kept: the status bar's button that lists them, and the list.
    void set_kept_files(const std::vector<KeptFile>& kept);
    QPushButton* kept_files_button() const { return kept_button_; }
    // Opens the list of the kept files (the button's action).
    void show_kept_files();
    // The options in force that differ from the defaults, in a permanent part of the bar.
    QLabel* options_in_force() const { return options_in_force_; }
    // The divider between the list and the status report.
    QWidget* splitter_handle() const { return splitter_; }
    // Keeps the progress panel over Text1 and the divider between List1 and Text1.
    void place_companions();

    // Moves the Help menu to the right-hand end of the menu bar, or back.
    void set_help_at_right(bool at_right);
    bool help_at_right() const { return help_at_right_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    using AddMenu = std::function<QMenu*(QWidget* parent, Menu item, const char* caption)>;
    void build_menus();
    void build_files_menu(const AddMenu& add_menu);
    void build_options_menu(const AddMenu& add_menu);
    void build_convert_commands();
    void build_view_menu(const AddMenu& add_menu);
    void build_help_menu(const AddMenu& add_menu);
    void build_controls();
    QAction* add_command(QMenu* parent, Menu item, const char* caption,
                         void (MainWindow::*handler)());

    std::array<QAction*, menu_count> actions_{};
    std::array<QMenu*, menu_count> menus_{};
    QMenuBar* right_bar_ = nullptr;
    bool help_at_right_ = false;
    QLabel* label1_ = nullptr;
    QLabel* label2_ = nullptr;
    QLabel* label3_ = nullptr;
    QListWidget* list1_ = nullptr;
    QPlainTextEdit* text1_ = nullptr;
    QWidget* progress_panel_ = nullptr;
    QProgressBar* progress_bar_ = nullptr;
    std::array<QLabel*, 4> progress_lines_{};
    QLabel* status_note_ = nullptr;
    QLabel* options_in_force_ = nullptr;
    QPushButton* kept_button_ = nullptr;
    std::vector<KeptFile> kept_;
    QString held_message_;
    QWidget* splitter_ = nullptr;
    std::unique_ptr<FileDialogs> own_dialogs_;  // when none was given
    std::unique_ptr<QtShellPort> port_;
    std::unique_ptr<MainWindow> logic_;
};

}  // namespace quarvent
