#include "web/PoliteHosts.h"
#include "web/RobotsTxt.h"

#include <QtTest>

using web::RobotsRules;

class TestRobotsTxt : public QObject {
    Q_OBJECT
private slots:
    void matching_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("allowed");
        // The protocol's own example; our token is not named in it, so "*" applies.
        const QByteArray example = "User-Agent: *\nDisallow: *.gif$\nDisallow: /example/\nAllow: /publications/\n\n"
                                   "User-Agent: foobot\nDisallow:/\nAllow:/example/page.html\nAllow:/example/allowed.gif\n\n"
                                   "User-Agent: barbot\nUser-Agent: bazbot\nDisallow: /example/page.html\n\n"
                                   "User-Agent: quxbot\n\nEOF\n";
        const QByteArray named = QByteArray(example).replace("foobot", "Quillon/1.0");
        const QByteArray emptyGroup = QByteArray(example).replace("quxbot", "quillon");
        const QByteArray longest = "User-Agent: Quillon\nAllow: /example/page/\nDisallow: /example/page/disallowed.gif\n";
        const QByteArray star = "User-agent: *\n";
        const QByteArray merged = "User-agent: Quillon\nDisallow: /a\n\nUser-agent: *\nDisallow: /b\n\n"
                                  "User-agent: quillon\nDisallow: /c\n";
        const QByteArray limit = star + '#' + QByteArray(511900, 'x') + "\nDisallow: /a\n#" + QByteArray(1000, 'y')
            + "\nDisallow: /b\n";

