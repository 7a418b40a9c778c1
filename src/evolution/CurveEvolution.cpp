#include "evolution/CurveEvolution.h"

#include "analysis/CurveDistance.h"
#include "evolution/CurveMath.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <utility>

namespace {

constexpr double kLargest = std::numeric_limits<double>::max();
constexpr double kSmallestNormal = std::numeric_limits<double>::min();

// Base time step and the largest variable one.
constexpr double kTimeStep = 0.1;
constexpr double kMaxVariableTimeStep = 0.2;

// Two times closer than this are the same time. Step times are sums of
// tenths, so rounding can put a step a hair before or after a scheduled
// time; the comparison must be two-sided.
constexpr double kTimeTolerance = 1e-9;

// A cell coordinate beyond this is off any grid; checked before the integer
// conversion, which is undefined for values out of range.
constexpr double kMaxCellCoordinate = 1e9;

// Resampling a curve into more points than this means its coordinates ran
// away; it is then left as it is.
constexpr double kMaxResamplePoints = 1 << 24;

// Index k modulo n, also for negative k (n > 0).
inline int wrap(int k, int n)
{
    int r = k % n;
    return r < 0 ? r + n : r;
}

// Time of the k-th multiple of `interval` steps (k >= 1), computed from
// integers so that equal schedules give bit-identical times.
inline double scheduledTime(long long k, long long interval, long long totalSteps)
{
    return static_cast<double>(std::min(k * interval, totalSteps)) * kTimeStep;
}

bool allFinite(const std::vector<double>& v)
{
    for (double value : v)
        if (!std::isfinite(value))
            return false;
    return true;
}

// True when every value is finite and within [lo, hi] (NaN fails).
bool allWithin(const std::vector<double>& v, double lo, double hi)
{
    for (double value : v)
        if (!(value >= lo && value <= hi))
            return false;
    return true;
}

} // namespace

// ---------------------------------------------------------------- driver

CurveEvolution::Result CurveEvolution::evolve(const std::vector<std::vector<Point2D>>& in, const float* vx,
                                              const float* vy, const float* map, int width, int height,
                                              double curvatureInfluence, double lambda, int totalSteps,
                                              int exportInterval, bool flag, bool variableTimeStep, bool autoStop,
                                              int checkInterval, double stopThreshold)
{
    Result result;
    if (!vx || !vy || exportInterval < 1 || !(spacing > 0.0) || !std::isfinite(spacing))
        return result;

    CurveEvolutionModel model;
    model.maxNormalVelocity = kSmallestNormal;
    model.tau = kTimeStep;
    model.omega = 0.5;
    model.lambda = lambda;
    model.curvatureInfluence = curvatureInfluence;

    setUpGrid(width, height);
    initCurves(in);
    if (!closeCurves())
        return result;
    for (int c = 0; c < static_cast<int>(curves.size()); ++c)
        resampleCurve(c);

    const long long total = std::max(totalSteps, 0);
    const long long perExport = exportInterval;
    // Without a positive check interval there is nothing to check (and
    // nothing to clip the step to).
    const long long perCheck = checkInterval >= 1 ? checkInterval : 0;
    time = 0.0;
    finalTime = static_cast<double>(total) * kTimeStep;
    exportStep = static_cast<double>(perExport) * kTimeStep;
    checkStep = static_cast<double>(perCheck) * kTimeStep;
    model.tau = kTimeStep;

    const long long slots = total / perExport + (total % perExport != 0 ? 1 : 0);
    result.resize(static_cast<std::size_t>(slots));
    long long slot = 0;
    long long checks = 0;
    nextExportTime = scheduledTime(1, perExport, total);
    nextCheckTime = perCheck > 0 ? static_cast<double>(perCheck) * kTimeStep
                                 : std::numeric_limits<double>::infinity();

    while (time < finalTime - kTimeTolerance) {
        if (!updateTopology()) {
            result.resize(static_cast<std::size_t>(slot));
            return result;
        }

        step(model, vx, vy, map, width, height, variableTimeStep, flag);
        time += model.tau;
        // The step was clipped to the nearest scheduled time; land on it
        // exactly so that rounding never decides whether it was reached.
        const double due = std::min({nextCheckTime, nextExportTime, finalTime});
        if (std::fabs(time - due) <= kTimeTolerance)
            time = due;

        if (perCheck > 0 && time >= nextCheckTime - kTimeTolerance) {
            if (autoStop)
                checkStopped(stopThreshold);
            ++checks;
            nextCheckTime = static_cast<double>((checks + 1) * perCheck) * kTimeStep;
        }

        if (slot < slots && time >= nextExportTime - kTimeTolerance) {
            exportCurves(static_cast<int>(slot), result);
            ++slot;
            if (activeCurveCount() == 0) {
                result.resize(static_cast<std::size_t>(slot));
                return result;
            }
            nextExportTime = scheduledTime(slot + 1, perExport, total);
        }
    }
    // The final time is always the last export time, so the loop has filled
    // every slot; should rounding ever say otherwise, the final state still
    // goes into the last slot.
    if (slot < slots)
        exportCurves(static_cast<int>(slots - 1), result);
    return result;
}

