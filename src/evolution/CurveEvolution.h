#pragma once

// Evolution of a set of closed curves over one image in pixel coordinates.
// Every curve moves along its normal under a curvature term and an external
// term (CurveEvolutionModel); its points are kept near a fixed spacing,
// curves that come close to each other merge, a curve that touches itself
// splits, curves that become too small vanish, and each curve may stop by
// itself once it no longer moves. Snapshots of all curves are taken at fixed
// time intervals.
//
// Contacts between curves are found through a grid of cells (a cell is
// 2 x spacing wide): a point writes its cell, and only points landing in a
// cell already claimed are compared by distance.
//
// Runs entirely on the caller's thread; one object serves one call of
// evolve.

#include "evolution/CurveEvolutionModel.h"
#include "evolution/EvolvingCurve.h"
#include "io/Curve.h"

#include <string>
#include <vector>

class CurveEvolution {
public:
    // One snapshot: a closed polyline (first point repeated at the end) per
    // curve present at that time.
    using Snapshot = std::vector<std::vector<Point2D>>;
    using Result = std::vector<Snapshot>;

    std::vector<EvolvingCurve> curves;
    std::vector<int> cellGrid;  // gridWidth x gridHeight cells, row-major
    double cellSize = 1.0;      // always 2 x spacing
    int marginX = 10;
    int marginY = 10;
    int gridWidth = 0;
    int gridHeight = 0;
    double spacing = 0.5;       // target distance between neighbouring points
    int minPoints = 10;
    double minArea = 5.0;
    double time = 0.0;
    double finalTime = 0.0;     // total steps x 0.1
    double exportStep = 0.0;    // export interval x 0.1
    double checkStep = 0.0;     // stop-check interval x 0.1

    // Evolves the closed (or open, then closed here) polylines `in` and
    // returns one snapshot per export slot: a slot every exportInterval x 0.1
    // time units and the last slot always at the final time totalSteps x 0.1.
    // vx, vy: vector field; map: scalar map or null; all width x height,
    // row-major. The external velocity is (1 - lambda) map + lambda (field .
    // normal). `flag` is accepted and ignored. With variableTimeStep the step
    // follows the largest normal velocity; with autoStop a curve stops once
    // it moved less than stopThreshold (Hausdorff distance) between two
    // checks, every checkInterval x 0.1 time units.
    //
    // Empty result: null vector field, an export interval below 1, a point
    // outside the image widened by the margins or not finite, or no steps.
    // Shorter result: every curve vanished, or every curve stopped (the
    // result then ends with the first snapshot after the last stop).
    Result evolve(const std::vector<std::vector<Point2D>>& in, const float* vx, const float* vy, const float* map,
                  int width, int height, double curvatureInfluence, double lambda, int totalSteps,
                  int exportInterval, bool flag, bool variableTimeStep, bool autoStop, int checkInterval,
                  double stopThreshold);

    // ---- Pieces of the run, in the order evolve uses them.

    // cellSize, grid size and a zero-filled grid for a width x height image.
    void setUpGrid(int width, int height);
    // One active curve per input polyline, in input order.
    void initCurves(const std::vector<std::vector<Point2D>>& in);
    // Padded layout, repeated points removed; false when a point lies
    // outside the image widened by the margins or is not finite.
    bool closeCurves();
    // Erases active curves below minArea or minPoints (stopped ones stay).
    void removeSmallCurves();
    // The changes between two steps: removal of small curves, resampling of
    // the active ones, merging while curves merge, splitting, removal again.
    // False when no curve remains.
    bool updateTopology();
    // One time step of all active curves. The step is 0.1 (or chosen from
    // the largest normal velocity), clipped so that no check time, export
    // time or the final time is overshot; the model's tau holds it.
    void step(CurveEvolutionModel& model, const float* vx, const float* vy, const float* map, int width,
              int height, bool variableTimeStep, bool flag);
    // Stops every active curve that moved less than threshold since its
    // checkpoint; records the checkpoint of the others.
    void checkStopped(double threshold);
    // Writes every curve (stopped ones too) into slot `slot` of result.
    void exportCurves(int slot, Result& result) const;
    int activeCurveCount() const;

    // ---- Resampling, merging, splitting.

    // Brings the mean point spacing of curve c back near `spacing` when it
    // drifted by more than a fifth.
    void resampleCurve(int c);
    // Joins the first two curves found in contact; true when one merge
    // happened (at most one per call).
    bool mergeCurves();
    // Cuts every active curve that touches itself, at most once per call.
    void splitCurves();

    // Cell of entry `point` of curve `curve`; 0 for a point off the grid or
    // not finite.
    int cellIndex(int point, int curve) const;
    int cellIndexAt(double x, double y) const;
    // Writes value into the cells of points 1 ... n of the curve.
    void markCells(int curve, int value);
    double maxSegmentLength(int curve) const;
    // Moves p (of curve a) and q (of curve b) to the closest pair in the
    // 5 x 5 window of indexes around them.
    void findClosestPoints(int a, int b, int& p, int& q) const;
    // Inserts the points of curve i into curve k after its point a, starting
    // past point b of i. The caller erases curve i.
    void joinCurves(int k, int i, int a, int b);
    bool isSplitContact(int curve, int p, int q) const;
    // Cuts curve a at the contact of its points p and q; the loop between
    // them goes to curve b. True when curve b is to be kept.
    bool splitCurve(int a, int b, int p, int q);
    // True when the bounding box of curve a is strictly narrower and
    // strictly lower than that of curve b.
    bool hasSmallerBox(int a, int b) const;

    // Empty when every curve is a valid padded closed curve with finite
    // coordinates, no zero-length segment and (when active) at least
    // minPoints points; otherwise a description of the first fault.
    std::string invariantFault() const;

private:
    // Passes curve c through the model (array storage exchanged, no copy).
    // A step that leaves a coordinate non-finite is undone and stops the
    // curve: it keeps its last finite state.
    void advanceCurve(CurveEvolutionModel& model, EvolvingCurve& c, const float* vx, const float* vy,
                      const float* map, int width, int height, bool measureOnly);
    double clipStep(double tau) const;

    // Schedule of the run: the next times a stop check and an export are
    // due. Times are derived from integer counts, never accumulated.
    double nextCheckTime = 0.0;
    double nextExportTime = 0.0;

    // Scratch storage reused across steps.
    std::vector<double> backupX;
    std::vector<double> backupY;
    std::vector<double> newX;
    std::vector<double> newY;
};
