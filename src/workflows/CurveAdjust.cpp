// "Adjust" of the curves explorer: the selected curves pulled onto nearby
// edges of one display band. Closed curves run a short closed evolution,
// open ones the open-segment evolution with fixed ends, both over the
// negative gradient of an edge detector. Each set concerned comes back as a
// new set holding all its curves, the selected ones moved; the sources stay.

#include <algorithm>

#include <QApplication>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/SettingsKeys.h"
#include "app/WidgetUtils.h"
#include "evolution/CurveEvolution.h"
#include "evolution/SegmentEvolution.h"
#include "workflows/CurveWorkflows.h"

namespace UI {

using namespace CurveWorkflows;

namespace {

// One set evolved: its curves' points in data pixels, in curve order, and
// the closed flags of the source curves.
struct AdjustedSet {
    std::vector<std::vector<Point2D>> lists;
    std::vector<bool> closed;
};

std::vector<Point2D> shifted(const std::vector<Point2D>& points, double dx, double dy)
{
    std::vector<Point2D> out;
    out.reserve(points.size());
    for (const Point2D& p : points)
        out.push_back({p.x + dx, p.y + dy});
    return out;
}

// The closed evolution of one curve; the points unchanged when it gives none.
std::vector<Point2D> evolveClosed(const std::vector<Point2D>& points, const float* vx, const float* vy,
                                  const std::vector<float>& ones, int width, int height, double curvatureInfluence)
{
    // Margins of 10 pixels, points 0.5 apart, at least 10 points and an area
    // of 5: the evolution's own settings.
    CurveEvolution evolution;
    const CurveEvolution::Result result = evolution.evolve({points}, vx, vy, ones.data(), width, height,
                                                           curvatureInfluence, 1.0, 1000, 1000, true, true, true,
                                                           10, 0.2);
    if (result.empty() || result.front().empty())
        return points;
    return result.front().front();
}

} // namespace

void FenlarkApp::curveAdjustAction_triggered(bool)
{
    const int side = ui->activeSide;
    IO::File* file = getDataFile(side);
    if (!file)
        return;
    QList<int> setIds;
    QList<QPair<int, int>> curveIds;
    QList<CurveGroup> groups;
    getSelectedCurvesBySet(setIds, curveIds, groups);
    if (groups.isEmpty())
        return;

    // The drivers compute the green and blue bands' features only on a side
    // that shows three bands.
    const int channelCount = isMultiChannel(side) ? 3 : 1;
    QStringList channels;
    for (int c = 0; c < channelCount; ++c)
        channels.append(QString::fromStdString(file->bandName(getBandIndex(side, c))));
    const std::optional<CurveAdjustSettings> chosen = chooseCurveAdjustSettings(this, channels);
    if (!chosen)
        return;
    const int channel = std::clamp(chosen->channel, 0, channelCount - 1);
    const double curvatureInfluence = chosen->curvatureInfluence;
    const int band = getBandIndex(side, channel);
    const auto viewerSide = static_cast<ViewerSide>(side);

    // The finish below unlocks what this locks.
    setMainControlsLocked(true);
    std::vector<AdjustedSet> adjusted;
    bool featuresMissing = false;
    for (const CurveGroup& group : groups) {
        const int s = group.first;
        if (!hasSet(activeCurveSets(), s))
            continue;
        centerOnCurve(s, -1, false);
        // The viewers show the set while the work runs; no click may change
        // the selection or the lists meanwhile.
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

        const bool computed =
            updateFilterSolution(viewerSide, Filter::linear, 0.5, 0.0, 0.0,
                                 QString::fromLatin1(Keys::dataCacheToolsAutoFilterSolution), channel)
            && updateImgGrads(viewerSide, QString::fromLatin1(Keys::dataCacheToolsAutoFilterSolution),
                              QString::fromLatin1(Keys::dataCacheToolsAutoGradX),
                              QString::fromLatin1(Keys::dataCacheToolsAutoGradY), channel)
            && updateImgEdgeDetector(viewerSide, 500.0, QString::fromLatin1(Keys::dataCacheToolsAutoGradX),
                                     QString::fromLatin1(Keys::dataCacheToolsAutoGradY),
                                     QString::fromLatin1(Keys::dataCacheToolsAutoEdgeDetector), channel)
            && updateSegmEdgeDetectorGradField(viewerSide, QString::fromLatin1(Keys::dataCacheToolsAutoEdgeDetector),
                                               QString::fromLatin1(Keys::dataCacheToolsAutoEdgeDetectorGradX),
                                               QString::fromLatin1(Keys::dataCacheToolsAutoEdgeDetectorGradY),
                                               channel);
        const int width = file->workAreaWidth;
        const int height = file->workAreaHeight;
        const std::size_t count = static_cast<std::size_t>(std::max(width, 0)) * std::max(height, 0);
        const float* vx = nullptr;
        const float* vy = nullptr;
        if (computed && band >= 0 && static_cast<std::size_t>(band) < file->bands.size()
            && !file->bands[static_cast<std::size_t>(band)].levels.empty()) {
            const IO::BandLevel& level = file->bands[static_cast<std::size_t>(band)].levels[0];
            if (level.cacheSize(Keys::dataCacheToolsAutoEdgeDetectorGradX) == count
                && level.cacheSize(Keys::dataCacheToolsAutoEdgeDetectorGradY) == count) {
                vx = level.cacheData(Keys::dataCacheToolsAutoEdgeDetectorGradX);
                vy = level.cacheData(Keys::dataCacheToolsAutoEdgeDetectorGradY);
            }
        }
        if (count == 0 || !vx || !vy) {
            featuresMissing = true;
            break;
        }

        // The origin of the working area this set was evolved in: the next
        // set's centring may move it.
        const double originX = file->getWorkAreaX(side);
        const double originY = file->getWorkAreaY(side);
        const std::vector<float> ones(count, 1.0f);
        const std::vector<Curve>& curves = activeCurveSets()[s].curves;
        AdjustedSet result;
        for (std::size_t i = 0; i < curves.size(); ++i) {
            const Curve& curve = curves[i];
            result.closed.push_back(curve.closed);
            std::vector<Point2D> points = shifted(curve.points(), -originX, -originY);
            const bool selected =
                std::find(group.second.begin(), group.second.end(), static_cast<int>(i)) != group.second.end();
            if (selected && curve.closed) {
                points = evolveClosed(points, vx, vy, ones, width, height, curvatureInfluence);
            } else if (selected) {
                // Segments keep their own smoothing weight.
                std::vector<Point2D> moved = SegmentEvolution().adjustCurve(points, vx, vy, width, height, 0.3);
                if (!moved.empty())
                    points = std::move(moved);
            }
            result.lists.push_back(shifted(points, originX, originY));
        }
        adjusted.push_back(std::move(result));
    }

    if (featuresMissing) {
        showMessageBox(QStringLiteral("Unable to adjust curves: no image features for the chosen channel."), 2);
    } else {
        const std::vector<int> colour = inactiveCurveColour(*this);
        for (const AdjustedSet& result : adjusted) {
            CurveSet set(result.lists);
            set.updateBoundingBoxes();
            // A set that reaches the border of the data is dropped.
            if (!(set.maxX < file->width && set.maxY < file->height && set.minX > 0.0 && set.minY > 0.0))
                continue;
            set.setName("curveSet_" + std::to_string(curveSetCounter++));
            set.setType("kml");
            set.resetStatistics(static_cast<int>(file->bands.size()));
            for (std::size_t k = 0; k < set.curves.size(); ++k) {
                Curve& curve = set.curves[k];
                curve.setSegmType("adjust");
                curve.closed = result.closed[k];
                curve.color = colour;
                curve.setName("curve_" + std::to_string(curveCounter++));
                curve.updateInnerFromGeometry();
            }
            appendCurveSet(std::move(set));
        }
    }

    setCurvesExplorer(currentCurveSetIndex());
    releaseWorkingAreaLock();
    setMainControlsLocked(false);
    refreshAllViewers();
}

} // namespace UI
