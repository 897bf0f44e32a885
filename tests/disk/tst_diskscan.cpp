#include "disk/DiskScan.h"
#include "store/DataMd3.h"
#include "store/Store.h"
#include "store/Table.h"
#include "support/TempPhoto.h"
#include "support/TestClocks.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <functional>
#include <sys/stat.h>

using disk::DiskScan;
using disk::ScanSettings;

namespace {

// Records what the scan tells the window and can press "中止" after a number
// of event-loop turns.
class TestHost : public disk::ScanHost {
public:
    bool stopRequested() override { return stopAfterYields >= 0 && yields >= stopAfterYields; }
    void setStatus(int panel, const QString& text) override { statuses << qMakePair(panel, text); }
    void yield() override
    {
        ++yields;
        if (onYield)
            onYield();
    }
    void logError(const QString& line) override { errors << line; }
    void applyDisplayOrder() override { ++orderApplied; }
    void showFileList() override { ++fileListShown; }

    QStringList texts(int panel) const
    {
        QStringList out;
        for (const auto& s : statuses)
            if (s.first == panel)
                out << s.second;
        return out;
    }

    int stopAfterYields = -1;
    int yields = 0;
    int orderApplied = 0;
    int fileListShown = 0;
    QList<QPair<int, QString>> statuses;
    QStringList errors;
    std::function<void()> onYield;
};

ScanSettings types(bool jpeg, bool gif, bool bmp)
{
    ScanSettings s;
    s.jpeg = jpeg;
    s.gif = gif;
    s.bmp = bmp;
    return s;
}

} // namespace

