#include "app/FileListTab.h"
#include "app/FormMain.h"
#include "app/Windows.h"
#include "controls/RadioGroup.h"
#include "controls/RetEdit.h"
#include "controls/StdArr.h"
#include "picturedb/Catalogue.h"
#include "picturedb/PictureDatabase.h"
#include "picturedb/RecordPage.h"
#include "picturedb/Registration.h"
#include "search/FormPopJouken.h"
#include "search/FormPopKensaku.h"
#include "search/QueryBuilder.h"
#include "search/SearchPage.h"
#include "store/DataMod.h"
#include "store/DataSource.h"
#include "store/Query.h"
#include "store/Store.h"
#include "store/Table.h"
#include "support/AppFixture.h"
#include "support/HttpTestServer.h"
#include "support/ModalHelper.h"
#include "support/PhotoData.h"
#include "viewing/ExtArr.h"
#include "viewing/FormMulti.h"
#include "viewing/FormView.h"
#include "viewing/PictureLoader.h"
#include "viewing/TImage.h"

#include <QApplication>
#include <QBuffer>
#include <QImage>
#include <QCheckBox>
#include <QDate>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

using search::SearchPage;

namespace {

const QStringList kStandardItems{QStringLiteral("分類"), QStringLiteral("タイトル"), QStringLiteral("ファイル名"),
                                 QStringLiteral("説明")};
const QString kSelect = QStringLiteral("Select 連番, サイズ, 更新日, 画像種別, 分類, タイトル, ファイル名, 説明");

} // namespace

// The search: the statement built from the slots, and the page that runs it.
class TestSearch : public QObject {
    Q_OBJECT

private slots:
    void statement_data()
    {
        QTest::addColumn<QStringList>("slotTexts"); // field|keyword per slot, "" for no field
        QTest::addColumn<bool>("orJoin");
        QTest::addColumn<QString>("order");
        QTest::addColumn<bool>("ascending");
        QTest::addColumn<QString>("database");
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QStringList>("params"); // name=value
        const QString from = QStringLiteral(" from  \"Sample\"");
        QTest::newRow("worked example")
            << QStringList{"タイトル|海", "|山", "分類|夏", ""} << true << "タイトル" << false << "Sample" << kStandardItems
            << kSelect + from
                   + " where (\"Sample\".\"タイトル\" Like  :target0 ) or  (\"Sample\".\"分類\" Like  :target2 )  order by タイトル desc"
            << QStringList{"target0=%海%", "target2=%夏%"};
        QTest::newRow("no condition") << QStringList{"", "", "", ""} << false << "連番" << true << "Sample"
                                      << kStandardItems << kSelect + from + " order by 連番" << QStringList();
        QTest::newRow("a field without keyword") << QStringList{"分類|", "", "", ""} << false << "連番" << true
                                                 << "Sample" << kStandardItems << kSelect + from + " order by 連番"
                                                 << QStringList();
        QTest::newRow("one condition") << QStringList{"", "", "", "説明|a b"} << false << "連番" << true << "Sample"
                                       << kStandardItems
                                       << kSelect + from + " where (\"Sample\".\"説明\" Like  :target3 )  order by 連番"
                                       << QStringList{"target3=%a b%"};
        QTest::newRow("slots 1 and 3, and") << QStringList{"", "分類|x", "", "説明| y "} << false << "説明" << true
                                            << "Sample" << kStandardItems
                                            << kSelect + from
                                                   + " where (\"Sample\".\"分類\" Like  :target1 ) and (\"Sample\".\"説明\" Like  :target3 )  order by 説明"
                                            << QStringList{"target1=%x%", "target3=% y %"};
        QTest::newRow("a quote in the name")
            << QStringList{"分類|x", "", "", ""} << false << "連番" << true << "My \"best\"" << kStandardItems
            << kSelect + " from  \"My \"\"best\"\"\" where (\"My \"\"best\"\"\".\"分類\" Like  :target0 )  order by 連番"
            << QStringList{"target0=%x%"};
        QTest::newRow("labels that are no plain names")
            << QStringList{"", "", "", ""} << false << "a b" << true << "Sample"
            << QStringList{"分類", "a b", "x\"y", "2nd"}
            << "Select 連番, サイズ, 更新日, 画像種別, 分類, \"a b\", \"x\"\"y\", \"2nd\"" + from + " order by \"a b\""
            << QStringList();
        QTest::newRow("fewer than four items")
            << QStringList{"", "", "", ""} << false << "連番" << true << "Sample" << QStringList{"分類"}
            << "Select 連番, サイズ, 更新日, 画像種別, 分類, NULL, NULL, NULL" + from + " order by 連番" << QStringList();
    }
    void statement()
    {
        QFETCH(QStringList, slotTexts);
        QFETCH(bool, orJoin);
        QFETCH(QString, order);
        QFETCH(bool, ascending);
        QFETCH(QString, database);
        QFETCH(QStringList, labels);
        QFETCH(QString, sql);
        QFETCH(QStringList, params);
        search::SearchRequest r;
        r.database = database;
        r.fieldLabels = labels;
        for (int i = 0; i < 4; ++i) {
            const QString field = slotTexts[i].section(u'|', 0, 0);
            r.slotInputs[size_t(i)] = {field, field.isEmpty() ? QStringLiteral("（項目）") : field, slotTexts[i].section(u'|', 1)};
        }
        r.orJoin = orJoin;
        r.orderColumn = order;
        r.ascending = ascending;
        const search::SearchStatement s = search::buildSearch(r);
        QCOMPARE(s.sql, sql);
        QStringList got;
        for (const auto& [name, value] : s.params)
            got << name + u'=' + value;
        QCOMPARE(got, params);
    }

