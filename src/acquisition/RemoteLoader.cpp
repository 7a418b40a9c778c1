#include "acquisition/RemoteLoader.h"

#include <algorithm>
#include <climits>

#include <QCheckBox>
#include <QCloseEvent>
#include <QDate>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QHeaderView>
#include <QJsonArray>
#include <QLabel>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPixmap>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQmlError>
#include <QQmlNetworkAccessManagerFactory>
#include <QQuickItem>
#include <QTreeWidgetItem>
#include <QVBoxLayout>

#include "acquisition/CatalogueReplies.h"
#include "acquisition/LoginDialog.h"
#include "acquisition/ServiceEndpoints.h"
#include "app/WidgetUtils.h"
#include "forms/RemoteLoaderForm.h"
#include "windows/ToolWindowSupport.h"

// Q_INIT_RESOURCE declares a function in the current namespace, so it must
// be expanded outside any namespace.
static void initMapPageResource()
{
    Q_INIT_RESOURCE(RemoteLoaderMap);
}

namespace {

const QString nameKey = QStringLiteral("remoteLoader/newCopernicusName");
const QString passwordKey = QStringLiteral("remoteLoader/newCopernicusPass");
const QString directoryKey = QStringLiteral("remoteLoader/downloadDirectory");

const QString tokenPath = QStringLiteral("/auth/realms/CDSE/protocol/openid-connect/token");
const QString searchPath = QStringLiteral("/resto/api/collections/Sentinel2/search.json?");
const QString mapPageUrl = QStringLiteral("qrc:/FenlarkApp/RemoteLoader.qml");

// Property of a search page's reply: the number of its search.
const char* const searchNumberProperty = "remoteLoaderSearch";
// Property of a renewal's token reply: the number of the renewal.
const char* const renewalNumberProperty = "remoteLoaderRenewal";

// Map tiles are asked for under the page's own name: tile servers refuse
// anonymous clients.
class MapNetworkManager : public QNetworkAccessManager {
public:
    using QNetworkAccessManager::QNetworkAccessManager;

protected:
    QNetworkReply* createRequest(Operation op, const QNetworkRequest& original, QIODevice* data) override
    {
        QNetworkRequest request(original);
        request.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("RemoteLoaderMap"));
        return QNetworkAccessManager::createRequest(op, request, data);
    }
};

class MapNetworkFactory : public QQmlNetworkAccessManagerFactory {
public:
    QNetworkAccessManager* create(QObject* parent) override { return new MapNetworkManager(parent); }
};

// Numbers of the search address are written like printf's %g.
QString g(double value)
{
    return QString::number(value, 'g', 6);
}

// The product's file name: the title without its last five characters. Empty
// when that cannot name a file inside the download folder.
QString productFileName(const QString& title)
{
    const QString name = title.left(std::max<qsizetype>(0, title.size() - 5));
    if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\'))
        || name.contains(QLatin1String("..")))
        return {};
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control)
            return {};
    }
    return name;
}

} // namespace

QString downloadSpeedText(qint64 received, qint64 elapsedMs)
{
    double rate = double(received) * 1000.0 / double(std::max<qint64>(elapsedMs, 1));
    QString unit;
    if (rate < 1024) {
        unit = QStringLiteral("bytes/sec");
    } else if (rate < 1024 * 1024) {
        rate /= 1024;
        unit = QStringLiteral("kB/s");
    } else {
        rate /= 1024 * 1024;
        unit = QStringLiteral("MB/s");
    }
    return QStringLiteral("%1 %2").arg(rate, 3, 'f', 1).arg(unit);
}

// ---------------------------------------------------------------------------
// Window
// ---------------------------------------------------------------------------

