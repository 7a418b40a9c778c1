#pragma once

// The one way long work leaves the GUI thread.
//
// runWithProgressDialog(label, result, task, args...) runs task(args...) on
// the application-wide thread pool while a modal progress dialog without
// cancel or close button shows the label, and stores the task's value in
// result when it has finished. While the dialog is up the user reaches no
// other window, so exactly one task runs at a time and tasks use the data
// sets and caches without locks. Tasks take plain values and return results:
// they never touch widgets or QSettings.
//
// Failures: an exception that leaves a task (std::bad_alloc, a coordinate
// library error, an IO::File::error nobody caught) does not end the program;
// the call then stores TaskRunner::FailureValue<R> (false for bool, the
// error itself or ReadFailed for IO::File::error) and returns false. A call
// made while another task runs (from a timer or a late signal inside the
// dialog's event loop) is refused the same way, without starting its task.
//
// Tests replace the dialog runner with TaskRunner::ScopedInlineRunner, which
// runs each task on the calling thread.

#include <exception>
#include <functional>
#include <optional>
#include <tuple>
#include <type_traits>
#include <utility>

#include <QString>

#include "io/File.h"

class QObject;

namespace TaskRunner {

// Runs job (which never throws) and returns when it has finished.
using Runner = std::function<void(const QString& label, const std::function<void()>& job)>;

// Installs a runner in place of the progress dialog; an empty function
// restores the dialog. Returns the runner installed before.
Runner setRunner(Runner runner);

// The default runner: job on the global thread pool behind a parentless
// application-modal progress dialog; the GUI thread keeps processing events.
void runWithDialog(const QString& label, const std::function<void()>& job);

// Runs each task inline on the calling thread for the lifetime of the object.
class ScopedInlineRunner {
public:
    ScopedInlineRunner();
    ~ScopedInlineRunner();
    ScopedInlineRunner(const ScopedInlineRunner&) = delete;
    ScopedInlineRunner& operator=(const ScopedInlineRunner&) = delete;

private:
    Runner previous_;
};

enum class Outcome {
    Finished,  // the job returned
    Failed,    // the job threw; error holds what
    Refused,   // another task was running; the job did not run
};

struct Report {
    Outcome outcome = Outcome::Finished;
    std::exception_ptr error;
};

// Runs job through the installed runner, catching what it throws, and
// refuses a nested call. GUI thread only.
Report run(const QString& label, const std::function<void()>& job);

// True while a task of run() is in progress.
bool isBusy();

// Calls call on the GUI thread once no task runs: at once when none does,
// otherwise from the event loop after the running task has ended, so that
// the task's caller has taken its results first (a task started meanwhile
// is waited for too). Nothing is called once context is gone.
void whenIdle(QObject* context, std::function<void()> call);

// What a task's result becomes when the task threw or was refused.
template <typename R>
struct FailureValue {
    static R value(const std::exception_ptr&) { return R{}; }
};

template <>
struct FailureValue<IO::File::error> {
    static IO::File::error value(const std::exception_ptr& error)
    {
        if (error) {
            try {
                std::rethrow_exception(error);
            } catch (IO::File::error code) {
                return code;
            } catch (...) {
            }
        }
        return IO::File::error::ReadFailed;
    }
};

} // namespace TaskRunner

// Runs task(args...) off the GUI thread behind a modal progress dialog and
// stores its value in result. The arguments are copied into the call, so the
// caller's objects may change meanwhile. Returns true when the task
// returned, false when it threw or was refused (result then holds
// TaskRunner::FailureValue<R>). Call on the GUI thread only.
template <typename R, typename... Args>
bool runWithProgressDialog(QString label, R& result, std::type_identity_t<std::function<R(Args...)>> task,
                           Args... args)
{
    std::optional<R> value;
    std::tuple<Args...> arguments(std::move(args)...);
    const TaskRunner::Report report =
        TaskRunner::run(label, [&value, &task, &arguments] { value.emplace(std::apply(task, arguments)); });
    if (report.outcome == TaskRunner::Outcome::Finished && value) {
        result = std::move(*value);
        return true;
    }
    result = TaskRunner::FailureValue<R>::value(report.error);
    return false;
}
