#pragma once

// The orthomosaic export window: turns the GeoTIFF tiles of an orthophoto zip
// (Krovak East-North, 0.2 m, 12500 x 10000 RGB) into the pyramid lot files
// that the orthomosaic data set reads, one ".bin" file per tile in the chosen
// folder.
//
// The export runs synchronously on the GUI thread, one tile in memory at a
// time, and prints its progress on standard output; when it ends, one message
// tells how many lot files were written, which tiles were refused and, when
// it stopped early, why.
//
// Owner and modality: the main window creates it without parent, window-modal
// and deleted on close, and takes nothing back from it. The source zip, its
// folder and the export folder are kept in the native settings between runs
// (the main window's area loading reads the export folder from there too).

#include <memory>

#include <QMainWindow>
#include <QSettings>
#include <QString>
#include <QStringList>

#include "acquisition/OrthoMosaicExport.h"

namespace Ui {
class OrthoManager;
}

class OrthoManager : public QMainWindow {
    Q_OBJECT

public:
    explicit OrthoManager(QWidget* parent = nullptr);
    ~OrthoManager() override;

    // Lists the zip's tiles (entries ending in ".tif" or ".tiff") and fills
    // the location list and the tile rows; true when it holds at least one
    // tile. Otherwise the window forgets its source zip.
    bool openSourceZip(QString zipPath);
    // One row per tile whose base name contains the chosen location (every
    // tile for "All tiles").
    void fillTileTree();
    void setAllTilesChecked(bool checked);
    // Writes the lot file of every tile in order. A tile of another size,
    // not north-up at 0.2 m, in another projection or with fewer than three
    // bands is listed as failed and skipped. A tile that cannot be opened or
    // read, a lot file that cannot be written or memory running out stops
    // the export there: lot files already written stay, a lot being written
    // leaves nothing behind. True when every tile was handled (written or
    // listed as failed). Ends with one message either way.
    bool exportTiles(QStringList tilePaths);

    QSettings settings;
    // Folder of the last opened source zip.
    QString sourceDirectory;
    QString sourceZipPath;
    // Where the lot files go.
    QString exportDirectory;
    // Per tile: the zip's path, "/" and the entry's path inside the zip.
    QStringList tilePaths;
    std::unique_ptr<Ui::OrthoManager> ui;
    // The tile size the export accepts and the pyramid it writes: the lot of
    // the pyramid format.
    OrthoMosaicExport::LotShape lotShape = OrthoMosaicExport::fullLot;

public slots:
    void on_toolButtonPathSelection_clicked();
    void on_comboBoxLocation_currentIndexChanged(int index);
    void on_pushButtonSelectAllTiles_clicked();
    void on_pushButtonUnSelectAllTiles_clicked();
    void on_toolButtonBinDirPathSelection_clicked();
    void on_pushButtonExport_clicked();

private:
    // The folder dialog; a chosen folder becomes the export folder and is
    // stored.
    void chooseExportDirectory();
};
