#pragma once

// A small HTTP/1.1 server on 127.0.0.1 for tests of the network windows.
//
// It listens on an ephemeral port and runs on a thread of its own, so a
// modal loop of the code under test (a busy dialog, a message box) cannot
// starve it. Every request is answered by the handler the test installs and
// recorded. A response can be sent at once, in delayed chunks, cut off in
// the middle of its body, or never (a stalled server). Each connection
// serves one request ("Connection: close").

#include <functional>
#include <memory>

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>

class QThread;
class FakeHttpServerWorker;
struct FakeHttpServerState;

class FakeHttpServer {
public:
    struct Request {
        QByteArray method;
        QByteArray target; // path and query as sent
        QList<QPair<QByteArray, QByteArray>> headers; // in order, names as sent
        QByteArray body;
        qint64 receivedMs = 0; // since the server started
        qint64 finishedMs = -1; // when the response was done (or dropped)

        // The first header of that name (case-insensitive), empty when none.
        QByteArray header(const QByteArray& name) const;
        // The target's path without the query.
        QByteArray path() const;
    };

    struct Response {
        int status = 200;
        // Sent exactly as given; no header when empty.
        QByteArray contentType;
        QByteArray body;
        // More header lines ("Name", "value").
        QList<QPair<QByteArray, QByteArray>> headers;
        // Wait before the status line.
        int delayMs = 0;
        // Body in pieces of chunkSize bytes with chunkDelayMs between them
        // (0: all at once).
        int chunkSize = 0;
        int chunkDelayMs = 0;
        // Close the connection after this many body bytes (the full length
        // is still announced); -1 sends the whole body.
        int dropAfterBytes = -1;
        // Send nothing at all and keep the connection open.
        bool stall = false;
    };

    // Runs on the server's thread: whatever it reads must be safe to read
    // from there.
    using Handler = std::function<Response(const Request&)>;

    FakeHttpServer();
    ~FakeHttpServer();
    FakeHttpServer(const FakeHttpServer&) = delete;
    FakeHttpServer& operator=(const FakeHttpServer&) = delete;

    void setHandler(Handler handler);

    quint16 port() const;
    // "http://127.0.0.1:<port>"
    QString baseUrl() const;
    QUrl url(const QString& pathAndQuery) const;

    // Copies of the requests received so far, in arrival order.
    QList<Request> requests() const;
    // Those whose path starts with prefix.
    QList<Request> requests(const QByteArray& pathPrefix) const;
    int requestCount() const;

private:
    std::shared_ptr<FakeHttpServerState> state_;
    std::unique_ptr<QThread> thread_;
    FakeHttpServerWorker* worker_ = nullptr;
    quint16 port_ = 0;
};

// A JSON response with the exact content type "application/json".
FakeHttpServer::Response jsonResponse(const QByteArray& body, int status = 200);