        auto row = [](const char* name, const QByteArray& body, const QString& path, bool allowed) {
            QTest::newRow(name) << body << path << allowed;
        };
        row("example *.gif$", example, "/a/b.gif", false);
        row("example *.gif$ with query", example, "/a/b.gif?x=1", true);
        row("example dir", example, "/example/x", false);
        row("token with version: disallow /", named, "/other", false);
        row("token with version: allow", named, "/example/page.html", true);
        row("named empty group, no fallback to *", emptyGroup, "/example/x", true);
        row("longest: disallow file", longest, "/example/page/disallowed.gif", false);
        row("empty file", "", "/x", true);
        row("empty disallow", star + "Disallow:\n", "/x", true);
        row("robots.txt always allowed", star + "Disallow: /\n", "/robots.txt", true);
        row("empty path is /", star + "Disallow: /$\n", "", false);
        row("equal length: allow wins", star + "Disallow: /page\nAllow: /page\n", "/page", true);
        row("* inside", star + "Disallow: /a/*/c\n", "/a/b/x/c/d", false);
        row("* query", star + "Disallow: /*?\n", "/a?x=1", false);
        row("%7E pattern, ~ path", star + "Disallow: /%7ejoe\n", "/~joe/x", false);
        row("~ pattern, %7E path", star + "Disallow: /~joe\n", "/%7Ejoe", false);
        row("lower hex pattern, UTF-8 path", star + "Disallow: /%e3%81%82\n", "/あ", false);
        row("UTF-8 pattern, upper hex path", star + "Disallow: /あ\n", "/%E3%81%82", false);
        row("%2F stays encoded", star + "Disallow: /a%2Fb\n", "/a/b", true);
        row("another agent only", "User-agent: otherbot\nDisallow: /\n", "/x", true);
        row("merged: first group", merged, "/a", false);
        row("merged: later group", merged, "/c", false);
        row("several agent lines", "User-agent: other\nSitemap: /s.xml\nUser-agent: QUILLON\nDisallow: /x\n", "/x", false);
        row("rules before any agent", "Disallow: /\nUser-agent: *\nAllow: /x\n", "/y", true);
        row("BOM, comments, CRLF, CR", "\xEF\xBB\xBFUser-Agent: * # all\r\nnonsense\r\n# CR alone ends a line\rDISALLOW : /x # why\r\n",
            "/x", false);
        row("500 KiB: rule before the limit", limit, "/a", false);
        row("500 KiB: rule after the limit", limit, "/b", true);
    }

    void matching()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, path);
        QFETCH(bool, allowed);
        QCOMPARE(RobotsRules::parse(body).allowed(path), allowed);
    }

    void status_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("privateAllowed");
        QTest::addColumn<bool>("publicAllowed");
        QTest::newRow("200 parsed") << 200 << false << true;
        QTest::newRow("404") << 404 << true << true;
        QTest::newRow("403") << 403 << true << true;
        QTest::newRow("redirects exhausted") << 302 << true << true;
        QTest::newRow("500") << 500 << false << false;
        QTest::newRow("503") << 503 << false << false;
        QTest::newRow("unreachable") << 0 << false << false;
    }

    void status()
    {
        QFETCH(int, status);
        QFETCH(bool, privateAllowed);
        QFETCH(bool, publicAllowed);
        const RobotsRules rules = RobotsRules::fromStatus(status, "User-agent: *\nDisallow: /private/\n");
        QCOMPARE(rules.allowed("/private/a"), privateAllowed);
        QCOMPARE(rules.allowed("/public"), publicAllowed);
    }

    void crawlDelay_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("ms"); // -1: none
        QTest::newRow("absent") << QByteArray("User-agent: *\nDisallow: /\n") << -1;
        QTest::newRow("2") << QByteArray("User-agent: *\nCrawl-delay: 2\n") << 2000;
        QTest::newRow("0.5") << QByteArray("User-agent: *\nCrawl-delay: 0.5\n") << 500;
        QTest::newRow("100 capped") << QByteArray("User-agent: *\nCrawl-delay: 100\n") << 30000;
        QTest::newRow("x") << QByteArray("User-agent: *\nCrawl-delay: x\n") << -1;
        QTest::newRow("another agent's") << QByteArray("User-agent: otherbot\nCrawl-delay: 5\n") << -1;
    }

    void crawlDelay()
    {
        QFETCH(QByteArray, body);
        QFETCH(int, ms);
        QCOMPARE(RobotsRules::parse(body).crawlDelayMs().value_or(-1), ms);
    }
    void retryAfter_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("ms"); // -1: not a Retry-After
        const QDateTime now = QDateTime(QDate(2026, 12, 9), QTime(8, 0), Qt::UTC);
        QTest::newRow("seconds") << QByteArray("1") << 1000;
        QTest::newRow("capped at 120 s") << QByteArray("3600") << 120000;
        QTest::newRow("date 30 s ahead") << QByteArray("Wed, 09 Dec 2026 08:00:30 GMT") << 30000;
        QTest::newRow("date past") << QByteArray("Wed, 09 Dec 2026 07:00:00 GMT") << 0;
        QTest::newRow("negative") << QByteArray("-5") << -1;
        QTest::newRow("words") << QByteArray("soon") << -1;
        QTest::newRow("empty") << QByteArray() << -1;
        m_now = now;
    }
    void retryAfter()
    {
        QFETCH(QByteArray, value);
        QFETCH(int, ms);
        QCOMPARE(web::retryAfterMs(value, m_now).value_or(-1), ms);
    }

    // A site is held back until its robots.txt is known, then by the larger of
    // the interval and its Crawl-delay; a Retry-After pushes it further, twice.
    void politeHosts()
    {
        web::PoliteHosts sites;
        sites.reset({true, 500});
        const QString page = QStringLiteral("http://Example.org:8080/a/b.html?x=1");
        QCOMPARE(web::PoliteHosts::originOf(page), QStringLiteral("http://example.org:8080"));
        QCOMPARE(sites.gate(page, 0), web::PoliteHosts::Gate::Wait);
        QCOMPARE(sites.gate(page, 0), web::PoliteHosts::Gate::Wait);
        QCOMPARE(sites.takeRobotsRequests(), QStringList{"http://example.org:8080"}); // asked once
        QVERIFY(sites.takeRobotsRequests().isEmpty());
        sites.setRobots("http://example.org:8080", RobotsRules::parse("User-agent: *\nDisallow: /a/b.html?x\nCrawl-delay: 2\n"));
        QCOMPARE(sites.gate(page, 0), web::PoliteHosts::Gate::Excluded);
        const QString other = QStringLiteral("http://example.org:8080/c.html");
        QCOMPARE(sites.gate(other, 0), web::PoliteHosts::Gate::Go);
        sites.fetchStarted(other, 100);
        QCOMPARE(sites.gate(other, 2099), web::PoliteHosts::Gate::Wait); // the Crawl-delay, longer than 500 ms
        QCOMPARE(sites.gate(other, 2100), web::PoliteHosts::Gate::Go);
        QCOMPARE(sites.nextDueMs(1000), std::optional<qint64>(2100));
        for (int retry = 0; retry < web::PoliteHosts::kMaxRetries; ++retry)
            QVERIFY(sites.retryLater(other, 5000));
        QVERIFY(!sites.retryLater(other, 6000));
        QCOMPARE(sites.gate(other, 4999), web::PoliteHosts::Gate::Wait);
        QCOMPARE(sites.gate(other, 5000), web::PoliteHosts::Gate::Go);
    }

private:
    QDateTime m_now;
};

QTEST_GUILESS_MAIN(TestRobotsTxt)
#include "tst_robotstxt.moc"
