// quarvent: the desktop converter of SEG-2 field recordings.

#include <QApplication>

#include "qt/qt_main_window.hpp"
#include "qt/qt_preferences.hpp"
#include "qt/qt_shell_port.hpp"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quarvent"));

    quarvent::QtPreferences preferences;
    quarvent::QtMainWindow window;
    window.logic().preferences = &preferences;
    if (!window.load()) return 0;
    // Settings made on a larger screen must not put the window off this one.
    window.port().fit_window_into_screen();
    window.show();
    return QApplication::exec();
}
