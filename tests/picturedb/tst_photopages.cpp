#include "app/DatabaseTab.h"
#include "app/FileListTab.h"
#include "app/FormMain.h"
#include "app/FormSetting.h"
#include "app/SearchTab.h"
#include "app/Windows.h"
#include "controls/DBEdit.h"
#include "controls/DBGrid.h"
#include "controls/MsgBtn.h"
#include "controls/RadioGroup.h"
#include "controls/StdArr.h"
#include "disk/DirectoryPanel.h"
#include "disk/FormDirectory.h"
#include "picturedb/DatabasePages.h"
#include "picturedb/FormDBList.h"
#include "picturedb/FormPassword.h"
#include "picturedb/PasswordHash.h"
#include "picturedb/PictureDatabase.h"
#include "picturedb/RecordPage.h"
#include "picturedb/Registration.h"
#include "search/SearchPage.h"
#include "store/DataMd3.h"
#include "store/DataMod.h"
#include "store/DataSource.h"
#include "store/Fingerprints.h"
#include "store/HeldThumbnails.h"
#include "store/Query.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/TableOps.h"
#include "support/AppFixture.h"
#include "support/ModalHelper.h"
#include "support/PhotoData.h"
#include "support/TestBackend.h"
#include "viewing/FormView.h"
#include "viewing/PerceptualHash.h"
#include "viewing/PictureLoader.h"
#include "viewing/TImage.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QTest>
#include <QToolButton>

using picturedb::PictureDatabase;

