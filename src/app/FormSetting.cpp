#include "app/FormSetting.h"

#include "app/FormMain.h"
#include "app/Windows.h"
#include "base/InstallLayout.h"
#include "base/Named.h"
#include "base/SettingsStore.h"
#include "controls/DBEdit.h"
#include "controls/RadioGroup.h"
#include "disk/FormSelectDir.h"
#include "picturedb/PictureDatabase.h"
#include "store/DataMod.h"
#include "store/FixedTables.h"
#include "store/Store.h"
#include "store/TextToInt.h"
#include "viewing/Thumbnails.h"
#include "web/THTTP.h"

#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabWidget>
#include <QVBoxLayout>

#include <array>

namespace app {

using base::SettingsStore;

namespace {

QLineEdit* edit(const char* name, const QString& text, QWidget* parent)
{
    return named<QLineEdit>(name, text, parent);
}

QLabel* label(const QString& text, QWidget* parent)
{
    return new QLabel(text, parent);
}

bool isInteger(const QString& text)
{
    bool ok = false;
    store::toInteger(text, &ok);
    return ok;
}

const QString kSection = QStringLiteral("fmSetting.");

} // namespace

TFormSetting::TFormSetting(TFormMain* main, QWidget* parent)
    : base::TForm("FormSetting", QStringLiteral("ユーザー設定"), QStringLiteral("fmSetting"), QSize(487, 330), parent)
    , m_main(main)
{
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                   | Qt::WindowCloseButtonHint);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* menu = new QMenuBar(this);
    menu->setObjectName(QStringLiteral("MainMenu1"));
    QAction* close = menu->addAction(QStringLiteral("閉じる(&C)"));
    close->setObjectName(QStringLiteral("Close1"));
    connect(close, &QAction::triggered, this, &QDialog::close);
    layout->setMenuBar(menu);

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    auto tab = [this](const char* name, const QString& caption) {
        auto* w = new QWidget(PageControl1);
        w->setObjectName(QLatin1String(name));
        PageControl1->addTab(w, caption);
        return w;
    };
    buildTabWWW(tab("TabWWW", QStringLiteral("探索設定(WWW)")));
    buildTabHD(tab("TabHD", QStringLiteral("探索設定(HD)")));
    buildTabGazou(tab("TabGazou", QStringLiteral("画像設定")));
    buildTabNetwork(tab("TabNetwork", QStringLiteral("ネットワーク")));
    layout->addWidget(PageControl1, 1);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    layout->addWidget(StatusBar1);

    // Creation: restore, show the speed, then the visibility rules and the proxy.
    restoreValues();
    LabelSpeed->setText(QString::number(ScrollSpeed->value()));
    SyncDependentControls();
    ApplyProxySettings();
}

