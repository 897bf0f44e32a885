#include "app/ExplorationTabs.h"
#include "app/FormMain.h"
#include "controls/DBGrid.h"
#include "controls/RadioGroup.h"
#include "store/DataMd3.h"
#include "store/DataSource.h"
#include "store/Query.h"
#include "store/Table.h"
#include "store/TableOps.h"
#include "store/Store.h"
#include "support/AppFixture.h"
#include "support/ModalHelper.h"
#include "web/ExplorationTables.h"

#include <QAction>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

using web::WriteOp;

class TestExplorationTabs : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_fixture = std::make_unique<AppFixture>();
        m_fixture->start();
    }
    void cleanup() { m_fixture.reset(); }

    // "全消去" empties the four tables together or not at all.
    void clearingEverythingIsOneTransaction()
    {
        web::ExplorationTables& t = form().tables();
        QVERIFY(t.WriteLinkRecord("h", "http://h/a.html", 0, 0, web::WriteOp::Insert));
        QVERIFY(t.WriteImageLinkRecord("h", "http://h/a.jpg", 0, web::WriteOp::Insert));
        store::Store& s = form().dm3().store();
        s.exec(QStringLiteral("INSERT INTO \"_List.db\" (\"フルパス名\") VALUES ('/p/a.jpg')"));
        // The file list refuses to be emptied, after the other tables were.
        s.exec(QStringLiteral("CREATE TRIGGER refuse BEFORE DELETE ON \"_List.db\" "
                              "BEGIN SELECT RAISE(ABORT, 'refused'); END"));
        ModalAnswer report([](QWidget* w) { pressButton(w, QMessageBox::Ok); });
        form().MenuAllClear->trigger();
        QVERIFY(report.wasShown());
        QVERIFY(report.text().contains(QStringLiteral("refused")));
        for (const char* table : {"_Link.db", "_LinkIMG.db", "_List.db"})
            QCOMPARE(s.countRows(QLatin1String(table)), 1);
        s.exec(QStringLiteral("DROP TRIGGER refuse"));
        form().MenuAllClear->trigger();
        for (const char* table : {"_Link.db", "_LinkIMG.db", "_List.db", "_host"})
            QCOMPARE(s.countRows(QLatin1String(table)), 0);
    }

    void gridsShowTheirColumns()
    {
        app::ExplorationTabs& tabs = *form().explorationTabs();
        QCOMPARE(tabs.DBGrid3->dataSource()->columns(),
                 (QStringList{"Host", "Level", "Link", "URL", "Image", "System", "Date"}));
        QCOMPARE(tabs.DBGridLink->dataSource()->columns(), (QStringList{"No", "Host", "URL", "Comment", "Link"}));
        QCOMPARE(tabs.DBGridImage->dataSource()->columns(), (QStringList{"No", "Host", "URL", "Comment", "Date", "印"}));
        QCOMPARE(tabs.DBGridImage->model()->headerData(3, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral("comment"));
        QCOMPARE(tabs.ButtonHostDelete->text(), QStringLiteral("HOSTリスト消去"));
        QCOMPARE(tabs.ButtonLinkDelete->text(), QStringLiteral("ＵＲＬリスト消去"));
        QCOMPARE(tabs.ButtonImageDelete->text(), QStringLiteral("画像リスト消去"));
    }

    void twoClicksOnTheMarkCell()
    {
        addPictures(2);
        app::ExplorationTabs& tabs = *form().explorationTabs();
        form().PageMain->setCurrentWidget(form().TabLinkImage);
        TDBGrid* grid = tabs.DBGridImage;
        QTRY_COMPARE(grid->model()->rowCount(), 2);
        const QModelIndex markCell = grid->model()->index(1, 5);
        const QModelIndex urlCell = grid->model()->index(1, 2);
        clickCell(grid, markCell);
        QTRY_COMPARE(grid->model()->data(markCell).toString(), QStringLiteral("〆"));
        QCOMPARE(grid->model()->data(grid->model()->index(0, 5)).toString(), QString());
        clickCell(grid, urlCell); // another column only moves the cursor
        QCOMPARE(grid->model()->data(markCell).toString(), QStringLiteral("〆"));
        clickCell(grid, markCell);
        QTRY_COMPARE(grid->model()->data(markCell).toString(), QString());
    }

    void clearAgainstReset()
    {
        addPictures(3);
        app::ExplorationTabs& tabs = *form().explorationTabs();
        web::ExplorationTables& t = form().tables();
        t.WriteImageLinkRecord(QStringLiteral("h"), QStringLiteral("http://h/1.jpg"), 3, WriteOp::Update);
        tabs.Button6->click(); // 全選択
        QCOMPARE(t.CountMarkedImageLinks(), 3);
        tabs.Button18->click(); // リセット: marks stay, outcome cleared
        QCOMPARE(t.CountMarkedImageLinks(), 3);
        QCOMPARE(cell(tabs.DBGridImage, 0, 3), QStringLiteral("----"));
        QVERIFY(tabs.DBGridImage->isVisible() || !form().PageMain->currentWidget()->isAncestorOf(tabs.DBGridImage));
        tabs.Button13->click(); // 解除: both
        QCOMPARE(t.CountMarkedImageLinks(), 0);
        QCOMPARE(cell(tabs.DBGridImage, 2, 5), QString());
    }

    void deleteButtonsResetTheirCursors()
    {
        addPictures(2);
        web::ExplorationTables& t = form().tables();
        t.WriteLinkRecord(QString(), QStringLiteral("http://h/"), 0, 0, WriteOp::Insert);
        form().run.lastPageLinkNo = 5;
        form().run.lastImageLinkNo = 4;
        form().run.pictureLinksFound = 2;
        app::ExplorationTabs& tabs = *form().explorationTabs();
        tabs.Button26->click(); // 削除: the grid's current record
        QCOMPARE(form().dm3().TaLinkImg->recordCount(), 1);
        tabs.ButtonImageDelete->click();
        QCOMPARE(form().dm3().TaLinkImg->recordCount(), 0);
        QCOMPARE(form().run.lastImageLinkNo, 0);
        QCOMPARE(form().run.pictureLinksFound, 0);
        tabs.ButtonLinkDelete->click();
        QCOMPARE(form().dm3().TaLink->recordCount(), 0);
        QCOMPARE(form().run.lastPageLinkNo, 0);
        QCOMPARE(store::NextSerial(*form().dm3().TaLink3), 1);
    }

    void orderChoices()
    {
        web::ExplorationTables& t = form().tables();
        t.WriteLinkRecord(QString(), QStringLiteral("http://h/b.html"), 0, 0, WriteOp::Insert);
        t.WriteLinkRecord(QString(), QStringLiteral("http://h/a.html"), 0, 0, WriteOp::Insert);
        app::ExplorationTabs& tabs = *form().explorationTabs();
        QCOMPARE(cell(tabs.DBGridLink, 0, 2), QStringLiteral("http://h/b.html"));
        tabs.RadioLink->item(1)->click();
        QTRY_COMPARE(cell(tabs.DBGridLink, 0, 2), QStringLiteral("http://h/a.html"));
        tabs.RadioLink->item(0)->click();
        QTRY_COMPARE(cell(tabs.DBGridLink, 0, 2), QStringLiteral("http://h/b.html"));
    }

    void allClearInItsOrder()
    {
        addPictures(2);
        web::ExplorationTables& t = form().tables();
        t.WriteLinkRecord(QString(), QStringLiteral("http://h/"), 0, 0, WriteOp::Insert);
        qint32 d = 0;
        t.EnterHost(QStringLiteral("h"), d);
        store::Table& list = *form().dm3().TaList;
        list.insert();
        list.fieldByName(QStringLiteral("フルパス名")).setAsString(QStringLiteral("/p/a.jpg"));
        list.post();
        form().fileListCount = 1;
        form().run.picturesReceived = 3;
        form().run.lastPageLinkNo = 9;
        form().run.lastImageLinkNo = 8;
        form().LogNormal(QStringLiteral("x"));
        form().setStb(0, QStringLiteral("y"));
        form().MenuAllClear->trigger();
        for (store::Table* table : {form().dm3().TaHost, form().dm3().TaLink, form().dm3().TaLinkImg,
                                    form().dm3().TaList})
            QCOMPARE(table->recordCount(), 0);
        QCOMPARE(form().fileListCount, 0);
        QCOMPARE(form().run.picturesReceived, 0);
        QCOMPARE(form().run.lastPageLinkNo, 0);
        QCOMPARE(form().run.lastImageLinkNo, 0);
        QVERIFY(form().MemoLog->toPlainText().isEmpty());
        QCOMPARE(form().stb(0), QString());
    }

    void countsOnTheStatusBar()
    {
        form().run.pictureLinksFound = 12;
        form().run.filesListed = 3;
        form().PageMain->setCurrentWidget(form().TabLinkImage);
        QCOMPARE(form().stb(2), QStringLiteral("画像 : 12件"));
        form().PageMain->setCurrentWidget(form().TabList);
        QCOMPARE(form().stb(2), QStringLiteral("イメージ : 3件"));
        form().PageMain->setCurrentWidget(form().TabHost);
        QCOMPARE(form().stb(2), QStringLiteral("イメージ : 3件")); // other tabs leave it
    }

private:
    app::TFormMain& form() { return m_fixture->form(); }
    void addPictures(int n)
    {
        for (int i = 1; i <= n; ++i)
            form().tables().WriteImageLinkRecord(QStringLiteral("h"), QStringLiteral("http://h/%1.jpg").arg(i), 0,
                                                 WriteOp::Insert);
    }
    static QString cell(QTableView* grid, int row, int column)
    {
        return grid->model()->data(grid->model()->index(row, column)).toString();
    }
    static void clickCell(QTableView* grid, const QModelIndex& at)
    {
        const QRect r = grid->visualRect(at);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, r.center());
    }
    std::unique_ptr<AppFixture> m_fixture;
};

QTEST_MAIN(TestExplorationTabs)
#include "tst_explorationtabs.moc"
