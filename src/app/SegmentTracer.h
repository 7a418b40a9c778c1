#pragma once

// Traces the segments of the semi-automatic mode off the GUI thread.
//
// The mode wants the segment from its anchor to every mouse position, and
// tracing one on a large working window takes longer than the time between
// two moves. The tracer runs the traces one at a time on a thread of its own
// and keeps the latest request only: a new request cancels the trace still
// running (it ends within one evolution step) or still waiting, and a
// finished trace is announced only while its request is still the latest,
// so a segment of an earlier position is never drawn. A click takes the
// segment of its own request: the finished one, the running one awaited, or
// one traced on the spot.
//
// Requests carry plain values and the addresses of the feature images; the
// pool thread reads those images. Their owner keeps them unchanged while a
// trace may run and calls clear() before they change or go away.

#include <atomic>
#include <memory>
#include <vector>

#include <QObject>
#include <QThreadPool>

#include "evolution/SegmentEvolution.h"
#include "io/Curve.h"

// Everything one segment depends on (SegmentEvolution::segmentBetweenPoints).
struct SegmentTraceRequest {
    // Anchor and mouse position, working-area pixels.
    Point2D from;
    Point2D to;
    double step = 0.0;
    bool straightStart = false;
    double curvatureWeight = 0.0;
    bool autoStop = false;
    bool evolveSegment = true;
    // The field that moves the segment and the direction field of its
    // initial path, width x height values each.
    const float* vx = nullptr;
    const float* vy = nullptr;
    const float* dirX = nullptr;
    const float* dirY = nullptr;
    int width = 0;
    int height = 0;

    bool operator==(const SegmentTraceRequest&) const = default;
};

// The segment of a request, traced with the work arrays of evolution; when
// cancel reads true before the end the result is incomplete.
std::vector<Point2D> traceSegment(const SegmentTraceRequest& request, SegmentEvolution& evolution,
                                  const std::atomic<bool>* cancel = nullptr);

class SegmentTracer : public QObject {
    Q_OBJECT

public:
    explicit SegmentTracer(QObject* parent = nullptr);
    // Cancels and awaits a running trace.
    ~SegmentTracer() override;
    SegmentTracer(const SegmentTracer&) = delete;
    SegmentTracer& operator=(const SegmentTracer&) = delete;

    // Starts tracing request unless it is the latest request already.
    void trace(const SegmentTraceRequest& request);
    // A trace was asked for since the last take() or clear().
    bool hasRequest() const { return latest_ != nullptr; }
    // The latest request; valid while hasRequest().
    const SegmentTraceRequest& latestRequest() const;
    // The segment of request (empty when tracing failed), then every request
    // is forgotten as by clear().
    std::vector<Point2D> take(const SegmentTraceRequest& request);
    // Forgets every request: a trace still running is cancelled and awaited,
    // and nothing asked for before is announced.
    void clear();
    // A trace runs, waits, or its end has not reached the GUI thread yet.
    bool busy() const { return unfinished_ > 0; }

signals:
    // The trace of the latest request has finished (working-area pixels).
    void traced(const std::vector<Point2D>& points);

private:
    struct Job;

    void finished(const std::shared_ptr<Job>& job);
    // Cancels every trace and waits until none runs.
    void stopAll();

    // One thread: the traces run one after the other and share evolution_,
    // which the GUI thread uses only while the pool is idle.
    QThreadPool pool_;
    SegmentEvolution evolution_;
    std::shared_ptr<Job> latest_;
    int unfinished_ = 0;
};
