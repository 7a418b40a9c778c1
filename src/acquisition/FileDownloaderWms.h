#pragma once

// The downloader of the WMS dialog: one GetMap reply into one image file.
//
// It drives the reply-to-file core of FileDownloader.h (bytes into
// "<target>.part", moved into place only when complete) and adds the check a
// map service needs: a WMS server answers a request it cannot serve with
// status 200 and an XML ServiceException, so a reply is kept only when its
// Content-Type is image/* and QImageReader recognises its bytes. A failure of
// any kind (network error, inactivity timeout, another status, a refused
// body, a target that cannot be written) is reported exactly once through
// downloadError and leaves no file behind.
//
// GUI thread only; one download at a time.

#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include "acquisition/FileDownloader.h"

class QNetworkAccessManager;

// Decides whether a finished 200 reply, saved at partPath, holds an image:
// an empty text when it does, otherwise "WMS service error: " followed by
// the text of the ServiceException the body carries or, when it carries
// none, the reply's content type.
QString wmsReplyRefusal(QNetworkReply* reply, const QString& partPath);
// The same decision for a body saved at partPath that came with the given
// Content-Type header (as Qt reads it; empty when the reply had none).
QString wmsReplyRefusal(const QString& contentType, const QString& partPath);

class FileDownloaderWms : public QObject {
    Q_OBJECT

public:
    // The manager belongs to the caller; a manager that is gone makes every
    // start fail with a message.
    explicit FileDownloaderWms(QNetworkAccessManager* manager, QObject* parent = nullptr);
    // Aborts a running download and removes its part; emits nothing.
    ~FileDownloaderWms() override;

    // Starts one GET of url into targetPath. False while another download
    // runs (nothing emitted) or when the target cannot be opened for writing
    // (downloadError says so, nothing is requested).
    bool startDownload(QUrl url, QString targetPath, bool preview);

    // Aborts the running download and removes its part. Returns the aborted
    // reply's error text (empty when nothing ran). Emits nothing.
    QString abortDownload();

    bool isRunning() const { return !reply_.isNull(); }

    // Milliseconds without any byte after which a reply is given up.
    int transferTimeout = 30000;

signals:
    void downloadProgress(qint64 received, qint64 total);
    // A complete image is in place at file.
    void downloadSuccessful(QString message, QString file, bool preview);
    void downloadError(QString message);
    void goingBusy(QString file, bool preview);

public slots:
    void readData();
    void finishDownload();
    void error(QNetworkReply::NetworkError code);

private:
    QPointer<QNetworkAccessManager> manager_;
    QPointer<QNetworkReply> reply_;
    ReplyFile file_;
    bool preview_ = false;
};