void TFormSetting::buildTabWWW(QWidget* tab)
{
    auto* grid = new QGridLayout(tab);
    auto* start = new QGroupBox(QStringLiteral("開始ＵＲＬ"), tab);
    auto* startLayout = new QHBoxLayout(start);
    EditStartURL = edit("EditStartURL", QStringLiteral("http://"), start);
    startLayout->addWidget(EditStartURL);
    grid->addWidget(start, 0, 0, 1, 2);

    // Designed with the second item; with nothing stored the first is read back.
    RadioKekkaWWW = new TRadioGroup("RadioKekkaWWW", QStringLiteral("探索結果(WWW)"),
                                    {QStringLiteral("結果を累積する"), QStringLiteral("毎回クリアする")}, tab);
    RadioKekkaWWW->setItemIndex(1);
    grid->addWidget(RadioKekkaWWW, 1, 0);

    auto* limits = new QGroupBox(QStringLiteral("探索打ち切り条件"), tab);
    auto* limitsLayout = new QGridLayout(limits);
    EditMaxImage = edit("EditMaxImage", QStringLiteral("20"), limits);
    EditMaxURL = edit("EditMaxURL", QStringLiteral("100"), limits);
    EditUchikiri = edit("EditUchikiri", QStringLiteral("20"), limits);
    limitsLayout->addWidget(label(QStringLiteral("画像数"), limits), 0, 0);
    limitsLayout->addWidget(EditMaxImage, 0, 1);
    limitsLayout->addWidget(label(QStringLiteral("件"), limits), 0, 2);
    limitsLayout->addWidget(label(QStringLiteral("URL"), limits), 1, 0);
    limitsLayout->addWidget(EditMaxURL, 1, 1);
    limitsLayout->addWidget(label(QStringLiteral("件"), limits), 1, 2);
    limitsLayout->addWidget(EditUchikiri, 2, 1);
    limitsLayout->addWidget(label(QStringLiteral("秒"), limits), 2, 2);
    grid->addWidget(limits, 1, 1);

    auto* link = new QGroupBox(QStringLiteral("リンク"), tab);
    auto* linkLayout = new QHBoxLayout(link);
    CheckGaibu = namedCheckBox("CheckGaibu", QStringLiteral("外部リンクを追う"), false, link);
    CheckLinkMax = namedCheckBox("CheckLinkMax", QStringLiteral("リンク先MAXの設定"), false, link);
    CheckLinkMax->setVisible(false);
    EditLinkMax = edit("EditLinkMax", QStringLiteral("2"), link);
    EditLinkMax->setVisible(false);
    linkLayout->addWidget(CheckGaibu);
    linkLayout->addWidget(CheckLinkMax);
    linkLayout->addWidget(EditLinkMax);
    grid->addWidget(link, 2, 0);

    auto* speed = new QGroupBox(QStringLiteral("探索速度"), tab);
    auto* speedLayout = new QHBoxLayout(speed);
    ScrollSpeed = new QScrollBar(Qt::Horizontal, speed);
    ScrollSpeed->setObjectName(QStringLiteral("ScrollSpeed"));
    ScrollSpeed->setRange(1, 6);
    ScrollSpeed->setPageStep(1);
    ScrollSpeed->setValue(4);
    LabelSpeed = new QLabel(QStringLiteral("4"), speed);
    LabelSpeed->setObjectName(QStringLiteral("LabelSpeed"));
    LabelSpeed->setStyleSheet(QStringLiteral("color: blue"));
    speedLayout->addWidget(label(QStringLiteral("遅い"), speed));
    speedLayout->addWidget(ScrollSpeed, 1);
    speedLayout->addWidget(label(QStringLiteral("速い"), speed));
    speedLayout->addWidget(LabelSpeed);
    grid->addWidget(speed, 2, 1);

    // What sites ask of crawlers.
    auto* manners = new QGroupBox(QStringLiteral("サイトへの配慮"), tab);
    auto* mannersLayout = new QHBoxLayout(manners);
    CheckRobots = namedCheckBox("CheckRobots", QStringLiteral("robots.txt に従う"), true, manners);
    EditHostInterval = edit("EditHostInterval", QStringLiteral("0"), manners);
    EditHostInterval->setValidator(new QIntValidator(0, 600000, EditHostInterval));
    mannersLayout->addWidget(CheckRobots);
    mannersLayout->addStretch(1);
    mannersLayout->addWidget(label(QStringLiteral("同一ホストの間隔"), manners));
    mannersLayout->addWidget(EditHostInterval);
    mannersLayout->addWidget(label(QStringLiteral("ミリ秒"), manners));
    grid->addWidget(manners, 3, 0, 1, 2);
    grid->setRowStretch(4, 1);

    connect(CheckGaibu, &QCheckBox::clicked, this, &TFormSetting::SyncDependentControls);
    connect(ScrollSpeed, &QScrollBar::valueChanged, this,
            [this](int v) { LabelSpeed->setText(QString::number(v)); });
    connect(EditLinkMax, &QLineEdit::textChanged, this, [this](const QString& t) {
        if (!isInteger(t) && !t.isEmpty())
            EditLinkMax->clear();
    });
}

void TFormSetting::buildTabHD(QWidget* tab)
{
    auto* layout = new QVBoxLayout(tab);
    auto* start = new QGroupBox(QStringLiteral("開始ディレクトリ"), tab);
    auto* startLayout = new QHBoxLayout(start);
    // A drive root stands for the file-system root here.
    EditStart = edit("EditStart", QDir::rootPath(), start);
    Button3 = new QPushButton(QStringLiteral("設定(&U)"), start);
    Button3->setObjectName(QStringLiteral("Button3"));
    startLayout->addWidget(EditStart, 1);
    startLayout->addWidget(Button3);
    layout->addWidget(start);
    RadioKekka = new TRadioGroup("RadioKekka", QStringLiteral("探索結果"),
                                 {QStringLiteral("結果を累積する"), QStringLiteral("毎回クリアする")}, tab);
    RadioKekka->setItemIndex(1);
    layout->addWidget(RadioKekka);
    layout->addStretch(1);
    connect(Button3, &QPushButton::clicked, this, [this] { chooseDirectoryInto(EditStart); });
}

