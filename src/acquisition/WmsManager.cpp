#include "acquisition/WmsManager.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include <QCheckBox>
#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>
#include <QSaveFile>
#include <QTreeWidgetItem>

#include "acquisition/ServiceEndpoints.h"
#include "forms/WmsManagerForm.h"
#include "io/Krovak.h"
#include "windows/ToolWindowSupport.h"

namespace {

// The working directory's "tmp" folder, where every file of the dialog goes.
QString tmpFolderPath()
{
    return QDir::current().absoluteFilePath(QStringLiteral("tmp"));
}

QString fixed(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

} // namespace

WmsManager::WmsManager(QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::WmsManager>())
    , downloader(&networkManager)
{
    using ServiceEndpoints::Service;
    const QString geodesy = ServiceEndpoints::base(Service::WmsGeodesy);
    const QString proxy = ServiceEndpoints::base(Service::WmsProxy);
    services = {
        geodesy + QStringLiteral("/zbgis_ortofoto_wms/service.svc/get?LAYERS=1&FORMAT=image/png&"),
        proxy + QStringLiteral("/mapproxy/service/get?service=wms&LAYERS=vm_I&FORMAT=image/jpeg&"),
        proxy + QStringLiteral("/mapproxy/service/get?service=wms&LAYERS=vm_II&FORMAT=image/jpeg&"),
        proxy + QStringLiteral("/mapproxy/service/get?service=wms&LAYERS=vm_III&FORMAT=image/jpeg&"),
        geodesy + QStringLiteral("/hm_III_vm/service.svc/get?LAYERS=1&FORMAT=image/png&"),
    };

    ui->setupUi(this);

    connect(&downloader, &FileDownloaderWms::goingBusy, this, &WmsManager::showBusy);
    connect(&downloader, &FileDownloaderWms::downloadError, this, &WmsManager::error);
    connect(&downloader, &FileDownloaderWms::downloadSuccessful, this, &WmsManager::downloadFinished);
    connect(&downloader, &FileDownloaderWms::downloadProgress, this, &WmsManager::updateProgress);
}

WmsManager::~WmsManager()
{
    // A reply that ends now must not reach the form, which goes before the
    // downloader member would.
    disconnect(&downloader, nullptr, this, nullptr);
    downloader.abortDownload();
}

bool WmsManager::configure(int index, double minX, double minY, double maxX, double maxY, QList<QSize> sizes)
{
    if (downloader.isRunning() || index < 0 || index >= services.size())
        return false;
    for (double value : {minX, minY, maxX, maxY}) {
        if (!std::isfinite(value))
            return false;
    }
    if (!(minX < maxX) || !(minY < maxY) || sizes.isEmpty())
        return false;
    for (const QSize& size : std::as_const(sizes)) {
        if (size.width() <= 0 || size.height() <= 0)
            return false;
    }

    serviceIndex = index;
    areaMinX = minX;
    areaMinY = minY;
    areaMaxX = maxX;
    areaMaxY = maxY;
    sizeRows.clear();
    pixelSizeRows.clear();
    sizeQueue.clear();
    pixelSizeQueue.clear();
    ui->treeWidget->clear();
    for (const QSize& size : std::as_const(sizes)) {
        const double pixelWidth = (maxX - minX) / size.width();
        const double pixelHeight = (maxY - minY) / size.height();
        sizeRows.append({size.width(), size.height()});
        pixelSizeRows.append({pixelWidth, pixelHeight});

        auto* item = new QTreeWidgetItem(ui->treeWidget);
        item->setText(1, QStringLiteral("%1 x %2 (~%3 m)")
                             .arg(size.width())
                             .arg(size.height())
                             .arg(fixed(std::max(pixelWidth, pixelHeight), 2)));
        ui->treeWidget->setItemWidget(item, 0, new QCheckBox(ui->treeWidget));
    }
    return true;
}

std::optional<WmsManager::Area> WmsManager::areaFromLatLon(double lat1, double lon1, double lat2, double lon2)
{
    const IO::KrovakReferences references("WmsManager: ");
    std::optional<Area> area;
    for (const auto& [lat, lon] : {std::pair{lat1, lon1}, {lat1, lon2}, {lat2, lon1}, {lat2, lon2}}) {
        double x = 0.0;
        double y = 0.0;
        if (!references.toKrovak(lat, lon, x, y))
            return std::nullopt;
        if (!area) {
            area = Area{x, y, x, y};
            continue;
        }
        area->minX = std::min(area->minX, x);
        area->minY = std::min(area->minY, y);
        area->maxX = std::max(area->maxX, x);
        area->maxY = std::max(area->maxY, y);
    }
    return area;
}

QString WmsManager::getMapUrl(const QString& serviceBase, double minX, double minY, double maxX, double maxY,
                              int width, int height, const QString& crs)
{
    // The base ends with "&" and the keys start with one: the empty item
    // between them is part of the request as the services have always
    // received it.
    return serviceBase + QStringLiteral("&STYLES=default&VERSION=1.3.0&REQUEST=GetMap&CRS=") + crs
           + QStringLiteral("&BBOX=%1,%2,%3,%4").arg(fixed(minX, 6), fixed(minY, 6), fixed(maxX, 6), fixed(maxY, 6))
           + QStringLiteral("&WIDTH=%1&HEIGHT=%2").arg(width).arg(height);
}

QString WmsManager::imagePath(const QString& folder, bool preview, const QString& extension, QDateTime when)
{
    const QString prefix = preview ? QStringLiteral("/pw_") : QStringLiteral("/orthophotomosaic_");
    for (;;) {
        const QString base = folder + prefix + when.toString(QStringLiteral("ddMMyyyy_hhmmsszzz"));
        const QString image = base + extension;
        if (!QFileInfo::exists(image) && !QFileInfo::exists(base + QStringLiteral(".tfw")))
            return image;
        when = when.addMSecs(1);
    }
}

QString WmsManager::imageExtension(int index)
{
    return index == 0 || index == 4 ? QStringLiteral(".png") : QStringLiteral(".jpg");
}

QString WmsManager::worldFileText(double pixelWidth, double pixelHeight, double minX, double maxY)
{
    // A world file gives the centre of the upper-left pixel; the requested
    // box's edges are the image's outer edges.
    return QStringLiteral("%1\n0\n0\n%2\n%3\n%4")
        .arg(fixed(pixelWidth, 10), fixed(-pixelHeight, 10), fixed(minX + pixelWidth / 2.0, 10),
             fixed(maxY - pixelHeight / 2.0, 10));
}

void WmsManager::recordTmpFile(const QString& path)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (!tmpFiles_.contains(absolute))
        tmpFiles_.append(absolute);
}

