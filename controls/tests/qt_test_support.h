// The Qt side of the component's tests: one application object for the test program, and
// waiting for a condition while Qt delivers its events (the component's timers and signals).
#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <functional>

inline QApplication& App() {
    static int argc = 1;
    static char name[] = "varnel_test";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
    return app;
}

// Processes Qt events until `done` holds; false when `ms` pass first.
inline bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}
