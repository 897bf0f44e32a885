#include "app/FormMain.h"

#include "app/ExplorationTabs.h"
#include "app/FileListTab.h"
#include "app/FormSetting.h"
#include "app/FormVersion.h"
#include "app/Icons.h"
#include "app/MultiFill.h"
#include "app/PictureSaving.h"
#include "app/ToolButton.h"
#include "base/InstallLayout.h"
#include "app/Windows.h"
#include "base/SettingsStore.h"
#include "controls/Animate.h"
#include "controls/DBEdit.h"
#include "controls/RadioGroup.h"
#include "controls/TTimer.h"
#include "disk/FormDirectory.h"
#include "disk/FormSelectDir.h"
#include "picturedb/DatabasePages.h"
#include "picturedb/FormDBList.h"
#include "picturedb/FormPassword.h"
#include "picturedb/PictureDatabase.h"
#include "picturedb/RecordPage.h"
#include "search/FormPopJouken.h"
#include "search/FormPopKensaku.h"
#include "search/SearchPage.h"
#include "store/DataMd3.h"
#include "store/DataMod.h"
#include "store/DataSource.h"
#include "store/Query.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/TableOps.h"
#include "viewing/FormSetteiMulti.h"
#include "viewing/FormView.h"
#include "viewing/TImage.h"
#include "viewing/ViewWindow.h"
#include "web/ExplorationTables.h"
#include "web/THTML.h"
#include "web/THTTP.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QScrollBar>
#include <QProcess>
#include <QPushButton>
#include <QStackedLayout>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWebEngineView>

namespace app {

using base::SettingsStore;

namespace {

constexpr QSize kToolButton1(52, 35);
constexpr QSize kToolButton2(61, 35);
const int kStbWidths[6] = {100, 85, 85, 85, 260, 50};
const int kQueryColumnWidths[6] = {32, 95, 194, 202, 35, 64};

QFrame* panel(const char* name, QWidget* parent)
{
    auto* f = new QFrame(parent);
    f->setObjectName(QLatin1String(name));
    return f;
}

QPlainTextEdit* memo(const char* name, QWidget* parent)
{
    auto* m = new QPlainTextEdit(parent);
    m->setObjectName(QLatin1String(name));
    m->setReadOnly(false);
    m->setLineWrapMode(QPlainTextEdit::NoWrap);
    return m;
}

// Enter in the URL box shows the address like the Web button.
class UrlKeyFilter : public QObject {
public:
    UrlKeyFilter(TFormMain* form)
        : QObject(form)
        , m_form(form)
    {
    }
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const auto* k = static_cast<QKeyEvent*>(event);
            if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
                m_form->BtWebClick();
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    TFormMain* m_form;
};

// While a registration runs, user input reaches only "中止": the tool button
// and the menu bar, in which every other command is disabled for the run.
// Other input is dropped rather than held back, so that no command given
// during the run starts on the same tables once it ends.
class StopOnlyInput : public QObject {
public:
    StopOnlyInput(QWidget* stopButton, QMenuBar* bar, QAction* stopAction)
        : m_stopButton(stopButton)
        , m_bar(bar)
    {
        for (QAction* top : bar->actions()) {
            QMenu* menu = top->menu();
            if (menu && menu->actions().contains(stopAction)) {
                for (QAction* a : menu->actions())
                    if (a != stopAction)
                        disable(a);
            } else {
                disable(top);
            }
        }
        qApp->installEventFilter(this);
    }
    ~StopOnlyInput() override
    {
        for (const QPointer<QAction>& a : m_disabled)
            if (a)
                a->setEnabled(true);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // Input reaches a window first, which hands it on to its widgets:
        // judge it at the widget.
        auto* widget = qobject_cast<QWidget*>(watched);
        if (!widget || !isInput(event->type()))
            return false;
        for (QObject* o = widget; o; o = o->parent())
            if (o == m_stopButton || o == m_bar)
                return false;
        return true;
    }

private:
    void disable(QAction* a)
    {
        if (a->isEnabled() && !a->isSeparator()) {
            a->setEnabled(false);
            m_disabled << a;
        }
    }
    static bool isInput(QEvent::Type t)
    {
        switch (t) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return true;
        default:
            return false;
        }
    }

    QWidget* m_stopButton;
    QMenuBar* m_bar;
    QList<QPointer<QAction>> m_disabled;
};

} // namespace

TFormMain::TFormMain(store::DataMd3& dm3, store::DataMod& dm, QWidget* parent)
    : QMainWindow(parent)
    , m_dm3(dm3)
    , m_dm(dm)
    , m_tables(std::make_unique<web::ExplorationTables>(dm3, *this))
{
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("Quillon"));
    setWindowIcon(icons::program());
    move(267, 50);
    resize(689, 636);

    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("ClientArea"));
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    setCentralWidget(central);

    buildMenu();
    buildToolBars();
    buildTabs();
    buildStatusBars();
    buildTimers();
    m_search = new search::SearchPage(*this, m_dm, TabKensaku, TimerKensaku);
    LabelHokan2 = m_search->LabelHokan2;
    RadioHyouji2 = m_search->RadioHyouji2;
    DBGridQuery = m_search->DBGridQuery;
    PopQuery = m_search->PopQuery;
    Delete3 = m_search->Delete3;
    connect(Delete3, &QAction::triggered, this, &TFormMain::Delete3Click);
    m_photo = new picturedb::PictureDatabase(*this, m_dm, EditDBName, TabToroku, TabShinki, TabDBSettei);
    connect(m_photo, &picturedb::PictureDatabase::fieldLabelsBound, this, [this](const QStringList& labels) {
        // The result grid's columns 1 to 3 and the order items 1 to 4 follow the user items.
        for (int k = 0; k < 3; ++k) {
            m_dm.DqPhoto->setColumnField(k + 1, labels.value(k));
            m_dm.DqPhoto->setColumnTitle(k + 1, labels.value(k));
        }
        for (int k = 0; k < 4; ++k)
            RadioHyouji2->setItemText(k + 1, labels.value(k));
    });
    connect(m_photo, &picturedb::PictureDatabase::storageModeShown, LabelHokan2, &QLabel::setText);
    m_explorationTabs = new ExplorationTabs(*this, *m_tables);
    m_fileListTab = new FileListTab(*this);
    {
        std::array<TTimer*, 7> slotTimers = TimerF;
        m_crawler = std::make_unique<web::Crawler>(*this, *m_tables, run, TimerTansaku, slotTimers, HTTP);
    }
    m_saving = new PictureSaving(*this);
    m_multiFill = new MultiFill(*this);
    connect(m_photo->record()->Button12, &QPushButton::clicked, m_saving, &PictureSaving::Button12Click);
    m_photo->record()->Button12->setEnabled(true);
    connect(PageMain, &QTabWidget::currentChanged, this, &TFormMain::ShowCounts);
    connect(MenuAllClear, &QAction::triggered, this, [this] {
        try {
            MenuAllClearClick();
        } catch (const store::StoreError& e) {
            reportError(e.message());
        }
    });

    // Creation steps, in their order.
    readValues();                                   // 1
    PanelCL1->setFixedHeight(0);                    // 2: the list-box variant is collapsed
    PanelCL2->setFixedHeight(0);
    run.crawl = true;                               // 3
    run.collect = false;
    m_helpFile = base::helpFile();                  // 4
    PageMain->setCurrentWidget(TabList);            // 5
    PageMain->setTabVisible(PageMain->indexOf(TabHTTP), false);
    PageMain->setTabVisible(PageMain->indexOf(TabLog), false);
    PageMain->setTabVisible(PageMain->indexOf(TabURL), false);
    STA->setVisible(false);
    PanelSystem->setFixedHeight(4);
    // Only the button's lower edge shows, below its caption.
    Button3->move(0, PanelSystem->height() - Button3->height());
    StatusWords = web::statusWords();               // 6
    Animate1->open(base::dataFile(QStringLiteral("cool.avi"))); // 7: failure ignored
    MemoLink->clear();                              // 8
    MemoImageList->clear();
    fileListCount = store::CountRecords(*m_dm3.TaList); // 9
    run = web::RunState();                          // 10
    urlHistory.clear();
    directoryHistory.clear();
    ApplyTarget(m_targetWWW);                       // 11
    m_saving->SaveDialog->setDirectory(saveDialogDirectory); // 12
    m_search->ClearSearchConditions();              // 13
    m_search->placeSlots();
    m_photo->startUp();                             // the database opens once the
    PagePhoto->setCurrentWidget(TabToroku);         // windows it may ask for exist
}

