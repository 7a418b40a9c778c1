#include "acquisition/OrthoManager.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <new>
#include <optional>
#include <stdexcept>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QHeaderView>
#include <QTreeWidget>

#include "app/WidgetUtils.h"
#include "forms/OrthoManagerForm.h"
#include "io/GdalHandles.h"
#include "io/Krovak.h"
#include "io/NumberText.h"
#include "io/OrthoMosaicZipFile.h"

namespace {

constexpr char sourceDirectoryKey[] = "orthoManager/sourceDirectoryPath";
constexpr char sourceFileKey[] = "orthoManager/sourceFilePath";
constexpr char exportDirectoryKey[] = "orthoManager/exportDirectoryPath";
constexpr char idProperty[] = "id";

// Entries a source zip may list. A zip of orthophoto tiles holds a tile (of
// a hundred megabytes or so) and a few side-car files per tile; listing the
// archive costs time in the square of its entries, so a few megabytes of
// empty entries would freeze the window for minutes.
constexpr std::uint64_t maxSourceEntries = 5000;

QString allTilesText()
{
    return OrthoManager::tr("All tiles");
}

bool isTileEntry(const std::string& entry)
{
    auto endsWith = [&entry](const std::string& suffix) {
        return entry.size() > suffix.size() && entry.compare(entry.size() - suffix.size(), suffix.size(), suffix) == 0;
    };
    return endsWith(".tif") || endsWith(".tiff");
}

// Why an opened tile cannot become a lot; nothing when it can.
std::optional<QString> tileRefusal(const IO::OrthoMosaicZipFile& image, OrthoMosaicExport::LotShape shape)
{
    if (image.width != shape.width || image.height != shape.height)
        return OrthoManager::tr("%1 x %2 pixels instead of %3 x %4")
            .arg(image.width)
            .arg(image.height)
            .arg(shape.width)
            .arg(shape.height);
    // The lots are placed by their corner alone: a tile on another grid
    // would land at a wrong position in every mosaic it joins.
    constexpr double size = IO::OrthoMosaicBinFormat::fullPixelSize;
    const bool northUp = std::abs(image.pixelSizeX - size) < 1e-9 && std::abs(image.pixelSizeY + size) < 1e-9
                         && image.rotationX == 0.0 && image.rotationY == 0.0 && std::isfinite(image.originX)
                         && std::isfinite(image.originY);
    if (!northUp)
        return OrthoManager::tr("not a north-up grid of 0.2 m pixels");
    // A tile without a projection is taken as Krovak; one that names another
    // projection is not.
    if (!image.projectionWkt.empty() && !IO::isKrovakEastNorth(image.projectionWkt))
        return OrthoManager::tr("not in Krovak East-North (EPSG:5514)");
    if (image.bands.size() < 3)
        return OrthoManager::tr("fewer than three bands");
    return std::nullopt;
}

QString openErrorText(IO::File::error error)
{
    switch (error) {
    case IO::File::error::CannotOpen:
        return OrthoManager::tr("the tile cannot be opened");
    case IO::File::error::MissingMetadata:
        return OrthoManager::tr("the tile has no georeference");
    case IO::File::error::UnsupportedFormat:
        return OrthoManager::tr("the tile's format is not supported (8-bit samples expected)");
    default:
        return OrthoManager::tr("the tile cannot be read");
    }
}

// Runs one step of a tile's export; the text that stops the export when the
// step throws (nothing may leave the slot), empty when it went through.
template <typename Step>
QString tileFailure(const QString& path, Step step)
{
    try {
        step();
    } catch (IO::File::error error) {
        return OrthoManager::tr("%1: %2").arg(path, openErrorText(error));
    } catch (const std::bad_alloc&) {
        return OrthoManager::tr("%1: not enough memory").arg(path);
    } catch (const std::exception&) {
        return OrthoManager::tr("%1: %2").arg(path, openErrorText(IO::File::error::ReadFailed));
    }
    return QString();
}

} // namespace

OrthoManager::OrthoManager(QWidget* parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::OrthoManager>())
{
    ui->setupUi(this);
    exportDirectory = settings.value(QString::fromLatin1(exportDirectoryKey), QString()).toString();
    ui->lineEditBinDirPath->setText(exportDirectory);
    sourceZipPath = settings.value(QString::fromLatin1(sourceFileKey), QString()).toString();
    sourceDirectory = settings.value(QString::fromLatin1(sourceDirectoryKey), QString()).toString();
    ui->lineEditPath->setText(sourceZipPath);
    if (!sourceZipPath.isEmpty())
        openSourceZip(sourceZipPath);
}

