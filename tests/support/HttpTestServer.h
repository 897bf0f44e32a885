#pragma once

// A small HTTP/1.1 server for tests, listening on 127.0.0.1 on a port chosen by
// the OS. Several instances stand for several hosts. It runs on the event loop
// of the thread that owns it; no threads are involved.
//
// Routes are registered by path ("/a/b.html"); a request whose target carries a
// query string matches a route registered with that query first, then the bare
// path. Requests in absolute form ("GET http://h:p/x HTTP/1.1", as sent to a
// proxy) are routed by their path too, so an instance can also stand for a proxy.
// Unknown paths answer 404. Every response closes its connection. Requests for
// /robots.txt are logged apart (robotsRequests), so that the log of a crawl
// lists its documents alone.

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>

class QTcpServer;
class QTcpSocket;

class HttpTestServer : public QObject {
    Q_OBJECT
public:
    using Headers = QList<QPair<QByteArray, QByteArray>>;

    explicit HttpTestServer(QObject* parent = nullptr);
    ~HttpTestServer() override;

    bool isListening() const;
    quint16 port() const;
    // "http://127.0.0.1:PORT"
    QString baseUrl() const;
    // baseUrl() + path
    QString url(const QString& path) const;

    // Plain answers.
    void setPage(const QString& path, const QString& body, const QByteArray& contentType = "text/html");
    void setBody(const QString& path, const QByteArray& bytes,
                 const QByteArray& contentType = "application/octet-stream");
    void setStatus(const QString& path, int code, const QByteArray& body,
                   const QByteArray& contentType = "text/html");
    void setRedirect(const QString& path, const QString& location, int code = 302);
    // Raw bytes written as they are (no status line or headers added), then the
    // connection is closed: for malformed answers.
    void setRaw(const QString& path, const QByteArray& bytes);
    // Raw answers given in turn, one per request; the last one repeats.
    void setRawSequence(const QString& path, const QList<QByteArray>& answers);

    // Fault routes.
    // The body in pieces (with a Content-Length for the whole), pausing delayMs
    // before every piece after the first; with kOnRelease each of them waits
    // for releasePiece() instead.
    static constexpr int kOnRelease = -1;
    void setPieces(const QString& path, const QList<QByteArray>& pieces, int delayMs,
                   const QByteArray& contentType = "text/html");
    // Sends the next piece of every answer that waits for releasePiece().
    void releasePiece();
    // The request is read, then the connection is closed without a byte.
    void setCloseBeforeAnyByte(const QString& path);
    // Content-Length says totalLength; sentBytes of the body are sent, then the
    // connection is reset. The body is largeBodyBytes(0, sentBytes).
    void setResetMidBody(const QString& path, qint64 totalLength, qint64 sentBytes);
    // Headers with a Content-Length, then nothing; the connection stays open.
    void setStallAfterHeaders(const QString& path);
    // One byte every intervalMs until totalBytes were sent (largeBodyBytes content).
    void setDrip(const QString& path, qint64 totalBytes, int intervalMs);
    // A body of size bytes generated on the fly (largeBodyBytes content), never
    // held in memory as a whole. head, when given, takes the place of its
    // first bytes (a picture's signature).
    void setLargeBody(const QString& path, qint64 size, const QByteArray& head = {});

    void removeRoute(const QString& path);
    void clearRoutes();

    // The deterministic content of generated bodies: byte i is a function of i.
    static QByteArray largeBodyBytes(qint64 offset, qint64 length);

    // The paths of the requests seen, in order (query included, scheme and host
    // of absolute-form targets removed).
    QStringList requestedPaths() const;
    // The request targets exactly as they stood in the request lines.
    QStringList requestTargets() const;
    int requestCount() const;
    // When each request of requestedPaths() came, in ms on one clock.
    QList<qint64> requestTimes() const { return m_times; }
    int robotsRequests() const { return m_robotsRequests; }
    // The method and headers of the last request; header lookup ignores case.
    QByteArray lastMethod() const;
    Headers lastRequestHeaders() const;
    QByteArray lastRequestHeader(const QByteArray& name) const;
    void clearLog();

    // Number of connections currently open (stalled and dripping ones included).
    int openConnections() const;
    // Closes every open connection at once.
    void closeAllConnections();

    // A TCP port on 127.0.0.1 that nothing listens on at the moment of the call.
    static quint16 unusedPort();

private:
    enum class Kind { Body, Redirect, Raw, Pieces, CloseBeforeAnyByte, ResetMidBody, Stall, Drip, Large };
    struct Route {
        Kind kind = Kind::Body;
        int code = 200;
        QByteArray contentType;
        QByteArray body;
        QByteArray location;
        QList<QByteArray> pieces;
        int delayMs = 0;
        qint64 total = 0;
        qint64 sent = 0;
    };
    struct Connection;

    void setRoute(const QString& path, const Route& route);
    void onNewConnection();
    void onReadyRead(Connection* c);
    void respond(Connection* c, const QByteArray& method, const QString& path);
    void writeHead(Connection* c, int code, const QByteArray& contentType, qint64 length,
                   const QByteArray& extra = {});
    void pumpGenerated(Connection* c);
    void finish(Connection* c);
    void drop(Connection* c);

    QTcpServer* m_server = nullptr;
    QHash<QString, Route> m_routes;
    QList<Connection*> m_connections;
    QStringList m_paths;
    QStringList m_targets;
    QList<qint64> m_times;
    int m_robotsRequests = 0;
    QElapsedTimer m_clock;
    QHash<QString, QList<QByteArray>> m_sequences;
    QByteArray m_lastMethod;
    Headers m_lastHeaders;
};
