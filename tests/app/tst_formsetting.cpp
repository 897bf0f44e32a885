#include "app/FormMain.h"
#include "app/FormSetting.h"
#include "app/Windows.h"
#include "base/SettingsStore.h"
#include "controls/RadioGroup.h"
#include "disk/FormSelectDir.h"
#include "support/AppFixture.h"
#include "support/ModalHelper.h"
#include "support/PgServer.h"
#include "web/THTTP.h"

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

using app::TFormSetting;

class TestFormSetting : public QObject {
    Q_OBJECT

private slots:
    void init()
    {
        m_fixture = std::make_unique<AppFixture>();
        m_fixture->start();
    }
    void cleanup() { m_fixture.reset(); }

    void startValuesWithNothingStored()
    {
        TFormSetting& s = dialog();
        QCOMPARE(s.windowTitle(), QStringLiteral("ユーザー設定"));
        QStringList tabs;
        for (int i = 0; i < s.PageControl1->count(); ++i)
            tabs << s.PageControl1->tabText(i);
        QCOMPARE(tabs, (QStringList{"探索設定(WWW)", "探索設定(HD)", "画像設定", "ネットワーク"}));
        QCOMPARE(s.EditStartURL->text(), QStringLiteral("http://"));
        // Designed with "毎回クリアする", read back as "結果を累積する".
        QCOMPARE(s.RadioKekkaWWW->itemIndex(), 0);
        QCOMPARE(s.RadioKekka->itemIndex(), 0);
        QCOMPARE(s.EditMaxImage->text(), QStringLiteral("20"));
        QCOMPARE(s.EditMaxURL->text(), QStringLiteral("100"));
        QCOMPARE(s.EditUchikiri->text(), QStringLiteral("20"));
        QVERIFY(s.CheckGaibu->isChecked());
        QVERIFY(s.CheckLinkMax->isChecked());
        QCOMPARE(s.EditLinkMax->text(), QStringLiteral("3")); // designed "2"
        QCOMPARE(s.ScrollSpeed->minimum(), 1);
        QCOMPARE(s.ScrollSpeed->maximum(), 6);
        QCOMPARE(s.ScrollSpeed->value(), 4);
        QCOMPARE(s.LabelSpeed->text(), QStringLiteral("4"));
        QVERIFY(s.CheckFileSave->isChecked());
        QCOMPARE(s.EditDirectory->text(), TFormSetting::programDirectory());
        QVERIFY(!s.CheckDBSave->isChecked());
        QVERIFY(!s.noDuplicates());
        QVERIFY(s.CheckJPEG->isChecked());
        QVERIFY(!s.CheckGIF->isChecked());
        QVERIFY(!s.CheckBMP->isChecked());
        for (QCheckBox* added : {s.CheckPNG, s.CheckWebP, s.CheckAVIF, s.CheckMarkup})
            QVERIFY(!added->isChecked());
        QCOMPARE(s.CheckMarkup->text(), QStringLiteral("srcset・遅延読込・拡張子のない画像も探す"));
        QVERIFY(s.CheckSize->isChecked());
        QCOMPARE(s.EditMinSize->text(), QStringLiteral("5"));
        QCOMPARE(s.EditMaxSize->text(), QStringLiteral("120"));
        QVERIFY(s.CheckHiritsu->isChecked());
        QCOMPARE(s.EditHiritsu->text(), QStringLiteral("200"));
        QVERIFY(!s.CheckProxy->isChecked());
        QCOMPARE(s.EditWidth->text(), QStringLiteral("800 "));
        QCOMPARE(s.EditHeight->text(), QStringLiteral("1000"));
        QVERIFY(s.GroupLimit->isHidden());
        QVERIFY(!m_fixture->form().proxySwitch);
        QVERIFY(!s.CheckServer->isChecked());
        QCOMPARE(s.serverSettings(), store::ServerSettings());
    }

    void visibilityFollowsTheBoxes()
    {
        TFormSetting& s = dialog();
        s.show();
        struct Rule {
            QCheckBox* box;
            QList<QWidget*> shown;
        };
        const QList<Rule> rules{{s.CheckGaibu, {s.CheckLinkMax, s.EditLinkMax}},
                                {s.CheckFileSave, {s.GroupDirectory}},
                                {s.CheckDBSave, {s.GroupDB}},
                                {s.CheckProxy, {s.LabelIP, s.LabelPort, s.EditIPAddress, s.EditPort}},
                                {s.CheckSize, {s.GroupSize}},
                                {s.CheckHiritsu, {s.GroupHiritsu}}};
        for (const Rule& r : rules) {
            for (int round = 0; round < 2; ++round) {
                r.box->click();
                for (QWidget* w : r.shown)
                    QCOMPARE(!w->isHidden(), r.box->isChecked());
            }
        }
        QVERIFY(!s.Button7->isHidden());
        // The proxy box sets the switch at once, without touching the components.
        s.CheckProxy->click();
        QVERIFY(m_fixture->form().proxySwitch);
        QVERIFY(!m_fixture->form().HTTP[0]->proxyUse());
    }

