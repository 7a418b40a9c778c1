#pragma once

// The task runner's progress dialog seen from a test: a task that waits on
// its pool thread for the GUI thread, and actions run from inside the
// dialog's own event loop. Qt widgets; for the suites with a QApplication.

#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include <QApplication>
#include <QObject>
#include <QProgressDialog>
#include <QTimer>
#include <QWidget>

namespace TestSupport {

// Waits on a pool thread until flag is set; false after a bounded time so a
// broken runner fails the test instead of hanging it.
inline bool waitFor(const std::atomic<bool>& flag,
                    std::chrono::milliseconds limit = std::chrono::milliseconds(10000))
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!flag.load()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

inline QProgressDialog* visibleProgressDialog()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QProgressDialog*>(widget); dialog && dialog->isVisible())
            return dialog;
    return nullptr;
}

// Calls action once a progress dialog is visible (polled on the GUI thread,
// i.e. from inside the dialog's own event loop).
inline void whenDialogShows(QObject* context, std::function<void(QProgressDialog*)> action)
{
    auto* timer = new QTimer(context);
    timer->setInterval(5);
    QObject::connect(timer, &QTimer::timeout, context, [timer, action] {
        if (QProgressDialog* dialog = visibleProgressDialog()) {
            timer->stop();
            timer->deleteLater();
            action(dialog);
        }
    });
    timer->start();
}

} // namespace TestSupport
