#include "support/HttpTestServer.h"
#include "web/THTTP.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>
#include <functional>

using web::DocOutput;
using web::THTTP;

namespace {

// Records every event of one component and checks the order the callers rely
// on: begin once, data pieces, end once.
struct Recorder {
    explicit Recorder(THTTP& http)
    {
        QObject::connect(&http, &THTTP::docOutput, &http, [this](THTTP* sender, const DocOutput& out) {
            senders.append(sender);
            events.append(out);
            if (onEvent)
                onEvent(out);
        });
    }
    bool ended() const { return !events.isEmpty() && events.last().state == 5; }
    QByteArray body() const
    {
        QByteArray all;
        for (const DocOutput& e : events)
            all += e.piece;
        return all;
    }
    int dataEvents() const
    {
        int n = 0;
        for (const DocOutput& e : events)
            n += e.state == 3 ? 1 : 0;
        return n;
    }
    // Empty when the events form begin, data..., end with growing byte counts.
    QString orderProblem() const
    {
        if (events.size() < 2)
            return QStringLiteral("fewer than two events");
        if (events.first().state != 1 || events.first().bytesTransferred != 0)
            return QStringLiteral("first event is not a begin at 0 bytes");
        if (events.last().state != 5)
            return QStringLiteral("last event is not an end");
        qint64 total = 0;
        for (qsizetype i = 1; i + 1 < events.size(); ++i) {
            const DocOutput& e = events[i];
            if (e.state != 3)
                return QStringLiteral("event %1 has state %2 between begin and end").arg(i).arg(e.state);
            if (e.piece.isEmpty())
                return QStringLiteral("event %1 carries an empty piece").arg(i);
            total += e.piece.size();
            if (e.bytesTransferred != total)
                return QStringLiteral("event %1 reports %2 bytes, pieces add up to %3").arg(i).arg(e.bytesTransferred).arg(total);
        }
        if (events.last().bytesTransferred != total)
            return QStringLiteral("end reports %1 bytes, pieces add up to %2").arg(events.last().bytesTransferred).arg(total);
        return {};
    }
    QList<THTTP*> senders;
    QList<DocOutput> events;
    std::function<void(const DocOutput&)> onEvent;
};

QByteArray allByteValues(int repeats)
{
    QByteArray bytes;
    for (int r = 0; r < repeats; ++r)
        for (int i = 0; i < 256; ++i)
            bytes.append(char(i));
    return bytes;
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<cannot open>";
    return f.readAll();
}

} // namespace

class TestTHTTP : public QObject {
    Q_OBJECT
private slots:
    void piecesArriveInOrder();
    void utf8SequenceSplitAcrossPieces();
    void statusBodies_data();
    void statusBodies();
    void failuresEndWithoutData_data();
    void failuresEndWithoutData();
    void resetMidBodyIsAFailure();
    void capsEndTransfers();
    void outputFile_data();
    void outputFile();
    void outputFileAppliesToNextGetDocOnly();
    void cancelStopsEvents_data();
    void cancelStopsEvents();
    void getDocWhileBusyReplacesTransfer();
    void getDocFromEndHandler();
    void redirects_data();
    void redirects();
    void proxy();
    void remoteHost_data();
    void remoteHost();
};

void TestTHTTP::piecesArriveInOrder()
{
    HttpTestServer server;
    QVERIFY(server.isListening());
    const QList<QByteArray> pieces{"<html><head>", "<title>t</title></head>", "<body>hello</body></html>"};
    server.setPieces("/p.html", pieces, HttpTestServer::kOnRelease);

    THTTP http;
    Recorder rec(http);
    // The next piece goes out only once the one before was reported.
    rec.onEvent = [&](const DocOutput& e) {
        if (e.state == 3)
            server.releasePiece();
    };
    const QString address = server.url("/p.html");
    http.getDoc(address);
    QVERIFY(rec.events.isEmpty()); // never from inside getDoc
    QVERIFY(http.busy());
    QVERIFY(http.transferState() != 0);

    // A component that gathered the pieces up would never see the second.
    QTRY_VERIFY_WITH_TIMEOUT(rec.ended(), 30000);
    QCOMPARE(rec.orderProblem(), QString());
    QCOMPARE(rec.body(), pieces.join());
    QCOMPARE(rec.dataEvents(), int(pieces.size()));
    for (THTTP* s : rec.senders)
        QCOMPARE(s, &http);
    QVERIFY(!http.busy());
    QCOMPARE(http.transferState(), 0);
    QCOMPARE(http.url(), address);
    QCOMPARE(server.requestedPaths(), QStringList{"/p.html"});
    QCOMPARE(server.lastMethod(), QByteArray("GET"));
}

