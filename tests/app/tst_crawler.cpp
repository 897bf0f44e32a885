// Real crawls of a local test site: each port of 127.0.0.1 stands for a host.

#include "app/FormMain.h"
#include "app/FormSetting.h"
#include "app/Windows.h"
#include "controls/RadioGroup.h"
#include "controls/TTimer.h"
#include "picturedb/PictureDatabase.h"
#include "store/DataMd3.h"
#include "store/Table.h"
#include "support/AppFixture.h"
#include "support/HttpTestServer.h"
#include "support/ModalHelper.h"
#include "support/PhotoData.h"
#include "web/Crawler.h"
#include "web/ExplorationTables.h"
#include "web/THTTP.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using web::Crawler;

namespace {

struct LinkRow {
    int no;
    QString host;
    QString url;
    int link;
    int mode;
    QString comment;
};

QByteArray jpegBytes(int seed)
{
    QByteArray b("\xFF\xD8\xFF\xE0 fake picture ");
    for (int i = 0; i < 2000; ++i)
        b.append(char((i * 31 + seed) & 0xFF));
    return b;
}

} // namespace

class TestCrawler : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_fixture = std::make_unique<AppFixture>();
        m_fixture->start();
        m_save = std::make_unique<QTemporaryDir>();
        settings().EditDirectory->setText(m_save->path());
        settings().ScrollSpeed->setValue(2);
        // No transfer is cut off unless a test lowers the limit: a slow
        // machine must not end one early.
        settings().EditUchikiri->setText(QStringLiteral("3600"));
        // A page's links are recorded at one go unless a test cuts them by
        // count: which link a slot takes next must not depend on the clock.
        form().crawler().setRecordSliceMs(-1);
        form().ToolBtWWW->click();
        m_statuses.clear();
        connect(&form(), &app::TFormMain::statusChanged, this,
                [this](int panel, const QString& text) { m_statuses << QStringLiteral("%1:%2").arg(panel).arg(text); });
    }
    void cleanup()
    {
        m_fixture.reset();
        m_save.reset();
    }

    void completeExplorationStepByStep()
    {
        HttpTestServer a, b;
        a.setPage("/index.html", QStringLiteral("<html><a href=\"page2.html\">2</a> <a href=\"%1/other.html\">x</a>"
                                                " <img src=\"pics/a.jpg\"> <img src=b.gif> <a href=notes.txt>n</a></html>")
                                     .arg(b.baseUrl()));
        a.setPage("/page2.html", "<a href=index.html>back</a>");
        a.setBody("/pics/a.jpg", jpegBytes(1), "image/jpeg");
        b.setPage("/other.html", "<p>end</p>");
        const QString start = a.url("/index.html");
        const QString hostA = QStringLiteral("127.0.0.1:%1").arg(a.port());
        const QString hostB = QStringLiteral("127.0.0.1:%1").arg(b.port());

        runExploration(start);

        const QList<LinkRow> links = linkRows();
        QCOMPARE(links.size(), 3);
        QCOMPARE(links[0].no, 1);
        QCOMPARE(links[0].url, start);
        QCOMPARE(links[0].host, QString()); // the start address has no host
        QCOMPARE(links[0].link, 0);
        QCOMPARE(links[0].mode, 3);
        QCOMPARE(links[0].comment, QStringLiteral("終了"));
        QCOMPARE(links[1].url, a.url("/page2.html"));
        QCOMPARE(links[1].host, hostA);
        QCOMPARE(links[1].link, 0);
        QCOMPARE(links[1].mode, 3);
        QCOMPARE(links[2].url, b.url("/other.html"));
        QCOMPARE(links[2].host, hostB);
        QCOMPARE(links[2].link, 1);
        QCOMPARE(links[2].mode, 3);

        // Only the wanted picture (JPEG) was recorded, fetched into its numbered file.
        const QList<LinkRow> pictures = imageRows();
        QCOMPARE(pictures.size(), 1);
        QCOMPARE(pictures[0].url, a.url("/pics/a.jpg"));
        QCOMPARE(pictures[0].host, hostA);
        QCOMPARE(pictures[0].mode, 3);
        QFile saved(m_save->path() + "/0001.jpg");
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), jpegBytes(1));

        const QMap<QString, int> hosts = hostDistances();
        QCOMPARE(hosts.value(hostA, -1), 0);
        QCOMPARE(hosts.value(hostB, -1), 1);
        QCOMPARE(hosts.size(), 2);

        const QString normal = form().MemoLog->toPlainText();
        QVERIFY(normal.contains(QStringLiteral("Found : ") + start));
        QVERIFY(normal.contains(QStringLiteral("転送完了 (1)")));
        QVERIFY(normal.contains(QStringLiteral("Update Done %1 開始").arg(a.url("/pics/a.jpg"))));
        const QString errors = form().MemoError->toPlainText();
        QVERIFY(errors.contains(QStringLiteral("Timer Start.... (1)")));
        QVERIFY(errors.contains(QStringLiteral("Assign ")));
        QCOMPARE(form().stb(0), QStringLiteral("探索終了"));
        QVERIFY(m_statuses.contains(QStringLiteral("0:All Timer End")));
        QVERIFY(form().stb(5).endsWith(QStringLiteral(" 秒")));
        QCOMPARE(form().stb(1), QStringLiteral("リンク : 2件"));
        QCOMPARE(form().stopIconIndex(), 9);
        // The picture was fetched before the pages that waited with it.
        const QStringList order = a.requestedPaths();
        QVERIFY(order.indexOf("/pics/a.jpg") < order.indexOf("/page2.html"));
        QVERIFY(!a.requestedPaths().contains("/b.gif"));
        QVERIFY(allSlotsFree());
    }

    void externalLinksNotFollowed()
    {
        HttpTestServer a, b;
        a.setPage("/", QStringLiteral("<a href=\"%1/x.html\">x</a> <a href=\"sub/\">s</a>").arg(b.baseUrl()));
        a.setPage("/sub/", "<p>");
        b.setPage("/x.html", "<p>");
        settings().CheckGaibu->setChecked(false);
        runExploration(a.url("/"));
        const QList<LinkRow> links = linkRows();
        QCOMPARE(links.size(), 3);
        QCOMPARE(links[1].url, b.url("/x.html"));
        QCOMPARE(links[1].link, 1);
        QCOMPARE(links[1].mode, 0); // recorded, never fetched
        QCOMPARE(links[2].url, a.url("/sub/"));
        QCOMPARE(links[2].link, 0);
        QCOMPARE(links[2].mode, 3);
        QVERIFY(b.requestedPaths().isEmpty());
        QCOMPARE(hostDistances().value(QStringLiteral("127.0.0.1:%1").arg(b.port()), -1), 1);
    }

    void hostHopLimit()
    {
        HttpTestServer a, b, c;
        a.setPage("/a.html", QStringLiteral("<a href=\"%1/b.html\">").arg(b.baseUrl()));
        b.setPage("/b.html", QStringLiteral("<a href=\"%1/c.html\">").arg(c.baseUrl()));
        c.setPage("/c.html", "<p>");
        settings().EditLinkMax->setText("2");
        runExploration(a.url("/a.html"));
        const QList<LinkRow> links = linkRows();
        QCOMPARE(links.size(), 3);
        QCOMPARE(links[1].link, 1);
        QCOMPARE(links[1].mode, 3);
        QCOMPARE(links[2].link, 2);
        QCOMPARE(links[2].mode, 0);
        QVERIFY(c.requestedPaths().isEmpty());
    }

    void urlLimitCountsRecordedLinks()
    {
        HttpTestServer a;
        QString page;
        for (int i = 0; i < 5; ++i) {
            page += QStringLiteral("<a href=p%1.html>").arg(i);
            a.setPage(QStringLiteral("/p%1.html").arg(i), "<p>");
        }
        a.setPage("/index.html", page);
        settings().EditMaxURL->setText("2");
        runExploration(a.url("/index.html"));
        QCOMPARE(linkRows().size(), 6); // every link of the fetched page is recorded
        QCOMPARE(a.requestedPaths(), QStringList{"/index.html"});
        QVERIFY(m_statuses.contains(QStringLiteral("0:URL Max : 2")));
        QCOMPARE(form().run.pagesRecorded, 5);
    }

    void oneSlotTakesPicturesFirstAndSaysNoMoreTimer()
    {
        HttpTestServer a;
        a.setPage("/i.html", "<a href=p.html>p</a><img src=1.jpg><img src=2.jpg>");
        a.setPage("/p.html", "<p>");
        a.setBody("/1.jpg", jpegBytes(1), "image/jpeg");
        a.setBody("/2.jpg", jpegBytes(2), "image/jpeg");
        settings().ScrollSpeed->setValue(1);
        QStringList slotTexts;
        connect(&form(), &app::TFormMain::slotStatusChanged, this,
                [&](int panel, const QString& text) { slotTexts << QStringLiteral("%1:%2").arg(panel).arg(text); });
        runExploration(a.url("/i.html"));
        QCOMPARE(a.requestedPaths(), (QStringList{"/i.html", "/1.jpg", "/2.jpg", "/p.html"}));
        QVERIFY(slotTexts.contains("0:No More Timer"));
        for (const QString& t : slotTexts)
            QVERIFY2(t.startsWith("0:") || t.startsWith("1:"), qPrintable(t));
        QVERIFY(QFile::exists(m_save->path() + "/0002.jpg"));
    }

    void noPictureWithoutSaving()
    {
        HttpTestServer a;
        a.setPage("/i.html", "<img src=1.jpg><a href=p.html>p</a>");
        a.setPage("/p.html", "<p>");
        a.setBody("/1.jpg", jpegBytes(1), "image/jpeg");
        settings().CheckFileSave->setChecked(false);
        settings().CheckDBSave->setChecked(false);
        runExploration(a.url("/i.html"));
        QCOMPARE(a.requestedPaths(), (QStringList{"/i.html", "/p.html"}));
        QCOMPARE(imageRows().size(), 1);
        QCOMPARE(imageRows()[0].mode, 0);
    }

    void accumulatingRunStartsAfterTheLastNumber()
    {
        HttpTestServer a;
        a.setPage("/i.html", "<a href=p.html>p</a>");
        a.setPage("/p.html", "<a href=q.html>q</a>");
        a.setPage("/q.html", "<p>");
        settings().EditMaxURL->setText("1");
        runExploration(a.url("/i.html"));
        // i.html fetched; its link p.html recorded, then the limit stopped the run.
        QCOMPARE(a.requestedPaths(), QStringList{"/i.html"});
        QCOMPARE(form().run.lastPageLinkNo, 1);
        a.clearLog();
        settings().EditMaxURL->setText("100");
        runExploration(a.url("/i.html"));
        // The start record is not inserted again and keeps its mode; the run goes on from number 2.
        QCOMPARE(a.requestedPaths(), (QStringList{"/p.html", "/q.html"}));
        const QList<LinkRow> links = linkRows();
        QCOMPARE(links.size(), 3);
        QCOMPARE(links[0].mode, 3);
    }

    void stopDuringTransfers()
    {
        HttpTestServer a;
        a.setPage("/i.html", "<a href=s1.html>1</a><a href=s2.html>2</a>");
        a.setStallAfterHeaders("/s1.html");
        a.setStallAfterHeaders("/s2.html");
        settings().ScrollSpeed->setValue(3);
        startExploration(a.url("/i.html"));
        QTRY_VERIFY_WITH_TIMEOUT(a.requestedPaths().contains("/s2.html"), 10000);
        form().BtStop->click();
        QCOMPARE(form().stb(0), QStringLiteral("探索中止"));
        QCOMPARE(form().stopIconIndex(), 9);
        // The transfers in flight stop, and their links wait to be fetched again.
        const QList<LinkRow> links = linkRows();
        QCOMPARE(links[1].mode, 0);
        QCOMPARE(links[1].comment, QStringLiteral("----"));
        QCOMPARE(links[2].mode, 0);
        QVERIFY(allSlotsFree());
        QTRY_COMPARE(a.openConnections(), 0);
        QVERIFY(!m_statuses.contains(QStringLiteral("0:All Timer End")));

        // The next run fetches them again, although the cursor had passed them.
        a.setPage("/s1.html", "<p>one");
        a.setPage("/s2.html", "<p>two");
        a.clearLog();
        runExploration(a.url("/i.html"));
        QVERIFY(a.requestedPaths().contains("/s1.html"));
        QVERIFY(a.requestedPaths().contains("/s2.html"));
        QCOMPARE(linkRows()[2].mode, 3);
    }

    // A page of many links is recorded between turns of the event loop; it
    // counts as handled once all its links are there, and a stop in the
    // middle of them records the rest first.
    void aLongPageIsRecordedWhole_data()
    {
        QTest::addColumn<bool>("stop");
        QTest::newRow("to the end") << false;
        QTest::newRow("stopped during the page") << true;
    }
    void aLongPageIsRecordedWhole()
    {
        QFETCH(bool, stop);
        constexpr int kLinks = 10000;
        HttpTestServer a, b;
        QString page;
        for (int i = 0; i < kLinks; ++i)
            page += QStringLiteral("<a href=\"%1/%2.html\">x</a>\n").arg(b.baseUrl()).arg(i);
        a.setPage("/i.html", page);
        settings().CheckGaibu->setChecked(false); // recorded, never fetched
        // Slices of 100 links, however fast or slow the machine.
        form().crawler().setRecordSliceLinks(100);
        // A later turn of the event loop, when a user's click would come,
        // finds the page still being recorded.
        QObject context;
        bool asked = false;
        int recordedOnALaterTurn = -1;
        connect(&form(), &app::TFormMain::statusChanged, &context, [&](int panel, const QString&) {
            if (panel != 1 || asked || form().run.pagesRecorded < 100)
                return;
            asked = true;
            QMetaObject::invokeMethod(
                &context,
                [&] {
                    recordedOnALaterTurn = form().run.pagesRecorded;
                    if (stop)
                        form().BtStop->click();
                },
                Qt::QueuedConnection);
        });
        m_statuses.clear();
        startExploration(a.url("/i.html"));
        QTRY_VERIFY_WITH_TIMEOUT(m_statuses.contains(stop ? QStringLiteral("0:探索中止") : QStringLiteral("0:探索終了")),
                                 60000);
        QVERIFY2(recordedOnALaterTurn >= 100 && recordedOnALaterTurn < kLinks,
                 qPrintable(QStringLiteral("%1 links recorded on the later turn").arg(recordedOnALaterTurn)));
        const QList<LinkRow> links = linkRows();
        QCOMPARE(links.size(), 1 + kLinks);
        QCOMPARE(links[0].mode, 3);
        QCOMPARE(links[kLinks].no, 1 + kLinks);
        QCOMPARE(links[kLinks].url, QStringLiteral("%1/%2.html").arg(b.baseUrl()).arg(kLinks - 1));
        // The new host counts every link after the one that entered it.
        store::Table& hosts = *form().dm3().TaHost;
        hosts.setIndexName(QString());
        hosts.refresh();
        QVERIFY(hosts.findKey({QStringLiteral("127.0.0.1:%1").arg(b.port())}));
        QCOMPARE(hosts.fieldByName("URL").asInteger(), kLinks - 1);
        QVERIFY(b.requestedPaths().isEmpty());
    }

    // A killed run's started links are fetched again at the next start; a
    // picture already on disk is never replaced; an address no slot can fetch
    // does not stop a run of one slot; no save directory, no run.
    void recoveryAndRefusals()
    {
        HttpTestServer a;
        a.setPage("/i.html", "<a href=p.html>p</a>");
        a.setPage("/p.html", "<p>");
        a.setBody("/left.jpg", jpegBytes(3), "image/jpeg");
        web::ExplorationTables& t = form().tables();
        // Recorded before: a picture link a killed run had started, and a
        // page link of a scheme no slot fetches.
        t.WriteImageLinkRecord(a.baseUrl().section('/', 2), a.url("/left.jpg"), 1, web::WriteOp::Insert);
        t.WriteLinkRecord(QString(), QStringLiteral("ftp://127.0.0.1/x"), 0, 0, web::WriteOp::Insert);
        {
            QFile taken(m_save->path() + "/0001.jpg");
            QVERIFY(taken.open(QIODevice::WriteOnly));
            taken.write("an earlier picture");
            QFile partial(m_save->path() + "/.quillon-AbCdEf.part");
            QVERIFY(partial.open(QIODevice::WriteOnly));
        }
        settings().ScrollSpeed->setValue(1);
        runExploration(a.url("/i.html"));
        QCOMPARE(imageRows().value(0).mode, 3);
        QCOMPARE(fileBytes(m_save->path() + "/0001.jpg"), QByteArray("an earlier picture"));
        QCOMPARE(fileBytes(m_save->path() + "/0001_1.jpg"), jpegBytes(3));
        QVERIFY(!QFile::exists(m_save->path() + "/.quillon-AbCdEf.part"));
        QMap<QString, int> modes;
        for (const LinkRow& r : linkRows())
            modes.insert(r.url, r.mode);
        QCOMPARE(modes.value("ftp://127.0.0.1/x"), 2);
        QCOMPARE(modes.value(a.url("/p.html")), 3);
        QVERIFY(form().MemoError->toPlainText().contains(QStringLiteral("Irigal URL : ftp://127.0.0.1/x")));

        for (const QString& directory : {QString(), m_save->path() + "/missing"}) {
            settings().EditDirectory->setText(directory);
            ModalAnswer refused([](QWidget* m) { pressButton(m, QMessageBox::Ok); });
            form().BtTansaku->click();
            QVERIFY(refused.wasShown());
            QVERIFY2(refused.text().startsWith(QStringLiteral("画像の保存ディレクトリ")), qPrintable(refused.text()));
            QCOMPARE(form().TimerTansaku->intervalMs(), 0);
        }
    }

    // The store failing ends the run with its message; it never looks done.
    void aFailingStoreEndsTheRun_data()
    {
        QTest::addColumn<bool>("www");
        QTest::newRow("Web") << true;
        QTest::newRow("disk") << false;
    }
    void aFailingStoreEndsTheRun()
    {
        QFETCH(bool, www);
        HttpTestServer a;
        a.setPage("/i.html", "<a href=p.html>p</a>");
        QTemporaryDir tree;
        QVERIFY(writePicture(tree.filePath("a.jpg"), QSize(4, 4)));
        form().ApplyTarget(www);
        form().ComboURL->setEditText(a.url("/i.html"));
        form().ComboDirectory->setEditText(tree.path());
        form().dm3().store().exec(QStringLiteral("PRAGMA query_only = 1"));
        m_statuses.clear();
        ModalAnswer report([](QWidget* m) { pressButton(m, QMessageBox::Ok); }, 15000);
        form().BtTansaku->click();
        QTRY_VERIFY_WITH_TIMEOUT(report.wasShown(), 15000);
        form().dm3().store().exec(QStringLiteral("PRAGMA query_only = 0"));
        QVERIFY2(report.text().contains(QStringLiteral("readonly")), qPrintable(report.text()));
        QTRY_COMPARE(form().stopIconIndex(), 9);
        QVERIFY(m_statuses.contains(QStringLiteral("0:探索中止")));
        QVERIFY(m_statuses.filter(QStringLiteral("検索完了")).isEmpty());
        QVERIFY(allSlotsFree());
    }

    void timeLimitComputation_data()
    {
        QTest::addColumn<QString>("limit");
        QTest::addColumn<int>("ticks");
        QTest::addColumn<bool>("past");
        QTest::newRow("20 s: 69 ticks still runs") << "20" << 69 << false;
        QTest::newRow("20 s: cut on the 70th tick") << "20" << 70 << true;
        QTest::newRow("abc is 60 s: 203 ticks still runs") << "abc" << 203 << false;
        QTest::newRow("abc is 60 s: cut on the 204th") << "abc" << 204 << true;
        QTest::newRow("empty is 60 s") << "" << 204 << true;
        QTest::newRow("1 s: cut on the 7th tick") << "1" << 7 << true;
        QTest::newRow("1 s: 6 ticks still runs") << "1" << 6 << false;
    }
    void timeLimitComputation()
    {
        QFETCH(QString, limit);
        QFETCH(int, ticks);
        QFETCH(bool, past);
        QCOMPARE(Crawler::pastTimeLimit(ticks, limit), past);
    }

    void fileNamesAndTargetPaths()
    {
        QCOMPARE(Crawler::pictureFileName(7, "http://h/b.GIF"), QStringLiteral("0007.GIF"));
        QCOMPARE(Crawler::pictureFileName(12345, "http://h/x.jpg"), QStringLiteral("12345.jpg"));
        QCOMPARE(Crawler::pictureFileName(3, "http://h/dir.v2/noext"), QStringLiteral("0003.v2/noext"));
        QCOMPARE(Crawler::pictureFileName(3, "http://h:80"), QStringLiteral("0003"));
        QCOMPARE(Crawler::targetPath("/", "0007.jpg"), QStringLiteral("/0007.jpg"));
        QCOMPARE(Crawler::targetPath("/pics", "0007.jpg"), QStringLiteral("/pics/0007.jpg"));
        QCOMPARE(Crawler::targetPath("C:\\", "0007.jpg"), QStringLiteral("C:\\0007.jpg"));
        QVERIFY(Crawler::isWebAddress("https://h/"));
        QVERIFY(!Crawler::isWebAddress("HTTP://h/"));
        QVERIFY(!Crawler::isWebAddress("ftp://h/"));
    }

    void stallingServerIsCutOff()
    {
        HttpTestServer a;
        a.setPage("/i.html", "<a href=stall.html>s</a>");
        a.setStallAfterHeaders("/stall.html");
        m_statuses.clear();
        startExploration(a.url("/i.html"));
        QVERIFY(lowerTimeLimitOnceRequested(a, "/stall.html"));
        QTRY_VERIFY_WITH_TIMEOUT(m_statuses.contains(QStringLiteral("0:探索終了")), 30000);
        const QList<LinkRow> links = linkRows();
        QCOMPARE(links[1].mode, 2);
        QCOMPARE(links[1].comment, QStringLiteral("エラー"));
        QVERIFY(form().MemoError->toPlainText().contains(QStringLiteral("打ち切り(URL) : ") + a.url("/stall.html")));
        QVERIFY(allSlotsFree());
    }

    void drippingServersOnAllSixSlotsAreCutOff()
    {
        HttpTestServer a;
        // Twice as many as slots: the last slot to start still finds one
        // waiting after the first slots were cut off and took the next.
        constexpr int kPictures = 12;
        QString page;
        for (int i = 0; i < kPictures; ++i) {
            page += QStringLiteral("<img src=d%1.jpg>").arg(i);
            a.setDrip(QStringLiteral("/d%1.jpg").arg(i), 100000, 500);
        }
        a.setPage("/i.html", page);
        settings().ScrollSpeed->setValue(6);
        QSet<int> slotsUsed;
        connect(&form(), &app::TFormMain::slotStatusChanged, this, [&](int panel, const QString& text) {
            if (text == QStringLiteral("IMAGE"))
                slotsUsed.insert(panel);
        });
        m_statuses.clear();
        startExploration(a.url("/i.html"));
        QVERIFY(lowerTimeLimitOnceRequested(a, "/d0.jpg"));
        QTRY_VERIFY_WITH_TIMEOUT(m_statuses.contains(QStringLiteral("0:探索終了")), 60000);
        QCOMPARE(slotsUsed.size(), 6);
        const QList<LinkRow> pictures = imageRows();
        QCOMPARE(pictures.size(), kPictures);
        for (const LinkRow& p : pictures)
            QCOMPARE(p.mode, 2);
        QCOMPARE(form().MemoError->toPlainText().count(QStringLiteral("打ち切り(URL) : ")), kPictures);
        QVERIFY(allSlotsFree());
    }

    // robots.txt keeps our group's paths out, pages and pictures alike; a 503
    // with Retry-After is fetched again; every request names the crawler and
    // takes a compressed body.
    void politeCrawl()
    {
        HttpTestServer a;
        a.setPage("/robots.txt", "User-agent: *\nDisallow: /\n\nUser-agent: Quillon\nDisallow: /private/\n", "text/plain");
        a.setPage("/i.html", "<a href=private/p.html>p</a> <a href=busy.html>b</a>"
                             " <img src=private/x.jpg> <img src=ok.jpg>");
        a.setRawSequence("/busy.html", {"HTTP/1.1 503 Busy\r\nRetry-After: 1\r\nContent-Length: 0\r\nConnection: close\r\n\r\n",
                                        "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 4\r\n"
                                        "Connection: close\r\n\r\nbusy"});
        const QByteArray picture = jpegBytes(2);
        const QByteArray deflated = qCompress(picture).mid(4); // a zlib stream without Qt's length prefix
        a.setRaw("/ok.jpg", "HTTP/1.1 200 OK\r\nContent-Type: image/jpeg\r\nContent-Encoding: deflate\r\nContent-Length: "
                                + QByteArray::number(deflated.size()) + "\r\nConnection: close\r\n\r\n" + deflated);
        runExploration(a.url("/i.html"));

        QMap<QString, LinkRow> rows;
        for (const LinkRow& r : linkRows() + imageRows())
            rows.insert(r.url.section('/', 3), r);
        for (const char* kept : {"private/p.html", "private/x.jpg"}) {
            QCOMPARE(rows.value(kept).mode, 5);
            QCOMPARE(rows.value(kept).comment, QStringLiteral("除外"));
            QVERIFY(form().MemoError->toPlainText().contains(QStringLiteral("robots.txt により除外 ") + a.url("/") + kept));
        }
        QCOMPARE(rows.value("busy.html").mode, 3);
        QCOMPARE(rows.value("ok.jpg").mode, 3);
        QCOMPARE(a.requestedPaths().count("/busy.html"), 2);
        QVERIFY(!a.requestedPaths().contains("/private/p.html") && !a.requestedPaths().contains("/private/x.jpg"));
        QCOMPARE(a.robotsRequests(), 1);
        QFile saved(m_save->path() + "/0002.jpg");
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), picture);
        QVERIFY(a.lastRequestHeader("User-Agent").startsWith("Quillon/1.0 (+http"));
        QVERIFY(a.lastRequestHeader("Accept-Encoding").contains("gzip"));
    }

    // With 同一ホストの間隔 no two fetches from one site start closer than it,
    // while both sites' pages are all fetched.
    void hostInterval()
    {
        HttpTestServer a, b;
        QString links;
        for (int i = 1; i <= 3; ++i) {
            a.setPage(QStringLiteral("/%1.html").arg(i), "a");
            b.setPage(QStringLiteral("/%1.html").arg(i), "b");
            links += QStringLiteral("<a href=%1> <a href=%2>").arg(a.url(QStringLiteral("/%1.html").arg(i)),
                                                                 b.url(QStringLiteral("/%1.html").arg(i)));
        }
        a.setPage("/i.html", links);
        settings().ScrollSpeed->setValue(4);
        settings().EditHostInterval->setText(QStringLiteral("1000"));
        runExploration(a.url("/i.html"));

        QCOMPARE(a.requestCount(), 4);
        QCOMPARE(b.requestCount(), 3);
        for (const HttpTestServer* server : {&a, &b}) {
            const QList<qint64> times = server->requestTimes();
            // Measured where the requests are read, on the same busy event loop:
            // a wide margin, still far above the gaps of an unpaced crawl.
            for (qsizetype i = 1; i < times.size(); ++i)
                QVERIFY2(times[i] - times[i - 1] >= 600, qPrintable(QString::number(times[i] - times[i - 1])));
        }
    }

    void faultsOfARealWeb()
    {
        HttpTestServer a, redirector;
        const quint16 closed = HttpTestServer::unusedPort();
        a.setPage("/i.html", QStringLiteral("<a href=\"http://127.0.0.1:%1/refused.html\">r</a>"
                                            "<a href=closed.html>c</a><a href=reset.html>r</a>"
                                            "<a href=missing.html>m</a><a href=error.html>e</a>"
                                            "<a href=loop.html>l</a><a href=tofile.html>f</a>"
                                            "<img src=html.jpg><img src=big.jpg>")
                                 .arg(closed));
        a.setCloseBeforeAnyByte("/closed.html");
        a.setResetMidBody("/reset.html", 100000, 3000);
        a.setStatus("/error.html", 500, "<p>server error</p>");
        a.setRedirect("/loop.html", "/loop.html");
        a.setRedirect("/tofile.html", "file:///etc/passwd");
        a.setPage("/html.jpg", "<html>not a picture</html>");
        a.setLargeBody("/big.jpg", 50 * 1000 * 1000, "\xFF\xD8\xFF\xE0");
        settings().ScrollSpeed->setValue(6);
        runExploration(a.url("/i.html"), 120000);

        QMap<QString, int> modes;
        for (const LinkRow& r : linkRows())
            modes.insert(r.url.section('/', 3), r.mode);
        for (const LinkRow& r : imageRows())
            modes.insert(r.url.section('/', 3), r.mode);
        QCOMPARE(modes.value("i.html"), 3);
        QCOMPARE(modes.value("refused.html"), 5); // its robots.txt unreachable: left alone
        QCOMPARE(modes.value("closed.html"), 2);
        // A body cut short and an error status deliver no document.
        QCOMPARE(modes.value("reset.html"), 2);
        QCOMPARE(modes.value("missing.html"), 2);
        QCOMPARE(modes.value("error.html"), 2);
        QCOMPARE(modes.value("loop.html"), 2);
        QCOMPARE(modes.value("tofile.html"), 2);
        // A page served for a picture is no picture received, and leaves no file.
        QCOMPARE(modes.value("html.jpg"), 2);
        QVERIFY(!QFileInfo::exists(m_save->path() + "/0001.jpg"));
        QCOMPARE(modes.value("big.jpg"), 3);
        QCOMPARE(QFileInfo(m_save->path() + "/0002.jpg").size(), qint64(50 * 1000 * 1000));
        QCOMPARE(form().run.picturesReceived, 1);
        QCOMPARE(linkRows().size() + imageRows().size(), 10);
        QVERIFY(allSlotsFree());
    }

    void collectionRunOfHandledRowsEndsQuietly()
    {
        web::ExplorationTables& t = form().tables();
        t.WriteImageLinkRecord("h", "http://127.0.0.1:9/a.jpg", 3, web::WriteOp::Insert);
        t.MarkAllImageLinks();
        form().ComboURL->setEditText(QString());
        form().BtSelect->click();
        QTRY_COMPARE_WITH_TIMEOUT(form().stb(0), QStringLiteral("探索終了"), 10000);
        QVERIFY(m_statuses.contains(QStringLiteral("0:画像収集開始..")));
        QVERIFY(m_statuses.contains(QStringLiteral("0:All Timer End")));
        QCOMPARE(imageRows()[0].mode, 3);
        QVERIFY(form().run.crawl);
        QVERIFY(!form().run.collect);
    }

    void collectionNeedsMarksAndASaveTarget()
    {
        {
            ModalAnswer answer([](QWidget* m) { pressButton(m, QMessageBox::Ok); });
            form().BtSelect->click();
            QVERIFY(answer.wasShown());
            QCOMPARE(answer.text(), QStringLiteral("ダウンロードしたい画像のＵＲＬに印をつけてください"));
        }
        form().tables().WriteImageLinkRecord("h", "http://127.0.0.1:9/a.jpg", 0, web::WriteOp::Insert);
        form().tables().MarkAllImageLinks();
        settings().CheckFileSave->setChecked(false);
        {
            ModalAnswer answer([](QWidget* m) { pressButton(m, QMessageBox::Ok); });
            form().BtSelect->click();
            QVERIFY(answer.wasShown());
            QCOMPARE(answer.text(), QStringLiteral("画像を保存する設定（ファイル or ＤＢ）を指定してください"));
        }
        QVERIFY(settings().isVisible());
        QCOMPARE(settings().PageControl1->currentIndex(), int(app::TFormSetting::TabGazouIndex));
        QVERIFY(form().targetWWW());
    }

    void startChecks()
    {
        form().ComboURL->setEditText(QString());
        {
            ModalAnswer answer([](QWidget* m) { pressButton(m, QMessageBox::Ok); });
            form().BtTansaku->click();
            QVERIFY(answer.wasShown());
            QCOMPARE(answer.text(), QStringLiteral("対象ＵＲＬを指定してください"));
        }
        form().ComboURL->setEditText("http://127.0.0.1:9/");
        settings().CheckDBSave->setChecked(true);
        form().photo().state().DatabaseChosen = false;
        {
            ModalAnswer answer([](QWidget* m) { pressButton(m, QMessageBox::Ok); });
            form().BtTansaku->click();
            QVERIFY(answer.wasShown());
            QCOMPARE(answer.text(), QStringLiteral("DB名称を指定してください"));
        }
        form().ToolBtHard->click();
        form().ComboDirectory->setEditText(QString());
        {
            ModalAnswer answer([](QWidget* m) { pressButton(m, QMessageBox::Ok); });
            form().BtTansaku->click();
            QVERIFY(answer.wasShown());
            QCOMPARE(answer.text(), QStringLiteral("対象ディレクトリを指定してください"));
        }
        QCOMPARE(form().TimerTansaku->intervalMs(), 0);
    }

    void history()
    {
        app::TFormMain& f = form();
        f.historyRecording = true;
        for (const char* p : {"http://h/P1", "http://h/P2", "http://h/P3"})
            f.HTML1DoRequestDoc(QString::fromLatin1(p));
        f.HTML1DoRequestDoc("http://h/P2"); // back to P2
        QVERIFY(f.BtForward->isEnabled());
        f.HTML1DoRequestDoc("http://h/P4"); // a link followed from P2
        QCOMPARE(f.urlHistory.entries(), (QStringList{"http://h/P1", "http://h/P2", "http://h/P4"}));
        QCOMPARE(f.urlHistory.current(), 2);
        QVERIFY(!f.BtForward->isEnabled());
        QVERIFY(f.BtBack->isEnabled());
        QCOMPARE(f.ComboURL->itemText(0), QStringLiteral("http://h/P4"));
        QCOMPARE(f.ComboURL->currentText(), QStringLiteral("http://h/P4"));
        QCOMPARE(f.stb(4), QStringLiteral("http://h/P4"));
        // An address reported twice moves to the top of the drop-down list, once.
        f.HTML1DoRequestDoc("http://h/P1");
        QCOMPARE(f.ComboURL->itemText(0), QStringLiteral("http://h/P1"));
        QCOMPARE(f.ComboURL->findText("http://h/P1"), 0);
        QCOMPARE(f.ComboURL->count(), 4);
    }

    void proxyDisplayFetchesThroughSlotZero()
    {
        HttpTestServer proxy;
        proxy.setPage("/page.html", "<p>line one\nline two</p>");
        settings().CheckProxy->setChecked(true);
        settings().EditIPAddress->setText("127.0.0.1");
        settings().EditPort->setText(QString::number(proxy.port()));
        settings().Button6->click();
        form().ComboURL->setEditText("http://example.invalid/page.html");
        form().BtWeb->click();
        QTRY_COMPARE_WITH_TIMEOUT(form().stb(0), QStringLiteral("探索終了"), 10000);
        QCOMPARE(form().MemoSrc->toPlainText(), QStringLiteral("<p>line one\nline two</p>"));
        QCOMPARE(form().EditHttpURL->text(), QStringLiteral("http://example.invalid/page.html"));
        QCOMPARE(form().crawler().slot(0).host, QStringLiteral("example.invalid"));
        QVERIFY(proxy.requestTargets().value(0).startsWith("http://example.invalid/"));
    }
    // Slot 0's page fetch is cut off at the slots' time limit, and the page
    // source shows at most its first megabyte.
    void slotZeroFetchIsBounded()
    {
        HttpTestServer proxy;
        proxy.setStallAfterHeaders("/stall.html");
        proxy.setPage("/long.html", QString(3 * 1024 * 1024, QLatin1Char('w')));
        settings().CheckProxy->setChecked(true);
        settings().EditIPAddress->setText("127.0.0.1");
        settings().EditPort->setText(QString::number(proxy.port()));
        settings().Button6->click();
        settings().EditUchikiri->setText("1");
        form().ComboURL->setEditText("http://example.invalid/stall.html");
        form().BtWeb->click();
        QTRY_COMPARE_WITH_TIMEOUT(form().stb(0), QStringLiteral("探索終了"), 20000);
        QVERIFY(form().MemoError->toPlainText().contains(QStringLiteral("打ち切り(URL) : http://example.invalid/stall.html")));
        QVERIFY(!form().HTTP[0]->busy());

        settings().EditUchikiri->setText(QStringLiteral("3600"));
        form().ClearStatusAndLogs();
        form().ComboURL->setEditText("http://example.invalid/long.html");
        form().BtWeb->click();
        QTRY_COMPARE_WITH_TIMEOUT(form().stb(0), QStringLiteral("探索終了"), 20000);
        QCOMPARE(form().MemoSrc->toPlainText().size(), 1024 * 1024);
    }