TFormMain::~TFormMain() = default;

QToolButton* TFormMain::toolButton(QToolBar* bar, const char* name, const QString& caption, const QString& hint,
                                   const QIcon& icon, QSize size)
{
    auto* b = new TToolButton(bar);
    b->setObjectName(QLatin1String(name));
    b->setText(caption);
    if (!hint.isEmpty())
        b->setToolTip(hint);
    b->setIcon(icon);
    b->setIconSize(QSize(16, 16));
    b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    b->setAutoRaise(true);
    b->setFixedSize(size);
    bar->addWidget(b);
    return b;
}

void TFormMain::buildToolBars()
{
    auto* coolBar = panel("CoolBar1", centralWidget());
    auto* coolLayout = new QVBoxLayout(coolBar);
    coolLayout->setContentsMargins(0, 0, 0, 0);
    coolLayout->setSpacing(0);
    coolBar->setFrameShape(QFrame::StyledPanel);

    ToolBar1 = new QToolBar(coolBar);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    BtDirectory = toolButton(ToolBar1, "BtDirectory", QStringLiteral("ﾃﾞｨﾚｸﾄﾘ"),
                             QStringLiteral("探索するディレクトリを指定"), icons::directory(), kToolButton1);
    BtSettei = toolButton(ToolBar1, "BtSettei", QStringLiteral("設定"), QStringLiteral("ユーザーの探索条件を設定"),
                          icons::settings(), kToolButton1);
    BtKensaku = toolButton(ToolBar1, "BtKensaku", QStringLiteral("検索"), QStringLiteral("検索を実行する"),
                           icons::search(), kToolButton1);
    BtSingle = toolButton(ToolBar1, "BtSingle", QStringLiteral("画像"), QStringLiteral("単一イメージを表示する"),
                          icons::single(), kToolButton1);
    BtMulti = toolButton(ToolBar1, "BtMulti", QStringLiteral("複数"),
                         QStringLiteral("複数画面としてイメージを表示する"), icons::multiple(), kToolButton1);
    BtTable = toolButton(ToolBar1, "BtTable", QStringLiteral("ﾃｰﾌﾞﾙ"),
                         QStringLiteral("画像をテーブルで一覧表示する"), icons::table(), kToolButton1);
    ToolButton4 = toolButton(ToolBar1, "ToolButton4", QStringLiteral("Quillon"), QString(), icons::program(),
                             kToolButton1);
    ToolBar1->addSeparator();
    BtStop = toolButton(ToolBar1, "BtStop", QStringLiteral("中止"), QStringLiteral("探索中止"), icons::stop(9),
                        kToolButton1);
    BtBack = toolButton(ToolBar1, "BtBack", QStringLiteral("戻る"), QString(), icons::back(), kToolButton1);
    BtForward = toolButton(ToolBar1, "BtForward", QStringLiteral("進む"), QString(), icons::forward(), kToolButton1);
    BtSelect = toolButton(ToolBar1, "BtSelect", QStringLiteral("収集"), QString(), icons::collect(), kToolButton1);
    ToolBar1->addSeparator();
    Animate1 = new TAnimate(ToolBar1);
    Animate1->setObjectName(QStringLiteral("Animate1"));
    Animate1->setFixedSize(60, 35);
    ToolBar1->addWidget(Animate1);
    coolLayout->addWidget(ToolBar1);

    ToolBar2 = new QToolBar(coolBar);
    ToolBar2->setObjectName(QStringLiteral("ToolBar2"));
    ToolBar2->setMovable(false);
    ToolBtHard = toolButton(ToolBar2, "ToolBtHard", QStringLiteral("ﾊｰﾄﾞﾃﾞｨｽｸ"),
                            QStringLiteral("探索の対象はハードディスク"), icons::hardDisk(), kToolButton2);
    ToolBtHard->setCheckable(true);
    ToolBtWWW = toolButton(ToolBar2, "ToolBtWWW", QStringLiteral("WWW"), QStringLiteral("探索の対象はＷＷＷ"),
                           icons::www(), kToolButton2);
    ToolBtWWW->setCheckable(true);

    auto* target = panel("PanelTaishou", ToolBar2);
    auto* targetLayout = new QHBoxLayout(target);
    targetLayout->setContentsMargins(4, 0, 4, 0);
    LabelTaishou = new QLabel(target);
    LabelTaishou->setObjectName(QStringLiteral("LabelTaishou"));
    LabelTaishou->setMinimumWidth(60);
    targetLayout->addWidget(LabelTaishou);
    // The two boxes share one place; one of them is visible at a time.
    auto* boxes = new QWidget(target);
    auto* stack = new QStackedLayout(boxes);
    stack->setStackingMode(QStackedLayout::StackAll);
    ComboDirectory = new QComboBox(boxes);
    ComboDirectory->setObjectName(QStringLiteral("ComboDirectory"));
    ComboDirectory->setEditable(true);
    ComboURL = new QComboBox(boxes);
    ComboURL->setObjectName(QStringLiteral("ComboURL"));
    ComboURL->setEditable(true);
    ComboURL->setInsertPolicy(QComboBox::NoInsert);
    ComboURL->lineEdit()->installEventFilter(new UrlKeyFilter(this));
    stack->addWidget(ComboDirectory);
    stack->addWidget(ComboURL);
    boxes->setMinimumWidth(300);
    targetLayout->addWidget(boxes, 1);
    ToolBar2->addWidget(target);
    ToolBar2->addSeparator();
    BtTansaku = toolButton(ToolBar2, "BtTansaku", QStringLiteral("探索"), QStringLiteral("探索を開始"),
                           icons::explore(), kToolButton2);
    BtWeb = toolButton(ToolBar2, "BtWeb", QStringLiteral("Web"), QStringLiteral("ＷＥＢを表示"), icons::web(),
                       kToolButton2);
    coolLayout->addWidget(ToolBar2);
    centralWidget()->layout()->addWidget(coolBar);

    connect(ToolBtWWW, &QToolButton::clicked, this, &TFormMain::ToolBtWWWClick);
    connect(ToolBtHard, &QToolButton::clicked, this, &TFormMain::ToolBtHardClick);
    connect(BtStop, &QToolButton::clicked, this, &TFormMain::BtStopClick);
    connect(BtWeb, &QToolButton::clicked, this, &TFormMain::BtWebClick);
    connect(BtBack, &QToolButton::clicked, this, &TFormMain::BtBackClick);
    connect(BtForward, &QToolButton::clicked, this, &TFormMain::BtForwardClick);
    connect(BtSettei, &QToolButton::clicked, this, [this] {
        if (!m_windows || !m_windows->FormSetting)
            return;
        m_windows->FormSetting->showOnTab(m_targetWWW ? TFormSetting::TabWWWIndex : TFormSetting::TabHDIndex);
    });
    connect(BtDirectory, &QToolButton::clicked, this, [this] {
        if (!m_windows || !m_windows->FormSelectDir)
            return;
        auto* chooser = m_windows->FormSelectDir;
        if (chooser->exec() != QDialog::Accepted)
            return;
        const QString dir = chooser->directory();
        if (m_windows->FormSetting)
            m_windows->FormSetting->setStartDirectory(dir);
        historyRecording = true;
        enterDirectoryHistory(dir);
        ComboDirectory->setEditText(dir);
    });
    connect(BtKensaku, &QToolButton::clicked, this, [this] {
        PageMain->setCurrentWidget(TabPhoto);
        PagePhoto->setCurrentWidget(TabKensaku);
    });
    connect(BtSingle, &QToolButton::clicked, this, &TFormMain::BtSingleClick);
    connect(BtTable, &QToolButton::clicked, this, &TFormMain::BtTableClick);
    connect(BtMulti, &QToolButton::clicked, this, &TFormMain::BtMultiClick);
    connect(BtSelect, &QToolButton::clicked, this, [this] { m_crawler->BtSelectClick(); });
    connect(BtTansaku, &QToolButton::clicked, this, [this] { m_crawler->BtTansakuClick(); });
}