void TestTHTTP::utf8SequenceSplitAcrossPieces()
{
    HttpTestServer server;
    const QByteArray text = QStringLiteral("<p>日本語のページ</p>").toUtf8();
    // Cut inside the first and inside the third character.
    const QList<QByteArray> pieces{text.left(4), text.mid(4, 6), text.mid(10)};
    server.setPieces("/j.html", pieces, HttpTestServer::kOnRelease, "text/html; charset=utf-8");

    THTTP http;
    Recorder rec(http);
    rec.onEvent = [&](const DocOutput& e) {
        if (e.state == 3)
            server.releasePiece();
    };
    http.getDoc(server.url("/j.html"));
    QTRY_VERIFY_WITH_TIMEOUT(rec.ended(), 30000);
    QCOMPARE(rec.orderProblem(), QString());
    QCOMPARE(rec.body(), text);
    QCOMPARE(rec.dataEvents(), int(pieces.size()));
    QString joined;
    for (const DocOutput& e : rec.events) {
        QVERIFY2(!e.text().contains(QChar::ReplacementCharacter), qPrintable(e.text()));
        joined += e.text();
    }
    QCOMPARE(joined, QString::fromUtf8(text));

    // Invalid bytes are kept as replacement characters, not dropped.
    DocOutput bad;
    bad.piece = QByteArray("a\xff") + "b";
    QCOMPARE(bad.text(), QStringLiteral("a\uFFFDb"));
}

void TestTHTTP::statusBodies_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("200 empty body") << 200 << QByteArray();
    QTest::newRow("200 one byte") << 200 << QByteArray("x");
    QTest::newRow("204 no content") << 204 << QByteArray();
    QTest::newRow("404 with body") << 404 << QByteArray("<html>no such page</html>");
    QTest::newRow("500 with body") << 500 << QByteArray("<html>server trouble</html>");
    QTest::newRow("503 with body") << 503 << QByteArray("<html>busy</html>");
    QTest::newRow("404 empty body") << 404 << QByteArray();
}

void TestTHTTP::statusBodies()
{
    QFETCH(int, code);
    QFETCH(QByteArray, body);
    HttpTestServer server;
    server.setStatus("/s", code, body);

    THTTP http;
    Recorder rec(http);
    http.getDoc(server.url("/s"));
    QTRY_VERIFY(rec.ended());
    QCOMPARE(rec.orderProblem(), QString());
    // The body of an error status is never taken for the document.
    const bool success = code >= 200 && code <= 299;
    const QByteArray delivered = success ? body : QByteArray();
    QCOMPARE(rec.body(), delivered);
    QCOMPARE(rec.dataEvents() == 0, delivered.isEmpty());
    QCOMPARE(rec.events.last().bytesTransferred, qint64(delivered.size()));
    QCOMPARE(rec.events.last().error.isEmpty(), success);
    if (!success)
        QVERIFY(rec.events.last().error.startsWith(QStringLiteral("HTTP %1").arg(code)));
    QVERIFY(!http.busy());
}

