#include "app/FileListTab.h"
#include "app/FormMain.h"
#include "app/FormSetting.h"
#include "app/Windows.h"
#include "controls/DBGrid.h"
#include "controls/MsgBtn.h"
#include "controls/RadioGroup.h"
#include "store/DataMd3.h"
#include "store/DataSource.h"
#include "store/Query.h"
#include "store/Table.h"
#include "support/AppFixture.h"
#include "support/ModalHelper.h"
#include "viewing/FormView.h"
#include "viewing/TImage.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFrame>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include <algorithm>
#include <functional>

// The file list tab driven through the main window: a hard-disk run from the
// tool bar, the grid's cell action with its preview, marks and deletion.
class TestFileListTab : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_fixture = std::make_unique<AppFixture>();
        m_fixture->start();
        m_tree = std::make_unique<QTemporaryDir>();
        QVERIFY(m_tree->isValid());
        form().show();
    }
    void cleanup()
    {
        m_fixture.reset();
        m_tree.reset();
    }

    void aDiskRunListsThePicturesOfTheTree()
    {
        writeJpeg("a/photo.JPG", QSize(40, 30));
        writeJpeg("a/photo.jpeg", QSize(40, 30));
        writeJpeg(".cache/hidden.jpg", QSize(40, 30));
        writeJpeg("b/c/deep.jpg", QSize(40, 30));
        writeFile("b/picture.gif", "GIF89a");
        writeFile("notes.txt", "text");

        runScan();
        QCOMPARE(form().stb(0), QStringLiteral("検索完了 : 2 件"));
        QCOMPARE(form().stopIconIndex(), 9);
        QCOMPARE(form().PageMain->currentWidget(), form().TabList);
        QCOMPARE(form().stb(2), QStringLiteral("イメージ : 2件"));
        QCOMPARE(listedPaths(), (QStringList{path("a/photo.JPG"), path("b/c/deep.jpg")}));
        QCOMPARE(tab().DBGridList->model()->rowCount(), 2);
        QCOMPARE(tab().DBGridList->dataSource()->columns(),
                 (QStringList{"作成日", "サイズ", "フルパス名", "印"}));

        // The dialog's picture types are what the run reads; the count is of
        // the files newly listed.
        settings().CheckGIF->setChecked(true);
        runScan();
        QCOMPARE(form().stb(0), QStringLiteral("検索完了 : 1 件"));
        QVERIFY(listedPaths().contains(path("b/picture.gif")));

        settings().CheckJPEG->setChecked(false);
        settings().CheckGIF->setChecked(false);
        runScan();
        QCOMPARE(form().stb(0), QStringLiteral("検索該当なし"));
    }

    // The new types of the dialog reach the run, and with markup the other
    // JPEG extensions; an unticked type stays out.
    void newTypesFromTheDialog()
    {
        for (const char* name : {"a/photo.jpeg", "b.JFIF", "p.png", "v.avif", "w.webp"})
            writeFile(QString::fromLatin1(name), "x");
        settings().CheckPNG->setChecked(true);
        settings().CheckAVIF->setChecked(true);
        settings().CheckMarkup->setChecked(true);
        runScan();
        QCOMPARE(listedPaths(), (QStringList{path("a/photo.jpeg"), path("b.JFIF"), path("p.png"), path("v.avif")}));
    }

    void clearEachTimeEmptiesOnlyWhenSavingToTheDatabase()
    {
        writeJpeg("one.jpg", QSize(10, 10));
        runScan();
        QFile::remove(path("one.jpg"));
        writeJpeg("two.jpg", QSize(10, 10));
        settings().RadioKekka->setItemIndex(1);
        settings().CheckDBSave->setChecked(false);
        runScan();
        QCOMPARE(listedPaths(), (QStringList{path("one.jpg"), path("two.jpg")}));
        settings().CheckDBSave->setChecked(true);
        runScan();
        QCOMPARE(listedPaths(), QStringList{path("two.jpg")});
        QCOMPARE(form().stb(2), QStringLiteral("イメージ : 1件"));
    }

    void stopDuringAScanEndsIt()
    {
        const bool acted = scanLargeTreeActingOnFirstRows([this] { form().BtStop->click(); });
        QVERIFY(acted);
        QCOMPARE(form().stb(3), QStringLiteral("探索中止"));
        const int listed = int(listedPaths().size());
        QVERIFY2(listed > 0 && listed < 2000, qPrintable(QString::number(listed)));
    }

    // While a scan turns the event loop the bar shows directories visited
    // (of those known) and files listed; "中止" ends the scan and the bar goes.
    void aScanShowsItsProgressUntilStopped()
    {
        constexpr int dirs = 40, perDir = 10;
        for (int d = 0; d < dirs; ++d)
            for (int f = 0; f < perDir; ++f)
                writeFile(QStringLiteral("d%1/f%2.jpg").arg(d).arg(f), "x");
        tab().scan().setYieldEntries(perDir);
        QProgressBar* bar = form().ProgressBar;
        QList<int> visited;
        QStringList faults;
        auto connection = connect(form().dm3().TaList, &store::Table::dataChanged, this, [&] {
            if (form().stopIconIndex() != 8 || !bar->isVisible())
                return;
            // "n ディレクトリ / m 件"
            const QStringList counts = bar->toolTip().split(QRegularExpression("\\D+"), Qt::SkipEmptyParts);
            const int n = counts.value(0).toInt(), files = counts.value(1).toInt();
            visited << n;
            if (counts.size() != 2 || files != form().dm3().TaList->recordCount())
                faults << bar->toolTip();
            // Where the file system keeps directory link counts, the root and its subdirectories.
            if (bar->maximum() > 0 && (bar->value() != n || bar->maximum() != dirs + 1))
                faults << QStringLiteral("%1 of %2").arg(bar->value()).arg(bar->maximum());
            if (n >= 3)
                form().BtStop->click();
        });
        runScan();
        disconnect(connection);

        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(", ")));
        QVERIFY(visited.size() >= 2);
        QVERIFY(std::is_sorted(visited.begin(), visited.end()) && visited.last() > visited.first());
        QVERIFY(!bar->isVisible());
        QCOMPARE(form().stb(3), QStringLiteral("探索中止"));
        const int listed = int(listedPaths().size());
        QVERIFY2(listed > 0 && listed < dirs * perDir, qPrintable(QString::number(listed)));
    }

    void closingTheWindowDuringAScanEndsIt()
    {
        const bool acted = scanLargeTreeActingOnFirstRows([this] { form().close(); });
        QVERIFY(acted);
        QVERIFY(!form().fileListTab()->scan().isRunning());
        QVERIFY(form().dm3().TaList->recordCount() < 2000);
    }

    void theCellActionPreviewsOrToggles_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<bool>("stretch");
        QTest::addColumn<QSize>("panel");
        QTest::addColumn<int>("decodedWidth");
        QTest::newRow("landscape") << QSize(400, 200) << true << QSize(273, 136) << 400;
        QTest::newRow("portrait") << QSize(200, 400) << true << QSize(144, 288) << 200;
        QTest::newRow("large, decoded small") << QSize(2400, 1200) << true << QSize(273, 136) << 600;
        QTest::newRow("stretch off") << QSize(400, 200) << false << QSize(273, 288) << 400;
    }
    void theCellActionPreviewsOrToggles()
    {
        QFETCH(QSize, picture);
        QFETCH(bool, stretch);
        QFETCH(QSize, panel);
        QFETCH(int, decodedWidth);
        writeJpeg("p.jpg", picture);
        runScan();
        app::FileListTab& t = tab();
        t.CheckStretch->setChecked(stretch);

        clickCell(2); // フルパス名
        QCOMPARE(form().stb(4), path("p.jpg"));
        QCOMPARE(t.PanelImage->size(), panel);
        QCOMPARE(t.LabelWidth->text(), QString::number(picture.width()));
        QCOMPARE(t.LabelHeight->text(), QString::number(picture.height()));
        QCOMPARE(t.Image->pictureSize(), picture);
        QCOMPARE(t.Image->stretch(), stretch);
        QCOMPARE(t.Image->picture().image.width(), decodedWidth); // no larger than the box needs

        clickCell(3); // 印
        QCOMPARE(markOf(0), QStringLiteral("〆"));
        // "比率調整" runs the cell action: with 印 selected it toggles again.
        t.CheckHiritsu->click();
        QCOMPARE(markOf(0), QString());
    }

    void aPreviewThatCannotLoadKeepsThePreviousPicture()
    {
        writeJpeg("a.jpg", QSize(300, 100));
        writeFile("b.jpg", "not a picture at all");
        runScan();
        tab().RadioHyouji->item(2)->click(); // by full path: a.jpg first
        clickCell(2, 0);
        QCOMPARE(tab().Image->pictureSize(), QSize(300, 100));
        clickCell(2, 1);
        QCOMPARE(form().stb(4), path("b.jpg"));
        QCOMPARE(tab().Image->pictureSize(), QSize(300, 100));
        QCOMPARE(tab().LabelWidth->text(), QStringLiteral("300"));
    }

    void displayOrders()
    {
        writeFile("z_small.jpg", "x");
        writeFile("a_large.jpg", QByteArray(5000, 'x'));
        writeFile("m_middle.jpg", QByteArray(100, 'x'));
        runScan();
        store::Table& list = *form().dm3().TaList;
        QCOMPARE(list.indexName(), QStringLiteral("作成日")); // the first item, applied by the run
        tab().RadioHyouji->item(1)->click();
        QCOMPARE(list.indexName(), QStringLiteral("サイズ"));
        QCOMPARE(listedNames(), (QStringList{"z_small.jpg", "m_middle.jpg", "a_large.jpg"}));
        tab().RadioHyouji->item(3)->click();
        QCOMPARE(listedNames(), (QStringList{"a_large.jpg", "m_middle.jpg", "z_small.jpg"}));
        tab().RadioHyouji->item(2)->click();
        QCOMPARE(list.indexName(), QString());
    }

    void deletingMarkedFilesRemovesFilesAndRows()
    {
        writeFile("a.jpg", "a");
        writeFile("b.jpg", "b");
        writeFile("c.jpg", "c");
        runScan();
        tab().RadioHyouji->item(2)->click();

        // Nothing marked.
        {
            ModalAnswer question([](QWidget* w) { pressButton(w, QMessageBox::Ok); });
            ModalAnswer notice([](QWidget* w) { pressButton(w, QMessageBox::Ok); });
            tab().MsgBitBtn2->click();
            QVERIFY(question.wasShown());
            QCOMPARE(question.text(), QStringLiteral("ファイル削除ＯＫ？"));
            QVERIFY(notice.wasShown());
            QCOMPARE(notice.text(), QStringLiteral("リストを選択してください"));
        }
        clickCell(3, 0);
        clickCell(3, 2);
        // Cancel deletes nothing.
        {
            ModalAnswer question([](QWidget* w) { pressButton(w, QMessageBox::Cancel); });
            tab().MsgBitBtn2->click();
            QVERIFY(question.wasShown());
        }
        QCOMPARE(listedPaths().size(), 3);
        QVERIFY(QFile::exists(path("a.jpg")));
        {
            ModalAnswer question([](QWidget* w) { pressButton(w, QMessageBox::Ok); });
            tab().MsgBitBtn2->click();
            QVERIFY(question.wasShown());
        }
        QCOMPARE(listedPaths(), QStringList{path("b.jpg")});
        QVERIFY(!QFile::exists(path("a.jpg")));
        QVERIFY(QFile::exists(path("b.jpg")));
        QVERIFY(!QFile::exists(path("c.jpg")));
        QCOMPARE(form().stb(0), QStringLiteral("削除完了 : 2 件"));
    }

    void markAllThenDeleteEverythingAndAFileAlreadyGone()
    {
        writeFile("a.jpg", "a");
        writeFile("b.jpg", "b");
        runScan();
        QFile::remove(path("a.jpg")); // gone behind the list's back: its row goes too
        tab().Button2->click();
        QCOMPARE(markOf(0), QStringLiteral("〆"));
        QCOMPARE(markOf(1), QStringLiteral("〆"));
        {
            ModalAnswer question([](QWidget* w) { pressButton(w, QMessageBox::Ok); });
            tab().MsgBitBtn2->click();
        }
        QCOMPARE(listedPaths(), QStringList());
        QCOMPARE(form().stb(0), QStringLiteral("削除完了 : 2 件"));
        QVERIFY(!QFile::exists(path("b.jpg")));
    }

    void aFileThatCannotBeDeletedKeepsItsRow()
    {
        writeFile("stuck.jpg", "a");
        writeFile("free.jpg", "f");
        runScan();
        // Something that cannot be removed as a file, whoever runs the test:
        // the listed path has become a directory with contents.
        QVERIFY(QFile::remove(path("stuck.jpg")));
        writeFile("stuck.jpg/inside", "x");
        tab().Button2->click();
        {
            ModalAnswer question([](QWidget* w) { pressButton(w, QMessageBox::Ok); });
            tab().MsgBitBtn2->click();
        }
        QCOMPARE(listedPaths(), QStringList{path("stuck.jpg")});
        QCOMPARE(form().stb(0), QStringLiteral("削除完了 : 1 件"));
        QVERIFY(form().MemoError->toPlainText().contains(path("stuck.jpg")));

        // Only the undeletable row left marked: an error, not a claim of success.
        ModalAnswer question([](QWidget* w) { pressButton(w, QMessageBox::Ok); });
        ModalAnswer error([](QWidget* w) { pressButton(w, QMessageBox::Ok); });
        tab().MsgBitBtn2->click();
        QVERIFY(error.wasShown());
        QVERIFY(error.text().contains(path("stuck.jpg")));
        QCOMPARE(listedPaths(), QStringList{path("stuck.jpg")});
    }

    void pictureCommandsShowThePreviewInViewWindows()
    {
        writeJpeg("big.jpg", QSize(1600, 1200));
        runScan();
        // Nothing previewed yet.
        {
            ModalAnswer notice([](QWidget* w) { pressButton(w, QMessageBox::Ok); });
            form().BtSingle->click();
            QVERIFY(notice.wasShown());
            QCOMPARE(notice.text(), QStringLiteral("画像を選択してください"));
        }
        clickCell(2);
        QVERIFY(tab().Image->picture().image.width() < 1600);

        form().BtSingle->click();
        form().S4->trigger();
        QCOMPARE(visibleViewWindows().size(), 1);
        viewing::TFormView* single = visibleViewWindows().first();
        QCOMPARE(single, m_fixture->windows().FormView);
        QCOMPARE(single->windowTitle(), QStringLiteral("big.jpg (1600 x 1200)"));
        // The window gets the whole picture, not the preview's small decode.
        QCOMPARE(single->Image1->picture().image.size(), QSize(1600, 1200));
        QVERIFY(!form().multipleViewMode);

        form().BtMulti->click();
        form().M2->trigger();
        QCOMPARE(visibleViewWindows().size(), 3);
        QVERIFY(form().multipleViewMode);

        // On a tab without a picture of its own.
        form().PageMain->setCurrentWidget(form().TabHost);
        ModalAnswer notice([](QWidget* w) { pressButton(w, QMessageBox::Ok); });
        form().BtMulti->click();
        QVERIFY(notice.wasShown());
        QCOMPARE(visibleViewWindows().size(), 3);
    }

    // "リスト消去", the menu's "ファイルリスト消去" and the list-box panel's
    // "消去(&R)" are one command.
    void listClearEmptiesTheTable_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("リスト消去") << "ButtonDBListDelete";
        QTest::newRow("ファイルリスト消去") << "M1";
        QTest::newRow("消去(&R)") << "ButtonListClear";
    }
    void listClearEmptiesTheTable()
    {
        QFETCH(QString, command);
        writeFile("a.jpg", "a");
        runScan();
        QCOMPARE(listedPaths().size(), 1);
        if (auto* button = form().findChild<QPushButton*>(command))
            button->click();
        else
            form().findChild<QAction*>(command)->trigger();
        QCOMPARE(listedPaths(), QStringList());
        QCOMPARE(tab().DBGridList->model()->rowCount(), 0);
    }