void TFormSetting::buildTabGazou(QWidget* tab)
{
    auto* grid = new QGridLayout(tab);

    auto* save = new QGroupBox(QStringLiteral("画像の保存"), tab);
    auto* saveLayout = new QVBoxLayout(save);
    CheckFileSave = namedCheckBox("CheckFileSave", QStringLiteral("ファイルへ保存する"), false, save);
    GroupDirectory = new QGroupBox(save);
    GroupDirectory->setObjectName(QStringLiteral("GroupDirectory"));
    // The label above the path, so the path has the group's whole width.
    auto* dirLayout = new QGridLayout(GroupDirectory);
    EditDirectory = edit("EditDirectory", QString(), GroupDirectory);
    Button4 = new QPushButton(QStringLiteral("設定(&S)"), GroupDirectory);
    Button4->setObjectName(QStringLiteral("Button4"));
    dirLayout->addWidget(label(QStringLiteral("ディレクトリ"), GroupDirectory), 0, 0, 1, 2);
    dirLayout->addWidget(EditDirectory, 1, 0);
    dirLayout->addWidget(Button4, 1, 1);
    dirLayout->setColumnStretch(0, 1);
    Button7 = new QPushButton(QStringLiteral("ﾃﾞｨﾚｸﾄﾘ作成"), save);
    Button7->setObjectName(QStringLiteral("Button7"));
    CheckDBSave = namedCheckBox("CheckDBSave", QStringLiteral("DBへ保存する"), false, save);
    GroupDB = new QGroupBox(save);
    GroupDB->setObjectName(QStringLiteral("GroupDB"));
    auto* dbLayout = new QGridLayout(GroupDB);
    // The catalogue's current DB名称, which names the open database.
    DBEdit11 = new TDBEdit("DBEdit11", GroupDB);
    DBEdit11->setReadOnly(true);
    if (m_main) {
        DBEdit11->setDataSource(m_main->dm().DtIndex);
        DBEdit11->setDataField(QStringLiteral("DB名称"));
    }
    Button5 = new QPushButton(QStringLiteral("DB名称(&B)"), GroupDB);
    Button5->setObjectName(QStringLiteral("Button5"));
    dbLayout->addWidget(label(QStringLiteral("DB名称"), GroupDB), 0, 0, 1, 2);
    dbLayout->addWidget(DBEdit11, 1, 0);
    dbLayout->addWidget(Button5, 1, 1);
    dbLayout->setColumnStretch(0, 1);
    CheckNoDuplicate = namedCheckBox("CheckNoDuplicate", QStringLiteral("同じ画像は保存・登録しない"), false, save);
    // The desktop's shared thumbnails: off, no thumbnail is read or written.
    CheckThumbnail = namedCheckBox("CheckThumbnail", QStringLiteral("サムネイルを保存する"), true, save);
    connect(CheckThumbnail, &QCheckBox::toggled, this, [](bool on) { viewing::setThumbnailsEnabled(on); });
    saveLayout->addWidget(CheckFileSave);
    saveLayout->addWidget(GroupDirectory);
    saveLayout->addWidget(Button7, 0, Qt::AlignLeft);
    saveLayout->addWidget(CheckDBSave);
    saveLayout->addWidget(GroupDB);
    saveLayout->addWidget(CheckNoDuplicate);
    saveLayout->addWidget(CheckThumbnail);
    saveLayout->addStretch(1);
    grid->addWidget(save, 0, 0, 3, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 1);

    // Three types a row, and the markup search on a row of its own: the
    // group grows as tall as its captions need.
    auto* types = new QGroupBox(QStringLiteral("対象画像"), tab);
    types->setObjectName(QStringLiteral("GroupTypes"));
    auto* typesLayout = new QGridLayout(types);
    CheckJPEG = namedCheckBox("CheckJPEG", QStringLiteral("JPEG"), true, types);
    CheckGIF = namedCheckBox("CheckGIF", QStringLiteral("GIF"), false, types);
    CheckBMP = namedCheckBox("CheckBMP", QStringLiteral("BMP"), false, types);
    CheckPNG = namedCheckBox("CheckPNG", QStringLiteral("PNG"), false, types);
    CheckWebP = namedCheckBox("CheckWebP", QStringLiteral("WebP"), false, types);
    CheckAVIF = namedCheckBox("CheckAVIF", QStringLiteral("AVIF"), false, types);
    CheckMarkup = namedCheckBox("CheckMarkup", QStringLiteral("srcset・遅延読込・拡張子のない画像も探す"), false, types);
    const std::array<QCheckBox*, 6> kinds{CheckJPEG, CheckGIF, CheckBMP, CheckPNG, CheckWebP, CheckAVIF};
    for (int i = 0; i < 6; ++i)
        typesLayout->addWidget(kinds[size_t(i)], i / 3, i % 3);
    typesLayout->addWidget(CheckMarkup, 2, 0, 1, 3);
    grid->addWidget(types, 0, 1);

    auto* sizeCheck = new QGroupBox(QStringLiteral("画像サイズのチェック"), tab);
    auto* sizeLayout = new QVBoxLayout(sizeCheck);
    CheckSize = namedCheckBox("CheckSize", QStringLiteral("サイズチェック"), false, sizeCheck);
    GroupSize = new QGroupBox(QStringLiteral("ファイルサイズの範囲"), sizeCheck);
    GroupSize->setObjectName(QStringLiteral("GroupSize"));
    auto* rangeLayout = new QHBoxLayout(GroupSize);
    EditMinSize = edit("EditMinSize", QStringLiteral("5"), GroupSize);
    EditMaxSize = edit("EditMaxSize", QStringLiteral("120"), GroupSize);
    rangeLayout->addWidget(EditMinSize);
    rangeLayout->addWidget(label(QStringLiteral("KB ～"), GroupSize));
    rangeLayout->addWidget(EditMaxSize);
    rangeLayout->addWidget(label(QStringLiteral("KB まで"), GroupSize));
    CheckHiritsu = namedCheckBox("CheckHiritsu", QStringLiteral("比率チェック"), false, sizeCheck);
    GroupHiritsu = new QGroupBox(QStringLiteral("縦横比率"), sizeCheck);
    GroupHiritsu->setObjectName(QStringLiteral("GroupHiritsu"));
    auto* ratioLayout = new QHBoxLayout(GroupHiritsu);
    EditHiritsu = edit("EditHiritsu", QStringLiteral("200"), GroupHiritsu);
    EditHiritsu->setMaxLength(3);
    EditHiritsu->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,3}")),
                                                              EditHiritsu));
    ratioLayout->addWidget(label(QStringLiteral("横／縦"), GroupHiritsu));
    ratioLayout->addWidget(EditHiritsu);
    ratioLayout->addWidget(label(QStringLiteral("％ まで"), GroupHiritsu));
    sizeLayout->addWidget(CheckSize);
    sizeLayout->addWidget(GroupSize);
    sizeLayout->addWidget(CheckHiritsu);
    sizeLayout->addWidget(GroupHiritsu);
    grid->addWidget(sizeCheck, 1, 1, 2, 1);

    connect(CheckFileSave, &QCheckBox::clicked, this, &TFormSetting::SyncDependentControls);
    connect(CheckDBSave, &QCheckBox::clicked, this, &TFormSetting::SyncDependentControls);
    connect(CheckSize, &QCheckBox::clicked, this, &TFormSetting::SyncDependentControls);
    connect(CheckHiritsu, &QCheckBox::clicked, this, &TFormSetting::SyncDependentControls);
    connect(Button4, &QPushButton::clicked, this, [this] { chooseDirectoryInto(EditDirectory); });
    connect(Button7, &QPushButton::clicked, this, &TFormSetting::Button7Click);
    connect(Button5, &QPushButton::clicked, this, [this] {
        if (m_main)
            m_main->photo().ButtonDBNameClick();
    });
    connect(EditMinSize, &QLineEdit::textChanged, this, [this](const QString& t) {
        if (!isInteger(t))
            EditMinSize->setText(QStringLiteral("5"));
    });
    connect(EditMaxSize, &QLineEdit::textChanged, this, [this](const QString& t) {
        if (!isInteger(t))
            EditMaxSize->setText(QStringLiteral("120"));
    });
}

