#include "web/PoliteHosts.h"

#include <QLocale>
#include <QUrl>
#include <algorithm>

namespace web {

namespace {

constexpr int kMaxRetryAfterMs = 120000;

} // namespace

void PoliteHosts::reset(const Settings& settings)
{
    m_settings = settings;
    m_sites.clear();
    m_robotsRequests.clear();
    m_retries.clear();
}

QString PoliteHosts::originOf(const QString& address)
{
    const QUrl url(address);
    if (!url.isValid() || url.host().isEmpty())
        return {};
    QString origin = url.scheme().toLower() + QStringLiteral("://") + url.host().toLower();
    if (url.port() >= 0)
        origin += QLatin1Char(':') + QString::number(url.port());
    return origin;
}

int PoliteHosts::intervalOf(const Site& site) const
{
    return std::max(m_settings.intervalMs, site.rules.crawlDelayMs().value_or(0));
}

bool PoliteHosts::holdsBack() const
{
    return m_settings.robots || m_settings.intervalMs > 0 || !m_retries.isEmpty();
}

PoliteHosts::Gate PoliteHosts::gate(const QString& address, qint64 nowMs)
{
    const QString origin = originOf(address);
    if (origin.isEmpty())
        return Gate::Go; // refused where it is fetched
    Site& site = m_sites[origin];
    if (m_settings.robots) {
        if (site.robots == Site::Robots::Unknown) {
            site.robots = Site::Robots::Asked;
            m_robotsRequests << origin;
        }
        if (site.robots != Site::Robots::Known)
            return Gate::Wait;
        const QUrl url(address);
        QString path = url.path(QUrl::FullyEncoded);
        if (url.hasQuery())
            path += QLatin1Char('?') + url.query(QUrl::FullyEncoded);
        if (!site.rules.allowed(path))
            return Gate::Excluded;
    }
    return nowMs >= site.dueMs ? Gate::Go : Gate::Wait;
}

QStringList PoliteHosts::takeRobotsRequests()
{
    return std::exchange(m_robotsRequests, {});
}

void PoliteHosts::setRobots(const QString& origin, const RobotsRules& rules)
{
    Site& site = m_sites[origin];
    site.robots = Site::Robots::Known;
    site.rules = rules;
}

void PoliteHosts::fetchStarted(const QString& address, qint64 nowMs)
{
    Site& site = m_sites[originOf(address)];
    site.dueMs = std::max(site.dueMs, nowMs + intervalOf(site));
}

bool PoliteHosts::retryLater(const QString& address, qint64 untilMs)
{
    int& tried = m_retries[address];
    if (tried >= kMaxRetries)
        return false;
    ++tried;
    Site& site = m_sites[originOf(address)];
    site.dueMs = std::max(site.dueMs, untilMs);
    return true;
}

std::optional<qint64> PoliteHosts::nextDueMs(qint64 nowMs) const
{
    std::optional<qint64> first;
    for (const Site& site : m_sites)
        if (site.dueMs > nowMs && (!first || site.dueMs < *first))
            first = site.dueMs;
    return first;
}

std::optional<int> retryAfterMs(const QByteArray& value, const QDateTime& now)
{
    const QByteArray text = value.trimmed();
    if (text.isEmpty())
        return std::nullopt;
    bool ok = false;
    const qint64 seconds = text.toLongLong(&ok);
    if (ok)
        return seconds < 0 ? std::nullopt : std::optional<int>(int(std::min<qint64>(seconds * 1000, kMaxRetryAfterMs)));
    // IMF-fixdate, the form HTTP servers send: "Sun, 06 Nov 1994 08:49:37 GMT".
    const QDateTime at = QLocale::c().toDateTime(QString::fromLatin1(text), QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
    if (!at.isValid())
        return std::nullopt;
    QDateTime utc = at;
    utc.setTimeSpec(Qt::UTC);
    return int(std::clamp<qint64>(now.msecsTo(utc), 0, kMaxRetryAfterMs));
}

} // namespace web