// The picture-database pages driven through the main window: opening and
// protecting databases, the record page, and the registration roads.
class TestPhotoPages : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_fixture = std::make_unique<AppFixture>();
        m_fixture->start();
        m_files = std::make_unique<QTemporaryDir>();
        QVERIFY(m_files->isValid());
        m_status.clear();
        connect(&form(), &app::TFormMain::statusChanged, this, [this](int panel, const QString& text) {
            if (panel == 0)
                m_status << text;
        });
    }
    void cleanup()
    {
        m_fixture.reset();
        m_files.reset();
    }

    void startUpOpensTheTemplatesSample()
    {
        const picturedb::DatabaseState& s = photo().state();
        QCOMPARE(s.CurrentDatabase, QStringLiteral("Sample"));
        QVERIFY(s.DatabaseChosen);
        QVERIFY(!s.IndexMode);
        QCOMPARE(s.FieldLabels[2], QStringLiteral("ファイル名"));
        QCOMPARE(record().LabelHokan->text(), QStringLiteral("取込方式"));
        QCOMPARE(form().LabelHokan2->text(), QStringLiteral("取込方式"));
        QCOMPARE(captions(), (QStringList{"分類", "タイトル", "ファイル名", "説明"}));
        QCOMPARE(record().DBEdit3->dataField(), QStringLiteral("ファイル名"));
        QCOMPARE(form().RadioHyouji2->item(4)->text(), QStringLiteral("説明"));
        QCOMPARE(resultTitles(), (QStringList{"連番", "分類", "タイトル", "ファイル名", "サイズ", "更新日"}));
        QVERIFY(form().MemoLog->toPlainText().contains(
            QStringLiteral("分類 0\nタイトル 1\nファイル名 2\n説明 3\nDBEdit3  :ファイル名")));
        QVERIFY(pages().GroupKoumokuCopy->isVisibleTo(form().TabDBSettei));
        QVERIFY(!pages().GroupKoumoku->isVisibleTo(form().TabShinki));
        QCOMPARE(form().dm().TaItem->recordCount(), 4);
        QVERIFY(!record().ButtonUpdate->isEnabled());
        QCOMPARE(form().fileListTab()->DBEditDBName->text(), QStringLiteral("Sample"));
    }

    // The list chooses; the chosen database opens and every page follows it.
    void choosingADatabase()
    {
        makeDatabase(store(), QStringLiteral("Travel"), true);
        QVERIFY(choose(form().fileListTab()->ButtonDBName, QStringLiteral("Travel")));
        const picturedb::DatabaseState& s = photo().state();
        QCOMPARE(s.CurrentDatabase, QStringLiteral("Travel"));
        QCOMPARE(form().EditDBName->text(), QStringLiteral("Travel"));
        QVERIFY(s.DatabaseChosen && s.IndexMode && s.ShowOnNavigate);
        QCOMPARE(m_status.mid(m_status.size() - 2), (QStringList{"ＤＢ切替完了", "Travel"}));
        QCOMPARE(pages().RadioHokan->itemIndex(), 1);
        QCOMPARE(pages().RadioHokanDisp->itemIndex(), 1);
        QCOMPARE(record().LabelHokan->text(), QStringLiteral("索引方式"));
        QCOMPARE(form().LabelHokan2->text(), QStringLiteral("索引方式"));
        for (QLineEdit* box : {static_cast<QLineEdit*>(form().fileListTab()->DBEditDBName),
                               static_cast<QLineEdit*>(form().DBEditDBName2),
                               static_cast<QLineEdit*>(m_fixture->windows().FormSetting->DBEdit11)})
            QCOMPARE(box->text(), QStringLiteral("Travel"));

        // Cancel in the list changes nothing.
        ModalAnswer cancel([](QWidget* w) { QTest::keyClick(qobject_cast<picturedb::TFormDBList*>(w)->DBGrid1, Qt::Key_Escape); });
        form().Button17->click();
        QVERIFY(cancel.wasShown());
        QCOMPARE(s.CurrentDatabase, QStringLiteral("Travel"));
        QVERIFY(!s.ShowOnNavigate);
    }

    // A wrong or cancelled password leaves the open database open and named.
    void aProtectedDatabase()
    {
        makeDatabase(store(), QStringLiteral("Secret"), false, picturedb::hashPassword(QStringLiteral("Pw-1")));
        QString passwordStatus;
        QVERIFY(choose(form().fileListTab()->ButtonDBName, QStringLiteral("Secret"), [&](picturedb::TFormPassword* p) {
            QVERIFY(p->EditPassword->echoMode() == QLineEdit::Password);
            QVERIFY(!p->EditPasswd->isVisible());
            QTest::keyClicks(p->EditPassword, QStringLiteral("pw-1"));
            QTest::keyClick(p->EditPassword, Qt::Key_Return);
            QVERIFY(p->isVisible());
            passwordStatus = p->StatusBar1->currentMessage();
            armMessage(QStringLiteral("データベース該当なし"));
            p->Button1->click();
        }));
        QCOMPARE(passwordStatus, QStringLiteral("パスワード・エラー"));
        QVERIFY(m_messageSeen);
        expectOpen(QStringLiteral("Sample"));
        QVERIFY(photo().state().DatabaseChosen);
        QCOMPARE(form().fileListTab()->DBEditDBName->text(), QStringLiteral("Sample"));

        QVERIFY(choose(form().fileListTab()->ButtonDBName, QStringLiteral("Secret"), [](picturedb::TFormPassword* p) {
            QTest::keyClicks(p->EditPassword, QStringLiteral("Pw-1"));
            p->BitBtn1->click();
        }));
        expectOpen(QStringLiteral("Secret"));
        QVERIFY(m_fixture->windows().FormPassword->EditPasswd->text().isEmpty());

        // Typed in the settings page beforehand: no window, and the box is emptied and hidden.
        QVERIFY(photo().OpenDatabase(QStringLiteral("Sample")));
        pages().CheckPassword->click();
        QVERIFY(pages().EditPassword->isVisibleTo(form().TabDBSettei));
        QTest::keyClicks(pages().EditPassword, QStringLiteral("Pw-1"));
        QVERIFY(choose(form().Button17, QStringLiteral("Secret")));
        expectOpen(QStringLiteral("Secret"));
        QVERIFY(pages().EditPassword->text().isEmpty());
        QVERIFY(!pages().CheckPassword->isChecked());
        QVERIFY(!pages().EditPassword->isVisibleTo(form().TabDBSettei));
    }

    void settingAPassword_data()
    {
        QTest::addColumn<QString>("nameBox");
        QTest::addColumn<QString>("storedBefore");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("matchesAfter");
        QTest::newRow("nothing typed") << "Sample" << "" << "" << "パスワード未設定" << "";
        QTest::newRow("no name") << "" << "" << "abc" << "データベース未設定" << "";
        QTest::newRow("no such database") << "Nowhere" << "" << "abc" << "データベース該当なし" << "";
        QTest::newRow("first password") << "Sample" << "" << "abc" << "" << "abc";
        QTest::newRow("the same again") << "Sample" << "abc" << "abc" << "" << "abc";
        QTest::newRow("another one") << "Sample" << "abc" << "xyz" << "パスワードが違います" << "abc";
    }
    void settingAPassword()
    {
        QFETCH(QString, nameBox);
        QFETCH(QString, storedBefore);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QFETCH(QString, matchesAfter);
        const QString stored = storedBefore.isEmpty() ? QString() : picturedb::hashPassword(storedBefore);
        setStoredPassword(QStringLiteral("Sample"), stored);
        form().EditDBName->setText(nameBox);
        pages().CheckPassword->click();
        QTest::keyClicks(pages().EditPassword, typed);
        std::unique_ptr<ModalAnswer> box;
        if (!message.isEmpty())
            box = std::make_unique<ModalAnswer>([](QWidget* w) { pressButton(w, QMessageBox::Ok); });
        pages().ButtonSettei->click();
        if (box) {
            QVERIFY(box->wasShown());
            QCOMPARE(box->text(), message);
            QCOMPARE(form().stb(0), QString());
        } else {
            QCOMPARE(form().stb(0), QStringLiteral("パスワード設定完了"));
        }
        const QString after = storedPassword(QStringLiteral("Sample"));
        if (matchesAfter.isEmpty()) {
            QVERIFY(after.isEmpty());
        } else {
            QVERIFY(picturedb::isPasswordHash(after));
            QVERIFY(picturedb::passwordMatches(after, matchesAfter));
        }
        if (!stored.isEmpty())
            QCOMPARE(after, stored); // never replaced
    }

    // Neither the store file nor the settings hold a password as typed; an
    // old plain one is replaced by its hash when it is first used.
    void noPasswordIsKeptAsTyped()
    {
        const QString typed = QStringLiteral("Zq7-unique-pw");
        pages().CheckPassword->click();
        QTest::keyClicks(pages().EditPassword, typed);
        pages().ButtonSettei->click();
        QCOMPARE(form().stb(0), QStringLiteral("パスワード設定完了"));
        makeDatabase(store(), QStringLiteral("Old"), false, QStringLiteral("legacy-9"));
        QVERIFY(choose(form().Button17, QStringLiteral("Old"), [](picturedb::TFormPassword* p) {
            QTest::keyClicks(p->EditPassword, QStringLiteral("legacy-9"));
            QTest::keyClick(p->EditPassword, Qt::Key_Return);
        }));
        expectOpen(QStringLiteral("Old"));
        QVERIFY(picturedb::passwordMatches(storedPassword(QStringLiteral("Old")), QStringLiteral("legacy-9")));
        QVERIFY(picturedb::isPasswordHash(storedPassword(QStringLiteral("Old"))));

        const QString storeFile = m_fixture->photo().storePath();
        const QString settingsFile = m_fixture->settings().filePath();
        m_fixture->stop();
        for (const QString& path : {storeFile, storeFile + QStringLiteral("-wal"), settingsFile}) {
            const QByteArray bytes = fileBytes(path);
            QVERIFY2(!bytes.contains(typed.toUtf8()), qPrintable(path));
            const QByteArray utf16(reinterpret_cast<const char*>(typed.utf16()), typed.size() * 2);
            QVERIFY2(!bytes.contains(utf16), qPrintable(path));
        }
    }

    // Two marked JPEG files and a marked GIF make two records.
    void registeringMarkedFiles()
    {
        {
            ModalAnswer none([](QWidget* w) { pressButton(w, QMessageBox::Ok); });
            form().fileListTab()->Button51->click();
            QVERIFY(none.wasShown());
            QCOMPARE(none.text(), QStringLiteral("リストに印をつけて下さい"));
        }
        registerFiles({QSize(40, 30), QSize(30, 40)}, /*withGif*/ true);
        QCOMPARE(form().stb(0), QStringLiteral("登録完了 2件"));
        QCOMPARE(store().countRows(QStringLiteral("Sample")), 2);
        // The record page shows the last record registered.
        QCOMPARE(record().DBEditRenban->text(), QStringLiteral("2"));
        QCOMPARE(record().ImagePhoto->pictureSize(), QSize(30, 40));
        QCOMPARE(form().dm3().TaList->recordCount(), 3);

        // "登録時にファイル削除": two adjacent rows, both registered and gone with their files.
        form().fileListTab()->CheckFileDelete->setChecked(true);
        registerFiles({QSize(8, 8), QSize(9, 9)});
        QCOMPARE(form().stb(0), QStringLiteral("登録完了 2件"));
        QCOMPARE(form().dm3().TaList->recordCount(), 0);
        QCOMPARE(QDir(m_files->path()).entryList({QStringLiteral("*.jpg")}).size(), 2); // the first two
    }

    // With "同じ画像は保存・登録しない" a file whose bytes the database holds,
    // or an earlier row brought, is skipped; a deleted record's bytes come in
    // again; with the setting off every file is registered.
    void registeringTheSameBytesOnce_data()
    {
        QTest::addColumn<QStringList>("marked"); // a, its copy b, c other bytes
        QTest::addColumn<bool>("deleteFirst");    // record 1 (a) deleted before
        QTest::addColumn<bool>("noDuplicates");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("records");
        QTest::newRow("a file and its copy") << QStringList{"a", "b", "c"} << false << true
                                             << "登録完了 2件 (重複 1件)" << 2;
        QTest::newRow("again") << QStringList{"a", "c"} << false << true << "登録完了 0件 (重複 2件)" << 2;
        QTest::newRow("after its record went") << QStringList{"b"} << true << true << "登録完了 1件 (重複 0件)" << 2;
        QTest::newRow("setting off") << QStringList{"a", "b"} << false << false << "登録完了 2件" << 4;
    }
    void registeringTheSameBytesOnce()
    {
        QFETCH(QStringList, marked);
        QFETCH(bool, deleteFirst);
        QFETCH(bool, noDuplicates);
        QFETCH(QString, status);
        QFETCH(int, records);
        QVERIFY(writePicture(file("a.jpg"), QSize(20, 10)));
        QVERIFY(QFile::copy(file("a.jpg"), file("b.jpg")));
        QVERIFY(writePicture(file("c.jpg"), QSize(10, 20)));
        // Every row but the first starts from a and c registered.
        m_fixture->windows().FormSetting->CheckNoDuplicate->setChecked(true);
        store::Table& list = *form().dm3().TaList;
        const auto registerRows = [&](const QStringList& names) {
            store::EmptyTableNow(list);
            for (const QString& name : names)
                addFileRow(list, file(name + ".jpg"), true);
            form().fileListTab()->Button51->click();
        };
        if (QTest::currentDataTag() != QByteArray("a file and its copy")) {
            registerRows({"a", "c"});
            QCOMPARE(store().countRows(QStringLiteral("Sample")), 2);
        }
        if (deleteFirst) {
            QVERIFY(photo().catalogue().LocateRecord(1));
            record().DeleteCurrentRecord();
        }
        m_fixture->windows().FormSetting->CheckNoDuplicate->setChecked(noDuplicates);
        registerRows(marked);
        QCOMPARE(form().stb(0), status);
        QCOMPARE(store().countRows(QStringLiteral("Sample")), qint64(records));
        if (!noDuplicates)
            return;
        // Each record kept gets its picture's perceptual hash in the background.
        for (const QString& name : {QStringLiteral("a"), QStringLiteral("c")}) {
            const QVariant serial = store().value(QStringLiteral("SELECT serial FROM \"_FingerprintDB\" WHERE sha256 = ?"),
                                                  {store::sha256OfFile(file(name + ".jpg"))});
            QVERIFY(serial.isValid());
            const QString hash = QStringLiteral("SELECT hash FROM \"_FingerprintDB\" WHERE serial = %1").arg(serial.toInt());
            QTRY_COMPARE_WITH_TIMEOUT(quint64(store().value(hash).toLongLong()),
                                      viewing::fingerprintFile(file(name + ".jpg"))->hash, 20000);
        }
    }

    // "中止" while the bar shows a registration's progress stops it after the
    // record in hand: the records written are whole and are those counted.
    void stoppingARegistration()
    {
        constexpr int marked = 30;
        store::Table& list = *form().dm3().TaList;
        store::EmptyTableNow(list);
        for (int i = 0; i < marked; ++i) {
            const QString path = file(QStringLiteral("s%1.jpg").arg(i));
            QVERIFY(writePicture(path, QSize(16, 16)));
            addFileRow(list, path, true);
        }
        QProgressBar* bar = form().ProgressBar;
        int totalShown = -1;
        QTimer watch; // runs while the registration turns the event loop
        connect(&watch, &QTimer::timeout, this, [&] {
            if (totalShown < 0 && bar->isVisible() && bar->value() > 0) {
                totalShown = bar->maximum();
                QTest::mouseClick(form().BtStop, Qt::LeftButton);
            }
        });
        watch.start(0);
        form().fileListTab()->Button51->click();
        watch.stop();

        QCOMPARE(totalShown, marked);
        QVERIFY(!bar->isVisible());
        const qint64 records = store().countRows(QStringLiteral("Sample"));
        QVERIFY2(records > 0 && records < marked, qPrintable(QString::number(records)));
        QCOMPARE(form().stb(0), QStringLiteral("登録完了 %1件").arg(records));
        QVERIFY(!photo().state().IndexMode);
        QCOMPARE(store().countRows(QStringLiteral("Sample_")), records); // each record with its picture
        QVERIFY(form().G1->isEnabled()); // the menu is whole again
    }

    // A record table of the five system fields alone has no items to show.
    void aDatabaseWithoutUserItems()
    {
        store().createTable(QStringLiteral("Bare"), store().fieldDefs(QStringLiteral("_PHOTO.DB")).mid(0, 5),
                            store().indexDefs(QStringLiteral("_PHOTO.DB")));
        store().createTable(QStringLiteral("Bare_"), store().fieldDefs(QStringLiteral("Sample_")),
                            store().indexDefs(QStringLiteral("Sample_")));
        QVERIFY(photo().catalogue().AddCatalogueEntry(QStringLiteral("Bare"), QString(), false));
        QVERIFY(choose(form().Button17, QStringLiteral("Bare")));
        QCOMPARE(photo().state().CurrentDatabase, QStringLiteral("Bare"));
        QVERIFY(std::all_of(photo().state().FieldLabels.begin(), photo().state().FieldLabels.end(),
                            [](const QString& l) { return l.isEmpty(); }));
        QCOMPARE(form().dm().TaItem->recordCount(), 0);
        QCOMPARE(captions(), (QStringList{"", "", "", ""}));
    }

    void navigatingShowsEachRecordsPicture()
    {
        registerFiles({QSize(40, 30), QSize(30, 40), QSize(50, 20)});
        record().DBNavigator5->button(0)->click();
        QCOMPARE(record().DBEditRenban->text(), QStringLiteral("1"));
        QTRY_COMPARE(record().ImagePhoto->pictureSize(), QSize(40, 30));
        QCOMPARE(record().PanelPhoto->size(), QSize(273, 288)); // 伸縮 is off
        record().CheckStretch2->click();
        QCOMPARE(record().PanelPhoto->size(), QSize(273, 204));

        // A record without its image row keeps the picture shown before.
        QVERIFY(photo().catalogue().LocateImage(2));
        form().dm().TaImage->remove();
        record().DBNavigator5->button(2)->click();
        QTRY_COMPARE(form().stb(0), QStringLiteral("CallGazou Error"));
        QCOMPARE(record().ImagePhoto->pictureSize(), QSize(40, 30));
        record().DBNavigator5->button(3)->click();
        QTRY_COMPARE(record().ImagePhoto->pictureSize(), QSize(50, 20));
        QVERIFY(QDir::current().entryList({QStringLiteral("_Photmp*")}).isEmpty());

        // While a registration from the browser has it off, moving shows nothing new.
        photo().state().ShowOnNavigate = false;
        QSignalSpy moved(form().dm().TaPhoto, &store::Table::cursorMoved);
        form().dm().TaPhoto->first();
        QTRY_VERIFY(moved.count() >= 1); // the page has seen the move
        QCOMPARE(record().ImagePhoto->pictureSize(), QSize(50, 20));

        // "ﾃｰﾌﾞﾙ" shows the record's picture whole in a new view window.
        setItem(1, QStringLiteral("旅"));
        setItem(2, QStringLiteral("海"));
        form().PageMain->setCurrentWidget(form().TabPhoto);
        form().BtTable->click();
        QCOMPARE(viewTitles(), QStringList{QStringLiteral("旅 海 (40 x 30)")});
    }

    void writingARecord()
    {
        registerFiles({QSize(40, 30), QSize(30, 40)});
        // An edited item enables "更新(&U)", which writes it.
        typeText(record().DBEdit2, QStringLiteral("夏"));
        QVERIFY(record().ButtonUpdate->isEnabled());
        record().ButtonUpdate->click();
        QCOMPARE(form().stb(0), QStringLiteral("更新完了"));
        QVERIFY(!record().ButtonUpdate->isEnabled());
        QCOMPARE(recordField(2, 6), QStringLiteral("夏"));

        // A serial that another record has is refused and the record comes back.
        retype(record().DBEditRenban, QStringLiteral("1"));
        {
            ModalAnswer refused([](QWidget* w) { pressButton(w, QMessageBox::Ok); });
            record().ButtonUpdate->click();
            QVERIFY(refused.wasShown());
            QCOMPARE(refused.text(), QStringLiteral("登録エラー ： キーを確認してください"));
        }
        QCOMPARE(record().DBEditRenban->text(), QStringLiteral("2"));
        QCOMPARE(form().dm().TaPhoto->state(), store::Table::State::Browse);
        // A failed write keeps the error in the status, never "更新完了".
        QCOMPARE(form().stb(0), QStringLiteral("登録エラー ： キーを確認してください"));

        // A free serial takes the image row along.
        const QByteArray picture = imageBytes(2);
        retype(record().DBEditRenban, QStringLiteral("9"));
        record().ButtonUpdate->click();
        QCOMPARE(imageBytes(9), picture);
        QVERIFY(!photo().catalogue().LocateImage(2));
        // "ｷｬﾝｾﾙ" drops an edit.
        QTest::keyClicks(record().DBEdit1, QStringLiteral("x"));
        record().ButtonCancel->click();
        QCOMPARE(record().DBEdit1->text(), QString());
    }

    void deletingRecords()
    {
        registerFiles({QSize(40, 30), QSize(30, 40), QSize(20, 20)});
        // A deleted record's thumbnail goes with it; a later record may take its serial.
        const qint32 shown = form().dm().TaPhoto->fieldByName(QStringLiteral("連番")).asInteger();
        for (qint32 serial : {1, 2, 3})
            store::HeldThumbnails(store()).put(QStringLiteral("Sample"), serial, 128, {1, "a"},
                                               {QByteArray("x"), QSize(1, 1), QStringLiteral("JPEG")});
        {
            ModalAnswer confirm([](QWidget* w) { pressButton(w, QMessageBox::Ok); });
            record().MsgBitBtn3->click();
            QVERIFY(confirm.wasShown());
            QCOMPARE(confirm.text(), QStringLiteral("レコード削除 ＯＫ？"));
        }
        QCOMPARE(m_status.mid(m_status.size() - 2), (QStringList{"削除完了", "削除完了 画像"}));
        QCOMPARE(keptThumbnails(QStringLiteral("Sample")), 2);
        QVERIFY(!store::HeldThumbnails(store()).find(QStringLiteral("Sample"), shown, 128, {1, "a"}));
        QCOMPARE(store().countRows(QStringLiteral("Sample")), 2);
        QCOMPARE(store().countRows(QStringLiteral("Sample_")), 2);

        // The search result's "削除" deletes the record of the selected row,
        // then searches again: no row of it is left to delete the record that
        // takes its serial next.
        form().searchPage()->RunSearch();
        QTableView* grid = form().DBGridQuery;
        grid->setCurrentIndex(grid->model()->index(0, 0));
        form().Delete3->trigger();
        QCOMPARE(form().stb(0), QStringLiteral("削除完了"));
        QVERIFY(!photo().catalogue().LocateRecord(1));
        QVERIFY(photo().catalogue().LocateRecord(2));
        QCOMPARE(store().countRows(QStringLiteral("Sample_")), 1);
        QCOMPARE(grid->model()->rowCount(), 1);
        QCOMPARE(grid->model()->index(0, 0).data().toInt(), 2);
        QCOMPARE(form().searchPage()->LabelCt->text(), QStringLiteral("1"));

        // An index-mode record has no image row: the record alone goes.
        makeDatabase(store(), QStringLiteral("Index"), true);
        QVERIFY(photo().OpenDatabase(QStringLiteral("Index")));
        registerFiles({QSize(10, 10)});
        ModalAnswer confirm([](QWidget* w) { pressButton(w, QMessageBox::Ok); });
        record().MsgBitBtn3->click();
        QCOMPARE(form().stb(0), QStringLiteral("削除完了"));
        QCOMPARE(store().countRows(QStringLiteral("Index")), 0);
    }

    void registeringAddresses()
    {
        const QDateTime when(QDate(2026, 3, 4), QTime(5, 6));
        addAddressRow(*form().dm3().TaLinkImg, QStringLiteral("http://h/1.jpg"), true, when);
        addAddressRow(*form().dm3().TaLinkImg, QStringLiteral("http://h/2.jpg"), true, when);
        // Import mode refuses before any row is read; so does no chosen database.
        expectMessage(form().Button5, QStringLiteral("登録できるのは、索引方式のデータベースのみです"));
        photo().state().DatabaseChosen = false;
        expectMessage(form().Button5, QStringLiteral("DB名称を選択してください"));
        QCOMPARE(form().dm3().TaLinkImg->recordCount(), 2);

        makeDatabase(store(), QStringLiteral("Web"), true);
        QVERIFY(choose(form().Button4, QStringLiteral("Web")));
        form().Button5->click();
        QCOMPARE(form().stb(0), QStringLiteral("登録完了 2件"));
        QCOMPARE(form().dm3().TaLinkImg->recordCount(), 0);
        QCOMPARE(recordField(2, 7), QStringLiteral("http://h/2.jpg"));
        QCOMPARE(recordField(2, 2), QStringLiteral("0"));
    }

    void registeringFromTheBrowser_data()
    {
        QTest::addColumn<bool>("indexMode");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("kind");
        QTest::newRow("JPEG, import") << false << "a.jpg" << "JPEG";
        QTest::newRow("BMP, import") << false << "b.bmp" << "BMP";
        QTest::newRow("JPEG, index") << true << "a.jpg" << "JPEG";
    }
    void registeringFromTheBrowser()
    {
        QFETCH(bool, indexMode);
        QFETCH(QString, fileName);
        QFETCH(QString, kind);
        if (indexMode) {
            makeDatabase(store(), QStringLiteral("Index"), true);
            QVERIFY(photo().OpenDatabase(QStringLiteral("Index")));
        }
        const QString path = file(fileName);
        QVERIFY(writePicture(path, QSize(24, 16), kind == u"BMP" ? "BMP" : "JPEG"));
        // "追加(&N)" needs a name; then it shows the browser.
        form().EditDBName->clear();
        expectMessage(record().Button7, QStringLiteral("DB名称を指定してください"));
        form().EditDBName->setText(photo().state().CurrentDatabase);
        record().Button7->click();
        disk::TFormDirectory& browser = *m_fixture->windows().FormDirectory;
        QVERIFY(browser.isVisible());
        QVERIFY(browser.setDirectory(m_files->path()));
        QTRY_VERIFY(browser.panel()->selectFile(path));
        QTRY_VERIFY(browser.Image1->hasPicture());
        // "登録後、ファイルを削除": the file goes only once its record is written,
        // and never in index mode, where the record points to it.
        browser.MenuFileDelete->setChecked(true);
        const QByteArray bytes = fileBytes(path);

        browser.Button1->click();
        QVERIFY(QFile::exists(path));
        QCOMPARE(form().PageMain->currentWidget(), form().TabPhoto);
        QCOMPARE(form().PagePhoto->currentWidget(), form().TabToroku);
        QCOMPARE(form().dm().TaPhoto->state(), store::Table::State::Insert);
        QCOMPARE(record().ImagePhoto->pictureSize(), QSize(24, 16));
        QVERIFY(form().MemoLog->toPlainText().endsWith(QStringLiteral("\n1")));
        typeText(record().DBEdit2, QStringLiteral("題"));
        record().ButtonUpdate->click();
        QCOMPARE(QFile::exists(path), indexMode);
        const QString table = photo().state().CurrentDatabase;
        QCOMPARE(recordField(1, 1), kind);
        QCOMPARE(recordField(1, 2), QString::number(bytes.size()));
        QCOMPARE(recordField(1, 6), QStringLiteral("題"));
        QCOMPARE(recordField(1, 7), indexMode ? path : QString());
        QVERIFY(photo().catalogue().LocateImage(1));
        store::Table& images = *form().dm().TaImage;
        if (indexMode)
            QVERIFY(images.fieldByName(QStringLiteral("画像")).asBytes().isEmpty());
        else if (kind == u"JPEG")
            QCOMPARE(images.fieldByName(QStringLiteral("画像")).asBytes(), bytes);
        else
            QCOMPARE(images.fieldByName(QStringLiteral("画像")).asBytes(), QByteArrayLiteral("www"));

        // A started record discarded with "ｷｬﾝｾﾙ" leaves no image row behind,
        // and its file stays.
        const QString second = file(QStringLiteral("second.") + QFileInfo(fileName).suffix());
        QVERIFY(writePicture(second, QSize(8, 8), kind == u"BMP" ? "BMP" : "JPEG"));
        QTRY_VERIFY(browser.panel()->selectFile(second));
        browser.Button1->click();
        QCOMPARE(form().dm().TaPhoto->state(), store::Table::State::Insert);
        record().ButtonCancel->click();
        QCOMPARE(store().countRows(table), 1);
        QCOMPARE(store().countRows(table + QLatin1Char('_')), 1);
        QVERIFY(QFile::exists(second));

        // A registration the store refuses keeps the file too.
        store().exec(QStringLiteral("DROP TABLE \"%1_\"").arg(table));
        {
            ModalAnswer error([](QWidget* w) { pressButton(w, QMessageBox::Ok); });
            browser.Button1->click();
            QVERIFY(error.wasShown());
        }
        QVERIFY(QFile::exists(second));
    }

    // "登録(&I)" keeps a file whose kind is ticked and whose bytes are of that
    // kind: JPEG always, the other kinds only with a new type ticked. The
    // browser's "登録(&N)" always makes a record, and keeps the bytes of the
    // same files, but a BMP file's bitmap as ever.
    void registeringEachKind_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("format");    // what the file holds
        QTest::addColumn<QStringList>("ticks"); // boxes ticked besides JPEG; "-JPEG" clears it
        QTest::addColumn<QString>("kind");      // its 画像種別; "" when it is skipped
        QTest::newRow("PNG ticked, upper-case name") << "p.PNG" << "PNG" << QStringList{"PNG"} << "PNG";
        QTest::newRow("GIF ticked with PNG") << "g.gif" << "GIF" << QStringList{"GIF", "PNG"} << "GIF";
        QTest::newRow("BMP ticked with markup") << "b.bmp" << "BMP" << QStringList{"BMP", "Markup"} << "BMP";
        QTest::newRow("WebP ticked") << "w.webp" << "WEBP" << QStringList{"WebP"} << "WEBP";
        QTest::newRow("AVIF ticked") << "a.avif" << "AVIF" << QStringList{"AVIF"} << "AVIF";
        QTest::newRow("JPEG, nothing new") << "j.jpg" << "JPEG" << QStringList{} << "JPEG";
        QTest::newRow("JPEG, its box cleared") << "j.jpg" << "JPEG" << QStringList{"-JPEG", "PNG"} << "JPEG";
        QTest::newRow(".jpeg with markup") << "j.jpeg" << "JPEG" << QStringList{"Markup"} << "JPEG";
        QTest::newRow("PNG not ticked") << "p.png" << "PNG" << QStringList{"WebP"} << "";
        QTest::newRow("GIF ticked, nothing new") << "g.gif" << "GIF" << QStringList{"GIF", "BMP"} << "";
        QTest::newRow("JPEG bytes named .png") << "x.png" << "JPEG" << QStringList{"PNG"} << "";
        QTest::newRow("PNG bytes named .jpg") << "x.jpg" << "PNG" << QStringList{} << "";
    }
    void registeringEachKind()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, format);
        QFETCH(QStringList, ticks);
        QFETCH(QString, kind);
        for (const QString& tick : ticks) {
            const bool on = !tick.startsWith(u'-');
            auto* box = m_fixture->windows().FormSetting->findChild<QCheckBox*>(QStringLiteral("Check") + tick.mid(on ? 0 : 1));
            QVERIFY(box);
            box->setChecked(on);
        }
        const QString path = file(fileName);
        writeKind(path, format);
        addFileRow(*form().dm3().TaList, path, true);
        form().fileListTab()->Button51->click();
        QCOMPARE(form().stb(0), QStringLiteral("登録完了 %1件").arg(kind.isEmpty() ? 0 : 1));
        QCOMPARE(recordField(1, 1), kind.isEmpty() ? QStringLiteral("(none)") : kind);
        if (!kind.isEmpty())
            QCOMPARE(imageBytes(1), fileBytes(path));

        photo().RegisterFromBrowser(path, viewing::loadPicture(path).value_or(viewing::Picture{}));
        QCOMPARE(form().dm().TaPhoto->state(), store::Table::State::Insert);
        if (!kind.isEmpty())
            QCOMPARE(form().dm().TaPhoto->fieldByName(QStringLiteral("画像種別")).asString(), kind);
        QCOMPARE(imageBytes(kind.isEmpty() ? 1 : 2),
                 kind.isEmpty() ? QByteArray() : kind == u"BMP" ? QByteArrayLiteral("www") : fileBytes(path));
    }

    // "ファイル書出(&W)" offers the extension of the record's kind and writes
    // its bytes as they are.
    void writingOutEachKind_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("format"); // also the kind's name
        QTest::addColumn<QString>("suffix");
        QTest::newRow("JPEG") << "j.JPG" << "JPEG" << "jpg";
        QTest::newRow("PNG") << "p.png" << "PNG" << "png";
        QTest::newRow("GIF") << "g.gif" << "GIF" << "gif";
        QTest::newRow("BMP") << "b.bmp" << "BMP" << "bmp";
        QTest::newRow("WebP") << "w.webp" << "WEBP" << "webp";
        QTest::newRow("AVIF") << "a.avif" << "AVIF" << "avif";
    }
    void writingOutEachKind()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, format);
        QFETCH(QString, suffix);
        const QString path = file(fileName);
        writeKind(path, format);
        viewing::PictureTypes every;
        every.gif = every.bmp = every.png = every.webp = every.avif = true;
        QVERIFY(picturedb::RegisterFile(photo().catalogue(), false, {}, {}, QDate(2026, 1, 1), 1, path, every));
        QString defaultSuffix;
        QStringList filters;
        ModalAnswer dialog([&](QWidget* w) {
            auto* d = qobject_cast<QFileDialog*>(w);
            QVERIFY(d);
            defaultSuffix = d->defaultSuffix();
            filters = d->nameFilters();
            // Typed without an extension: the dialog adds the default one.
            auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            QVERIFY(name);
            name->setText(file(QStringLiteral("out")));
            QMetaObject::invokeMethod(d, "accept");
        });
        record().Button12->click();
        QVERIFY(dialog.wasShown());
        QCOMPARE(defaultSuffix, suffix);
        QCOMPARE(filters, QStringList(QStringLiteral("%1 (*.%2)").arg(format, suffix)));
        QCOMPARE(form().stb(0), QStringLiteral("画像保存完了"));
        QCOMPARE(fileBytes(file(QStringLiteral("out.") + suffix)), fileBytes(path));
    }

    // A name holding a quote breaks no statement.
    void aDatabaseNameWithAQuote()
    {
        const QString name = QStringLiteral("My \"best\"");
        makeDatabase(store(), name, false);
        QVERIFY(choose(form().fileListTab()->ButtonDBName, name));
        expectOpen(name);
        registerFiles({QSize(12, 12)});
        QCOMPARE(form().stb(0), QStringLiteral("登録完了 1件"));
        QCOMPARE(store().countRows(name), 1);
        ModalAnswer confirm([](QWidget* w) { pressButton(w, QMessageBox::Ok); });
        record().MsgBitBtn3->click();
        QCOMPARE(store().countRows(name + QLatin1Char('_')), 0);
    }

    void creatingADatabase_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("userItems");
        QTest::addColumn<QString>("firstItemName"); // typed over the first item
        QTest::addColumn<QString>("secondLetter");  // typed over the second item's letter
        QTest::addColumn<bool>("indexMode");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("withoutModelItems");
        QTest::addColumn<QString>("message");
        const QString done = QStringLiteral("新規ＤＢセットアップ完了");
        QTest::newRow("standard, import") << "Garden" << false << "" << "" << false << "" << false << done;
        QTest::newRow("standard, index, password") << "Garden" << false << "" << "" << true << "pw" << false << done;
        QTest::newRow("own items") << "Cars" << true << "メーカー" << "M" << false << "" << false << done;
        QTest::newRow("lower-case letter") << "Cars" << true << "" << "a" << false << "" << false << "属性エラー";
        QTest::newRow("taken, other case") << "sample" << false << "" << "" << false << "" << false
                                           << "ＤＢが既に存在します";
        QTest::newRow("leading _") << "_x" << false << "" << "" << false << "" << false << "ＤＢ名称不正";
        QTest::newRow("trailing _") << "x_" << false << "" << "" << false << "" << false << "ＤＢ名称不正";
        QTest::newRow("quote") << "a\"b" << false << "" << "" << false << "" << false << "ＤＢ名称不正";
        QTest::newRow("empty") << "" << false << "" << "" << false << "" << false << "ＤＢ名称を設定してください";
        QTest::newRow("model items missing") << "Garden" << false << "" << "" << false << "" << true
                                             << "Model DB Not Found";
    }
    // A database is made whole, opened and shown, or nothing of it is made.
    void creatingADatabase()
    {
        QFETCH(QString, name);
        QFETCH(bool, userItems);
        QFETCH(QString, firstItemName);
        QFETCH(QString, secondLetter);
        QFETCH(bool, indexMode);
        QFETCH(QString, password);
        QFETCH(bool, withoutModelItems);
        QFETCH(QString, message);
        if (withoutModelItems)
            store().exec(QStringLiteral("DELETE FROM \"_Model.DB\""));
        const QStringList tablesBefore = store().tableNames();
        const qint64 databasesBefore = store().countRows(QStringLiteral("_INDEX.DB"));
        form().PageMain->setCurrentWidget(form().TabPhoto);
        form().PagePhoto->setCurrentWidget(form().TabShinki);
        retype(form().EditDBName, name);
        pages().RadioHokan->setItemIndex(indexMode ? 1 : 0);
        if (!password.isEmpty()) {
            pages().CheckPassword->click();
            QTest::keyClicks(pages().EditPassword, password);
        }
        if (userItems) {
            pages().RadioKoumoku->item(1)->click();
            QVERIFY(pages().GroupKoumoku->isVisible());
            QVERIFY(!pages().ButtonCancelKoumoku->isEnabled());
            QAbstractItemModel* items = pages().DBGridShinki->model();
            QCOMPARE(items->rowCount(), 4);
            if (!firstItemName.isEmpty())
                QVERIFY(items->setData(items->index(0, 1), firstItemName));
            QVERIFY(items->setData(items->index(1, 2), secondLetter));
            pages().ButtonKoushin->click();
            QCOMPARE(form().stb(0), QStringLiteral("項目設定完了...  「ＤＢ新規」でＤＢが作成できます"));
        }
        expectMessage(pages().ButtonNew, message);
        if (message != QStringLiteral("新規ＤＢセットアップ完了")) {
            QCOMPARE(store().tableNames(), tablesBefore);
            QCOMPARE(store().countRows(QStringLiteral("_INDEX.DB")), databasesBefore);
            QCOMPARE(photo().state().CurrentDatabase, QStringLiteral("Sample"));
            return;
        }
        QVERIFY(store().tableExists(name));
        QCOMPARE(store().countRows(name + QLatin1Char('_')), 0);
        QCOMPARE(photo().state().CurrentDatabase, name);
        QCOMPARE(photo().state().IndexMode, indexMode);
        QCOMPARE(form().PagePhoto->currentWidget(), form().TabToroku);
        QCOMPARE(storedPassword(name).isEmpty(), password.isEmpty());
        if (!password.isEmpty())
            QVERIFY(picturedb::passwordMatches(storedPassword(name), password));
        const QString first = firstItemName.isEmpty() ? QStringLiteral("分類") : firstItemName;
        QCOMPARE(photo().state().FieldLabels[0], first);
        QCOMPARE(record().LabelNo2->text(), first);
        if (userItems) {
            QVERIFY(m_status.contains(QStringLiteral("テーブル項目 更新完了")));
            // A memo item is a memo in the new table.
            QCOMPARE(store().fieldDefs(name).at(6).type, store::FieldType::Memo);
        }
    }

    // Switching to the standard items and back drops the edits; "ｸﾘｱ" resets the page.
    void theItemGridStartsFromTheStandardItems()
    {
        pages().RadioKoumoku->item(1)->click();
        QAbstractItemModel* items = pages().DBGridShinki->model();
        QVERIFY(items->setData(items->index(0, 1), QStringLiteral("別名")));
        pages().ButtonKoushin->click();
        QTest::keyClick(pages().DBGridShinki, Qt::Key_Insert);
        QCOMPARE(items->rowCount(), 5);
        pages().RadioKoumoku->item(0)->click();
        QVERIFY(!pages().GroupKoumoku->isVisibleTo(form().TabShinki));
        pages().RadioKoumoku->item(1)->click();
        QCOMPARE(items->rowCount(), 4);
        QCOMPARE(items->index(0, 1).data().toString(), QStringLiteral("分類"));
        pages().Button11->click();
        QVERIFY(form().EditDBName->text().isEmpty());
        QCOMPARE(pages().RadioKoumoku->itemIndex(), 0);
        QVERIFY(!pages().GroupKoumoku->isVisibleTo(form().TabShinki));
    }

    // Only an item name can be changed on the settings page; "ｷｬﾝｾﾙ" drops it,
    // "更新(&U)" renames the field for good: the record page and the search follow.
    void renamingItems()
    {
        registerFiles({QSize(40, 30)});
        setItem(1, QStringLiteral("旅"));
        QAbstractItemModel* items = pages().DBGrid1->model();
        QVERIFY(!(items->flags(items->index(0, 2)) & Qt::ItemIsEditable));
        QVERIFY(items->setData(items->index(0, 1), QStringLiteral("種類")));
        pages().ButtonCancelKmk->click();
        QCOMPARE(itemNames(), kStandardItems);
        // A new name, and two that swap theirs (the grid writes a row as it leaves it).
        const QStringList renamed{"種類", "ファイル名", "タイトル", "説明"};
        // A search slot on a renamed item follows it.
        search::SearchPage& search = *form().searchPage();
        search.SlotField[1] = QStringLiteral("分類");
        search.ArButtonKensaku->Items(1)->setText(QStringLiteral("分類"));
        for (int row = 0; row < 3; ++row)
            QVERIFY(items->setData(items->index(row, 1), renamed[row]));
        {
            ModalAnswer stray([](QWidget* w) { pressButton(w, QMessageBox::Ok); });
            pages().Button16->click();
            QVERIFY2(!stray.wasShown(), qPrintable(stray.text()));
        }
        QCOMPARE(captions(), renamed);
        QCOMPARE(record().DBEdit1->text(), QStringLiteral("旅"));
        QCOMPARE(resultTitles(), (QStringList{"連番", "種類", "ファイル名", "タイトル", "サイズ", "更新日"}));
        QCOMPARE(form().RadioHyouji2->item(1)->text(), QStringLiteral("種類"));
        QCOMPARE(form().databaseTab()->search().fieldLabels(), renamed); // what the field chooser offers
        QCOMPARE(search.SlotField[1], QStringLiteral("種類"));
        QCOMPARE(search.ArButtonKensaku->Items(1)->text(), QStringLiteral("種類"));
        QVERIFY(photo().OpenDatabase(QStringLiteral("Sample")));
        QCOMPARE(captions(), renamed);
        QCOMPARE(itemNames(), renamed);
        QCOMPARE(testbackend::reopen(m_fixture->photo().dir())->fieldDefs(QStringLiteral("Sample")).at(5).name, renamed[0]);
        QVERIFY(!pages().ButtonAdd->isVisible());
        QVERIFY(!pages().RadioHokanDisp->isEnabled());
    }

    void refusedItemNames_data()
    {
        QTest::addColumn<QString>("first");    // typed over the first item's name
        QTest::addColumn<QString>("second");   // over the second's, when not empty
        QTest::addColumn<bool>("editing");     // a record of the record page not written yet
        QTest::addColumn<bool>("storeFails");  // a view that no rename can follow
        QTest::addColumn<QString>("message");  // of the store's, a part
        QTest::newRow("empty") << "" << "" << false << false << "項目名を入力してください";
        QTest::newRow("blanks") << "  " << "" << false << false << "項目名を入力してください";
        QTest::newRow("another item's") << "タイトル" << "" << false << false << "項目名が重複しています";
        QTest::newRow("twice, other case") << "Note" << "note" << false << false << "項目名が重複しています";
        QTest::newRow("a system field's") << "更新日" << "" << false << false << "システム項目と同じ名前は使えません";
        QTest::newRow("quote") << "a\"b" << "" << false << false << "項目名に \" は使えません";
        QTest::newRow("record being edited") << "種類" << "" << true << false
                                             << "編集中のレコードを更新またはｷｬﾝｾﾙしてください";
        QTest::newRow("the store refuses") << "種類" << "型" << false << true << "nosuch";
    }
    // A refused name changes nothing: the fields (the labels show them), the item list.
    void refusedItemNames()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(bool, editing);
        QFETCH(bool, storeFails);
        QFETCH(QString, message);
        if (editing)
            form().dm().TaPhoto->insert();
        if (storeFails && store().isServer())
            store().exec(QStringLiteral("CREATE FUNCTION refuse() RETURNS event_trigger LANGUAGE plpgsql AS "
                                        "$$ BEGIN RAISE EXCEPTION 'column nosuch'; END $$; "
                                        "CREATE EVENT TRIGGER refuse ON ddl_command_start WHEN TAG IN ('ALTER TABLE') "
                                        "EXECUTE FUNCTION refuse()"));
        else if (storeFails)
            store().exec(QStringLiteral("CREATE VIEW v AS SELECT nosuch FROM \"Sample\""));
        QAbstractItemModel* items = pages().DBGrid1->model();
        QVERIFY(items->setData(items->index(0, 1), first));
        if (!second.isEmpty())
            QVERIFY(items->setData(items->index(1, 1), second));
        ModalAnswer box([](QWidget* w) { pressButton(w, QMessageBox::Ok); });
        pages().Button16->click();
        QVERIFY(box.wasShown());
        QVERIFY2(storeFails ? box.text().contains(message) : box.text() == message, qPrintable(box.text()));
        QCOMPARE(captions(), kStandardItems);
        QCOMPARE(itemNames(), kStandardItems);
        if (editing)
            QCOMPARE(form().dm().TaPhoto->state(), store::Table::State::Insert);
    }

    void deletingADatabase_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("stored");    // its password, empty for none
        QTest::addColumn<QString>("typed");     // in the settings page beforehand
        QTest::addColumn<bool>("openFirst");
        QTest::addColumn<QString>("message");   // empty: none, the password window was cancelled
        QTest::newRow("open, no password") << "Old" << "" << "" << true << "削除完了";
        QTest::newRow("open, password typed") << "Old" << "pw" << "pw" << true << "削除完了";
        QTest::newRow("password refused") << "Old" << "pw" << "no" << false << "";
        QTest::newRow("no database") << "_Link.db" << "" << "" << false << "データベース該当なし";
        QTest::newRow("no name") << "" << "" << "" << false << "データベース名称を指定してください";
    }
    // "DB削除" removes the catalogue row and both tables of one database, and
    // nothing else.
    void deletingADatabase()
    {
        QFETCH(QString, name);
        QFETCH(QString, stored);
        QFETCH(QString, typed);
        QFETCH(bool, openFirst);
        QFETCH(QString, message);
        makeDatabase(store(), QStringLiteral("Old"), false, stored.isEmpty() ? QString() : picturedb::hashPassword(stored));
        if (openFirst) {
            ModalAnswer window([&](QWidget* w) {
                auto* p = qobject_cast<picturedb::TFormPassword*>(w);
                QVERIFY(p);
                QTest::keyClicks(p->EditPassword, stored);
                p->BitBtn1->click();
            });
            QVERIFY(photo().OpenDatabase(QStringLiteral("Old")));
            QCOMPARE(window.wasShown(), !stored.isEmpty());
        }
        // Kept thumbnails go with their database alone.
        const store::HeldThumbnail thumb{QByteArray("x"), QSize(1, 1), QStringLiteral("JPEG")};
        for (const QString& database : {QStringLiteral("Old"), QStringLiteral("Sample")})
            store::HeldThumbnails(store()).put(database, 1, 128, {1, "a"}, thumb);
        const QStringList tablesBefore = store().tableNames();
        retype(form().EditDBName, name);
        if (!typed.isEmpty()) {
            pages().CheckPassword->click();
            QTest::keyClicks(pages().EditPassword, typed);
        }
        QStringList shown;
        std::unique_ptr<ModalAnswer> next;
        ModalAnswer confirm([&](QWidget* w) {
            shown << messageBoxText(w);
            next = std::make_unique<ModalAnswer>([&](QWidget* m) {
                shown << (qobject_cast<picturedb::TFormPassword*>(m) ? QStringLiteral("(password)") : messageBoxText(m));
                if (auto* box = qobject_cast<QMessageBox*>(m))
                    pressButton(box, QMessageBox::Ok);
                else
                    qobject_cast<QDialog*>(m)->reject();
            });
            pressButton(w, QMessageBox::Ok);
        });
        pages().MsgBitBtn4->click();
        const bool removed = message == QStringLiteral("削除完了");
        QCOMPARE(shown, (QStringList{QStringLiteral("データベース削除 ＯＫ？"),
                                     message.isEmpty() ? QStringLiteral("(password)") : message}));
        QCOMPARE(store().tableExists(QStringLiteral("Old")), !removed);
        QCOMPARE(store().tableExists(QStringLiteral("Old_")), !removed);
        QCOMPARE(photo().catalogue().CatalogueHas(QStringLiteral("Old")), !removed);
        QCOMPARE(store().tableNames().size(), tablesBefore.size() - (removed ? 2 : 0));
        QCOMPARE(keptThumbnails(QStringLiteral("Old")), removed ? 0 : 1);
        QCOMPARE(keptThumbnails(QStringLiteral("Sample")), 1);
        QCOMPARE(photo().state().CurrentDatabase, openFirst ? QString() : QStringLiteral("Sample"));
        if (openFirst)
            QVERIFY(!photo().state().DatabaseChosen);
    }