void TFormMain::buildMenu()
{
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    auto item = [this](QMenu* menu, const char* name, const QString& caption) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(QLatin1String(name));
        return a;
    };
    QMenu* file = bar->addMenu(QStringLiteral("ファイル(&F)"));
    file->setObjectName(QStringLiteral("File1"));
    Exit1 = item(file, "Exit1", QStringLiteral("終了(&X)"));
    QMenu* explore = bar->addMenu(QStringLiteral("探索(&T)"));
    explore->setObjectName(QStringLiteral("T1"));
    G1 = item(explore, "G1", QStringLiteral("実行(&G)"));
    S1 = item(explore, "S1", QStringLiteral("中止(&S)"));
    WebW1 = item(explore, "WebW1", QStringLiteral("Web表示(&W)"));
    T2 = item(explore, "T2", QStringLiteral("収集(&T)"));
    QMenu* erase = bar->addMenu(QStringLiteral("消去(&E)"));
    erase->setObjectName(QStringLiteral("E1"));
    M1 = item(erase, "M1", QStringLiteral("ファイルリスト消去(&R)"));
    MenuAllClear = item(erase, "MenuAllClear", QStringLiteral("全消去(&Z)"));
    QMenu* bookmark = bar->addMenu(QStringLiteral("ブックマーク(&B)"));
    bookmark->setObjectName(QStringLiteral("B1"));
    H1 = item(bookmark, "H1", QStringLiteral("ホーム(&H)"));
    S2 = item(bookmark, "S2", QStringLiteral("サポート掲示版(&S)"));
    QMenu* settings = bar->addMenu(QStringLiteral("設定(&S)"));
    settings->setObjectName(QStringLiteral("S3"));
    D1 = item(settings, "D1", QStringLiteral("ディレクトリ(&D)"));
    J1 = item(settings, "J1", QStringLiteral("探索条件(&J)"));
    QMenu* target = settings->addMenu(QStringLiteral("探索対象(&T)"));
    target->setObjectName(QStringLiteral("T3"));
    MenuHard = item(target, "MenuHard", QStringLiteral("ハードディスク(&H)"));
    MenuHard->setCheckable(true);
    MenuHard->setChecked(true);
    MenuWWW = item(target, "MenuWWW", QStringLiteral("ＷＷＷ(W)"));
    MenuWWW->setCheckable(true);
    B2 = item(settings, "B2", QStringLiteral("テーブル表示(&B)"));
    QMenu* view = bar->addMenu(QStringLiteral("表示(&L)"));
    view->setObjectName(QStringLiteral("L1"));
    S4 = item(view, "S4", QStringLiteral("単独画像(&S)"));
    M2 = item(view, "M2", QStringLiteral("複数画像(&M)"));
    T4 = item(view, "T4", QStringLiteral("テーブル表示(&T)"));
    QMenu* help = bar->addMenu(QStringLiteral("ヘルプ(&H)"));
    help->setObjectName(QStringLiteral("H2"));
    Contents1 = item(help, "Contents1", QStringLiteral("目次(&C)"));
    K1 = item(help, "K1", QStringLiteral("ｷｰﾜｰﾄﾞ検索(&K)"));
    About1 = item(help, "About1", QStringLiteral("バージョン情報(&A)"));

    connect(Exit1, &QAction::triggered, this, &QWidget::close);
    connect(S1, &QAction::triggered, this, &TFormMain::BtStopClick);
    connect(WebW1, &QAction::triggered, this, &TFormMain::BtWebClick);
    connect(T2, &QAction::triggered, this, [this] { BtSelect->click(); });
    connect(G1, &QAction::triggered, this, [this] { BtTansaku->click(); });
    connect(J1, &QAction::triggered, this, [this] { BtTansaku->click(); });
    connect(D1, &QAction::triggered, this, [this] { BtDirectory->click(); });
    connect(S4, &QAction::triggered, this, [this] { BtSingle->click(); });
    connect(M2, &QAction::triggered, this, [this] { BtMulti->click(); });
    connect(T4, &QAction::triggered, this, [this] { BtMulti->click(); });
    // A checkable item has already flipped its tick when triggered fires.
    connect(MenuHard, &QAction::triggered, this, [this](bool checked) { MenuHardClick(!checked); });
    connect(MenuWWW, &QAction::triggered, this, [this](bool checked) { MenuWWWClick(!checked); });
    connect(H1, &QAction::triggered, this, [this] {
        if (m_windows && m_windows->FormSetting)
            ComboURL->setEditText(m_windows->FormSetting->homeAddress());
    });
    connect(S2, &QAction::triggered, this, [this] {
        ComboURL->setEditText(supportPageAddress());
        BtWebClick();
    });
    connect(B2, &QAction::triggered, this, [this] {
        if (m_windows && m_windows->FormSetteiMulti)
            m_windows->FormSetteiMulti->show();
    });
    connect(Contents1, &QAction::triggered, this, [this] { startHelp({m_helpFile}); });
    connect(K1, &QAction::triggered, this, [this] { startHelp({QStringLiteral("-k"), m_helpFile}); });
    connect(About1, &QAction::triggered, this, [this] {
        if (m_windows && m_windows->FormVersion)
            m_windows->FormVersion->exec();
    });
}