RemoteLoader::RemoteLoader(QWidget* parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::RemoteLoader>())
    , downloader(&networkManager)
{
    ui->setupUi(this);
    showMaximized();

    loadMapPage();

    ui->dateEditTo->setDate(QDate::currentDate());
    ui->dateEditFrom->setDate(ui->dateEditTo->date().addYears(-1));

    auto* previewContents = new QWidget;
    auto* previewLayout = new QVBoxLayout(previewContents);
    thumbnailLabel = new QLabel(previewContents);
    previewLayout->addWidget(thumbnailLabel);
    ui->scrollAreaRemotePreview->setWidget(previewContents);

    downloadDirectory = settings.value(directoryKey, QString()).toString();
    ui->lineEditRemoteDirectory->setText(downloadDirectory);

    connect(&downloader, &FileDownloader::downloadSuccessful, this, &RemoteLoader::downloadFinished);
    connect(&downloader, &FileDownloader::downloadError, this, &RemoteLoader::error);
    connect(&downloader, &FileDownloader::downloadProgress, this, &RemoteLoader::updateProgress);
    connect(&downloader, &FileDownloader::goingBusy, this, &RemoteLoader::showBusy);
    connect(&downloader, &FileDownloader::backReady, this, &RemoteLoader::showReady);
    connect(&downloader, &FileDownloader::unauthorized, this, &RemoteLoader::downloadRefused);
    showReady();

    userName = settings.value(nameKey, QString()).toString();
    password = settings.value(passwordKey, QString()).toString();
    if (userName.isEmpty() || password.isEmpty())
        showLoginDialog();
    if (!userName.isEmpty() && !password.isEmpty())
        requestToken();
}

RemoteLoader::~RemoteLoader()
{
    // The downloader and the replies go before the form: nothing of theirs
    // may reach a half-destroyed window.
    disconnect(&downloader, nullptr, this, nullptr);
    downloader.abortDownload();
    const QList<QNetworkReply*> replies = networkManager.findChildren<QNetworkReply*>();
    for (QNetworkReply* reply : replies) {
        reply->disconnect(this);
        reply->abort();
    }
}

void RemoteLoader::loadMapPage()
{
    initMapPageResource();
    static MapNetworkFactory mapNetworkFactory;
    QQmlEngine* engine = ui->quickWidget->engine();
    engine->setNetworkAccessManagerFactory(&mapNetworkFactory);
    engine->rootContext()->setContextProperty(QStringLiteral("mapTileTemplate"), ServiceEndpoints::mapTileTemplate());
    ui->quickWidget->setSource(QUrl(mapPageUrl));
    if (ui->quickWidget->status() == QQuickWidget::Error || !ui->quickWidget->rootObject()) {
        QStringList texts;
        for (const QQmlError& problem : ui->quickWidget->errors())
            texts.append(problem.toString());
        qWarning().noquote() << "The map page could not be loaded:" << texts.join(QStringLiteral("; "));
    }
}

QQuickItem* RemoteLoader::mapPage() const
{
    return ui->quickWidget->rootObject();
}

void RemoteLoader::closeEvent(QCloseEvent* event)
{
    confirmWindowClose(this, event);
    if (!event->isAccepted())
        return;
    // A window that is only hidden must not go on writing into the folder.
    downloadQueue.clear();
    currentDownload_.reset();
    waitingRenewal_ = 0;
    downloader.abortDownload();
}

bool RemoteLoader::eventFilter(QObject* watched, QEvent* event)
{
    return QMainWindow::eventFilter(watched, event);
}

// ---------------------------------------------------------------------------
// Account
// ---------------------------------------------------------------------------

void RemoteLoader::showLoginDialog()
{
    if (const LoginDialogHandler handler = loginDialogHandler()) {
        if (std::optional<LoginAnswer> answer = handler(this))
            slotAcceptUserLogin(answer->userName, answer->password);
        return;
    }
    LoginDialog dialog(this);
    connect(&dialog, &LoginDialog::acceptLogin, this, &RemoteLoader::slotAcceptUserLogin);
    dialog.exec();
}

void RemoteLoader::slotAcceptUserLogin(QString& user, QString& password)
{
    userName = user;
    this->password = password;
}

void RemoteLoader::requestToken()
{
    sendTokenRequest(false);
}

void RemoteLoader::renewToken()
{
    sendTokenRequest(true);
}

