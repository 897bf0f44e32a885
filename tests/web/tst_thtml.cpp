#include "support/HttpTestServer.h"
#include "web/THTML.h"

#include <QApplication>
#include <QSignalSpy>
#include <QWebEngineView>
#include <QtTest>

using web::THTML;

class TestTHTML : public QObject {
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void requestedPageLoads();
    void linksFollowedByScriptAreReported_data();
    void linksFollowedByScriptAreReported();
    void framesAreNotRequestsOfTheView();
    void addressWithoutScheme();
    void onlyWebSchemesAreFollowed_data();
    void onlyWebSchemesAreFollowed();

private:
    HttpTestServer* m_server = nullptr;
    THTML* m_html = nullptr;
};

void TestTHTML::init()
{
    m_server = new HttpTestServer;
    m_server->setPage("/a.html",
                      "<html><head><title>A</title></head><body>"
                      "<a id=\"link\" href=\"b.html\">to b</a></body></html>");
    m_server->setPage("/b.html", "<html><head><title>B</title></head><body>page b</body></html>");
    m_server->setPage("/jump.html",
                      "<html><body><script>location.href = 'b.html';</script></body></html>");
    m_server->setPage("/framed.html",
                      "<html><body><iframe src=\"/inner.html\"></iframe></body></html>");
    m_server->setPage("/inner.html", "<html><body>inner</body></html>");
    m_html = new THTML;
    m_html->resize(640, 480);
    m_html->show();
}

void TestTHTML::cleanup()
{
    delete m_html;
    m_html = nullptr;
    delete m_server;
    m_server = nullptr;
}

void TestTHTML::requestedPageLoads()
{
    QSignalSpy requests(m_html, &THTML::doRequestDoc);
    QSignalSpy begins(m_html, &THTML::beginRetrieval);
    QSignalSpy ends(m_html, &THTML::endRetrieval);
    QSignalSpy loaded(m_html->view(), &QWebEngineView::loadFinished);

    const QString address = m_server->url("/a.html");
    m_html->requestDoc(address);
    QTRY_COMPARE_WITH_TIMEOUT(ends.size(), 1, 30000);
    QCOMPARE(loaded.size(), 1);
    QCOMPARE(loaded.first().first().toBool(), true);
    QCOMPARE(begins.size(), 1);
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.first().first().toString(), address);
    QCOMPARE(m_html->url(), address);
    QCOMPARE(m_html->view()->title(), QStringLiteral("A"));
    QVERIFY(m_server->requestedPaths().contains("/a.html"));
}

void TestTHTML::linksFollowedByScriptAreReported_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("script"); // run once the start page has loaded; empty for none
    QTest::newRow("link clicked") << "/a.html" << "document.getElementById('link').click();";
    QTest::newRow("page sets location") << "/jump.html" << "";
}

void TestTHTML::linksFollowedByScriptAreReported()
{
    QFETCH(QString, start);
    QFETCH(QString, script);
    QSignalSpy requests(m_html, &THTML::doRequestDoc);
    QSignalSpy begins(m_html, &THTML::beginRetrieval);
    QSignalSpy ends(m_html, &THTML::endRetrieval);

    m_html->requestDoc(m_server->url(start));
    QTRY_VERIFY_WITH_TIMEOUT(ends.size() >= 1, 30000);
    if (!script.isEmpty())
        m_html->view()->page()->runJavaScript(script);

    const QString target = m_server->url("/b.html");
    QTRY_VERIFY_WITH_TIMEOUT(m_html->url() == target && m_html->view()->title() == QLatin1String("B"), 30000);
    QStringList reported;
    for (const QList<QVariant>& args : requests)
        reported.append(args.first().toString());
    // The first request is the start page, the last the followed link: the
    // view was never stopped from following it.
    QCOMPARE(reported.first(), m_server->url(start));
    QCOMPARE(reported.last(), target);
    QVERIFY(m_server->requestedPaths().contains("/b.html"));
    // Every retrieval that began also ends, so the busy indication never sticks.
    QTRY_VERIFY_WITH_TIMEOUT(begins.size() >= 1 && begins.size() == ends.size(), 30000);
}

void TestTHTML::framesAreNotRequestsOfTheView()
{
    QSignalSpy requests(m_html, &THTML::doRequestDoc);
    QSignalSpy ends(m_html, &THTML::endRetrieval);
    m_html->requestDoc(m_server->url("/framed.html"));
    QTRY_COMPARE_WITH_TIMEOUT(ends.size(), 1, 30000);
    QTRY_VERIFY_WITH_TIMEOUT(m_server->requestedPaths().contains("/inner.html"), 30000);
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.first().first().toString(), m_server->url("/framed.html"));
}

void TestTHTML::addressWithoutScheme()
{
    QSignalSpy requests(m_html, &THTML::doRequestDoc);
    QSignalSpy ends(m_html, &THTML::endRetrieval);
    const QString bare = m_server->url("/b.html").mid(int(qstrlen("http://")));
    m_html->requestDoc(bare);
    QTRY_COMPARE_WITH_TIMEOUT(ends.size(), 1, 30000);
    QCOMPARE(requests.size(), 1);
    QCOMPARE(requests.first().first().toString(), m_server->url("/b.html"));
    QCOMPARE(m_html->view()->title(), QStringLiteral("B"));
}

void TestTHTML::onlyWebSchemesAreFollowed_data()
{
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("mainFrame");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("http") << "http://h/x" << true << true;
    QTest::newRow("https") << "https://h/x" << true << true;
    QTest::newRow("file") << "file:///etc/passwd" << true << false;
    QTest::newRow("ftp") << "ftp://h/x" << true << false;
    QTest::newRow("inline page") << "data:text/html,x" << true << false;
    QTest::newRow("file in a frame") << "file:///etc/passwd" << false << false;
    QTest::newRow("blank frame") << "about:blank" << false << true;
}

void TestTHTML::onlyWebSchemesAreFollowed()
{
    QFETCH(QString, url);
    QFETCH(bool, mainFrame);
    QFETCH(bool, allowed);
    QCOMPARE(web::THTMLPage::isAllowed(QUrl(url), mainFrame), allowed);
    if (!mainFrame || url != u"file:///etc/passwd")
        return;
    // A local file asked for is neither shown nor reported: the retrieval
    // ends at once, and nothing was requested.
    QSignalSpy requests(m_html, &THTML::doRequestDoc);
    QSignalSpy ends(m_html, &THTML::endRetrieval);
    m_html->requestDoc(QStringLiteral("file:///etc/hostname"));
    QTRY_COMPARE_WITH_TIMEOUT(ends.size(), 1, 30000);
    QCOMPARE(requests.size(), 0);
    QVERIFY(!m_html->url().startsWith(QLatin1String("file:")));
}

int main(int argc, char** argv)
{
    // The web engine shares its graphics contexts with the widgets.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestTHTML test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_thtml.moc"