void TFormMain::buildTabs()
{
    auto* systemPanel = panel("PanelSystem", centralWidget());
    PanelSystem = systemPanel;
    Button3 = new QPushButton(QStringLiteral("System(&Y)"), systemPanel);
    Button3->setObjectName(QStringLiteral("Button3"));
    Button3->adjustSize();
    centralWidget()->layout()->addWidget(systemPanel);
    connect(Button3, &QPushButton::clicked, this, &TFormMain::Button3Click);

    PageMain = new QTabWidget(centralWidget());
    PageMain->setObjectName(QStringLiteral("PageMain"));
    auto tab = [this](const char* name, const QString& caption) {
        auto* w = new QWidget(PageMain);
        w->setObjectName(QLatin1String(name));
        PageMain->addTab(w, caption);
        return w;
    };
    TabWeb = tab("TabWeb", QStringLiteral("ＷＷＷ"));
    TabHost = tab("TabHost", QStringLiteral("ホスト"));
    TabLink = tab("TabLink", QStringLiteral("リンク(URL)"));
    TabLinkImage = tab("TabLinkImage", QStringLiteral("画像(URL)"));
    TabList = tab("TabList", QStringLiteral("ファイルリスト"));
    TabURL = tab("TabURL", QStringLiteral("URL"));
    TabHTTP = tab("TabHTTP", QStringLiteral("HTTP"));
    TabLog = tab("TabLog", QStringLiteral("Log"));
    TabPhoto = tab("TabPhoto", QStringLiteral("データベース"));
    centralWidget()->layout()->addWidget(PageMain);

    // ＷＷＷ: the HTML view fills the tab; its context menu goes back.
    auto* webLayout = new QVBoxLayout(TabWeb);
    webLayout->setContentsMargins(0, 0, 0, 0);
    HTML1 = new web::THTML(TabWeb);
    HTML1->setObjectName(QStringLiteral("HTML1"));
    webLayout->addWidget(HTML1);
    HTML1->view()->setContextMenuPolicy(Qt::ActionsContextMenu);
    auto* back = new QAction(QStringLiteral("戻る"), HTML1);
    back->setObjectName(QStringLiteral("Back1"));
    HTML1->view()->addAction(back);
    connect(back, &QAction::triggered, this, &TFormMain::BtBackClick);
    connect(HTML1, &web::THTML::doRequestDoc, this, &TFormMain::HTML1DoRequestDoc);
    connect(HTML1, &web::THTML::beginRetrieval, this, [this] { setBusy(true); });
    connect(HTML1, &web::THTML::endRetrieval, this, [this] { setBusy(false); });

    // 画像(URL): the registration group keeps its "delete on registration" box.
    auto* imageLayout = new QVBoxLayout(TabLinkImage);
    auto* registration = new QGroupBox(QStringLiteral("Quillon（索引方式）"), TabLinkImage);
    registration->setObjectName(QStringLiteral("GroupBox3"));
    auto* registrationLayout = new QHBoxLayout(registration);
    CheckSakujo = new QCheckBox(QStringLiteral("登録時にリスト削除"), registration);
    CheckSakujo->setObjectName(QStringLiteral("CheckSakujo"));
    CheckSakujo->setChecked(true);
    Button4 = new QPushButton(QStringLiteral("DB名称(&B)"), registration);
    Button4->setObjectName(QStringLiteral("Button4"));
    DBEditDBName2 = new TDBEdit("DBEditDBName2", registration);
    DBEditDBName2->setReadOnly(true);
    DBEditDBName2->setDataSource(m_dm.DtIndex);
    DBEditDBName2->setDataField(QStringLiteral("DB名称"));
    Button5 = new QPushButton(QStringLiteral("登録(&I)"), registration);
    Button5->setObjectName(QStringLiteral("Button5"));
    registrationLayout->addWidget(Button4);
    registrationLayout->addWidget(DBEditDBName2);
    registrationLayout->addWidget(Button5);
    registrationLayout->addWidget(CheckSakujo);
    connect(Button4, &QPushButton::clicked, this, [this] { m_photo->ButtonDBNameClick(); });
    connect(Button5, &QPushButton::clicked, this,
            [this] { m_photo->registerMarkedAddresses(*m_dm3.TaLinkImg, CheckSakujo->isChecked()); });
    imageLayout->addStretch(1);
    imageLayout->addWidget(registration);

    // ファイルリスト: the grid panel fills the tab; the list-box variant sits
    // in two panels that start-up collapses.
    auto* listLayout = new QVBoxLayout(TabList);
    listLayout->setContentsMargins(0, 0, 0, 0);
    PanelCL1 = panel("PanelCL1", TabList);
    PanelCL2 = panel("PanelCL2", TabList);
    PanelDB2 = panel("PanelDB2", TabList);
    listLayout->addWidget(PanelCL1);
    listLayout->addWidget(PanelCL2);
    listLayout->addWidget(PanelDB2, 1);
    // The tab's contents come with FileListTab; the automatic-display box is
    // the main window's because it is a stored value of the window.
    CheckAutoDisp = new QCheckBox(QStringLiteral("自動表示"), PanelDB2);
    CheckAutoDisp->setObjectName(QStringLiteral("CheckAutoDisp"));
    CheckAutoDisp->setChecked(true);

    // URL: two memos, never shown.
    auto* urlLayout = new QHBoxLayout(TabURL);
    MemoLink = memo("MemoLink", TabURL);
    MemoImageList = memo("MemoImageList", TabURL);
    urlLayout->addWidget(MemoLink);
    urlLayout->addWidget(MemoImageList);

    // HTTP: the seven retrieval controls with their address boxes and the page source.
    auto* httpLayout = new QGridLayout(TabHTTP);
    for (int n = 0; n < 7; ++n) {
        HTTP[n] = new web::THTTP(this);
        HTTP[n]->setObjectName(QStringLiteral("HTTP%1").arg(n));
        auto* label = new QLabel(HTTP[n]->objectName(), TabHTTP);
        auto* edit = new QLineEdit(TabHTTP);
        edit->setObjectName(n == 0 ? QStringLiteral("EditHttpURL") : QStringLiteral("EditHttp%1").arg(n));
        EditHttp[n] = edit;
        httpLayout->addWidget(label, n, 0);
        httpLayout->addWidget(edit, n, 1);
    }
    EditHttpURL = EditHttp[0];
    MemoSrc = memo("MemoSrc", TabHTTP);
    httpLayout->addWidget(MemoSrc, 7, 0, 1, 2);
    httpLayout->setRowStretch(7, 1);

    // Log: the normal log and the error log.
    auto* logLayout = new QVBoxLayout(TabLog);
    auto* normal = new QGroupBox(QStringLiteral("Normal End"), TabLog);
    normal->setObjectName(QStringLiteral("GroupLog"));
    auto* normalLayout = new QVBoxLayout(normal);
    MemoLog = memo("MemoLog", normal);
    normalLayout->addWidget(MemoLog);
    auto* error = new QGroupBox(QStringLiteral("Error"), TabLog);
    error->setObjectName(QStringLiteral("GroupError"));
    auto* errorLayout = new QVBoxLayout(error);
    MemoError = memo("MemoError", error);
    errorLayout->addWidget(MemoError);
    logLayout->addWidget(normal);
    logLayout->addWidget(error);

    // データベース: the database name above the four pages.
    auto* photoLayout = new QVBoxLayout(TabPhoto);
    photoLayout->setContentsMargins(2, 2, 2, 2);
    photoLayout->setSpacing(2);
    auto* nameRow = new QHBoxLayout();
    auto* nameLabel = new QLabel(QStringLiteral("DB名称"), TabPhoto);
    EditDBName = new QLineEdit(QStringLiteral("Sample"), TabPhoto);
    EditDBName->setObjectName(QStringLiteral("EditDBName"));
    Button17 = new QPushButton(QStringLiteral("DB名称(&B)"), TabPhoto);
    Button17->setObjectName(QStringLiteral("Button17"));
    nameRow->addWidget(nameLabel);
    nameRow->addWidget(EditDBName);
    nameRow->addWidget(Button17);
    nameRow->addStretch(1);
    photoLayout->addLayout(nameRow);
    PagePhoto = new QTabWidget(TabPhoto);
    PagePhoto->setObjectName(QStringLiteral("PagePhoto"));
    auto page = [this](const char* name, const QString& caption) {
        auto* w = new QWidget(PagePhoto);
        w->setObjectName(QLatin1String(name));
        PagePhoto->addTab(w, caption);
        return w;
    };
    TabToroku = page("TabToroku", QStringLiteral("登録/変更/削除"));
    TabKensaku = page("TabKensaku", QStringLiteral("検索"));
    TabShinki = page("TabShinki", QStringLiteral("新規データベース"));
    TabDBSettei = page("TabDBSettei", QStringLiteral("ＤＢ設定/削除"));
    photoLayout->addWidget(PagePhoto, 1);
    // Enter in the name box chooses the database as the "DB名称(&B)" buttons of the lists do.
    connect(EditDBName, &QLineEdit::returnPressed, this, [this] { m_photo->ButtonDBNameClick(); });
    connect(Button17, &QPushButton::clicked, this, [this] { m_photo->ChooseDatabase(); });

}

