#include "app/Application.h"
#include "app/FormMain.h"
#include "app/FormSetting.h"
#include "app/FormVersion.h"
#include "app/Windows.h"
#include "controls/Animate.h"
#include "controls/TTimer.h"
#include "disk/DirectoryPanel.h"
#include "disk/FormSelectDir.h"
#include "store/Store.h"
#include "store/Table.h"
#include "support/ModalHelper.h"
#include "support/TempPhoto.h"
#include "support/TempSettings.h"
#include "support/TestClocks.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

using app::TFormMain;

class TestFormMain : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_settings = std::make_unique<TempSettings>();
        m_photo = std::make_unique<TempPhoto>();
    }
    void cleanup()
    {
        m_app.reset();
        m_photo.reset();
        m_settings.reset();
    }

    void firstStartWithoutStoredSettings()
    {
        TFormMain& f = start();
        QCOMPARE(f.windowTitle(), QStringLiteral("Quillon"));
        QCOMPARE(f.pos(), QPoint(267, 50));
        QCOMPARE(f.size(), QSize(689, 636));
        QVERIFY(!f.targetWWW());
        QVERIFY(f.ToolBtHard->isChecked());
        QVERIFY(!f.ToolBtWWW->isChecked());
        QVERIFY(f.MenuHard->isChecked());
        QVERIFY(!f.MenuWWW->isChecked());
        QVERIFY(f.CheckAutoDisp->isChecked());
        QVERIFY(f.CheckSakujo->isChecked());
        QCOMPARE(f.EditDBName->text(), QStringLiteral("Sample"));
        QCOMPARE(f.LabelTaishou->text(), QStringLiteral("ﾃﾞｨﾚｸﾄﾘ"));
        QVERIFY(f.ComboDirectory->isVisible());
        QVERIFY(!f.ComboURL->isVisible());
        QVERIFY(f.BtDirectory->isEnabled());
        QVERIFY(!f.BtWeb->isEnabled());
        QCOMPARE(f.PageMain->currentWidget(), f.TabList);
        QCOMPARE(f.PanelSystem->height(), 4);
        QVERIFY(!f.STA->isVisible());
        QVERIFY(!f.PageMain->isTabVisible(f.PageMain->indexOf(f.TabHTTP)));
        QVERIFY(!f.PageMain->isTabVisible(f.PageMain->indexOf(f.TabLog)));
        QVERIFY(!f.PageMain->isTabVisible(f.PageMain->indexOf(f.TabURL)));
        QCOMPARE(f.PanelCL1->height(), 0);
        QCOMPARE(f.PanelCL2->height(), 0);
        QCOMPARE(f.stopIconIndex(), 9);
        QCOMPARE(f.StatusWords[0], QStringLiteral("----"));
        QCOMPARE(f.StatusWords[4], QStringLiteral("登録済"));
        QVERIFY(f.run.crawl);
        QVERIFY(!f.run.collect);
        QCOMPARE(f.urlHistory.current(), -1);
        QCOMPARE(f.directoryHistory.current(), -1);
    }

    void layoutOfTheMainWindow()
    {
        TFormMain& f = start();
        const QStringList tabs{"TabWeb", "TabHost", "TabLink", "TabLinkImage", "TabList",
                               "TabURL", "TabHTTP", "TabLog", "TabPhoto"};
        const QStringList captions{"ＷＷＷ", "ホスト", "リンク(URL)", "画像(URL)", "ファイルリスト",
                                   "URL", "HTTP", "Log", "データベース"};
        QCOMPARE(f.PageMain->count(), tabs.size());
        for (int i = 0; i < tabs.size(); ++i) {
            QCOMPARE(f.PageMain->widget(i)->objectName(), tabs[i]);
            QCOMPARE(f.PageMain->tabText(i), captions[i]);
        }
        // Tool bar 1 in order, with captions and hints.
        const QList<QStringList> bar1{
            {"BtDirectory", "ﾃﾞｨﾚｸﾄﾘ", "探索するディレクトリを指定"}, {"BtSettei", "設定", "ユーザーの探索条件を設定"},
            {"BtKensaku", "検索", "検索を実行する"}, {"BtSingle", "画像", "単一イメージを表示する"},
            {"BtMulti", "複数", "複数画面としてイメージを表示する"}, {"BtTable", "ﾃｰﾌﾞﾙ", "画像をテーブルで一覧表示する"},
            {"ToolButton4", "Quillon", ""}, {"BtStop", "中止", "探索中止"}, {"BtBack", "戻る", ""},
            {"BtForward", "進む", ""}, {"BtSelect", "収集", ""}};
        checkToolBar(f.ToolBar1, bar1, QSize(52, 35));
        const QList<QStringList> bar2{{"ToolBtHard", "ﾊｰﾄﾞﾃﾞｨｽｸ", "探索の対象はハードディスク"},
                                      {"ToolBtWWW", "WWW", "探索の対象はＷＷＷ"},
                                      {"BtTansaku", "探索", "探索を開始"},
                                      {"BtWeb", "Web", "ＷＥＢを表示"}};
        checkToolBar(f.ToolBar2, bar2, QSize(61, 35));
        QCOMPARE(f.Animate1->size(), QSize(60, 35));
        QCOMPARE(f.Button3->text(), QStringLiteral("System(&Y)"));

        const int stbWidths[] = {100, 85, 85, 85, 260, 50};
        for (int i = 0; i < 6; ++i) {
            QLabel* p = f.findChild<QLabel*>(QStringLiteral("STB%1").arg(i));
            QVERIFY(p);
            QCOMPARE(p->width(), stbWidths[i]);
        }
        for (int i = 0; i < 7; ++i) {
            QLabel* p = f.findChild<QLabel*>(QStringLiteral("STA%1").arg(i));
            QVERIFY(p);
            QCOMPARE(p->width(), 90);
        }

        // The whole menu: top-level captions, then item names and captions.
        const QStringList top{"ファイル(&F)", "探索(&T)", "消去(&E)", "ブックマーク(&B)", "設定(&S)", "表示(&L)", "ヘルプ(&H)"};
        QStringList seen;
        for (QAction* a : f.menuBar()->actions())
            seen << a->text();
        QCOMPARE(seen, top);
        const QList<QStringList> items{
            {"Exit1", "終了(&X)"}, {"G1", "実行(&G)"}, {"S1", "中止(&S)"}, {"WebW1", "Web表示(&W)"},
            {"T2", "収集(&T)"}, {"M1", "ファイルリスト消去(&R)"}, {"MenuAllClear", "全消去(&Z)"},
            {"H1", "ホーム(&H)"}, {"S2", "サポート掲示版(&S)"}, {"D1", "ディレクトリ(&D)"},
            {"J1", "探索条件(&J)"}, {"MenuHard", "ハードディスク(&H)"}, {"MenuWWW", "ＷＷＷ(W)"},
            {"B2", "テーブル表示(&B)"}, {"S4", "単独画像(&S)"}, {"M2", "複数画像(&M)"},
            {"T4", "テーブル表示(&T)"}, {"Contents1", "目次(&C)"}, {"K1", "ｷｰﾜｰﾄﾞ検索(&K)"},
            {"About1", "バージョン情報(&A)"}};
        for (const QStringList& item : items) {
            auto* a = f.findChild<QAction*>(item[0]);
            QVERIFY2(a, qPrintable(item[0]));
            QCOMPARE(a->text(), item[1]);
        }

        // Timers exist, named, all stopped.
        for (const QString& name : {QStringLiteral("TimerTansaku"), QStringLiteral("TimerF1"),
                                    QStringLiteral("TimerF6"), QStringLiteral("TimerGazou"),
                                    QStringLiteral("TimerKensaku")}) {
            auto* t = f.findChild<TTimer*>(name);
            QVERIFY2(t, qPrintable(name));
            QCOMPARE(t->intervalMs(), 0);
        }
        for (int n = 0; n < 7; ++n)
            QVERIFY(f.findChild<QObject*>(QStringLiteral("HTTP%1").arg(n)));
        QVERIFY(f.findChild<QWidget*>(QStringLiteral("HTML1")));
    }

    void secondaryWindowsAreCreatedHidden()
    {
        start();
        const QList<QStringList> expected{
            {"FormSelectDir", "ディレクトリ選択"}, {"FormView", "View Form"}, {"FormSetting", "ユーザー設定"},
            {"FormDirectory", "画像ファイル表示"}, {"FormMulti", "マルチテーブル表示"},
            {"FormSetteiMulti", "マルチ画面 設定"}, {"FormPassword", "パスワード入力"},
            {"FormDBList", "データベースリスト"}, {"FormPopJouken", "検索項目選択"},
            {"FormPopKensaku", "検索実行中"}, {"FormVersion", "ﾊﾞｰｼﾞｮﾝ情報"}};
        QStringList names;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (w->objectName().startsWith(QLatin1String("Form")) && w->objectName() != QLatin1String("FormMain"))
                names << w->objectName();
        }
        for (const QStringList& e : expected) {
            QWidget* w = nullptr;
            for (QWidget* t : QApplication::topLevelWidgets()) {
                if (t->objectName() == e[0])
                    w = t;
            }
            QVERIFY2(w, qPrintable(e[0]));
            QCOMPARE(w->windowTitle(), e[1]);
            QVERIFY2(!w->isVisible(), qPrintable(e[0]));
        }
        QCOMPARE(names.size(), expected.size());
    }

    void targetSwitch()
    {
        TFormMain& f = start();
        // WWW button while HD: selects WWW.
        f.ToolBtWWW->click();
        QVERIFY(f.targetWWW());
        QVERIFY(f.ToolBtWWW->isChecked());
        QVERIFY(!f.ToolBtHard->isChecked());
        QVERIFY(f.MenuWWW->isChecked());
        QVERIFY(!f.MenuHard->isChecked());
        QCOMPARE(f.LabelTaishou->text(), QStringLiteral("　ＵＲＬ"));
        QVERIFY(f.ComboURL->isVisible());
        QVERIFY(!f.ComboDirectory->isVisible());
        QVERIFY(!f.BtDirectory->isEnabled());
        QVERIFY(f.BtWeb->isEnabled() && f.BtBack->isEnabled() && f.BtForward->isEnabled());
        // WWW button again while WWW: the button is released, so HD.
        f.ToolBtWWW->click();
        QVERIFY(!f.targetWWW());
        QVERIFY(f.ToolBtHard->isChecked());
        // Hard-disk button while HD: released, so WWW.
        f.ToolBtHard->click();
        QVERIFY(f.targetWWW());
        // Hard-disk button while WWW: pressed, so HD, and the file list comes to the front.
        f.PageMain->setCurrentWidget(f.TabHost);
        f.ToolBtHard->click();
        QVERIFY(!f.targetWWW());
        QCOMPARE(f.PageMain->currentWidget(), f.TabList);
        // The menu: choosing the active target switches to the other one.
        f.MenuHard->trigger();
        QVERIFY(f.targetWWW());
        QVERIFY(f.MenuWWW->isChecked());
        QVERIFY(!f.MenuHard->isChecked());
        f.MenuWWW->trigger();
        QVERIFY(!f.targetWWW());
        QVERIFY(f.MenuHard->isChecked());
        f.MenuWWW->trigger();
        QVERIFY(f.targetWWW());
        f.MenuHard->trigger();
        QVERIFY(!f.targetWWW());
        // Any switch leaves the stop button idle.
        f.setStopIcon(8);
        f.ToolBtWWW->click();
        QCOMPARE(f.stopIconIndex(), 9);
    }

    void closingWithWWWRestoresWWW()
    {
        {
            TFormMain& f = start();
            f.ToolBtWWW->click();
            f.ComboURL->setEditText(QStringLiteral("http://127.0.0.1:1/start.html"));
            f.ComboDirectory->setEditText(QStringLiteral("/tmp/pics"));
            f.EditDBName->setText(QStringLiteral("Travel"));
            f.CheckAutoDisp->setChecked(false);
            f.move(300, 120);
            f.resize(700, 600);
            f.DBGridQuery->horizontalHeader()->resizeSection(2, 150);
            f.close();
            m_app.reset();
        }
        // The name box's database is opened at start: there is none of that name.
        ModalAnswer missing([](QWidget* m) { pressButton(m, QMessageBox::Ok); });
        TFormMain& f = start();
        QVERIFY(missing.wasShown());
        QCOMPARE(missing.text(), QStringLiteral("データベース該当なし"));
        QVERIFY(f.targetWWW());
        QVERIFY(f.ComboURL->isVisible());
        QCOMPARE(f.LabelTaishou->text(), QStringLiteral("　ＵＲＬ"));
        QVERIFY(!f.BtDirectory->isEnabled());
        QCOMPARE(f.ComboURL->currentText(), QStringLiteral("http://127.0.0.1:1/start.html"));
        QCOMPARE(f.ComboDirectory->currentText(), QStringLiteral("/tmp/pics"));
        QCOMPARE(f.EditDBName->text(), QStringLiteral("Travel"));
        QVERIFY(!f.CheckAutoDisp->isChecked());
        QVERIFY(f.CheckSakujo->isChecked());
        QCOMPARE(f.pos(), QPoint(300, 120));
        QCOMPARE(f.size(), QSize(700, 600));
        QCOMPARE(f.DBGridQuery->horizontalHeader()->sectionSize(2), 150);
    }

    void closeDropsTablePasswords()
    {
        TFormMain& f = start();
        store::Table probe(m_app->store(), QStringLiteral("_Link.db"));
        probe.open(); // the data module registered the password
        probe.close();
        f.close();
        QVERIFY_THROWS_EXCEPTION(store::StoreError, probe.open());
    }

    void systemButtonShowsHttpLogAndSecondStatusBar()
    {
        TFormMain& f = start();
        f.Button3->click();
        QVERIFY(f.PageMain->isTabVisible(f.PageMain->indexOf(f.TabHTTP)));
        QVERIFY(f.PageMain->isTabVisible(f.PageMain->indexOf(f.TabLog)));
        QVERIFY(!f.PageMain->isTabVisible(f.PageMain->indexOf(f.TabURL)));
        QVERIFY(f.STA->isVisible());
        // Nothing hides them again: a target switch leaves them.
        f.ToolBtWWW->click();
        QVERIFY(f.STA->isVisible());
        QVERIFY(f.PageMain->isTabVisible(f.PageMain->indexOf(f.TabLog)));
    }

    void logsAndStatusBars()
    {
        TFormMain& f = start();
        // Opening the start-up database logged its items; start from empty logs.
        f.ClearStatusAndLogs();
        f.LogNormal(QStringLiteral("Found : http://h/a.html"));
        f.LogNormal(QStringLiteral("second"));
        f.LogError(QStringLiteral("Error newHost x"));
        QCOMPARE(f.MemoLog->toPlainText(), QStringLiteral("Found : http://h/a.html\nsecond"));
        QCOMPARE(f.MemoError->toPlainText(), QStringLiteral("Error newHost x"));
        for (int i = 0; i < 6; ++i) {
            f.setStb(i, QStringLiteral("b%1").arg(i));
            f.setSta(i, QStringLiteral("a%1").arg(i));
        }
        f.ClearStatusAndLogs();
        for (int i = 0; i < 6; ++i) {
            QCOMPARE(f.stb(i), QString());
            QCOMPARE(f.sta(i), QString());
        }
        QVERIFY(f.MemoLog->toPlainText().isEmpty());
        QVERIFY(f.MemoError->toPlainText().isEmpty());
    }

    void busyIndicationAndStop()
    {
        TFormMain& f = start();
        QVERIFY2(f.Animate1->isOpen(), "cool.avi beside the program should load");
        f.BeginRun();
        QCOMPARE(f.stopIconIndex(), 8);
        QVERIFY(f.Animate1->active());
        f.TimerF[3]->setIntervalMs(300);
        f.BtStop->click();
        QCOMPARE(f.TimerF[3]->intervalMs(), 0);
        QCOMPARE(f.stopIconIndex(), 9);
        QVERIFY(!f.Animate1->active());
        QCOMPARE(f.stb(0), QStringLiteral("探索中止"));
        QCOMPARE(f.stb(5), QStringLiteral("0 秒"));
        QVERIFY(f.run.crawl);
        QVERIFY(!f.run.collect);
    }

    void helpFileAndCommandLine()
    {
        TFormMain& f = start();
        const QFileInfo program(QCoreApplication::applicationFilePath());
        QCOMPARE(f.helpFile(), program.absolutePath() + QLatin1Char('/') + program.completeBaseName() + ".HLP");
        QCOMPARE(f.helpCommandLine(), QStringLiteral("Winhelp ") + f.helpFile());
    }

    void directoryHistoryThroughTheChooser()
    {
        TFormMain& f = start();
        QTemporaryDir root;
        const QString a = root.filePath("a"), b = root.filePath("b"), c = root.filePath("c");
        for (const QString& d : {a, b, c})
            QVERIFY(QDir().mkpath(d));
        auto choose = [&](const QString& dir, bool ok) {
            ModalAnswer chooser([&](QWidget* modal) {
                auto* w = qobject_cast<disk::TFormSelectDir*>(modal);
                QVERIFY(w);
                QVERIFY(w->panel()->setDirectory(dir));
                (ok ? w->Button2 : w->Button1)->click();
            });
            f.BtDirectory->click();
            QVERIFY(chooser.wasShown());
        };
        QVERIFY(!f.BtBack->isEnabled());
        choose(a, true);
        QCOMPARE(f.ComboDirectory->currentText(), a);
        QVERIFY(!f.BtBack->isEnabled() && !f.BtForward->isEnabled());
        choose(b, true);
        choose(c, true);
        QCOMPARE(f.directoryHistory.entries(), (QStringList{a, b, c}));
        QVERIFY(f.BtBack->isEnabled() && !f.BtForward->isEnabled());
        // A known directory only moves the index; the drop-down puts it on top.
        choose(a, true);
        QCOMPARE(f.directoryHistory.current(), 0);
        QVERIFY(!f.BtBack->isEnabled() && f.BtForward->isEnabled());
        QCOMPARE(f.ComboDirectory->itemText(0), a);
        QCOMPARE(f.ComboDirectory->count(), 3);
        // A new one drops what lay after the current entry.
        const QString d = root.filePath("d");
        QVERIFY(QDir().mkpath(d));
        choose(d, true);
        QCOMPARE(f.directoryHistory.entries(), (QStringList{a, d}));
        // Cancel leaves the directory box as it was.
        choose(b, false);
        QCOMPARE(f.ComboDirectory->currentText(), d);
        QCOMPARE(f.directoryHistory.entries(), (QStringList{a, d}));
    }

    void versionDialog()
    {
        TFormMain& f = start();
        QString product, version;
        ModalAnswer helper([&](QWidget* modal) {
            QCOMPARE(modal->objectName(), QStringLiteral("FormVersion"));
            product = modal->findChild<QLabel*>(QStringLiteral("ProductName"))->text();
            version = modal->findChild<QLabel*>(QStringLiteral("Version"))->text();
            auto* ok = modal->findChild<QPushButton*>(QStringLiteral("OKButton"));
            QVERIFY(ok->isDefault());
            ok->click();
        });
        f.About1->trigger();
        QVERIFY(helper.wasShown());
        QCOMPARE(product, QStringLiteral("Quillon"));
        QCOMPARE(version, QStringLiteral("Version 1.00"));
    }

    void settingsButtonOpensTheDialogOnTheTargetsTab()
    {
        TFormMain& f = start();
        auto* setting = m_app->windows().FormSetting;
        f.BtSettei->click();
        QVERIFY(setting->isVisible());
        QCOMPARE(setting->PageControl1->currentIndex(), int(app::TFormSetting::TabHDIndex));
        setting->hide();
        f.ToolBtWWW->click();
        f.BtSettei->click();
        QCOMPARE(setting->PageControl1->currentIndex(), int(app::TFormSetting::TabWWWIndex));
        // The home item copies the start address without fetching anything.
        setting->EditStartURL->setText(QStringLiteral("http://127.0.0.1:9/home.html"));
        f.ClearStatusAndLogs();
        f.H1->trigger();
        QCOMPARE(f.ComboURL->currentText(), QStringLiteral("http://127.0.0.1:9/home.html"));
        QVERIFY(f.MemoLog->toPlainText().isEmpty());
    }

    void missingFixedTableStopsStartUp()
    {
        {
            store::Store s(m_photo->dir());
            s.deleteTable(QStringLiteral("_LinkIMG.db"));
        }
        app::Application a;
        QVERIFY(!a.start());
        QVERIFY2(a.errorMessage().contains(QStringLiteral("_LinkIMG.db")), qPrintable(a.errorMessage()));

        // Without a store at all, the first start makes one from the template
        // beside the program, fixed tables and all.
        QFile::remove(m_photo->storePath());
        app::Application b;
        QVERIFY2(b.start(), qPrintable(b.errorMessage()));
        QVERIFY(b.store().tableExists(QStringLiteral("_LinkIMG.db")));
    }

    void missingPictureTableStopsStartUp()
    {
        {
            store::Store s(m_photo->dir());
            s.deleteTable(QStringLiteral("_Model.DB"));
        }
        app::Application a;
        QVERIFY(!a.start());
        QVERIFY(a.errorMessage().contains(QStringLiteral("_Model.DB")));
    }

    void fileListCountAtCreation()
    {
        {
            store::Store s(m_photo->dir());
            s.registerPassword(QStringLiteral("qzk4097"));
            store::Table t(s, QStringLiteral("_List.db"));
            t.open();
            for (int i = 0; i < 3; ++i) {
                t.insert();
                t.fieldByName(QStringLiteral("フルパス名")).setAsString(QStringLiteral("/p/%1.jpg").arg(i));
                t.post();
            }
        }
        TFormMain& f = start();
        QCOMPARE(f.fileListCount, 3);
    }