void CurveEvolution::setUpGrid(int width, int height)
{
    cellSize = 2.0 * spacing;
    // Computed in double and bounded before the conversion: a tiny spacing
    // must not overflow the cell counts.
    const auto cells = [this](int pixels, int margin) {
        const double count = std::floor(std::max(pixels, 0) / cellSize) + 2.0 * margin;
        return count >= 0.0 && count < 1 << 30 ? static_cast<int>(count) : 0;
    };
    gridHeight = cells(height, marginY);
    gridWidth = cells(width, marginX);
    cellGrid.assign(static_cast<std::size_t>(gridWidth) * static_cast<std::size_t>(gridHeight), 0);
}

void CurveEvolution::initCurves(const std::vector<std::vector<Point2D>>& in)
{
    curves.clear();
    curves.reserve(in.size());
    for (const auto& polyline : in) {
        EvolvingCurve curve;
        curve.x.reserve(polyline.size() + 2);
        curve.y.reserve(polyline.size() + 2);
        for (const Point2D& p : polyline) {
            curve.x.push_back(p.x);
            curve.y.push_back(p.y);
        }
        curve.active = true;
        curves.push_back(std::move(curve));
    }
}

bool CurveEvolution::closeCurves()
{
    for (EvolvingCurve& c : curves) {
        auto& x = c.x;
        auto& y = c.y;
        std::size_t s = x.size();
        if (s == 0)
            continue;  // left empty: removed as too small before the first step
        if (s == 1) {
            x.insert(x.end(), 2, x[0]);
            y.insert(y.end(), 2, y[0]);
        } else if (x[0] == x[s - 2] && y[0] == y[s - 2] && x[1] == x[s - 1] && y[1] == y[s - 1]) {
            // already padded
        } else if (x[0] == x[s - 1] && y[0] == y[s - 1]) {
            x.push_back(x[1]);
            y.push_back(y[1]);
        } else {
            const double x0 = x[0], y0 = y[0], x1 = x[1], y1 = y[1];
            x.push_back(x0);
            y.push_back(y0);
            x.push_back(x1);
            y.push_back(y1);
        }

        s = x.size();
        if (s != 2 && s != 3) {
            // A point equal to its predecessor is dropped; the padded copies
            // follow (dropping point 1 changes what entry S - 1 repeats).
            for (std::size_t l = 1; l < x.size() - 2;) {
                if (x[l] == x[l - 1] && y[l] == y[l - 1]) {
                    x.erase(x.begin() + static_cast<std::ptrdiff_t>(l));
                    y.erase(y.begin() + static_cast<std::ptrdiff_t>(l));
                    c.repad();
                } else {
                    ++l;
                }
            }
        }

        // Every coordinate must be finite, or nothing downstream is defined.
        if (!allFinite(x) || !allFinite(y))
            return false;
        s = x.size();
        if (s != 2 && s != 3) {
            for (std::size_t l = 1; l + 3 <= s; ++l) {
                if (x[l] > gridWidth - marginX || x[l] < -marginX || y[l] > gridHeight - marginY
                    || y[l] < -marginY)
                    return false;
            }
        }
    }
    return true;
}