OrthoManager::~OrthoManager() = default;

void OrthoManager::on_toolButtonPathSelection_clicked()
{
    const QString chosen = chooseOpenFileName(this, tr("Load image data"), sourceDirectory, tr("Zip file (*.zip)"));
    if (chosen.isEmpty())
        return;
    if (!openSourceZip(chosen))
        showMessageBox(tr("Unsupported source zip file"), 0);
}

bool OrthoManager::openSourceZip(QString zipPath)
{
    tilePaths.clear();
    for (const std::string& entry : IO::Gdal::listZip(zipPath.toStdString(), maxSourceEntries)) {
        if (isTileEntry(entry))
            tilePaths.append(zipPath + QLatin1Char('/') + QString::fromStdString(entry));
    }
    ui->treeWidgetTiles->clear();

    if (tilePaths.isEmpty()) {
        sourceZipPath.clear();
        sourceDirectory.clear();
        ui->lineEditPath->clear();
        return false;
    }
    sourceZipPath = zipPath;
    sourceDirectory = QFileInfo(zipPath).absolutePath();
    ui->lineEditPath->setText(sourceZipPath);
    settings.setValue(QString::fromLatin1(sourceFileKey), sourceZipPath);
    settings.setValue(QString::fromLatin1(sourceDirectoryKey), sourceDirectory);

    QStringList locations;
    for (const QString& path : tilePaths) {
        const QString location = QFileInfo(path).baseName().section(QLatin1Char('_'), 0, 0);
        if (!locations.contains(location))
            locations.append(location);
    }
    blockSignalsOf({ui->comboBoxLocation}, true);
    ui->comboBoxLocation->clear();
    ui->comboBoxLocation->addItem(allTilesText());
    ui->comboBoxLocation->addItems(locations);
    blockSignalsOf({ui->comboBoxLocation}, false);

    fillTileTree();
    return true;
}

void OrthoManager::fillTileTree()
{
    QTreeWidget* tree = ui->treeWidgetTiles;
    blockSignalsOf({tree}, true);
    tree->clear();
    const QString location = ui->comboBoxLocation->currentText();
    const bool all = location == allTilesText();
    for (int id = 0; id < tilePaths.size(); ++id) {
        const QString baseName = QFileInfo(tilePaths[id]).baseName();
        if (!all && !baseName.contains(location, Qt::CaseSensitive))
            continue;
        auto* row = new QTreeWidgetItem(tree);
        row->setText(1, baseName);
        auto* box = new QCheckBox();
        box->setChecked(false);
        box->setMaximumSize(20, 20);
        box->setProperty(idProperty, id);
        tree->setItemWidget(row, 0, box);
    }
    tree->header()->resizeSections(QHeaderView::ResizeToContents);
    blockSignalsOf({tree}, false);
}

void OrthoManager::on_comboBoxLocation_currentIndexChanged(int)
{
    fillTileTree();
}

void OrthoManager::setAllTilesChecked(bool checked)
{
    QTreeWidget* tree = ui->treeWidgetTiles;
    for (int row = 0; row < tree->topLevelItemCount(); ++row) {
        if (auto* box = qobject_cast<QCheckBox*>(tree->itemWidget(tree->topLevelItem(row), 0)))
            box->setChecked(checked);
    }
}

void OrthoManager::on_pushButtonSelectAllTiles_clicked()
{
    setAllTilesChecked(true);
}

void OrthoManager::on_pushButtonUnSelectAllTiles_clicked()
{
    setAllTilesChecked(false);
}

