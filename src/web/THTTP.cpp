#include "web/THTTP.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTemporaryFile>

#include <cstdio>

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

// Names tried for a body whose file name is taken: "<name>_1<ext>" and on.
constexpr int kMaxFreeNames = 100000;

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
    m_check = std::exchange(m_nextCheck, OutputCheck());
    m_contentType.clear();
    m_head.clear();
    m_state = Starting;
    m_bytes = 0;
    m_held.clear();
    m_redirects = 0;
    m_status = 0;
    m_retryAfter.clear();
    m_error.clear();
    m_savedFileName.clear();
    QMetaObject::invokeMethod(this, [this, generation] { begin(generation); }, Qt::QueuedConnection);
}

void THTTP::cancel()
{
    ++m_generation;
    releaseReply();
    discardFile();
    m_held.clear();
    m_state = Idle;
}

QString THTTP::partialFilePrefix()
{
    return QStringLiteral(".quillon-");
}

QString THTTP::userAgent()
{
    return QStringLiteral("Quillon/" QUILLON_VERSION " (+" QUILLON_HOMEPAGE ")");
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
    emit docOutput(this, DocOutput{1, 0, {}, {}});
    if (generation != m_generation)
        return;
    if (!m_fileName.isEmpty()) {
        // Written beside its final name, so that the rename stays on one file system.
        const QString dir = QFileInfo(m_fileName).absolutePath();
        auto file = std::make_unique<QTemporaryFile>(dir + QLatin1Char('/') + partialFilePrefix()
                                                     + QStringLiteral("XXXXXX.part"));
        file->setAutoRemove(false);
        if (!file->open()) {
            fail(QStringLiteral("ファイル %1 を作れません: %2").arg(QDir::toNativeSeparators(m_fileName),
                                                                    file->errorString()));
            return;
        }
        m_file = std::move(file);
    }
    const QUrl url(m_url);
    if (!isWebUrl(url)) {
        fail(QStringLiteral("http でも https でもないアドレスです"));
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
    // Qt asks for gzip and deflate itself and hands over the decoded body.
    request.setHeader(QNetworkRequest::UserAgentHeader, userAgent());
    QNetworkReply* reply = m_manager->get(request);
    reply->setReadBufferSize(kReadBufferSize);
    m_reply = reply;
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply] { onMetaData(reply); });
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] { onReadyRead(reply); });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onFinished(reply); });
}

void THTTP::onMetaData(QNetworkReply* reply)
{
    if (reply != m_reply || isRedirect(reply))
        return;
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return;
    const int code = status.toInt();
    m_status = code;
    m_retryAfter = reply->rawHeader("Retry-After");
    if (code < 200 || code > 299) {
        // The body of an error is not the document: it is not even read.
        fail(QStringLiteral("HTTP %1 %2")
                 .arg(code)
                 .arg(reply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString()));
        return;
    }
    m_contentType = reply->rawHeader("Content-Type");
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    bool known = false;
    const qint64 declared = length.toLongLong(&known);
    if (known && m_maxBody > 0 && declared > m_maxBody)
        fail(QStringLiteral("本体が %1 バイトで、上限 %2 バイトを超えます").arg(declared).arg(m_maxBody));
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
        if (++m_redirects > kMaxRedirects) {
            fail(QStringLiteral("転送 (redirect) が %1 回を超えました").arg(kMaxRedirects));
            return;
        }
        if (!isWebUrl(target)) {
            fail(QStringLiteral("転送先が http でも https でもありません: ") + target.toString());
            return;
        }
        send(target);
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        // A body cut short, a reset, a refused connection: what arrived is not the document.
        fail(QStringLiteral("転送エラー: ") + reply->errorString());
        return;
    }
    const QByteArray rest = reply->readAll();
    releaseReply();
    if (!deliver(rest))
        return;
    if (m_file) {
        if (m_check) {
            const OutputVerdict verdict = m_check(m_head, m_contentType, m_fileName);
            if (!verdict.refusal.isEmpty()) {
                fail(verdict.refusal);
                return;
            }
            if (!verdict.fileName.isEmpty())
                m_fileName = verdict.fileName;
        }
        QString reason;
        if (!placeFile(&reason)) {
            fail(reason);
            return;
        }
    }
    end();
}

