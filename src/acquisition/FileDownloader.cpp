#include "acquisition/FileDownloader.h"

#include <cstdio>

#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

QString downloadStatusText(int httpStatus)
{
    switch (httpStatus) {
    case 200:
        return QObject::tr("Download finished successfully");
    case 202:
        return QObject::tr("The retrieval request has been successfully submitted.");
    case 503:
        return QObject::tr("The service cannot accept new requests since is is busy in handling other requests.");
    case 403:
        return QObject::tr(
            "The request is not accepted because the number of submitted requested exceeded the allowed user quota.");
    default:
        return QObject::tr("Undefined error.");
    }
}

// ---------------------------------------------------------------------------
// ReplyFile
// ---------------------------------------------------------------------------

ReplyFile::~ReplyFile()
{
    discard();
}

bool ReplyFile::open(const QString& targetPath)
{
    discard();
    target_ = targetPath;
    writeFailed_ = false;
    file_.setFileName(partPath());
    // Unbuffered: every piece reaches the file system when it arrives, so a
    // full disk shows at the write that meets it.
    return file_.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
}

bool ReplyFile::append(QNetworkReply* reply)
{
    const QByteArray bytes = reply->readAll();
    if (!file_.isOpen() || writeFailed_)
        return false;
    if (!bytes.isEmpty() && file_.write(bytes) != bytes.size())
        writeFailed_ = true;
    return !writeFailed_;
}

QString ReplyFile::writeFailure() const
{
    return QObject::tr("Unable to write %1: %2").arg(target_, file_.errorString());
}

std::optional<ReplyFile::Result> ReplyFile::receive(QPointer<QNetworkReply>& reply, QObject* listener)
{
    QNetworkReply* running = reply.data();
    if (!running || append(running))
        return std::nullopt;
    Result result;
    const QVariant status = running->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    result.httpStatus = status.isValid() ? status.toInt() : 0;
    result.message = writeFailure();
    abort(reply, listener);
    return result;
}

ReplyFile::Result ReplyFile::finish(QNetworkReply* reply)
{
    Result result;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    result.httpStatus = status.isValid() ? status.toInt() : 0;

    if (result.httpStatus == 200 && reply->error() == QNetworkReply::NoError) {
        append(reply);
        const bool flushed = file_.isOpen() && file_.flush();
        // A part that could not be closed may lack its last bytes: as much a
        // failed write as one that failed at once.
        if (writeFailed_ || !flushed || !closePart(file_)) {
            result.message = writeFailure();
            discard();
            return result;
        }
        if (acceptance_) {
            const QString refusal = acceptance_(reply, partPath());
            if (!refusal.isEmpty()) {
                result.outcome = Outcome::Rejected;
                result.message = refusal;
                discard();
                return result;
            }
        }
        // rename(2) replaces an existing target in one step.
        if (std::rename(QFile::encodeName(partPath()).constData(), QFile::encodeName(target_).constData()) != 0) {
            result.message = QObject::tr("Unable to move %1 into place.").arg(QFileInfo(target_).fileName());
            discard();
            return result;
        }
        result.outcome = Outcome::Saved;
        result.message = downloadStatusText(200);
        return result;
    }

    // A status other than 200 is the server's answer even where Qt also
    // flags an error; a 200 cut short is a network failure.
    if (result.httpStatus > 0 && result.httpStatus != 200) {
        result.outcome = Outcome::Status;
        result.message = downloadStatusText(result.httpStatus);
    } else {
        result.message = reply->errorString();
    }
    discard();
    return result;
}

void ReplyFile::discard()
{
    if (file_.fileName().isEmpty())
        return;
    if (file_.isOpen())
        file_.close();
    QFile::remove(file_.fileName());
    file_.setFileName(QString());
}

QString ReplyFile::abort(QPointer<QNetworkReply>& reply, QObject* listener)
{
    QString text;
    if (QNetworkReply* running = reply.data()) {
        reply.clear();
        running->disconnect(listener);
        running->abort();
        text = running->errorString();
        running->deleteLater();
    }
    discard();
    return text;
}

std::optional<ReplyFile::Result> ReplyFile::take(QPointer<QNetworkReply>& reply, QObject* listener)
{
    QNetworkReply* finished = reply.data();
    if (!finished)
        return std::nullopt;
    reply.clear();
    finished->disconnect(listener);
    const Result result = finish(finished);
    // A reply that signalled an error is still winding down; aborting it
    // there would report its error a second time inside Qt. Deleting it
    // closes whatever is left of the connection.
    finished->deleteLater();
    return result;
}

// ---------------------------------------------------------------------------
// FileDownloader
// ---------------------------------------------------------------------------

FileDownloader::FileDownloader(QNetworkAccessManager* manager, QObject* parent)
    : QObject(parent)
    , manager_(manager)
{
}

FileDownloader::~FileDownloader()
{
    abortDownload();
}

bool FileDownloader::startDownload(QUrl url, QString targetPath, QElapsedTimer* timer, QString authorization)
{
    if (isRunning()) {
        lastError_ = tr("Another download is running.");
        return false;
    }
    if (!file_.open(targetPath)) {
        lastError_ = file_.errorString();
        file_.discard();
        return false;
    }
    lastError_.clear();

    emit goingBusy(QFileInfo(targetPath).baseName());

    QNetworkRequest request(url);
    request.setRawHeader("Authorization", authorization.toUtf8());
    request.setTransferTimeout(transferTimeout);
    QNetworkReply* reply = manager_->get(request);
    reply_ = reply;
    connect(reply, &QNetworkReply::readyRead, this, &FileDownloader::readData);
    connect(reply, &QNetworkReply::downloadProgress, this, &FileDownloader::downloadProgress);
    connect(reply, &QNetworkReply::finished, this, &FileDownloader::finishDownload);

    if (timer)
        timer->restart();
    return true;
}

QString FileDownloader::abortDownload()
{
    return file_.abort(reply_, this);
}

void FileDownloader::readData()
{
    if (const std::optional<ReplyFile::Result> failed = file_.receive(reply_, this))
        emit downloadError(failed->message);
}

void FileDownloader::finishDownload()
{
    const std::optional<ReplyFile::Result> finished = file_.take(reply_, this);
    if (!finished)
        return;
    const ReplyFile::Result& result = *finished;
    switch (result.outcome) {
    case ReplyFile::Outcome::Saved:
        emit downloadSuccessful(result.message);
        break;
    case ReplyFile::Outcome::Status:
        if (result.httpStatus == 401)
            emit unauthorized();
        else
            emit downloadSuccessful(result.message);
        break;
    case ReplyFile::Outcome::Failed:
    case ReplyFile::Outcome::Rejected:
        emit downloadError(result.message);
        break;
    }
}