void TestTHTTP::failuresEndWithoutData_data()
{
    QTest::addColumn<QString>("address"); // "SERVER" stands for the test server's base address

    QTest::newRow("refused connection")
        << QStringLiteral("http://127.0.0.1:%1/x.html").arg(HttpTestServer::unusedPort());
    QTest::newRow("closed before any byte") << QStringLiteral("SERVER/close");
    QTest::newRow("garbage instead of a response") << QStringLiteral("SERVER/garbage");
    QTest::newRow("misspelt scheme") << QStringLiteral("htp:/x");
    QTest::newRow("empty address") << QString();
    QTest::newRow("scheme only") << QStringLiteral("http://");
    QTest::newRow("no scheme") << QStringLiteral("127.0.0.1/x.html");
    QTest::newRow("file scheme") << QStringLiteral("file:///etc/passwd");
    QTest::newRow("ftp scheme") << QStringLiteral("ftp://127.0.0.1/x");
    QTest::newRow("spaces") << QStringLiteral("http://exa mple/ x");
}

void TestTHTTP::failuresEndWithoutData()
{
    QFETCH(QString, address);
    HttpTestServer server;
    server.setCloseBeforeAnyByte("/close");
    server.setRaw("/garbage", "this is not HTTP at all\r\n\r\n");
    address.replace(QLatin1String("SERVER"), server.baseUrl());

    THTTP http;
    Recorder rec(http);
    http.getDoc(address);
    QVERIFY(rec.events.isEmpty());
    QTRY_VERIFY(rec.ended());
    QCOMPARE(rec.orderProblem(), QString());
    QCOMPARE(rec.dataEvents(), 0);
    QCOMPARE(rec.events.size(), 2);
    QVERIFY(!rec.events.last().error.isEmpty());
    QCOMPARE(http.url(), address);
    QVERIFY(!http.busy());
    QCOMPARE(http.transferState(), 0);

    // The component stays usable after the failure.
    server.setPage("/ok.html", "fine");
    http.getDoc(server.url("/ok.html"));
    QTRY_COMPARE(rec.events.size(), 5);
    QCOMPARE(rec.events[2].state, 1);
    QCOMPARE(rec.events[3].piece, QByteArray("fine"));
    QCOMPARE(rec.events[4].state, 5);
}

// A body cut short ends as a failure, and leaves no file under the name.
void TestTHTTP::resetMidBodyIsAFailure()
{
    HttpTestServer server;
    server.setResetMidBody("/r.bin", 100000, 30000);
    QTemporaryDir dir;
    const QString path = dir.filePath("0009.bin");

    THTTP http;
    Recorder rec(http);
    http.setDocOutputFileName(path);
    http.getDoc(server.url("/r.bin"));
    QTRY_VERIFY(rec.ended());
    QCOMPARE(rec.orderProblem(), QString());
    QVERIFY(!rec.events.last().error.isEmpty());
    // What was reported is true to the body, and no more.
    const QByteArray got = rec.body();
    QVERIFY(got.size() <= 30000);
    QCOMPARE(got, HttpTestServer::largeBodyBytes(0, got.size()));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
    QCOMPARE(http.savedFileName(), QString());
    QVERIFY(!http.busy());
}

