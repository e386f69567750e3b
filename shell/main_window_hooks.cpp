// The window's life-cycle hooks and the Help menu's commands. Start-up, settings, Exit and
// Help fill these in; until then the window starts with the option defaults and Exit ends
// the program.

#include "shell/main_window.hpp"

namespace quarvent {

void MainWindow::Form_Load() { set_option_defaults(); }

void MainWindow::Form_Unload() {}

void MainWindow::fileexit_Click() { port_.end_program(); }

void MainWindow::helpcontent_Click() {}

void MainWindow::fileabout_Click() {}

}  // namespace quarvent