void WmsManager::removeTmpFiles()
{
    const QString tmpFolder = QFileInfo(tmpFolderPath()).canonicalFilePath();
    if (tmpFolder.isEmpty())
        return;  // no "tmp" folder: nothing of ours can be left in it
    for (const QString& path : std::as_const(tmpFiles_)) {
        const QFileInfo info(path);
        // Only plain files directly inside "tmp"; sub-folders stay.
        if (!info.isFile() || QFileInfo(info.absolutePath()).canonicalFilePath() != tmpFolder)
            continue;
        QFile::remove(path);
    }
    tmpFiles_.clear();
    previewFiles_.clear();
}

void WmsManager::on_pushButtonOk_clicked()
{
    sizeQueue.clear();
    pixelSizeQueue.clear();
    QTreeWidget* tree = ui->treeWidget;
    for (int row = 0; row < tree->topLevelItemCount() && row < sizeRows.size(); ++row) {
        const auto* box = qobject_cast<QCheckBox*>(tree->itemWidget(tree->topLevelItem(row), 0));
        if (box == nullptr || !box->isChecked())
            continue;
        sizeQueue.append(sizeRows[row]);
        pixelSizeQueue.append(pixelSizeRows[row]);
    }
    requestNext();
}

void WmsManager::requestNext()
{
    if (sizeQueue.isEmpty()) {
        showIdle();
        return;
    }
    const auto [width, height] = sizeQueue.takeFirst();
    requestImage(areaMinX, areaMinY, areaMaxX, areaMaxY, width, height, QStringLiteral("EPSG:5514"), false);
}

