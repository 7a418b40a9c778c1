#pragma once

// Downloads that write one network reply into one file.
//
// ReplyFile is the core every downloader of the acquisition windows shares:
// the bytes of a reply go into "<target>.part", and only a reply that ends
// without error and with HTTP status 200 becomes "<target>" (replacing an
// earlier file in one step, so a complete file is only ever replaced by a
// complete one). Any other status, a network error, a failed write or
// close, a body that the downloader's acceptance check refuses or an abort
// removes the part; a failed write ends the download at once, as the rest of
// the body could not be kept either. The HTTP status is looked at before
// Qt's error flag, because Qt flags answers such as 403 and 503 as errors
// and their status text would be lost behind the generic error text.
//
// FileDownloader drives the core for the remote catalogue window: one GET at
// a time with an Authorization header, signals for the window's display.
// All of it runs on the GUI thread through asynchronous replies.

#include <functional>
#include <optional>

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

// The text of a download that ended with the given HTTP status and no network
// error: 200, 202, 403 and 503 have their own texts, anything else reads
// "Undefined error.".
QString downloadStatusText(int httpStatus);

class ReplyFile {
public:
    enum class Outcome {
        Saved,  // status 200, every byte written, the target is in place
        Status, // the server answered with another status: nothing kept
        Failed, // network error or failed write: nothing kept
        Rejected, // status 200, but the acceptance check refused the body: nothing kept
    };

    struct Result {
        Outcome outcome = Outcome::Failed;
        int httpStatus = 0; // 0 when the reply carries none
        QString message;    // status text, or the error text
    };

    // Looks at a complete, closed 200 body in partPath before it is moved
    // into place: an empty text accepts it, any other text refuses it and
    // becomes the result's message. Without a check every 200 body is kept.
    using Acceptance = std::function<QString(QNetworkReply* reply, const QString& partPath)>;

    ReplyFile() = default;
    // Removes a part that was not finished.
    ~ReplyFile();
    ReplyFile(const ReplyFile&) = delete;
    ReplyFile& operator=(const ReplyFile&) = delete;

    // Opens "<targetPath>.part" for writing (emptied when it exists). False
    // when it cannot be opened; errorString() then says why. The target
    // itself is not touched.
    bool open(const QString& targetPath);
    bool isOpen() const { return file_.isOpen(); }
    QString targetPath() const { return target_; }
    QString partPath() const { return target_ + QStringLiteral(".part"); }
    QString errorString() const { return file_.errorString(); }

    // Appends every byte the reply has available. False when the write
    // failed (a full disk): nothing more can be kept.
    bool append(QNetworkReply* reply);

    // The bytes a running reply has available go into the part. The first
    // write that fails ends the download there: the reply's signals to
    // listener are cut, the reply is aborted and deleted later, the part is
    // removed, reply is cleared and the result ("Unable to write <target>:
    // <reason>") says why. Nothing when every byte was written.
    std::optional<Result> receive(QPointer<QNetworkReply>& reply, QObject* listener);

    // Ends the download of a finished reply: writes what is left of a
    // successful body, then either moves the part into place or removes it.
    Result finish(QNetworkReply* reply);

    // Closes and removes the part (an abort).
    void discard();

    // The two ends of a downloader's running reply. abort cuts the reply's
    // signals from listener (aborting emits them at once), aborts and deletes
    // it later, removes the part and returns the reply's error text (empty
    // when none ran). take cuts the finished reply's signals from listener,
    // finishes it into the file and deletes it later; nothing when none ran.
    // Either way reply is cleared.
    QString abort(QPointer<QNetworkReply>& reply, QObject* listener);
    std::optional<Result> take(QPointer<QNetworkReply>& reply, QObject* listener);

    void setAcceptance(Acceptance acceptance) { acceptance_ = std::move(acceptance); }

    // Closes the finished part; false when the file system refused to (a
    // network file system may report a full disk or a lost write only
    // there). Replaceable for tests: a local file system never refuses.
    std::function<bool(QFile& part)> closePart = [](QFile& part) {
        part.close();
        return part.error() == QFileDevice::NoError;
    };

private:
    // "Unable to write <target>: <the file's error>".
    QString writeFailure() const;

    QFile file_;
    QString target_;
    bool writeFailed_ = false;
    Acceptance acceptance_;
};

class FileDownloader : public QObject {
    Q_OBJECT

public:
    // The manager belongs to the caller and must outlive the downloader.
    explicit FileDownloader(QNetworkAccessManager* manager, QObject* parent = nullptr);
    // Aborts a running download and removes its part; emits nothing.
    ~FileDownloader() override;

    // Starts one download of url into targetPath (through its ".part"),
    // sending authorization as the Authorization header, and restarts timer.
    // False, with nothing started and nothing emitted, while another download
    // runs or when the part cannot be opened (lastError() says why).
    bool startDownload(QUrl url, QString targetPath, QElapsedTimer* timer, QString authorization);

    // Aborts the running download and removes its part. Returns the aborted
    // reply's error text (empty when nothing ran). Emits nothing.
    QString abortDownload();

    bool isRunning() const { return !reply_.isNull(); }
    QString lastError() const { return lastError_; }
    // The file the replies go into.
    ReplyFile& replyFile() { return file_; }

    // Milliseconds without any byte after which a reply is given up.
    int transferTimeout = 30000;

signals:
    void downloadProgress(qint64 received, qint64 total);
    // The download ended with an HTTP status; message is its status text.
    void downloadSuccessful(QString message);
    void downloadError(QString message);
    void goingBusy(QString name);
    void backReady();
    // The server refused the access token (401); nothing was kept.
    void unauthorized();

public slots:
    void readData();
    void finishDownload();

private:
    QNetworkAccessManager* manager_;
    ReplyFile file_;
    QPointer<QNetworkReply> reply_;
    QString lastError_;
};