void TFormSetting::buildTabNetwork(QWidget* tab)
{
    auto* layout = new QVBoxLayout(tab);
    auto* proxy = new QGroupBox(QStringLiteral("プロキシ・サーバー"), tab);
    auto* proxyLayout = new QGridLayout(proxy);
    CheckProxy = namedCheckBox("CheckProxy", QStringLiteral("利用する"), false, proxy);
    LabelIP = new QLabel(QStringLiteral("IP Address"), proxy);
    LabelIP->setObjectName(QStringLiteral("LabelIP"));
    EditIPAddress = edit("EditIPAddress", QString(), proxy);
    LabelPort = new QLabel(QStringLiteral("Port No."), proxy);
    LabelPort->setObjectName(QStringLiteral("LabelPort"));
    EditPort = edit("EditPort", QString(), proxy);
    Button6 = new QPushButton(QStringLiteral("更新(&U)"), proxy);
    Button6->setObjectName(QStringLiteral("Button6"));
    proxyLayout->addWidget(CheckProxy, 0, 0, 1, 2);
    proxyLayout->addWidget(LabelIP, 1, 0);
    proxyLayout->addWidget(EditIPAddress, 1, 1);
    proxyLayout->addWidget(LabelPort, 2, 0);
    proxyLayout->addWidget(EditPort, 2, 1);
    proxyLayout->addWidget(Button6, 3, 1, Qt::AlignRight);
    layout->addWidget(proxy);

    // Where shared picture databases live. A service name, when given, says
    // it all; otherwise the four fields do. Passwords stay with libpq.
    GroupServer = new QGroupBox(QStringLiteral("共有データベース (PostgreSQL)"), tab);
    GroupServer->setObjectName(QStringLiteral("GroupServer"));
    auto* serverLayout = new QGridLayout(GroupServer);
    CheckServer = namedCheckBox("CheckServer", QStringLiteral("サーバーのデータベースを使う"), false, GroupServer);
    EditService = edit("EditService", QString(), GroupServer);
    EditServerHost = edit("EditServerHost", QString(), GroupServer);
    EditServerPort = edit("EditServerPort", QString(), GroupServer);
    EditServerPort->setValidator(new QIntValidator(1, 65535, EditServerPort));
    EditServerDB = edit("EditServerDB", QString(), GroupServer);
    EditServerUser = edit("EditServerUser", QString(), GroupServer);
    ButtonServerTest = new QPushButton(QStringLiteral("接続テスト"), GroupServer);
    ButtonServerTest->setObjectName(QStringLiteral("ButtonServerTest"));
    ButtonServerInit = new QPushButton(QStringLiteral("初期化"), GroupServer);
    ButtonServerInit->setObjectName(QStringLiteral("ButtonServerInit"));
    serverLayout->addWidget(CheckServer, 0, 0, 1, 4);
    serverLayout->addWidget(label(QStringLiteral("サービス名"), GroupServer), 1, 0);
    serverLayout->addWidget(EditService, 1, 1, 1, 3);
    serverLayout->addWidget(label(QStringLiteral("ホスト"), GroupServer), 2, 0);
    serverLayout->addWidget(EditServerHost, 2, 1);
    serverLayout->addWidget(label(QStringLiteral("ポート"), GroupServer), 2, 2);
    serverLayout->addWidget(EditServerPort, 2, 3);
    serverLayout->addWidget(label(QStringLiteral("データベース"), GroupServer), 3, 0);
    serverLayout->addWidget(EditServerDB, 3, 1);
    serverLayout->addWidget(label(QStringLiteral("ユーザー"), GroupServer), 3, 2);
    serverLayout->addWidget(EditServerUser, 3, 3);
    auto* serverButtons = new QHBoxLayout;
    serverButtons->addStretch(1);
    serverButtons->addWidget(ButtonServerInit);
    serverButtons->addWidget(ButtonServerTest);
    serverLayout->addLayout(serverButtons, 4, 0, 1, 4);
    serverLayout->setColumnStretch(1, 2);
    serverLayout->setColumnStretch(3, 1);
    layout->addWidget(GroupServer);

    // Kept and restored only; nothing reads these.
    GroupLimit = new QGroupBox(QStringLiteral("サイズ、比率の上限"), tab);
    GroupLimit->setObjectName(QStringLiteral("GroupLimit"));
    auto* limitLayout = new QGridLayout(GroupLimit);
    EditHeight = edit("EditHeight", QStringLiteral("1000"), GroupLimit);
    EditWidth = edit("EditWidth", QStringLiteral("800 "), GroupLimit);
    EditHeight->setMaxLength(4);
    EditWidth->setMaxLength(4);
    limitLayout->addWidget(label(QStringLiteral("Height"), GroupLimit), 0, 0);
    limitLayout->addWidget(EditHeight, 0, 1);
    limitLayout->addWidget(label(QStringLiteral("Width"), GroupLimit), 1, 0);
    limitLayout->addWidget(EditWidth, 1, 1);
    GroupLimit->setVisible(false);
    layout->addWidget(GroupLimit);
    layout->addStretch(1);

    connect(CheckProxy, &QCheckBox::clicked, this, [this](bool on) {
        SyncDependentControls();
        // The switch follows the box at once; the components only with 更新.
        if (m_main)
            m_main->proxySwitch = on;
    });
    connect(Button6, &QPushButton::clicked, this, &TFormSetting::Button6Click);
    connect(ButtonServerTest, &QPushButton::clicked, this, &TFormSetting::ButtonServerTestClick);
    connect(ButtonServerInit, &QPushButton::clicked, this, &TFormSetting::ButtonServerInitClick);
}

