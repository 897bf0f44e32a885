#include "web/RobotsTxt.h"

#include <QByteArrayView>
#include <algorithm>
#include <cmath>

namespace web {

namespace {

constexpr char HexDigits[] = "0123456789ABCDEF";

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool isUnreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
        || c == '_' || c == '~';
}

// One spelling for every way of writing the same path: escapes of unreserved
// characters decoded, other escapes in upper-case hex, and raw octets that may
// not stand in a URL (non-ASCII UTF-8, controls, space) escaped. Decoding never
// yields '*' or '$', so a pattern's wildcards stay distinct from escaped ones.
QByteArray normalised(QByteArrayView in)
{
    QByteArray out;
    out.reserve(in.size() + 16);
    for (qsizetype i = 0; i < in.size(); ++i) {
        const auto c = static_cast<unsigned char>(in[i]);
        if (c == '%' && i + 2 < in.size() && hexValue(in[i + 1]) >= 0 && hexValue(in[i + 2]) >= 0) {
            const auto value = static_cast<unsigned char>(hexValue(in[i + 1]) * 16 + hexValue(in[i + 2]));
            if (isUnreserved(value)) {
                out += char(value);
            } else {
                out += '%';
                out += HexDigits[value >> 4];
                out += HexDigits[value & 15];
            }
            i += 2;
        } else if (c <= 0x20 || c >= 0x7F) {
            out += '%';
            out += HexDigits[c >> 4];
            out += HexDigits[c & 15];
        } else {
            out += char(c);
        }
    }
    return out;
}

// Whether the pattern ('*' = any run) matches a prefix of path, or all of it
// when anchored. Backtracks only to the last '*', which is enough for a
// pattern whose one wildcard matches any run: O(pattern × path) at worst.
bool wildcardMatch(QByteArrayView pattern, bool anchored, QByteArrayView path)
{
    qsizetype p = 0;
    qsizetype i = 0;
    qsizetype afterStar = -1;
    qsizetype starFrom = 0;
    for (;;) {
        if (p == pattern.size()) {
            if (!anchored || i == path.size())
                return true;
        } else if (pattern[p] == '*') {
            afterStar = ++p;
            starFrom = i;
            continue;
        } else if (i < path.size() && pattern[p] == path[i]) {
            ++p;
            ++i;
            continue;
        }
        if (afterStar < 0 || starFrom >= path.size())
            return false;
        p = afterStar;
        i = ++starFrom;
    }
}

// A non-negative number of seconds, decimals allowed; nothing else.
std::optional<int> crawlDelayOf(const QByteArray& value)
{
    int digits = 0;
    int dots = 0;
    for (const char c : value) {
        if (c >= '0' && c <= '9')
            ++digits;
        else if (c == '.' && dots == 0)
            ++dots;
        else
            return std::nullopt;
    }
    if (digits == 0)
        return std::nullopt;
    const double ms = std::round(value.toDouble() * 1000.0);
    return int(std::min(ms, double(RobotsRules::MaxCrawlDelayMs)));
}

// The product token of a user-agent value: "Quillon/1.0" and "Quillon 1.0" name "Quillon".
QByteArrayView agentToken(QByteArrayView value)
{
    qsizetype end = 0;
    while (end < value.size() && value[end] != '/' && value[end] != ' ' && value[end] != '\t')
        ++end;
    return value.first(end);
}

// The rules and crawl-delay of every group that one kind of agent line chose.
struct Bucket {
    bool named = false; // some group named it, even one without rules
    std::vector<QByteArray> allows;
    std::vector<QByteArray> disallows;
    std::optional<int> crawlDelayMs;

    void add(const QByteArray& field, const QByteArray& value)
    {
        if (field == "allow") {
            allows.push_back(value);
        } else if (field == "disallow") {
            disallows.push_back(value);
        } else if (const auto delay = crawlDelayOf(value)) {
            // Of several groups merged, the most patient delay.
            crawlDelayMs = std::max(crawlDelayMs.value_or(0), *delay);
        }
    }
};

} // namespace

RobotsRules RobotsRules::allowAll()
{
    return {};
}

RobotsRules RobotsRules::disallowAll()
{
    RobotsRules rules;
    rules.m_disallowAll = true;
    return rules;
}

