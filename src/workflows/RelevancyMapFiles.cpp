// Relevancy maps as files: GeoTIFF maps loaded onto and saved from the grid
// of a Sentinel-2 data set, text maps combined by a per-pixel maximum, and
// random pixels of a map written as latitude/longitude point files.

#include <fstream>
#include <memory>

#include <QDebug>
#include <QFileInfo>
#include <QSettings>
#include <QTreeWidget>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/WidgetUtils.h"
#include "analysis/NatNetInfo.h"
#include "io/AtomicFile.h"
#include "io/NumberText.h"
#include "io/OrthoMosaicTifFile.h"
#include "io/StringUtils.h"
#include "io/UserFiles.h"
#include "tools/TaskRunner.h"
#include "workflows/CurveWorkflows.h"
#include "workflows/RelevancyMapRules.h"

namespace UI {

namespace {

constexpr char openPathKey[] = "folderRMopenPath";
constexpr char pointsPathKey[] = "folderRandomPointsRMPath";
const QString tiffFilter = QStringLiteral("Tiff file (*.tif);;All files (*)");
const QString textMapFilter = QStringLiteral("Relevancy map file (*.pgm);;All files (*)");

// Whether one of the files is large enough for count values of a text map.
bool anyFileCanHold(const QList<QString>& files, std::size_t count)
{
    for (const QString& path : files) {
        const QFileInfo info(path);
        if (info.isFile() && RelevancyMaps::textMapCapacity(static_cast<std::uintmax_t>(info.size())) >= count)
            return true;
    }
    return false;
}

} // namespace

// ---------------------------------------------------------------------------
// Load
// ---------------------------------------------------------------------------

void FenlarkApp::mapLoadAction_triggered(bool)
{
    IO::File* target = getDataFile(ui->activeSide);
    if (!target)
        return;
    const QStringList files = chooseOpenFileNames(this, tr("Load relevancy map"),
                                                  settings.value(openPathKey, QString()).toString(), tiffFilter);
    if (files.isEmpty())
        return;
    RelevancyMapLoad load;
    runWithProgressDialog<RelevancyMapLoad, QList<QString>, IO::File*>(
        tr("Loading relevancy maps..."), load, &FenlarkApp::loadRelevancyMaps, files, target);
    // The folder of the first file, and every map read before a failure.
    settings.setValue(openPathKey, QFileInfo(files.first()).absolutePath());
    activeRelevancyMaps().append(load.maps);
    if (!load.loaded)
        showMessageBox(tr("Unable to load relevancy map %1.\nCheck if the relevancy map is computed from area of "
                          "selected file.")
                           .arg(files.first()),
                       2);
    if (!activeRelevancyMaps().isEmpty())
        setRMExplorer(getRMExplorerIndex(ui->activeSide));
}

FenlarkApp::RelevancyMapLoad FenlarkApp::loadRelevancyMaps(QList<QString> files, IO::File* target)
{
    RelevancyMapLoad load;
    if (files.isEmpty() || !target)
        return load;
    for (const QString& path : files) {
        if (loadRelevancyMap(path, target, load.maps) == 3)
            return load;
    }
    load.loaded = true;
    return load;
}

int FenlarkApp::loadRelevancyMap(QString path, IO::File* target, QList<RelevancyMap>& maps)
{
    const QFileInfo info(path);
    if (!target || info.suffix() != QLatin1String("tif"))
        return 3;
    IO::OrthoMosaicTifFile map;
    map.setDataType("OrthoMosaic tif image");
    try {
        map.open(info.completeBaseName().toStdString(), info.suffix().toStdString(),
                 info.absolutePath().toStdString());
    } catch (IO::File::error) {
        return 3;
    }

    // Where the file's corner falls on the data set's grid; -1 when the
    // zones differ or the data set has no UTM grid. The map must lie inside
    // the data set: its size comes from the file's header, and a map that
    // does not fit is refused before its band is read.
    double easting = -1.0;
    double northing = -1.0;
    std::vector<double> zone;
    map.utmOrigin(&easting, &northing, zone);
    int x = -1;
    int y = -1;
    target->utmToPixel(easting, northing, zone, &x, &y);
    if (x < 0 || y < 0 || static_cast<long long>(x) + map.width > target->width
        || static_cast<long long>(y) + map.height > target->height)
        return 3;

    try {
        map.loadBand(0, 0, 0.0, 1.0, false, true);
    } catch (IO::File::error) {
        return 3;
    }
    if (map.bands.empty() || map.bands.front().levels.empty() || !map.bands.front().levels.front().data)
        return 0;
    const IO::BandLevel& level = map.bands.front().levels.front();
    const long long count = static_cast<long long>(map.width) * map.height;
    if (level.count < count)
        return 3;

    RelevancyMap loaded;
    loaded.x = x;
    loaded.y = y;
    loaded.width = map.width;
    loaded.height = map.height;
    loaded.centreX = x + map.width / 2;
    loaded.centreY = y + map.height / 2;
    loaded.values.assign(level.data.get(), level.data.get() + count);
    loaded.setName(info.baseName().toStdString());
    loaded.setNetworkName("Loaded relevancy map");
    maps.append(std::move(loaded));
    return 0;
}

// ---------------------------------------------------------------------------
// Save
// ---------------------------------------------------------------------------

void FenlarkApp::mapSaveAction_triggered(bool)
{
    IO::File* target = getDataFile(ui->activeSide);
    if (!target)
        return;
    for (int row : CurveWorkflows::selectedTopLevelRows(ui->treeWidgetRMExplorer)) {
        const QList<RelevancyMap>& maps = activeRelevancyMaps();
        if (row < 0 || row >= maps.size())
            continue;
        const QString path = chooseSaveFileName(this, tr("Save relevancy map"),
                                                settings.value(openPathKey, QString()).toString(), tiffFilter);
        if (path.isEmpty())
            continue;
        bool saved = false;
        runWithProgressDialog<bool, QString, RelevancyMap, IO::File*>(
            tr("Saving relevancy map..."), saved, &FenlarkApp::saveRelevancyMap, path, maps[row], target);
        if (!saved)
            showMessageBox(tr("Unable to save relevancy map %1. ").arg(row), 2);
        qDebug().noquote() << "Saving Relevancy map to " + path;
    }
}

bool FenlarkApp::saveRelevancyMap(QString path, RelevancyMap map, IO::File* target)
{
    if (!target)
        return false;
    // Every export error is a failure: 1 for a name that is not ".tif", 3
    // when nothing could be written.
    try {
        target->exportGeoTiff(path.toStdString(), QFileInfo(path).suffix().toStdString(), map.values, map.x, map.y,
                              map.width, map.height);
    } catch (IO::File::error) {
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------
// Combine
// ---------------------------------------------------------------------------

void FenlarkApp::mapCombineAction_triggered(bool)
{
    if (!getDataFile(ui->activeSide))
        return;
    const QString start = settings.value(openPathKey, QString()).toString();
    const QStringList files = chooseOpenFileNames(this, tr("Combine relevancy maps"), start, textMapFilter);
    if (files.isEmpty())
        return;
    settings.setValue(openPathKey, QFileInfo(files.first()).absolutePath());
    const QString output = chooseSaveFileName(this, tr("Save combine relevancy map"), start, textMapFilter);
    // The combined map is written to that file: without one there is nothing
    // to do.
    if (output.isEmpty())
        return;
    bool combined = false;
    runWithProgressDialog<bool, QList<QString>, QString>(tr("Combining relevancy maps..."), combined,
                                                         &FenlarkApp::combineRelevancyMaps, files, output);
    if (!combined)
        showMessageBox(tr("Unable to combine relevancy map %1. ").arg(files.first()), 2);
}

bool FenlarkApp::combineRelevancyMaps(QList<QString> files, QString outPath)
{
    if (files.isEmpty() || outPath.isEmpty())
        return false;
    RelevancyMaps::TextMapHeader size;
    std::string line;
    // A line of a text map is a size or a value: one beyond the ceiling of
    // the line readers makes the file unreadable.
    auto readLine = [&line](std::istream& in) { return readBoundedTextLine(in, line) == TextLine::Read; };
    {
        // A path that is no regular file is not opened: a named pipe would
        // keep the task, and the window behind its dialog, waiting for good.
        if (!IO::isRegularFile(files.first().toStdString()))
            return false;
        std::ifstream first(files.first().toStdString(), std::ios::binary);
        if (!first || !readLine(first) || !readLine(first) || !RelevancyMaps::parseTextMapSize(line, size))
            return false;
    }
    const std::size_t count = static_cast<std::size_t>(size.width) * static_cast<std::size_t>(size.height);
    // The size line alone does not make a map: when no chosen file is large
    // enough for that many values, it is refused before anything is
    // allocated or written. Shorter files still combine beside one that is.
    if (!anyFileCanHold(files, count))
        return false;
    // A file's size is not what it holds: a sparse file stores a fraction
    // of it (and the blocks a file system reports say nothing either where
    // it compresses). So the map grows with the values read, and takes its
    // declared size only once every file has been read.
    std::vector<float> combined;
    for (const QString& path : files) {
        qDebug().noquote() << "Reading relevancy map " + path;
        if (!IO::isRegularFile(path.toStdString()))
            continue;
        std::ifstream in(path.toStdString(), std::ios::binary);
        if (!in)
            continue;
        RelevancyMaps::TextMapHeader header;
        if (!readLine(in) || !readLine(in) || !RelevancyMaps::parseTextMapSize(line, header)
            || header.width != size.width || header.height != size.height)
            return false;
        if (readBoundedTextLine(in, line) == TextLine::TooLong)
            return false;
        std::size_t position = 0;
        for (TextLine read; position < count && (read = readBoundedTextLine(in, line)) != TextLine::End;) {
            if (read == TextLine::TooLong)
                return false;
            if (line.find_first_not_of(" \t") == std::string::npos)
                continue;
            const auto value = IO::parseDouble(line);
            if (!value)
                return false;
            const float r = static_cast<float>(RelevancyMaps::combinedRelevancy(*value));
            if (position == combined.size())
                combined.push_back(r > 0.0f ? r : 0.0f);
            else if (r > combined[position])
                combined[position] = r;
            ++position;
        }
    }
    combined.resize(count, 0.0f);
    return IO::writeFileAtomically(outPath.toStdString(),
                                   RelevancyMaps::formatTextMap(size.width, size.height, combined));
}

// ---------------------------------------------------------------------------
// Random points
// ---------------------------------------------------------------------------

void FenlarkApp::randomPointsInRMAction_triggered(bool)
{
    const QList<int> rows = CurveWorkflows::selectedTopLevelRows(ui->treeWidgetRMExplorer);
    if (!getDataFile(ui->activeSide) || rows.isEmpty() || rows.first() >= activeRelevancyMaps().size())
        return;
    const std::optional<int> count =
        chooseInteger(this, tr("Random points"), tr("Set the count of random points in the selected relevancy map:"),
                      30, 1, 500, 5);
    if (!count)
        return;
    std::vector<std::vector<int>> black, white, gray;
    generateRandomPoints(rows.first(), *count, black, white, gray);
    const QString path =
        chooseSaveFileName(this, tr("Write random points"),
                           settings.value(pointsPathKey, QString()).toString() + QStringLiteral("/randomPoints"),
                           QStringLiteral("CSV file (*.csv);;All files (*)"));
    if (path.isEmpty())
        return;
    settings.setValue(pointsPathKey, QFileInfo(path).absolutePath());
    QString text = writeRandomPoints(path, black, white, gray);
    if (text.isEmpty())
        text = tr("Randomly generated points had been written in .csv files.");
    showMessageBox(text, 0);
}

void FenlarkApp::generateRandomPoints(int mapIndex, int count, std::vector<std::vector<int>>& black,
                                      std::vector<std::vector<int>>& white, std::vector<std::vector<int>>& gray)
{
    const QList<RelevancyMap>& maps = activeRelevancyMaps();
    if (mapIndex < 0 || mapIndex >= maps.size())
        return;
    std::mt19937 engine(randomPointSeed ? randomPointSeed() : RelevancyMaps::timeSeed());
    RelevancyMaps::RandomPoints points = RelevancyMaps::pickRandomPoints(maps[mapIndex], count, engine);
    black = std::move(points.black);
    white = std::move(points.white);
    gray = std::move(points.gray);
}

QString FenlarkApp::writeRandomPoints(QString path, const std::vector<std::vector<int>>& black,
                                      const std::vector<std::vector<int>>& white,
                                      const std::vector<std::vector<int>>& gray)
{
    IO::File* target = getDataFile(ui->activeSide);
    if (!target)
        return {};
    const struct {
        const char* suffix;
        const std::vector<std::vector<int>>& points;
        QString failure;
    } files[] = {
        {"_black.csv", black, tr("Randomly generated points in the black part of the relevancy cannot be written. \n")},
        {"_white.csv", white, tr("Randomly generated points in the white part of the relevancy cannot be written. \n")},
        {"_gray.csv", gray, tr("Randomly generated points in the gray part of the relevancy cannot be written. \n")},
    };
    QString failures;
    for (const auto& file : files) {
        try {
            target->exportPoints((path + QLatin1String(file.suffix)).toStdString(), file.points);
        } catch (...) {
            // An IO::File::error, or a conversion the coordinate library
            // refused: this file is not written, the others still are.
            failures += file.failure;
        }
    }
    return failures;
}

} // namespace UI
