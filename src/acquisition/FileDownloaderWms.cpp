#include "acquisition/FileDownloaderWms.h"

#include <QFile>
#include <QImageReader>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QStringList>
#include <QXmlStreamReader>

namespace {

// The texts of every ServiceException element of an XML body, joined by
// "; "; empty when the body is no such report.
QString serviceExceptionText(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QXmlStreamReader xml(&file);
    QStringList texts;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name() != QLatin1String("ServiceException"))
            continue;
        const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements).simplified();
        if (!text.isEmpty())
            texts.append(text);
    }
    return texts.join(QStringLiteral("; "));
}

} // namespace

QString wmsReplyRefusal(QNetworkReply* reply, const QString& partPath)
{
    return wmsReplyRefusal(reply->header(QNetworkRequest::ContentTypeHeader).toString(), partPath);
}

QString wmsReplyRefusal(const QString& contentType, const QString& partPath)
{
    // Parameters such as "; charset=..." or "; mode=8bit" say nothing about
    // whether the body is an image.
    const QString mediaType = contentType.section(QLatin1Char(';'), 0, 0).trimmed().toLower();
    if (mediaType.startsWith(QLatin1String("image/"))) {
        QImageReader reader(partPath);
        if (reader.canRead())
            return {};
    }
    QString detail = serviceExceptionText(partPath);
    if (detail.isEmpty())
        detail = contentType.isEmpty() ? QObject::tr("reply without content type") : contentType;
    return QObject::tr("WMS service error: %1").arg(detail);
}

FileDownloaderWms::FileDownloaderWms(QNetworkAccessManager* manager, QObject* parent)
    : QObject(parent)
    , manager_(manager)
{
    file_.setAcceptance(static_cast<QString (*)(QNetworkReply*, const QString&)>(&wmsReplyRefusal));
}

FileDownloaderWms::~FileDownloaderWms()
{
    abortDownload();
}

bool FileDownloaderWms::startDownload(QUrl url, QString targetPath, bool preview)
{
    if (isRunning())
        return false;
    if (!manager_) {
        emit downloadError(tr("Unable to download: the network is not available."));
        return false;
    }
    if (!file_.open(targetPath)) {
        const QString reason = file_.errorString();
        file_.discard();
        emit downloadError(tr("Unable to write %1: %2").arg(targetPath, reason));
        return false;
    }
    preview_ = preview;
    emit goingBusy(targetPath, preview);

    QNetworkRequest request(url);
    request.setTransferTimeout(transferTimeout);
    QNetworkReply* reply = manager_->get(request);
    reply_ = reply;
    connect(reply, &QNetworkReply::readyRead, this, &FileDownloaderWms::readData);
    connect(reply, &QNetworkReply::errorOccurred, this, &FileDownloaderWms::error);
    connect(reply, &QNetworkReply::downloadProgress, this, &FileDownloaderWms::downloadProgress);
    connect(reply, &QNetworkReply::finished, this, &FileDownloaderWms::finishDownload);
    return true;
}

QString FileDownloaderWms::abortDownload()
{
    return file_.abort(reply_, this);
}

void FileDownloaderWms::readData()
{
    if (const std::optional<ReplyFile::Result> failed = file_.receive(reply_, this))
        emit downloadError(failed->message);
}

void FileDownloaderWms::error(QNetworkReply::NetworkError)
{
    // Qt signals a failed reply twice, errorOccurred and then finished; the
    // first one ends the download, so the failure is reported once.
    finishDownload();
}

void FileDownloaderWms::finishDownload()
{
    // The status (when the server sent one) decides the text before Qt's
    // error flag, as for every download of the program.
    const std::optional<ReplyFile::Result> finished = file_.take(reply_, this);
    if (!finished)
        return;
    const ReplyFile::Result& result = *finished;
    if (result.outcome == ReplyFile::Outcome::Saved)
        emit downloadSuccessful(result.message, file_.targetPath(), preview_);
    else
        emit downloadError(result.message);
}
