// quarvent: the desktop converter of SEG-2 field recordings.

#include <QApplication>

#include "qt/qt_main_window.hpp"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quarvent"));

    quarvent::QtMainWindow window;
    if (!window.load()) return 0;
    window.show();
    return QApplication::exec();
}
