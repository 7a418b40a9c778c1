#pragma once

// The remote catalogue window: the user logs in to the catalogue service,
// marks a rectangle on a map page, searches Sentinel-2 products (every page
// of the answer), looks at each product's attributes and thumbnail and
// downloads the checked products one after another into a folder.
//
// Owner and modality: the main window creates it without parent, makes it
// window-modal and deleted on close, and shows it; nothing is handed back.
//
// Requests: a token request (password grant) at construction with stored
// credentials, on the login button and before every product of the download
// queue (the service's tokens expire after minutes, a queue of large
// products takes longer); search pages and thumbnails; one download at a
// time. A renewal between products that brings no token leaves the login
// and the credentials as they are, drops the products still queued and says
// so: the next Download click queues what is checked, each product once.
// Every request gives up after transferTimeout milliseconds without a byte.
// Passwords and tokens go only to https or loopback addresses and appear in
// no log line.
//
// The stored credentials ("remoteLoader/newCopernicusName",
// "remoteLoader/newCopernicusPass") are plain text in the native settings
// store, whose file is made readable by its owner only.

#include <memory>
#include <optional>

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QList>
#include <QMainWindow>
#include <QNetworkAccessManager>
#include <QPair>
#include <QPointer>
#include <QProgressDialog>
#include <QSettings>
#include <QSslError>
#include <QString>
#include <QUrl>

#include "acquisition/FileDownloader.h"

class QLabel;
class QNetworkReply;
class QQuickItem;
class QTreeWidgetItem;

namespace Ui {
class RemoteLoader;
}

// "%1 %2": bytes per second over the elapsed time (at least 1 ms), one
// decimal in a field of at least three characters, in "bytes/sec" below
// 1024, "kB/s" below 1048576, "MB/s" above.
QString downloadSpeedText(qint64 received, qint64 elapsedMs);

class RemoteLoader : public QMainWindow {
    Q_OBJECT

public:
    // A product of the download queue as it was when Download was clicked,
    // so that a later search cannot change what the queue fetches.
    struct QueuedProduct {
        int number = -1; // result number (the row's "id")
        QUrl url;
        QString title;
        bool retried = false; // a refused token has already been renewed once
    };

    explicit RemoteLoader(QWidget* parent = nullptr);
    ~RemoteLoader() override;

    // Account.
    void showLoginDialog();
    void requestToken();
    void setLoggedIn(bool loggedIn);
    void clearCredentials();

    // Search.
    // The search address for two corners and the form's dates, cloud cover
    // and product type.
    QString searchUrl(double firstLatitude, double firstLongitude, double secondLatitude,
                      double secondLongitude) const;
    // GETs a search page or a thumbnail; its reply goes to replyFinished.
    QNetworkReply* sendSearch(QString url);
    void fillResults();
    // The map page's root item; null when the page did not load.
    QQuickItem* mapPage() const;

    // Download.
    void downloadNext();

    std::unique_ptr<Ui::RemoteLoader> ui;
    QByteArray thumbnailData;
    QLabel* thumbnailLabel = nullptr;
    QPointer<QProgressDialog> busyDialog;
    QList<QJsonObject> resultPages;
    QString userName;
    QString password;
    QString accessToken;
    QString refreshToken;
    QSettings settings;
    QString downloadDirectory;
    QNetworkAccessManager networkManager;
    FileDownloader downloader;
    QList<QueuedProduct> downloadQueue;
    QElapsedTimer downloadTimer;

    // Milliseconds without a byte after which a request is given up.
    int transferTimeout = 30000;

public slots:
    void slotAcceptUserLogin(QString& user, QString& password);
    void loginCheckFinished(QNetworkReply* reply);
    void on_pushButtonLogInOut_clicked();

    void on_pushButtonRemoteFind_clicked();
    void replyFinished(QNetworkReply* reply);
    void on_treeWidgetRemoteResults_currentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    void sslErrors(const QList<QSslError>& errors);

    void on_toolButtonRemoteChangeDir_clicked();
    void on_pushButtonRemoteDownload_clicked();
    void on_pushButtonRemoteDownAbort_clicked();
    void downloadFinished(QString message);
    void error(QString message);
    void updateProgress(qint64 received, qint64 total);
    void showBusy(QString name);
    void showReady();
    void showDownloadSpeed(qint64 received, qint64 total);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void loadMapPage();
    void storeCredentials();
    void restrictSettingsFile();
    // renewal: the token asked for between two products of the queue (or
    // for a product whose token was refused), not a login.
    void sendTokenRequest(bool renewal);
    void renewToken();
    // A token request that brought no token: a window that waits for one
    // between two products returns to ready, keeping the queue.
    void tokenRefused();
    // A renewal that brought no token: the queue is dropped, the window
    // returns to ready and the user is told why.
    void renewalFailed(const QString& reason);
    void downloadRefused();

    // The search in progress: ends it, lists what arrived, closes the busy
    // dialog; a non-empty message is shown as a warning.
    void endSearch(const QString& message);
    void cancelSearch();
    void closeBusyDialog();
    // Feature `row` of the result list; an empty object when there is none.
    QJsonObject resultFeature(int row) const;

    // (page, feature) of every result row, built from the features each
    // page actually holds.
    QList<QPair<int, int>> resultRows_;
    // Replies of a search carry its number; those of an earlier one are
    // dropped.
    int searchNumber_ = 0;
    bool searchRunning_ = false;
    QPointer<QNetworkReply> pendingPage_;
    // The product whose download runs (or waits for its renewed token).
    std::optional<QueuedProduct> currentDownload_;
    // Renewals carry their number; the window waits for waitingRenewal_ (0:
    // none, e.g. after an abort).
    int renewalCount_ = 0;
    int waitingRenewal_ = 0;
};
