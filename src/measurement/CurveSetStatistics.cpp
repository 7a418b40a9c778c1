#include "measurement/CurveSetStatistics.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstddef>
#include <map>
#include <new>
#include <numeric>

#include "analysis/MaskedStatistics.h"
#include "evolution/CurveEvolution.h"
#include "io/File.h"

namespace {

// Settings of the offset evolution: unit normal speed from the expanding
// map and a little curvature to keep the moved curve smooth. With the fixed
// time step 0.1, 10 steps move a curve by one pixel; of the snapshots taken
// every 10 steps the last one is used.
constexpr int kOffsetMargin = 10;
constexpr double kOffsetSpacing = 0.5;
constexpr int kOffsetMinPoints = 10;
constexpr double kOffsetMinArea = 5.0;
constexpr double kOffsetCurvature = 0.3;
constexpr int kStepsPerPixel = 10;
constexpr int kOffsetExportInterval = 10;
constexpr int kOffsetCheckInterval = 10;
constexpr double kOffsetStopThreshold = 0.1;
constexpr int kOffsetWindowPad = 1;

// The distance of the offset set whose mask the graph-Laplacian means use.
constexpr int kLaplacianOffset = 2;

struct Mask {
    std::vector<int> pixels;
    bool empty = true;  // no entry is 1
};

void rasterizeInto(const UI::CurveSet& set, long long x0, long long y0, long long width, long long height,
                   Mask& mask)
{
    mask.pixels.clear();
    set.rasterize(static_cast<int>(x0), static_cast<int>(y0), static_cast<int>(width), static_cast<int>(height),
                  mask.pixels);
    mask.empty = std::find(mask.pixels.begin(), mask.pixels.end(), 1) == mask.pixels.end();
}

// int(v) (truncation), or false when v is not finite or truncates outside
// the int range.
bool truncatedToInt(double v, long long& out)
{
    if (!std::isfinite(v))
        return false;
    const double t = std::trunc(v);
    if (t < static_cast<double>(INT_MIN) || t > static_cast<double>(INT_MAX))
        return false;
    out = static_cast<long long>(t);
    return true;
}

// Writes value at index b, first growing a short list with -1.0 to the band
// count.
void store(std::vector<double>& list, int b, int bandCount, double value)
{
    const std::size_t needed = static_cast<std::size_t>(std::max(bandCount, b + 1));
    if (list.size() < needed)
        list.resize(needed, -1.0);
    list[static_cast<std::size_t>(b)] = value;
}

bool contains(const std::vector<int>& list, int value)
{
    return std::find(list.begin(), list.end(), value) != list.end();
}

// The band window of one band: origin and size in band pixels at scale h.
struct Window {
    long long x0 = 0;
    long long y0 = 0;
    long long w = 0;
    long long h = 0;
};

bool bandWindow(const UI::CurveSet& set, int margin, int h, int g, Window& window)
{
    const double m = static_cast<double>(margin) * h;
    long long x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    if (!truncatedToInt((set.minX - m) / h, x0) || !truncatedToInt((set.maxX + m) / h + 1, x1)
        || !truncatedToInt((set.minY - m) / h, y0) || !truncatedToInt((set.maxY + m) / h + 1, y1))
        return false;
    // A derived band whose sources differ in scale is read in whole pixels
    // of the coarser source.
    if (h < g) {
        x0 -= x0 % g;
        y0 -= y0 % g;
        x1 = x1 - x1 % g + g;
        y1 = y1 - y1 % g + g;
    }
    window = {x0, y0, x1 - x0, y1 - y0};
    return window.w > 0 && window.h > 0;
}

bool measure(UI::CurveSet& set, IO::File& file, int level, std::vector<int> bands, const std::vector<int>& types,
             int margin, CurveSetStatisticsWork& work)
{
    const int bandCount = static_cast<int>(file.bands.size());
    if (bands.empty()) {
        bands.resize(static_cast<std::size_t>(bandCount));
        std::iota(bands.begin(), bands.end(), 0);
    }
    const bool wantGL5 = contains(types, UI::CurveSet::MeanGL5);
    const bool wantGL3 = contains(types, UI::CurveSet::MeanGL3);

    // Masks of the set and of its offset set per band scale; ordinary bands
    // of one scale share them.
    std::map<int, Mask> ownMasks;
    std::map<int, Mask> offsetMasks;
    Mask derivedOwn;
    Mask derivedOffset;
    std::vector<double> values;
    std::vector<double> laplacian;
    std::vector<double> basic(4);

    for (const int b : bands) {
        if (b < 0 || b >= bandCount)
            return false;
        const IO::Band& band = file.bands[static_cast<std::size_t>(b)];
        int h = 0;
        int g = 0;
        if (band.derived) {
            if (band.sourceScales.size() < 2)
                return false;
            h = std::min(band.sourceScales[0], band.sourceScales[1]);
            g = std::max(band.sourceScales[0], band.sourceScales[1]);
        } else {
            if (!(band.scale >= 1.0 && band.scale <= INT_MAX))
                return false;
            h = g = static_cast<int>(band.scale);
        }
        if (h < 1)
            return false;

        Window win;
        if (!bandWindow(set, margin, h, g, win))
            return false;
        if (win.x0 < 0 || win.y0 < 0 || static_cast<double>(win.x0 + win.w) > static_cast<double>(file.width) / h
            || static_cast<double>(win.y0 + win.h) > static_cast<double>(file.height) / h)
            return false;

        // The window on the working grid.
        const long long X0 = h * win.x0;
        const long long Y0 = h * win.y0;
        const long long W = h * win.w;
        const long long H = h * win.h;
        if (W * H > INT_MAX)
            return false;
        const std::size_t pixels = static_cast<std::size_t>(W * H);

        // readRegion takes an image band's window in its own pixels and a
        // derived band's in working-grid pixels.
        if (band.derived)
            file.readRegion(b, level, static_cast<int>(X0), static_cast<int>(Y0), static_cast<int>(W),
                            static_cast<int>(H), static_cast<int>(W), static_cast<int>(H), values);
        else
            file.readRegion(b, level, static_cast<int>(win.x0), static_cast<int>(win.y0), static_cast<int>(win.w),
                            static_cast<int>(win.h), static_cast<int>(W), static_cast<int>(H), values);
        if (values.size() < pixels)
            return false;

        const Mask* own = nullptr;
        if (band.derived) {
            rasterizeInto(set, X0, Y0, W, H, derivedOwn);
            ++work.masks;
            own = &derivedOwn;
        } else {
            auto found = ownMasks.find(h);
            if (found == ownMasks.end()) {
                found = ownMasks.emplace(h, Mask{}).first;
                rasterizeInto(set, X0, Y0, W, H, found->second);
                ++work.masks;
            }
            own = &found->second;
        }

        std::fill(basic.begin(), basic.end(), -1.0);
        if (!own->empty)
            computeMaskedStatistics(own->pixels, values, basic);
        store(set.mean, b, bandCount, basic[0]);
        store(set.std, b, bandCount, basic[1]);
        store(set.min, b, bandCount, basic[2]);
        store(set.max, b, bandCount, basic[3]);

        if (!wantGL5 && !wantGL3)
            continue;

        // The Laplacian means are taken away from the curves themselves,
        // whose pixels straddle the edge they follow: inside the set offset
        // into its region, or (with a margin) inside the set itself.
        const Mask* chosen = own;
        if (margin == 0) {
            Mask* offsetMask = nullptr;
            if (band.derived) {
                offsetMask = &derivedOffset;
            } else {
                auto found = offsetMasks.find(h);
                if (found != offsetMasks.end())
                    chosen = &found->second;
                else
                    offsetMask = &offsetMasks.emplace(h, Mask{}).first->second;
            }
            if (offsetMask) {
                UI::CurveSet offset;
                offsetCurveSet(offset, set, static_cast<int>(W), static_cast<int>(H), static_cast<int>(X0),
                               static_cast<int>(Y0), kLaplacianOffset);
                offset.updateBoundingBoxes();
                for (std::size_t i = 0; i < offset.curves.size() && i < set.curves.size(); ++i)
                    offset.curves[i].inner = set.curves[i].inner;
                rasterizeInto(offset, X0, Y0, W, H, *offsetMask);
                ++work.offsetSets;
                chosen = offsetMask;
            }
        }

        if (!chosen->empty)
            laplacian.resize(pixels);
        const struct {
            bool wanted;
            int stencil;
            std::vector<double>& list;
        } means[] = {{wantGL5, 5, set.meanGL5}, {wantGL3, 3, set.meanGL3}};
        for (const auto& mean : means) {
            if (!mean.wanted)
                continue;
            double value = -1.0;
            if (!chosen->empty) {
                computeGraphLaplacianDouble(values.data(), static_cast<int>(pixels), laplacian.data(), mean.stencil,
                                            static_cast<int>(W), static_cast<int>(H));
                value = computeMaskedMean(laplacian.data(), chosen->pixels);
            }
            store(mean.list, b, bandCount, value);
        }
    }
    return true;
}

} // namespace

