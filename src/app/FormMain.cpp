#include "app/FormMain.h"

#include "app/DatabaseTab.h"
#include "app/ExplorationTabs.h"
#include "app/FileListTab.h"
#include "app/FormSetting.h"
#include "app/FormVersion.h"
#include "app/Icons.h"
#include "app/MultiFill.h"
#include "app/PictureSaving.h"
#include "app/SearchTab.h"
#include "app/StopOnlyInput.h"
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
#include "picturedb/PictureDatabase.h"
#include "picturedb/RecordPage.h"
#include "search/SearchPage.h"
#include "store/DataMd3.h"
#include "store/TextToInt.h"
#include "store/DataMod.h"
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
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
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

const int kStbWidths[6] = {100, 85, 85, 85, 260, 50};

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
    m_database = new DatabaseTab(*this, m_dm, TabPhoto, TimerKensaku);
    EditDBName = m_database->EditDBName;
    Button17 = m_database->Button17;
    PagePhoto = m_database->PagePhoto;
    TabToroku = m_database->TabToroku;
    TabKensaku = m_database->TabKensaku;
    TabShinki = m_database->TabShinki;
    TabDBSettei = m_database->TabDBSettei;
    search::SearchPage& result = m_database->search().page();
    LabelHokan2 = result.LabelHokan2;
    RadioHyouji2 = result.RadioHyouji2;
    DBGridQuery = result.DBGridQuery;
    PopQuery = result.PopQuery;
    Delete3 = result.Delete3;
    m_explorationTabs = new ExplorationTabs(*this, *m_tables);
    m_fileListTab = new FileListTab(*this);
    {
        std::array<TTimer*, 7> slotTimers = TimerF;
        m_crawler = std::make_unique<web::Crawler>(*this, *m_tables, run, TimerTansaku, slotTimers, HTTP);
    }
    m_saving = new PictureSaving(*this);
    m_multiFill = new MultiFill(*this);
    connect(photo().record()->Button12, &QPushButton::clicked, m_saving, &PictureSaving::Button12Click);
    photo().record()->Button12->setEnabled(true);
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
    result.ClearSearchConditions();                 // 13
    result.placeSlots();
    photo().startUp();                              // the database opens once the
    PagePhoto->setCurrentWidget(TabToroku);         // windows it may ask for exist
}

TFormMain::~TFormMain() = default;

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
    connect(Button4, &QPushButton::clicked, this, [this] { photo().ButtonDBNameClick(); });
    connect(Button5, &QPushButton::clicked, this,
            [this] { photo().registerMarkedAddresses(*m_dm3.TaLinkImg, CheckSakujo->isChecked()); });
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

    // データベース: its name box and pages come with DatabaseTab.
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
    // A line of its own below the panels, shown only with a shared database:
    // the panels fill the design width, and a server's reason for refusing
    // may be long. Ignored width, so a long note never widens the window.
    LabelServer = new QLabel(centralWidget());
    LabelServer->setObjectName(QStringLiteral("LabelServer"));
    LabelServer->setFrameShape(QFrame::Panel);
    LabelServer->setFrameShadow(QFrame::Sunken);
    LabelServer->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    LabelServer->setVisible(false);
    centralWidget()->layout()->addWidget(LabelServer);
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
    m_database->search().readValues(s);
    m_fileListTab->readValues(s);
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
    m_database->search().writeValues(s);
    m_fileListTab->writeValues(s);
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

void TFormMain::showSharedDatabase(const QString& note)
{
    LabelServer->setText(note);
    LabelServer->setToolTip(note);
    LabelServer->setVisible(!note.isEmpty());
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
    s.types = d->pictureTypes();
    s.robots = d->CheckRobots->isChecked();
    s.hostIntervalMs = store::toIntegerOr(d->EditHostInterval->text(), 0);
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
        m_database->setBrowser(browser);
    }
    // The last start-up step: the database in the name box opens, which may
    // ask for its password in a window of its own.
    photo().openAtStart();
}

picturedb::PictureDatabase& TFormMain::photo()
{
    return m_database->photo();
}

search::SearchPage* TFormMain::searchPage() const
{
    return &m_database->search().page();
}

bool TFormMain::databaseChosen()
{
    return photo().state().DatabaseChosen;
}

void TFormMain::fetchSingleImage(const QString& address)
{
    m_crawler->FetchSingleImage(address);
}

viewing::TFormView* TFormMain::sharedViewWindow() const
{
    return m_windows ? m_windows->FormView : nullptr;
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
    m_stopOnlyInput = makeStopOnlyInput(BtStop, menuBar(), S1);
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

void TFormMain::runDiskScan()
{
    m_fileListTab->RunDiskScan();
}

void TFormMain::acceptPicture(int slot)
{
    m_saving->AcceptAndSaveImage(slot);
}

void TFormMain::runBegins()
{
    m_saving->forgetSavedPictures();
}

} // namespace app