void RemoteLoader::sendTokenRequest(bool renewal)
{
    const QUrl url = ServiceEndpoints::url(ServiceEndpoints::Service::Identity, tokenPath);
    if (!ServiceEndpoints::isSafeForCredentials(url)) {
        const QString refusal = tr("Credentials are sent only over an encrypted connection: %1 is refused.")
                                    .arg(url.toString(QUrl::RemoveUserInfo | QUrl::RemovePath | QUrl::RemoveQuery));
        if (renewal) {
            renewalFailed(refusal);
            return;
        }
        showMessageBox(refusal, 3);
        tokenRefused();
        return;
    }

    QNetworkRequest request(url);
    request.setRawHeader("Content-Type", "application/x-www-form-urlencoded");
    request.setTransferTimeout(transferTimeout);
    // Every value percent-encoded on its own: a form decoder reads a bare
    // "+" as a blank.
    const QByteArray body = "username=" + QUrl::toPercentEncoding(userName) + "&password="
                            + QUrl::toPercentEncoding(password) + "&grant_type=password&client_id=cdse-public";
    QNetworkReply* reply = networkManager.post(request, body);
    if (renewal) {
        waitingRenewal_ = ++renewalCount_;
        reply->setProperty(renewalNumberProperty, waitingRenewal_);
    }
    connect(reply, &QNetworkReply::finished, this, [this, reply] { loginCheckFinished(reply); });
}

void RemoteLoader::loginCheckFinished(QNetworkReply* reply)
{
    reply->deleteLater();
    using Outcome = CatalogueReplies::TokenReply::Outcome;
    const CatalogueReplies::TokenReply answer =
        CatalogueReplies::readTokenReply(reply->rawHeader("content-type"), reply->readAll());

    // A renewal (0: a login) may fail for reasons of its own (a session the
    // service ended, an identity service briefly away) that say nothing
    // about the credentials: they stay, with the login they belong to.
    const int renewal = reply->property(renewalNumberProperty).toInt();
    const bool awaited = renewal != 0 && renewal == waitingRenewal_;
    if (awaited)
        waitingRenewal_ = 0;
    if (renewal != 0 && answer.outcome != Outcome::Token) {
        QString reason;
        switch (answer.outcome) {
        case Outcome::NotJson:
            reason = reply->error() != QNetworkReply::NoError ? reply->errorString()
                                                               : tr("the identity service sent no JSON answer");
            break;
        case Outcome::BadJson:
            qDebug() << "Error parsing JSON:" << answer.parseError;
            reason = tr("the identity service's answer could not be read");
            break;
        case Outcome::NotObject:
            qDebug() << "JSON is not an object";
            reason = tr("the identity service's answer could not be read");
            break;
        case Outcome::Refused:
        case Outcome::Token:
            reason = answer.description.isEmpty() ? tr("the identity service gave no token") : answer.description;
            break;
        }
        // One the window no longer waits for (the queue was aborted) ends
        // here.
        if (awaited)
            renewalFailed(reason);
        return;
    }

    switch (answer.outcome) {
    case Outcome::NotJson:
        showMessageBox(reply->errorString(), 3);
        clearCredentials();
        tokenRefused();
        return;
    case Outcome::BadJson:
        clearCredentials();
        qDebug() << "Error parsing JSON:" << answer.parseError;
        tokenRefused();
        return;
    case Outcome::NotObject:
        clearCredentials();
        qDebug() << "JSON is not an object";
        tokenRefused();
        return;
    case Outcome::Token:
        accessToken = answer.accessToken;
        refreshToken = answer.refreshToken;
        setLoggedIn(true);
        storeCredentials();
        if (!downloadQueue.isEmpty())
            downloadNext();
        return;
    case Outcome::Refused:
        break;
    }
    showMessageBox(answer.message, 3);
    clearCredentials();
    tokenRefused();
    setLoggedIn(false);
}

void RemoteLoader::tokenRefused()
{
    if (!downloader.isRunning() && ui->pushButtonRemoteDownAbort->isEnabled()) {
        currentDownload_.reset();
        showReady();
    }
}

void RemoteLoader::renewalFailed(const QString& reason)
{
    // Products still queued would come back on top of the next click's.
    downloadQueue.clear();
    currentDownload_.reset();
    waitingRenewal_ = 0;
    if (!downloader.isRunning())
        showReady();
    showMessageBox(
        tr("The access token could not be renewed (%1); the remaining downloads were cancelled.").arg(reason), 3);
}

void RemoteLoader::storeCredentials()
{
    restrictSettingsFile();
    settings.setValue(nameKey, userName);
    settings.setValue(passwordKey, password);
    settings.sync();
    restrictSettingsFile();
}

