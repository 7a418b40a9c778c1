#include "analysis/NatNet.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include <Eigen/IterativeLinearSolvers>

namespace {

constexpr int kBins = 100;
constexpr double kReach = 0.1;  // farthest labelled point an unlabelled one may join
constexpr int kWindowReach = 8; // histogram window: rows r - 8 ... r + 7 (see separated)

double pairWeight(double Kx, double Ky, double px, double py, double qx, double qy)
{
    const double dx = px - qx;
    const double dy = py - qy;
    return 1.0 / (Kx * dx * dx + 1.0 + Ky * dy * dy);
}

double clampUnit(double v)
{
    return std::clamp(v, 0.0, 1.0);
}

} // namespace

double euclideanDistance(const std::vector<double>& a, const std::vector<double>& b)
{
    const std::size_t n = std::min(a.size(), b.size());
    double sum = 0.0;
    for (std::size_t i = 0; i < n; ++i)
        sum += (b[i] - a[i]) * (b[i] - a[i]);
    return std::sqrt(sum);
}

NatNet::NatNet(int points, int dimension, const std::vector<int>& labels)
{
    initLabels(points, dimension, labels);
}

void NatNet::initLabels(int pointCount, int coordinates, const std::vector<int>& labels)
{
    points = pointCount;
    dimension = coordinates;
    const int n = std::min(pointCount, static_cast<int>(labels.size()));
    classes = 0;
    for (int i = 0; i < n; ++i)
        classes = std::max(classes, labels[i]);
    classSizes.assign(static_cast<std::size_t>(classes), 0);
    unlabelled.clear();
    for (int i = 0; i < n; ++i) {
        if (labels[i] >= 1)
            ++classSizes[static_cast<std::size_t>(labels[i] - 1)];
        else
            unlabelled.push_back(i);
    }
}

int NatNet::bin(double coordinate)
{
    return std::min(static_cast<int>(coordinate / 0.01), kBins - 1);
}

bool NatNet::separated(const double* x, const double* y, int count, const std::vector<int>& sizes)
{
    if (sizes.empty())
        return false;
    std::array<int, kBins * kBins> cells{};
    for (int k = 0; k < count; ++k)
        ++cells[static_cast<std::size_t>(bin(x[k]) + kBins * bin(y[k]))];
    const int threshold = *std::min_element(sizes.begin(), sizes.end());

    // A candidate is separate when its window is empty outside the candidate's
    // own 3 x 3 block. The window runs from r - 8 up to, but not including,
    // r + 8 (and never reaches row or column 99): it is one cell shorter
    // below and to the right than above and to the left.
    std::size_t separate = 0;
    for (int cell = 0; cell < kBins * kBins; ++cell) {
        if (cells[static_cast<std::size_t>(cell)] < threshold)
            continue;
        const int r = cell / kBins;
        const int c = cell % kBins;
        bool alone = true;
        for (int rr = std::max(0, r - kWindowReach); rr < std::min(r + kWindowReach, kBins - 1) && alone; ++rr)
            for (int cc = std::max(0, c - kWindowReach); cc < std::min(c + kWindowReach, kBins - 1); ++cc) {
                if (std::abs(rr - r) <= 1 && std::abs(cc - c) <= 1)
                    continue;
                if (cells[static_cast<std::size_t>(cc + kBins * rr)] != 0) {
                    alone = false;
                    break;
                }
            }
        if (alone)
            ++separate;
    }
    return separate == sizes.size();
}

int NatNet::nearestWithinReach(double x, double y, const double* lx, const double* ly, int count)
{
    int best = -1;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (int k = 0; k < count; ++k) {
        const double dx = lx[k] - x;
        const double dy = ly[k] - y;
        const double d = std::sqrt(dx * dx + dy * dy);
        if (d < bestDistance) {
            bestDistance = d;
            best = k;
        }
    }
    return bestDistance <= kReach ? best : -1;
}