class TestDiskScan : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_photo = std::make_unique<TempPhoto>();
        QVERIFY(m_photo->isValid());
        m_store = std::make_unique<store::Store>(m_photo->dir());
        m_dm3 = std::make_unique<store::DataMd3>(*m_store);
        m_host = std::make_unique<TestHost>();
        m_scan = std::make_unique<DiskScan>(*m_dm3->TaList, *m_host);
        useTestClocks(*m_scan);
        m_tree = std::make_unique<QTemporaryDir>();
        QVERIFY(m_tree->isValid());
    }
    void cleanup()
    {
        m_scan.reset();
        m_host.reset();
        m_dm3.reset();
        m_store.reset();
        m_photo.reset();
        m_tree.reset();
    }

    void scanRootOfTheDirectoryBox()
    {
        QCOMPARE(DiskScan::scanRoot("/"), QStringLiteral("/"));
        // Short or not, a directory gets its separator.
        QCOMPARE(DiskScan::scanRoot("/ab"), QStringLiteral("/ab/"));
    }

    void rootWithOrWithoutTrailingSlash_data()
    {
        QTest::addColumn<QString>("text"); // under the tree, which is the working directory
        QTest::newRow("without") << "@/pics";
        QTest::newRow("with") << "@/pics/";
        QTest::newRow("relative") << "pics";
    }
    void rootWithOrWithoutTrailingSlash()
    {
        QFETCH(QString, text);
        file("pics/a.jpg");
        file("pics/deep/b.jpg");
        text.replace("@", m_tree->path());
        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_tree->path()));
        const bool ran = m_scan->RunDiskScan(text, ScanSettings());
        QVERIFY(QDir::setCurrent(before));
        QVERIFY(ran);
        // Full paths with one separator, whatever the working directory.
        const QString pics = m_tree->path() + "/pics/";
        QCOMPARE(sorted(committedPaths()), sorted({pics + "a.jpg", pics + "deep/b.jpg"}));
    }

    void listsTheWantedTypesByExtension_data()
    {
        QTest::addColumn<bool>("jpeg");
        QTest::addColumn<bool>("gif");
        QTest::addColumn<bool>("bmp");
        QTest::addColumn<QStringList>("expected");
        const QStringList jpgs{"a.jpg", "b.JPG", ".hidden.jpg", "two.dots.Jpg", "写真.Jpg"};
        const QStringList gifs{"e.gif", "f.GIF"};
        const QStringList bmps{"g.bmp"};
        QTest::newRow("jpeg only") << true << false << false << jpgs;
        QTest::newRow("gif only") << false << true << false << gifs;
        QTest::newRow("bmp only") << false << false << true << bmps;
        QTest::newRow("all three") << true << true << true << jpgs + gifs + bmps;
        QTest::newRow("none") << false << false << false << QStringList();
    }
    void listsTheWantedTypesByExtension()
    {
        QFETCH(bool, jpeg);
        QFETCH(bool, gif);
        QFETCH(bool, bmp);
        QFETCH(QStringList, expected);
        for (const char* name : {"a.jpg", "b.JPG", ".hidden.jpg", "two.dots.Jpg", "c.jpeg", "d.jpe", "e.gif", "f.GIF",
                                 "g.bmp", "h.png", "jpg", "x.jpg.txt", "trailing.", "gif.bmp.gif.jpe", "写真.Jpg",
                                 // Lower-cased, full-width letters stay full-width and
                                 // the dotted capital I becomes two characters.
                                 "w.ＪＰＧ", "y.GİF"})
            file(name);

        QVERIFY(m_scan->RunDiskScan(m_tree->path(), types(jpeg, gif, bmp)));

        QStringList want;
        for (const QString& n : expected)
            want << m_tree->path() + "/" + n;
        QCOMPARE(sorted(insertedPaths()), sorted(want));
        QCOMPARE(m_scan->pagesRecorded(), expected.size());
        QCOMPARE(m_scan->filesListed(), expected.size());
        const QString last = m_host->texts(0).value(m_host->texts(0).size() - 1);
        if (expected.isEmpty()) {
            QCOMPARE(last, QStringLiteral("検索該当なし"));
            QCOMPARE(m_host->fileListShown, 0);
        } else {
            QCOMPARE(last, QStringLiteral("検索完了 : %1 件").arg(expected.size()));
            QCOMPARE(m_host->fileListShown, 1);
        }
        QVERIFY(m_host->texts(3).isEmpty());
    }

    void rowsCarryTheFileFacts()
    {
        const QString path = file("sub/photo.jpg", QByteArray(1234, 'x'));
        const QDateTime modified(QDate(2021, 3, 4), QTime(5, 6, 8));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(modified, QFileDevice::FileModificationTime));
        }
        // Read-only for everyone: measured by reading, so listed like any other.
        const QString readOnly = file("ro.jpg", QByteArray(77, 'r'));
        QVERIFY(::chmod(QFile::encodeName(readOnly).constData(), 0444) == 0);

        const QDate dayBefore = QDate::currentDate();
        QVERIFY(m_scan->RunDiskScan(m_tree->path(), ScanSettings()));

        store::Table& t = *m_dm3->TaList2;
        t.open();
        t.refresh();
        QVERIFY(t.findKey({path}));
        QCOMPARE(t.fieldByName("ファイル名").asString(), QStringLiteral("photo.jpg"));
        QCOMPARE(t.fieldByName("サイズ").asInteger(), 1234);
        QCOMPARE(t.fieldByName("作成日").asDateTime(), modified);
        // The day of the scan, which may have begun before midnight.
        const QDate scanned = t.fieldByName("探索日").asDate();
        QVERIFY2(scanned == dayBefore || scanned == QDate::currentDate(), qPrintable(scanned.toString(Qt::ISODate)));
        QCOMPARE(t.fieldByName("印").asString(), QString());
        QVERIFY(t.findKey({readOnly}));
        QCOMPARE(t.fieldByName("ファイル名").asString(), QStringLiteral("ro.jpg"));
        QCOMPARE(t.fieldByName("サイズ").asInteger(), 77);
        QCOMPARE(m_host->orderApplied, 1);
        QVERIFY(m_host->errors.isEmpty());
    }

    void hiddenAndLinkedDirectoriesAreNotEntered()
    {
        file(".cache/a.jpg");
        file(".git/objects/b.jpg");
        file("visible/c.jpg");
        file("visible/.d.jpg"); // a dot file is a file like any other
        // A link back to the top would make the walk go round.
        QVERIFY(QFile::link(m_tree->path(), m_tree->path() + "/visible/loop"));
        QVERIFY(QFile::link(m_tree->path() + "/visible", m_tree->path() + "/alias"));

        QVERIFY(m_scan->RunDiskScan(m_tree->path(), ScanSettings()));
        const QString r = m_tree->path() + "/";
        QCOMPARE(sorted(insertedPaths()), sorted({r + "visible/c.jpg", r + "visible/.d.jpg"}));
        QCOMPARE(m_scan->pagesRecorded(), 2);
    }

    void linksCountAsWhatTheyPointTo()
    {
        const QString target = file("real/a.jpg", QByteArray(321, 'a'));
        const QString r = m_tree->path() + "/";
        QVERIFY(QFile::link(target, r + "alias.JPG"));
        // A directory named like a picture, reached through a link or not, is
        // neither listed nor entered through the link.
        QVERIFY(QDir().mkpath(r + "album.jpg"));
        file("album.jpg/in.jpg");
        QVERIFY(QFile::link(r + "album.jpg", r + "linked.jpg"));

        QVERIFY(m_scan->RunDiskScan(m_tree->path(), ScanSettings()));
        QCOMPARE(sorted(insertedPaths()), sorted({target, r + "alias.JPG", r + "album.jpg/in.jpg"}));
        QVERIFY2(m_host->errors.isEmpty(), qPrintable(m_host->errors.join(", ")));
        store::Table& t = *m_dm3->TaList2;
        t.open();
        QVERIFY(t.findKey({r + "alias.JPG"}));
        QCOMPARE(t.fieldByName("ファイル名").asString(), QStringLiteral("alias.JPG"));
        QCOMPARE(t.fieldByName("サイズ").asInteger(), 321);
    }

    void walkIsDepthFirst()
    {
        // Several directories with files at every level; a breadth-first or
        // sorted-later walk would interleave the rows of sibling subtrees.
        for (const char* dir : {"a", "a/b", "a/b/c", "a/d", "e", "e/f", "g"})
            for (int i = 0; i < 3; ++i)
                file(QStringLiteral("%1/p%2.jpg").arg(QLatin1String(dir)).arg(i));
        file("top.jpg");

        QVERIFY(m_scan->RunDiskScan(m_tree->path(), ScanSettings()));
        const QStringList rows = insertedPaths();
        QCOMPARE(rows.size(), 22);
        const QString r = m_tree->path() + "/";
        for (const char* dir : {"a", "a/b", "a/b/c", "a/d", "e", "e/f", "g"}) {
            const QString prefix = r + QLatin1String(dir) + "/";
            QList<int> at;
            for (int i = 0; i < rows.size(); ++i)
                if (rows[i].startsWith(prefix))
                    at << i;
            QVERIFY2(!at.isEmpty(), qPrintable(prefix));
            QVERIFY2(at.last() - at.first() + 1 == at.size(),
                     qPrintable(QStringLiteral("rows under %1 are not together").arg(prefix)));
        }
        // Files of one directory follow the order the file system gives them.
        QStringList inA;
        for (const QString& p : rows)
            if (p.startsWith(r + "a/b/c/"))
                inA << p.mid((r + "a/b/c/").size());
        QCOMPARE(inA, QDir(r + "a/b/c").entryList(QDir::Files, QDir::Unsorted));
    }

    void anAccumulatingRescanListsEveryNewPicture_data()
    {
        QTest::addColumn<int>("added");       // new pictures beside the listed ones, per directory
        QTest::addColumn<int>("addedBelow");  // new pictures in a new subdirectory, per directory
        QTest::newRow("four directories gained five each") << 5 << 0;
        QTest::newRow("in new subdirectories") << 0 << 5;
        QTest::newRow("nothing new") << 0 << 0;
    }
    // A file listed before keeps its row as it is and the walk goes on, so
    // a second scan lists every picture added since and counts only those.
    void anAccumulatingRescanListsEveryNewPicture()
    {
        QFETCH(int, added);
        QFETCH(int, addedBelow);
        const QStringList dirs{"d1", "d2", "d3", "d4"};
        for (const QString& dir : dirs)
            for (int i = 0; i < 3; ++i)
                file(QStringLiteral("%1/old%2.jpg").arg(dir).arg(i));
        QVERIFY(m_scan->RunDiskScan(m_tree->path(), ScanSettings()));
        QCOMPARE(m_scan->pagesRecorded(), 12);
        m_store->exec(QStringLiteral("UPDATE \"_List.db\" SET \"印\" = ?"), {QStringLiteral("〆")});
        file("d1/old0.jpg", "a larger picture now");
        for (const QString& dir : dirs) {
            for (int i = 0; i < added; ++i)
                file(QStringLiteral("%1/new%2.jpg").arg(dir).arg(i));
            for (int i = 0; i < addedBelow; ++i)
                file(QStringLiteral("%1/sub/new%2.jpg").arg(dir).arg(i));
        }

        m_host->statuses.clear();
        QVERIFY(m_scan->RunDiskScan(m_tree->path(), ScanSettings()));
        const int fresh = dirs.size() * (added + addedBelow);
        QCOMPARE(m_scan->pagesRecorded(), fresh);
        QCOMPARE(m_scan->filesListed(), fresh);
        QCOMPARE(m_host->texts(0), QStringList{fresh > 0 ? QStringLiteral("検索完了 : %1 件").arg(fresh)
                                                         : QStringLiteral("検索該当なし")});
        QCOMPARE(committedPaths().size(), 12 + fresh);
        // The old rows are as they were: marked, with the size first measured.
        QCOMPARE(m_store->value(QStringLiteral("SELECT count(*) FROM \"_List.db\" WHERE \"印\" = ?"),
                                {QStringLiteral("〆")}).toInt(), 12);
        QCOMPARE(m_store->value(QStringLiteral("SELECT \"サイズ\" FROM \"_List.db\" WHERE \"フルパス名\" = ?"),
                                {m_tree->path() + "/d1/old0.jpg"}).toInt(), 4);
    }

    void clearEachTime_data()
    {
        QTest::addColumn<bool>("dbSave");
        QTest::newRow("DBへ保存 off keeps the rows") << false;
        QTest::newRow("DBへ保存 on empties the table") << true;
    }
    void clearEachTime()
    {
        QFETCH(bool, dbSave);
        file("one/a.jpg");
        file("two/b.jpg");
        QVERIFY(m_scan->RunDiskScan(m_tree->path() + "/one", ScanSettings()));
        QCOMPARE(m_scan->filesListed(), 1);

        store::Table& grid = *m_dm3->TaList;
        grid.first();
        QSignalSpy gridTold(&grid, &store::Table::dataChanged);

        ScanSettings s;
        s.kekka = 1;
        s.dbSave = dbSave;
        QVERIFY(m_scan->RunDiskScan(m_tree->path() + "/two", s));
        QVERIFY(gridTold.count() >= 1);
        QStringList expected{m_tree->path() + "/two/b.jpg"};
        if (!dbSave)
            expected << m_tree->path() + "/one/a.jpg";
        QCOMPARE(sorted(committedPaths()), sorted(expected));
        QCOMPARE(m_scan->filesListed(), 1);
        QCOMPARE(m_host->orderApplied, 2);
        QVERIFY(grid.isOpen());
        QCOMPARE(grid.recordCount(), expected.size());
        // The rows were not written through the grid: its cursor stays on the
        // row the user left it on, while that row is there.
        if (!dbSave)
            QCOMPARE(grid.fieldByName("フルパス名").asString(), m_tree->path() + "/one/a.jpg");
    }

    void stopDuringALargeScanKeepsTheRowsWritten()
    {
        constexpr int dirs = 40, perDir = 100; // 4,000 files, 800 pictures
        makeLargeTree(dirs, perDir);
        m_scan->setYieldEntries(1000);
        m_host->stopAfterYields = 2;
        // At every turn of the event loop the rows so far are committed and
        // the grid is told.
        store::Store observer(m_photo->dir());
        QStringList mismatches;
        QSignalSpy gridTold(m_dm3->TaList, &store::Table::dataChanged);
        qsizetype toldBefore = 0;
        m_host->onYield = [&] {
            const qsizetype seen = paths(observer, "rowid").size();
            const qsizetype written = paths(*m_store, "rowid").size();
            if (seen != written)
                mismatches << QStringLiteral("%1 of %2").arg(seen).arg(written);
            if (gridTold.count() <= toldBefore)
                mismatches << QStringLiteral("grid not refreshed");
            toldBefore = gridTold.count();
        };

        QVERIFY(m_scan->RunDiskScan(m_tree->path(), ScanSettings()));

        QVERIFY2(mismatches.isEmpty(), qPrintable(mismatches.join(", ")));
        QVERIFY(m_host->yields >= 2);
        QVERIFY(m_host->texts(3).contains(QStringLiteral("探索中止")));
        const QStringList rows = committedPaths();
        QVERIFY(!rows.isEmpty());
        QVERIFY(rows.size() < dirs * perDir / 5);
        QCOMPARE(rows.size(), m_scan->filesListed());
        QCOMPARE(m_host->texts(0).value(m_host->texts(0).size() - 1),
                 QStringLiteral("検索完了 : %1 件").arg(rows.size()));
    }

    void aStopEndsEachLevelAtItsNextSubdirectory_data()
    {
        QTest::addColumn<int>("stopAfter"); // entries seen when "中止" is pressed
        QTest::newRow("at the first entry") << 1;
        QTest::newRow("deep in the first subtree") << 9;
        QTest::newRow("between subtrees") << 25;
        QTest::newRow("near the end") << 35;
        QTest::newRow("never") << 1000;
    }
    // The files are listed while the walk may run ahead; a stop still ends
    // exactly where the walk stood: each open level goes on to its next
    // subdirectory, and nothing the walk met beyond is listed.
    void aStopEndsEachLevelAtItsNextSubdirectory()
    {
        QFETCH(int, stopAfter);
        for (const char* dir : {"a", "a/b", "a/b/c", "a/d", "e", "e/f", "g"})
            for (int i = 0; i < 4; ++i)
                file(QStringLiteral("%1/p%2.%3").arg(QLatin1String(dir)).arg(i).arg(i % 2 ? "jpg" : "txt"));
        for (int i = 0; i < 4; ++i)
            file(QStringLiteral("top%1.jpg").arg(i));
        m_scan->setYieldEntries(1); // a turn at every entry
        m_host->stopAfterYields = stopAfter;

        QStringList expected;
        int seen = 0, stops = 0;
        std::function<void(const QString&)> walk = [&](const QString& dir) {
            const QDir::Filters all = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;
            for (const QFileInfo& e : QDir(dir).entryInfoList(all, QDir::Unsorted)) {
                ++seen;
                if (e.isDir()) {
                    if (seen >= stopAfter) {
                        ++stops; // "探索中止" each time
                        return;
                    }
                    walk(e.filePath());
                } else if (e.suffix() == u"jpg") {
                    expected << e.filePath();
                }
            }
        };
        walk(m_tree->path());

        QVERIFY(m_scan->RunDiskScan(m_tree->path(), ScanSettings()));
        QCOMPARE(insertedPaths(), expected);
        QCOMPARE(m_host->texts(3).size(), stops);
    }

    void yieldsWhileScanningAndRefusesASecondRun()
    {
        makeLargeTree(30, 100);
        int nested = 0;
        m_host->onYield = [&] {
            if (!m_scan->RunDiskScan(m_tree->path(), ScanSettings()))
                ++nested;
        };
        m_scan->setYieldEntries(1000);
        QVERIFY(m_scan->RunDiskScan(m_tree->path(), ScanSettings()));
        // 3,031 entries: at least one turn per 1,000 of them.
        QVERIFY(m_host->yields >= 3);
        QCOMPARE(nested, m_host->yields);
        QCOMPARE(committedPaths().size(), 600);
        QVERIFY(!m_scan->isRunning());
        QVERIFY(m_host->texts(3).isEmpty());
    }

    void filesThatCannotBeMeasuredAreSkipped()
    {
        file("d/a.jpg");
        file("d/z.jpg");
        const QString r = m_tree->path() + "/d/";
        QVERIFY(QFile::link(r + "nowhere", r + "gone.jpg"));
        // Opening a pipe for reading would wait for a writer forever.
        QVERIFY(::mkfifo(QFile::encodeName(r + "pipe.jpg").constData(), 0644) == 0);

        QVERIFY(m_scan->RunDiskScan(m_tree->path(), ScanSettings()));
        QCOMPARE(sorted(committedPaths()), sorted({r + "a.jpg", r + "z.jpg"}));
        QCOMPARE(m_scan->pagesRecorded(), 2);
        QCOMPARE(m_host->errors.size(), 2);
        QCOMPARE(m_host->errors.filter("gone.jpg").size(), 1);
        QCOMPARE(m_host->errors.filter("pipe.jpg").size(), 1);
    }

    // A store that refuses to write is a failure, not a duplicate: the scan
    // ends with the store's error and never reports itself complete.
    void aFailingStoreEndsTheScan()
    {
        file("d/a.jpg");
        file("d/b.jpg");
        m_store->exec(QStringLiteral("PRAGMA query_only = 1"));
        QVERIFY_THROWS_EXCEPTION(store::StoreError, m_scan->RunDiskScan(m_tree->path(), ScanSettings()));
        QVERIFY(m_host->texts(0).filter(QStringLiteral("検索完了")).isEmpty());
        QVERIFY(m_host->texts(0).filter(QStringLiteral("検索該当なし")).isEmpty());
        m_store->exec(QStringLiteral("PRAGMA query_only = 0"));
        // Nothing is left running: the next scan lists both.
        QVERIFY(m_scan->RunDiskScan(m_tree->path(), ScanSettings()));
        QCOMPARE(m_scan->pagesRecorded(), 2);
    }

    void addFileListRowWithAFullPath()
    {
        const QString path = file("dl/0001.jpg", QByteArray(10, 'j'));
        QSignalSpy gridTold(m_dm3->TaList, &store::Table::dataChanged);
        QVERIFY(m_scan->AddFileListRow(QString(), path));
        QCOMPARE(m_scan->filesListed(), 1);
        QCOMPARE(gridTold.count(), 1);
        // Already listed: not inserted again, but the one row takes the new
        // file's size (a picture downloaded again under its name).
        file("dl/0001.jpg", QByteArray(30, 'k'));
        QVERIFY(!m_scan->AddFileListRow(QString(), path));
        QCOMPARE(gridTold.count(), 2);
        store::Table& rows = *m_dm3->TaList2;
        rows.open();
        QVERIFY(rows.findKey({path}));
        QCOMPARE(rows.fieldByName("サイズ").asInteger(), 30);
        QVERIFY(!m_scan->AddFileListRow(QString(), m_tree->path() + "/dl/missing.jpg"));
        // Measured without waiting: a pipe has no writer here.
        QVERIFY(::mkfifo(QFile::encodeName(m_tree->path() + "/dl/pipe.jpg").constData(), 0644) == 0);
        QVERIFY(!m_scan->AddFileListRow(m_tree->path() + "/dl/", "pipe.jpg"));
        QCOMPARE(m_scan->filesListed(), 1);
        QCOMPARE(gridTold.count(), 2);
        const QString second = file("dl/0002.jpg", QByteArray(20, 'j'));
        QVERIFY(m_scan->AddFileListRow(m_tree->path() + "/", "dl/0002.jpg"));
        QCOMPARE(m_scan->filesListed(), 2);
        QCOMPARE(sorted(committedPaths()), sorted({path, second}));
        m_scan->resetFilesListed();
        QCOMPARE(m_scan->filesListed(), 0);
    }