void TFormSetting::SyncDependentControls()
{
    CheckLinkMax->setVisible(CheckGaibu->isChecked());
    EditLinkMax->setVisible(CheckGaibu->isChecked());
    GroupDirectory->setVisible(CheckFileSave->isChecked());
    GroupDB->setVisible(CheckDBSave->isChecked());
    const bool proxy = CheckProxy->isChecked();
    LabelIP->setVisible(proxy);
    LabelPort->setVisible(proxy);
    EditIPAddress->setVisible(proxy);
    EditPort->setVisible(proxy);
    GroupSize->setVisible(CheckSize->isChecked());
    GroupHiritsu->setVisible(CheckHiritsu->isChecked());
}

bool TFormSetting::applyProxy()
{
    if (m_main)
        m_main->proxySwitch = CheckProxy->isChecked();
    if (!m_main)
        return true;
    if (CheckProxy->isChecked()) {
        // Check the port before touching any component, so that a bad port
        // never leaves the components half changed.
        bool ok = false;
        const int port = store::toInteger(EditPort->text(), &ok);
        if (!ok) {
            QMessageBox::critical(this, QStringLiteral("Quillon"),
                                  QStringLiteral("'%1' は正しい整数値ではありません").arg(EditPort->text()));
            return false;
        }
        for (web::THTTP* http : m_main->HTTP)
            http->setProxy(true, EditIPAddress->text(), port);
    } else {
        for (web::THTTP* http : m_main->HTTP)
            http->setProxy(false, http->proxyHost(), http->proxyPort());
    }
    return true;
}