// Writes the bytes to the output file and reports them. Answers false when
// the transfer ended here (a cap or a write failed) or a handler of the event
// cancelled or replaced it.
bool THTTP::deliver(const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return true;
    if (m_maxBody > 0 && m_bytes + m_held.size() + bytes.size() > m_maxBody) {
        fail(QStringLiteral("本体が上限 %1 バイトを超えました").arg(m_maxBody));
        return false;
    }
    m_state = Receiving;
    if (m_head.size() < kHeadBytes)
        m_head += bytes.left(kHeadBytes - m_head.size());
    if (m_file && m_file->write(bytes) != bytes.size()) {
        fail(QStringLiteral("ファイル %1 に書けません: %2")
                 .arg(QDir::toNativeSeparators(m_fileName), m_file->errorString()));
        return false;
    }
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

bool THTTP::placeFile(QString* reason)
{
    const QString temp = m_file->fileName();
    if (!m_file->flush()) {
        *reason = QStringLiteral("ファイル %1 に書けません: %2")
                      .arg(QDir::toNativeSeparators(m_fileName), m_file->errorString());
        return false;
    }
    m_file->close();
    if (m_file->error() != QFileDevice::NoError) {
        *reason = QStringLiteral("ファイル %1 を閉じられません: %2")
                      .arg(QDir::toNativeSeparators(m_fileName), m_file->errorString());
        return false;
    }
    if (m_replace) {
        // One step, so the old file stands until the new one takes its place.
        if (std::rename(QFile::encodeName(temp).constData(), QFile::encodeName(m_fileName).constData()) != 0) {
            *reason = QStringLiteral("ファイル %1 を置けません").arg(QDir::toNativeSeparators(m_fileName));
            return false;
        }
        m_file.reset();
        m_savedFileName = m_fileName;
        return true;
    }
    // A file already there is never replaced: the first free name is taken.
    const QFileInfo target(m_fileName);
    const QString dir = target.absolutePath() + QLatin1Char('/');
    const QString base = target.completeBaseName();
    const QString suffix = target.suffix().isEmpty() ? QString() : QLatin1Char('.') + target.suffix();
    for (int k = 0; k < kMaxFreeNames; ++k) {
        const QString name = k == 0 ? m_fileName : dir + base + QLatin1Char('_') + QString::number(k) + suffix;
        if (QFile::rename(temp, name)) {
            m_file.reset();
            m_savedFileName = name;
            return true;
        }
        if (!QFileInfo::exists(name))
            break; // not taken, yet the rename failed: no other name will do better
    }
    *reason = QStringLiteral("ファイル %1 を置けません").arg(QDir::toNativeSeparators(m_fileName));
    return false;
}

void THTTP::fail(const QString& reason)
{
    m_error = reason;
    releaseReply();
    discardFile();
    m_held.clear();
    end();
}

void THTTP::end()
{
    const quint64 generation = m_generation;
    if (!m_held.isEmpty() && m_error.isEmpty()) {
        DocOutput out;
        out.state = 3;
        out.piece = std::exchange(m_held, QByteArray());
        m_bytes += out.piece.size();
        out.bytesTransferred = m_bytes;
        emit docOutput(this, out);
        if (generation != m_generation)
            return;
    }
    m_held.clear();
    discardFile();
    // Idle before the end event, so its handler may start the next transfer.
    m_state = Idle;
    emit docOutput(this, DocOutput{5, m_bytes, {}, m_error});
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

void THTTP::discardFile()
{
    if (!m_file)
        return;
    m_file->close();
    m_file->remove();
    m_file.reset();
}

} // namespace web