void RemoteLoader::restrictSettingsFile()
{
    const QString path = settings.fileName();
    if (QFileInfo::exists(path))
        QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

void RemoteLoader::setLoggedIn(bool loggedIn)
{
    ui->pushButtonRemoteFind->setEnabled(loggedIn);
    ui->pushButtonRemoteDownload->setEnabled(loggedIn);
    if (loggedIn) {
        ui->label_loggedInName->setText(tr("Logged in as : ") + userName);
        ui->pushButtonLogInOut->setText(tr("Log out"));
    } else {
        ui->label_loggedInName->setText(tr("Not logged in "));
        ui->pushButtonLogInOut->setText(tr("Log in"));
    }
}

void RemoteLoader::clearCredentials()
{
    userName.clear();
    password.clear();
    accessToken.clear();
    refreshToken.clear();
}

void RemoteLoader::on_pushButtonLogInOut_clicked()
{
    if (userName.isEmpty()) {
        showLoginDialog();
        requestToken();
        return;
    }
    clearCredentials();
    settings.remove(nameKey);
    settings.remove(passwordKey);
    setLoggedIn(false);
}

// ---------------------------------------------------------------------------
// Search
// ---------------------------------------------------------------------------

QString RemoteLoader::searchUrl(double firstLatitude, double firstLongitude, double secondLatitude,
                                double secondLongitude) const
{
    QString query = QStringLiteral("box=%1,%2,%3,%4")
                        .arg(g(std::min(firstLongitude, secondLongitude)), g(std::min(firstLatitude, secondLatitude)),
                             g(std::max(firstLongitude, secondLongitude)), g(std::max(firstLatitude, secondLatitude)));
    query += QStringLiteral("&startDate=%1T00:00:00.000Z&completionDate=%2T23:59:59.999Z")
                 .arg(ui->dateEditFrom->date().toString(QStringLiteral("yyyy-MM-dd")),
                      ui->dateEditTo->date().toString(QStringLiteral("yyyy-MM-dd")));
    switch (ui->comboBoxProductType->currentIndex()) {
    case 1:
        query += QStringLiteral("&productType=S2MSI2A");
        break;
    case 2:
        query += QStringLiteral("&productType=S2MSI1C");
        break;
    default:
        break;
    }
    query += QStringLiteral("&cloudCover=[0,%1]").arg(g(ui->doubleSpinBoxCloudCover->value()));
    query += QStringLiteral("&maxRecords=100&status=ONLINE&sortParam=startDate&sortOrder=ascending");
    return ServiceEndpoints::base(ServiceEndpoints::Service::Catalogue) + searchPath + query;
}

void RemoteLoader::on_pushButtonRemoteFind_clicked()
{
    QQuickItem* page = mapPage();
    if (!page || !page->property("rectangleSet").toBool()) {
        showMessageBox(tr("Please select the area of the rectangle by clicking the right mouse button."), 2);
        return;
    }
    const QString url =
        searchUrl(page->property("firstLatitude").toDouble(), page->property("firstLongitude").toDouble(),
                  page->property("secondLatitude").toDouble(), page->property("secondLongitude").toDouble());

    {
        const QSignalBlocker blocker(ui->treeWidgetRemoteResults);
        ui->treeWidgetRemoteResults->clear();
    }
    ui->treeWidgetRemoteFileinfo->clear();
    thumbnailLabel->clear();
    thumbnailData.clear();
    resultPages.clear();
    resultRows_.clear();

    ++searchNumber_;
    searchRunning_ = true;
    pendingPage_ = sendSearch(url);
    pendingPage_->setProperty(searchNumberProperty, searchNumber_);

    auto* dialog = new QProgressDialog(tr("Loading remote data"), tr("Cancel"), 0, 0);
    busyDialog = dialog;
    dialog->setWindowTitle(tr("Remote data manager"));
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    dialog->setValue(0);
    dialog->setAutoClose(true);
    connect(dialog, &QProgressDialog::canceled, this, &RemoteLoader::cancelSearch);
    // A search may end before the dialog's loop starts (a message box of a
    // reply runs its own loop); then there is nothing to wait for.
    if (searchRunning_)
        dialog->exec();
    delete dialog;
}

QNetworkReply* RemoteLoader::sendSearch(QString url)
{
    qDebug().noquote() << url;
    QNetworkRequest request{QUrl(url)};
    request.setTransferTimeout(transferTimeout);
    QNetworkReply* reply = networkManager.get(request);
    connect(reply, &QNetworkReply::finished, this, [this, reply] { replyFinished(reply); });
    connect(reply, &QNetworkReply::sslErrors, this, &RemoteLoader::sslErrors);
    return reply;
}

void RemoteLoader::replyFinished(QNetworkReply* reply)
{
    reply->deleteLater();
    const QVariant search = reply->property(searchNumberProperty);
    const bool isPage = search.isValid();
    if (isPage) {
        if (!searchRunning_ || search.toInt() != searchNumber_)
            return;
        pendingPage_.clear();
    }

    if (reply->error() != QNetworkReply::NoError) {
        if (isPage) {
            searchRunning_ = false;
            closeBusyDialog();
        }
        showMessageBox(reply->errorString(), 3);
        if (!isPage)
            return;
        // An error body in JSON is kept as a page (it lists nothing); the
        // pages before it are listed.
        const CatalogueReplies::SearchPage page =
            CatalogueReplies::readSearchPage(reply->rawHeader("content-type"), reply->readAll());
        if (page.outcome == CatalogueReplies::SearchPage::Outcome::Page)
            resultPages.append(page.page);
        if (!resultPages.isEmpty())
            fillResults();
        return;
    }

    if (isPage) {
        using Outcome = CatalogueReplies::SearchPage::Outcome;
        const QByteArray contentType = reply->rawHeader("content-type");
        const CatalogueReplies::SearchPage page = CatalogueReplies::readSearchPage(contentType, reply->readAll());
        if (page.outcome != Outcome::Page) {
            if (page.outcome == Outcome::BadJson)
                qDebug() << "Error parsing JSON:" << page.parseError;
            else if (page.outcome == Outcome::NotObject)
                qDebug() << "JSON is not an object";
            endSearch(CatalogueReplies::searchPageProblem(page, contentType, !resultPages.isEmpty()));
            return;
        }
        resultPages.append(page.page);
        if (!page.next.isEmpty()) {
            pendingPage_ = sendSearch(page.next);
            pendingPage_->setProperty(searchNumberProperty, searchNumber_);
            return;
        }
        searchRunning_ = false;
        fillResults();
        return;
    }

    // A thumbnail.
    if (reply->rawHeader("content-type") != "application/json"
        && reply->url().toString().contains(QLatin1String("jpg"))) {
        thumbnailData = reply->readAll();
        QPixmap pixmap;
        if (!thumbnailData.isEmpty() && pixmap.loadFromData(thumbnailData, "jpeg"))
            thumbnailLabel->setPixmap(pixmap.scaled(250, 250, Qt::KeepAspectRatio, Qt::FastTransformation));
    }
}

void RemoteLoader::endSearch(const QString& message)
{
    searchRunning_ = false;
    closeBusyDialog();
    if (!message.isEmpty())
        showMessageBox(message, 2);
    if (!resultPages.isEmpty())
        fillResults();
}

void RemoteLoader::cancelSearch()
{
    if (!searchRunning_)
        return;
    searchRunning_ = false;
    // Its reply comes back as one of an ended search and is dropped.
    if (QNetworkReply* reply = pendingPage_.data())
        reply->abort();
    fillResults();
}

void RemoteLoader::closeBusyDialog()
{
    if (!busyDialog)
        return;
    disconnect(busyDialog, &QProgressDialog::canceled, this, &RemoteLoader::cancelSearch);
    busyDialog->hide();
}

void RemoteLoader::fillResults()
{
    QTreeWidget* tree = ui->treeWidgetRemoteResults;
    for (int p = 0; p < resultPages.size(); ++p) {
        const QJsonArray features = resultPages[p].value(QStringLiteral("features")).toArray();
        for (int j = 0; j < features.size(); ++j) {
            const QString title = features[j]
                                      .toObject()
                                      .value(QStringLiteral("properties"))
                                      .toObject()
                                      .value(QStringLiteral("title"))
                                      .toString();
            auto* item = new QTreeWidgetItem(tree);
            auto* box = new QCheckBox;
            box->setChecked(false);
            box->setMaximumSize(20, 20);
            box->setProperty("id", 100 * p + j);
            tree->setItemWidget(item, 0, box);
            item->setText(1, title.left(std::max<qsizetype>(0, title.size() - 5)));
            resultRows_.append({p, j});
        }
    }
    tree->header()->resizeSections(QHeaderView::ResizeToContents);
    // The check boxes are item widgets, which the contents size leaves out.
    tree->header()->resizeSection(0, std::max(tree->header()->sectionSize(0), 28));
    ui->groupBoxResults->setTitle(tr("%1 Results found").arg(tree->topLevelItemCount()));
    closeBusyDialog();
}

QJsonObject RemoteLoader::resultFeature(int row) const
{
    if (row < 0 || row >= resultRows_.size())
        return {};
    const auto [page, feature] = resultRows_[row];
    if (page >= resultPages.size())
        return {};
    return resultPages[page].value(QStringLiteral("features")).toArray().at(feature).toObject();
}

void RemoteLoader::on_treeWidgetRemoteResults_currentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous)
{
    thumbnailLabel->clear();
    ui->treeWidgetRemoteFileinfo->clear();
    if (!current)
        return;
    const int row = ui->treeWidgetRemoteResults->indexOfTopLevelItem(current);
    const QJsonObject properties = resultFeature(row).value(QStringLiteral("properties")).toObject();

    QTreeWidget* info = ui->treeWidgetRemoteFileinfo;
    auto addRow = [info](const QString& attribute, const QString& value) {
        auto* item = new QTreeWidgetItem(info);
        item->setText(0, attribute);
        item->setText(1, value);
    };
    addRow(QStringLiteral("Status"), properties.value(QStringLiteral("status")).toString());
    for (const char* key : {"title", "startDate", "completionDate", "processingLevel"})
        addRow(QLatin1String(key), properties.value(QLatin1String(key)).toString());
    for (const char* key : {"snowCover", "cloudCover"})
        addRow(QLatin1String(key), QStringLiteral("%1").arg(g(properties.value(QLatin1String(key)).toDouble())));

    const QString thumbnail = properties.value(QStringLiteral("thumbnail")).toString();
    if (!thumbnail.isEmpty())
        sendSearch(thumbnail);
    info->header()->resizeSections(QHeaderView::ResizeToContents);
}