private:
    app::TFormMain& form() { return m_fixture->form(); }
    app::TFormSetting& settings() { return *m_fixture->windows().FormSetting; }

    void startExploration(const QString& address)
    {
        form().ComboURL->setEditText(address);
        form().BtTansaku->click();
    }
    void runExploration(const QString& address, int timeoutMs = 60000)
    {
        m_statuses.clear();
        startExploration(address);
        QTRY_VERIFY_WITH_TIMEOUT(m_statuses.contains(QStringLiteral("0:探索終了")), timeoutMs);
    }
    // The time limit drops to 1 s once the server saw the request for path,
    // so that only the transfers from then on can be cut off.
    bool lowerTimeLimitOnceRequested(const HttpTestServer& server, const QString& path)
    {
        if (!QTest::qWaitFor([&] { return server.requestedPaths().contains(path); }, 30000))
            return false;
        settings().EditUchikiri->setText(QStringLiteral("1"));
        return true;
    }
    bool allSlotsFree()
    {
        for (int n = 1; n <= 6; ++n) {
            if (form().TimerF[n]->intervalMs() != 0 || form().HTTP[n]->transferState() != 0)
                return false;
        }
        return true;
    }
    QList<LinkRow> rows(store::Table& t, bool hasLink)
    {
        QList<LinkRow> out;
        t.setIndexName(QString());
        t.refresh();
        for (t.first(); !t.eof(); t.next()) {
            out << LinkRow{t.fieldByName("No").asInteger(), t.fieldByName("Host").asString(),
                           t.fieldByName("URL").asString(), hasLink ? t.fieldByName("Link").asInteger() : 0,
                           t.fieldByName("Mode").asInteger(), t.fieldByName("Comment").asString()};
        }
        return out;
    }
    QList<LinkRow> linkRows() { return rows(*form().dm3().TaLink3, true); }
    QList<LinkRow> imageRows() { return rows(*form().dm3().TaLinkImg3, false); }
    QMap<QString, int> hostDistances()
    {
        QMap<QString, int> out;
        store::Table& t = *form().dm3().TaHost;
        t.refresh();
        for (t.first(); !t.eof(); t.next())
            out.insert(t.fieldByName("Host").asString(), t.fieldByName("Link").asInteger());
        return out;
    }

    std::unique_ptr<AppFixture> m_fixture;
    std::unique_ptr<QTemporaryDir> m_save;
    QStringList m_statuses;
};

QTEST_MAIN(TestCrawler)
#include "tst_crawler.moc"
