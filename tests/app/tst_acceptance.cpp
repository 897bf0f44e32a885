#include "app/FileListTab.h"
#include "app/FormMain.h"
#include "app/FormSetting.h"
#include "app/PictureSaving.h"
#include "app/Windows.h"
#include "controls/TTimer.h"
#include "picturedb/Catalogue.h"
#include "picturedb/PictureDatabase.h"
#include "picturedb/RecordPage.h"
#include "picturedb/Registration.h"
#include "store/DataMd3.h"
#include "store/DataMod.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/TableOps.h"
#include "support/AppFixture.h"
#include "support/HttpTestServer.h"
#include "support/ModalHelper.h"
#include "support/PhotoData.h"
#include "viewing/FormView.h"
#include "viewing/PerceptualHash.h"
#include "web/Acceptance.h"
#include "web/ExplorationTables.h"

#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

namespace {

// A photograph-like JPEG: grain makes it tens of kilobytes.
QByteArray photo(QSize size, quint32 seed)
{
    QImage image(size, QImage::Format_RGB32);
    QRandomGenerator random(seed);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb(random.bounded(256), x % 256, y % 256));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 60);
    return bytes;
}

} // namespace

// What becomes of downloaded pictures: the size and ratio rules, the file
// list or a picture database, the single fetch shown, and a stored picture
// written out.
class TestAcceptance : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_fixture = std::make_unique<AppFixture>();
        m_fixture->start();
        m_save = std::make_unique<QTemporaryDir>();
        settings().EditDirectory->setText(m_save->path());
        settings().ScrollSpeed->setValue(3);
        form().ToolBtWWW->click();
        m_panel0.clear();
        connect(&form(), &app::TFormMain::statusChanged, this, [this](int panel, const QString& text) {
            if (panel == 0)
                m_panel0 << text;
        });
    }
    void cleanup()
    {
        m_fixture.reset();
        m_save.reset();
    }

    void rules_data()
    {
        QTest::addColumn<QString>("rule");
        QTest::addColumn<qint64>("a");
        QTest::addColumn<qint64>("b");
        QTest::addColumn<bool>("accepted");
        // Sizes against the bounds 5 and 120 KB (1 KB = 1000 bytes, remainder dropped).
        QTest::newRow("120 999 bytes") << "size" << qint64(120999) << qint64(0) << true;
        QTest::newRow("121 000 bytes") << "size" << qint64(121000) << qint64(0) << false;
        QTest::newRow("5 000 bytes") << "size" << qint64(5000) << qint64(0) << true;
        QTest::newRow("4 999 bytes") << "size" << qint64(4999) << qint64(0) << false;
        // Width and height against 200 % (width div height, percent div 100).
        QTest::newRow("640 x 480") << "ratio" << qint64(640) << qint64(480) << true;
        QTest::newRow("1000 x 300") << "ratio" << qint64(1000) << qint64(300) << false;
        QTest::newRow("500 x 200") << "ratio" << qint64(500) << qint64(200) << true;
        QTest::newRow("tall") << "ratio" << qint64(100) << qint64(4000) << true;
        QTest::newRow("height 0") << "ratio" << qint64(100) << qint64(0) << true;
    }
    void rules()
    {
        QFETCH(QString, rule);
        QFETCH(qint64, a);
        QFETCH(qint64, b);
        QFETCH(bool, accepted);
        if (rule == u"size")
            QCOMPARE(web::sizeAccepted(a, 5, 120), accepted);
        else
            QCOMPARE(web::ratioAccepted(qint32(a), qint32(b), 200), accepted);
        // A limit of 250 acts as 200.
        if (rule == u"ratio")
            QCOMPARE(web::ratioAccepted(qint32(a), qint32(b), 250), accepted);
    }

    void judging()
    {
        const QString noPicture = m_save->filePath("text.jpg");
        QFile f(noPicture);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(6000, 'x'));
        f.close();
        web::AcceptanceSettings s;
        qint64 size = 0;
        // A picture the loader cannot read passes the ratio test unexamined.
        QCOMPARE(web::judgePicture(noPicture, s, &size), web::Verdict::Accepted);
        QCOMPARE(size, qint64(6000));
        s.ratioPercent = QStringLiteral("x");
        QCOMPARE(web::judgePicture(noPicture, s, &size), web::Verdict::Accepted);
        s.minKb = QStringLiteral("five");
        QVERIFY_THROWS_EXCEPTION(web::AcceptError, web::judgePicture(noPicture, s, &size));
        s.checkSize = false;
        QCOMPARE(web::judgePicture(noPicture, s, &size), web::Verdict::Accepted);
        QVERIFY_THROWS_EXCEPTION(web::AcceptError, web::judgePicture(m_save->filePath("gone.jpg"), s, &size));
    }

    // A crawl keeps only the pictures that pass, in the file list or in a
    // database, checked against what the site serves.
    void crawlKeepsAcceptedPictures_data()
    {
        QTest::addColumn<QString>("target"); // "list", "import", "index"
        QTest::addColumn<bool>("fileSave");  // with the database: files kept too
        QTest::newRow("file list") << "list" << true;
        QTest::newRow("import-mode database") << "import" << false;
        QTest::newRow("index-mode database") << "index" << false;
        QTest::newRow("database and files") << "import" << true;
    }
    void crawlKeepsAcceptedPictures()
    {
        QFETCH(QString, target);
        QFETCH(bool, fileSave);
        HttpTestServer a;
        const QByteArray good = photo(QSize(320, 240), 1);
        QVERIFY(good.size() > 5000 && good.size() < 120000);
        a.setBody("/ok.jpg", good, "image/jpeg");
        a.setBody("/wide.jpg", photo(QSize(900, 200), 2), "image/jpeg");
        a.setBody("/small.jpg", photo(QSize(8, 8), 3), "image/jpeg");
        // A GIF by its first bytes that no loader reads: passes the tests, refused by the database.
        a.setBody("/fake.gif", "GIF89a" + QByteArray(6994, 'g'), "image/gif");
        a.setPage("/i.html", "<img src=ok.jpg><img src=wide.jpg><img src=small.jpg><img src=fake.gif>");
        settings().CheckGIF->setChecked(true);
        settings().CheckFileSave->setChecked(fileSave);
        settings().CheckDBSave->setChecked(target != u"list");
        if (target == u"index") {
            makeDatabase(form().dm().store(), QStringLiteral("Web"), true);
            QVERIFY(form().photo().OpenDatabase(QStringLiteral("Web")));
        }
        crawl(a.url("/i.html"));

        const QString save = m_save->path();
        const QString errors = form().MemoError->toPlainText();
        QVERIFY(errors.contains(QStringLiteral("比率チェック ") + save + "/0002.jpg"));
        QVERIFY(errors.contains(QStringLiteral("File Size ") + save + "/0003.jpg"));
        const QStringList listed = listRows();
        if (target == u"list") {
            QCOMPARE(listed, (QStringList{save + "/0001.jpg", save + "/0004.gif"}));
            QCOMPARE(form().run.filesListed, 2);
            QCOMPARE(fileBytes(save + "/0001.jpg"), good);
            return;
        }
        // With the database on, only the database branch runs.
        QCOMPARE(listed, QStringList());
        QCOMPARE(QFile::exists(save + "/0001.jpg"), fileSave);
        const QString table = form().photo().state().CurrentDatabase;
        store::Table records(form().dm().store(), table);
        records.open();
        QCOMPARE(records.recordCount(), 1);
        QVERIFY(records.findKey({1}));
        QCOMPARE(records.fieldByName("タイトル").asString(), a.baseUrl().section('/', 2));
        QCOMPARE(records.fieldByName("ファイル名").asString(), a.url("/ok.jpg"));
        QCOMPARE(records.fieldByName("サイズ").asInteger(), good.size());
        if (target == u"import") {
            QVERIFY(form().photo().catalogue().LocateImage(1));
            QCOMPARE(form().dm().TaImage->fieldByName("画像").asBytes(), good);
        } else {
            QCOMPARE(form().dm().store().countRows(table + "_"), 0);
        }
        // Registered: 登録済, then the row was deleted, so the final 終了
        // finds nothing; the refused GIF's row is deleted all the same.
        const QString normal = form().MemoLog->toPlainText();
        QVERIFY(normal.contains(QStringLiteral("Update Done %1 登録済").arg(a.url("/ok.jpg"))));
        QVERIFY(errors.contains(QStringLiteral("Error ") + a.url("/ok.jpg")));
        QVERIFY(errors.contains(QStringLiteral("Error ") + a.url("/fake.gif")));
        QStringList left;
        for (store::Table* t = form().dm3().TaLinkImg3; t; t = nullptr) {
            t->refresh();
            for (t->first(); !t->eof() && !t->isEmpty(); t->next())
                left << t->fieldByName("URL").asString().section('/', 3);
        }
        QCOMPARE(left, (QStringList{"wide.jpg", "small.jpg"}));
    }

    // The same bytes under three names and one other picture, one slot at a
    // time, with a limit of two pictures: with "同じ画像は保存・登録しない" the
    // copies are dropped, logged and not counted, so the other one is kept too.
    void crawlKeepsTheSameBytesOnce_data()
    {
        QTest::addColumn<bool>("noDuplicates");
        QTest::addColumn<bool>("database");
        QTest::newRow("setting off") << false << false;
        QTest::newRow("files") << true << false;
        QTest::newRow("database") << true << true;
    }
    void crawlKeepsTheSameBytesOnce()
    {
        QFETCH(bool, noDuplicates);
        QFETCH(bool, database);
        HttpTestServer a;
        const QByteArray same = photo(QSize(320, 240), 5);
        for (const char* name : {"/a.jpg", "/b.jpg", "/c.jpg"})
            a.setBody(name, same, "image/jpeg");
        a.setBody("/d.jpg", photo(QSize(320, 240), 6), "image/jpeg");
        a.setPage("/i.html", "<img src=a.jpg><img src=b.jpg><img src=c.jpg><img src=d.jpg>");
        settings().ScrollSpeed->setValue(1);
        settings().EditMaxImage->setText(QStringLiteral("2"));
        settings().CheckNoDuplicate->setChecked(noDuplicates);
        settings().CheckFileSave->setChecked(!database);
        settings().CheckDBSave->setChecked(database);
        crawl(a.url("/i.html"));

        const QString save = m_save->path();
        const QString held = database ? form().photo().state().CurrentDatabase + " #1" : save + "/0001.jpg";
        const QString errors = form().MemoError->toPlainText();
        QCOMPARE(errors.count(QStringLiteral("重複 ")), noDuplicates ? 2 : 0);
        for (const char* name : {"/b.jpg", "/c.jpg"})
            QCOMPARE(errors.contains(QStringLiteral("重複 ") + a.url(name) + " = " + held), noDuplicates);
        const QStringList kept = noDuplicates ? QStringList{"0001.jpg", "0004.jpg"} : QStringList{"0001.jpg", "0002.jpg"};
        if (noDuplicates) {
            // The kept picture's fingerprint gets its perceptual hash in the background.
            const QVariant hash = database
                ? QVariant(QStringLiteral("SELECT hash FROM _FingerprintDB WHERE database = '%1' AND serial = 1")
                               .arg(form().photo().state().CurrentDatabase))
                : QVariant(QStringLiteral("SELECT hash FROM _Fingerprint WHERE path = '%1'").arg(save + "/0001.jpg"));
            const quint64 expected = viewing::fingerprintBytes(same)->hash;
            QTRY_COMPARE_WITH_TIMEOUT(quint64(form().dm().store().value(hash.toString()).toLongLong()), expected, 20000);
        }
        if (database) {
            QCOMPARE(form().dm().store().countRows(form().photo().state().CurrentDatabase), 2);
            QCOMPARE(QDir(save).entryList(QDir::Files), QStringList());
            return;
        }
        QCOMPARE(listRows(), (QStringList{save + "/" + kept[0], save + "/" + kept[1]}));
        QCOMPARE(QDir(save).entryList(QDir::Files), kept);
    }

    void singleFetch()
    {
        HttpTestServer a;
        const QByteArray picture = photo(QSize(64, 48), 4);
        a.setBody("/pic.JPG", picture, "image/jpeg");
        a.setPage("/page.jpg", "<html>not a picture</html>");
        web::ExplorationTables& t = form().tables();
        t.WriteImageLinkRecord("h", a.url("/pic.JPG"), 3, web::WriteOp::Insert);
        t.WriteImageLinkRecord("h", a.url("/other.gif"), 3, web::WriteOp::Insert);
        t.WriteImageLinkRecord("h", a.url("/page.jpg"), 3, web::WriteOp::Insert);
        form().PageMain->setCurrentWidget(form().TabLinkImage);

        // The file 0000 takes the address's own case of the extension; it is
        // the one file meant to be overwritten.
        QFile old(m_save->filePath("0000.JPG"));
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("an earlier single fetch");
        old.close();
        selectLinkRow(0);
        form().BtSingle->click();
        QTRY_VERIFY_WITH_TIMEOUT(m_panel0.contains(QStringLiteral("画像表示完了")), 20000);
        // Shown, then its run ends.
        QCOMPARE(m_panel0.mid(m_panel0.indexOf(QStringLiteral("画像表示完了"))),
                 (QStringList{QStringLiteral("画像表示完了"), QStringLiteral("探索終了")}));
        QCOMPARE(fileBytes(m_save->filePath("0000.JPG")), picture);
        QVERIFY(form().MemoLog->toPlainText().isEmpty()); // its run began with empty logs
        auto* view = m_fixture->windows().FormView;
        QVERIFY(view->isVisible());
        QVERIFY(view->windowTitle().endsWith(QStringLiteral("(64 x 48)")));

        selectLinkRow(1);
        ModalAnswer refused([](QWidget* w) { pressButton(w, QMessageBox::Ok); });
        form().BtSingle->click();
        QVERIFY(refused.wasShown());
        QCOMPARE(refused.text(), QStringLiteral("画像リストの画像ファイルを選択してください"));

        // A body that is no picture is not waited for for ever.
        form().pictureSaving()->setDisplayPatienceMs(400);
        selectLinkRow(2);
        ModalAnswer cannot([](QWidget* w) { pressButton(w, QMessageBox::Ok); }, 20000);
        form().BtMulti->click();
        QTRY_VERIFY_WITH_TIMEOUT(cannot.wasShown(), 20000);
        QVERIFY(cannot.text().startsWith(QStringLiteral("画像を表示できません")));
        QTRY_COMPARE(form().stopIconIndex(), 9);

        // An index-mode record whose third item is an address is shown the same way.
        makeDatabase(form().dm().store(), QStringLiteral("Web"), true);
        QVERIFY(form().photo().OpenDatabase(QStringLiteral("Web")));
        picturedb::RegisterAddress(form().photo().catalogue(), a.url("/pic.JPG"), QDate(2026, 1, 1));
        QVERIFY(QFile::remove(m_save->filePath("0000.JPG")));
        m_panel0.clear();
        form().photo().record()->ShowCurrentRecord();
        QTRY_VERIFY_WITH_TIMEOUT(m_panel0.contains(QStringLiteral("画像表示完了")), 20000);
        QCOMPARE(fileBytes(m_save->filePath("0000.JPG")), picture);
    }

    // A single fetch while an exploration runs leaves the run alone.
    void singleFetchDuringARun()
    {
        HttpTestServer a;
        a.setPage("/i.html", "<a href=s1.html>1</a><a href=s2.html>2</a>");
        a.setStallAfterHeaders("/s1.html");
        a.setStallAfterHeaders("/s2.html");
        a.setBody("/pic.jpg", photo(QSize(32, 32), 5), "image/jpeg");
        // Only "中止" ends the run, however long the single fetch takes.
        settings().EditUchikiri->setText(QStringLiteral("3600"));
        form().ComboURL->setEditText(a.url("/i.html"));
        form().BtTansaku->click();
        QTRY_VERIFY_WITH_TIMEOUT(a.requestedPaths().contains("/s2.html"), 10000);
        const QString log = form().MemoLog->toPlainText();
        form().fetchSingleImage(a.url("/pic.jpg"));
        QTRY_VERIFY_WITH_TIMEOUT(m_panel0.contains(QStringLiteral("画像表示完了")), 20000);
        QVERIFY(!m_panel0.contains(QStringLiteral("探索終了")));
        QVERIFY(form().MemoLog->toPlainText().startsWith(log));
        QVERIFY(form().crawler().runActive());
        QCOMPARE(form().stopIconIndex(), 8);
        form().BtStop->click();
    }

    void writingAPictureOut()
    {
        const QString jpeg = m_save->filePath("a.jpg");
        QVERIFY(writePicture(jpeg, QSize(20, 10)));
        picturedb::PictureDatabase& db = form().photo();
        QVERIFY(picturedb::RegisterFile(db.catalogue(), false, {}, {}, QDate(2026, 1, 1), 100, jpeg));
        const QString out = m_save->filePath("out.jpg");
        QCOMPARE(saveThroughTheDialog(out), QString());
        QCOMPARE(form().stb(0), QStringLiteral("画像保存完了"));
        QCOMPARE(fileBytes(out), fileBytes(jpeg));

        // A bitmap row holds only the marker: nothing is written, and it says so.
        store::Table& images = *form().dm().TaImage;
        QVERIFY(db.catalogue().LocateImage(1));
        images.edit();
        images.fieldByName("画像").setAsBytes("www");
        images.post();
        form().setStb(0, QString());
        QCOMPARE(saveThroughTheDialog(m_save->filePath("none.jpg")), QStringLiteral("書き出す画像がありません"));
        QVERIFY(!QFile::exists(m_save->filePath("none.jpg")));
        QCOMPARE(form().stb(0), QString());
    }