// Bodies past the cap end as failures: a declared length at once, an
// undeclared one when it passes the cap.
void TestTHTTP::capsEndTransfers()
{
    HttpTestServer server;
    server.setLargeBody("/big.bin", 300000);
    server.setRaw("/huge", "HTTP/1.1 200 OK\r\nContent-Length: 9223372036854775807\r\n\r\nxx");
    server.setRaw("/endless", "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + QByteArray(300000, 'e'));
    for (const char* route : {"/big.bin", "/huge", "/endless"}) {
        THTTP http;
        Recorder rec(http);
        http.setMaxBodySize(100000);
        http.getDoc(server.url(QLatin1String(route)));
        QTRY_VERIFY(rec.ended());
        QCOMPARE(rec.orderProblem(), QString());
        QVERIFY2(!rec.events.last().error.isEmpty(), route);
        QVERIFY(rec.body().size() <= 100000);
    }
}

void TestTHTTP::outputFile_data()
{
    QTest::addColumn<QString>("route"); // "bytes" or "large"
    QTest::addColumn<qint64>("size");
    QTest::newRow("all 256 byte values") << QStringLiteral("bytes") << qint64(256 * 40);
    QTest::newRow("5 MB generated") << QStringLiteral("large") << qint64(5 * 1024 * 1024);
}

void TestTHTTP::outputFile()
{
    QFETCH(QString, route);
    QFETCH(qint64, size);
    HttpTestServer server;
    QByteArray expected;
    if (route == QLatin1String("bytes")) {
        expected = allByteValues(int(size / 256));
        server.setBody("/pic.jpg", expected, "image/jpeg");
    } else {
        expected = HttpTestServer::largeBodyBytes(0, size);
        server.setLargeBody("/pic.jpg", size);
    }

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("0007.jpg");
    const QByteArray old(int(size) + 1000, 'Z');
    for (const QString& taken : {path, dir.filePath("0007_1.jpg")}) {
        QFile f(taken);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(old);
    }

    // A picture already on disk is never replaced: the body takes the first free name.
    THTTP http;
    Recorder rec(http);
    const QString free = dir.filePath("0007_2.jpg");
    qint64 sizeAtEnd = -1;
    rec.onEvent = [&](const DocOutput& e) {
        if (e.state == 5)
            sizeAtEnd = QFileInfo(free).size();
    };
    http.setDocOutputFileName(path);
    QCOMPARE(http.docOutputFileName(), path);
    http.getDoc(server.url("/pic.jpg"));
    QCOMPARE(http.docOutputFileName(), QString()); // consumed by this transfer
    QTRY_VERIFY_WITH_TIMEOUT(rec.ended(), 30000);
    QCOMPARE(rec.orderProblem(), QString());
    QCOMPARE(rec.events.last().error, QString());
    QCOMPARE(http.savedFileName(), free);
    // The file is complete (flushed and closed) when the end event arrives.
    QCOMPARE(sizeAtEnd, size);
    QVERIFY(readFile(free) == expected);
    QVERIFY(readFile(path) == old);
    // The pieces are still reported.
    QVERIFY(rec.body() == expected);

    // Told to replace, it takes the name itself, in one step.
    rec.events.clear();
    http.setReplaceExisting(true);
    http.setDocOutputFileName(path);
    http.getDoc(server.url("/pic.jpg"));
    QTRY_VERIFY_WITH_TIMEOUT(rec.ended(), 30000);
    QCOMPARE(http.savedFileName(), path);
    QVERIFY(readFile(path) == expected);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 3); // no temporary file left
}

void TestTHTTP::outputFileAppliesToNextGetDocOnly()
{
    HttpTestServer server;
    server.setBody("/a.gif", "GIF89a-first", "image/gif");
    server.setPage("/page.html", "<html>second</html>");
    QTemporaryDir dir;
    const QString path = dir.filePath("0001.gif");

    THTTP http;
    Recorder rec(http);
    http.setDocOutputFileName(path);
    http.getDoc(server.url("/a.gif"));
    QTRY_VERIFY(rec.ended());
    QCOMPARE(readFile(path), QByteArray("GIF89a-first"));

    rec.events.clear();
    http.getDoc(server.url("/page.html"));
    QTRY_VERIFY(rec.ended());
    QCOMPARE(rec.body(), QByteArray("<html>second</html>"));
    QCOMPARE(readFile(path), QByteArray("GIF89a-first"));

    // A file that cannot be created ends the transfer as a failure naming it.
    rec.events.clear();
    http.setDocOutputFileName(dir.filePath("missing/dir/0002.gif"));
    http.getDoc(server.url("/a.gif"));
    QTRY_VERIFY(rec.ended());
    QCOMPARE(rec.orderProblem(), QString());
    QCOMPARE(rec.body(), QByteArray());
    QVERIFY(rec.events.last().error.contains(QStringLiteral("0002.gif")));
}

void TestTHTTP::cancelStopsEvents_data()
{
    QTest::addColumn<bool>("fromHandler");
    QTest::newRow("cancel from the caller") << false;
    QTest::newRow("cancel inside the data event") << true;
}