void NatNet::assembleMatrix(const std::vector<int>& labels, const PlanePoints& current, double Kx, double Ky,
                            double /*delta: unlabelled rows only*/, int unlabelledCount)
{
    const int L = current.size() - unlabelledCount;
    if (matrix.rows() != L || matrix.nonZeros() != static_cast<Eigen::Index>(L) * L) {
        matrix.resize(L, L);
        matrix.reserve(Eigen::VectorXi::Constant(L, L));
        for (int i = 0; i < L; ++i)
            for (int j = 0; j < L; ++j)
                matrix.insert(i, j) = 0.0;
        matrix.makeCompressed();
    }
    double* v = matrix.valuePtr();
    const std::size_t n = static_cast<std::size_t>(L);
    for (std::size_t i = 0; i < n; ++i)
        v[i * n + i] = 0.0;
    // The weights are symmetric; row i's diagonal sums its weights in column
    // order, as a row-by-row assembly would.
    for (std::size_t i = 0; i < n; ++i) {
        for (std::size_t j = i + 1; j < n; ++j) {
            double w = pairWeight(Kx, Ky, current.x[i], current.y[i], current.x[j], current.y[j]);
            if (labels[i] != labels[j])
                w *= -oppositeClassFactor;
            v[i * n + j] = v[j * n + i] = -tau * w;
            v[i * n + i] += w;
            v[j * n + j] += w;
        }
        v[i * n + i] = 1.0 + tau * v[i * n + i];
    }
}

bool NatNet::solveLabelledStep(const std::vector<int>& labels, const PlanePoints& current, double Kx, double Ky,
                               double* outX, double* outY)
{
    assembleMatrix(labels, current, Kx, Ky, trainedDelta, 0);
    Eigen::BiCGSTAB<Eigen::SparseMatrix<double, Eigen::RowMajor>, Eigen::DiagonalPreconditioner<double>> solver;
    solver.setTolerance(tolerance);
    solver.compute(matrix);
    const Eigen::Index L = current.size();
    // Each coordinate starts from where the points are (warm start).
    for (int c = 0; c < 2; ++c) {
        const std::vector<double>& from = c == 0 ? current.x : current.y;
        double* out = c == 0 ? outX : outY;
        const Eigen::Map<const Eigen::VectorXd> b(from.data(), L);
        Eigen::Map<Eigen::VectorXd>(out, L) = solver.solveWithGuess(b, b);
        for (Eigen::Index k = 0; k < L; ++k)
            if (!std::isfinite(out[k]))
                return false;
    }
    return true;
}

bool NatNet::train(const PlanePoints& start, const std::vector<int>& labels, double Kx, double Ky, double delta)
{
    const int L = start.size();
    trainedKx = Kx;
    trainedKy = Ky;
    trainedDelta = delta;
    trainedLabels.assign(labels.begin(), labels.begin() + std::min<std::size_t>(labels.size(), L));
    trainedLabels.resize(static_cast<std::size_t>(L), 0);
    classes = 0;
    for (int label : trainedLabels)
        classes = std::max(classes, label);
    classSizes.assign(static_cast<std::size_t>(classes), 0);
    for (int label : trainedLabels)
        if (label >= 1)
            ++classSizes[static_cast<std::size_t>(label - 1)];

    labelledCount = L;
    steps = 0;
    outcome = Outcome::NotSeparated;
    startX.clear();
    startY.clear();
    solvedX.clear();
    solvedY.clear();
    PlanePoints current = start;
    for (int step = 0; step < maxSteps; ++step) {
        startX.insert(startX.end(), current.x.begin(), current.x.end());
        startY.insert(startY.end(), current.y.begin(), current.y.end());
        solvedX.resize(startX.size());
        solvedY.resize(startY.size());
        double* sx = solvedX.data() + static_cast<std::size_t>(step) * L;
        double* sy = solvedY.data() + static_cast<std::size_t>(step) * L;
        if (!solveLabelledStep(trainedLabels, current, Kx, Ky, sx, sy)) {
            outcome = Outcome::NonFinite;
            break;
        }
        for (int k = 0; k < L; ++k) {
            current.x[static_cast<std::size_t>(k)] = clampUnit(sx[k]);
            current.y[static_cast<std::size_t>(k)] = clampUnit(sy[k]);
        }
        steps = step + 1;
        if (separated(current.x.data(), current.y.data(), L, classSizes)) {
            outcome = Outcome::Separated;
            break;
        }
    }
    if (outcome == Outcome::NonFinite) {
        startX.resize(static_cast<std::size_t>(steps) * L);
        startY.resize(startX.size());
        solvedX.resize(startX.size());
        solvedY.resize(startX.size());
    }
    finalX = current.x;
    finalY = current.y;
    computeCentroids(finalX.data(), finalY.data(), L, trainedLabels);
    return outcome == Outcome::Separated;
}

