#include "web/RobotsFetcher.h"

#include "web/THTTP.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace web {

RobotsFetcher::RobotsFetcher(QObject* parent)
    : QObject(parent)
    , m_manager(new QNetworkAccessManager(this))
{
    m_manager->setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
}

RobotsFetcher::~RobotsFetcher()
{
    cancelAll();
}

void RobotsFetcher::setProxy(const QNetworkProxy& proxy)
{
    m_manager->setProxy(proxy);
}

void RobotsFetcher::fetch(const QString& origin)
{
    QNetworkRequest request(QUrl(origin + QStringLiteral("/robots.txt")));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    request.setTransferTimeout(m_timeoutMs);
    request.setHeader(QNetworkRequest::UserAgentHeader, THTTP::userAgent());
    QNetworkReply* reply = m_manager->get(request);
    m_origins.insert(reply, origin);
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] {
        QByteArray& body = m_bodies[reply];
        body += reply->read(RobotsRules::MaxBodyBytes + 1 - body.size());
        // Past the limit the rest is not wanted: what was read decides.
        if (body.size() > RobotsRules::MaxBodyBytes)
            finish(reply);
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { finish(reply); });
}

void RobotsFetcher::cancelAll()
{
    const QList<QNetworkReply*> replies = m_origins.keys();
    m_origins.clear();
    m_bodies.clear();
    for (QNetworkReply* reply : replies) {
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void RobotsFetcher::finish(QNetworkReply* reply)
{
    const auto found = m_origins.constFind(reply);
    if (found == m_origins.cend())
        return;
    const QString origin = *found;
    m_origins.erase(found);
    QByteArray body = m_bodies.take(reply);
    const bool cut = body.size() > RobotsRules::MaxBodyBytes;
    if (!cut)
        body += reply->readAll();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    QString problem;
    // An error without a status (refused, timed out, too many redirects)
    // leaves the site unreachable; an error status speaks for itself.
    const bool reached = status != 0 && (cut || reply->error() == QNetworkReply::NoError || status >= 300);
    const RobotsRules rules = RobotsRules::fromStatus(reached ? status : 0, body);
    if (!reached)
        problem = reply->errorString();
    else if (status >= 500)
        problem = QStringLiteral("HTTP %1").arg(status);
    reply->disconnect(this);
    if (cut)
        reply->abort();
    reply->deleteLater();
    emit fetched(origin, rules, problem);
}

} // namespace web