void TestTHTTP::cancelStopsEvents()
{
    QFETCH(bool, fromHandler);
    HttpTestServer server;
    server.setDrip("/drip.bin", 2000, 20);
    server.setPage("/next.html", "<html>next</html>");

    THTTP http;
    Recorder rec(http);
    QTemporaryDir dir;
    const QString path = dir.filePath("0003.bin");
    http.setDocOutputFileName(path);
    bool cancelled = false;
    if (fromHandler) {
        rec.onEvent = [&](const DocOutput& e) {
            if (e.state == 3 && !cancelled) {
                http.cancel();
                cancelled = true;
                QVERIFY(!http.busy());
            }
        };
    }
    http.getDoc(server.url("/drip.bin"));
    QTRY_VERIFY(rec.dataEvents() >= 1);
    if (!fromHandler) {
        http.cancel();
        cancelled = true;
    }
    QVERIFY(cancelled);
    QVERIFY(!http.busy());
    QCOMPARE(http.transferState(), 0);
    const qsizetype eventsAtCancel = rec.events.size();

    // The dripping connection is given up, so nothing more can come of it.
    QTRY_COMPARE(server.openConnections(), 0);
    QCOMPARE(rec.events.size(), eventsAtCancel);
    QCOMPARE(rec.events.last().state, 3);

    // A new transfer may follow at once and reports only itself.
    http.getDoc(server.url("/next.html"));
    QTRY_VERIFY(rec.ended());
    Recorder tail = rec;
    tail.events = rec.events.mid(eventsAtCancel);
    QCOMPARE(tail.orderProblem(), QString());
    QCOMPARE(tail.body(), QByteArray("<html>next</html>"));
    // The cancelled transfer leaves no file at all, partial or temporary.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList());
}

void TestTHTTP::getDocWhileBusyReplacesTransfer()
{
    HttpTestServer server;
    server.setStallAfterHeaders("/stall.html");
    server.setPage("/one.html", "one");
    server.setPage("/two.html", "two");

    THTTP http;
    Recorder rec(http);
    // Two requests before the event loop runs: only the second reports.
    http.getDoc(server.url("/one.html"));
    http.getDoc(server.url("/two.html"));
    QTRY_VERIFY(rec.ended());
    QCOMPARE(rec.orderProblem(), QString());
    QCOMPARE(rec.body(), QByteArray("two"));
    QCOMPARE(http.url(), server.url("/two.html"));

    // A stalled transfer under way is replaced by the next request.
    rec.events.clear();
    http.getDoc(server.url("/stall.html"));
    QTRY_VERIFY(server.requestedPaths().contains("/stall.html"));
    QTRY_COMPARE(server.openConnections(), 1);
    QVERIFY(http.busy());
    QCOMPARE(rec.events.size(), 1); // begun, nothing more
    const qsizetype before = rec.events.size();
    http.getDoc(server.url("/one.html"));
    QTRY_VERIFY(rec.ended());
    Recorder tail = rec;
    tail.events = rec.events.mid(before);
    QCOMPARE(tail.orderProblem(), QString());
    QCOMPARE(tail.body(), QByteArray("one"));
    QTRY_COMPARE(server.openConnections(), 0);
    QCOMPARE(rec.events.size(), before + 3);
}

void TestTHTTP::getDocFromEndHandler()
{
    HttpTestServer server;
    server.setPage("/a.html", "A");
    server.setPage("/b.html", "B");

    THTTP http;
    Recorder rec(http);
    bool chained = false;
    rec.onEvent = [&](const DocOutput& e) {
        if (e.state == 5 && !chained) {
            QVERIFY(!http.busy()); // the ended transfer no longer counts as running
            chained = true;
            http.getDoc(server.url("/b.html"));
        }
    };
    http.getDoc(server.url("/a.html"));
    QTRY_COMPARE(rec.events.size(), 6);
    QList<int> states;
    for (const DocOutput& e : rec.events)
        states.append(e.state);
    QCOMPARE(states, (QList<int>{1, 3, 5, 1, 3, 5}));
    QCOMPARE(rec.events[1].piece, QByteArray("A"));
    QCOMPARE(rec.events[4].piece, QByteArray("B"));
    QCOMPARE(http.url(), server.url("/b.html"));
}

