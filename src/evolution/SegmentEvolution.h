#pragma once

// Open polyline evolution between two fixed end points.
//
// The interior of the polyline moves along its normal with the normal
// component of a vector field (usually the negated gradient of an edge
// detector, so it points towards edges), smoothed by a constant curvature
// term, while a tangential velocity keeps the points evenly spaced. Each time
// step is semi-implicit: the curvature term and the tangential advection enter
// implicitly, giving one tridiagonal solve per coordinate. The first and the
// last point never move.
//
// The semi-automatic tracer calls segmentBetweenPoints on every mouse move,
// off the GUI thread, on one object whose arrays serve every call: a time
// step allocates nothing (unless a repeated point is erased), the automatic
// stop settles most of its checks with linear-time bounds instead of the
// quadratic Hausdorff comparison, and a trace that a newer mouse position
// has made useless is cancelled between two steps.
//
// Images are row-major float arrays of width x height values; a point reads the
// pixel (int(x), int(y)), and a point off the image reads a zero field.

#include <atomic>
#include <vector>

#include "io/Curve.h"

class SegmentEvolution {
public:
    // Upwind split of the tangential velocity at one point.
    struct Upwind {
        double u0 = 0.0;
        double u1 = 0.0;
        double u2 = 0.0;
        double u3 = 0.0;
    };

    // One row of the tridiagonal system.
    struct Row {
        double lower = 0.0;
        double upper = 0.0;
        double diagonal = 0.0;
    };

    // A polyline needs this many points to be evolved (the curvature stencil
    // reaches two segments to each side).
    static constexpr int kMinEvolvingPoints = 5;
    // Longest initial path, traced or straight.
    static constexpr int kMaxPathPoints = 10000;
    // Step budgets of segmentBetweenPoints with and without the automatic stop.
    static constexpr int kStepsWithAutoStop = 3000;
    static constexpr int kStepsWithoutAutoStop = 300;
    // Step budget of adjustCurve.
    static constexpr int kAdjustSteps = 100;
    // Automatic stop: compare every kCheckInterval steps, stop when the
    // Hausdorff distance to the previous check is below kStopThreshold pixels.
    static constexpr int kCheckInterval = 100;
    static constexpr double kStopThreshold = 0.1;
    // The traced path follows the edge direction only where the direction
    // field is stronger than this.
    static constexpr double kTraceMinStrength = 0.02;

    static constexpr double kDefaultVelocityWeight = 1.0;
    static constexpr double kDefaultRedistributionWeight = 10.0;
    static constexpr double kDefaultTau = 0.1;

    SegmentEvolution();

    // Builds an initial path from (x0, y0) to (x1, y1) with spacing `step`
    // (straight, or traced along the edges of dirX/dirY) and, when
    // evolveSegment is set and the path has at least kMinEvolvingPoints
    // points, evolves it in the field (vx, vy). Returns the final points, the
    // first being (x0, y0) and the last (x1, y1). Ends closer than 2 x step, a
    // step that is not positive and finite, or non-finite coordinates give the
    // two end points alone.
    std::vector<Point2D> segmentBetweenPoints(double step, bool straightStart, double x0, double x1, double y0,
                                              double y1, const float* vx, const float* vy, const float* dirX,
                                              const float* dirY, int width, int height, double curvatureWeight,
                                              bool autoStop, bool evolveSegment);

    // Evolves a copy of polyline for up to kAdjustSteps steps with fixed end
    // points. A polyline of fewer than kMinEvolvingPoints points is returned
    // unchanged.
    std::vector<Point2D> adjustCurve(const std::vector<Point2D>& polyline, const float* vx, const float* vy,
                                     int width, int height, double curvatureWeight);

    // The core loop on x and y: up to `steps` time steps. With autoStop, every
    // checkInterval steps (from step 0) the polyline is compared with the state
    // of the previous check, and the loop ends when the Hausdorff distance is
    // below threshold. The loop also ends when fewer than kMinEvolvingPoints
    // points remain after repeated points are erased, and before a step whose
    // velocities are not finite (the points keep their last finite state).
    void evolve(const float* vx, const float* vy, int width, int height, int steps, bool autoStop,
                int checkInterval, double threshold);

    // Fills x and y with a path from (x0, y0) to (x1, y1) made of steps of
    // length `step`: along the edge direction of (dirX, dirY) where it is
    // strong and leads towards the end, straight towards the end otherwise.
    // At most kMaxPathPoints points; the last point is always (x1, y1).
    void traceGradientPath(const float* dirX, const float* dirY, int width, int height, double x0, double x1,
                           double y0, double y1, double step);

    // Steps of evolve.
    void computeNormalVelocity(const float* vx, const float* vy, int width, int height);
    void computeTangentialVelocity();
    // Solves the step's x and y systems (rows with rightHandSide and
    // rightHandSideY) into solution and solutionY.
    void solveTridiagonal();

    // Sizes every work array to the current point count (new entries 0).
    void resizeWorkData();

    // When set and reading true, the initial path and evolve stop before
    // their next step: the points are then unfinished and of no use.
    const std::atomic<bool>* cancel = nullptr;

    std::vector<double> x;
    std::vector<double> y;
    std::vector<double> previousX;
    std::vector<double> previousY;
    double velocityWeight = kDefaultVelocityWeight;
    double redistributionWeight = kDefaultRedistributionWeight;
    double tau = kDefaultTau;
    double length = 0.0;
    double curvatureWeight = 0.0;

    // Work arrays. Segment j runs from point j - 1 to point j; entry 0 of the
    // per-segment arrays is unused.
    std::vector<double> segmentLength;
    std::vector<double> segmentDx;
    std::vector<double> segmentDy;
    std::vector<double> curvature;           // per segment
    std::vector<double> tangentialVelocity;  // per point
    std::vector<double> normalVelocity;      // per segment
    std::vector<double> externalVelocity;    // per point
    std::vector<Upwind> upwind;
    std::vector<Row> rows;
    // The x and y systems of a step: right-hand sides, solutions and the
    // eliminated upper diagonal they share.
    std::vector<double> solution;
    std::vector<double> solutionY;
    std::vector<double> rightHandSide;
    std::vector<double> rightHandSideY;
    std::vector<double> eliminatedUpper;

private:
    // Segment lengths, differences and total length; erases a point that
    // repeats its predecessor.
    void computeSegments();
    void computeCurvature();
    // The step's rows and the right-hand sides of x and y, each row
    // eliminated as soon as it is assembled; backSubstitute then gives
    // solution and solutionY, exactly as solveTridiagonal on the assembled
    // rows would.
    void assembleAndEliminate();
    void backSubstitute();
    // True when the velocities of this step (and the curvature weight) are
    // finite numbers.
    bool velocitiesFinite() const;
    // Stop test of evolve; stores the state for the next test unless it
    // stops.
    bool stopCheck(double threshold);
    // Bounds of the Hausdorff distance between (x, y) and the previous state.
    void hausdorffBounds(double& upper, double& lower) const;
    std::vector<Point2D> points() const;
    void setEndPoints(double x0, double x1, double y0, double y1);
};
