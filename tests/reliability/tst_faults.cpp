#include "app/FormMain.h"
#include "app/FormSetting.h"
#include "app/Windows.h"
#include "controls/TTimer.h"
#include "store/DataMd3.h"
#include "store/Table.h"
#include "support/AppFixture.h"
#include "support/HttpTestServer.h"
#include "support/PhotoData.h"
#include "web/THTTP.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

// A Web exploration against servers that misbehave, one way per row: every
// transfer ends in the stated link state, with every slot free, no partial
// file under a picture's name and no crash.
class TestFaults : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_fixture = std::make_unique<AppFixture>();
        m_fixture->start();
        m_save = std::make_unique<QTemporaryDir>();
        settings().EditDirectory->setText(m_save->path());
        // Only the transfers that never end are cut off (see scenarios()): a
        // slow machine must not cut off one that would have ended.
        settings().EditUchikiri->setText(QStringLiteral("3600"));
        settings().ScrollSpeed->setValue(6);
        form().ToolBtWWW->click();
    }
    void cleanup()
    {
        m_fixture.reset();
        if (!m_mounted.isEmpty())
            QProcess::execute(QStringLiteral("umount"), {m_mounted});
        m_mounted.clear();
        m_save.reset();
    }

    void scenarios_data()
    {
        QTest::addColumn<QString>("kind");   // "page" or "picture": what links to the route
        QTest::addColumn<QByteArray>("raw"); // the whole answer as bytes; empty: set up by name
        QTest::addColumn<QString>("setup");  // a named route of the test server
        QTest::addColumn<int>("mode");       // the link's final Mode
        QTest::addColumn<qint64>("saved");   // bytes of the picture kept; -1: no file

        const QByteArray ok = "HTTP/1.1 200 OK\r\nConnection: close\r\n";
        // A site that cannot be reached has no robots.txt to read either: it is left alone (除外).
        QTest::newRow("port closed") << "page" << QByteArray() << "refused" << 5 << qint64(-1);
        QTest::newRow("closed before any byte") << "page" << QByteArray() << "close" << 2 << qint64(-1);
        QTest::newRow("reset mid-body") << "picture" << QByteArray() << "reset" << 2 << qint64(-1);
        QTest::newRow("body longer than Content-Length")
            << "picture" << QByteArray(ok + "Content-Length: 10\r\n\r\n\xFF\xD8\xFF\xE0" "456789surplus bytes")
            << "" << 3 << qint64(10);
        QTest::newRow("body shorter than Content-Length")
            << "picture" << QByteArray(ok + "Content-Length: 100\r\n\r\nonly some") << "" << 2 << qint64(-1);
        QTest::newRow("chunked body cut short")
            << "picture" << QByteArray(ok + "Transfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n3\r\nab") << "" << 2
            << qint64(-1);
        QTest::newRow("headers then silence") << "picture" << QByteArray() << "stall" << 2 << qint64(-1);
        QTest::newRow("one byte every half second") << "picture" << QByteArray() << "drip" << 2 << qint64(-1);
        QTest::newRow("404") << "page" << QByteArray() << "404" << 2 << qint64(-1);
        QTest::newRow("500") << "page" << QByteArray() << "500" << 2 << qint64(-1);
        QTest::newRow("503 for a picture") << "picture" << QByteArray() << "503" << 2 << qint64(-1);
        QTest::newRow("redirect loop") << "page" << QByteArray() << "loop" << 2 << qint64(-1);
        QTest::newRow("redirect to file:") << "page" << QByteArray() << "tofile" << 2 << qint64(-1);
        QTest::newRow("Location with a fragment") << "picture" << QByteArray() << "fragment" << 3 << qint64(4);
        QTest::newRow("Content-Length of 2^63-1")
            << "picture" << QByteArray(ok + "Content-Length: 9223372036854775807\r\n\r\nxx") << "" << 2 << qint64(-1);
        QTest::newRow("endless body") << "picture" << QByteArray() << "endless" << 2 << qint64(-1);
        QTest::newRow("100-digit status line")
            << "page" << QByteArray("HTTP/1.1 " + QByteArray(100, '7') + " OK\r\nContent-Length: 2\r\n\r\nok") << ""
            << 2 << qint64(-1);
        QTest::newRow("thousands of header lines") << "page" << QByteArray() << "headers" << 3 << qint64(-1);
        // The bytes tell: a page is no picture, whatever its name.
        QTest::newRow("HTML served for a picture") << "picture" << QByteArray() << "html" << 2 << qint64(-1);
        QTest::newRow("read-only save directory") << "picture" << QByteArray() << "readonly" << 2 << qint64(-1);
        QTest::newRow("full disk") << "picture" << QByteArray() << "full" << 2 << qint64(-1);
    }

    void scenarios()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, raw);
        QFETCH(QString, setup);
        QFETCH(int, mode);
        QFETCH(qint64, saved);
        HttpTestServer a;
        const bool picture = kind == u"picture";
        const QString route = picture ? QStringLiteral("/fault.jpg") : QStringLiteral("/fault.html");
        QString target = a.url(route);
        if (!raw.isEmpty())
            a.setRaw(route, raw);
        else if (setup == u"refused")
            target = QStringLiteral("http://127.0.0.1:%1%2").arg(HttpTestServer::unusedPort()).arg(route);
        else if (setup == u"close")
            a.setCloseBeforeAnyByte(route);
        else if (setup == u"reset")
            a.setResetMidBody(route, 100000, 3000);
        else if (setup == u"stall")
            a.setStallAfterHeaders(route);
        else if (setup == u"drip")
            a.setDrip(route, 100000, 500);
        else if (setup == u"404" || setup == u"500" || setup == u"503")
            a.setStatus(route, setup.toInt(), "<p>error page</p>");
        else if (setup == u"loop")
            a.setRedirect(route, route);
        else if (setup == u"tofile")
            a.setRedirect(route, QStringLiteral("file:///etc/passwd"));
        else if (setup == u"fragment") {
            a.setRedirect(route, QStringLiteral("/real.jpg#part"));
            a.setBody(QStringLiteral("/real.jpg"), "\xFF\xD8\xFF\xE0", "image/jpeg");
        } else if (setup == u"endless")
            a.setLargeBody(route, 100LL * 1024 * 1024);
        else if (setup == u"headers") {
            QByteArray head = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n";
            for (int i = 0; i < 5000; ++i)
                head += "X-Filler-" + QByteArray::number(i) + ": yes\r\n";
            a.setRaw(route, head + "\r\nok");
        } else if (setup == u"html")
            a.setPage(route, "<html>not a picture</html>");
        else if (setup == u"readonly" || setup == u"full") {
            const QString where = m_save->path() + QStringLiteral("/mount");
            QVERIFY(QDir().mkpath(where));
            const QString options = setup == u"readonly" ? QStringLiteral("ro,size=64k") : QStringLiteral("size=64k");
            if (QProcess::execute(QStringLiteral("mount"), {"-t", "tmpfs", "-o", options, "tmpfs", where}) != 0)
                QSKIP("cannot mount a small file system here (mount needs root)");
            m_mounted = where;
            settings().EditDirectory->setText(where);
            a.setLargeBody(route, 300000);
        }
        a.setPage(QStringLiteral("/start.html"),
                  picture ? QStringLiteral("<img src=\"%1\">").arg(target) : QStringLiteral("<a href=\"%1\">x</a>").arg(target));

        form().ComboURL->setEditText(a.url(QStringLiteral("/start.html")));
        bool ended = false;
        connect(&form(), &app::TFormMain::statusChanged, this, [&](int panel, const QString& text) {
            ended = ended || (panel == 0 && text == QStringLiteral("探索終了"));
        });
        form().BtTansaku->click();
        if (setup == u"stall" || setup == u"drip") {
            QTRY_VERIFY_WITH_TIMEOUT(a.requestedPaths().contains(route), 60000);
            settings().EditUchikiri->setText(QStringLiteral("2"));
        }
        QTRY_VERIFY_WITH_TIMEOUT(ended, 60000);

        store::Table& t = picture ? *form().dm3().TaLinkImg3 : *form().dm3().TaLink3;
        t.refresh();
        int found = -1;
        for (t.first(); !t.eof(); t.next())
            if (t.fieldByName("URL").asString() == target)
                found = t.fieldByName("Mode").asInteger();
        QCOMPARE(found, mode);
        for (int n = 1; n <= 6; ++n) {
            QCOMPARE(form().TimerF[n]->intervalMs(), 0);
            QVERIFY(!form().HTTP[n]->busy());
        }
        if (picture) {
            const QString dir = settings().EditDirectory->text();
            const QStringList files = QDir(dir).entryList(QDir::Files | QDir::Hidden);
            if (saved < 0) {
                QCOMPARE(files, QStringList());
            } else {
                QCOMPARE(files, QStringList{QStringLiteral("0001.jpg")});
                QCOMPARE(QFileInfo(dir + QStringLiteral("/0001.jpg")).size(), saved);
            }
            // A failure says which file and why.
            if (mode == 2 && !m_mounted.isEmpty())
                QVERIFY(form().MemoError->toPlainText().contains(QStringLiteral("0001.jpg")));
        }
    }

private:
    app::TFormMain& form() { return m_fixture->form(); }
    app::TFormSetting& settings() { return *m_fixture->windows().FormSetting; }

    std::unique_ptr<AppFixture> m_fixture;
    std::unique_ptr<QTemporaryDir> m_save;
    QString m_mounted;
};

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