void OrthoManager::chooseExportDirectory()
{
    const QString chosen = chooseExistingDirectory(this, tr("Select directory"), exportDirectory,
                                                   QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (chosen.isEmpty())
        return;
    settings.setValue(QString::fromLatin1(exportDirectoryKey), chosen);
    exportDirectory = chosen;
    ui->lineEditBinDirPath->setText(exportDirectory);
}

void OrthoManager::on_toolButtonBinDirPathSelection_clicked()
{
    chooseExportDirectory();
}

void OrthoManager::on_pushButtonExport_clicked()
{
    if (exportDirectory.isEmpty())
        chooseExportDirectory();
    if (exportDirectory.isEmpty()) {
        showMessageBox(tr("Select the export directory"), 0);
        return;
    }
    QStringList chosen;
    QTreeWidget* tree = ui->treeWidgetTiles;
    for (int row = 0; row < tree->topLevelItemCount(); ++row) {
        const auto* box = qobject_cast<QCheckBox*>(tree->itemWidget(tree->topLevelItem(row), 0));
        if (!box || !box->isChecked())
            continue;
        bool ok = false;
        const int id = box->property(idProperty).toInt(&ok);
        if (ok && id >= 0 && id < tilePaths.size())
            chosen.append(tilePaths[id]);
    }
    if (!chosen.isEmpty())
        exportTiles(chosen);
}

bool OrthoManager::exportTiles(QStringList paths)
{
    using OrthoMosaicExport::WriteResult;

    IO::OrthoMosaicZipFile image;
    int written = 0;
    QStringList failed;         // paths, as printed at the end
    QStringList failedReasons;  // path and reason, for the message
    QString stopped;            // why the export ended early; empty when it did not

    for (const QString& path : paths) {
        const QFileInfo info(path);
        const QString baseName = info.completeBaseName();
        const std::string name = baseName.toStdString();
        std::printf("Started file: %s\n", name.c_str());

        // Each tile starts from nothing that the previous one left behind.
        image.unloadBandsExcept({});
        stopped = tileFailure(path, [&] {
            image.open(name, info.suffix().toStdString(), "/vsizip/" + info.absolutePath().toStdString());
        });
        if (!stopped.isEmpty())
            break;

        if (const std::optional<QString> refusal = tileRefusal(image, lotShape)) {
            failed.append(path);
            failedReasons.append(tr("%1 (%2)").arg(path, *refusal));
            continue;
        }

        QElapsedTimer clock;
        clock.start();
        const QString target = exportDirectory + QLatin1Char('/') + baseName + QStringLiteral(".bin");
        OrthoMosaicExport::LotFile lot(target.toStdString());
        if (!lot.isOpen()) {
            stopped = tr("the pyramid file %1 cannot be created").arg(target);
            break;
        }

        std::fputs("Writing head & x,y... ", stdout);
        if (!OrthoMosaicExport::writeHeader(lot.sink(), image.originX, image.originY)) {
            stopped = tr("the pyramid file %1 cannot be written").arg(target);
            break;
        }
        std::fputs("done\n", stdout);

        std::fputs("fillDataset()... ", stdout);
        // The three bands in one pass over the tile.
        stopped = tileFailure(path, [&] { image.loadBands({0, 1, 2}, 0, 0.0, 1.0, false); });
        if (!stopped.isEmpty())
            break;
        std::fputs("done\n", stdout);

        const std::array<const float*, 3> bands{image.bands[0].levels[0].data.get(),
                                                image.bands[1].levels[0].data.get(),
                                                image.bands[2].levels[0].data.get()};
        const WriteResult result = OrthoMosaicExport::writeLevels(lot.sink(), bands, lotShape);
        if (result == WriteResult::OutOfMemory) {
            stopped = tr("%1: not enough memory").arg(path);
            break;
        }
        if (result != WriteResult::Written || !lot.commit()) {
            stopped = tr("the pyramid file %1 cannot be written (is the disk full?)").arg(target);
            break;
        }
        ++written;

        const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
        std::printf("Export done\nFile %s export duration: %s sec\n", name.c_str(),
                    IO::formatNumber(seconds).c_str());
        image.unloadBandsExcept({});
        std::fputs("\n\n", stdout);
    }
    image.unloadBandsExcept({});

    if (stopped.isEmpty()) {
        for (const QString& path : failed)
            std::printf("Failed file: %s\n", path.toStdString().c_str());
        if (failed.isEmpty())
            std::fputs("All files successfully created\n", stdout);
    }
    std::fflush(stdout);

    QString message = stopped.isEmpty() ? tr("Export finished.") : tr("Export stopped: %1.").arg(stopped);
    message += QLatin1Char('\n') + tr("Pyramid files written: %1").arg(written);
    if (!failedReasons.isEmpty())
        message += QLatin1Char('\n') + tr("Failed files:") + QLatin1Char('\n') + failedReasons.join(QLatin1Char('\n'));
    showMessageBox(message, stopped.isEmpty() && failed.isEmpty() ? 0 : 2);
    return stopped.isEmpty();
}
