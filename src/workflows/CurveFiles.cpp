// Curve files of the active data set: KML files loaded into new curve sets,
// and curve sets or single curves saved as KML files. Reading and writing in
// geographic coordinates belong to the data set; this side turns what a file
// yields into a curve set and tells the user what failed.

#include <exception>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProgressDialog>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/WidgetUtils.h"
#include "workflows/CurveWorkflows.h"

namespace UI {

using namespace CurveWorkflows;

namespace {

constexpr char loadPathKey[] = "folderCurveLoadPath";
constexpr char savePathKey[] = "folderCurveSavePath";
const QString kmlFilter = QStringLiteral("KML file (*.kml);;All files (*)");

// The result codes of the curve-file operations: 1 format, 2 corrupted,
// 3 any other failure of the file layer.
int codeOf(IO::File::error error)
{
    switch (error) {
    case IO::File::error::NoError:
        return 0;
    case IO::File::error::UnsupportedFormat:
        return 1;
    case IO::File::error::FileCorrupted:
        return 2;
    default:
        return 3;
    }
}

// A set or curve name as a file name inside the chosen folder: names come
// from KML files and renames, so separators and control characters go.
QString fileNameOf(const std::string& name)
{
    QString text = QString::fromStdString(name);
    for (QChar& c : text) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.category() == QChar::Other_Control)
            c = QLatin1Char('_');
    }
    return text;
}

// One file to write: a whole set (curve -1) or one of its curves.
struct CurveFileJob {
    int set = -1;
    int curve = -1;
    QString path;
};

} // namespace

// ---------------------------------------------------------------------------
// Loading
// ---------------------------------------------------------------------------

void FenlarkApp::on_actionLoad_curves_triggered()
{
    if (!getDataFile(ui->activeSide))
        return;
    const QStringList files = chooseOpenFileNames(this, QStringLiteral("Load curves"),
                                                  settings.value(loadPathKey, QString()).toString(), kmlFilter);
    if (files.isEmpty())
        return;
    loadCurves(files);
    refreshAllViewers();
}

void FenlarkApp::loadCurves(QStringList files)
{
    if (files.isEmpty() || !getDataFile(ui->activeSide))
        return;
    settings.setValue(loadPathKey, QFileInfo(files.first()).absolutePath());

    QProgressDialog progress;
    setupProgressDialog(this, &progress, QStringLiteral("Loading curves..."), static_cast<int>(files.size()));
    progress.show();
    for (int i = 0; i < files.size(); ++i) {
        const int code = loadCurveFile(files[i]);
        if (code != 0)
            showMessageBox(QStringLiteral("Unable to open curve file %1. ").arg(files[i]) + curveFileErrorText(code),
                           2);
        progress.setValue(i);
        QApplication::processEvents();
    }
    progress.close();

    if (activeCurveSets().isEmpty())
        return;
    setCurvesExplorer(currentCurveSetIndex());
    if (reorientedCurveCount != 0) {
        showMessageBox(QStringLiteral("Some of the curves were oppositely oriented. \nFenlark changed the "
                                      "orientation of %1 curves.")
                           .arg(reorientedCurveCount),
                       2);
        reorientedCurveCount = 0;
    }
}

int FenlarkApp::loadCurveFile(QString path)
{
    IO::File* file = getDataFile(ui->activeSide);
    if (!file)
        return 3;
    const QFileInfo info(path);
    std::vector<std::vector<Point2D>> curves;
    std::vector<std::string> names;
    try {
        file->loadCurves(path.toStdString(), info.suffix().toStdString(), curves, names);
    } catch (IO::File::error e) {
        return codeOf(e) == 0 ? 3 : codeOf(e);
    } catch (const std::exception&) {
        return 3;
    }
    try {
        addCurveSetFromCurves(info.baseName(), info.completeSuffix(), curves, names);
    } catch (CurveSet::error e) {
        return static_cast<int>(e);
    }
    return 0;
}

void FenlarkApp::addCurveSetFromCurves(QString name, QString type, const std::vector<std::vector<Point2D>>& curves,
                                       const std::vector<std::string>& names)
{
    const IO::File* file = getDataFile(ui->activeSide);
    if (!file)
        throw CurveSet::error::OutsideData;
    // A coordinates element without points gives an empty list: it is no
    // curve, and its name goes with it.
    std::vector<std::vector<Point2D>> kept;
    std::vector<std::string> keptNames;
    for (std::size_t i = 0; i < curves.size(); ++i) {
        if (curves[i].empty())
            continue;
        kept.push_back(curves[i]);
        keptNames.push_back(i < names.size() ? names[i] : std::string());
    }
    if (kept.empty())
        throw CurveSet::error::NoCurves;

    CurveSet set(kept);
    set.updateBoundingBoxes();
    if (!(set.maxX < file->width && set.maxY < file->height && set.minX > 0.0 && set.minY > 0.0))
        throw CurveSet::error::OutsideData;
    set.setName(name.toStdString());
    set.setType(type.toStdString());
    set.resetStatistics(static_cast<int>(file->bands.size()));
    ++curveSetCounter;

    const std::vector<int> colour = inactiveCurveColour(*this);
    for (std::size_t k = 0; k < set.curves.size(); ++k) {
        Curve& curve = set.curves[k];
        curve.closed = kept[k].front() == kept[k].back();
        curve.setName(keptNames[k].empty() ? "curve_" + std::to_string(curveCounter) : keptNames[k]);
        curve.color = colour;
        // Negative area marks a hole of the set; an open curve is never one.
        curve.updateInnerFromGeometry();
        ++curveCounter;
    }
    // A lone curve cannot be a hole: it was drawn the other way round.
    if (set.curves.size() == 1 && set.curves.front().inner) {
        set.curves.front().reversePoints();
        set.curves.front().updateInnerFromGeometry();
        ++reorientedCurveCount;
    }
    appendCurveSet(std::move(set));
}

