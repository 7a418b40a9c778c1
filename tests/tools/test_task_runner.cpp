// The task runner: a task on the pool behind a modal progress dialog that
// only the task can end, its value handed back on the GUI thread.

#include <atomic>
#include <chrono>
#include <memory>
#include <new>
#include <stdexcept>
#include <thread>
#include <vector>

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QProgressDialog>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include "io/File.h"
#include "support/TaskDialogs.h"
#include "tools/TaskRunner.h"

namespace {

using namespace std::chrono_literals;
using TestSupport::visibleProgressDialog;
using TestSupport::waitFor;
using TestSupport::whenDialogShows;

} // namespace

TEST(TaskRunner, ReturnsTheTaskValueComputedOnAPoolThread)
{
    const Qt::HANDLE gui = QThread::currentThreadId();
    std::atomic<Qt::HANDLE> worker{nullptr};
    int result = -1;
    const bool finished = runWithProgressDialog<int>(
        "Opening files...", result,
        [&worker](int a, QString b) {
            worker = QThread::currentThreadId();
            return a * 10 + int(b.size());
        },
        4, QString("abc"));
    EXPECT_TRUE(finished);
    EXPECT_EQ(result, 43);
    EXPECT_NE(worker.load(), nullptr);
    EXPECT_NE(worker.load(), gui);
    EXPECT_EQ(visibleProgressDialog(), nullptr) << "the dialog is gone when the call returns";
    EXPECT_FALSE(TaskRunner::isBusy());
}

TEST(TaskRunner, DialogHasNoParentNoCancelNoCloseAndShowsTheLabel)
{
    QObject context;
    std::atomic<bool> inspected{false};
    QString label;
    Qt::WindowFlags flags;
    QObject* parent = reinterpret_cast<QObject*>(1);
    int buttons = -1;
    Qt::WindowModality modality = Qt::NonModal;
    whenDialogShows(&context, [&](QProgressDialog* dialog) {
        label = dialog->labelText();
        flags = dialog->windowFlags();
        parent = dialog->parent();
        buttons = int(dialog->findChildren<QPushButton*>().size());
        modality = dialog->windowModality();
        inspected = true;
    });
    bool result = false;
    runWithProgressDialog<bool>("Filtering channel 2...", result, [&inspected] { return waitFor(inspected); });
    EXPECT_TRUE(result);
    EXPECT_EQ(label, "Filtering channel 2...");
    EXPECT_EQ(parent, nullptr);
    EXPECT_EQ(buttons, 0) << "no cancel button";
    EXPECT_FALSE(flags.testFlag(Qt::WindowCloseButtonHint));
    EXPECT_FALSE(flags.testFlag(Qt::WindowContextHelpButtonHint));
    EXPECT_EQ(modality, Qt::ApplicationModal);
}

TEST(TaskRunner, TaskEndingBeforeTheDialogLoopStillEndsTheCall)
{
    // Hold the GUI thread at the dialog's show, before its loop runs, until
    // the task has finished.
    std::atomic<bool> taskDone{false};
    struct HoldAtShow : QObject {
        std::atomic<bool>* done = nullptr;
        bool held = false;
        bool eventFilter(QObject* object, QEvent* event) override
        {
            if (event->type() == QEvent::Show && qobject_cast<QProgressDialog*>(object))
                held = waitFor(*done);
            return false;
        }
    } hold;
    hold.done = &taskDone;
    qApp->installEventFilter(&hold);

    int result = 0;
    const bool finished = runWithProgressDialog<int>("quick", result, [&taskDone] {
        taskDone = true;
        return 7;
    });
    qApp->removeEventFilter(&hold);
    EXPECT_TRUE(hold.held) << "the task had finished before the dialog's loop ran";
    EXPECT_TRUE(finished);
    EXPECT_EQ(result, 7);
}

TEST(TaskRunner, CallsInSequenceSeeEachOthersWork)
{
    std::vector<int> shared;
    bool first = false, second = false;
    runWithProgressDialog<bool>("first", first, [&shared] {
        std::this_thread::sleep_for(20ms);
        shared.push_back(1);
        return true;
    });
    runWithProgressDialog<bool>("second", second, [&shared] {
        shared.push_back(shared.size() == 1 ? 2 : -1);
        return true;
    });
    EXPECT_TRUE(first);
    EXPECT_TRUE(second);
    EXPECT_EQ(shared, (std::vector<int>{1, 2}));
}

TEST(TaskRunner, GuiThreadKeepsProcessingEventsAndArgumentsAreCopies)
{
    // The task only ends after a GUI-thread timer has fired, and that timer
    // changes the caller's list meanwhile: the task still sees its copy.
    std::vector<int> callers{1, 2, 3};
    std::atomic<bool> timerFired{false};
    QTimer::singleShot(20, [&] {
        callers.assign({9, 9, 9, 9});
        timerFired = true;
    });
    int sum = -1;
    const bool finished = runWithProgressDialog<int>(
        "Computing statistics...", sum,
        [&timerFired](std::vector<int> values) {
            if (!waitFor(timerFired))
                return -100;
            int total = 0;
            for (int v : values)
                total += v;
            return total;
        },
        callers);
    EXPECT_TRUE(finished);
    EXPECT_EQ(sum, 6);
    EXPECT_TRUE(timerFired);
}