    void textValidation()
    {
        TFormSetting& s = dialog();
        s.EditMinSize->clear();
        QTest::keyClicks(s.EditMinSize, QStringLiteral("1a"));
        QCOMPARE(s.EditMinSize->text(), QStringLiteral("5"));
        s.EditMaxSize->selectAll();
        QTest::keyClick(s.EditMaxSize, Qt::Key_Backspace);
        QCOMPARE(s.EditMaxSize->text(), QStringLiteral("120"));
        s.EditMaxSize->setText(QStringLiteral("$FF"));
        QCOMPARE(s.EditMaxSize->text(), QStringLiteral("$FF")); // a hexadecimal integer is an integer
        s.EditLinkMax->clear();
        QCOMPARE(s.EditLinkMax->text(), QString());
        QTest::keyClicks(s.EditLinkMax, QStringLiteral("x"));
        QCOMPARE(s.EditLinkMax->text(), QString());
        QTest::keyClicks(s.EditLinkMax, QStringLiteral("12"));
        QCOMPARE(s.EditLinkMax->text(), QStringLiteral("12"));
        // The ratio takes at most three digits.
        s.EditHiritsu->clear();
        QTest::keyClicks(s.EditHiritsu, QStringLiteral("25a07"));
        QCOMPARE(s.EditHiritsu->text(), QStringLiteral("250"));
        s.ScrollSpeed->setValue(6);
        QCOMPARE(s.LabelSpeed->text(), QStringLiteral("6"));
    }

    void proxyReachesAllSevenComponents()
    {
        TFormSetting& s = dialog();
        auto& http = m_fixture->form().HTTP;
        s.CheckProxy->setChecked(true);
        s.EditIPAddress->setText(QStringLiteral("127.0.0.1"));
        s.EditPort->setText(QStringLiteral("3128"));
        s.Button6->click();
        for (web::THTTP* h : http) {
            QVERIFY(h->proxyUse());
            QCOMPARE(h->proxyHost(), QStringLiteral("127.0.0.1"));
            QCOMPARE(h->proxyPort(), 3128);
        }
        QCOMPARE(s.StatusBar1->currentMessage(), QStringLiteral("プロキシ設定完了"));
        QVERIFY(m_fixture->form().proxySwitch);

        // A port that is not a number changes nothing at all.
        s.StatusBar1->clearMessage();
        s.EditIPAddress->setText(QStringLiteral("10.9.9.9"));
        s.EditPort->setText(QStringLiteral("80a"));
        ModalAnswer error([](QWidget* modal) { pressButton(modal, QMessageBox::Ok); });
        s.Button6->click();
        QVERIFY(error.wasShown());
        for (web::THTTP* h : http) {
            QCOMPARE(h->proxyHost(), QStringLiteral("127.0.0.1"));
            QCOMPARE(h->proxyPort(), 3128);
        }
        QCOMPARE(s.StatusBar1->currentMessage(), QString());

        // Off: no component keeps a proxy.
        s.CheckProxy->click();
        s.Button6->click();
        for (web::THTTP* h : http)
            QVERIFY(!h->proxyUse());
        QVERIFY(!m_fixture->form().proxySwitch);
    }

    void directoryCreation()
    {
        TFormSetting& s = dialog();
        QTemporaryDir base;
        s.EditDirectory->setText(base.path());
        s.Button7->click();
        QCOMPARE(s.StatusBar1->currentMessage(), QStringLiteral("ディレクトリ作成失敗"));
        s.EditDirectory->setText(base.path() + QStringLiteral("/new"));
        s.Button7->click();
        QCOMPARE(s.StatusBar1->currentMessage(), QStringLiteral("ディレクトリ作成完了"));
        QVERIFY(QFileInfo(base.path() + QStringLiteral("/new")).isDir());
        // Only one directory: a missing parent is not made along the way.
        s.EditDirectory->setText(base.path() + QStringLiteral("/a/b"));
        s.Button7->click();
        QCOMPARE(s.StatusBar1->currentMessage(), QStringLiteral("ディレクトリ作成失敗"));
        s.EditDirectory->clear();
        ModalAnswer ask([](QWidget* modal) { pressButton(modal, QMessageBox::Ok); });
        s.Button7->click();
        QVERIFY(ask.wasShown());
        QCOMPARE(ask.text(), QStringLiteral("ディレクトリを指定してください"));
    }