void TestTHTTP::redirects_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QByteArray>("body"); // empty: ends without data

    QTest::newRow("302 relative") << QStringLiteral("/r302") << QByteArray("<html>final</html>");
    QTest::newRow("301 absolute") << QStringLiteral("/r301") << QByteArray("<html>final</html>");
    QTest::newRow("303, 307, 308 chain to another host") << QStringLiteral("/chain")
                                                       << QByteArray("<html>other host</html>");
    QTest::newRow("ten hops") << QStringLiteral("/hop10") << QByteArray("<html>final</html>");
    QTest::newRow("eleven hops") << QStringLiteral("/hop11") << QByteArray();
    QTest::newRow("loop") << QStringLiteral("/loopA") << QByteArray();
    QTest::newRow("to a local file") << QStringLiteral("/tofile") << QByteArray();
    QTest::newRow("to ftp") << QStringLiteral("/toftp") << QByteArray();
    QTest::newRow("to a refused port") << QStringLiteral("/torefused") << QByteArray();
}

void TestTHTTP::redirects()
{
    QFETCH(QString, start);
    QFETCH(QByteArray, body);
    HttpTestServer server;
    HttpTestServer other;
    server.setPage("/final.html", "<html>final</html>");
    other.setPage("/there.html", "<html>other host</html>");
    server.setRedirect("/r302", "final.html", 302);
    server.setRedirect("/r301", server.url("/final.html"), 301);
    server.setRedirect("/chain", "/c2", 303);
    server.setRedirect("/c2", "/c3", 307);
    server.setRedirect("/c3", other.url("/there.html"), 308);
    for (int i = 1; i <= 11; ++i) {
        const QString next = i == 1 ? QStringLiteral("/final.html") : QStringLiteral("/hop%1").arg(i - 1);
        server.setRedirect(QStringLiteral("/hop%1").arg(i), next);
    }
    server.setRedirect("/loopA", "/loopB");
    server.setRedirect("/loopB", "/loopA");
    server.setRedirect("/tofile", "file:///etc/passwd");
    server.setRedirect("/toftp", "ftp://127.0.0.1/x");
    server.setRedirect("/torefused", QStringLiteral("http://127.0.0.1:%1/").arg(HttpTestServer::unusedPort()));

    THTTP http;
    Recorder rec(http);
    const QString address = server.url(start);
    http.getDoc(address);
    QTRY_VERIFY_WITH_TIMEOUT(rec.ended(), 15000);
    QCOMPARE(rec.orderProblem(), QString());
    // No redirect page body ever shows up as data.
    QCOMPARE(rec.body(), body);
    // The address stays the one asked for: the tables are keyed by it.
    QCOMPARE(http.url(), address);
    QCOMPARE(http.remoteHost(), QStringLiteral("127.0.0.1:%1").arg(server.port()));
    if (start == QLatin1String("/loopA"))
        QVERIFY(server.requestCount() <= THTTP::kMaxRedirects + 1);
}

