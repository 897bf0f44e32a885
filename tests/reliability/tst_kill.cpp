#include "app/Application.h"
#include "app/FileListTab.h"
#include "app/FormMain.h"
#include "app/FormSetting.h"
#include "app/Windows.h"
#include "controls/RadioGroup.h"
#include "store/DataMd3.h"
#include "store/Store.h"
#include "store/Table.h"
#include "support/HttpTestServer.h"
#include "support/TempPhoto.h"
#include "support/TempSettings.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <cstdio>

// The real program, in a process of its own, killed with SIGKILL at a random
// moment of a crawl of a local multi-host site or of a disk scan, then
// started again, round after round. After every kill the store is whole, no
// link or file-list row is there twice, and no file in the save directory
// holds other bytes than the site serves under its number; after the last
// round a crawl runs to its end and has every picture of the site.
//
// QUILLON_KILL_ROUNDS sets the number of kills (6 by default; bench/run kill
// runs 50). The program runs from this binary: "--child crawl URL SAVE" or
// "--child scan DIR" starts it and presses "探索" once the window is up. It
// prints "step" at every piece of a transfer or turn of the scan and "done"
// when the work ends; the kill comes at a random step, never by the clock,
// and a round whose work ended before it fails: it would test nothing.

namespace {

constexpr int kHosts = 3;

int rounds()
{
    return qEnvironmentVariableIsSet("QUILLON_KILL_ROUNDS") ? qEnvironmentVariableIntValue("QUILLON_KILL_ROUNDS") : 6;
}

// The site grows with the rounds, so that the kills keep finding work.
int pagesPerHost()
{
    return std::max(30, rounds() * 3);
}

QByteArray pictureBytes(int host, int page, int k)
{
    QByteArray b("\xFF\xD8\xFF\xE0picture ");
    b += QByteArray::number(host * 1000 + page * 10 + k);
    for (int i = 0; i < 20000; ++i)
        b.append(char((i * 131 + host * 7 + page * 3 + k) & 0xFF));
    return b;
}

int childMain(int argc, char** argv)
{
    app::prepareProcessEnvironment();
    QApplication qapp(argc, argv);
    app::Application a;
    if (!a.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(a.errorMessage()));
        return 3;
    }
    app::TFormMain& f = a.formMain();
    app::TFormSetting& s = *a.windows().FormSetting;
    f.show();
    const QString mode = QString::fromLocal8Bit(argv[2]);
    if (mode == u"crawl") {
        s.ScrollSpeed->setValue(6);
        s.EditMaxURL->setText(QStringLiteral("100000"));
        s.EditMaxImage->setText(QStringLiteral("100000"));
        s.EditLinkMax->setText(QStringLiteral("10"));
        s.CheckGaibu->setChecked(true);
        s.CheckFileSave->setChecked(true);
        s.EditDirectory->setText(QString::fromLocal8Bit(argv[4]));
        s.RadioKekkaWWW->setItemIndex(0);
        f.ApplyTarget(true);
        f.ComboURL->setEditText(QString::fromLocal8Bit(argv[3]));
    } else {
        s.RadioKekka->setItemIndex(0);
        f.ApplyTarget(false);
        f.ComboDirectory->setEditText(QString::fromLocal8Bit(argv[3]));
        // Many turns of the event loop, each after a commit, whatever the
        // machine's speed: the steps a kill can follow.
        f.fileListTab()->scan().setYieldEntries(20);
        QObject::connect(f.dm3().TaList, &store::Table::dataChanged, [] { std::printf("step\n"); std::fflush(stdout); });
    }
    QObject::connect(&f, &app::TFormMain::statusChanged, [&](int panel, const QString& text) {
        if (panel == 3 && text.startsWith(QStringLiteral("Bytes: "))) {
            std::printf("step\n");
            std::fflush(stdout);
        }
        if (panel == 0
            && (text == QStringLiteral("探索終了") || text.startsWith(QStringLiteral("検索完了"))
                || text == QStringLiteral("検索該当なし"))) {
            std::printf("done\n");
            std::fflush(stdout);
            QTimer::singleShot(0, &qapp, [&] { f.close(); });
        }
    });
    std::printf("started\n");
    std::fflush(stdout);
    f.BtTansaku->click();
    return qapp.exec();
}

} // namespace

