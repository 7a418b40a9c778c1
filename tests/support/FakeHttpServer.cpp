#include "support/FakeHttpServer.h"

#include <mutex>
#include <utility>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

// What the test's thread and the server's thread share.
struct FakeHttpServerState {
    mutable std::mutex mutex;
    FakeHttpServer::Handler handler;
    QList<FakeHttpServer::Request> requests;
    QElapsedTimer clock;
};

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 202:
        return "Accepted";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

} // namespace

// Lives on the server's thread; every member function but the constructor
// runs there.
class FakeHttpServerWorker : public QObject {
public:
    explicit FakeHttpServerWorker(std::shared_ptr<FakeHttpServerState> shared)
        : shared_(std::move(shared))
    {
    }

    quint16 listen()
    {
        server_ = new QTcpServer(this);
        QObject::connect(server_, &QTcpServer::newConnection, this, [this] { acceptConnections(); });
        if (!server_->listen(QHostAddress::LocalHost, 0))
            return 0;
        return server_->serverPort();
    }

    void stop(QThread* home)
    {
        for (QTcpSocket* socket : connections_.keys()) {
            socket->disconnect(this);
            socket->abort();
            delete socket;
        }
        connections_.clear();
        delete server_;
        server_ = nullptr;
        moveToThread(home);
    }

private:
    struct Connection {
        QByteArray buffer;
        int requestIndex = -1; // -1 until the request is complete
    };

    qint64 now() const { return shared_->clock.elapsed(); }

    void acceptConnections()
    {
        while (QTcpSocket* socket = server_->nextPendingConnection()) {
            socket->setParent(this);
            connections_.insert(socket, Connection());
            QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readRequest(socket); });
            QObject::connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
                finished(socket);
                connections_.remove(socket);
                socket->deleteLater();
            });
            readRequest(socket);
        }
    }

    void readRequest(QTcpSocket* socket)
    {
        auto it = connections_.find(socket);
        if (it == connections_.end() || it->requestIndex >= 0)
            return;
        it->buffer += socket->readAll();
        const qsizetype headEnd = it->buffer.indexOf("\r\n\r\n");
        if (headEnd < 0)
            return;

        FakeHttpServer::Request request;
        const QList<QByteArray> lines = it->buffer.left(headEnd).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        request.method = requestLine.value(0);
        request.target = requestLine.value(1);
        qsizetype contentLength = 0;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines[i].trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                continue;
            const QByteArray name = line.left(colon).trimmed();
            const QByteArray value = line.mid(colon + 1).trimmed();
            request.headers.append({name, value});
            if (name.compare("content-length", Qt::CaseInsensitive) == 0)
                contentLength = value.toLongLong();
        }
        if (it->buffer.size() < headEnd + 4 + contentLength)
            return;
        request.body = it->buffer.mid(headEnd + 4, contentLength);
        request.receivedMs = now();

        FakeHttpServer::Handler handler;
        {
            std::lock_guard lock(shared_->mutex);
            it->requestIndex = int(shared_->requests.size());
            shared_->requests.append(request);
            handler = shared_->handler;
        }
        FakeHttpServer::Response response;
        if (handler)
            response = handler(request);
        else
            response.status = 404;
        if (response.stall)
            return;
        if (response.delayMs > 0)
            QTimer::singleShot(response.delayMs, socket, [this, socket, response] { respond(socket, response); });
        else
            respond(socket, response);
    }

    void respond(QTcpSocket* socket, const FakeHttpServer::Response& response)
    {
        QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonPhrase(response.status)
                          + "\r\n";
        if (!response.contentType.isEmpty())
            head += "Content-Type: " + response.contentType + "\r\n";
        head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
        for (const auto& [name, value] : response.headers)
            head += name + ": " + value + "\r\n";
        head += "Connection: close\r\n\r\n";
        socket->write(head);

        QByteArray body = response.body;
        const bool drop = response.dropAfterBytes >= 0 && response.dropAfterBytes < body.size();
        if (drop)
            body.truncate(response.dropAfterBytes);
        if (response.chunkSize <= 0) {
            socket->write(body);
            close(socket);
            return;
        }
        sendChunks(socket, body, 0, response.chunkSize, response.chunkDelayMs);
    }

    void sendChunks(QTcpSocket* socket, QByteArray body, qsizetype offset, int chunkSize, int delayMs)
    {
        socket->write(body.mid(offset, chunkSize));
        socket->flush();
        offset += chunkSize;
        if (offset >= body.size()) {
            close(socket);
            return;
        }
        QTimer::singleShot(delayMs, socket, [this, socket, body, offset, chunkSize, delayMs] {
            sendChunks(socket, body, offset, chunkSize, delayMs);
        });
    }

    // The response is out (or cut short): close once every byte is written.
    void close(QTcpSocket* socket)
    {
        finished(socket);
        socket->disconnectFromHost();
    }

    void finished(QTcpSocket* socket)
    {
        const auto it = connections_.constFind(socket);
        if (it == connections_.constEnd() || it->requestIndex < 0)
            return;
        std::lock_guard lock(shared_->mutex);
        FakeHttpServer::Request& request = shared_->requests[it->requestIndex];
        if (request.finishedMs < 0)
            request.finishedMs = now();
    }

    std::shared_ptr<FakeHttpServerState> shared_;
    QTcpServer* server_ = nullptr;
    QHash<QTcpSocket*, Connection> connections_;
};

QByteArray FakeHttpServer::Request::header(const QByteArray& name) const
{
    for (const auto& [key, value] : headers) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return {};
}

QByteArray FakeHttpServer::Request::path() const
{
    const qsizetype question = target.indexOf('?');
    return question < 0 ? target : target.left(question);
}

FakeHttpServer::FakeHttpServer()
    : state_(std::make_shared<FakeHttpServerState>())
    , thread_(std::make_unique<QThread>())
{
    state_->clock.start();
    worker_ = new FakeHttpServerWorker(state_);
    worker_->moveToThread(thread_.get());
    thread_->start();
    quint16 port = 0;
    QMetaObject::invokeMethod(worker_, [this, &port] { port = worker_->listen(); }, Qt::BlockingQueuedConnection);
    port_ = port;
}

FakeHttpServer::~FakeHttpServer()
{
    QThread* home = QThread::currentThread();
    QMetaObject::invokeMethod(worker_, [this, home] { worker_->stop(home); }, Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
    delete worker_;
}

void FakeHttpServer::setHandler(Handler handler)
{
    std::lock_guard lock(state_->mutex);
    state_->handler = std::move(handler);
}

quint16 FakeHttpServer::port() const
{
    return port_;
}

QString FakeHttpServer::baseUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(port_);
}

QUrl FakeHttpServer::url(const QString& pathAndQuery) const
{
    return QUrl(baseUrl() + pathAndQuery);
}

QList<FakeHttpServer::Request> FakeHttpServer::requests() const
{
    std::lock_guard lock(state_->mutex);
    return state_->requests;
}

QList<FakeHttpServer::Request> FakeHttpServer::requests(const QByteArray& pathPrefix) const
{
    QList<Request> out;
    for (const Request& request : requests()) {
        if (request.path().startsWith(pathPrefix))
            out.append(request);
    }
    return out;
}

int FakeHttpServer::requestCount() const
{
    return int(requests().size());
}

FakeHttpServer::Response jsonResponse(const QByteArray& body, int status)
{
    FakeHttpServer::Response response;
    response.status = status;
    response.contentType = "application/json";
    response.body = body;
    return response;
}