void TFormMain::buildStatusBars()
{
    auto bar = [this](const char* name, int panels, const int* widths, QLabel** out) {
        auto* f = panel(name, centralWidget());
        f->setFrameShape(QFrame::StyledPanel);
        auto* l = new QHBoxLayout(f);
        l->setContentsMargins(2, 1, 2, 1);
        l->setSpacing(2);
        for (int i = 0; i < panels; ++i) {
            auto* p = new QLabel(f);
            p->setObjectName(QStringLiteral("%1%2").arg(QLatin1String(name)).arg(i));
            p->setFrameShape(QFrame::Panel);
            p->setFrameShadow(QFrame::Sunken);
            p->setFixedWidth(widths ? widths[i] : 90);
            l->addWidget(p);
            out[i] = p;
        }
        l->addStretch(1);
        centralWidget()->layout()->addWidget(f);
        return f;
    };
    STB = bar("STB", 6, kStbWidths, STBPanels.data());
    STA = bar("STA", 7, nullptr, STAPanels.data());
    // Over the right part of the wide address panel, outside every layout:
    // the panels fill the window's design width, and a bar beside them
    // would widen the window each time it shows.
    QLabel* host = STBPanels[4];
    ProgressBar = new QProgressBar(host);
    ProgressBar->setObjectName(QStringLiteral("ProgressBar"));
    ProgressBar->setGeometry(host->width() - 160, 0, 160, host->sizeHint().height());
    ProgressBar->setTextVisible(true);
    ProgressBar->setVisible(false);
}

