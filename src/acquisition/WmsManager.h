#pragma once

// The WMS download dialog: fetches images of a rectangle in Krovak East-North
// (EPSG:5514) from one of five map services, in every checked size, into the
// working directory's "tmp" folder, each with a ".tfw" world file beside it.
// Its Load button hands the downloaded images to the main window.
//
// Owner and modality: the main window holds one as a member for its whole
// life (no parent, modal) and connects Load; closing the dialog only hides
// it. The main window's confirmed close removes the files the dialog wrote.
//
// Nothing in the form chooses the service, the area or the sizes: configure()
// sets them. One request runs at a time; a failure of any request shows its
// message, drops the rest of the queue and makes the dialog idle again.
//
// World files: ".tfw" beside every image. GDAL looks for ".pgw"/".jgw"/".wld"
// beside PNG and JPEG files, so a reader has to be pointed at the ".tfw".

#include <memory>
#include <optional>

#include <QDateTime>
#include <QDialog>
#include <QList>
#include <QNetworkAccessManager>
#include <QPair>
#include <QSize>
#include <QStringList>

#include "acquisition/FileDownloaderWms.h"

class QCloseEvent;

namespace Ui {
class WmsManager;
}

class WmsManager : public QDialog {
    Q_OBJECT

public:
    // A rectangle in Krovak East-North metres.
    struct Area {
        double minX = 0.0;
        double minY = 0.0;
        double maxX = 0.0;
        double maxY = 0.0;
    };

    explicit WmsManager(QWidget* parent = nullptr);
    // Stops a running download (its part file goes) before the form goes.
    ~WmsManager() override;

    // Chooses the service (0 to 4), the area (min below max, finite) and the
    // image sizes (each at least 1 x 1; at least one), and lists the sizes in
    // treeWidget, unchecked. False, with nothing changed, for anything else
    // and while a download runs.
    bool configure(int serviceIndex, double minX, double minY, double maxX, double maxY, QList<QSize> sizes);

    // The Krovak bounding box of the four corners of the WGS84 rectangle
    // spanned by (lat1, lon1) and (lat2, lon2); none when a corner cannot be
    // transformed.
    static std::optional<Area> areaFromLatLon(double lat1, double lon1, double lat2, double lon2);

    // The GetMap address for the service base (which ends with "&"): the
    // request keys, the bounding box west, south, east, north with six
    // decimals, and the size.
    static QString getMapUrl(const QString& serviceBase, double minX, double minY, double maxX, double maxY, int width,
                             int height, const QString& crs);

    // A file name in folder for an image taken at `when`: "pw_" (preview) or
    // "orthophotomosaic_", the time as "ddMMyyyy_hhmmsszzz", the extension.
    // When that image or its world file exists already, the time is stepped
    // on by a millisecond until neither does, so a fast second request never
    // replaces the first one's files.
    static QString imagePath(const QString& folder, bool preview, const QString& extension, QDateTime when);

    // ".png" for the services that deliver PNG (0 and 4), ".jpg" for the
    // JPEG ones.
    static QString imageExtension(int serviceIndex);

    // The text of a world file of an image of the given pixel size whose
    // upper-left corner lies at (minX, maxY): pixel width, 0, 0, the negative
    // pixel height and the centre of the upper-left pixel, ten decimals,
    // no line break after the last line.
    static QString worldFileText(double pixelWidth, double pixelHeight, double minX, double maxY);

    // Every file the dialog writes into the working directory's "tmp" folder
    // (images, world files, previews) is recorded here, so that the clean-up
    // removes the program's own files and nothing a user keeps there.
    void recordTmpFile(const QString& path);
    QStringList recordedTmpFiles() const { return tmpFiles_; }

    // Deletes the recorded files that still lie directly in the working
    // directory's "tmp" folder; sub-folders and files the program did not
    // write stay. A failed removal is ignored.
    void removeTmpFiles();

    // Requests the next queued size; with the queue empty the dialog becomes
    // idle.
    void requestNext();
    // One GetMap request into a new file of the "tmp" folder. False when it
    // did not start (another request runs, or a failure was reported).
    bool requestImage(double minX, double minY, double maxX, double maxY, int width, int height, QString crs,
                      bool preview);
    // Writes the world file of the image with the next queued pixel size;
    // false (nothing written) when there is none or the file cannot be
    // written.
    bool writeWorldFile(QString imagePath);

    QStringList services;
    std::unique_ptr<Ui::WmsManager> ui;
    // Paths of the downloaded images (previews excluded), in download order;
    // never emptied.
    QStringList downloadedFiles;
    QNetworkAccessManager networkManager;
    FileDownloaderWms downloader;
    int serviceIndex = 0;
    double areaMinX = 0.0;
    double areaMaxX = 0.0;
    double areaMinY = 0.0;
    double areaMaxY = 0.0;
    // Per row of treeWidget: image width and height in pixels, and pixel
    // width and height in metres.
    QList<QPair<int, int>> sizeRows;
    QList<QPair<double, double>> pixelSizeRows;
    // Still to request and still to write, taken from the front.
    QList<QPair<int, int>> sizeQueue;
    QList<QPair<double, double>> pixelSizeQueue;

public slots:
    void on_pushButtonOk_clicked();
    void downloadFinished(QString message, QString file, bool preview);
    void error(QString message);
    void showBusy(QString file, bool preview);
    void updateProgress(qint64 received, qint64 total);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Download enabled, bar 0 of 1, Load enabled when images are waiting.
    void showIdle();

    QStringList tmpFiles_;
    QStringList previewFiles_;
};
