#include "app/FormMain.h"
#include "app/FormSetting.h"
#include "app/Windows.h"
#include "base/SettingsStore.h"
#include "picturedb/Catalogue.h"
#include "picturedb/Registration.h"
#include "store/DataMod.h"
#include "store/FixedTables.h"
#include "store/Store.h"
#include "store/Table.h"
#include "support/AppFixture.h"
#include "support/ModalHelper.h"
#include "support/PgServer.h"
#include "support/PhotoData.h"
#include "support/TestBackend.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The picture data module of a server store, bound to the database Sample.
struct SampleOnServer {
    explicit SampleOnServer(store::Store& s) : dm(s), catalogue(dm)
    {
        for (store::Table* t : {dm.TaPhoto, dm.TaPhoto2})
            t->setTableName(QStringLiteral("Sample"));
        dm.TaImage->setTableName(QStringLiteral("Sample_"));
    }
    bool add(const QString& file)
    {
        return picturedb::RegisterFile(catalogue, false, QStringLiteral("t"), {}, QDate(2026, 12, 9), 1, file);
    }
    store::DataMod dm;
    picturedb::Catalogue catalogue;
};

// Registers the files into the database Sample of the server, one record each.
bool registerFiles(const store::ServerSettings& settings, const QStringList& files, QString* error)
{
    try {
        store::Store s(settings);
        SampleOnServer sample(s);
        for (const QString& f : files)
            if (!sample.add(f))
                return false;
        return true;
    } catch (const store::StoreError& e) {
        *error = e.message();
        return false;
    }
}