template <typename Record>
bool NatNet::follow(double& x, double& y, Record record) const
{
    const std::size_t L = static_cast<std::size_t>(labelledCount);
    const double Kx = trainedKx;
    const double Ky = trainedKy;
    const double delta = trainedDelta;
    for (int t = 0; t < steps; ++t) {
        const double* lx = startX.data() + t * L;
        const double* ly = startY.data() + t * L;
        const double* sx = solvedX.data() + t * L;
        const double* sy = solvedY.data() + t * L;
        const double px = x;
        const double py = y;
        double sumW = 0.0;
        double sumX = 0.0;
        double sumY = 0.0;
#pragma omp simd reduction(+ : sumW, sumX, sumY)
        for (std::size_t k = 0; k < L; ++k) {
            const double dx = px - lx[k];
            const double dy = py - ly[k];
            double w = 1.0 / (Kx * dx * dx + 1.0 + Ky * dy * dy);
            w = (w >= delta && w > 0.0) ? w : 0.0;
            sumW += w;
            sumX += w * sx[k];
            sumY += w * sy[k];
        }
        const double nx = (px + tau * sumX) / (1.0 + tau * sumW);
        const double ny = (py + tau * sumY) / (1.0 + tau * sumW);
        if (!std::isfinite(nx) || !std::isfinite(ny))
            return false;
        x = clampUnit(nx);
        y = clampUnit(ny);
        record(t, x, y);
    }
    return true;
}

void NatNet::computeCentroids(const double* x, const double* y, int count, const std::vector<int>& labels)
{
    centroidX.assign(static_cast<std::size_t>(classes), 0.0);
    centroidY.assign(static_cast<std::size_t>(classes), 0.0);
    for (int k = 0; k < count; ++k) {
        const int label = labels[static_cast<std::size_t>(k)];
        if (label < 1 || label > classes)
            continue;
        centroidX[static_cast<std::size_t>(label - 1)] += x[k];
        centroidY[static_cast<std::size_t>(label - 1)] += y[k];
    }
    for (int c = 0; c < classes; ++c) {
        const double size = classSizes[static_cast<std::size_t>(c)];
        centroidX[static_cast<std::size_t>(c)] /= size;
        centroidY[static_cast<std::size_t>(c)] /= size;
    }
}

double NatNet::relevancyOf(double x, double y, int label) const
{
    if (classes <= 1)
        return 1.0;
    double own = 0.0;
    double others = 0.0;
    for (int c = 0; c < classes; ++c) {
        const double dx = centroidX[static_cast<std::size_t>(c)] - x;
        const double dy = centroidY[static_cast<std::size_t>(c)] - y;
        const double d = std::sqrt(dx * dx + dy * dy);
        if (c == label - 1)
            own = d;
        else
            others += d;
    }
    if (own == 0.0)
        return 1.0; // at its own centroid (the formula reads 0 / 0 when all centroids meet there)
    return 1.0 - own / (others / (classes - 1) + own);
}

bool NatNet::classify(const PlanePoints& start, std::span<int> labels) const
{
    if (outcome != Outcome::Separated)
        return false;
    const long long n = std::min<long long>(start.size(), static_cast<long long>(labels.size()));
    const int L = labelledCount;
    bool finite = true;
#pragma omp parallel for schedule(static) reduction(&& : finite)
    for (long long j = 0; j < n; ++j) {
        const std::size_t i = static_cast<std::size_t>(j);
        double x = start.x[i];
        double y = start.y[i];
        labels[i] = -1;
        if (!follow(x, y, [](int, double, double) {})) {
            finite = false;
            continue;
        }
        const int k = nearestWithinReach(x, y, finalX.data(), finalY.data(), L);
        if (k >= 0)
            labels[i] = trainedLabels[static_cast<std::size_t>(k)];
    }
    return finite;
}

void NatNet::relevancies(const PlanePoints& start, std::span<const int> labels, std::span<double> relevancy) const
{
    const long long n = std::min<long long>({start.size(), static_cast<long long>(labels.size()),
                                             static_cast<long long>(relevancy.size())});
#pragma omp parallel for schedule(static)
    for (long long j = 0; j < n; ++j) {
        const std::size_t i = static_cast<std::size_t>(j);
        const int label = labels[i];
        relevancy[i] = label > 0 && label <= classes ? relevancyOf(start.x[i], start.y[i], label) : 0.0;
    }
}

