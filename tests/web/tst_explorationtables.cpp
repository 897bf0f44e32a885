#include "store/DataMd3.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/TableOps.h"
#include "support/TempPhoto.h"
#include "web/ExplorationTables.h"
#include "web/RunLog.h"

#include <QTest>

using web::ExplorationTables;
using web::WriteOp;

namespace {

class RecordingLog : public web::RunLog {
public:
    void LogNormal(const QString& line) override { normal << line; }
    void LogError(const QString& line) override { error << line; }
    QStringList normal;
    QStringList error;
};

} // namespace

class TestExplorationTables : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_photo = std::make_unique<TempPhoto>();
        m_store = std::make_unique<store::Store>(m_photo->dir());
        m_dm3 = std::make_unique<store::DataMd3>(*m_store);
        m_log = std::make_unique<RecordingLog>();
        m_tables = std::make_unique<ExplorationTables>(*m_dm3, *m_log);
    }
    void cleanup()
    {
        m_tables.reset();
        m_dm3.reset();
        m_store.reset();
        m_photo.reset();
    }

    void insertingAnAddressTwiceKeepsOneRecord()
    {
        QVERIFY(m_tables->WriteLinkRecord(QString(), QStringLiteral("http://h/a.html"), 0, 0, WriteOp::Insert));
        QVERIFY(!m_tables->WriteLinkRecord(QStringLiteral("h"), QStringLiteral("http://h/a.html"), 1, 0, WriteOp::Insert));
        // The same address written another way is the same key.
        QVERIFY(!m_tables->WriteLinkRecord(QStringLiteral("h"), QStringLiteral(" http://h:80/./a.html\t"), 1, 0,
                                           WriteOp::Insert));
        QCOMPARE(store::CountRecords(*m_dm3.get()->TaLink), 1);
        // The failed inserts left the writer usable.
        QVERIFY(m_tables->WriteLinkRecord(QStringLiteral("h"), QStringLiteral("http://h/b.html"), 1, 0, WriteOp::Insert));
        QCOMPARE(store::CountRecords(*m_dm3->TaLink), 2);
        QVERIFY(!m_tables->WriteLinkRecord(QStringLiteral("h"), QString(), 1, 0, WriteOp::Insert));
    }

    // The next link is the first at Mode 0 in No order; rows are written
    // in No order as "mode[distance][m]" (m: marked picture link).
    void nextLinkNumber_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<int>("from");
        QTest::addColumn<bool>("followExternal");
        QTest::addColumn<int>("linkMax");
        QTest::addColumn<int>("nextPage");     // 0: none
        QTest::addColumn<int>("nextPicture");
        QTest::addColumn<int>("nextMarked");
        // A link limit of 2: distances 0 and 1 are followed when outside links are.
        QTest::newRow("empty") << QStringList{} << 1 << true << 2 << 0 << 0 << 0;
        QTest::newRow("handled rows before") << QStringList{"3", "2", "4", "0", "0m"} << 1 << true << 2 << 4 << 4 << 5;
        QTest::newRow("all handled") << QStringList{"3", "1", "2"} << 1 << true << 2 << 0 << 0 << 0;
        QTest::newRow("page cursor past a free row") << QStringList{"0", "3", "0"} << 2 << true << 2 << 3 << 1 << 0;
        QTest::newRow("distance beyond the limit") << QStringList{"0:2", "0:1", "0:0"} << 1 << true << 2 << 2 << 1 << 0;
        QTest::newRow("outside links not followed") << QStringList{"0:1", "0:0m"} << 1 << false << 2 << 2 << 1 << 2;
        QTest::newRow("a far distance within a high limit")
            << QStringList{"0:40", "0:17", "0:3"} << 1 << true << 20 << 2 << 1 << 0;
    }
    void nextLinkNumber()
    {
        QFETCH(QStringList, rows);
        QFETCH(int, from);
        QFETCH(bool, followExternal);
        for (int i = 0; i < rows.size(); ++i) {
            const QString r = rows[i];
            const qint32 mode = r.left(1).toInt();
            const qint32 distance = r.contains(QLatin1Char(':'))
                ? r.section(QLatin1Char(':'), 1).remove(QLatin1Char('m')).toInt()
                : 0;
            const QString page = QStringLiteral("http://h/%1.html").arg(i);
            const QString picture = QStringLiteral("http://h/%1.jpg").arg(i);
            QVERIFY(m_tables->WriteLinkRecord(QStringLiteral("h"), page, distance, 0, WriteOp::Insert));
            QVERIFY(m_tables->WriteImageLinkRecord(QStringLiteral("h"), picture, 0, WriteOp::Insert));
            if (mode != 0) {
                QVERIFY(m_tables->WriteLinkRecord(QStringLiteral("h"), page, distance, mode, WriteOp::Update));
                QVERIFY(m_tables->WriteImageLinkRecord(QStringLiteral("h"), picture, mode, WriteOp::Update));
            }
            if (r.endsWith(QLatin1Char('m')))
                m_store->exec(QStringLiteral("UPDATE \"_LinkIMG.db\" SET \"印\" = ? WHERE \"URL\" = ?"),
                              {QStringLiteral("〆"), picture});
        }
        QFETCH(int, linkMax);
        const auto number = [](const QVariant& v) { return v.isNull() ? 0 : v.toInt(); };
        QTEST(number(m_tables->NextPageLinkNumber(from, followExternal, linkMax)), "nextPage");
        QTEST(number(m_tables->NextImageLinkNumber(false)), "nextPicture");
        QTEST(number(m_tables->NextImageLinkNumber(true)), "nextMarked");
    }

    // Only a duplicate key means "already there"; the store failing is raised.
    void aFailingStoreIsNotADuplicate()
    {
        QVERIFY(m_tables->WriteLinkRecord("h", QStringLiteral("http://h/a.html"), 0, 0, WriteOp::Insert));
        m_store->exec(QStringLiteral("PRAGMA query_only = 1"));
        QVERIFY_THROWS_EXCEPTION(store::StoreError,
                                 m_tables->WriteLinkRecord("h", QStringLiteral("http://h/b.html"), 0, 0, WriteOp::Insert));
        QVERIFY_THROWS_EXCEPTION(store::StoreError,
                                 m_tables->WriteLinkRecord("h", QStringLiteral("http://h/a.html"), 0, 3, WriteOp::Update));
        m_store->exec(QStringLiteral("PRAGMA query_only = 0"));
        QVERIFY(!m_tables->WriteLinkRecord("h", QStringLiteral("http://h/a.html"), 0, 0, WriteOp::Insert));
        QVERIFY(m_tables->WriteLinkRecord("h", QStringLiteral("http://h/b.html"), 0, 0, WriteOp::Insert));
    }

    // Links a killed run left started go back to waiting, the lowest page link told.
    void startedLinksAreReturned()
    {
        for (const char* a : {"http://h/1", "http://h/2", "http://h/3"})
            QVERIFY(m_tables->WriteLinkRecord("h", QString::fromLatin1(a), 0, 0, WriteOp::Insert));
        QVERIFY(m_tables->WriteLinkRecord("h", QStringLiteral("http://h/2"), 0, 1, WriteOp::Update));
        QVERIFY(m_tables->WriteLinkRecord("h", QStringLiteral("http://h/3"), 0, 1, WriteOp::Update));
        QVERIFY(m_tables->WriteImageLinkRecord("h", QStringLiteral("http://h/p.jpg"), 1, WriteOp::Insert));
        QCOMPARE(m_tables->ReturnStartedLinks(), 2);
        for (store::Table* t : {m_dm3->TaLink3, m_dm3->TaLinkImg3}) {
            t->refresh();
            for (t->first(); !t->eof(); t->next()) {
                QCOMPARE(t->fieldByName("Mode").asInteger(), 0);
                QCOMPARE(t->fieldByName("Comment").asString(), QStringLiteral("----"));
            }
        }
        QCOMPARE(m_tables->ReturnStartedLinks(), 0);
    }

    void recordsCarryTheirFields()
    {
        const QDate dayBefore = QDate::currentDate();
        QVERIFY(m_tables->WriteLinkRecord(QStringLiteral("h:8080"), QStringLiteral("http://h:8080/x/../y.html "), 2, 0,
                                          WriteOp::Insert));
        store::Table& t = *m_dm3->TaLink;
        t.refresh();
        t.first();
        QCOMPARE(t.fieldByName("No").asInteger(), 1);
        QCOMPARE(t.fieldByName("Host").asString(), QStringLiteral("h:8080"));
        QCOMPARE(t.fieldByName("URL").asString(), QStringLiteral("http://h:8080/y.html"));
        QCOMPARE(t.fieldByName("Link").asInteger(), 2);
        QCOMPARE(t.fieldByName("Mode").asInteger(), 0);
        QCOMPARE(t.fieldByName("Comment").asString(), QStringLiteral("----"));
        // The day it was written, which may have been just before midnight.
        const QDate written = t.fieldByName("Date").asDateTime().date();
        QVERIFY2(written == dayBefore || written == QDate::currentDate(), qPrintable(written.toString(Qt::ISODate)));

        QVERIFY(m_tables->WriteLinkRecord(QString(), QStringLiteral("http://h:8080/y.html"), 2, 3, WriteOp::Update));
        t.refresh();
        t.first();
        QCOMPARE(t.fieldByName("Mode").asInteger(), 3);
        QCOMPARE(t.fieldByName("Comment").asString(), QStringLiteral("終了"));
        // A page link that is not there: no record, no log line.
        QVERIFY(!m_tables->WriteLinkRecord(QString(), QStringLiteral("http://h/none.html"), 0, 2, WriteOp::Update));
        QVERIFY(m_log->error.isEmpty());
    }

    void numberingStartsAtOneAndAgainAfterEmptying()
    {
        for (int i = 0; i < 3; ++i)
            QVERIFY(m_tables->WriteLinkRecord(QString(), QStringLiteral("http://h/%1.html").arg(i), 0, 0, WriteOp::Insert));
        QCOMPARE(store::NextSerial(*m_dm3->TaLink3), 4);
        store::EmptyTableNow(*m_dm3->TaLink);
        QCOMPARE(store::NextSerial(*m_dm3->TaLink3), 1);
        QVERIFY(m_tables->WriteLinkRecord(QString(), QStringLiteral("http://h/again.html"), 0, 0, WriteOp::Insert));
        store::Table& t = *m_dm3->TaLink;
        t.refresh();
        t.first();
        QCOMPARE(t.fieldByName("No").asInteger(), 1);
        QCOMPARE(t.recordCount(), 1);
    }

    void pictureLinkUpdatesAreLogged()
    {
        QVERIFY(m_tables->WriteImageLinkRecord(QStringLiteral("h"), QStringLiteral("http://h/a.jpg"), 0, WriteOp::Insert));
        QVERIFY(m_tables->WriteImageLinkRecord(QStringLiteral("h"), QStringLiteral("http://h/a.jpg"), 1, WriteOp::Update));
        QCOMPARE(m_log->normal, QStringList{QStringLiteral("Update Done http://h/a.jpg 開始")});
        QVERIFY(!m_tables->WriteImageLinkRecord(QStringLiteral("h"), QStringLiteral("http://h/b.jpg"), 3, WriteOp::Update));
        QCOMPARE(m_log->error, QStringList{QStringLiteral("Error http://h/b.jpg")});
        store::Table& t = *m_dm3->TaLinkImg;
        t.refresh();
        t.first();
        QCOMPARE(t.fieldByName(QStringLiteral("印")).asString(), QString());
        QCOMPARE(t.fieldByName("Comment").asString(), QStringLiteral("開始"));
    }

    void marksToggleResetAndClear()
    {
        for (int i = 1; i <= 3; ++i)
            m_tables->WriteImageLinkRecord(QStringLiteral("h"), QStringLiteral("http://h/%1.jpg").arg(i), 0, WriteOp::Insert);
        m_tables->WriteImageLinkRecord(QStringLiteral("h"), QStringLiteral("http://h/2.jpg"), 3, WriteOp::Update);
        store::Table& grid = *m_dm3->TaLinkImg;
        grid.refresh();
        grid.first();
        store::ToggleMark(grid);
        QCOMPARE(grid.fieldByName(QStringLiteral("印")).asString(), QStringLiteral("〆"));
        QCOMPARE(m_tables->CountMarkedImageLinks(), 1);
        store::ToggleMark(grid);
        QCOMPARE(grid.fieldByName(QStringLiteral("印")).asString(), QString());
        QCOMPARE(m_tables->CountMarkedImageLinks(), 0);

        m_tables->MarkAllImageLinks();
        QCOMPARE(m_tables->CountMarkedImageLinks(), 3);
        // Reset clears the outcome only; the marks stay.
        m_tables->ResetImageModes();
        QCOMPARE(m_tables->CountMarkedImageLinks(), 3);
        QCOMPARE(modes(), (QList<int>{0, 0, 0}));
        m_tables->WriteImageLinkRecord(QStringLiteral("h"), QStringLiteral("http://h/3.jpg"), 2, WriteOp::Update);
        // Clearing takes both the marks and the outcome.
        m_tables->ClearImageMarksAndModes();
        QCOMPARE(m_tables->CountMarkedImageLinks(), 0);
        QCOMPARE(modes(), (QList<int>{0, 0, 0}));
    }

    void deleteImageLinkByAddress()
    {
        m_tables->WriteImageLinkRecord(QStringLiteral("h"), QStringLiteral("http://h/1.jpg"), 0, WriteOp::Insert);
        m_tables->WriteImageLinkRecord(QStringLiteral("h"), QStringLiteral("http://h/2.jpg"), 0, WriteOp::Insert);
        QVERIFY(m_tables->DeleteImageLinkByURL(QStringLiteral("http://h/1.jpg")));
        QVERIFY(!m_tables->DeleteImageLinkByURL(QStringLiteral("http://h/1.jpg")));
        QCOMPARE(store::CountRecords(*m_dm3->TaLinkImg), 1);
        QCOMPARE(m_dm3->TaLinkImg->indexName(), QStringLiteral("KeyURL"));
    }

    // A new host gets the distance of the page plus one and no link count; a
    // known host keeps its distance and counts one more link. Inside a
    // recording the same holds once it is committed, and nothing of it when
    // it is dropped; numbering goes on without gaps past a duplicate.
    void hostsAndNumbers_data()
    {
        QTest::addColumn<int>("recording"); // 0 none, 1 committed, 2 dropped
        QTest::newRow("one write at a time") << 0;
        QTest::newRow("a recording committed") << 1;
        QTest::newRow("a recording dropped") << 2;
    }
    void hostsAndNumbers()
    {
        QFETCH(int, recording);
        struct Found {
            const char* host;
            const char* address;
            qint32 pageDistance;
            qint32 distance; // the host's, as entered
        };
        const Found found[] = {{"far", "http://far/1", 1, 2},
                               {"far", "http://far/2", 0, 2},
                               {"near", "http://near/1", 0, 1},
                               {"far", "http://far/1", 0, 2}, // a duplicate address
                               {"far", "http://far/3", 0, 2}};
        {
            std::unique_ptr<ExplorationTables::Recording> scope;
            if (recording != 0)
                scope = std::make_unique<ExplorationTables::Recording>(*m_tables);
            for (const Found& f : found) {
                qint32 d = f.pageDistance;
                m_tables->EnterHost(QString::fromLatin1(f.host), d);
                QCOMPARE(d, f.distance);
                m_tables->WriteLinkRecord(QString::fromLatin1(f.host), QString::fromLatin1(f.address), d, 0,
                                          WriteOp::Insert);
            }
            if (recording == 1)
                scope->commit();
        }
        m_tables->WriteLinkRecord(QStringLiteral("near"), QStringLiteral("http://near/after"), 1, 0, WriteOp::Insert);

        QMap<QString, QPair<int, int>> hosts; // distance, link count
        store::Table& h = *m_dm3->TaHost;
        h.refresh();
        for (h.first(); !h.eof(); h.next()) {
            hosts.insert(h.fieldByName("Host").asString(),
                         {h.fieldByName("Link").asInteger(), h.fieldByName("URL").asInteger()});
            QCOMPARE(h.fieldByName("Level").asInteger(), 0);
        }
        QStringList numbered;
        store::Table& links = *m_dm3->TaLink3;
        links.refresh();
        for (links.first(); !links.eof(); links.next())
            numbered << QStringLiteral("%1 %2")
                            .arg(links.fieldByName("No").asInteger())
                            .arg(links.fieldByName("URL").asString());
        if (recording == 2) {
            QVERIFY(hosts.isEmpty());
            QCOMPARE(numbered, QStringList{"1 http://near/after"});
        } else {
            QCOMPARE(hosts, (QMap<QString, QPair<int, int>>{{"far", {2, 3}}, {"near", {1, 0}}}));
            QCOMPARE(numbered,
                     (QStringList{"1 http://far/1", "2 http://far/2", "3 http://near/1", "4 http://far/3",
                                   "5 http://near/after"}));
        }
    }

    void startHost()
    {
        store::Table& hosts = *m_dm3->TaHost;
        // Empty table: the start host is entered at distance 0.
        m_tables->SetStartHost(QStringLiteral("a"));
        QCOMPARE(distances(), (QMap<QString, int>{{"a", 0}}));
        // Another start host overwrites the previous one.
        qint32 d = 0;
        m_tables->EnterHost(QStringLiteral("b"), d);
        m_tables->SetStartHost(QStringLiteral("c"));
        QCOMPARE(distances(), (QMap<QString, int>{{"b", 1}, {"c", 0}}));
        // The same start host again stays the one distance-0 host.
        m_tables->SetStartHost(QStringLiteral("c"));
        QCOMPARE(distances(), (QMap<QString, int>{{"b", 1}, {"c", 0}}));
        // A host known at distance 1 becomes the start host instead of failing.
        m_tables->SetStartHost(QStringLiteral("b"));
        QCOMPARE(distances(), (QMap<QString, int>{{"b", 0}}));
        hosts.setIndexName(QString());
        QVERIFY(hosts.findKey({QStringLiteral("b")}));
        QCOMPARE(hosts.fieldByName("URL").asInteger(), 0);
    }

private:
    QList<int> modes()
    {
        QList<int> out;
        store::Table& t = *m_dm3->TaLinkImg3;
        t.refresh();
        for (t.first(); !t.eof(); t.next())
            out << t.fieldByName("Mode").asInteger();
        return out;
    }
    QMap<QString, int> distances()
    {
        QMap<QString, int> out;
        store::Table& t = *m_dm3->TaHost;
        t.refresh();
        for (t.first(); !t.eof(); t.next())
            out.insert(t.fieldByName("Host").asString(), t.fieldByName("Link").asInteger());
        return out;
    }

    std::unique_ptr<TempPhoto> m_photo;
    std::unique_ptr<store::Store> m_store;
    std::unique_ptr<store::DataMd3> m_dm3;
    std::unique_ptr<RecordingLog> m_log;
    std::unique_ptr<ExplorationTables> m_tables;
};

QTEST_MAIN(TestExplorationTables)
#include "tst_explorationtables.moc"
