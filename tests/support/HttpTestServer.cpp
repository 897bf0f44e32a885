#include "HttpTestServer.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif

namespace {

// Keep at most this much queued on a socket while generating a body, so a
// large body never sits in memory as a whole.
constexpr qint64 kWriteHighWater = 256 * 1024;
constexpr qint64 kChunk = 64 * 1024;

QByteArray reasonPhrase(int code)
{
    switch (code) {
    case 200: return "OK";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 303: return "See Other";
    case 307: return "Temporary Redirect";
    case 308: return "Permanent Redirect";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

} // namespace

struct HttpTestServer::Connection {
    QTcpSocket* socket = nullptr;
    QTimer* timer = nullptr;
    QByteArray buffer;
    bool answered = false;
    bool dead = false;
    bool headOnly = false;
    Route route;
    qint64 offset = 0; // generated bodies: next byte to send
    int pieceIndex = 0;
};

HttpTestServer::HttpTestServer(QObject* parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &HttpTestServer::onNewConnection);
    m_server->listen(QHostAddress::LocalHost, 0);
    m_clock.start();
}

HttpTestServer::~HttpTestServer()
{
    closeAllConnections();
}

bool HttpTestServer::isListening() const { return m_server->isListening(); }
quint16 HttpTestServer::port() const { return m_server->serverPort(); }
QString HttpTestServer::baseUrl() const { return QStringLiteral("http://127.0.0.1:%1").arg(port()); }
QString HttpTestServer::url(const QString& path) const { return baseUrl() + path; }

void HttpTestServer::setRoute(const QString& path, const Route& route) { m_routes.insert(path, route); }

void HttpTestServer::setPage(const QString& path, const QString& body, const QByteArray& contentType)
{
    setBody(path, body.toUtf8(), contentType);
}

void HttpTestServer::setBody(const QString& path, const QByteArray& bytes, const QByteArray& contentType)
{
    Route r;
    r.contentType = contentType;
    r.body = bytes;
    setRoute(path, r);
}

void HttpTestServer::setStatus(const QString& path, int code, const QByteArray& body, const QByteArray& contentType)
{
    Route r;
    r.code = code;
    r.contentType = contentType;
    r.body = body;
    setRoute(path, r);
}

void HttpTestServer::setRedirect(const QString& path, const QString& location, int code)
{
    Route r;
    r.kind = Kind::Redirect;
    r.code = code;
    r.contentType = "text/html";
    r.location = location.toUtf8();
    r.body = "<html><body>Moved to <a href=\"" + r.location + "\">here</a></body></html>";
    setRoute(path, r);
}

void HttpTestServer::setRaw(const QString& path, const QByteArray& bytes)
{
    Route r;
    r.kind = Kind::Raw;
    r.body = bytes;
    setRoute(path, r);
}

void HttpTestServer::setPieces(const QString& path, const QList<QByteArray>& pieces, int delayMs,
                               const QByteArray& contentType)
{
    Route r;
    r.kind = Kind::Pieces;
    r.contentType = contentType;
    r.pieces = pieces;
    r.delayMs = delayMs;
    for (const QByteArray& p : pieces)
        r.total += p.size();
    setRoute(path, r);
}

void HttpTestServer::setCloseBeforeAnyByte(const QString& path)
{
    Route r;
    r.kind = Kind::CloseBeforeAnyByte;
    setRoute(path, r);
}

void HttpTestServer::setResetMidBody(const QString& path, qint64 totalLength, qint64 sentBytes)
{
    Route r;
    r.kind = Kind::ResetMidBody;
    r.contentType = "application/octet-stream";
    r.total = totalLength;
    r.sent = qMin(sentBytes, totalLength);
    setRoute(path, r);
}

void HttpTestServer::setStallAfterHeaders(const QString& path)
{
    Route r;
    r.kind = Kind::Stall;
    r.contentType = "text/html";
    r.total = 100;
    setRoute(path, r);
}

void HttpTestServer::setDrip(const QString& path, qint64 totalBytes, int intervalMs)
{
    Route r;
    r.kind = Kind::Drip;
    r.contentType = "application/octet-stream";
    r.total = totalBytes;
    r.delayMs = intervalMs;
    setRoute(path, r);
}

void HttpTestServer::setLargeBody(const QString& path, qint64 size, const QByteArray& head)
{
    Route r;
    r.kind = Kind::Large;
    r.contentType = "application/octet-stream";
    r.total = size;
    r.body = head;
    setRoute(path, r);
}

void HttpTestServer::removeRoute(const QString& path) { m_routes.remove(path); }
void HttpTestServer::clearRoutes() { m_routes.clear(); }

QByteArray HttpTestServer::largeBodyBytes(qint64 offset, qint64 length)
{
    // A pattern that is not periodic on any small power of two, so shifted or
    // dropped chunks show up as differences.
    QByteArray out(length, Qt::Uninitialized);
    for (qint64 i = 0; i < length; ++i) {
        const quint64 n = quint64(offset + i);
        out[i] = char((n * 31 + (n >> 8) * 7 + (n >> 16)) & 0xff);
    }
    return out;
}

QStringList HttpTestServer::requestedPaths() const { return m_paths; }

void HttpTestServer::setRawSequence(const QString& path, const QList<QByteArray>& answers)
{
    m_sequences.insert(path, answers);
}
QStringList HttpTestServer::requestTargets() const { return m_targets; }
int HttpTestServer::requestCount() const { return m_paths.size(); }
QByteArray HttpTestServer::lastMethod() const { return m_lastMethod; }
HttpTestServer::Headers HttpTestServer::lastRequestHeaders() const { return m_lastHeaders; }

QByteArray HttpTestServer::lastRequestHeader(const QByteArray& name) const
{
    for (const auto& h : m_lastHeaders)
        if (h.first.compare(name, Qt::CaseInsensitive) == 0)
            return h.second;
    return {};
}

void HttpTestServer::clearLog()
{
    m_paths.clear();
    m_targets.clear();
    m_times.clear();
    m_robotsRequests = 0;
    m_lastMethod.clear();
    m_lastHeaders.clear();
}

int HttpTestServer::openConnections() const { return int(m_connections.size()); }

void HttpTestServer::closeAllConnections()
{
    const QList<Connection*> all = m_connections;
    m_connections.clear();
    for (Connection* c : all) {
        c->dead = true;
        QObject::disconnect(c->socket, nullptr, nullptr, nullptr);
        if (c->timer)
            c->timer->stop();
        c->socket->abort();
        delete c->timer;
        delete c->socket;
        delete c;
    }
}

quint16 HttpTestServer::unusedPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

void HttpTestServer::onNewConnection()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        auto* c = new Connection;
        c->socket = socket;
        socket->setParent(nullptr);
        m_connections.append(c);
        connect(socket, &QTcpSocket::readyRead, this, [this, c] {
            if (!c->dead)
                onReadyRead(c);
        });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, c] {
            if (c->dead)
                return;
            if (c->route.kind == Kind::Large && c->answered)
                pumpGenerated(c);
            else if (c->route.kind == Kind::ResetMidBody && c->answered && c->socket->bytesToWrite() == 0) {
#ifdef Q_OS_UNIX
                // Linger 0 makes the close a reset rather than an orderly end.
                struct linger lg { 1, 0 };
                ::setsockopt(int(c->socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
#endif
                drop(c);
            }
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, c] { drop(c); });
    }
}