void TFormMain::buildTimers()
{
    auto timer = [this](const char* name) {
        auto* t = new TTimer(this);
        t->setObjectName(QLatin1String(name));
        return t;
    };
    TimerTansaku = timer("TimerTansaku");
    for (int n = 1; n <= 6; ++n) {
        TimerF[n] = timer(QStringLiteral("TimerF%1").arg(n).toLatin1().constData());
    }
    TimerGazou = timer("TimerGazou");
    TimerKensaku = timer("TimerKensaku");
}

void TFormMain::readValues()
{
    SettingsStore s;
    s.readBounds(this, QStringLiteral("fmQuillon"));
    ComboDirectory->setEditText(
        s.readString(SettingsStore::Window, QStringLiteral("fmQuillon.Directory"), QString()));
    ComboURL->setEditText(s.readString(SettingsStore::Window, QStringLiteral("fmQuillon.URL"), QString()));
    EditDBName->setText(s.readString(SettingsStore::Window, QStringLiteral("fmQuillon.DBName"), EditDBName->text()));
    m_targetWWW = s.readBool(SettingsStore::Setting, QStringLiteral("fmQuillon.ToolBtWWW"), false);
    CheckAutoDisp->setChecked(s.readBool(SettingsStore::Setting, QStringLiteral("fmQuillon.AutoDisp"), true));
    CheckSakujo->setChecked(s.readBool(SettingsStore::Setting, QStringLiteral("fmQuillon.CheckSakujo"), true));
    saveDialogDirectory = s.readString(SettingsStore::Window, QStringLiteral("fmPhoto.Directory"), QString());
    QHeaderView* header = DBGridQuery->horizontalHeader();
    for (int c = 0; c < 6; ++c) {
        header->resizeSection(
            c, s.readInteger(SettingsStore::Window, QStringLiteral("fmQuillon.Query%1").arg(c), kQueryColumnWidths[c]));
    }
}

void TFormMain::writeValues()
{
    SettingsStore s;
    s.writeBounds(this, QStringLiteral("fmQuillon"));
    s.writeString(SettingsStore::Window, QStringLiteral("fmQuillon.Directory"), ComboDirectory->currentText());
    s.writeString(SettingsStore::Window, QStringLiteral("fmQuillon.URL"), ComboURL->currentText());
    s.writeString(SettingsStore::Window, QStringLiteral("fmQuillon.DBName"), EditDBName->text());
    s.writeBool(SettingsStore::Setting, QStringLiteral("fmQuillon.ToolBtWWW"), ToolBtWWW->isChecked());
    s.writeBool(SettingsStore::Setting, QStringLiteral("fmQuillon.AutoDisp"), CheckAutoDisp->isChecked());
    s.writeBool(SettingsStore::Setting, QStringLiteral("fmQuillon.CheckSakujo"), CheckSakujo->isChecked());
    s.writeString(SettingsStore::Window, QStringLiteral("fmPhoto.Directory"), saveDialogDirectory);
    QHeaderView* header = DBGridQuery->horizontalHeader();
    for (int c = 0; c < 6; ++c)
        s.writeInteger(SettingsStore::Window, QStringLiteral("fmQuillon.Query%1").arg(c), header->sectionSize(c));
}

void TFormMain::closeEvent(QCloseEvent* e)
{
    // A registration run turning the event loop stops at its next record.
    m_closing = true;
    m_dm3.store().dropAllPasswords();
    writeValues();
    e->accept();
    // A disk scan turning the event loop from inside its run stops at its
    // next directory, so the program does not linger after its window.
    if (m_fileListTab->scan().isRunning())
        setStopIcon(9);
    // Closing the main window ends the program, whatever else is open.
    QCoreApplication::quit();
}

void TFormMain::LogNormal(const QString& line)
{
    MemoLog->appendPlainText(line);
}

void TFormMain::LogError(const QString& line)
{
    MemoError->appendPlainText(line);
}

void TFormMain::ClearStatusAndLogs()
{
    for (int i = 0; i < 6; ++i) {
        STBPanels[i]->clear();
        STAPanels[i]->clear();
    }
    MemoLog->clear();
    MemoError->clear();
}

void TFormMain::setStb(int panel, const QString& text)
{
    STBPanels.at(panel)->setText(text);
    emit statusChanged(panel, text);
}

QString TFormMain::stb(int panel) const
{
    return STBPanels.at(panel)->text();
}

void TFormMain::setSta(int panel, const QString& text)
{
    STAPanels.at(panel)->setText(text);
    emit slotStatusChanged(panel, text);
}

QString TFormMain::sta(int panel) const
{
    return STAPanels.at(panel)->text();
}

void TFormMain::showProgress(int done, int total, const QString& tip)
{
    if (total > 0) {
        ProgressBar->setRange(0, total);
        ProgressBar->setValue(qBound(0, done, total));
        ProgressBar->setFormat(QStringLiteral("%v / %m"));
    } else {
        ProgressBar->setRange(0, 0);
    }
    ProgressBar->setToolTip(tip);
    QWidget* host = ProgressBar->parentWidget();
    ProgressBar->setGeometry(host->width() - ProgressBar->width(), 0, ProgressBar->width(), host->height());
    ProgressBar->setVisible(true);
}

void TFormMain::hideProgress()
{
    ProgressBar->setVisible(false);
    ProgressBar->reset();
    ProgressBar->setToolTip(QString());
}

void TFormMain::ApplyTarget(bool www)
{
    m_targetWWW = www;
    if (www) {
        ComboURL->setVisible(true);
        ComboDirectory->setVisible(false);
        LabelTaishou->setText(QStringLiteral("　ＵＲＬ"));
        BtWeb->setEnabled(true);
        BtBack->setEnabled(true);
        BtForward->setEnabled(true);
        BtDirectory->setEnabled(false);
    } else {
        PageMain->setCurrentWidget(TabList);
        ComboURL->setVisible(false);
        ComboDirectory->setVisible(true);
        LabelTaishou->setText(QStringLiteral("ﾃﾞｨﾚｸﾄﾘ"));
        BtDirectory->setEnabled(true);
        BtWeb->setEnabled(false);
        BtBack->setEnabled(false);
        BtForward->setEnabled(false);
    }
    setStopIcon(9);
    ToolBtWWW->setChecked(www);
    MenuWWW->setChecked(www);
    ToolBtHard->setChecked(!www);
    MenuHard->setChecked(!www);
}

void TFormMain::ToolBtWWWClick()
{
    ApplyTarget(ToolBtWWW->isChecked());
}

