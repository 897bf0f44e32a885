#pragma once

// Fetches the robots.txt of sites, several at once, each on its own request
// beside the download slots: redirects followed up to five hops, at most
// RobotsRules::MaxBodyBytes read, and the answer turned into rules as the
// status says (see RobotsRules::fromStatus).

#include "web/RobotsTxt.h"

#include <QHash>
#include <QNetworkProxy>
#include <QObject>
#include <QString>

class QNetworkAccessManager;
class QNetworkReply;

namespace web {

class RobotsFetcher : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxRedirects = 5;

    explicit RobotsFetcher(QObject* parent = nullptr);
    ~RobotsFetcher() override;

    void setProxy(const QNetworkProxy& proxy);
    // Gives up on a site that has not answered within this time.
    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    // Asks origin ("scheme://host[:port]") for its robots.txt.
    void fetch(const QString& origin);
    // Forgets every request in flight; none of them reports.
    void cancelAll();

signals:
    // problem: why the site is treated as disallowing everything (its
    // status or the network's error); empty when the answer was usable.
    void fetched(const QString& origin, const web::RobotsRules& rules, const QString& problem);

private:
    void finish(QNetworkReply* reply);

    QNetworkAccessManager* m_manager;
    QHash<QNetworkReply*, QString> m_origins;
    QHash<QNetworkReply*, QByteArray> m_bodies;
    int m_timeoutMs = 20000;
};

} // namespace web