private:
    TFormMain& start()
    {
        m_app = std::make_unique<app::Application>();
        if (!m_app->start())
            qFatal("start-up failed: %s", qPrintable(m_app->errorMessage()));
        useTestClocks(m_app->formMain());
        m_app->formMain().show();
        if (!QTest::qWaitForWindowExposed(&m_app->formMain()))
            qWarning("main window not exposed");
        return m_app->formMain();
    }
    void checkToolBar(QToolBar* bar, const QList<QStringList>& buttons, QSize size)
    {
        QStringList order;
        for (QToolButton* b : bar->findChildren<QToolButton*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (!b->objectName().startsWith(QLatin1String("qt_")))
                order << b->objectName();
        }
        QStringList expectedOrder;
        for (const QStringList& b : buttons) {
            expectedOrder << b[0];
            auto* button = bar->findChild<QToolButton*>(b[0]);
            QVERIFY2(button, qPrintable(b[0]));
            QCOMPARE(button->text(), b[1]);
            QCOMPARE(button->toolTip(), b[2]);
            QCOMPARE(button->size(), size);
            QVERIFY(!button->icon().isNull());
        }
        QCOMPARE(order, expectedOrder);
    }

    std::unique_ptr<TempSettings> m_settings;
    std::unique_ptr<TempPhoto> m_photo;
    std::unique_ptr<app::Application> m_app;
};

QTEST_MAIN(TestFormMain)
#include "tst_formmain.moc"
