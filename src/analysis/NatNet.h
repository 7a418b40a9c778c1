#pragma once

// The natural numerical network: labelled points (training points, labels
// 1 ... classes) and unlabelled points (pixels, labels below 1) of the unit
// square evolve together in implicit steps. Points of one class draw
// together, points of different classes push slightly apart, and each
// unlabelled point is drawn toward the labelled points near it. After each
// step a 100 x 100 histogram of the labelled points tells whether every class
// has formed one separate cluster; then each unlabelled point takes the class
// of the nearest labelled point when that one lies within 0.1.
//
// One step solves (I + tau L) x = x_old per coordinate, with the pair weight
// w = 1 / (Kx dx^2 + 1 + Ky dy^2). Labelled rows link every other labelled
// point (by -0.01 w across classes) and no unlabelled one; unlabelled rows
// link only the labelled points with w >= delta. The system is therefore
// block lower-triangular and is solved in two stages: the labelled block
// (L x L, every pair linked) by BiCGSTAB with the diagonal preconditioner to
// a relative residual of 1e-8, warm-started at the current positions; then
// every unlabelled point exactly, on its own,
//   x_j = (x_j_old + tau sum_k w_jk x_k) / (1 + tau sum_k w_jk),
// with the weights of the step's start positions and the labelled solution
// before its clamp to [0, 1]. The labelled points never see the unlabelled
// ones, so their trajectory (and the step of success) is computed once and
// any number of unlabelled point sets follow it. Memory stays O(L^2 + U).
//
// Points must be ordered labelled first. Unlabelled points are independent
// of each other and run on the OpenMP threads, with the same result on any
// number of threads.

#include <span>
#include <vector>

#include <Eigen/Sparse>

// Points of the plane, one coordinate list per axis.
struct PlanePoints {
    std::vector<double> x;
    std::vector<double> y;

    int size() const { return static_cast<int>(x.size()); }
    void resize(int n)
    {
        x.resize(static_cast<std::size_t>(n));
        y.resize(static_cast<std::size_t>(n));
    }
};

// Distance of two points: the square root of the sum over the entries of a
// of (b_i - a_i)^2.
double euclideanDistance(const std::vector<double>& a, const std::vector<double>& b);

class NatNet {
public:
    // Labels 1 ... classes for the labelled points, followed by values below
    // 1 for the unlabelled ones. dimension is the number of coordinates (2).
    NatNet(int points, int dimension, const std::vector<int>& labels);

    // Stores the counts, sets classes to the largest label (0 when none is
    // positive), counts each class's points into classSizes and lists the
    // indexes of labels below 1 in unlabelled.
    void initLabels(int points, int dimension, const std::vector<int>& labels);

    // Runs the steps from history[0] (all points). True when the histogram
    // test succeeded: the unlabelled points' labels are then updated and
    // positions holds the evolved points. False after maxSteps steps
    // without success, or when a step gives a non-finite position (a
    // singular step); the labels stay unchanged then. With keepHistory the
    // positions after each step are appended to history.
    bool evolve(std::vector<PlanePoints>& history, std::vector<int>& labels, double Kx, double Ky, double delta,
                int unlabelledCount, bool keepHistory);

    // The labelled block of one step (the first points - unlabelledCount
    // points of positions) into matrix. The unlabelled rows are never built:
    // they are solved point by point (see above).
    void assembleMatrix(const std::vector<int>& labels, const PlanePoints& positions, double Kx, double Ky,
                        double delta, int unlabelledCount);

    // The histogram test on the labelled points of positions; on success
    // each unlabelled point takes the label of the nearest labelled point
    // within 0.1 (the first of equally near ones).
    bool histogramStop(std::vector<int>& labels, const std::vector<int>& classSizes, int unlabelledCount);

    // One value per entry of unlabelled, in that order, for those whose
    // label is above 0 (the others are left as they are): 1 - d / (s /
    // (classes - 1) + d), d the distance of the point's start position to
    // the centroid of its class in the evolved positions, s the sum of its
    // distances to the other classes' centroids. With a single class an
    // assigned point has relevancy 1: nothing competes with its class.
    void computeRelevancy(const PlanePoints& startPositions, const std::vector<int>& labels,
                          std::vector<double>& relevancy);

    // The two stages on their own, for callers that classify several point
    // sets against one training set.
    //
    // train: evolves the labelled points alone, from start (their labels,
    // 1 ... classes), until the histogram test succeeds. False when it never
    // does within maxSteps, or when a step solves to a non-finite position
    // (trainOutcome tells which).
    bool train(const PlanePoints& start, const std::vector<int>& labels, double Kx, double Ky, double delta);
    enum class Outcome { Separated, NotSeparated, NonFinite };
    Outcome trainOutcome() const { return outcome; }
    // classify: after a successful train, moves each point of start along
    // the labelled trajectory and gives it the label of the nearest evolved
    // labelled point within 0.1, else -1. False when a point reaches a
    // non-finite position (that point keeps -1).
    bool classify(const PlanePoints& start, std::span<int> labels) const;
    // relevancies: the relevancy of each point of start with a label above
    // 0 (as computeRelevancy), 0 for the others.
    void relevancies(const PlanePoints& start, std::span<const int> labels, std::span<double> relevancy) const;

    // Steps of the last train, to its success (or maxSteps).
    int trainedSteps() const { return steps; }

    int points = 0;
    int dimension = 2;
    int classes = 0;
    std::vector<int> classSizes;
    double tolerance = 1e-8;  // the solver's relative residual
    double tau = 1.0;         // time step
    int maxSteps = 200;
    double oppositeClassFactor = 0.01;
    std::vector<int> unlabelled;
    PlanePoints positions;
    // Labelled block of the current step. Every pair is linked, so the
    // pattern is dense and fixed: row i holds columns 0 ... L-1 in order and
    // the values are a row-major L x L array.
    Eigen::SparseMatrix<double, Eigen::RowMajor> matrix;

private:
    // Histogram cell of a coordinate in [0, 1]: int(x / 0.01), with 100
    // (x = 1) taken as 99.
    static int bin(double coordinate);
    // Histogram test on count labelled points: every class one separate
    // cluster.
    static bool separated(const double* x, const double* y, int count, const std::vector<int>& sizes);
    // Index of the labelled point nearest to (x, y), when it lies within
    // 0.1; else -1.
    static int nearestWithinReach(double x, double y, const double* lx, const double* ly, int count);
    // One step of the labelled points from (x, y): solution before the
    // clamp into (solvedX, solvedY). False when it is not finite.
    bool solveLabelledStep(const std::vector<int>& labels, const PlanePoints& current, double Kx, double Ky,
                           double* solvedX, double* solvedY);
    // Follows one point along the trajectory; record(step, x, y) sees its
    // position after each step. False when it becomes non-finite.
    template <typename Record>
    bool follow(double& x, double& y, Record record) const;
    void computeCentroids(const double* x, const double* y, int count, const std::vector<int>& labels);
    double relevancyOf(double x, double y, int label) const;

    // The trajectory of the labelled points, step-major: for each step the
    // positions at its start (clamped) and its solution before the clamp.
    int labelledCount = 0;
    int steps = 0;
    Outcome outcome = Outcome::NotSeparated;
    double trainedKx = 0.0;
    double trainedKy = 0.0;
    double trainedDelta = 0.0;
    std::vector<int> trainedLabels;
    std::vector<double> startX, startY;
    std::vector<double> solvedX, solvedY;
    std::vector<double> finalX, finalY;  // positions after the last step
    std::vector<double> centroidX, centroidY;
};