    void directoryChoiceThroughTheChooser()
    {
        TFormSetting& s = dialog();
        QTemporaryDir pics;
        auto* chooser = m_fixture->windows().FormSelectDir;
        {
            ModalAnswer ok([&](QWidget* modal) {
                QCOMPARE(modal, static_cast<QWidget*>(chooser));
                QVERIFY(chooser->setDirectory(pics.path()));
                chooser->Button2->click();
            });
            s.Button4->click();
            QVERIFY(ok.wasShown());
        }
        QCOMPARE(s.EditDirectory->text(), QDir::toNativeSeparators(pics.path()));
        const QString before = s.EditStart->text();
        {
            ModalAnswer cancel([&](QWidget*) {
                chooser->setDirectory(QDir::tempPath());
                chooser->Button1->click();
            });
            s.Button3->click();
            QVERIFY(cancel.wasShown());
        }
        QCOMPARE(s.EditStart->text(), before);
    }

    void serverTestSaysWhatItFound()
    {
        PgServer server;
        QUILLON_REQUIRE_PG(server);
        TFormSetting& s = dialog();
        s.EditServerHost->setText(server.host());
        s.EditServerDB->setText(server.database());
        s.EditServerUser->setText(server.user());
        const QString wrongPort = QString::number(server.port() == 65000 ? 65001 : 65000);
        for (const QString& port : {QString::number(server.port()), wrongPort}) {
            s.EditServerPort->setText(port);
            ModalAnswer answer([](QWidget* modal) { pressButton(modal, QMessageBox::Ok); }, 60000);
            s.ButtonServerTest->click();
            QVERIFY(answer.wasShown());
            if (port == wrongPort)
                QVERIFY2(answer.text().contains(QStringLiteral(".s.PGSQL.") + wrongPort), qPrintable(answer.text()));
            else
                QVERIFY2(answer.text().startsWith(QStringLiteral("接続できました : 15.")), qPrintable(answer.text()));
        }
    }

