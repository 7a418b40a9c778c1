// The statistics launchers of the "Monitoring" page: the statistics of the
// active data set, the differences of two data sets of one ground, and area
// monitoring of one curve set from each of two data sets.
//
// The combos hold names only; every index is checked against the lists at
// the moment of the click, so a window never gets a data set or curve set
// that does not exist.

#include "workflows/StatisticsLaunchers.h"

#include <utility>

#include <QComboBox>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "forms/StatisticsWindowForm.h"
#include "windows/StatisticsWindow.h"
#include "workflows/CurveWorkflows.h"

namespace UI {

namespace {

StatisticsWindowFactory& installedFactory()
{
    static StatisticsWindowFactory factory;
    return factory;
}

void warn(const QString& text)
{
    showMessageBox(text, 2);
}

// The same ground: one data set, or two that say so.
bool sameGround(const IO::File* a, const IO::File* b)
{
    return a == b || a->sameGeolocation(b);
}

QString nameOf(const IO::File* file)
{
    return QString::fromStdString(file->name);
}

} // namespace

StatisticsWindowFactory setStatisticsWindowFactory(StatisticsWindowFactory factory)
{
    return std::exchange(installedFactory(), std::move(factory));
}

StatisticsWindow* openStatisticsWindow(StatisticsWindowRequest request)
{
    QList<CurveSet>& sets = request.areaMonitoring || !request.curveSets ? request.copies : *request.curveSets;
    auto* window = new StatisticsWindow(sets, request.dataFiles, request.level, request.areaMonitoring, nullptr);
    if (!request.areaMonitoring)
        window->setCurveSetOwner(request.owner);
    window->setAttribute(Qt::WA_DeleteOnClose);
    // Application-modal: the window holds the main window's list and data
    // sets, so neither the main window nor a tool window may change them.
    window->setWindowModality(Qt::ApplicationModal);
    window->setWindowTitle(request.title);
    window->ui->pushButtonCompare->setEnabled(request.compareEnabled);
    window->show();
    return window;
}

void launchStatisticsWindow(StatisticsWindowRequest request)
{
    if (const StatisticsWindowFactory& factory = installedFactory())
        factory(std::move(request));
    else
        openStatisticsWindow(std::move(request));
}

void FenlarkApp::on_pushButtonShowStatistics_clicked()
{
    IO::File* file = getDataFile(ui->activeSide);
    if (!file) {
        warn(tr("Select file."));
        return;
    }
    QList<CurveSet>& sets = activeCurveSets();
    if (sets.isEmpty()) {
        warn(tr("Curve explorer list is empty."));
        return;
    }
    StatisticsWindowRequest request;
    request.curveSets = &sets;
    request.dataFiles = {file};
    request.owner = file;
    request.title = tr("Statistics from: %1").arg(nameOf(file));
    launchStatisticsWindow(std::move(request));
}

void FenlarkApp::on_pushButtonShowStatisticsDiff_clicked()
{
    IO::File* active = getDataFile(ui->activeSide);
    if (!active || activeCurveSets().isEmpty()) {
        warn(tr("Curve explorer list is empty."));
        return;
    }
    const int first = ui->comboBoxStatsDiffFile1->currentIndex();
    const int second = ui->comboBoxStatsDiffFile2->currentIndex();
    if (first < 0 || first >= dataFiles.size() || second < 0 || second >= dataFiles.size()) {
        warn(tr("Select file."));
        return;
    }
    if (first == second) {
        warn(tr("Select two different files"));
        return;
    }
    IO::File* one = dataFiles[first];
    IO::File* two = dataFiles[second];
    // The active data set's curve sets are measured on both: it must lie on
    // their ground too.
    if (!one->sameGeolocation(two) || !sameGround(active, one) || !sameGround(active, two)) {
        warn(tr("Selected files have different geolocation"));
        return;
    }
    StatisticsWindowRequest request;
    request.curveSets = &activeCurveSets();
    request.dataFiles = {one, two};
    request.owner = active;
    request.compareEnabled = false;
    request.title = tr("Statistics differences from: %1 and %2").arg(nameOf(one), nameOf(two));
    launchStatisticsWindow(std::move(request));
}

void FenlarkApp::on_pushButtonAreaMonitoring_clicked()
{
    QComboBox* curves1 = ui->comboBoxStatsAreaDiffCurve1;
    QComboBox* curves2 = ui->comboBoxStatsAreaDiffCurve2;
    if (curves1->count() == 0 || curves2->count() == 0) {
        warn(tr("Curve explorer list is empty."));
        return;
    }
    const int first = ui->comboBoxStatsAreaDiffFile1->currentIndex();
    const int second = ui->comboBoxStatsAreaDiffFile2->currentIndex();
    if (first < 0 || first >= dataFiles.size() || first >= curveSets.size() || second < 0
        || second >= dataFiles.size() || second >= curveSets.size()) {
        warn(tr("Select file."));
        return;
    }
    const int set1 = curves1->currentIndex();
    const int set2 = curves2->currentIndex();
    if (!CurveWorkflows::hasSet(curveSets[first], set1) || !CurveWorkflows::hasSet(curveSets[second], set2)) {
        warn(tr("Curve explorer list is empty."));
        return;
    }
    IO::File* one = dataFiles[first];
    IO::File* two = dataFiles[second];
    if (!sameGround(one, two)) {
        warn(tr("Selected files have different geolocation"));
        return;
    }
    StatisticsWindowRequest request;
    request.copies = {curveSets[first][set1], curveSets[second][set2]};
    request.dataFiles = {one, two};
    request.areaMonitoring = true;
    request.title = tr("Statistics area from: %1 and %2").arg(nameOf(one), nameOf(two));
    launchStatisticsWindow(std::move(request));
}

void FenlarkApp::on_comboBoxStatsAreaDiffFile1_currentIndexChanged(int)
{
    fillAreaMonitoringCurveComboBoxes();
}

void FenlarkApp::on_comboBoxStatsAreaDiffFile2_currentIndexChanged(int)
{
    fillAreaMonitoringCurveComboBoxes();
}

} // namespace UI