void TFormMain::ToolBtHardClick()
{
    ApplyTarget(!ToolBtHard->isChecked());
}

void TFormMain::MenuHardClick(bool checkedBefore)
{
    ApplyTarget(checkedBefore);
}

void TFormMain::MenuWWWClick(bool checkedBefore)
{
    ApplyTarget(!checkedBefore);
}

void TFormMain::setStopIcon(int index)
{
    m_stopIcon = index;
    BtStop->setIcon(icons::stop(index));
}

void TFormMain::setBusy(bool busy)
{
    setStopIcon(busy ? 8 : 9);
    if (busy)
        Animate1->play();
    else
        Animate1->stop();
}

void TFormMain::Button3Click()
{
    PageMain->setTabVisible(PageMain->indexOf(TabHTTP), true);
    PageMain->setTabVisible(PageMain->indexOf(TabLog), true);
    STA->setVisible(true);
}

void TFormMain::BeginRun()
{
    m_crawler->BeginRun();
}

void TFormMain::EndRun()
{
    m_crawler->EndRun();
}

void TFormMain::BtStopClick()
{
    // During a registration "中止" ends the registration alone; a run it
    // was started from goes on.
    if (m_longRun) {
        m_longRunStopped = true;
        return;
    }
    m_crawler->BtStopClick();
}

void TFormMain::BtWebClick()
{
    historyRecording = true;
    WebDisplay();
}

void TFormMain::WebDisplay()
{
    const QString address = ComboURL->currentText();
    if (proxySwitch) {
        m_crawler->FetchPageOnSlot0(address);
        return;
    }
    LogNormal(QStringLiteral("FindAddress : ") + address);
    HTML1->requestDoc(address);
    PageMain->setCurrentWidget(TabWeb);
}

void TFormMain::HTML1DoRequestDoc(const QString& url)
{
    if (proxySwitch)
        return;
    urlHistory.enter(url);
    updateHistoryButtons(urlHistory);
    if (historyRecording) {
        const int at = ComboURL->findText(url);
        if (at >= 0)
            ComboURL->removeItem(at);
        ComboURL->insertItem(0, url);
    }
    ComboURL->setEditText(url);
    setStb(4, url);
}

void TFormMain::BtBackClick()
{
    const QString previous = urlHistory.before();
    if (previous.isEmpty())
        return;
    ComboURL->setEditText(previous);
    WebDisplay();
}

void TFormMain::BtForwardClick()
{
    const QString following = urlHistory.after();
    if (following.isEmpty())
        return;
    ComboURL->setEditText(following);
    WebDisplay();
}

void TFormMain::enterDirectoryHistory(const QString& directory)
{
    directoryHistory.enter(directory);
    updateHistoryButtons(directoryHistory);
    if (historyRecording) {
        const int at = ComboDirectory->findText(directory);
        if (at >= 0)
            ComboDirectory->removeItem(at);
        ComboDirectory->insertItem(0, directory);
    }
}

void TFormMain::updateHistoryButtons(const History& h)
{
    BtBack->setEnabled(h.canBack());
    BtForward->setEnabled(h.canForward());
}

void TFormMain::MenuAllClearClick()
{
    ClearStatusAndLogs();
    MemoLink->clear();
    // All four tables or none.
    store::Batch batch(m_dm3.store());
    m_explorationTabs->ButtonHostDeleteClick();
    m_explorationTabs->ButtonLinkDeleteClick();
    m_explorationTabs->ButtonImageDeleteClick();
    store::EmptyTableNow(*m_dm3.TaList);
    batch.commit();
    fileListCount = 0;
    run.picturesReceived = 0;
    run.lastPageLinkNo = 0;
    run.lastImageLinkNo = 0;
}

void TFormMain::ShowCounts()
{
    if (PageMain->currentWidget() == TabLinkImage)
        setStb(2, QStringLiteral("画像 : %1件").arg(run.pictureLinksFound));
    else if (PageMain->currentWidget() == TabList)
        setStb(2, QStringLiteral("イメージ : %1件").arg(run.filesListed));
}

web::CrawlSettings TFormMain::crawlSettings()
{
    web::CrawlSettings s;
    TFormSetting* d = m_windows ? m_windows->FormSetting : nullptr;
    if (!d)
        return s;
    s.maxUrl = d->EditMaxURL->text();
    s.maxImage = d->EditMaxImage->text();
    s.uchikiri = d->EditUchikiri->text();
    s.linkMax = d->EditLinkMax->text();
    s.followExternal = d->CheckGaibu->isChecked();
    s.fileSave = d->CheckFileSave->isChecked();
    s.dbSave = d->CheckDBSave->isChecked();
    s.saveDirectory = d->EditDirectory->text();
    s.speed = d->ScrollSpeed->value();
    s.kekkaWWW = d->RadioKekkaWWW->itemIndex();
    s.types.jpeg = d->CheckJPEG->isChecked();
    s.types.gif = d->CheckGIF->isChecked();
    s.types.bmp = d->CheckBMP->isChecked();
    return s;
}

QString TFormMain::urlBoxText()
{
    return ComboURL->currentText();
}

QString TFormMain::directoryBoxText()
{
    return ComboDirectory->currentText();
}

void TFormMain::message(const QString& text)
{
    QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Quillon"), text, QMessageBox::Ok, this);
    box.exec();
}

void TFormMain::reportError(const QString& text)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Quillon"), text, QMessageBox::Ok, this);
    box.exec();
}

void TFormMain::setSlotAddress(int slot, const QString& address)
{
    EditHttp.at(size_t(slot))->setText(address);
}

void TFormMain::setPageSource(const QString& text)
{
    MemoSrc->setPlainText(text);
}

void TFormMain::showFileListTab()
{
    PageMain->setCurrentWidget(TabList);
}

void TFormMain::showPictureSettings()
{
    if (m_windows && m_windows->FormSetting)
        m_windows->FormSetting->showOnTab(TFormSetting::TabGazouIndex);
}

void TFormMain::setWindows(Windows* windows)
{
    m_windows = windows;
    if (m_windows && m_windows->FormDirectory) {
        disk::TFormDirectory* browser = m_windows->FormDirectory;
        connect(browser, &disk::TFormDirectory::loadFailed, this, &TFormMain::reportError);
        connect(browser, &disk::TFormDirectory::registerRequested, this, [this, browser](const QString& path) {
            m_photo->RegisterFromBrowser(path, browser->Image1->picture());
            showRecordPage();
            show();
            raise();
            activateWindow();
        });
    }
    // The last start-up step: the database in the name box opens, which may
    // ask for its password in a window of its own.
    m_photo->openAtStart();
}

