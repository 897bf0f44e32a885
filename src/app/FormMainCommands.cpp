// The main window's commands: its tool bars and menu, and what they do
// (the exploration target, the Web display with its history, the picture
// commands, clearing, the help).

#include "app/FormMain.h"

#include "app/DatabaseTab.h"
#include "app/ExplorationTabs.h"
#include "app/FileListTab.h"
#include "app/FormSetting.h"
#include "app/FormVersion.h"
#include "app/Icons.h"
#include "app/MultiFill.h"
#include "app/SearchTab.h"
#include "app/ToolButton.h"
#include "app/Windows.h"
#include "base/InstallLayout.h"
#include "base/Named.h"
#include "controls/Animate.h"
#include "disk/FormSelectDir.h"
#include "store/DataMd3.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/TableOps.h"
#include "viewing/FormSetteiMulti.h"
#include "viewing/TImage.h"
#include "viewing/ViewWindow.h"
#include "web/THTML.h"

#include <QAction>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProcess>
#include <QStackedLayout>
#include <QTabWidget>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace app {

namespace {

constexpr QSize kToolButton1(52, 35);
constexpr QSize kToolButton2(61, 35);

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

} // namespace

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
    auto* coolBar = named<QFrame>("CoolBar1", centralWidget());
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

    auto* target = named<QFrame>("PanelTaishou", ToolBar2);
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
    connect(M1, &QAction::triggered, this, [this] { m_fileListTab->ButtonDBListDeleteClick(); });
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
    emit stopClicked();
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

void TFormMain::BtTableClick()
{
    if (PageMain->currentWidget() != TabPhoto)
        return;
    if (m_database->recordPageInFront()) {
        multipleViewMode = true;
        m_database->ShowRecordInNewWindow();
    } else {
        m_multiFill->FillMultiFromSearch();
    }
}

void TFormMain::Delete3Click()
{
    m_database->search().Delete3Click();
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
    if (tab == TabPhoto) {
        m_database->ShowSelectedPicture(multipleViewMode);
        return;
    }
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
                              sharedViewWindow(), this, picture, m_fileListTab->currentFileName());
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