bool NatNet::evolve(std::vector<PlanePoints>& history, std::vector<int>& labels, double Kx, double Ky,
                    double delta, int unlabelledCount, bool keepHistory)
{
    if (history.empty())
        return false;
    const int L = points - unlabelledCount;
    if (L < 0 || history[0].size() < points || static_cast<int>(labels.size()) < points)
        return false;
    const PlanePoints start = history[0];

    PlanePoints labelledStart;
    labelledStart.x.assign(start.x.begin(), start.x.begin() + L);
    labelledStart.y.assign(start.y.begin(), start.y.begin() + L);
    train(labelledStart, std::vector<int>(labels.begin(), labels.begin() + L), Kx, Ky, delta);
    if (outcome == Outcome::NonFinite)
        return false;

    // The positions after each step: the labelled ones from the trajectory,
    // the unlabelled ones as they follow it.
    const std::size_t firstRecord = history.size();
    if (keepHistory) {
        for (int t = 0; t < steps; ++t) {
            PlanePoints after;
            after.resize(points);
            const bool last = t + 1 == steps;
            const std::size_t offset = static_cast<std::size_t>(t + 1) * L;
            for (int k = 0; k < L; ++k) {
                after.x[static_cast<std::size_t>(k)] = last ? finalX[k] : startX[offset + k];
                after.y[static_cast<std::size_t>(k)] = last ? finalY[k] : startY[offset + k];
            }
            history.push_back(std::move(after));
        }
    }
    positions.resize(points);
    std::copy(finalX.begin(), finalX.end(), positions.x.begin());
    std::copy(finalY.begin(), finalY.end(), positions.y.begin());
    bool finite = true;
#pragma omp parallel for schedule(static) reduction(&& : finite)
    for (int j = L; j < points; ++j) {
        const std::size_t i = static_cast<std::size_t>(j);
        double x = start.x[i];
        double y = start.y[i];
        finite = follow(x, y,
                        [&](int t, double px, double py) {
                            if (keepHistory) {
                                history[firstRecord + t].x[i] = px;
                                history[firstRecord + t].y[i] = py;
                            }
                        }) &&
                 finite;
        positions.x[i] = x;
        positions.y[i] = y;
    }
    if (!finite || outcome != Outcome::Separated)
        return false;
    return histogramStop(labels, classSizes, unlabelledCount);
}

bool NatNet::histogramStop(std::vector<int>& labels, const std::vector<int>& sizes, int unlabelledCount)
{
    const int L = positions.size() - unlabelledCount;
    if (L < 0 || !separated(positions.x.data(), positions.y.data(), L, sizes))
        return false;
    for (int j : unlabelled) {
        if (j < L || j >= positions.size() || j >= static_cast<int>(labels.size()))
            continue;
        const std::size_t i = static_cast<std::size_t>(j);
        const int k = nearestWithinReach(positions.x[i], positions.y[i], positions.x.data(), positions.y.data(), L);
        if (k >= 0)
            labels[i] = labels[static_cast<std::size_t>(k)];
    }
    return true;
}

void NatNet::computeRelevancy(const PlanePoints& startPositions, const std::vector<int>& labels,
                              std::vector<double>& relevancy)
{
    const int L = points - static_cast<int>(unlabelled.size());
    if (L < 0)
        return;
    std::vector<int> labelledLabels(labels.begin(), labels.begin() + std::min<std::size_t>(labels.size(), L));
    computeCentroids(positions.x.data(), positions.y.data(), std::min(L, positions.size()), labelledLabels);
    if (relevancy.size() < unlabelled.size())
        relevancy.resize(unlabelled.size(), 0.0);
    for (std::size_t q = 0; q < unlabelled.size(); ++q) {
        const std::size_t j = static_cast<std::size_t>(unlabelled[q]);
        if (j >= labels.size() || static_cast<int>(j) >= startPositions.size())
            continue;
        const int label = labels[j];
        if (label > 0 && label <= classes)
            relevancy[q] = relevancyOf(startPositions.x[j], startPositions.y[j], label);
    }
}