// ---------------------------------------------------------------------------
// Saving
// ---------------------------------------------------------------------------

IO::File::error FenlarkApp::saveCurveSet(int curveSetIndex, QString path, int curveIndex)
{
    IO::File* file = getDataFile(ui->activeSide);
    const QList<CurveSet> sets = activeCurveSets();
    if (!file || !hasSet(sets, curveSetIndex) || (curveIndex != -1 && !hasCurve(sets, curveSetIndex, curveIndex)))
        return IO::File::error::CannotOpen;
    const CurveSet& set = sets[curveSetIndex];
    CurveSet chosen;
    if (curveIndex == -1)
        chosen.curves = set.curves;
    else
        chosen.curves = {set.curves[static_cast<std::size_t>(curveIndex)]};
    try {
        file->saveCurves(path.toStdString(), QFileInfo(path).suffix().toStdString(), chosen.pointLists(0, 0),
                         chosen.names(), chosen.codes(), chosen.segmentationTypes(), chosen.segmentationParams());
    } catch (IO::File::error e) {
        return e;
    } catch (const std::exception&) {
        return IO::File::error::CannotOpen;
    }
    return IO::File::error::NoError;
}

namespace {

// Every save ends here: each file written in turn, each failure told.
void writeCurveFiles(FenlarkApp& window, const QList<CurveFileJob>& jobs)
{
    for (const CurveFileJob& job : jobs) {
        const int code = codeOf(window.saveCurveSet(job.set, job.path, job.curve));
        if (code != 0)
            showMessageBox(QStringLiteral("Unable to save curve file %1. ").arg(job.path) + curveFileErrorText(code),
                           2);
    }
}

} // namespace

namespace {

// The folder of a save into a directory; empty when cancelled.
QString chooseSaveFolder(FenlarkApp& window)
{
    const QString folder =
        chooseExistingDirectory(&window, QStringLiteral("Select directory"),
                                window.settings.value(savePathKey, QString()).toString(),
                                QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (!folder.isEmpty())
        window.settings.setValue(savePathKey, folder);
    return folder;
}

QString pathIn(const QString& folder, const std::string& name)
{
    return folder + QLatin1Char('/') + fileNameOf(name) + QStringLiteral(".kml");
}

// The file of a single-file save, proposed from the name; a name chosen
// without a suffix gets ".kml". Empty when cancelled.
QString chooseSaveFile(FenlarkApp& window, const std::string& name)
{
    // Without a stored folder the bare name is proposed (the dialog starts in
    // the current folder), not a path in the root.
    const QString folder = window.settings.value(savePathKey, QString()).toString();
    const QString proposed = folder.isEmpty() ? QString::fromStdString(name)
                                              : folder + QLatin1Char('/') + QString::fromStdString(name);
    QString path = chooseSaveFileName(&window, QStringLiteral("Save curve"), proposed, kmlFilter);
    if (path.isEmpty())
        return path;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".kml");
    window.settings.setValue(savePathKey, QFileInfo(path).absolutePath());
    return path;
}

} // namespace

void FenlarkApp::on_actionSave_All_CurveSets_triggered()
{
    if (!getDataFile(ui->activeSide) || activeCurveSets().isEmpty())
        return;
    const QString folder = chooseSaveFolder(*this);
    if (folder.isEmpty())
        return;
    QList<CurveFileJob> jobs;
    const QList<CurveSet>& sets = activeCurveSets();
    for (int i = 0; i < sets.size(); ++i)
        jobs.append({i, -1, pathIn(folder, sets[i].name)});
    writeCurveFiles(*this, jobs);
}

void FenlarkApp::saveAction_triggered(bool)
{
    QList<int> setIds;
    QList<QPair<int, int>> curveIds;
    getSelectedState(setIds, curveIds);
    const QString folder = chooseSaveFolder(*this);
    if (folder.isEmpty())
        return;
    const QList<CurveSet>& sets = activeCurveSets();
    QList<CurveFileJob> jobs;
    for (int set : setIds) {
        if (hasSet(sets, set))
            jobs.append({set, -1, pathIn(folder, sets[set].name)});
    }
    for (const QPair<int, int>& pair : curveIds) {
        if (!setIds.contains(pair.first) && hasCurve(sets, pair.first, pair.second))
            jobs.append({pair.first, pair.second,
                         pathIn(folder, sets[pair.first].curves[static_cast<std::size_t>(pair.second)].name)});
    }
    writeCurveFiles(*this, jobs);
}

void FenlarkApp::saveCurveSetAction_triggered(bool)
{
    QList<int> setIds;
    QList<QPair<int, int>> curveIds;
    getSelectedState(setIds, curveIds);
    const QList<CurveSet>& sets = activeCurveSets();
    if (setIds.isEmpty() || !hasSet(sets, setIds.first()))
        return;
    const int set = setIds.first();
    const QString path = chooseSaveFile(*this, sets[set].name);
    if (!path.isEmpty())
        writeCurveFiles(*this, {{set, -1, path}});
}

void FenlarkApp::saveCurveAction_triggered(bool)
{
    int set = -1;
    int curve = -1;
    if (!firstSelectedCurve(*this, set, curve))
        return;
    const QList<CurveSet>& sets = activeCurveSets();
    const QString path = chooseSaveFile(*this, sets[set].curves[static_cast<std::size_t>(curve)].name);
    if (!path.isEmpty())
        writeCurveFiles(*this, {{set, curve, path}});
}

} // namespace UI
