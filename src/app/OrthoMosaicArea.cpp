// Opening the orthomosaic under a square drawn on a Sentinel-2 image: the
// square's corners, taken in latitude and longitude from the image, become a
// rectangle in Krovak East-North metres, the square is kept as a curve set of
// the image, and the pyramid lots under the rectangle open as a new data set.

#include <algorithm>
#include <array>
#include <memory>
#include <stdexcept>
#include <optional>

#include <QAction>
#include <QSettings>
#include <QString>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/SettingsKeys.h"
#include "app/WidgetUtils.h"
#include "app/WorkingWindow.h"
#include "io/NumberText.h"
#include "io/OrthoMosaicBinFile.h"
#include "io/OrthoMosaicZipFile.h"
#include "viewers/ViewerWidget.h"

namespace UI {

namespace {

// Krovak X and Y of one pixel of a data set, through the latitude and
// longitude its position text gives; nothing when the data set has no
// position there or the point lies beyond Krovak's reach.
std::optional<std::array<double, 2>> krovakOf(IO::File& file, IO::OrthoMosaicZipFile& converter, Point2D pixel)
{
    const QStringList parts = QString::fromStdString(file.latLonText(pixel.x, pixel.y)).split(QLatin1Char(','));
    if (parts.size() != 2)
        return std::nullopt;
    const std::optional<double> lat = IO::parseDouble(parts[0].trimmed().toStdString());
    const std::optional<double> lon = IO::parseDouble(parts[1].trimmed().toStdString());
    if (!lat || !lon)
        return std::nullopt;
    double x = 0.0;
    double y = 0.0;
    if (converter.wgs84ToKrovak(*lon, *lat, &x, &y) == 0)
        return std::nullopt;
    return std::array<double, 2>{x, y};
}

} // namespace

void FenlarkApp::pickOrthoMosaicArea(QPointF position, ViewerWidget* viewer)
{
    if (!viewer)
        return;
    if (pathPoints.empty()) {
        const QPointF anchor = workingAreaPosition(viewer, position);
        ui->shapeAnchor = {anchor.x(), anchor.y()};
        return;
    }
    if (workingCurveIndex >= 0 && workingCurveIndex < static_cast<int>(workingCurveSet.curves.size())) {
        Curve& curve = workingCurveSet.curves[static_cast<std::size_t>(workingCurveIndex)];
        curve.appendPoints(pathPoints);
        curve.closed = true;
        curve.updateInnerFromGeometry();
        workingCurveSet.updateBoundingBoxes();
    }
    pathPoints.clear();
    loadOrthoMosaicArea();
}

void FenlarkApp::loadOrthoMosaicArea()
{
    pathPoints.clear();
    IO::File* shown = getDataFile(ui->activeSide);
    Curve* curve = workingCurveIndex >= 0 && workingCurveIndex < static_cast<int>(workingCurveSet.curves.size())
                       ? &workingCurveSet.curves[static_cast<std::size_t>(workingCurveIndex)]
                       : nullptr;

    // A drawn square (the square mode always gives four corners or more) is
    // kept as the search area whether or not its ground can be found.
    const bool squareDrawn = shown && curve && curve->points().size() >= 4;

    // The area is the box around all four corners of the square: the Krovak
    // grid is turned against the image's UTM grid, so two opposite corners
    // alone would cut off the rest of the square.
    bool areaChosen = false;
    if (squareDrawn) {
        IO::OrthoMosaicZipFile converter;
        std::array<double, 4> box{0.0, 0.0, 0.0, 0.0};  // smallest X, largest Y, largest X, smallest Y
        areaChosen = true;
        for (std::size_t i = 0; i < 4; ++i) {
            const std::optional<std::array<double, 2>> corner = krovakOf(*shown, converter, curve->points()[i]);
            if (!corner) {
                areaChosen = false;
                break;
            }
            const auto [x, y] = *corner;
            box = i == 0 ? std::array<double, 4>{x, y, x, y}
                         : std::array<double, 4>{std::min(box[0], x), std::max(box[1], y), std::max(box[2], x),
                                                 std::min(box[3], y)};
        }
        if (areaChosen)
            orthoAreaCorners = box;
    }

    if (squareDrawn) {
        workingCurveSet.setName("OrthoMosaic search area");
        storeWorkingCurveSet("initCurve");
        setCurvesExplorer(static_cast<int>(activeCurveSets().size()) - 1);
    }

    setMainControlsLocked(false);
    ui->action_Ortho_Load_files->setChecked(false);
    releaseWorkingAreaLock();
    if (ui->initCircleMode)
        ui->initCircleMode = false;
    else if (ui->initSquareMode)
        ui->initSquareMode = false;
    ui->shapeAnchor = {-1.0, -1.0};
    refreshActiveViewers();

    // No square: nothing to load.
    if (!squareDrawn)
        return;

    auto mosaic = std::make_unique<IO::OrthoMosaicBinFile>();
    mosaic->setDataType("OrthoMosaic tif image");
    mosaic->workAreaWidth = sessionConfig->value(QString::fromLatin1(Keys::jp2ZipFileWorkingWidth)).toInt();
    mosaic->workAreaHeight = sessionConfig->value(QString::fromLatin1(Keys::jp2ZipFileWorkingHeight)).toInt();

    const QString folder = settings.value(QStringLiteral("orthoManager/exportDirectoryPath"), QString()).toString();
    if (folder.isEmpty()) {
        showMessageBox(tr("Select export directory path in Orthomosaic Manager "), 2);
        return;
    }

    // A square whose corners have no place in Krovak has no orthomosaic
    // ground (the corners of an earlier area are not this square's).
    if (!areaChosen) {
        showMessageBox(tr("Unavailable orthomosaic data for chosen area. "), 2);
        return;
    }
    const auto [x1, y1, x2, y2] = orthoAreaCorners;
    try {
        mosaic->openRegion(x1, y1, x2, y2, folder.toStdString());
    } catch (IO::File::error error) {
        showMessageBox(error == IO::File::error::OutsideMap ? tr("Unavailable orthomosaic data for chosen area. ")
                                                            : tr("OrthoMosaicBinFile error with loading "),
                       2);
        return;
    } catch (const std::exception&) {
        // No allocation or standard-library fault of the reader may leave
        // this handler of a mouse event.
        showMessageBox(tr("OrthoMosaicBinFile error with loading "), 2);
        return;
    }
    // As for an archive: a mosaic smaller than the configured working
    // window gets a window that fits inside it.
    mosaic->workAreaWidth = workingWindowSize(mosaic->workAreaWidth, mosaic->width);
    mosaic->workAreaHeight = workingWindowSize(mosaic->workAreaHeight, mosaic->height);

    dataFiles.append(mosaic.release());
    const int count = static_cast<int>(dataFiles.size());
    growCurveSetLists(count);
    growRelevancyMapLists(count);
    refreshDataExplorer(ui->activeSide == 0 ? ui->leftDataIndex : ui->rightDataIndex);
    handlePropertiesMenu();
    handleToolMenu();
    handleCurveMenu();
}

} // namespace UI