void TestTHTTP::proxy()
{
    HttpTestServer origin;
    origin.setPage("/direct.html", "<html>direct</html>");
    HttpTestServer proxyServer; // answers proxy requests by their path
    proxyServer.setPage("/direct.html", "<html>via proxy</html>");

    THTTP http;
    Recorder rec(http);
    QCOMPARE(http.proxyUse(), false);

    // Through a working proxy: the request goes there in absolute form.
    http.setProxy(true, "127.0.0.1", proxyServer.port());
    QCOMPARE(http.proxyUse(), true);
    QCOMPARE(http.proxyHost(), QStringLiteral("127.0.0.1"));
    QCOMPARE(http.proxyPort(), int(proxyServer.port()));
    http.getDoc(origin.url("/direct.html"));
    QTRY_VERIFY(rec.ended());
    QCOMPARE(rec.body(), QByteArray("<html>via proxy</html>"));
    QCOMPARE(proxyServer.requestTargets(), QStringList{origin.url("/direct.html")});
    QCOMPARE(origin.requestCount(), 0);

    // A proxy where nothing listens ends the transfer without data.
    rec.events.clear();
    http.setProxy(true, "127.0.0.1", HttpTestServer::unusedPort());
    http.getDoc(origin.url("/direct.html"));
    QTRY_VERIFY(rec.ended());
    QCOMPARE(rec.orderProblem(), QString());
    QCOMPARE(rec.dataEvents(), 0);
    QCOMPARE(origin.requestCount(), 0);

    // A proxy that takes the request and never answers leaves the transfer
    // running until the caller gives up on it.
    rec.events.clear();
    proxyServer.setStallAfterHeaders("/stalled.html");
    http.setProxy(true, "127.0.0.1", proxyServer.port());
    http.getDoc(origin.url("/stalled.html"));
    QTRY_VERIFY(proxyServer.requestedPaths().contains("/stalled.html"));
    QVERIFY(http.busy());
    QCOMPARE(rec.events.size(), 1);
    http.cancel();
    QTRY_COMPARE(proxyServer.openConnections(), 0);
    QCOMPARE(rec.events.size(), 1);
    QVERIFY(!http.busy());

    // A port outside the TCP range is harmless too.
    rec.events.clear();
    http.setProxy(true, "127.0.0.1", 70000);
    QCOMPARE(http.proxyPort(), 70000);
    http.getDoc(origin.url("/direct.html"));
    QTRY_VERIFY(rec.ended());
    QCOMPARE(rec.dataEvents(), 0);

    // Proxy off: straight to the origin.
    rec.events.clear();
    http.setProxy(false, "127.0.0.1", proxyServer.port());
    QCOMPARE(http.proxyUse(), false);
    http.getDoc(origin.url("/direct.html"));
    QTRY_VERIFY(rec.ended());
    QCOMPARE(rec.body(), QByteArray("<html>direct</html>"));
    QCOMPARE(origin.requestTargets(), QStringList{"/direct.html"});
    QCOMPARE(proxyServer.requestCount(), 2); // nothing more reached the proxy
}

void TestTHTTP::remoteHost_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("host");
    QTest::newRow("with port") << "http://h:8080/x" << "h:8080";
    QTest::newRow("explicit port 80 kept") << "http://h:80/x" << "h:80";
    QTest::newRow("no path") << "http://h" << "h";
    QTest::newRow("query right after host") << "http://h?x=1" << "h";
    QTest::newRow("fragment right after host") << "http://h#top" << "h";
    QTest::newRow("https with user and port") << "https://u:p@www.h.jp:8443/a/b?q" << "www.h.jp:8443";
    QTest::newRow("case kept") << "http://WWW.H.JP/x" << "WWW.H.JP";
    QTest::newRow("no scheme separator") << "htp:/x" << "";
    QTest::newRow("empty") << "" << "";
}

void TestTHTTP::remoteHost()
{
    QFETCH(QString, address);
    QFETCH(QString, host);
    THTTP http;
    Recorder rec(http);
    http.getDoc(address);
    QCOMPARE(http.url(), address);
    QCOMPARE(http.remoteHost(), host);
    http.cancel();
    QCOMPARE(http.url(), address); // still the last transfer's address
    QCOMPARE(http.remoteHost(), host);
    // Cancelled before its first event: nothing is ever reported. A call
    // queued after it runs after the begin it cancelled would have run.
    bool later = false;
    QMetaObject::invokeMethod(&http, [&] { later = true; }, Qt::QueuedConnection);
    QTRY_VERIFY(later);
    QVERIFY(rec.events.isEmpty());
}

QTEST_GUILESS_MAIN(TestTHTTP)
#include "tst_thttp.moc"