void TFormSetting::ApplyProxySettings()
{
    applyProxy();
}

void TFormSetting::Button6Click()
{
    if (applyProxy())
        StatusBar1->showMessage(QStringLiteral("プロキシ設定完了"));
}

void TFormSetting::Button7Click()
{
    const QString dir = EditDirectory->text();
    if (dir.isEmpty()) {
        QMessageBox::information(this, QStringLiteral("Quillon"), QStringLiteral("ディレクトリを指定してください"));
        return;
    }
    // One directory only: its parent must exist, and an existing one is a failure.
    const bool made = QDir().mkdir(dir);
    StatusBar1->showMessage(made ? QStringLiteral("ディレクトリ作成完了") : QStringLiteral("ディレクトリ作成失敗"));
}

void TFormSetting::ButtonServerTestClick()
{
    // The connection is bounded by its own timeout; the wait cursor says why
    // the window does not answer meanwhile.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const store::ServerConnection::Answer answer = store::ServerConnection(serverSettings()).test();
    QApplication::restoreOverrideCursor();
    if (answer.ok)
        QMessageBox::information(this, QStringLiteral("Quillon"), QStringLiteral("接続できました : ") + answer.text);
    else
        QMessageBox::critical(this, QStringLiteral("Quillon"), answer.text);
}

void TFormSetting::ButtonServerInitClick()
{
    const store::ServerSettings settings = serverSettings();
    if (QMessageBox::question(this, QStringLiteral("Quillon"),
                              QStringLiteral("サーバー %1 に画像データベースの表を作ります。よろしいですか？")
                                  .arg(settings.displayName()))
        != QMessageBox::Yes)
        return;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    QString answer;
    bool ok = false;
    try {
        store::Store server(settings);
        if (store::hasPictureTables(server)) {
            answer = QStringLiteral("サーバーには既に画像データベースの表があります");
        } else {
            store::createPictureTables(server);
            answer = QStringLiteral("初期化しました。次の起動から使われます");
            // Under a C character type the trigram indexes see no Japanese letters.
            const QString ctype = server.value(QStringLiteral("SELECT current_setting('lc_ctype')")).toString();
            if (ctype == u"C" || ctype == u"POSIX")
                answer += QStringLiteral("\nこのデータベースの LC_CTYPE は %1 のため、日本語のキーワードの検索には索引が使われません").arg(ctype);
        }
        ok = true;
    } catch (const store::StoreError& e) {
        answer = e.message();
    }
    QApplication::restoreOverrideCursor();
    if (ok)
        QMessageBox::information(this, QStringLiteral("Quillon"), answer);
    else
        QMessageBox::critical(this, QStringLiteral("Quillon"), answer);
}

