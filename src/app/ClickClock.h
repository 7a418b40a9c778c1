#pragma once

// The clock that tells a click from a drag: restarted at every left press on
// a viewer, read at the release. It runs on a monotonic timer; a test sets
// `now` to a clock of its own, so it never has to sleep.

#include <functional>

#include <QElapsedTimer>
#include <QtGlobal>

class ClickClock {
public:
    // Milliseconds of the clock in use; set by tests only.
    std::function<qint64()> now;

    void restart()
    {
        started_ = true;
        start_ = read();
    }
    void invalidate() { started_ = false; }
    // False until the first press.
    bool isValid() const { return started_; }
    // Milliseconds since the last restart; -1 when never started.
    qint64 elapsed() const { return started_ ? read() - start_ : -1; }
    // A release is a click only within this time of its press.
    static constexpr qint64 clickMilliseconds = 500;
    // True when the clock was started and shows at most clickMilliseconds.
    bool withinClick() const { return started_ && elapsed() <= clickMilliseconds; }

private:
    qint64 read() const
    {
        if (now)
            return now();
        if (!timer_.isValid())
            timer_.start();
        return timer_.elapsed();
    }
    mutable QElapsedTimer timer_;
    bool started_ = false;
    qint64 start_ = 0;
};