private:
    QString file(const QString& relative, const QByteArray& content = "JPEG")
    {
        const QString path = m_tree->path() + "/" + relative;
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
            qFatal("cannot write %s", qPrintable(path));
        return path;
    }

    // dirs sibling directories of perDir files each, one in five a picture;
    // a stop takes effect when the walk meets the next of them.
    void makeLargeTree(int dirs, int perDir)
    {
        for (int d = 0; d < dirs; ++d)
            for (int f = 0; f < perDir; ++f)
                file(QStringLiteral("big/d%1/f%2.%3").arg(d).arg(f).arg(f % 5 == 0 ? "jpg" : "txt"), "x");
    }

    // The paths of _List.db in the order given, read through a connection.
    static QStringList paths(store::Store& st, const char* order)
    {
        QSqlQuery q(st.db());
        if (!q.exec(QStringLiteral("SELECT \"フルパス名\" FROM \"_List.db\" ORDER BY %1").arg(QLatin1String(order))))
            qFatal("cannot read _List.db");
        QStringList out;
        while (q.next())
            out << q.value(0).toString();
        return out;
    }
    // In the order the rows were inserted.
    QStringList insertedPaths() { return paths(*m_store, "rowid"); }
    // As another connection sees them: only what was committed.
    QStringList committedPaths()
    {
        store::Store other(m_photo->dir());
        return paths(other, "rowid");
    }
    static QStringList sorted(QStringList l)
    {
        l.sort();
        return l;
    }

    std::unique_ptr<TempPhoto> m_photo;
    std::unique_ptr<store::Store> m_store;
    std::unique_ptr<store::DataMd3> m_dm3;
    std::unique_ptr<TestHost> m_host;
    std::unique_ptr<DiskScan> m_scan;
    std::unique_ptr<QTemporaryDir> m_tree;
};

QTEST_GUILESS_MAIN(TestDiskScan)
#include "tst_diskscan.moc"