class TestKill : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        for (int h = 0; h < kHosts; ++h)
            m_hosts.push_back(std::make_unique<HttpTestServer>());
        // Every page links to pages of every host and holds two pictures,
        // sent in two pieces so that many a kill comes mid-transfer.
        for (int h = 0; h < kHosts; ++h) {
            for (int p = 0; p < pagesPerHost(); ++p) {
                QString body = QStringLiteral("<html><body>");
                for (int to = 0; to < kHosts; ++to)
                    body += QStringLiteral("<a href=\"%1\">n</a>").arg(pageUrl(to, (p + 1) % pagesPerHost()));
                for (int k = 0; k < 2; ++k) {
                    const QString path = QStringLiteral("/img/%1-%2.jpg").arg(p).arg(k);
                    body += QStringLiteral("<img src=\"%1\">").arg(path);
                    const QByteArray bytes = pictureBytes(h, p, k);
                    m_hosts[size_t(h)]->setPieces(path, {bytes.left(9000), bytes.mid(9000)}, 40, "image/jpeg");
                    m_served.insert(m_hosts[size_t(h)]->url(path), bytes);
                }
                m_hosts[size_t(h)]->setPage(QStringLiteral("/p%1.html").arg(p), body + QStringLiteral("</body></html>"));
            }
        }
        // A tree for the disk scans.
        for (int d = 0; d < 100; ++d) {
            const QString dir = m_tree.filePath(QStringLiteral("d%1").arg(d));
            QDir().mkpath(dir);
            for (int f = 0; f < 100; ++f) {
                QFile file(QStringLiteral("%1/f%2.jpg").arg(dir).arg(f));
                QVERIFY(file.open(QIODevice::WriteOnly));
                file.write("x");
            }
        }
    }

    void killsAtRandomMoments()
    {
        const int rounds = ::rounds();
        QRandomGenerator random(20261208);
        int recovered = 0;
        for (int round = 0; round < rounds; ++round) {
            const bool scan = round % 4 == 3;
            if (scan) {
                // A scan of a tree listed before writes no row; this one writes them all.
                store::Store s(m_photo.dir());
                s.exec(QStringLiteral("DELETE FROM \"_List.db\""));
            }
            QProcess child;
            startChild(child, scan);
            // A scan takes about 500 steps, the whole site's crawl about
            // 1,000 (3 or 4 a transfer): a kill within the first ones finds
            // most of the work still to come, in every round.
            const int killAt = scan ? random.bounded(1, 100) : random.bounded(1, 60);
            QByteArray said;
            const auto steps = [&] {
                said += child.readAllStandardOutput();
                return int(said.count("step\n"));
            };
            const bool stepped =
                QTest::qWaitFor([&] { return steps() >= killAt || child.state() != QProcess::Running; }, 120000);
            const QString when = QStringLiteral("round %1, step %2 of %3").arg(round).arg(steps()).arg(killAt);
            QVERIFY2(stepped, qPrintable(QStringLiteral("no progress for two minutes (%1)").arg(when)));
            QVERIFY2(child.state() == QProcess::Running && !said.contains("done\n"),
                     qPrintable(QStringLiteral("the work ended before the kill (%1)").arg(when)));
            child.kill();
            QVERIFY(child.waitForFinished(30000));
            steps();
            QVERIFY2(!said.contains("done\n"), qPrintable(QStringLiteral("the kill came after the work ended (%1)").arg(when)));
            const QString problem = checkStore();
            QVERIFY2(problem.isEmpty(), qPrintable(QStringLiteral("round %1: %2").arg(round).arg(problem)));
            ++recovered;
        }
        qInfo("kill: %d/%d kills recovered, each in the middle of a crawl or scan", recovered, rounds);

        // A last run, not killed, completes and has every picture.
        QProcess child;
        startChild(child, false);
        QVERIFY(QTest::qWaitFor([&] { return child.state() == QProcess::NotRunning; }, 240000));
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(checkStore(), QString());
        store::Store s(m_photo.dir());
        QCOMPARE(s.value(QStringLiteral("SELECT count(*) FROM \"_LinkIMG.db\" WHERE \"Mode\" = 3")).toInt(),
                 int(m_served.size()));
        QCOMPARE(s.value(QStringLiteral("SELECT count(*) FROM \"_LinkIMG.db\"")).toInt(), int(m_served.size()));
        QCOMPARE(s.value(QStringLiteral("SELECT count(*) FROM \"_Link.db\" WHERE \"Mode\" <> 3")).toInt(), 0);
        // Every picture is there under its number (once more under a free name
        // at most, when a kill came between its file and its record).
        QStringList names = QDir(m_save.path()).entryList(QDir::Files | QDir::Hidden);
        QSet<QString> numbers;
        for (const QString& name : names)
            numbers.insert(name.left(4));
        QCOMPARE(numbers.size(), int(m_served.size()));
        QVERIFY(names.filter(QStringLiteral(".part")).isEmpty());
    }

