#pragma once

// What one host's robots.txt allows this crawler: the rules of the group that
// names our product token (else of the "*" group), parsed once per host and
// asked for every link of that host, so matching is a plain wildcard walk over
// rules sorted by precedence.

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

namespace web {

class RobotsRules {
public:
    // No robots.txt (a 4xx), or robots.txt not consulted at all.
    static RobotsRules allowAll();
    // The host could not say what it allows (a 5xx, or unreachable).
    static RobotsRules disallowAll();
    // The rules of a fetched body for productToken (compared case-insensitively);
    // only the first 512,000 bytes are read.
    static RobotsRules parse(const QByteArray& body, const QString& productToken = QStringLiteral("Quillon"));
    // From the final answer after redirects: 2xx parsed, 3xx (redirects
    // exhausted) and 4xx allow all, anything else (5xx, 0 = unreachable)
    // disallows all.
    static RobotsRules fromStatus(int status, const QByteArray& body,
                                  const QString& productToken = QStringLiteral("Quillon"));

    // Whether a path with its query, as sent ("/a/b?x=1"; empty means "/"), may be fetched.
    bool allowed(const QString& pathAndQuery) const;
    // Crawl-delay of the group used, in milliseconds, at most 30,000.
    std::optional<int> crawlDelayMs() const { return m_crawlDelayMs; }

    static constexpr qsizetype MaxBodyBytes = 512000;
    static constexpr int MaxCrawlDelayMs = 30000;

private:
    struct Rule {
        QByteArray pattern; // normalised, runs of '*' collapsed, without a final '$'
        bool anchored = false; // the pattern ended in '$'
        qsizetype length = 0; // octets of the normalised pattern as written: its precedence
        bool allow = false;
    };

    bool m_disallowAll = false;
    std::vector<Rule> m_rules; // longest first, allow before disallow on equal length
    std::optional<int> m_crawlDelayMs;
};

} // namespace web