bool computeCurveSetStatistics(UI::CurveSet& set, IO::File* file, int level, std::vector<int> bands,
                               std::vector<int> types, int margin)
{
    return computeCurveSetStatistics(set, file, level, std::move(bands), std::move(types), margin, nullptr);
}

bool computeCurveSetStatistics(UI::CurveSet& set, IO::File* file, int level, std::vector<int> bands,
                               std::vector<int> types, int margin, CurveSetStatisticsWork* work)
{
    if (!file)
        return false;
    CurveSetStatisticsWork local;
    CurveSetStatisticsWork& counts = work ? *work : local;
    try {
        return measure(set, *file, level, std::move(bands), types, margin, counts);
    } catch (const IO::File::error&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

UI::CurveSet& offsetCurveSet(UI::CurveSet& out, const UI::CurveSet& in, int width, int height, int x0, int y0,
                             int distance)
{
    // Built aside: in and out may be one set.
    UI::CurveSet result = in;
    result.curves.clear();
    result.curves.reserve(in.curves.size());

    // The evolution gives no speed to a point on the first row or column of
    // its image or past its last ones, and a window that hugs a set starts
    // at the set's smallest coordinates: a side lying there would not move.
    // So the evolution runs in the window grown by kOffsetWindowPad pixels
    // on every side; with a uniform map that changes nothing else.
    const bool window = width > 0 && height > 0 && width <= INT_MAX - 2 * kOffsetWindowPad
                        && height <= INT_MAX - 2 * kOffsetWindowPad;
    const int evolutionWidth = window ? width + 2 * kOffsetWindowPad : 0;
    const int evolutionHeight = window ? height + 2 * kOffsetWindowPad : 0;
    const std::size_t pixels = static_cast<std::size_t>(evolutionWidth) * static_cast<std::size_t>(evolutionHeight);
    const std::vector<float> field(pixels, 0.0f);
    const std::vector<float> map(pixels, 1.0f);
    const long long steps = static_cast<long long>(kStepsPerPixel) * distance;
    const int totalSteps = static_cast<int>(std::clamp<long long>(steps, 0, INT_MAX));
    const std::size_t slots = static_cast<std::size_t>(
        (totalSteps + kOffsetExportInterval - 1) / kOffsetExportInterval);
    const double ox = static_cast<double>(x0) - kOffsetWindowPad;
    const double oy = static_cast<double>(y0) - kOffsetWindowPad;

    for (const UI::Curve& source : in.curves) {
        // Reversed, the evolution's outward normal points into the region
        // the curve fills. The evolution works in window pixels.
        const std::vector<Point2D> reversed(source.points().rbegin(), source.points().rend());
        std::vector<Point2D> moved;
        if (window && totalSteps > 0 && !reversed.empty()) {
            std::vector<Point2D> local = reversed;
            for (auto& p : local) {
                p.x -= ox;
                p.y -= oy;
            }
            CurveEvolution evolution;
            evolution.marginX = kOffsetMargin;
            evolution.marginY = kOffsetMargin;
            evolution.spacing = kOffsetSpacing;
            evolution.minPoints = kOffsetMinPoints;
            evolution.minArea = kOffsetMinArea;
            evolution.time = 0.0;
            const CurveEvolution::Result run
                = evolution.evolve({local}, field.data(), field.data(), map.data(), evolutionWidth, evolutionHeight,
                                   kOffsetCurvature, 0.0, totalSteps, kOffsetExportInterval, false, false, false,
                                   kOffsetCheckInterval, kOffsetStopThreshold);
            // The evolution ends early, with fewer slots, when its curve
            // vanished; then the final state holds no curve.
            if (run.size() == slots && !run.back().empty())
                moved = run.back().front();
        }
        if (moved.empty()) {
            result.addCurveFromPoints(reversed);
            continue;
        }
        for (auto& p : moved) {
            p.x += ox;
            p.y += oy;
        }
        result.addCurveFromPoints(moved);
    }
    out = std::move(result);
    return out;
}