RobotsRules RobotsRules::fromStatus(int status, const QByteArray& body, const QString& productToken)
{
    if (status >= 200 && status < 300)
        return parse(body, productToken);
    if (status >= 300 && status < 500)
        return allowAll();
    return disallowAll();
}

RobotsRules RobotsRules::parse(const QByteArray& body, const QString& productToken)
{
    QByteArrayView text(body);
    if (text.size() > MaxBodyBytes) {
        // A line cut at the limit could say something else than it does: drop it.
        const bool cutAtLineEnd = text[MaxBodyBytes] == '\n' || text[MaxBodyBytes] == '\r';
        text = text.first(MaxBodyBytes);
        if (!cutAtLineEnd) {
            qsizetype end = text.size();
            while (end > 0 && text[end - 1] != '\n' && text[end - 1] != '\r')
                --end;
            text = text.first(end);
        }
    }
    if (text.startsWith("\xEF\xBB\xBF"))
        text = text.sliced(3);

    const QByteArray token = productToken.toUtf8();
    Bucket ours;
    Bucket anyAgent;
    bool groupIsOurs = false;
    bool groupIsAnyAgent = false;
    bool inAgentLines = false;

    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r')
            ++end;
        QByteArrayView line = text.sliced(start, end - start);
        start = end + 1;

        const qsizetype hash = line.indexOf('#');
        if (hash >= 0)
            line = line.first(hash);
        const qsizetype colon = line.indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray field = line.first(colon).trimmed().toByteArray().toLower();
        const QByteArray value = line.sliced(colon + 1).trimmed().toByteArray();

        if (field == "user-agent") {
            if (!inAgentLines) {
                groupIsOurs = false;
                groupIsAnyAgent = false;
                inAgentLines = true;
            }
            if (value == "*") {
                groupIsAnyAgent = anyAgent.named = true;
            } else {
                const QByteArrayView name = agentToken(value);
                if (!name.isEmpty() && QByteArrayView(token).compare(name, Qt::CaseInsensitive) == 0)
                    groupIsOurs = ours.named = true;
            }
        } else if (field == "allow" || field == "disallow" || field == "crawl-delay") {
            inAgentLines = false;
            if (groupIsOurs)
                ours.add(field, value);
            if (groupIsAnyAgent)
                anyAgent.add(field, value);
        }
    }

    const Bucket& used = ours.named ? ours : anyAgent;
    RobotsRules rules;
    rules.m_crawlDelayMs = used.crawlDelayMs;
    auto addRules = [&rules](const std::vector<QByteArray>& patterns, bool allow) {
        for (const QByteArray& raw : patterns) {
            // An empty value says nothing (an empty disallow allows everything).
            if (raw.isEmpty())
                continue;
            // Patterns are paths; a careless "private/" still means "/private/".
            QByteArray pattern = normalised(raw.startsWith('/') || raw.startsWith('*') ? raw : '/' + raw);
            Rule rule;
            rule.allow = allow;
            rule.length = pattern.size();
            if (pattern.endsWith('$')) {
                rule.anchored = true;
                pattern.chop(1);
            }
            // "a**b" matches what "a*b" does, with less backtracking.
            const auto last = std::unique(pattern.begin(), pattern.end(),
                                          [](char a, char b) { return a == '*' && b == '*'; });
            pattern.truncate(last - pattern.begin());
            rule.pattern = pattern;
            rules.m_rules.push_back(std::move(rule));
        }
    };
    addRules(used.allows, true);
    addRules(used.disallows, false);
    std::stable_sort(rules.m_rules.begin(), rules.m_rules.end(), [](const Rule& a, const Rule& b) {
        if (a.length != b.length)
            return a.length > b.length;
        return a.allow && !b.allow;
    });
    return rules;
}

bool RobotsRules::allowed(const QString& pathAndQuery) const
{
    const QByteArray path = pathAndQuery.isEmpty() ? QByteArray("/") : normalised(pathAndQuery.toUtf8());
    if (path == "/robots.txt" || path.startsWith("/robots.txt?"))
        return true;
    if (m_disallowAll)
        return false;
    for (const Rule& rule : m_rules) {
        if (wildcardMatch(rule.pattern, rule.anchored, path))
            return rule.allow;
    }
    return true;
}

} // namespace web