private:
    app::TFormMain& form() { return m_fixture->form(); }
    app::TFormSetting& settings() { return *m_fixture->windows().FormSetting; }

    void crawl(const QString& address)
    {
        m_panel0.clear();
        form().ComboURL->setEditText(address);
        form().BtTansaku->click();
        QTRY_VERIFY_WITH_TIMEOUT(m_panel0.contains(QStringLiteral("探索終了")), 30000);
    }
    QStringList listRows()
    {
        QStringList out;
        store::Table& t = *form().dm3().TaList2;
        store::openIfClosed(t);
        t.refresh();
        for (t.first(); !t.eof() && !t.isEmpty(); t.next())
            out << t.fieldByName("フルパス名").asString();
        return out;
    }
    void selectLinkRow(int row)
    {
        store::Table& t = *form().dm3().TaLinkImg;
        t.refresh();
        t.moveTo(row);
    }
    // Saves the current record's picture as a person would; returns the text
    // of a message that followed, if any.
    QString saveThroughTheDialog(const QString& path)
    {
        std::unique_ptr<ModalAnswer> message;
        ModalAnswer dialog([&](QWidget* w) {
            auto* d = qobject_cast<QFileDialog*>(w);
            QVERIFY(d);
            // Typed: the name box has the focus, so selectFile() would leave it alone.
            auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(name);
            name->setText(path);
            message = std::make_unique<ModalAnswer>([](QWidget* m) { pressButton(m, QMessageBox::Ok); });
            QMetaObject::invokeMethod(d, "accept");
        });
        form().photo().record()->Button12->click();
        [&] { QVERIFY(dialog.wasShown()); }();
        return message && message->wasShown() ? message->text() : QString();
    }

    std::unique_ptr<AppFixture> m_fixture;
    std::unique_ptr<QTemporaryDir> m_save;
    QStringList m_panel0;
};

QTEST_MAIN(TestAcceptance)
#include "tst_acceptance.moc"