    void init()
    {
        m_fixture = std::make_unique<AppFixture>();
        m_fixture->start();
        m_files = std::make_unique<QTemporaryDir>();
    }
    void cleanup()
    {
        m_fixture.reset();
        m_files.reset();
    }

    void theSlotsAtStartUp()
    {
        QCOMPARE(page().ArButtonKensaku->Items(2)->objectName(), QStringLiteral("ArButtonKensaku_3"));
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(page().ArButtonKensaku->Items(i)->parentWidget(), page().GroupKensaku);
            QCOMPARE(page().ArEditKeyword->Items(i)->parentWidget(), page().GroupKensaku);
            QCOMPARE(page().ArButtonKensaku->Items(i)->text(), QStringLiteral("（項目）"));
        }
        QCOMPARE(page().ArEditKeyword->Items(3)->geometry().topLeft(), QPoint(88, 101));
        QVERIFY(!form().dm().QuPhoto->isOpen());
        QVERIFY(page().LabelCt->text().isEmpty());
    }

    // Fields chosen, keywords typed, AND and OR, the order re-running the search.
    void searching()
    {
        addRecords();
        // No condition: every record.
        QCOMPARE(search(page().Button10), QStringLiteral("検索終了"));
        QCOMPARE(page().LabelCt->text(), QStringLiteral("3"));
        QCOMPARE(resultSerials(), (QList<int>{1, 2, 3}));

        QVERIFY(chooseField(2, QStringLiteral("タイトル")));
        QCOMPARE(page().ArButtonKensaku->Items(2)->text(), QStringLiteral("タイトル"));
        QVERIFY(page().ArButtonKensaku->Items(2)->styleSheet().contains(QStringLiteral("blue")));
        // The window's focus, given back when the chooser has gone.
        QTRY_COMPARE(form().focusWidget(), static_cast<QWidget*>(page().ArEditKeyword->Items(2)));
        page().ArEditKeyword->Items(2)->setText(QStringLiteral("海"));
        QCOMPARE(search(page().Button10), QStringLiteral("検索終了"));
        QCOMPARE(resultSerials(), (QList<int>{1, 3}));

        // A keyword in a slot without a field is ignored.
        page().ArEditKeyword->Items(0)->setText(QStringLiteral("nothing like it"));
        QVERIFY(chooseField(1, QStringLiteral("分類")));
        page().ArEditKeyword->Items(1)->setText(QStringLiteral("冬"));
        QCOMPARE(search(page().Button10), QStringLiteral("検索該当なし"));
        QCOMPARE(page().LabelCt->text(), QStringLiteral("0"));
        page().RadioJouken->setItemIndex(1);
        QCOMPARE(search(page().Button10), QStringLiteral("検索終了"));
        QCOMPARE(resultSerials(), (QList<int>{1, 3}));

        // A new order or direction runs the search again at once.
        page().ArEditKeyword->Items(1)->setText(QStringLiteral("秋"));
        QCOMPARE(search(page().CheckShoujun), QStringLiteral("検索終了"));
        QCOMPARE(resultSerials(), (QList<int>{3, 2, 1}));
        // タイトル descending, by code point: 海 (U+6D77), 山 (U+5C71), 夜 (U+591C).
        QCOMPARE(search(page().RadioHyouji2->item(2)), QStringLiteral("検索終了"));
        QCOMPARE(resultSerials(), (QList<int>{1, 3, 2}));

        page().Button9->click();
        QCOMPARE(page().ArButtonKensaku->Items(2)->text(), QStringLiteral("（項目）"));
        QVERIFY(page().ArEditKeyword->Items(2)->text().isEmpty());
        QVERIFY(page().LabelCt->text().isEmpty());
        QVERIFY(!form().dm().QuPhoto->isOpen());
        QCOMPARE(form().dm().DqPhoto->rowCount(), 0);
    }

    // Two starts before the timer's tick run one search.
    void oneSearchForTwoStarts()
    {
        QStringList ends;
        connect(&form(), &app::TFormMain::statusChanged, this, [&](int panel, const QString& text) {
            if (panel == 0 && text.startsWith(QStringLiteral("検索")))
                ends << text;
        });
        page().StartSearch();
        page().StartSearch();
        QVERIFY(m_fixture->windows().FormPopKensaku->isVisible());
        QTRY_VERIFY_WITH_TIMEOUT(!m_fixture->windows().FormPopKensaku->isVisible(), 20000);
        // A later search, told apart by its hits, ends after anything the two
        // starts could have left pending.
        addRecords();
        page().StartSearch();
        QTRY_VERIFY_WITH_TIMEOUT(ends.contains(QStringLiteral("検索終了")), 20000);
        QCOMPARE(ends, (QStringList{QStringLiteral("検索該当なし"), QStringLiteral("検索終了")}));
    }

    // The statement reads the open database; one that lacks a slot's field
    // refuses it, which is reported, and the screen stays usable.
    void aRefusedStatement()
    {
        addRecords();
        QVERIFY(chooseField(0, QStringLiteral("説明")));
        page().ArEditKeyword->Items(0)->setText(QStringLiteral("x"));
        form().EditDBName->setText(QStringLiteral("NoSuchTable")); // typed, not opened
        QCOMPARE(search(page().Button10), QStringLiteral("検索該当なし"));
        page().ArEditKeyword->Items(0)->clear();
        QCOMPARE(search(page().Button10), QStringLiteral("検索終了"));

        makeDatabase(form().dm().store(), QStringLiteral("Other"), false);
        form().dm().store().exec(QStringLiteral("ALTER TABLE \"Other\" RENAME COLUMN 説明 TO 備考"));
        QVERIFY(form().photo().OpenDatabase(QStringLiteral("Other")));
        page().ArEditKeyword->Items(0)->setText(QStringLiteral("x"));
        ModalAnswer error([](QWidget* w) { pressButton(w, QMessageBox::Ok); }, 20000);
        page().Button10->click();
        QTRY_VERIFY_WITH_TIMEOUT(error.wasShown(), 20000);
        QVERIFY(error.text().contains(QStringLiteral("説明")));
        QTRY_VERIFY(!m_fixture->windows().FormPopKensaku->isVisible());
        QVERIFY(form().dm().DqPhoto->isEnabled());
    }

    // A click on a row shows that record's picture, JPEG or bitmap, and the
    // record page follows; the grid menu shows it in view windows.
    void thePreview()
    {
        addRecords();
        // A bitmap record: its picture is in the image row's BMP field.
        QImage bitmap(30, 60, QImage::Format_RGB32);
        bitmap.fill(Qt::red);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        bitmap.save(&buffer, "PNG");
        store::Store& s = form().dm().store();
        s.exec(QStringLiteral("INSERT INTO \"Sample\" (連番, 画像種別, サイズ) VALUES (4, 'BMP', 100)"));
        s.exec(QStringLiteral("INSERT INTO \"Sample_\" (連番, 画像, \"BMP\") VALUES (4, 'www', ?)"), {png});
        QCOMPARE(search(page().Button10), QStringLiteral("検索終了"));
        clickRow(0);
        QCOMPARE(page().ImageKensaku->picture().fullSize, QSize(40, 20));
        QCOMPARE(form().dm().TaPhoto->fieldByName(QStringLiteral("連番")).asInteger(), 1);
        clickRow(3);
        QCOMPARE(page().ImageKensaku->picture().fullSize, QSize(30, 60));
        QCOMPARE(page().ImageKensaku->picture().image.pixelColor(5, 5), QColor(Qt::red));
        QCOMPARE(form().dm().TaPhoto->fieldByName(QStringLiteral("連番")).asInteger(), 4);

        page().N4->trigger();
        page().N4->trigger();
        QCOMPARE(visibleViews(), 1);
        page().N5->trigger();
        page().N5->trigger();
        QCOMPARE(visibleViews(), 3);
    }

    // "画像" and "複数" (and their menu items, the result's "単独" and "複数",
    // the record page's "ﾃｰﾌﾞﾙ") show the record's or the selected result's
    // picture decoded whole, in the shared window or a new one.
    void pictureCommandsOnTheDatabaseTab_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("command");
        QTest::addColumn<bool>("newWindow");
        QTest::addColumn<QString>("title"); // before the size; "" for no window at all
        const QString item3 = QStringLiteral("p0.jpg"); // the end of the path in item 3
        QTest::newRow("record, 画像") << "TabToroku" << "BtSingle" << false << item3;
        QTest::newRow("record, 複数") << "TabToroku" << "BtMulti" << true << item3;
        QTest::newRow("record, menu 単独画像") << "TabToroku" << "S4" << false << item3;
        QTest::newRow("record, ﾃｰﾌﾞﾙ") << "TabToroku" << "BtTable" << true << QStringLiteral("夏 海と空");
        QTest::newRow("search, 画像") << "TabKensaku" << "BtSingle" << false << item3;
        QTest::newRow("search, menu 複数画像") << "TabKensaku" << "M2" << true << item3;
        QTest::newRow("search, menu テーブル表示") << "TabKensaku" << "T4" << true << item3;
        QTest::newRow("search, result 単独") << "TabKensaku" << "N4" << false << item3;
        QTest::newRow("search, result 複数") << "TabKensaku" << "N5" << true << item3;
        QTest::newRow("new database page") << "TabShinki" << "BtSingle" << false << QString();
    }
    void pictureCommandsOnTheDatabaseTab()
    {
        QFETCH(QString, page);
        QFETCH(QString, command);
        QFETCH(bool, newWindow);
        QFETCH(QString, title);
        // Larger than both boxes: the preview and the record page decode it smaller.
        addRecords(QSize(800, 400));
        QCOMPARE(search(this->page().Button10), QStringLiteral("検索終了"));
        clickRow(0);
        QVERIFY(this->page().ImageKensaku->picture().image.width() < 800);
        form().PageMain->setCurrentWidget(form().TabPhoto);
        form().PagePhoto->setCurrentWidget(form().PagePhoto->findChild<QWidget*>(page));
        form().multipleViewMode = !newWindow;
        const QList<viewing::TFormView*> before = views();

        if (auto* button = form().findChild<QToolButton*>(command))
            button->click();
        else
            form().findChild<QAction*>(command)->trigger();

        const QList<viewing::TFormView*> after = views();
        if (title.isEmpty()) {
            QCOMPARE(after, before);
            return;
        }
        QCOMPARE(form().multipleViewMode, newWindow);
        QCOMPARE(after.size(), before.size() + 1);
        viewing::TFormView* shown = nullptr;
        for (viewing::TFormView* w : after)
            if (!before.contains(w))
                shown = w;
        QCOMPARE(shown == m_fixture->windows().FormView, !newWindow);
        QVERIFY2(shown->windowTitle().endsWith(title + QStringLiteral(" (800 x 400)")), qPrintable(shown->windowTitle()));
        QCOMPARE(shown->Image1->picture().image.size(), QSize(800, 400));
    }

    // The result's サイズ column shows nine digits whole; a stored width wins.
    void theSizeColumnFitsNineDigits()
    {
        form().dm().store().exec(QStringLiteral("INSERT INTO \"Sample\" (連番, 画像種別, サイズ) VALUES (1, 'JPEG', 123456789)"));
        QCOMPARE(search(page().Button10), QStringLiteral("検索終了"));
        QTableView* grid = page().DBGridQuery;
        QCOMPARE(grid->model()->index(0, 4).data().toString(), QStringLiteral("123456789"));
        // The width the cell's text needs, as the grid's own delegate measures it.
        const int needed = static_cast<QAbstractItemView*>(grid)->sizeHintForColumn(4);
        QVERIFY2(needed <= grid->columnWidth(4), qPrintable(QStringLiteral("%1 > %2").arg(needed).arg(grid->columnWidth(4))));
        grid->horizontalHeader()->resizeSection(4, 50);
        m_fixture->restart();
        QCOMPARE(page().DBGridQuery->columnWidth(4), 50);
    }

    void aMissingFileInIndexMode()
    {
        makeDatabase(form().dm().store(), QStringLiteral("Index"), true);
        QVERIFY(form().photo().OpenDatabase(QStringLiteral("Index")));
        QVERIFY(writePicture(file("gone.jpg"), QSize(10, 10)));
        picturedb::RegisterAddress(catalogue(), file("gone.jpg"), QDate(2026, 1, 1));
        QCOMPARE(search(page().Button10), QStringLiteral("検索終了"));
        QVERIFY(QFile::remove(file("gone.jpg")));
        ModalAnswer box([](QWidget* w) { pressButton(w, QMessageBox::Ok); });
        clickRow(0);
        QVERIFY(box.wasShown());
        QCOMPARE(box.text(), QStringLiteral("画像が見つかりません"));
    }

    // "ﾃｰﾌﾞﾙ" on the search page: the first sixty of seventy results.
    void sixtyCellsFromSeventyResults()
    {
        const QString path = file(QStringLiteral("p.jpg"));
        QVERIFY(writePicture(path, QSize(40, 20)));
        for (int i = 1; i <= 70; ++i)
            QVERIFY(picturedb::RegisterFile(catalogue(), false, QStringLiteral("t%1").arg(i), {}, QDate(2026, 1, 1), 100, path));
        QCOMPARE(search(page().Button10), QStringLiteral("検索終了"));
        QCOMPARE(page().HitCount, 70);
        form().PageMain->setCurrentWidget(form().TabPhoto);
        form().PagePhoto->setCurrentWidget(form().TabKensaku);
        form().BtTable->click();
        viewing::TFormMulti& multi = *m_fixture->windows().FormMulti;
        QTRY_VERIFY(multi.isVisible());
        QCOMPARE(multi.ArImage->NumOfArry(), 60);
        for (int cell : {0, 59})
            QCOMPARE(multi.ArImage->Items(cell)->picture().fullSize, QSize(40, 20));
        // Items 2 and 3: the title and the file's path.
        QCOMPARE(multi.ArLabel->Items(0)->text(), QStringLiteral("t1 ") + path);
        QCOMPARE(multi.ArLabel->Items(59)->text(), QStringLiteral("t60 ") + path);
    }

    // A picture kept with its own bytes, of any kind, shows on the record page,
    // in the preview and in the sixty-picture window, after a JPEG's.
    void everyKindShowsInEveryView_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("format");
        QTest::newRow("PNG") << "p.png" << "PNG";
        QTest::newRow("GIF") << "g.gif" << "GIF";
        QTest::newRow("BMP") << "b.bmp" << "BMP";
        // WebP once the picture loader reads what Qt's plugin writes.
        QImage probe(4, 4, QImage::Format_RGB32);
        probe.fill(Qt::red);
        QByteArray webp;
        QBuffer buffer(&webp);
        buffer.open(QIODevice::WriteOnly);
        if (probe.save(&buffer, "WEBP") && viewing::loadPictureData(webp))
            QTest::newRow("WebP") << "w.webp" << "WEBP";
    }
    void everyKindShowsInEveryView()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, format);
        addRecords(QSize(40, 20));
        const QString path = file(fileName);
        QVERIFY(writePicture(path, QSize(36, 18), format.toLatin1().constData()));
        viewing::PictureTypes every;
        every.gif = every.bmp = every.png = every.webp = every.avif = true;
        QVERIFY(picturedb::RegisterFile(catalogue(), false, QStringLiteral("t"), {}, QDate(2026, 2, 1), 100, path, every));
        QCOMPARE(search(page().Button10), QStringLiteral("検索終了"));
        QCOMPARE(resultSerials(), (QList<int>{1, 2, 3, 4}));
        clickRow(0);
        clickRow(3);
        QCOMPARE(page().ImageKensaku->picture().fullSize, QSize(36, 18));
        QCOMPARE(form().photo().record()->ImagePhoto->picture().fullSize, QSize(36, 18));
        form().PageMain->setCurrentWidget(form().TabPhoto);
        form().PagePhoto->setCurrentWidget(form().TabKensaku);
        form().BtTable->click();
        viewing::TFormMulti& multi = *m_fixture->windows().FormMulti;
        QTRY_VERIFY(multi.isVisible());
        QCOMPARE(multi.ArImage->Items(0)->picture().fullSize, QSize(40, 20));
        QCOMPARE(multi.ArImage->Items(3)->picture().fullSize, QSize(36, 18));
    }

    // An index-mode database shows its cells from files and from Web addresses.
    void indexModeCellsFromFilesAndAddresses()
    {
        HttpTestServer web;
        QImage wide(64, 32, QImage::Format_RGB32);
        wide.fill(Qt::blue);
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        wide.save(&buffer, "JPEG");
        web.setBody(QStringLiteral("/w.jpg"), jpeg, "image/jpeg");
        makeDatabase(form().dm().store(), QStringLiteral("Index"), true);
        QVERIFY(form().photo().OpenDatabase(QStringLiteral("Index")));
        QVERIFY(writePicture(file("f.jpg"), QSize(30, 60)));
        picturedb::RegisterAddress(catalogue(), file("f.jpg"), QDate(2026, 1, 1));
        picturedb::RegisterAddress(catalogue(), web.url(QStringLiteral("/w.jpg")), QDate(2026, 1, 2));
        QCOMPARE(search(page().Button10), QStringLiteral("検索終了"));
        form().PageMain->setCurrentWidget(form().TabPhoto);
        form().PagePhoto->setCurrentWidget(form().TabKensaku);
        form().BtTable->click();
        viewing::TFormMulti& multi = *m_fixture->windows().FormMulti;
        QTRY_VERIFY(multi.isVisible());
        QCOMPARE(multi.ArImage->Items(0)->picture().fullSize, QSize(30, 60));
        QTRY_COMPARE_WITH_TIMEOUT(multi.ArImage->Items(1)->picture().fullSize, QSize(64, 32), 20000);
    }