private:
    app::TFormMain& form() { return m_fixture->form(); }
    PictureDatabase& photo() { return form().photo(); }
    picturedb::RecordPage& record() { return *photo().record(); }
    picturedb::DatabasePages& pages() { return *photo().pages(); }
    store::Store& store() { return form().dm().store(); }
    QString file(const QString& name) const { return QDir(m_files->path()).filePath(name); }
    int keptThumbnails(const QString& database)
    {
        return store().value(QStringLiteral("SELECT count(*) FROM \"_ThumbnailDB\" WHERE \"database\" = ?"), {database}).toInt();
    }

    QStringList resultTitles()
    {
        QStringList out;
        QAbstractItemModel* m = form().DBGridQuery->model();
        for (int c = 0; c < m->columnCount(); ++c)
            out << m->headerData(c, Qt::Horizontal).toString();
        return out;
    }
    inline static const QStringList kStandardItems{"分類", "タイトル", "ファイル名", "説明"};
    // The item list as the settings page's grid shows it.
    QStringList itemNames()
    {
        QStringList out;
        for (int r = 0; r < pages().DBGrid1->model()->rowCount(); ++r)
            out << pages().DBGrid1->model()->index(r, 1).data().toString();
        return out;
    }
    QStringList captions()
    {
        return {record().LabelNo2->text(), record().LabelNo3->text(), record().LabelNo4->text(),
                record().LabelNo5->text()};
    }

    // Presses the button, answers the database list with the named row
    // (Enter in its grid), then the password window with password. False
    // when a window did not come, or another one came (it is rejected).
    bool choose(QAbstractButton* button, const QString& name,
                std::function<void(picturedb::TFormPassword*)> password = {})
    {
        std::unique_ptr<ModalAnswer> passwordAnswer;
        std::unique_ptr<ModalAnswer> stray;
        ModalAnswer list([&](QWidget* w) {
            auto* dialog = qobject_cast<picturedb::TFormDBList*>(w);
            QVERIFY(dialog);
            TDBGrid* grid = dialog->DBGrid1;
            for (int row = 0; row < grid->model()->rowCount(); ++row) {
                if (grid->model()->index(row, 0).data().toString() == name)
                    grid->setCurrentIndex(grid->model()->index(row, 0));
            }
            if (password) {
                passwordAnswer = std::make_unique<ModalAnswer>([&](QWidget* p) {
                    auto* window = qobject_cast<picturedb::TFormPassword*>(p);
                    QVERIFY(window);
                    password(window);
                });
            } else {
                stray = std::make_unique<ModalAnswer>([](QWidget* p) { qobject_cast<QDialog*>(p)->reject(); });
            }
            QTest::keyClick(grid, Qt::Key_Return);
        });
        button->click();
        return list.wasShown() && (password ? passwordAnswer->wasShown() : !stray->wasShown());
    }

    // The next message box shows text; it is answered with OK.
    void armMessage(const QString& text)
    {
        m_messageSeen = false;
        m_message = std::make_unique<ModalAnswer>([this, text](QWidget* w) {
            m_messageSeen = messageBoxText(w) == text;
            pressButton(w, QMessageBox::Ok);
        });
    }
    void expectMessage(QAbstractButton* button, const QString& text)
    {
        ModalAnswer box([](QWidget* w) { pressButton(w, QMessageBox::Ok); });
        button->click();
        QVERIFY(box.wasShown());
        QCOMPARE(box.text(), text);
    }
    void expectOpen(const QString& name)
    {
        QCOMPARE(photo().state().CurrentDatabase, name);
        QCOMPARE(form().EditDBName->text(), name);
        QCOMPARE(form().dm().TaPhoto->tableName(), name);
        QCOMPARE(photo().state().FieldLabels[0], QStringLiteral("分類"));
    }

    QString storedPassword(const QString& name)
    {
        store::Table t(store(), QStringLiteral("_INDEX.DB"));
        t.open();
        return t.findKey({name}) ? t.fieldByName(QStringLiteral("パスワード")).asString() : QString();
    }
    void setStoredPassword(const QString& name, const QString& stored)
    {
        store::Table t(store(), QStringLiteral("_INDEX.DB"));
        t.open();
        QVERIFY(t.findKey({name}));
        t.edit();
        t.fieldByName(QStringLiteral("パスワード")).setAsString(stored);
        t.post();
    }

    // Writes the pictures, lists them alone and marked, and registers them
    // with "登録(&I)".
    void registerFiles(const QList<QSize>& sizes, bool withGif = false)
    {
        store::Table& list = *form().dm3().TaList;
        store::EmptyTableNow(list);
        for (int i = 0; i < sizes.size(); ++i) {
            const QString path = file(QStringLiteral("p%1-%2.jpg").arg(m_serialOfFiles++).arg(i));
            QVERIFY(writePicture(path, sizes[i]));
            addFileRow(list, path, true);
        }
        if (withGif) {
            QVERIFY(writePicture(file(QStringLiteral("z.gif")), QSize(5, 5), "PNG"));
            addFileRow(list, file(QStringLiteral("z.gif")), true);
        }
        form().fileListTab()->Button51->click();
        QVERIFY(form().stb(0).startsWith(QStringLiteral("登録完了")));
    }
    // A picture file of the format; for AVIF, which Qt does not write, only
    // the head that names the kind.
    void writeKind(const QString& path, const QString& format)
    {
        if (format != u"AVIF") {
            QVERIFY(writePicture(path, QSize(12, 8), format.toLatin1().constData()));
            return;
        }
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("\0\0\0\x1C" "ftypavif" "\0\0\0\0" "avifmif1miaf", 28));
    }
    QString recordField(qint32 serial, int position)
    {
        store::Table t(store(), form().dm().TaPhoto->tableName());
        t.open();
        return t.findKey({serial}) ? t.field(position).asString() : QStringLiteral("(none)");
    }
    QByteArray imageBytes(qint32 serial)
    {
        return photo().catalogue().LocateImage(serial)
                   ? form().dm().TaImage->fieldByName(QStringLiteral("画像")).asBytes()
                   : QByteArray();
    }
    void setItem(int item, const QString& text)
    {
        store::Table& t = *form().dm().TaPhoto;
        t.edit();
        t.field(4 + item).setAsString(text);
        t.post();
    }
    static void retype(QLineEdit* edit, const QString& text)
    {
        edit->selectAll();
        if (text.isEmpty())
            QTest::keyClick(edit, Qt::Key_Backspace);
        QTest::keyClicks(edit, text);
    }
    // Types any characters, as an input method would hand them over.
    static void typeText(QWidget* edit, const QString& text)
    {
        for (QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QApplication::sendEvent(edit, &press);
        }
    }
    static QStringList viewTitles()
    {
        QStringList out;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* view = qobject_cast<viewing::TFormView*>(w); view && view->isVisible())
                out << view->windowTitle();
        return out;
    }

    std::unique_ptr<AppFixture> m_fixture;
    std::unique_ptr<QTemporaryDir> m_files;
    std::unique_ptr<ModalAnswer> m_message;
    bool m_messageSeen = false;
    QStringList m_status;
    int m_serialOfFiles = 0;
};

QTEST_MAIN(TestPhotoPages)
#include "tst_photopages.moc"