void RemoteLoader::sslErrors(const QList<QSslError>& errors)
{
    QString text;
    for (const QSslError& problem : errors)
        text += problem.errorString();
    showMessageBox(text, 3);
}

// ---------------------------------------------------------------------------
// Download
// ---------------------------------------------------------------------------

void RemoteLoader::on_toolButtonRemoteChangeDir_clicked()
{
    const QString directory = chooseExistingDirectory(this, tr("Select directory"), downloadDirectory,
                                                      QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (directory.isEmpty())
        return;
    settings.setValue(directoryKey, directory);
    downloadDirectory = directory;
    ui->lineEditRemoteDirectory->setText(directory);
}

void RemoteLoader::on_pushButtonRemoteDownload_clicked()
{
    if (downloadDirectory.isEmpty()) {
        showMessageBox(tr("Please select directory."), 0);
        return;
    }
    QTreeWidget* tree = ui->treeWidgetRemoteResults;
    for (int row = 0; row < tree->topLevelItemCount(); ++row) {
        auto* box = qobject_cast<QCheckBox*>(tree->itemWidget(tree->topLevelItem(row), 0));
        if (!box || !box->isChecked())
            continue;
        const QJsonObject properties = resultFeature(row).value(QStringLiteral("properties")).toObject();
        QueuedProduct product;
        product.number = row;
        product.url = QUrl(properties.value(QStringLiteral("services"))
                               .toObject()
                               .value(QStringLiteral("download"))
                               .toObject()
                               .value(QStringLiteral("url"))
                               .toString());
        product.title = properties.value(QStringLiteral("title")).toString();
        downloadQueue.append(product);
    }
    if (downloadQueue.isEmpty())
        showMessageBox(tr("Please select files to download"), 0);
    requestToken();
}

void RemoteLoader::downloadNext()
{
    // One download at a time: a second token reply finds this one running.
    while (!downloader.isRunning()) {
        if (downloadQueue.isEmpty()) {
            currentDownload_.reset();
            showReady();
            return;
        }
        const QueuedProduct product = downloadQueue.takeFirst();
        qDebug().noquote() << product.url.toString();

        const QString name = productFileName(product.title);
        if (name.isEmpty()) {
            showMessageBox(
                tr("The product name \"%1\" cannot be used as a file name; it is skipped.").arg(product.title), 2);
            continue;
        }
        if (!ServiceEndpoints::isSafeForCredentials(product.url)) {
            showMessageBox(tr("The product %1 has no secure download address; it is skipped.").arg(name), 2);
            continue;
        }
        const QString target = downloadDirectory + QLatin1Char('/') + name + QStringLiteral(".zip");
        downloader.transferTimeout = transferTimeout;
        currentDownload_ = product;
        if (downloader.startDownload(product.url, target, &downloadTimer, QStringLiteral("Bearer ") + accessToken))
            return;
        currentDownload_.reset();
        showMessageBox(tr("Unable to write %1: %2").arg(target, downloader.lastError()), 2);
    }
}

void RemoteLoader::downloadRefused()
{
    // The token expired or was revoked: renew it once for this product.
    if (currentDownload_ && !currentDownload_->retried) {
        QueuedProduct product = *currentDownload_;
        product.retried = true;
        downloadQueue.prepend(product);
        currentDownload_.reset();
        renewToken();
        return;
    }
    downloadFinished(downloadStatusText(401));
}

void RemoteLoader::on_pushButtonRemoteDownAbort_clicked()
{
    const bool busy = ui->pushButtonRemoteDownAbort->isEnabled();
    if (downloader.isRunning())
        ui->labelRemoteDownload->setText(downloader.abortDownload());
    downloadQueue.clear();
    currentDownload_.reset();
    waitingRenewal_ = 0;
    if (busy)
        emit downloader.backReady();
}

void RemoteLoader::downloadFinished(QString message)
{
    ui->labelRemoteDownload->setText(message);
    ui->labelDownloadSpeed->setText(QString());
    currentDownload_.reset();
    // Every product starts with a fresh token: the service's tokens expire
    // long before a queue of large products is through.
    if (downloadQueue.isEmpty())
        downloadNext();
    else
        renewToken();
}

void RemoteLoader::error(QString message)
{
    ui->labelRemoteDownload->setText(message);
    currentDownload_.reset();
    // The rest of the queue waits for the next Download click.
    showReady();
}

void RemoteLoader::updateProgress(qint64 received, qint64 total)
{
    QProgressBar* bar = ui->progressBarRemoteDownload;
    if (total < 0) {
        bar->setRange(0, 0);
    } else {
        // The bar counts in int; larger products are shown in coarser units.
        qint64 shownReceived = received;
        qint64 shownTotal = total;
        while (shownTotal > INT_MAX) {
            shownTotal >>= 10;
            shownReceived >>= 10;
        }
        bar->setRange(0, int(shownTotal));
        bar->setValue(int(std::min(shownReceived, shownTotal)));
    }
    showDownloadSpeed(received, total);
}

void RemoteLoader::showDownloadSpeed(qint64 received, qint64 total)
{
    ui->labelDownloadSpeed->setText(downloadSpeedText(received, downloadTimer.elapsed()));
}

void RemoteLoader::showBusy(QString name)
{
    ui->pushButtonRemoteDownload->setEnabled(false);
    ui->lineEditRemoteDirectory->setEnabled(false);
    ui->toolButtonRemoteChangeDir->setEnabled(false);
    ui->pushButtonRemoteDownAbort->setEnabled(true);
    ui->labelRemoteDownload->setText(tr("Downloading ") + name);
}

void RemoteLoader::showReady()
{
    ui->pushButtonRemoteDownload->setEnabled(true);
    ui->lineEditRemoteDirectory->setEnabled(true);
    ui->toolButtonRemoteChangeDir->setEnabled(true);
    ui->pushButtonRemoteDownAbort->setEnabled(false);
    ui->progressBarRemoteDownload->setRange(0, 1);
    ui->progressBarRemoteDownload->setValue(0);
}