bool TFormMain::databaseChosen()
{
    return m_photo->state().DatabaseChosen;
}

picturedb::TFormDBList* TFormMain::databaseList()
{
    return m_windows ? m_windows->FormDBList : nullptr;
}

picturedb::TFormPassword* TFormMain::passwordWindow()
{
    return m_windows ? m_windows->FormPassword : nullptr;
}

viewing::TFormView* TFormMain::sharedViewWindow()
{
    return m_windows ? m_windows->FormView : nullptr;
}

void TFormMain::fetchSingleImage(const QString& address)
{
    m_crawler->FetchSingleImage(address);
}

void TFormMain::showFileBrowser()
{
    if (m_windows && m_windows->FormDirectory)
        m_windows->FormDirectory->show();
}

void TFormMain::showRecordPage()
{
    PageMain->setCurrentWidget(TabPhoto);
    PagePhoto->setCurrentWidget(TabToroku);
}

bool TFormMain::yieldDuringRun()
{
    // Paint and timers, but no clicks other than "中止": a click could start
    // another run on the same tables.
    QCoreApplication::processEvents(m_stopOnlyInput ? QEventLoop::AllEvents : QEventLoop::ExcludeUserInputEvents, 20);
    return !m_closing && !m_longRunStopped;
}

void TFormMain::beginLongRun(int total)
{
    m_longRun = true;
    m_longRunStopped = false;
    m_longRunTotal = total;
    m_stopOnlyInput = std::make_unique<StopOnlyInput>(BtStop, menuBar(), S1);
    longRunProgress(0);
}

void TFormMain::longRunProgress(int done)
{
    showProgress(done, m_longRunTotal, QStringLiteral("%1 / %2 件").arg(done).arg(m_longRunTotal));
}

void TFormMain::endLongRun()
{
    if (!m_longRun)
        return;
    m_longRun = false;
    m_stopOnlyInput.reset();
    hideProgress();
}

void TFormMain::BtTableClick()
{
    if (PageMain->currentWidget() != TabPhoto)
        return;
    if (PagePhoto->currentWidget() == TabToroku)
        m_photo->record()->ShowInNewViewWindow();
    else
        m_multiFill->FillMultiFromSearch();
}


void TFormMain::Delete3Click()
{
    store::Query& result = *m_dm.QuPhoto;
    const int row = DBGridQuery->currentIndex().row();
    if (!result.isOpen() || row < 0 || row >= result.recordCount())
        return;
    result.moveTo(row);
    bool ok = false;
    const qint32 serial = result.value(QStringLiteral("連番")).toInt(&ok);
    if (ok)
        m_photo->record()->DeleteRecordOf(serial);
}

void TFormMain::BtSingleClick()
{
    multipleViewMode = false;
    ShowSelectedPicture();
}

void TFormMain::BtMultiClick()
{
    multipleViewMode = true;
    ShowSelectedPicture();
}

void TFormMain::ShowSelectedPicture()
{
    QWidget* tab = PageMain->currentWidget();
    if (tab == TabLinkImage) {
        // The picture of the current picture-link row, fetched for display.
        store::Table& links = *m_dm3.TaLinkImg;
        const bool row = links.isOpen() && !links.isEmpty();
        m_crawler->FetchSingleImage(row ? links.fieldByName(QStringLiteral("URL")).asString() : QString());
        return;
    }
    if (tab == TabPhoto)
        return; // the database pages pick their own picture
    if (tab != TabList || !m_fileListTab->Image->hasPicture()) {
        message(QStringLiteral("画像を選択してください"));
        return;
    }
    viewing::Picture picture = m_fileListTab->Image->picture();
    if (picture.image.size() != picture.fullSize) {
        // The preview was decoded for its small box; the window shows the whole picture.
        if (auto full = viewing::loadPicture(m_fileListTab->previewPath()))
            picture = std::move(*full);
    }
    viewing::ShowInViewWindow(multipleViewMode ? viewing::ViewMode::Multiple : viewing::ViewMode::Single,
                              m_windows ? m_windows->FormView : nullptr, this, picture,
                              m_fileListTab->currentFileName());
}

void TFormMain::runDiskScan()
{
    m_fileListTab->RunDiskScan();
}

void TFormMain::acceptPicture(int slot)
{
    m_saving->AcceptAndSaveImage(slot);
}

QString TFormMain::helpCommandLine() const
{
    return QStringLiteral("Winhelp ") + m_helpFile;
}

void TFormMain::startHelp(const QStringList& arguments)
{
    QProcess::startDetached(base::helperProgram(QStringLiteral("Winhelp")), arguments);
}

QString TFormMain::supportPageAddress()
{
    return QStringLiteral("http://quillon.example.org/support/");
}

} // namespace app

namespace app {

search::TFormPopJouken* TFormMain::fieldChooser()
{
    return m_windows ? m_windows->FormPopJouken : nullptr;
}

search::TFormPopKensaku* TFormMain::searchProgress()
{
    return m_windows ? m_windows->FormPopKensaku : nullptr;
}

QString TFormMain::databaseName()
{
    // The database that was opened, not whatever has been typed since.
    return m_photo->state().CurrentDatabase;
}

QStringList TFormMain::fieldLabels()
{
    QStringList labels;
    for (const QString& label : m_photo->state().FieldLabels) {
        if (label.isEmpty())
            break;
        labels << label;
    }
    return labels;
}

bool TFormMain::indexMode()
{
    return m_photo->state().IndexMode;
}

bool TFormMain::locateRecordAndImage(qint32 serial)
{
    try {
        m_photo->catalogue().LocateRecord(serial);
        return m_photo->record()->LocateImage(serial);
    } catch (const store::StoreError& e) {
        reportError(e.message());
        return false;
    }
}

void TFormMain::showOnNavigate()
{
    m_photo->state().ShowOnNavigate = true;
}

bool TFormMain::previewStretch()
{
    return m_fileListTab->CheckStretch->isChecked();
}

bool TFormMain::previewKeepRatio()
{
    return m_photo->record()->CheckStretch2->isChecked() && m_photo->record()->CheckHiritsu2->isChecked();
}

void TFormMain::showInViewWindow(const viewing::Picture& picture, const QString& title, bool newWindow)
{
    viewing::ShowInViewWindow(newWindow ? viewing::ViewMode::Multiple : viewing::ViewMode::Single, sharedViewWindow(),
                              this, picture, title);
}

} // namespace app