private:
    app::TFormMain& form() { return m_fixture->form(); }
    SearchPage& page() { return *form().searchPage(); }
    picturedb::Catalogue& catalogue() { return form().photo().catalogue(); }
    QString file(const QString& name) const { return m_files->filePath(name); }

    // Three JPEG records of Sample: 分類 and タイトル set.
    void addRecords(QSize size = QSize(40, 20))
    {
        const QStringList kinds{"夏", "秋", "夏"};
        const QStringList titles{"海と空", "夜", "山の海"};
        for (int i = 0; i < 3; ++i) {
            const QString path = file(QStringLiteral("p%1.jpg").arg(i));
            QVERIFY(writePicture(path, size));
            QVERIFY(picturedb::RegisterFile(catalogue(), false, titles[i], {}, QDate(2026, 1, 1 + i), 100, path));
            form().dm().store().exec(QStringLiteral("UPDATE \"Sample\" SET 分類 = ? WHERE 連番 = ?"), {kinds[i], i + 1});
        }
    }
    // Clicks the control that runs the search; answers with the status text.
    QString search(QAbstractButton* control)
    {
        QString status;
        auto c = connect(&form(), &app::TFormMain::statusChanged, this, [&](int panel, const QString& text) {
            if (panel == 0 && text.startsWith(QStringLiteral("検索")))
                status = text;
        });
        control->click();
        [&] { QTRY_VERIFY_WITH_TIMEOUT(!status.isEmpty(), 20000); }();
        disconnect(c);
        return status;
    }
    bool chooseField(int slot, const QString& label)
    {
        ModalAnswer chooser([label](QWidget* w) {
            auto* pop = qobject_cast<search::TFormPopJouken*>(w);
            QVERIFY(pop);
            const auto items = pop->ListBox->findItems(label, Qt::MatchExactly);
            QVERIFY(!items.isEmpty());
            pop->ListBox->setCurrentItem(items.constFirst());
            QTest::keyClick(pop->ListBox, Qt::Key_Return);
        });
        page().ArButtonKensaku->Items(slot)->click();
        return chooser.wasShown() && page().SlotField[size_t(slot)] == label;
    }
    QList<int> resultSerials()
    {
        QList<int> out;
        QAbstractItemModel* m = page().DBGridQuery->model();
        for (int r = 0; r < m->rowCount(); ++r)
            out << m->index(r, 0).data().toInt();
        return out;
    }
    void clickRow(int row)
    {
        QTableView* grid = page().DBGridQuery;
        const QModelIndex at = grid->model()->index(row, 1);
        grid->setCurrentIndex(at);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(at).center());
    }
    // The visible view windows: the shared one and those of the multiple mode.
    QList<viewing::TFormView*> views()
    {
        QList<viewing::TFormView*> out;
        if (m_fixture->windows().FormView->isVisible())
            out << m_fixture->windows().FormView;
        for (auto* w : form().findChildren<viewing::TFormView*>())
            if (w->isVisible() && w != m_fixture->windows().FormView)
                out << w;
        return out;
    }
    static int visibleViews()
    {
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            n += qobject_cast<viewing::TFormView*>(w) && w->isVisible();
        return n;
    }

    std::unique_ptr<AppFixture> m_fixture;
    std::unique_ptr<QTemporaryDir> m_files;
};

QTEST_MAIN(TestSearch)
#include "tst_search.moc"