void HttpTestServer::onReadyRead(Connection* c)
{
    c->buffer += c->socket->readAll();
    if (c->answered)
        return;
    const qsizetype end = c->buffer.indexOf("\r\n\r\n");
    if (end < 0) {
        if (c->buffer.size() > 64 * 1024)
            drop(c);
        return;
    }
    c->answered = true;

    const QList<QByteArray> lines = c->buffer.left(end).split('\n');
    const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
    const QByteArray method = requestLine.value(0);
    const QByteArray target = requestLine.value(1);
    Headers headers;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }

    QByteArray path = target;
    const qsizetype scheme = path.indexOf("://");
    if (scheme > 0 && !path.startsWith('/')) {
        const qsizetype slash = path.indexOf('/', scheme + 3);
        path = slash < 0 ? QByteArray("/") : path.mid(slash);
    }

    if (path == "/robots.txt") {
        ++m_robotsRequests;
    } else {
        m_targets.append(QString::fromUtf8(target));
        m_paths.append(QString::fromUtf8(path));
        m_times.append(m_clock.elapsed());
        m_lastMethod = method;
        m_lastHeaders = headers;
    }
    if (auto seq = m_sequences.find(QString::fromUtf8(path)); seq != m_sequences.end()) {
        Route r;
        r.kind = Kind::Raw;
        r.body = seq->size() > 1 ? seq->takeFirst() : seq->first();
        setRoute(QString::fromUtf8(path), r);
    }
    c->headOnly = method == "HEAD";
    respond(c, method, QString::fromUtf8(path));
}

void HttpTestServer::writeHead(Connection* c, int code, const QByteArray& contentType, qint64 length,
                               const QByteArray& extra)
{
    QByteArray head = "HTTP/1.1 " + QByteArray::number(code) + ' ' + reasonPhrase(code) + "\r\n";
    if (!contentType.isEmpty())
        head += "Content-Type: " + contentType + "\r\n";
    head += "Content-Length: " + QByteArray::number(length) + "\r\n";
    head += extra;
    head += "Connection: close\r\n\r\n";
    c->socket->write(head);
}

