// The feature drivers: on the GUI thread they resolve a viewer side into
// plain values, pick the bands that take part and hand one worker task per
// band (or one over three bands) to the task runner, strictly one after
// another, so each task sees what the one before it wrote.

#include <QDoubleSpinBox>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/WidgetUtils.h"
#include "filter/Filtration.h"
#include "tools/TaskRunner.h"

namespace UI {

namespace {

// Runs one worker with its arguments behind the progress dialog; the
// worker's flag, false when the task threw or was refused.
template <typename... Args>
bool runFeatureTask(const QString& label, bool (*worker)(Args...), std::type_identity_t<Args>... args)
{
    bool ok = false;
    runWithProgressDialog(label, ok, std::function<bool(Args...)>(worker), std::move(args)...);
    return ok;
}

QString bandText(const FenlarkApp::FeatureSide& side, int band)
{
    return QString::fromStdString(side.area.file->bandName(band));
}

// The three display bands' names for a label of three channels.
QString threeBandsText(const QString& pattern, const FenlarkApp::FeatureSide& side)
{
    return pattern.arg(bandText(side, side.bands[0]), bandText(side, side.bands[1]), bandText(side, side.bands[2]));
}

} // namespace

std::vector<std::vector<int>> FenlarkApp::featureTaskBands(BandRule rule, int channel, std::array<int, 3> display,
                                                           bool multiChannel)
{
    const int red = display[0];
    const int green = display[1];
    const int blue = display[2];
    // The band a selector names on its own: -1 and 0 red, 1 green, 2 blue.
    const auto selected = [&]() -> std::vector<std::vector<int>> {
        if (channel < -1 || channel > 2)
            return {};
        return {{display[static_cast<std::size_t>(std::max(channel, 0))]}};
    };
    std::vector<std::vector<int>> tasks;
    switch (rule) {
    case BandRule::PerBand:
        if (channel == -1 || channel == 0)
            tasks.push_back({red});
        if (multiChannel && (channel == -1 || channel == 1))
            tasks.push_back({green});
        if (multiChannel && (channel == -1 || channel == 2))
            tasks.push_back({blue});
        return tasks;
    case BandRule::OneBand:
        return selected();
    case BandRule::EdgeDetector:
        if (multiChannel && channel == -1)
            return {{red, green, blue}};
        return selected();
    case BandRule::ThreeBands:
        return {{red, green, blue}};
    case BandRule::GraphLaplacian:
        tasks.push_back({red});
        if (multiChannel) {
            tasks.push_back({green});
            tasks.push_back({blue});
        }
        return tasks;
    }
    return tasks;
}

bool FenlarkApp::resolveFeatureSide(ViewerSide side, FeatureSide& out)
{
    const int index = static_cast<int>(side);
    IO::File* file = getDataFile(index);
    if (!file || file->workAreaWidth <= 0 || file->workAreaHeight <= 0)
        return false;
    out.area.file = file;
    out.area.width = file->workAreaWidth;
    out.area.height = file->workAreaHeight;
    out.area.x = file->getWorkAreaX(index);
    out.area.y = file->getWorkAreaY(index);
    for (int channel = 0; channel < 3; ++channel)
        out.bands[static_cast<std::size_t>(channel)] = getBandIndex(index, channel);
    out.multiChannel = isMultiChannel(index);
    return true;
}

bool FenlarkApp::runFeatureBands(ViewerSide side, BandRule rule, int channel, const QStringList& outputs,
                                 const std::function<bool(const FeatureSide&, const std::vector<int>&)>& task)
{
    FeatureSide resolved;
    if (!resolveFeatureSide(side, resolved))
        return false;
    const std::vector<std::vector<int>> tasks =
        featureTaskBands(rule, channel, resolved.bands, resolved.multiChannel);
    if (tasks.empty())
        return false;
    // A stored band index can be stale (another data set, a band unloaded
    // since): nothing starts unless every band taking part holds its pixels.
    for (const std::vector<int>& bands : tasks)
        for (int band : bands)
            if (!resolved.area.file->isLoaded(band, 0))
                return false;
    bool allDone = true;
    std::vector<int> written;
    for (const std::vector<int>& bands : tasks) {
        allDone = task(resolved, bands) && allDone;
        written.push_back(bands.front());
    }
    // Both sides may show this data set: its entries now hold this side's
    // window.
    retireOverwrittenFeature(static_cast<int>(side), resolved.area.file, written, outputs);
    return allDone;
}

bool FenlarkApp::updateFilterSolution(ViewerSide side, Filter::FilterType type, double linearTimestep,
                                      double sensitivity, double nonlinearTimestep, QString outputKey, int channel)
{
    return runFeatureBands(side, BandRule::PerBand, channel, {outputKey},
                           [&](const FeatureSide& s, const std::vector<int>& b) {
        // Sized per request, so each side filters its own data set's area.
        initFiltration(s.area.width, s.area.height);
        if (!filtration)
            return false;
        return runFeatureTask(tr("Filtering channel %1...").arg(bandText(s, b[0])), &filterSolution,
                              filtration.get(), s.area, b[0], 0, type, linearTimestep, sensitivity,
                              nonlinearTimestep, outputKey, QString());
    });
}

bool FenlarkApp::updateFilterFeatureSolution(ViewerSide side, Filter::FilterType type, double linearTimestep,
                                             double sensitivity, double nonlinearTimestep, QString inputKey,
                                             QString outputKey, int channel)
{
    const std::string input = inputKey.toStdString();
    return runFeatureBands(side, BandRule::PerBand, channel, {outputKey},
                           [&](const FeatureSide& s, const std::vector<int>& b) {
        // A feature computed over three bands lives in the red band's record
        // only: green and blue have nothing to filter and are passed over.
        const bool otherBand = b[0] != s.bands[0];
        if (channel == -1 && s.multiChannel && otherBand
            && s.area.file->bands[static_cast<std::size_t>(b[0])].levels[0].cacheSize(input) == 0)
            return true;
        initFiltration(s.area.width, s.area.height);
        if (!filtration)
            return false;
        return runFeatureTask(tr("Filtering feature..."), &filterSolution, filtration.get(), s.area, b[0], 0, type,
                              linearTimestep, sensitivity, nonlinearTimestep, outputKey, inputKey);
    });
}

bool FenlarkApp::updateImgGrads(ViewerSide side, QString inputKey, QString xOutputKey, QString yOutputKey,
                                int channel)
{
    return runFeatureBands(side, BandRule::PerBand, channel, {xOutputKey, yOutputKey},
                           [&](const FeatureSide& s, const std::vector<int>& b) {
        return runFeatureTask(tr("Gradients for channel %1...").arg(bandText(s, b[0])), &imgGrads, s.area, b[0],
                              0, inputKey, xOutputKey, yOutputKey);
    });
}

bool FenlarkApp::updateImgEdgeDetector(ViewerSide side, double sensitivity, QString xGradientKey,
                                       QString yGradientKey, QString outputKey, int channel)
{
    return runFeatureBands(side, BandRule::EdgeDetector, channel, {outputKey},
                           [&](const FeatureSide& s, const std::vector<int>& b) {
                               const bool three = b.size() == 3;
                               const QString label =
                                   three ? threeBandsText(tr("Edge detector for channels %1, %2 and %3..."), s)
                                         : tr("Edge detector for channel %1...").arg(bandText(s, b[0]));
                               return runFeatureTask(label, &imgEdgeDetector, s.area, b[0], three ? b[1] : -1,
                                                     three ? b[2] : -1, 0, sensitivity, xGradientKey,
                                                     yGradientKey, outputKey);
                           });
}

bool FenlarkApp::updateImgMaxGrads(ViewerSide side, QString xGradientKey, QString yGradientKey, QString xOutputKey,
                                   QString yOutputKey)
{
    return runFeatureBands(side, BandRule::ThreeBands, -1, {xOutputKey, yOutputKey},
                           [&](const FeatureSide& s, const std::vector<int>& b) {
        return runFeatureTask(threeBandsText(tr("Max gradients for channels %1, %2 and %3..."), s), &imgMaxGrads,
                              s.area, b[0], b[1], b[2], 0, xGradientKey, yGradientKey, xOutputKey, yOutputKey);
    });
}

bool FenlarkApp::updateSegmEdgeDetectorGradField(ViewerSide side, QString inputKey, QString xOutputKey,
                                                 QString yOutputKey, int channel)
{
    return runFeatureBands(side, BandRule::OneBand, channel, {xOutputKey, yOutputKey},
                           [&](const FeatureSide& s, const std::vector<int>& b) {
        const QString label =
            s.multiChannel && channel == -1
                ? threeBandsText(tr("Edge detector gradient field for channels %1, %2 and %3..."), s)
                : tr("Edge detector gradient field for channel %1...").arg(bandText(s, b[0]));
        return runFeatureTask(label, &segmEdgeDetectorGradField, s.area, b[0], 0, inputKey, xOutputKey,
                              yOutputKey);
    });
}

bool FenlarkApp::updateSegmEdgeDetectorGradFieldNorm(ViewerSide side, QString xInputKey, QString yInputKey,
                                                     QString outputKey, int channel)
{
    return runFeatureBands(side, BandRule::OneBand, channel, {outputKey},
                           [&](const FeatureSide& s, const std::vector<int>& b) {
        const QString label =
            s.multiChannel && channel == -1
                ? threeBandsText(tr("Norm of edge detector gradient field for channels %1, %2 and %3..."), s)
                : tr("Norm of edge detector gradient field for channel %1...").arg(bandText(s, b[0]));
        return runFeatureTask(label, &segmEdgeDetectorGradFieldNorm, s.area, b[0], 0, xInputKey, yInputKey,
                              outputKey);
    });
}

bool FenlarkApp::updateExpandingForce(ViewerSide side, QString firstInputKey, QString secondInputKey,
                                      QString outputKey, int channel)
{
    return runFeatureBands(side, BandRule::OneBand, channel, {outputKey},
                           [&](const FeatureSide& s, const std::vector<int>& b) {
        return runFeatureTask(tr("Expanding force function for channel %1...").arg(bandText(s, b[0])),
                              &expandingForce, s.area, b[0], 0, firstInputKey, secondInputKey, outputKey);
    });
}

bool FenlarkApp::homogeneityReference(IO::File* file, int band, bool useCustomValues, UI::CurveSet& out)
{
    UI::CurveSet* set = selectedCurveSet();
    if (!set) {
        // Without a selected set the custom values alone can serve.
        if (useCustomValues) {
            out = UI::CurveSet();
            return true;
        }
        showMessageBox(tr("Select curve from Curve explorer"), 0);
        featureRefusalShown_ = true;
        return false;
    }
    // The statistics are computed once and kept in the set; a set that gives
    // none (outside the data, nothing inside) gives no homogeneity.
    if (!useCustomValues && !ensureBandStatistics(*set, file, band))
        return false;
    out = *set;
    return true;
}

bool FenlarkApp::updateHomogeneityFunction(ViewerSide side, HomogeneityType type, double eps, QString inputKey,
                                           QString outputKey, int channel, bool useCustomValues,
                                           QList<double> customValues)
{
    return runFeatureBands(side, BandRule::OneBand, channel, {outputKey},
                           [&](const FeatureSide& s, const std::vector<int>& b) {
        UI::CurveSet reference;
        if (!homogeneityReference(s.area.file, b[0], useCustomValues, reference))
            return false;
        return runFeatureTask(tr("Homogeneity function for channel %1...").arg(bandText(s, b[0])),
                              &homogeneityFunction, s.area, b[0], 0, type, eps, reference, inputKey, outputKey,
                              useCustomValues, customValues);
    });
}

bool FenlarkApp::updateGraphLaplacianSolution(ViewerSide side, int neighbourhood, QString inputKey,
                                              QString outputKey, bool meanOverChannels, QString meanOutputKey)
{
    // The sensitivity of the saturation, read here for the tasks; -1 (none)
    // while the monitoring page has no such control.
    const QPointer<QDoubleSpinBox>& control = ui->doubleSpinBoxMonitoringLaplacianSensitivity;
    const double sensitivity = control ? control->value() : -1.0;
    bool multiChannel = false;
    const bool done = runFeatureBands(side, BandRule::GraphLaplacian, -1, {outputKey},
                                      [&](const FeatureSide& s, const std::vector<int>& b) {
                                          multiChannel = s.multiChannel;
                                          return runFeatureTask(
                                              tr("Graph Laplacian on %1...").arg(bandText(s, b[0])),
                                              &graphLaplacianSolution, s.area, b[0], 0, neighbourhood, inputKey,
                                              outputKey, sensitivity);
                                      });
    if (!done || !multiChannel || !meanOverChannels)
        return done;
    return updateMeanGraphLaplacian(side, outputKey, meanOutputKey);
}

bool FenlarkApp::updateMeanGraphLaplacian(ViewerSide side, QString inputKey, QString outputKey)
{
    return runFeatureBands(side, BandRule::ThreeBands, -1, {outputKey},
                           [&](const FeatureSide& s, const std::vector<int>& b) {
        return runFeatureTask(threeBandsText(tr("Mean Graph Laplacian for channels %1, %2 and %3..."), s),
                              &meanGraphLaplacian, s.area, b[0], b[1], b[2], 0, inputKey, outputKey);
    });
}

} // namespace UI
