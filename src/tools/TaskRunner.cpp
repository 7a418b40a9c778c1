#include "tools/TaskRunner.h"

#include <vector>

#include <QCloseEvent>
#include <QFutureWatcher>
#include <QPointer>
#include <QProgressDialog>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <QtGlobal>

namespace TaskRunner {

namespace {

Runner& installedRunner()
{
    static Runner runner;
    return runner;
}

bool busy = false;

// Calls of whenIdle waiting for the running task to end.
struct IdleCall {
    QPointer<QObject> context;
    std::function<void()> call;
};

std::vector<IdleCall>& idleCalls()
{
    static std::vector<IdleCall> calls;
    return calls;
}

// Hands the waiting calls to their contexts' event loops. Each looks again
// when it is delivered: a task the caller started meanwhile is waited for.
void postIdleCalls()
{
    std::vector<IdleCall> calls;
    calls.swap(idleCalls());
    for (IdleCall& waiting : calls) {
        QObject* context = waiting.context;
        if (!context)
            continue;
        QMetaObject::invokeMethod(
            context, [context, call = std::move(waiting.call)] { whenIdle(context, call); }, Qt::QueuedConnection);
    }
}

QString describe(const std::exception_ptr& error)
{
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    } catch (IO::File::error code) {
        return QStringLiteral("file error %1").arg(static_cast<int>(code));
    } catch (...) {
        return QStringLiteral("unknown exception");
    }
}

// A progress dialog that only its task can end. Escape (reject) and the
// window system's close request are ignored until the task has finished:
// ending the dialog's loop early would leave the GUI thread blocked in the
// wait for the task, a frozen window with no dialog.
class TaskProgressDialog : public QProgressDialog {
public:
    TaskProgressDialog()
        : QProgressDialog(nullptr, Qt::WindowFlags())
    {
    }

    void finish()
    {
        finished_ = true;
        reset();  // hides the dialog (auto-close), which ends exec()
    }

    void reject() override
    {
        if (finished_)
            QProgressDialog::reject();
    }

protected:
    void closeEvent(QCloseEvent* event) override
    {
        if (!finished_) {
            event->ignore();
            return;
        }
        QProgressDialog::closeEvent(event);
    }

private:
    bool finished_ = false;
};

} // namespace

Runner setRunner(Runner runner)
{
    Runner previous = std::move(installedRunner());
    installedRunner() = std::move(runner);
    return previous;
}

void runWithDialog(const QString& label, const std::function<void()>& job)
{
    TaskProgressDialog dialog;
    dialog.setLabelText(label);
    dialog.setWindowFlags(dialog.windowFlags() & ~Qt::WindowCloseButtonHint & ~Qt::WindowContextHelpButtonHint);
    dialog.setCancelButton(nullptr);

    QFutureWatcher<void> watcher;
    QObject::connect(&watcher, &QFutureWatcherBase::finished, &dialog, [&dialog] { dialog.finish(); });
    QObject::connect(&watcher, &QFutureWatcherBase::progressRangeChanged, &dialog, &QProgressDialog::setRange);
    QObject::connect(&watcher, &QFutureWatcherBase::progressValueChanged, &dialog, &QProgressDialog::setValue);

    QFuture<void> future = QtConcurrent::run(QThreadPool::globalInstance(), job);
    // A future that is already finished still reports it: the watcher posts
    // the notice, and the dialog's own loop delivers it.
    watcher.setFuture(future);
    dialog.exec();
    future.waitForFinished();
}

ScopedInlineRunner::ScopedInlineRunner()
    : previous_(setRunner([](const QString&, const std::function<void()>& job) { job(); }))
{
}

ScopedInlineRunner::~ScopedInlineRunner()
{
    setRunner(std::move(previous_));
}

Report run(const QString& label, const std::function<void()>& job)
{
    Report report;
    if (busy) {
        qWarning("Task \"%s\" refused: another task is still running.", qUtf8Printable(label));
        report.outcome = Outcome::Refused;
        return report;
    }

    std::exception_ptr error;
    {
        struct BusyScope {
            BusyScope() { busy = true; }
            ~BusyScope() { busy = false; }
        } busyScope;

        const std::function<void()> guarded = [&job, &error] {
            try {
                job();
            } catch (...) {
                error = std::current_exception();
            }
        };
        const Runner runner = installedRunner();
        if (runner)
            runner(label, guarded);
        else
            runWithDialog(label, guarded);
    }
    postIdleCalls();

    if (error) {
        report.outcome = Outcome::Failed;
        report.error = error;
        qWarning("Task \"%s\" failed: %s", qUtf8Printable(label), qUtf8Printable(describe(error)));
    }
    return report;
}

bool isBusy()
{
    return busy;
}

void whenIdle(QObject* context, std::function<void()> call)
{
    if (!context || !call)
        return;
    if (busy) {
        idleCalls().push_back({context, std::move(call)});
        return;
    }
    call();
}

} // namespace TaskRunner