void CurveEvolution::removeSmallCurves()
{
    // An erased curve's successor moves into its place and waits for the
    // next call.
    for (std::size_t i = 0; i < curves.size(); ++i) {
        const EvolvingCurve& c = curves[i];
        if (c.active && (std::fabs(c.signedArea()) < minArea || c.pointCount() < minPoints))
            curves.erase(curves.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

bool CurveEvolution::updateTopology()
{
    removeSmallCurves();
    if (curves.empty())
        return false;
    for (int c = 0; c < static_cast<int>(curves.size()); ++c)
        if (curves[c].active)
            resampleCurve(c);
    while (curves.size() > 1 && mergeCurves()) {
    }
    splitCurves();
    removeSmallCurves();
    return !curves.empty();
}

double CurveEvolution::clipStep(double tau) const
{
    // Never step past the next check, the next export or the final time; a
    // step that would end within the tolerance of one of them ends on it.
    for (double due : {nextCheckTime, nextExportTime, finalTime}) {
        const double r = due - time;
        if (r > kTimeTolerance && tau > r - kTimeTolerance)
            tau = r;
    }
    return tau;
}

void CurveEvolution::advanceCurve(CurveEvolutionModel& model, EvolvingCurve& c, const float* vx, const float* vy,
                                  const float* map, int width, int height, bool measureOnly)
{
    if (!measureOnly) {
        backupX.assign(c.x.begin(), c.x.end());
        backupY.assign(c.y.begin(), c.y.end());
    }
    std::swap(c.x, model.curve.x);
    std::swap(c.y, model.curve.y);
    model.curve.active = c.active;
    model.advance(vx, vy, map, width, height, measureOnly);
    c.active = model.curve.active;
    std::swap(c.x, model.curve.x);
    std::swap(c.y, model.curve.y);

    if (measureOnly)
        return;
    // A blown-up step (backward diffusion under a negative curvature
    // influence grows without bound within a few dozen steps) leaves
    // non-finite coordinates or points far outside anything the image can
    // drive: an image size beyond its border. Keep the last sound state and
    // stop the curve there.
    const double reach = std::max({width, height, 1}) + cellSize * std::max(marginX, marginY);
    if (!allWithin(c.x, -reach, width + reach) || !allWithin(c.y, -reach, height + reach)) {
        std::swap(c.x, backupX);
        std::swap(c.y, backupY);
        c.active = false;
    }
}

void CurveEvolution::step(CurveEvolutionModel& model, const float* vx, const float* vy, const float* map, int width,
                          int height, bool variableTimeStep, bool flag)
{
    double tau = kTimeStep;
    if (variableTimeStep) {
        model.maxNormalVelocity = kSmallestNormal;
        for (EvolvingCurve& c : curves)
            if (c.active)
                advanceCurve(model, c, vx, vy, map, width, height, true);
        tau = std::min(kMaxVariableTimeStep, 0.5 / model.maxNormalVelocity);
        // An infinite velocity (an infinite value in the images) would stall
        // the clock; the base step lets the step itself stop that curve.
        if (!(tau > 0.0))
            tau = kTimeStep;
    }
    model.tau = clipStep(tau);

    for (EvolvingCurve& c : curves)
        if (c.active)
            advanceCurve(model, c, vx, vy, map, width, height, false);
}

void CurveEvolution::checkStopped(double threshold)
{
    for (EvolvingCurve& c : curves) {
        if (!c.active)
            continue;
        double distance = kLargest;
        if (!c.checkpointX.empty()) {
            CurveDistance work;
            work.ax = c.x;
            work.ay = c.y;
            work.bx = c.checkpointX;
            work.by = c.checkpointY;
            work.computeDistances();
            distance = work.computeHausdorff();
        }
        if (threshold > distance) {
            c.active = false;
        } else {
            c.checkpointX = c.x;
            c.checkpointY = c.y;
        }
    }
}

void CurveEvolution::exportCurves(int slot, Result& result) const
{
    if (slot < 0 || slot >= static_cast<int>(result.size()))
        return;
    Snapshot& snapshot = result[static_cast<std::size_t>(slot)];
    snapshot.assign(curves.size(), {});
    for (std::size_t k = 0; k < curves.size(); ++k) {
        const EvolvingCurve& c = curves[k];
        if (c.x.size() < 2)
            continue;
        auto& polyline = snapshot[k];
        // Point n, point 1, ..., point n: closed by repeating its start.
        polyline.resize(c.x.size() - 1);
        for (std::size_t i = 0; i + 1 < c.x.size(); ++i)
            polyline[i] = Point2D{c.x[i], c.y[i]};
    }
}

int CurveEvolution::activeCurveCount() const
{
    return static_cast<int>(std::count_if(curves.begin(), curves.end(), [](const EvolvingCurve& c) {
        return c.active;
    }));
}

std::string CurveEvolution::invariantFault() const
{
    for (std::size_t k = 0; k < curves.size(); ++k) {
        const std::string fault = curves[k].layoutFault(curves[k].active ? minPoints : 1);
        if (!fault.empty())
            return "curve " + std::to_string(k) + ": " + fault;
    }
    return {};
}

// ---------------------------------------------------------------- cells

int CurveEvolution::cellIndexAt(double x, double y) const
{
    const double cx = (marginX + x) / cellSize;
    const double cy = (marginY + y) / cellSize;
    if (!(std::fabs(cx) < kMaxCellCoordinate && std::fabs(cy) < kMaxCellCoordinate))
        return 0;
    const long long index = static_cast<long long>(cy) * gridWidth + static_cast<long long>(cx);
    if (index < 0 || index >= static_cast<long long>(cellGrid.size()))
        return 0;
    return static_cast<int>(index);
}

int CurveEvolution::cellIndex(int point, int curve) const
{
    const EvolvingCurve& c = curves[static_cast<std::size_t>(curve)];
    return cellIndexAt(c.x[static_cast<std::size_t>(point)], c.y[static_cast<std::size_t>(point)]);
}

void CurveEvolution::markCells(int curve, int value)
{
    if (cellGrid.empty() || curve < 0 || curve >= static_cast<int>(curves.size()))
        return;
    const int n = curves[static_cast<std::size_t>(curve)].pointCount();
    for (int i = 1; i <= n; ++i)
        cellGrid[static_cast<std::size_t>(cellIndex(i, curve))] = value;
}

double CurveEvolution::maxSegmentLength(int curve) const
{
    const EvolvingCurve& c = curves[static_cast<std::size_t>(curve)];
    const int n = c.pointCount();
    if (n < 1 || c.segmentLength.size() < 2)
        return 0.0;
    double best = c.segmentLength[1];
    for (int i = 2; i <= n && i < static_cast<int>(c.segmentLength.size()); ++i)
        best = std::max(best, c.segmentLength[static_cast<std::size_t>(i)]);
    return best;
}

// ---------------------------------------------------------------- resampling

void CurveEvolution::resampleCurve(int index)
{
    EvolvingCurve& c = curves[static_cast<std::size_t>(index)];
    c.computeSegments();
    const int n = c.pointCount();
    if (n < 3)
        return;
    const double h = spacing;
    const double L = c.length;
    if (!(std::fabs(L / n - h) > h / 5.0))
        return;
    if (!(L / h < kMaxResamplePoints))
        return;

    const std::vector<double>& x = c.x;
    const std::vector<double>& y = c.y;
    const std::vector<double>& r = c.segmentLength;
    newX.clear();
    newY.clear();
    newX.reserve(static_cast<std::size_t>(L / h) + 100);
    newY.reserve(static_cast<std::size_t>(L / h) + 100);
    newX.push_back(x[0]);
    newY.push_back(y[0]);
    const auto append = [&](double px, double py) {
        newX.push_back(px);
        newY.push_back(py);
    };
    const auto appendPoint = [&](int j) { append(x[static_cast<std::size_t>(j)], y[static_cast<std::size_t>(j)]); };
    const auto appendMidpoint = [&](int j) {
        append(0.5 * (x[j] + x[j + 1]), 0.5 * (y[j] + y[j + 1]));
    };

    int rd = 0;        // last old point consumed
    double acc = 0.0;  // accumulated excess length
    int cnt = 0;       // segments pending
    for (int i = 1; i <= n; ++i) {
        ++cnt;
        acc += r[i] - h;
        if (acc >= h) {
            // A point is missing.
            if (r[i] < 2.0 * h && cnt == 1) {
                appendMidpoint(rd);
                appendPoint(rd + 1);
                ++rd;
                acc -= h;
            } else if (r[i] < 2.0 * h) {
                // Split the longest pending segment.
                int m = i - cnt + 1;
                double longest = 0.0;
                for (int v = i - cnt + 2; v <= i; ++v)
                    if (r[v] > longest) {
                        longest = r[v];
                        m = v;
                    }
                for (int u = i - cnt + 1; u <= i - 1; ++u) {
                    if (u == m) {
                        appendMidpoint(rd);
                        acc -= h;
                    }
                    appendPoint(rd + 1);
                    ++rd;
                }
            } else {
                // A long segment: fill it with evenly spaced points.
                for (int j = rd + 1; j <= i; ++j)
                    appendPoint(j);
                rd = i;
                newX.pop_back();
                newY.pop_back();
                const int k = static_cast<int>(acc / h);
                for (int t = 1; t <= k + 1; ++t) {
                    const double f = static_cast<double>(t) / (k + 1);
                    append(x[i - 1] - (x[i - 1] - x[i]) * f, y[i - 1] - (y[i - 1] - y[i]) * f);
                    acc -= h;
                }
            }
            cnt = 0;
        }
        if (acc + h <= 0.0) {
            // A point is in excess: drop the one between the shortest pair
            // of pending segments.
            acc += h;
            if (cnt >= 1) {
                int m = i;
                if (cnt > 1) {
                    m = i - cnt + 1;
                    double shortest = r[m] + r[m + 1];
                    for (int v = i - cnt + 2; v <= i - 1; ++v)
                        if (r[v] + r[v + 1] < shortest) {
                            shortest = r[v] + r[v + 1];
                            m = v;
                        }
                }
                for (int t = 1; t <= cnt; ++t)
                    if (i - cnt + t != m)
                        appendPoint(rd + t);
                rd += cnt;
                cnt = 0;
            }
        }
    }
    for (int j = rd + 1; j <= n; ++j)
        appendPoint(j);

    // The last entry written (the old point n) is dropped and the two padded
    // copies are appended: the copy of entry 0 (the old point n again, now
    // the last point) and the copy of entry 1.
    if (newX.size() < 3)
        return;
    newX.pop_back();
    newY.pop_back();
    newX.push_back(newX[0]);
    newY.push_back(newY[0]);
    newX.push_back(newX[1]);
    newY.push_back(newY[1]);
    std::swap(c.x, newX);
    std::swap(c.y, newY);
    c.repad();
}

// ---------------------------------------------------------------- merging

void CurveEvolution::findClosestPoints(int a, int b, int& p, int& q) const
{
    const EvolvingCurve& A = curves[static_cast<std::size_t>(a)];
    const EvolvingCurve& B = curves[static_cast<std::size_t>(b)];
    const int sa = static_cast<int>(A.x.size());
    const int sb = static_cast<int>(B.x.size());
    const int na = A.pointCount();
    const int nb = B.pointCount();
    if (na < 1 || nb < 1)
        return;

    double best = kLargest;
    int bestP = p;
    int bestQ = q;
    for (int s = -2; s <= 2; ++s) {
        const int ia = wrap(p + s, sa);
        for (int t = -2; t <= 2; ++t) {
            const int ib = wrap(q + t, sb);
            if (a == b && ia == ib)
                continue;
            const double d = pointDistance(A.x[ia], A.y[ia], B.x[ib], B.y[ib]);
            if (d < best) {
                best = d;
                bestP = ia;
                bestQ = ib;
            }
        }
    }
    p = wrap(bestP, na);
    q = wrap(bestQ, nb);
    // Index 0 and index n name the same point; prefer n where the other
    // index lies close to the end.
    if (p == 0 && std::abs(q - na) < minPoints)
        p = na;
    if (q == 0 && std::abs(na - p) < minPoints)
        q = na;
}

void CurveEvolution::joinCurves(int k, int i, int a, int b)
{
    EvolvingCurve& K = curves[static_cast<std::size_t>(k)];
    EvolvingCurve& I = curves[static_cast<std::size_t>(i)];
    const int nk = K.pointCount();
    const int ni = I.pointCount();
    if (nk < 1 || ni < 1)
        return;
    a = wrap(a, nk);
    b = wrap(b, ni);
    if (b >= 3) {
        // Rotate: the points before b follow the end of I.
        const std::size_t count = static_cast<std::size_t>(b - 2);
        I.x.reserve(I.x.size() + count);
        I.y.reserve(I.y.size() + count);
        for (std::size_t e = 1; e <= count; ++e) {
            I.x.push_back(I.x[e]);
            I.y.push_back(I.y[e]);
        }
    }
    const std::size_t s = I.x.size();
    const auto from = static_cast<std::ptrdiff_t>(b + 1);
    const auto to = static_cast<std::ptrdiff_t>(s - 1);
    K.x.insert(K.x.begin() + a + 1, I.x.begin() + from, I.x.begin() + to);
    K.y.insert(K.y.begin() + a + 1, I.y.begin() + from, I.y.begin() + to);
    K.repad();
    // From a contact at b >= 4 the inserted run holds I's point 1 twice (its
    // padded copy and its rotated copy). An active curve would lose the
    // repeat at its next step, but a stopped one is never stepped again and
    // would keep and export it: drop repeated points here.
    K.computeSegments();
}

bool CurveEvolution::mergeCurves()
{
    if (curves.size() < 2 || cellGrid.empty())
        return false;
    constexpr int kUnclaimed = -2;
    constexpr int kContact = -10;
    for (int c = 1; c < static_cast<int>(curves.size()); ++c)
        markCells(c, kUnclaimed);
    markCells(0, 0);

    for (int i = 1; i < static_cast<int>(curves.size()); ++i) {
        for (int j = 0; j < curves[static_cast<std::size_t>(i)].pointCount(); ++j) {
            const auto cell = static_cast<std::size_t>(cellIndex(j, i));
            const int v = cellGrid[cell];
            if (v == i)
                continue;
            if (v < 0 || v > i) {
                // Unclaimed (anything else cannot be met here).
                cellGrid[cell] = i;
                continue;
            }
            // The cell belongs to curve k of lower index: find k's point in
            // it, then the closest pair around the two points.
            const int k = v;
            cellGrid[cell] = kContact;
            int lk = -1;
            const int nk = curves[static_cast<std::size_t>(k)].pointCount();
            for (int l = 1; l <= nk; ++l)
                if (cellGrid[static_cast<std::size_t>(cellIndex(l, k))] == kContact) {
                    lk = l;
                    break;
                }
            cellGrid[cell] = k;
            if (lk < 0)
                continue;
            int jj = j;
            findClosestPoints(k, i, lk, jj);
            EvolvingCurve& K = curves[static_cast<std::size_t>(k)];
            EvolvingCurve& I = curves[static_cast<std::size_t>(i)];
            K.computeSegments();
            I.computeSegments();
            // computeSegments may have dropped repeated points.
            const int nkNow = K.pointCount();
            const int niNow = I.pointCount();
            if (nkNow < 1 || niNow < 1)
                continue;
            lk = wrap(lk, nkNow);
            jj = wrap(jj, niNow);
            const double d = pointDistance(K.x[lk], K.y[lk], I.x[jj], I.y[jj]);
            if (d <= 0.5 * (maxSegmentLength(k) + maxSegmentLength(i))) {
                joinCurves(k, i, lk, jj);
                curves.erase(curves.begin() + i);
                return true;
            }
        }
    }
    return false;
}

// ---------------------------------------------------------------- splitting

bool CurveEvolution::isSplitContact(int curve, int p, int q) const
{
    const EvolvingCurve& c = curves[static_cast<std::size_t>(curve)];
    const int n = c.pointCount();
    if (n < 1)
        return false;
    const auto at = [&](int k) { return static_cast<std::size_t>(wrap(k, n)); };
    const auto dist = [&](int i, int j) { return pointDistance(c.x[at(i)], c.y[at(i)], c.x[at(j)], c.y[at(j)]); };
    const double d = dist(p, q);
    return d <= 0.5 * (dist(p, p + 1) + dist(p, p - 1)) && d <= 0.5 * (dist(q, q + 1) + dist(q, q - 1));
}

bool CurveEvolution::hasSmallerBox(int a, int b) const
{
    const auto box = [&](int index, double& w, double& h) {
        const EvolvingCurve& c = curves[static_cast<std::size_t>(index)];
        const int n = c.pointCount();
        // Coordinates may be negative: the maxima start at the lowest
        // double, not at the smallest positive one.
        double minX = kLargest, minY = kLargest;
        double maxX = std::numeric_limits<double>::lowest(), maxY = std::numeric_limits<double>::lowest();
        for (int i = 0; i < n; ++i) {
            minX = std::min(minX, c.x[i]);
            maxX = std::max(maxX, c.x[i]);
            minY = std::min(minY, c.y[i]);
            maxY = std::max(maxY, c.y[i]);
        }
        w = maxX - minX;
        h = maxY - minY;
    };
    double wa = 0.0, ha = 0.0, wb = 0.0, hb = 0.0;
    box(a, wa, ha);
    box(b, wb, hb);
    return wa < wb && ha < hb;
}

bool CurveEvolution::splitCurve(int ia, int ib, int p, int q)
{
    EvolvingCurve& A = curves[static_cast<std::size_t>(ia)];
    EvolvingCurve& B = curves[static_cast<std::size_t>(ib)];
    const int n = A.pointCount();
    if (n < 1)
        return false;
    int a = wrap(p, n);
    int b = wrap(q, n);
    if (a == 0 && std::abs(b - n) < minPoints)
        a = n;
    if (b == 0 && std::abs(n - a) < minPoints)
        b = n;
    const int lo = std::min(a, b);
    const int hi = std::max(a, b);

    const auto eraseLoop = [&]() {
        A.x.erase(A.x.begin() + lo, A.x.begin() + hi);
        A.y.erase(A.y.begin() + lo, A.y.begin() + hi);
        A.repad();
    };

    if (hi - lo > minPoints) {
        // The loop between the contacts lives on as curve B.
        B.x.assign(1, 0.0);
        B.y.assign(1, 0.0);
        if (hi - 2 >= lo + 1) {
            B.x.insert(B.x.end(), A.x.begin() + lo + 1, A.x.begin() + hi - 1);
            B.y.insert(B.y.end(), A.y.begin() + lo + 1, A.y.begin() + hi - 1);
        }
        B.repad();
        B.active = true;
        B.checkpointX.clear();
        B.checkpointY.clear();
        eraseLoop();
        // The part with the larger box keeps the place of the cut curve.
        if (hasSmallerBox(ia, ib)) {
            std::swap(A.x, B.x);
            std::swap(A.y, B.y);
        }
        return std::fabs(B.signedArea()) > minArea;
    }
    if (n - (hi - lo) > minPoints) {
        // A short loop is cut off.
        eraseLoop();
        return false;
    }
    // Both parts short: keep the loop between the contacts.
    std::vector<double> x(A.x.begin() + lo, A.x.begin() + hi);
    std::vector<double> y(A.y.begin() + lo, A.y.begin() + hi);
    x.insert(x.begin(), 0.0);
    y.insert(y.begin(), 0.0);
    x.push_back(0.0);
    y.push_back(0.0);
    A.x = std::move(x);
    A.y = std::move(y);
    A.repad();
    return false;
}

void CurveEvolution::splitCurves()
{
    if (cellGrid.empty())
        return;
    for (int c = 0; c < static_cast<int>(curves.size()); ++c) {
        if (!curves[static_cast<std::size_t>(c)].active)
            continue;
        markCells(c, 0);
        const int n = curves[static_cast<std::size_t>(c)].pointCount();
        for (int i = 1; i <= n - 2; ++i) {
            const auto cell = static_cast<std::size_t>(cellIndex(i, c));
            const int v = cellGrid[cell];
            if (v == 0) {
                cellGrid[cell] = i;
                continue;
            }
            if (i - v < 3)
                continue;
            int p = i;
            int q = v;
            findClosestPoints(c, c, p, q);
            if (p == q || !isSplitContact(c, p, q))
                continue;
            curves.emplace_back();
            const int added = static_cast<int>(curves.size()) - 1;
            if (!splitCurve(c, added, p, q))
                curves.pop_back();
            break;
        }
    }
}