void HttpTestServer::respond(Connection* c, const QByteArray& method, const QString& path)
{
    const QString decoded = QUrl::fromPercentEncoding(path.toUtf8());
    const QString bare = path.section(QLatin1Char('?'), 0, 0);
    const QString bareDecoded = QUrl::fromPercentEncoding(bare.toUtf8());
    const Route* found = nullptr;
    for (const QString& key : {path, decoded, bare, bareDecoded}) {
        auto it = m_routes.constFind(key);
        if (it != m_routes.constEnd()) {
            found = &it.value();
            break;
        }
    }
    if (!found) {
        c->route = Route();
        const QByteArray body = "<html><body>Not Found</body></html>";
        writeHead(c, 404, "text/html", body.size());
        if (!c->headOnly)
            c->socket->write(body);
        finish(c);
        return;
    }
    c->route = *found;
    const Route& r = c->route;

    switch (r.kind) {
    case Kind::Body:
        writeHead(c, r.code, r.contentType, r.body.size());
        if (!c->headOnly)
            c->socket->write(r.body);
        finish(c);
        break;
    case Kind::Redirect:
        writeHead(c, r.code, r.contentType, r.body.size(), "Location: " + r.location + "\r\n");
        if (!c->headOnly)
            c->socket->write(r.body);
        finish(c);
        break;
    case Kind::Raw:
        c->socket->write(r.body);
        finish(c);
        break;
    case Kind::Pieces:
        writeHead(c, r.code, r.contentType, r.total);
        if (c->headOnly || r.pieces.isEmpty()) {
            finish(c);
            break;
        }
        c->socket->write(r.pieces.first());
        c->pieceIndex = 1;
        if (c->pieceIndex >= r.pieces.size()) {
            finish(c);
            break;
        }
        if (r.delayMs == kOnRelease)
            break;
        c->timer = new QTimer;
        c->timer->setInterval(r.delayMs);
        connect(c->timer, &QTimer::timeout, this, [this, c] {
            if (c->dead)
                return;
            c->socket->write(c->route.pieces.at(c->pieceIndex++));
            if (c->pieceIndex >= c->route.pieces.size()) {
                c->timer->stop();
                finish(c);
            }
        });
        c->timer->start();
        break;
    case Kind::CloseBeforeAnyByte:
        drop(c);
        break;
    case Kind::ResetMidBody:
        writeHead(c, r.code, r.contentType, r.total);
        c->socket->write(largeBodyBytes(0, r.sent));
        break;
    case Kind::Stall:
        writeHead(c, r.code, r.contentType, r.total);
        break;
    case Kind::Drip:
        writeHead(c, r.code, r.contentType, r.total);
        if (c->headOnly || r.total <= 0) {
            finish(c);
            break;
        }
        c->timer = new QTimer;
        c->timer->setInterval(r.delayMs);
        connect(c->timer, &QTimer::timeout, this, [this, c] {
            if (c->dead)
                return;
            c->socket->write(largeBodyBytes(c->offset, 1));
            if (++c->offset >= c->route.total) {
                c->timer->stop();
                finish(c);
            }
        });
        c->timer->start();
        break;
    case Kind::Large:
        writeHead(c, r.code, r.contentType, r.total);
        if (c->headOnly) {
            finish(c);
            break;
        }
        pumpGenerated(c);
        break;
    }
    Q_UNUSED(method);
}

void HttpTestServer::releasePiece()
{
    // A copy: finishing a connection may drop it from the list.
    const QList<Connection*> open = m_connections;
    for (Connection* c : open) {
        if (c->dead || c->route.kind != Kind::Pieces || c->route.delayMs != kOnRelease || c->pieceIndex == 0
            || c->pieceIndex >= c->route.pieces.size())
            continue;
        c->socket->write(c->route.pieces.at(c->pieceIndex++));
        if (c->pieceIndex >= c->route.pieces.size())
            finish(c);
    }
}

void HttpTestServer::pumpGenerated(Connection* c)
{
    while (c->offset < c->route.total && c->socket->bytesToWrite() < kWriteHighWater) {
        const qint64 n = qMin(kChunk, c->route.total - c->offset);
        QByteArray chunk = largeBodyBytes(c->offset, n);
        const QByteArray& head = c->route.body;
        if (c->offset < head.size())
            chunk.replace(0, qMin(n, head.size() - c->offset), head.mid(c->offset, n));
        c->socket->write(chunk);
        c->offset += n;
    }
    if (c->offset >= c->route.total) {
        c->route.kind = Kind::Body; // nothing more to generate
        finish(c);
    }
}

void HttpTestServer::finish(Connection* c)
{
    // Closes once everything queued has been written.
    c->socket->disconnectFromHost();
}

void HttpTestServer::drop(Connection* c)
{
    if (c->dead)
        return;
    c->dead = true;
    m_connections.removeOne(c);
    if (c->timer)
        c->timer->stop();
    QObject::disconnect(c->socket, nullptr, this, nullptr);
    if (c->timer)
        QObject::disconnect(c->timer, nullptr, this, nullptr);
    if (c->socket->state() != QAbstractSocket::UnconnectedState)
        c->socket->abort();
    // The socket may be inside one of its own signals here.
    c->socket->deleteLater();
    if (c->timer)
        c->timer->deleteLater();
    QTimer::singleShot(0, [c] { delete c; });
}
