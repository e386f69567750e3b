#pragma once
// Answering real modal dialogs in GUI tests: the handler runs from a timer inside the
// dialog's own event loop.

#include <gtest/gtest.h>

#include <QApplication>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

namespace quarvent::testing {

// Runs handle on the next modal dialog once it is up; fails the test when none comes within
// two seconds.
inline void when_modal(std::function<void(QWidget*)> handle) {
    // A window under test that ended the program (Exit) has told the application to quit,
    // after which every modal dialog's loop returns at once. An application loop that starts
    // and ends at once clears that.
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    auto* timer = new QTimer;
    auto waited_ms = std::make_shared<int>(0);
    QObject::connect(timer, &QTimer::timeout, [timer, waited_ms, handle] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) {
            *waited_ms += 10;
            if (*waited_ms < 2000) return;
            ADD_FAILURE() << "no modal dialog appeared";
        } else {
            handle(modal);
        }
        timer->stop();
        timer->deleteLater();
    });
    timer->start(10);
}

}  // namespace quarvent::testing