TEST(TaskRunner, EscapeAndCloseDoNotEndTheWaitEarly)
{
    QObject context;
    std::atomic<bool> release{false};
    std::atomic<bool> taskDone{false};
    bool visibleAfterEscape = false;
    bool visibleAfterClose = false;
    bool closeAccepted = true;
    bool doneWhenPoked = true;
    whenDialogShows(&context, [&](QProgressDialog* dialog) {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(dialog, &escape);
        visibleAfterEscape = dialog->isVisible();
        closeAccepted = dialog->close();
        visibleAfterClose = dialog->isVisible();
        doneWhenPoked = taskDone;
        release = true;
    });
    int result = 0;
    const bool finished = runWithProgressDialog<int>("Loading relevancy maps...", result, [&] {
        const bool released = waitFor(release);
        taskDone = true;
        return released ? 5 : -5;
    });
    EXPECT_TRUE(finished);
    EXPECT_EQ(result, 5);
    EXPECT_TRUE(visibleAfterEscape);
    EXPECT_FALSE(closeAccepted);
    EXPECT_TRUE(visibleAfterClose);
    EXPECT_FALSE(doneWhenPoked);
    EXPECT_TRUE(taskDone) << "the call returns only after the task has finished";
}

TEST(TaskRunner, ThrowingTasksBecomeFailureResults)
{
    bool flag = true;
    EXPECT_FALSE(runWithProgressDialog<bool>("alloc", flag, []() -> bool { throw std::bad_alloc(); }));
    EXPECT_FALSE(flag);

    IO::File::error code = IO::File::error::NoError;
    EXPECT_FALSE(runWithProgressDialog<IO::File::error>(
        "Opening files...", code,
        [](QString) -> IO::File::error { throw IO::File::error::MissingMetadata; }, QString("a.zip")));
    EXPECT_EQ(code, IO::File::error::MissingMetadata) << "an uncaught file error is the result";

    code = IO::File::error::NoError;
    EXPECT_FALSE(runWithProgressDialog<IO::File::error>(
        "Reading data for B04 ", code, [](int) -> IO::File::error { throw std::runtime_error("geodesic"); }, 0));
    EXPECT_EQ(code, IO::File::error::ReadFailed);

    // The runner works on after a failure.
    int value = 0;
    EXPECT_TRUE(runWithProgressDialog<int>("after", value, [] { return 3; }));
    EXPECT_EQ(value, 3);
    EXPECT_FALSE(TaskRunner::isBusy());
}

TEST(TaskRunner, NestedCallWhileATaskRunsIsRefused)
{
    std::atomic<bool> nestedTried{false};
    std::atomic<bool> nestedRan{false};
    bool nestedFinished = true;
    bool nestedResult = true;
    QTimer::singleShot(10, [&] {
        nestedFinished = runWithProgressDialog<bool>("nested", nestedResult, [&nestedRan] {
            nestedRan = true;
            return true;
        });
        nestedTried = true;
    });
    int outer = 0;
    EXPECT_TRUE(runWithProgressDialog<int>("outer", outer, [&nestedTried] { return waitFor(nestedTried) ? 1 : -1; }));
    EXPECT_EQ(outer, 1);
    EXPECT_FALSE(nestedFinished);
    EXPECT_FALSE(nestedResult);
    EXPECT_FALSE(nestedRan);
}

TEST(TaskRunner, InlineRunnerRunsOnTheCallingThreadWithoutDialog)
{
    const Qt::HANDLE gui = QThread::currentThreadId();
    {
        TaskRunner::ScopedInlineRunner inlineRunner;
        Qt::HANDLE worker = nullptr;
        bool dialogSeen = true;
        double result = 0.0;
        EXPECT_TRUE(runWithProgressDialog<double>(
            "inline", result,
            [&](double a, double b) {
                worker = QThread::currentThreadId();
                dialogSeen = visibleProgressDialog() != nullptr;
                return a + b;
            },
            0.5, 0.25));
        EXPECT_EQ(result, 0.75);
        EXPECT_EQ(worker, gui);
        EXPECT_FALSE(dialogSeen);

        bool failed = true;
        EXPECT_FALSE(runWithProgressDialog<bool>("inline throw", failed,
                                                 []() -> bool { throw std::runtime_error("x"); }));
        EXPECT_FALSE(failed);
    }
    // The dialog runner is back.
    std::atomic<Qt::HANDLE> worker{nullptr};
    int result = 0;
    runWithProgressDialog<int>("pool again", result, [&worker] {
        worker = QThread::currentThreadId();
        return 1;
    });
    EXPECT_NE(worker.load(), gui);
}

// A call that waits for the end of a task comes from the event loop after
// the task's caller has gone on, and after a task that caller started
// meanwhile; none is made for a context that is gone.
TEST(TaskRunner, IdleCallsComeAfterTheTaskAndItsCaller)
{
    int calls = 0;
    QObject context;
    TaskRunner::whenIdle(&context, [&calls] { ++calls; });
    EXPECT_EQ(calls, 1) << "no task runs: at once";

    auto gone = std::make_unique<QObject>();
    std::atomic<bool> asked{false};
    whenDialogShows(&context, [&](QProgressDialog*) {
        TaskRunner::whenIdle(&context, [&calls] { ++calls; });
        TaskRunner::whenIdle(gone.get(), [&calls] { calls += 100; });
        asked = true;
    });
    bool first = false;
    runWithProgressDialog<bool>("first", first, [&asked] { return waitFor(asked); });
    EXPECT_TRUE(first);
    EXPECT_EQ(calls, 1) << "the caller goes on first";
    gone.reset();

    std::atomic<bool> looked{false};
    int callsInside = -1;
    whenDialogShows(&context, [&](QProgressDialog*) {
        callsInside = calls;
        looked = true;
    });
    bool second = false;
    runWithProgressDialog<bool>("second", second, [&looked] { return waitFor(looked); });
    EXPECT_TRUE(second);
    EXPECT_EQ(callsInside, 1) << "a task the caller started is waited for";
    QApplication::processEvents();
    EXPECT_EQ(calls, 2);
}