bool WmsManager::requestImage(double minX, double minY, double maxX, double maxY, int width, int height, QString crs,
                              bool preview)
{
    if (downloader.isRunning())
        return false;
    const QString url = getMapUrl(services.value(serviceIndex), minX, minY, maxX, maxY, width, height, crs);

    const QString folder = tmpFolderPath();
    if (!QDir().mkpath(folder)) {
        error(tr("Unable to create tmp directory"));
        return false;
    }
    const QString target = imagePath(QFileInfo(folder).absoluteFilePath(), preview, imageExtension(serviceIndex),
                                     QDateTime::currentDateTime());

    qDebug().noquote() << url;
    // A target that cannot be written is reported through downloadError.
    return downloader.startDownload(QUrl(url), target, preview);
}

bool WmsManager::writeWorldFile(QString imagePath)
{
    if (pixelSizeQueue.isEmpty())
        return false;
    const auto [pixelWidth, pixelHeight] = pixelSizeQueue.takeFirst();
    const QFileInfo image(imagePath);
    const QString path = image.absolutePath() + QLatin1Char('/') + image.completeBaseName() + QStringLiteral(".tfw");

    // Written in one step: a failed write leaves no partial world file.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(worldFileText(pixelWidth, pixelHeight, areaMinX, areaMaxY).toLatin1());
    if (!file.commit())
        return false;
    recordTmpFile(path);
    return true;
}

void WmsManager::downloadFinished(QString message, QString file, bool preview)
{
    recordTmpFile(file);
    if (preview) {
        previewFiles_.append(QFileInfo(file).absoluteFilePath());
        if (QFileInfo::exists(file)) {
            ui->labelPreviewImg->setPixmap(QPixmap(file));
            repaint();
        }
    } else {
        downloadedFiles.append(file);
        writeWorldFile(file);
    }
    ui->labelProgress->setText(message);
    requestNext();
}

void WmsManager::error(QString message)
{
    ui->labelProgress->setText(message);
    sizeQueue.clear();
    pixelSizeQueue.clear();
    showIdle();
}

void WmsManager::showBusy(QString, bool preview)
{
    ui->pushButtonOk->setEnabled(false);
    ui->labelProgress->setText(tr("Downloading ") + (preview ? tr("preview image:") : tr("data:")));
}

void WmsManager::updateProgress(qint64 received, qint64 total)
{
    // A total the server did not announce (-1) leaves the bar without a
    // range, which shows it as busy.
    ui->progressBar->setRange(0, int(std::clamp<qint64>(total, -1, INT_MAX)));
    ui->progressBar->setValue(int(std::clamp<qint64>(received, 0, INT_MAX)));
}

void WmsManager::showIdle()
{
    ui->progressBar->setRange(0, 1);
    ui->progressBar->setValue(0);
    ui->pushButtonOk->setEnabled(true);
    ui->pushButtonLoad->setEnabled(!downloadedFiles.isEmpty());
}

void WmsManager::closeEvent(QCloseEvent* event)
{
    confirmWindowClose(this, event);
    if (!event->isAccepted())
        return;
    // Previews are only looked at while the dialog is open; the images and
    // world files stay for Load until the main window closes.
    for (const QString& path : std::as_const(previewFiles_)) {
        QFile::remove(path);
        tmpFiles_.removeAll(path);
    }
    previewFiles_.clear();
    ui->labelPreviewImg->clear();
    QDialog::closeEvent(event);
}