private:
    app::TFormMain& form() { return m_fixture->form(); }
    app::FileListTab& tab() { return *form().fileListTab(); }
    app::TFormSetting& settings() { return *m_fixture->windows().FormSetting; }
    QString path(const QString& relative) const { return QDir(m_tree->path()).filePath(relative); }

    void writeFile(const QString& relative, const QByteArray& bytes)
    {
        const QString p = path(relative);
        QDir().mkpath(QFileInfo(p).absolutePath());
        QFile f(p);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    void writeJpeg(const QString& relative, QSize size)
    {
        const QString p = path(relative);
        QDir().mkpath(QFileInfo(p).absolutePath());
        QImage image(size, QImage::Format_RGB32);
        image.fill(Qt::darkCyan);
        QVERIFY(image.save(p, "JPEG"));
    }

    // Scans a tree of 2,000 pictures and runs act as soon as the grid first
    // shows rows, which it does when the scan lets the window repaint.
    // Answers whether act ran during the scan.
    bool scanLargeTreeActingOnFirstRows(const std::function<void()>& act)
    {
        for (int d = 0; d < 200; ++d)
            for (int f = 0; f < 10; ++f)
                writeFile(QStringLiteral("d%1/f%2.jpg").arg(d).arg(f), "x");
        // Turns of the event loop come by count, so the scan is still running
        // at the first of them however fast the machine.
        tab().scan().setYieldEntries(100);
        bool acted = false;
        auto connection = connect(form().dm3().TaList, &store::Table::dataChanged, this, [&] {
            if (!acted && form().stopIconIndex() == 8 && form().dm3().TaList->recordCount() > 0) {
                acted = true;
                act();
            }
        });
        runScan();
        disconnect(connection);
        return acted;
    }

    void runScan()
    {
        form().ApplyTarget(false);
        form().ComboDirectory->setEditText(m_tree->path());
        form().BtTansaku->click();
        QTRY_VERIFY_WITH_TIMEOUT(form().stb(0) != QStringLiteral("探索開始...") && form().stb(0) != QString()
                                     && form().stopIconIndex() == 9,
                                 60000);
    }

    QStringList listedPaths()
    {
        store::Table& t = *form().dm3().TaList2;
        if (!t.isOpen())
            t.open();
        t.refresh();
        QStringList out;
        for (t.first(); !t.eof(); t.next())
            out << t.fieldByName(QStringLiteral("フルパス名")).asString();
        return out;
    }
    QStringList listedNames()
    {
        QStringList out;
        for (int row = 0; row < tab().DBGridList->model()->rowCount(); ++row)
            out << QFileInfo(tab().DBGridList->model()->index(row, 2).data().toString()).fileName();
        return out;
    }
    static QList<viewing::TFormView*> visibleViewWindows()
    {
        QList<viewing::TFormView*> out;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* view = qobject_cast<viewing::TFormView*>(w); view && view->isVisible())
                out << view;
        return out;
    }
    QString markOf(int row)
    {
        return tab().DBGridList->model()->index(row, 3).data().toString();
    }
    void clickCell(int column, int row = 0)
    {
        TDBGrid* grid = tab().DBGridList;
        const QModelIndex cell = grid->model()->index(row, column);
        QVERIFY(cell.isValid());
        grid->scrollTo(cell);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(cell).center());
    }

    std::unique_ptr<AppFixture> m_fixture;
    std::unique_ptr<QTemporaryDir> m_tree;
};

QTEST_MAIN(TestFileListTab)
#include "tst_filelisttab.moc"
