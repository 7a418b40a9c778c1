#include "app/SegmentTracer.h"

#include <QMetaObject>

std::vector<Point2D> traceSegment(const SegmentTraceRequest& request, SegmentEvolution& evolution,
                                  const std::atomic<bool>* cancel)
{
    evolution.cancel = cancel;
    std::vector<Point2D> points = evolution.segmentBetweenPoints(
        request.step, request.straightStart, request.from.x, request.to.x, request.from.y, request.to.y, request.vx,
        request.vy, request.dirX, request.dirY, request.width, request.height, request.curvatureWeight,
        request.autoStop, request.evolveSegment);
    evolution.cancel = nullptr;
    return points;
}

// One trace: written by the pool thread, read by the GUI thread once the
// pool is idle or the job's end has been posted to it.
struct SegmentTracer::Job {
    explicit Job(const SegmentTraceRequest& r)
        : request(r)
    {
    }

    const SegmentTraceRequest request;
    std::atomic<bool> cancelled{false};
    bool failed = false;
    std::vector<Point2D> points;
};

SegmentTracer::SegmentTracer(QObject* parent)
    : QObject(parent)
{
    pool_.setMaxThreadCount(1);
}

SegmentTracer::~SegmentTracer()
{
    stopAll();
}

const SegmentTraceRequest& SegmentTracer::latestRequest() const
{
    return latest_->request;
}

void SegmentTracer::trace(const SegmentTraceRequest& request)
{
    if (latest_ && latest_->request == request)
        return;
    if (latest_)
        latest_->cancelled = true;
    auto job = std::make_shared<Job>(request);
    latest_ = job;
    ++unfinished_;
    pool_.start([this, job] {
        if (!job->cancelled) {
            try {
                job->points = traceSegment(job->request, evolution_, &job->cancelled);
            } catch (...) {
                // Memory ran out: the segment is missing, the program goes on.
                job->failed = true;
                job->points.clear();
            }
        }
        // Posted events of a destroyed tracer are dropped with it.
        QMetaObject::invokeMethod(this, [this, job] { finished(job); }, Qt::QueuedConnection);
    });
}

void SegmentTracer::finished(const std::shared_ptr<Job>& job)
{
    --unfinished_;
    if (job == latest_ && !job->cancelled && !job->failed)
        emit traced(job->points);
}

std::vector<Point2D> SegmentTracer::take(const SegmentTraceRequest& request)
{
    std::shared_ptr<Job> job = latest_;
    latest_.reset();
    if (job && job->request == request) {
        // Finished already or running: wait for it (the traces cancelled
        // before it end within a step).
        pool_.waitForDone();
        if (!job->failed)
            return job->points;
    } else if (job) {
        job->cancelled = true;
    }
    stopAll();
    try {
        return traceSegment(request, evolution_);
    } catch (...) {
        return {};
    }
}

void SegmentTracer::clear()
{
    if (latest_)
        latest_->cancelled = true;
    latest_.reset();
    stopAll();
}

void SegmentTracer::stopAll()
{
    if (latest_)
        latest_->cancelled = true;
    pool_.waitForDone();
}