store::ServerSettings TFormSetting::storedServerSettings(bool* useServer)
{
    SettingsStore s;
    auto text = [&](const char* name) { return s.readString(SettingsStore::Setting, kSection + QLatin1String(name), QString()).trimmed(); };
    *useServer = s.readBool(SettingsStore::Setting, kSection + QStringLiteral("CheckServer"), false);
    return {text("Service"), text("ServerHost"), text("ServerPort"), text("ServerDB"), text("ServerUser")};
}

store::ServerSettings TFormSetting::serverSettings() const
{
    return {EditService->text().trimmed(), EditServerHost->text().trimmed(), EditServerPort->text().trimmed(),
            EditServerDB->text().trimmed(), EditServerUser->text().trimmed()};
}

void TFormSetting::chooseDirectoryInto(QLineEdit* target)
{
    if (!m_main || !m_main->windows() || !m_main->windows()->FormSelectDir)
        return;
    auto* chooser = m_main->windows()->FormSelectDir;
    if (chooser->exec() == QDialog::Accepted)
        target->setText(chooser->directory());
}

QString TFormSetting::programDirectory()
{
    // An installed program's directory belongs to the system, not to the
    // user: its pictures go to the user's picture directory instead.
    if (base::isInstalled())
        return QDir::toNativeSeparators(QStandardPaths::writableLocation(QStandardPaths::PicturesLocation));
    return QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
}

void TFormSetting::readValues(SettingsStore& s)
{
    s.readPosition(this, settingsPrefix());
    auto text = [&](const char* name, QLineEdit* e, const QString& dflt) {
        e->setText(s.readString(SettingsStore::Setting, kSection + QLatin1String(name), dflt));
    };
    auto flag = [&](const char* name, QCheckBox* c, bool dflt) {
        c->setChecked(s.readBool(SettingsStore::Setting, kSection + QLatin1String(name), dflt));
    };
    RadioKekka->setItemIndex(s.readInteger(SettingsStore::Setting, kSection + QStringLiteral("Kekka"), 0));
    RadioKekkaWWW->setItemIndex(s.readInteger(SettingsStore::Setting, kSection + QStringLiteral("KekkaWWW"), 0));
    ScrollSpeed->setValue(s.readInteger(SettingsStore::Setting, kSection + QStringLiteral("Speed"), ScrollSpeed->value()));
    text("MaxURL", EditMaxURL, EditMaxURL->text());
    text("MaxImage", EditMaxImage, EditMaxImage->text());
    text("Uchikiri", EditUchikiri, EditUchikiri->text());
    text("Start", EditStart, EditStart->text());
    text("StartURL", EditStartURL, EditStartURL->text());
    flag("CheckGaibu", CheckGaibu, true);
    flag("CheckLinkMax", CheckLinkMax, true);
    text("LinkMax", EditLinkMax, QStringLiteral("3"));
    flag("CheckRobots", CheckRobots, true);
    text("HostInterval", EditHostInterval, QStringLiteral("0"));
    flag("CheckJpeg", CheckJPEG, true);
    flag("CheckGif", CheckGIF, false);
    flag("CheckBMP", CheckBMP, false);
    flag("CheckPng", CheckPNG, false);
    flag("CheckWebp", CheckWebP, false);
    flag("CheckAvif", CheckAVIF, false);
    flag("CheckMarkup", CheckMarkup, false);
    flag("CheckSize", CheckSize, true);
    flag("CheckHiritsu", CheckHiritsu, true);
    text("Directory", EditDirectory, programDirectory());
    text("Height", EditHeight, EditHeight->text());
    text("Width", EditWidth, EditWidth->text());
    text("Hiritsu", EditHiritsu, EditHiritsu->text());
    text("MaxSize", EditMaxSize, EditMaxSize->text());
    text("MinSize", EditMinSize, EditMinSize->text());
    flag("CheckFileSave", CheckFileSave, true);
    flag("CheckDBSave", CheckDBSave, false);
    flag("CheckNoDuplicate", CheckNoDuplicate, false);
    flag("CheckThumbnail", CheckThumbnail, true);
    viewing::setThumbnailsEnabled(CheckThumbnail->isChecked());
    flag("CheckProxy", CheckProxy, false);
    if (m_main)
        m_main->proxySwitch = CheckProxy->isChecked();
    text("IPAddress", EditIPAddress, QString());
    text("Port", EditPort, QString());
    flag("CheckServer", CheckServer, false);
    text("Service", EditService, QString());
    text("ServerHost", EditServerHost, QString());
    text("ServerPort", EditServerPort, QString());
    text("ServerDB", EditServerDB, QString());
    text("ServerUser", EditServerUser, QString());
}