// The child process of the two-writer test: "writer HOST PORT DB USER FILE...".
int writer(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    QString error;
    if (!registerFiles({QString(), a[2], a[3], a[4], a[5]}, a.mid(6), &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    return 0;
}

void storeServerSettings(const store::ServerSettings& s)
{
    base::SettingsStore settings;
    using base::SettingsStore;
    settings.writeBool(SettingsStore::Setting, QStringLiteral("fmSetting.CheckServer"), true);
    settings.writeString(SettingsStore::Setting, QStringLiteral("fmSetting.ServerHost"), s.host);
    settings.writeString(SettingsStore::Setting, QStringLiteral("fmSetting.ServerPort"), s.port);
    settings.writeString(SettingsStore::Setting, QStringLiteral("fmSetting.ServerDB"), s.database);
    settings.writeString(SettingsStore::Setting, QStringLiteral("fmSetting.ServerUser"), s.user);
}

} // namespace

// Picture databases shared on a server: several writers, a server that goes
// away, and the start-up's choice of databases.
class TestSharedServer : public QObject {
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QUILLON_REQUIRE_PG(testbackend::server());
        QVERIFY(m_files.isValid());
    }

    // Two processes registering at once: every record kept, serials 1 to
    // 400 each given once, each record with its own file's bytes.
    void twoWriters()
    {
        const store::ServerSettings settings = testbackend::freshDatabase();
        QStringList halves[2];
        for (int i = 0; i < 400; ++i) {
            const QString path = QDir(m_files.path()).filePath(QStringLiteral("w%1.jpg").arg(i));
            QVERIFY(writePicture(path, QSize(8, 8), "JPEG", QColor::fromRgb(i % 256, i / 256, 7)));
            halves[i % 2] << path;
        }
        QProcess writers[2];
        for (int k = 0; k < 2; ++k) {
            writers[k].setProcessChannelMode(QProcess::ForwardedErrorChannel);
            writers[k].start(QCoreApplication::applicationFilePath(),
                             QStringList{QStringLiteral("writer"), settings.host, settings.port, settings.database,
                                         settings.user}
                                 + halves[k]);
        }
        for (QProcess& w : writers) {
            QVERIFY(w.waitForFinished(240000));
            QCOMPARE(w.exitCode(), 0);
        }
        QSqlDatabase db = testbackend::server().connect();
        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral("SELECT r.\"連番\", r.\"ファイル名\", i.\"画像\" FROM \"Sample\" r "
                                      "LEFT JOIN \"Sample_\" i ON i.\"連番\" = r.\"連番\" ORDER BY r.\"連番\"")));
        int expected = 1;
        QSet<QString> files;
        while (q.next()) {
            QCOMPARE(q.value(0).toInt(), expected++);
            files.insert(q.value(1).toString());
            QVERIFY(q.value(2).toByteArray() == fileBytes(q.value(1).toString()));
        }
        QCOMPARE(expected - 1, 400);
        QCOMPARE(files.size(), 400);
    }

    // A server gone in the middle of the work: the next registration fails
    // with the server's words, and what was committed before it stays.
    void aLostServer()
    {
        const store::ServerSettings settings = testbackend::freshDatabase();
        QStringList files;
        for (int i = 0; i < 4; ++i) {
            files << QDir(m_files.path()).filePath(QStringLiteral("l%1.jpg").arg(i));
            QVERIFY(writePicture(files.last(), QSize(8, 8), "JPEG", QColor::fromRgb(i, 200, 9)));
        }
        store::Store s(settings);
        SampleOnServer sample(s);
        for (int i = 0; i < 3; ++i)
            QVERIFY(sample.add(files[i]));
        QVERIFY2(testbackend::server().halt(), qPrintable(testbackend::server().error()));
        QString message;
        try {
            sample.add(files[3]);
        } catch (const store::StoreError& e) {
            message = e.message();
        }
        QVERIFY2(testbackend::server().resume(), qPrintable(testbackend::server().error()));
        QVERIFY2(message.contains(QStringLiteral("server"), Qt::CaseInsensitive)
                     || message.contains(QStringLiteral("connection"), Qt::CaseInsensitive),
                 qPrintable(message));
        QCOMPARE(store::Store(settings).countRows(QStringLiteral("Sample")), 3);
    }

    // The start-up takes the server's databases only when it can: otherwise
    // the local ones, and the status bar says why.
    void startUp_data()
    {
        QTest::addColumn<QString>("server"); // "ready", "empty" (no tables), "gone"
        QTest::addColumn<bool>("shared");
        QTest::addColumn<QString>("note");
        QTest::newRow("ready") << "ready" << true << QStringLiteral("共有DB : %1");
        QTest::newRow("not initialised") << "empty" << false
                                         << QStringLiteral("共有DB : %1 は初期化されていません。ローカルのデータベースを使います");
        QTest::newRow("unreachable") << "gone" << false << QStringLiteral("共有DB : サーバーに接続できません : ");
    }
    void startUp()
    {
        QFETCH(QString, server);
        QFETCH(bool, shared);
        QFETCH(QString, note);
        store::ServerSettings settings = testbackend::freshDatabase();
        if (server == u"empty")
            store::Store(settings).exec(QStringLiteral("DROP TABLE \"_ITEM.DB\""));
        if (server == u"gone")
            settings.port = QString::number(settings.port.toInt() + 1); // nobody listens there
        AppFixture fixture;
        storeServerSettings(settings);
        fixture.start();
        QCOMPARE(fixture.form().dm().store().isServer(), shared);
        const auto* label = fixture.form().findChild<QLabel*>(QStringLiteral("LabelServer"));
        QVERIFY(label->isVisibleTo(&fixture.form()));
        const QString shown = label->text();
        if (server == u"gone") {
            QVERIFY2(shown.startsWith(note) && shown.endsWith(QStringLiteral("。ローカルのデータベースを使います")),
                     qPrintable(shown));
        } else {
            QCOMPARE(shown, note.arg(settings.host));
        }
        // The local databases open as ever: the sample database is there.
        QVERIFY(fixture.form().dm().TaPhoto->isOpen());
    }

    // "初期化" makes the tables once, after a yes; a no changes nothing.
    void initialising()
    {
        store::ServerSettings settings = testbackend::freshDatabase();
        {
            QSqlDatabase db = testbackend::server().connect();
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("SET client_min_messages TO warning")));
            QVERIFY(q.exec(QStringLiteral("DROP SCHEMA public CASCADE")) && q.exec(QStringLiteral("CREATE SCHEMA public")));
        }
        AppFixture fixture;
        fixture.start();
        app::TFormSetting& dialog = *fixture.windows().FormSetting;
        dialog.EditServerHost->setText(settings.host);
        dialog.EditServerPort->setText(settings.port);
        dialog.EditServerDB->setText(settings.database);
        dialog.EditServerUser->setText(settings.user);
        // The answer to the question; the text of the box that follows a yes.
        auto click = [&](QMessageBox::StandardButton answer) {
            QString said;
            std::unique_ptr<ModalAnswer> result;
            ModalAnswer question([&](QWidget* w) {
                if (answer == QMessageBox::Yes)
                    result = std::make_unique<ModalAnswer>(
                        [&](QWidget* r) {
                            said = messageBoxText(r);
                            pressButton(r, QMessageBox::Ok);
                        },
                        30000);
                pressButton(w, answer);
            });
            dialog.ButtonServerInit->click();
            [&] { QVERIFY(question.wasShown()); }();
            return said;
        };
        click(QMessageBox::No);
        store::Store server(settings);
        QVERIFY(!store::hasPictureTables(server));
        // The tests' server has the C character type, which the answer points out.
        QCOMPARE(click(QMessageBox::Yes), QStringLiteral("初期化しました。次の起動から使われます\n"
                                                         "このデータベースの LC_CTYPE は C のため、日本語のキーワードの検索には索引が使われません"));
        QVERIFY(store::hasPictureTables(server));
        QCOMPARE(click(QMessageBox::Yes), QStringLiteral("サーバーには既に画像データベースの表があります"));
    }

private:
    QTemporaryDir m_files;
};

int main(int argc, char** argv)
{
    if (argc > 1 && qstrcmp(argv[1], "writer") == 0)
        return writer(argc, argv);
    QApplication app(argc, argv);
    TestSharedServer test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_sharedserver.moc"
