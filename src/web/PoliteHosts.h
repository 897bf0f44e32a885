#pragma once

// What the crawl owes each site it visits: the rules of its robots.txt, the
// least time between two fetches from it (the user's interval or the site's
// Crawl-delay), and a wait it asked for with Retry-After. A site is one
// origin, "scheme://host[:port]", as robots.txt rules apply to one origin.
// Plain logic on a clock the caller gives, so that it needs no network.

#include "web/RobotsTxt.h"

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QString>
#include <QStringList>
#include <optional>

namespace web {

class PoliteHosts {
public:
    struct Settings {
        bool robots = true;  // robots.txt obeyed
        int intervalMs = 0;  // least time between two fetches from one site
    };
    // A run begins: what was learnt of the sites is forgotten.
    void reset(const Settings& settings);

    // "scheme://host[:port]" of an address, lower case; empty for none.
    static QString originOf(const QString& address);

    enum class Gate {
        Go,       // may be fetched now
        Excluded, // robots.txt disallows it
        Wait,     // its site's robots.txt is not known yet, or the site is not yet due
    };
    Gate gate(const QString& address, qint64 nowMs);
    // Whether picking work must ask gate() at all: false while nothing can
    // hold a site back, so that the pick is then exactly the plain one.
    bool holdsBack() const;
    // The sites whose robots.txt gate() found missing, each given once.
    QStringList takeRobotsRequests();
    void setRobots(const QString& origin, const RobotsRules& rules);
    // A fetch from the address's site started now.
    void fetchStarted(const QString& address, qint64 nowMs);
    // The site asked to be left alone until then (Retry-After); the address
    // is tried again at most kMaxRetries times. False when it was tried
    // that often already.
    bool retryLater(const QString& address, qint64 untilMs);
    static constexpr int kMaxRetries = 2;
    // The earliest time after now that a site held back by its pace becomes due.
    std::optional<qint64> nextDueMs(qint64 nowMs) const;

private:
    struct Site {
        enum class Robots { Unknown, Asked, Known } robots = Robots::Unknown;
        RobotsRules rules = RobotsRules::allowAll();
        qint64 dueMs = 0;  // no fetch starts before
    };
    int intervalOf(const Site& site) const;

    Settings m_settings;
    QHash<QString, Site> m_sites;
    QStringList m_robotsRequests;
    QHash<QString, int> m_retries; // by address
};

// A Retry-After value in milliseconds: delay-seconds or an HTTP date (from
// now), at most 120 s; none when it says neither.
std::optional<int> retryAfterMs(const QByteArray& value, const QDateTime& now);

} // namespace web