void TFormSetting::writeValues(SettingsStore& s)
{
    s.writeBounds(this, settingsPrefix());
    auto text = [&](const char* name, QLineEdit* e) {
        s.writeString(SettingsStore::Setting, kSection + QLatin1String(name), e->text());
    };
    auto flag = [&](const char* name, QCheckBox* c) {
        s.writeBool(SettingsStore::Setting, kSection + QLatin1String(name), c->isChecked());
    };
    s.writeInteger(SettingsStore::Setting, kSection + QStringLiteral("Kekka"), RadioKekka->itemIndex());
    s.writeInteger(SettingsStore::Setting, kSection + QStringLiteral("KekkaWWW"), RadioKekkaWWW->itemIndex());
    s.writeInteger(SettingsStore::Setting, kSection + QStringLiteral("Speed"), ScrollSpeed->value());
    text("MaxURL", EditMaxURL);
    text("MaxImage", EditMaxImage);
    text("Uchikiri", EditUchikiri);
    text("Start", EditStart);
    text("StartURL", EditStartURL);
    flag("CheckGaibu", CheckGaibu);
    flag("CheckLinkMax", CheckLinkMax);
    text("LinkMax", EditLinkMax);
    flag("CheckRobots", CheckRobots);
    text("HostInterval", EditHostInterval);
    flag("CheckJpeg", CheckJPEG);
    flag("CheckGif", CheckGIF);
    flag("CheckBmp", CheckBMP);
    flag("CheckPng", CheckPNG);
    flag("CheckWebp", CheckWebP);
    flag("CheckAvif", CheckAVIF);
    flag("CheckMarkup", CheckMarkup);
    flag("CheckSize", CheckSize);
    flag("CheckHiritsu", CheckHiritsu);
    text("Directory", EditDirectory);
    text("Height", EditHeight);
    text("Width", EditWidth);
    text("Hiritsu", EditHiritsu);
    text("MaxSize", EditMaxSize);
    text("MinSize", EditMinSize);
    flag("CheckFileSave", CheckFileSave);
    flag("CheckDBSave", CheckDBSave);
    flag("CheckNoDuplicate", CheckNoDuplicate);
    flag("CheckThumbnail", CheckThumbnail);
    flag("CheckProxy", CheckProxy);
    text("IPAddress", EditIPAddress);
    text("Port", EditPort);
    flag("CheckServer", CheckServer);
    text("Service", EditService);
    text("ServerHost", EditServerHost);
    text("ServerPort", EditServerPort);
    text("ServerDB", EditServerDB);
    text("ServerUser", EditServerUser);
}

void TFormSetting::showOnTab(int index)
{
    PageControl1->setCurrentIndex(index);
    show();
    raise();
}

viewing::PictureTypes TFormSetting::pictureTypes() const
{
    viewing::PictureTypes t;
    t.jpeg = CheckJPEG->isChecked();
    t.gif = CheckGIF->isChecked();
    t.bmp = CheckBMP->isChecked();
    t.png = CheckPNG->isChecked();
    t.webp = CheckWebP->isChecked();
    t.avif = CheckAVIF->isChecked();
    t.markup = CheckMarkup->isChecked();
    return t;
}

bool TFormSetting::noDuplicates() const
{
    return CheckNoDuplicate->isChecked();
}

QString TFormSetting::homeAddress() const
{
    return EditStartURL->text();
}

void TFormSetting::setStartDirectory(const QString& directory)
{
    EditStart->setText(directory);
}

} // namespace app