    void closingStoresEveryOptionAndNotClosingStoresNothing()
    {
        QTemporaryDir dir;
        {
            TFormSetting& s = dialog();
            s.show();
            s.EditStartURL->setText(QStringLiteral("http://127.0.0.1:8/"));
            s.RadioKekkaWWW->setItemIndex(1);
            s.RadioKekka->setItemIndex(1);
            s.EditMaxImage->setText(QStringLiteral("7"));
            s.EditMaxURL->setText(QStringLiteral("8"));
            s.EditUchikiri->setText(QStringLiteral("abc"));
            s.CheckGaibu->setChecked(false);
            s.CheckLinkMax->setChecked(false);
            s.EditLinkMax->setText(QStringLiteral("2"));
            s.ScrollSpeed->setValue(6);
            s.EditStart->setText(dir.path());
            s.CheckFileSave->setChecked(false);
            s.EditDirectory->setText(dir.path());
            s.CheckDBSave->setChecked(true);
            s.CheckNoDuplicate->setChecked(true);
            s.CheckJPEG->setChecked(false);
            s.CheckGIF->setChecked(true);
            s.CheckBMP->setChecked(true);
            for (QCheckBox* added : {s.CheckPNG, s.CheckWebP, s.CheckAVIF, s.CheckMarkup})
                added->setChecked(true);
            s.CheckSize->setChecked(false);
            s.EditMinSize->setText(QStringLiteral("1"));
            s.EditMaxSize->setText(QStringLiteral("999"));
            s.CheckHiritsu->setChecked(false);
            s.EditHiritsu->setText(QStringLiteral("150"));
            s.CheckProxy->setChecked(true);
            s.EditIPAddress->setText(QStringLiteral("127.0.0.1"));
            s.EditPort->setText(QStringLiteral("3128"));
            s.EditWidth->setText(QStringLiteral("640"));
            s.EditHeight->setText(QStringLiteral("480"));
            s.CheckServer->setChecked(true);
            s.EditService->setText(QStringLiteral("club"));
            s.EditServerHost->setText(QStringLiteral("db.example"));
            s.EditServerPort->setText(QStringLiteral("5433"));
            s.EditServerDB->setText(QStringLiteral("photos"));
            s.EditServerUser->setText(QStringLiteral("hanako"));
            s.close();
        }
        m_fixture->restart();
        TFormSetting& s = dialog();
        QCOMPARE(s.EditStartURL->text(), QStringLiteral("http://127.0.0.1:8/"));
        QCOMPARE(s.RadioKekkaWWW->itemIndex(), 1);
        QCOMPARE(s.RadioKekka->itemIndex(), 1);
        QCOMPARE(s.EditMaxImage->text(), QStringLiteral("7"));
        QCOMPARE(s.EditMaxURL->text(), QStringLiteral("8"));
        QCOMPARE(s.EditUchikiri->text(), QStringLiteral("abc"));
        QVERIFY(!s.CheckGaibu->isChecked());
        QVERIFY(!s.CheckLinkMax->isChecked());
        QCOMPARE(s.EditLinkMax->text(), QStringLiteral("2"));
        QCOMPARE(s.ScrollSpeed->value(), 6);
        QCOMPARE(s.LabelSpeed->text(), QStringLiteral("6"));
        QCOMPARE(s.EditStart->text(), dir.path());
        QVERIFY(!s.CheckFileSave->isChecked());
        QCOMPARE(s.EditDirectory->text(), dir.path());
        QVERIFY(s.CheckDBSave->isChecked());
        QVERIFY(base::SettingsStore().readBool(base::SettingsStore::Setting, QStringLiteral("fmSetting.CheckNoDuplicate"), false));
        QVERIFY(s.noDuplicates());
        QVERIFY(!s.CheckJPEG->isChecked());
        QVERIFY(s.CheckGIF->isChecked());
        QVERIFY(s.CheckBMP->isChecked());
        for (const char* name : {"CheckPng", "CheckWebp", "CheckAvif", "CheckMarkup"})
            QVERIFY(base::SettingsStore().readBool(base::SettingsStore::Setting, QStringLiteral("fmSetting.") + QLatin1String(name), false));
        QVERIFY(s.pictureTypes().png && s.pictureTypes().webp && s.pictureTypes().avif && s.pictureTypes().markup);
        QVERIFY(!s.CheckSize->isChecked());
        QCOMPARE(s.EditMinSize->text(), QStringLiteral("1"));
        QCOMPARE(s.EditMaxSize->text(), QStringLiteral("999"));
        QVERIFY(!s.CheckHiritsu->isChecked());
        QCOMPARE(s.EditHiritsu->text(), QStringLiteral("150"));
        QVERIFY(s.CheckProxy->isChecked());
        QCOMPARE(s.EditPort->text(), QStringLiteral("3128"));
        QCOMPARE(s.EditWidth->text(), QStringLiteral("640"));
        QCOMPARE(s.EditHeight->text(), QStringLiteral("480"));
        QVERIFY(s.CheckServer->isChecked());
        QCOMPARE(s.serverSettings(), (store::ServerSettings{"club", "db.example", "5433", "photos", "hanako"}));
        base::SettingsStore stored;
        QVERIFY(stored.readBool(base::SettingsStore::Setting, QStringLiteral("fmSetting.CheckServer"), false));
        const QList<std::pair<const char*, QString>> server{{"Service", "club"}, {"ServerHost", "db.example"},
                                                            {"ServerPort", "5433"}, {"ServerDB", "photos"},
                                                            {"ServerUser", "hanako"}};
        for (const auto& [name, value] : server)
            QCOMPARE(stored.readString(base::SettingsStore::Setting, QStringLiteral("fmSetting.") + QLatin1String(name), {}),
                     value);
        // Read back at creation: the dependent controls and the proxy follow.
        QVERIFY(s.CheckLinkMax->isHidden());
        QVERIFY(!s.EditPort->isHidden());
        QVERIFY(m_fixture->form().proxySwitch);
        QVERIFY(m_fixture->form().HTTP[6]->proxyUse());
        QCOMPARE(m_fixture->form().HTTP[6]->proxyPort(), 3128);

        // Changed but never closed: nothing is stored.
        s.EditMaxURL->setText(QStringLiteral("55"));
        m_fixture->restart();
        QCOMPARE(dialog().EditMaxURL->text(), QStringLiteral("8"));
    }

private:
    TFormSetting& dialog() { return *m_fixture->windows().FormSetting; }
    std::unique_ptr<AppFixture> m_fixture;
};

QTEST_MAIN(TestFormSetting)
#include "tst_formsetting.moc"