private:
    QString pageUrl(int host, int page) const
    {
        return m_hosts[size_t(host)]->url(QStringLiteral("/p%1.html").arg(page));
    }

    void startChild(QProcess& child, bool scan)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QUILLON_PHOTO_DIR"), m_photo.dir());
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const QStringList args = scan ? QStringList{"--child", "scan", m_tree.path()}
                                      : QStringList{"--child", "crawl", pageUrl(0, 0), m_save.path()};
        child.start(QCoreApplication::applicationFilePath(), args);
        QVERIFY(child.waitForStarted(30000));
        // The work begins once the window is up.
        (void)QTest::qWaitFor([&] { return child.canReadLine() || child.state() != QProcess::Running; }, 60000);
    }

    // Empty when the store and the save directory are as they must be.
    QString checkStore()
    {
        try {
            store::Store s(m_photo.dir());
            const QString integrity = s.value(QStringLiteral("PRAGMA integrity_check")).toString();
            if (integrity != u"ok")
                return QStringLiteral("integrity_check: ") + integrity;
            const QList<QPair<QString, QString>> keys{{"_Link.db", "URL"}, {"_LinkIMG.db", "URL"}, {"_List.db", "フルパス名"}};
            for (const auto& [table, key] : keys) {
                const int twice = s.value(QStringLiteral("SELECT count(*) - count(DISTINCT %1) FROM %2")
                                              .arg(store::Store::quoted(key), store::Store::quoted(table)))
                                      .toInt();
                if (twice != 0)
                    return QStringLiteral("%1 rows of %2 twice").arg(twice).arg(table);
            }
            // Every picture file holds what the site serves for its link's number.
            static const QRegularExpression named(QStringLiteral("^(\\d{4})(_\\d+)?\\.jpg$"));
            for (const QString& name : QDir(m_save.path()).entryList(QDir::Files | QDir::Hidden)) {
                const auto m = named.match(name);
                if (!m.hasMatch()) {
                    if (name.startsWith(QStringLiteral(".quillon-")))
                        continue; // an unfinished download's own file, gone at the next start
                    return QStringLiteral("unexpected file ") + name;
                }
                const QString url =
                    s.value(QStringLiteral("SELECT \"URL\" FROM \"_LinkIMG.db\" WHERE \"No\" = ?"), {m.captured(1).toInt()})
                        .toString();
                QFile f(m_save.filePath(name));
                if (!f.open(QIODevice::ReadOnly) || f.readAll() != m_served.value(url))
                    return QStringLiteral("%1 does not hold the picture of %2").arg(name, url);
            }
        } catch (const store::StoreError& e) {
            return e.message();
        }
        return {};
    }

    std::vector<std::unique_ptr<HttpTestServer>> m_hosts;
    QHash<QString, QByteArray> m_served;
    TempSettings m_settings;
    TempPhoto m_photo;
    QTemporaryDir m_save;
    QTemporaryDir m_tree;
};

int main(int argc, char** argv)
{
    if (argc >= 4 && QByteArray(argv[1]) == "--child")
        return childMain(argc, argv);
    QApplication app(argc, argv);
    TestKill test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_kill.moc"
