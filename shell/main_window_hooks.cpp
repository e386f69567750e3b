// The window's life-cycle hooks and the Help menu's commands: start-up, Exit and unload
// (shell/startup.hpp), the help file (shell/help.hpp) and the About window (shell/about.hpp).

#include "shell/about.hpp"
#include "shell/main_window.hpp"
#include "shell/startup.hpp"

namespace quarvent {

void MainWindow::Form_Load() { (void)run_startup(*this, session); }

void MainWindow::Form_Unload() { run_unload(session); }

void MainWindow::fileexit_Click() {
    // During a run Exit asks what closing the window asks, and ends the program only once
    // the run has stopped after its current record.
    if (running_) {
        if (ask_to_stop_and_close()) exit_requested_ = true;
        return;
    }
    (void)run_exit(*this, session);
}

void MainWindow::helpcontent_Click() { session.help.show_help_contents(); }

void MainWindow::fileabout_Click() {
    if (session.about_windows == nullptr) return;
    show_about(
        *session.about_windows, port_,
        {port_.window_left(), port_.window_top(), port_.window_width(), port_.window_height()},
        session_system_dir(session));
}

}  // namespace quarvent
