#include "web/THTTP.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>

namespace web {

namespace {

// Bounds what the network layer buffers for a reply that the event loop has not
// read yet, so a large body never piles up in memory.
constexpr qint64 kReadBufferSize = 256 * 1024;

bool isWebUrl(const QUrl& url)
{
    const QString scheme = url.scheme();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        && !url.host().isEmpty();
}

bool isRedirect(QNetworkReply* reply)
{
    const int code = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool redirectCode = code == 301 || code == 302 || code == 303 || code == 307 || code == 308;
    return redirectCode && reply->hasRawHeader("Location");
}

// Length of the longest prefix of bytes that does not end inside a UTF-8
// sequence. Only a well-formed lead byte near the end holds bytes back, so
// binary data passes with at most three bytes delayed.
qsizetype completeUtf8Prefix(const QByteArray& bytes)
{
    const qsizetype n = bytes.size();
    for (qsizetype i = n - 1; i >= 0 && i >= n - 4; --i) {
        const uchar c = uchar(bytes[i]);
        if ((c & 0xC0) == 0x80)
            continue;
        int length = 1;
        if ((c & 0xE0) == 0xC0)
            length = 2;
        else if ((c & 0xF0) == 0xE0)
            length = 3;
        else if ((c & 0xF8) == 0xF0)
            length = 4;
        return (length > 1 && i + length > n) ? i : n;
    }
    return n;
}

} // namespace

QString DocOutput::text() const { return QString::fromUtf8(piece); }

THTTP::THTTP(QObject* parent)
    : QObject(parent)
    , m_manager(new QNetworkAccessManager(this))
{
    applyProxy();
}

THTTP::~THTTP()
{
    cancel();
}

void THTTP::getDoc(const QString& url)
{
    if (busy())
        cancel();
    const quint64 generation = ++m_generation;
    m_url = url;
    m_fileName = std::exchange(m_nextFileName, QString());
    m_state = Starting;
    m_bytes = 0;
    m_held.clear();
    m_redirects = 0;
    QMetaObject::invokeMethod(this, [this, generation] { begin(generation); }, Qt::QueuedConnection);
}

void THTTP::cancel()
{
    ++m_generation;
    releaseReply();
    closeFile();
    m_held.clear();
    m_state = Idle;
}

bool THTTP::busy() const { return m_state != Idle; }
int THTTP::transferState() const { return m_state; }
QString THTTP::url() const { return m_url; }

QString THTTP::remoteHost() const
{
    // The host as written in the address, like the host texts of the
    // exploration tables: "h:8080" keeps its port.
    const qsizetype scheme = m_url.indexOf(QLatin1String("://"));
    if (scheme < 0)
        return {};
    QString rest = m_url.mid(scheme + 3);
    for (qsizetype i = 0; i < rest.size(); ++i) {
        const QChar c = rest.at(i);
        if (c == QLatin1Char('/') || c == QLatin1Char('?') || c == QLatin1Char('#')) {
            rest.truncate(i);
            break;
        }
    }
    const qsizetype at = rest.lastIndexOf(QLatin1Char('@'));
    if (at >= 0)
        rest.remove(0, at + 1);
    return rest;
}

void THTTP::setDocOutputFileName(const QString& path) { m_nextFileName = path; }
QString THTTP::docOutputFileName() const { return m_nextFileName; }

void THTTP::setProxy(bool use, const QString& host, int port)
{
    m_proxyUse = use;
    m_proxyHost = host;
    m_proxyPort = port;
    applyProxy();
}

bool THTTP::proxyUse() const { return m_proxyUse; }
QString THTTP::proxyHost() const { return m_proxyHost; }
int THTTP::proxyPort() const { return m_proxyPort; }

void THTTP::applyProxy()
{
    if (m_proxyUse) {
        // A port outside the TCP range cannot be reached; port 0 makes every
        // transfer end without data instead of going somewhere unintended.
        const quint16 port = (m_proxyPort > 0 && m_proxyPort <= 65535) ? quint16(m_proxyPort) : 0;
        m_manager->setProxy(QNetworkProxy(QNetworkProxy::HttpProxy, m_proxyHost, port));
    } else {
        m_manager->setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    }
}

void THTTP::begin(quint64 generation)
{
    if (generation != m_generation)
        return;
    if (!m_fileName.isEmpty()) {
        m_file = std::make_unique<QFile>(m_fileName);
        if (!m_file->open(QIODevice::WriteOnly | QIODevice::Truncate))
            m_file.reset();
    }
    emit docOutput(this, DocOutput{1, 0, {}});
    if (generation != m_generation)
        return;
    const QUrl url(m_url);
    if (!isWebUrl(url)) {
        end();
        return;
    }
    m_state = Waiting;
    send(url);
}

void THTTP::send(const QUrl& url)
{
    QNetworkRequest request(url);
    // Redirects are followed here, so that their bodies are never taken for
    // the document and only web schemes are followed.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply* reply = m_manager->get(request);
    reply->setReadBufferSize(kReadBufferSize);
    m_reply = reply;
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] { onReadyRead(reply); });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onFinished(reply); });
}

void THTTP::onReadyRead(QNetworkReply* reply)
{
    if (reply != m_reply)
        return;
    if (isRedirect(reply)) {
        reply->readAll(); // the body of a redirect is not the document
        return;
    }
    deliver(reply->readAll());
}

void THTTP::onFinished(QNetworkReply* reply)
{
    if (reply != m_reply)
        return;
    if (isRedirect(reply)) {
        const QUrl target = reply->url().resolved(QUrl(QString::fromUtf8(reply->rawHeader("Location"))));
        releaseReply();
        if (++m_redirects > kMaxRedirects || !isWebUrl(target)) {
            end();
            return;
        }
        send(target);
        return;
    }
    // Whatever arrived before an error is still part of the document.
    const QByteArray rest = reply->readAll();
    releaseReply();
    if (!deliver(rest))
        return;
    end();
}

// Writes the bytes to the output file and reports them. Answers false when a
// handler of the event cancelled or replaced this transfer.
bool THTTP::deliver(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return true;
    m_state = Receiving;
    if (m_file)
        m_file->write(bytes);
    m_held += bytes;
    const qsizetype cut = completeUtf8Prefix(m_held);
    if (cut == 0)
        return true;
    DocOutput out;
    out.state = 3;
    out.piece = m_held.left(cut);
    m_held.remove(0, cut);
    m_bytes += out.piece.size();
    out.bytesTransferred = m_bytes;
    const quint64 generation = m_generation;
    emit docOutput(this, out);
    return generation == m_generation;
}

void THTTP::end()
{
    const quint64 generation = m_generation;
    if (!m_held.isEmpty()) {
        DocOutput out;
        out.state = 3;
        out.piece = std::exchange(m_held, QByteArray());
        m_bytes += out.piece.size();
        out.bytesTransferred = m_bytes;
        emit docOutput(this, out);
        if (generation != m_generation)
            return;
    }
    closeFile();
    // Idle before the end event, so its handler may start the next transfer.
    m_state = Idle;
    emit docOutput(this, DocOutput{5, m_bytes, {}});
}

void THTTP::releaseReply()
{
    if (!m_reply)
        return;
    QNetworkReply* reply = std::exchange(m_reply, nullptr);
    disconnect(reply, nullptr, this, nullptr);
    if (reply->isRunning())
        reply->abort();
    // This may run inside one of the reply's own signals.
    reply->deleteLater();
}

void THTTP::closeFile()
{
    if (m_file) {
        m_file->close();
        m_file.reset();
    }
}

} // namespace web
