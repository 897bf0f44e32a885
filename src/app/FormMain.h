#pragma once

// The main window: tool bars, menus, tabs, the two status bars and the two
// logs, the switch between the two exploration targets, and the run state
// that the other windows read and write. Its commands are defined in
// FormMainCommands.cpp; the tabs' contents come with ExplorationTabs,
// FileListTab and DatabaseTab (with SearchTab for the page "検索").

#include "app/History.h"
#include "web/Crawler.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QStringList>
#include <array>
#include <memory>

class QAction;
class QCheckBox;
class QComboBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTableView;
class QToolBar;
class QToolButton;
class QWidget;
class QMenu;
class TAnimate;
class TDBEdit;
class TRadioGroup;
class TTimer;

namespace store {
class DataMd3;
class DataMod;
} // namespace store

namespace picturedb {
class PictureDatabase;
}

namespace search {
class SearchPage;
}

namespace viewing {
class TFormView;
}

namespace web {
class THTTP;
class THTML;
class ExplorationTables;
} // namespace web

namespace app {

struct Windows;
class DatabaseTab;
class ExplorationTabs;
class FileListTab;
class MultiFill;
class PictureSaving;

class TFormMain : public QMainWindow, public web::CrawlHost {
    Q_OBJECT
public:
    TFormMain(store::DataMd3& dm3, store::DataMod& dm, QWidget* parent = nullptr);
    ~TFormMain() override;

    // The secondary windows, known once start-up has created them all.
    void setWindows(Windows* windows);
    Windows* windows() const { return m_windows; }
    store::DataMd3& dm3() { return m_dm3; }
    store::DataMod& dm() { return m_dm; }

    // Logs and status bars
    void LogNormal(const QString& line) override;
    void LogError(const QString& line) override;
    void ClearStatusAndLogs();
    void setStb(int panel, const QString& text);
    // Where the picture databases are: "共有DB : <server>", or why the local
    // ones are used; nothing while the server is not asked for.
    void showSharedDatabase(const QString& note);
    QString stb(int panel) const;
    void setSta(int panel, const QString& text);
    QString sta(int panel) const;
    // The bar at the right of STB while long work runs: done of total when
    // the total is known (total > 0), else a busy bar; tip tells the counts.
    void showProgress(int done, int total, const QString& tip);
    void hideProgress();

    // Exploration target: true = WWW, false = hard disk.
    bool targetWWW() const { return m_targetWWW; }
    void ApplyTarget(bool www);

    // Busy indication: BtStop shows icon 8 and the clip plays while busy,
    // icon 9 and no clip when idle.
    void setBusy(bool busy) override;
    int stopIconIndex() const { return m_stopIcon; }
    void setStopIcon(int index) override;

    // Run state: counters, cursors and flags of the exploration runs.
    web::RunState run;
    std::array<QString, 6> StatusWords;
    qint32 fileListCount = 0;
    History urlHistory;
    History directoryHistory;
    bool historyRecording = false;
    bool proxySwitch = false;
    bool multipleViewMode = true;
    QString saveDialogDirectory;
    QString helpFile() const { return m_helpFile; }
    // The command line that starts the help viewer on the help file.
    QString helpCommandLine() const;

    web::Crawler& crawler() { return *m_crawler; }

    // Commands
    void BeginRun();
    void EndRun();
    void BtStopClick();
    void BtWebClick();
    void BtBackClick();
    void BtForwardClick();
    void Button3Click();
    void ToolBtWWWClick();
    void ToolBtHardClick();
    void MenuHardClick(bool checkedBefore);
    void MenuWWWClick(bool checkedBefore);
    void WebDisplay();
    void HTML1DoRequestDoc(const QString& url);
    void enterDirectoryHistory(const QString& directory);
    void MenuAllClearClick();
    // The picture commands: "画像" sets the single view-window mode, "複数"
    // the multiple one; both then show the active tab's picture.
    void BtSingleClick();
    void BtMultiClick();
    void ShowSelectedPicture();
    // Status panel 2: the picture-link count on its tab, the file count on the file list.
    void ShowCounts();

    // The open picture database with its pages and commands.
    picturedb::PictureDatabase& photo();
    DatabaseTab* databaseTab() const { return m_database; }
    search::SearchPage* searchPage() const;
    // "ﾃｰﾌﾞﾙ": on the record page the record's picture in a new view window
    // (the multiple mode), on the other database pages the multi-picture window.
    void BtTableClick();
    // The search result's "削除": the record of the selected result.
    void Delete3Click();

    web::ExplorationTables& tables() { return *m_tables; }
    ExplorationTabs* explorationTabs() const { return m_explorationTabs; }
    FileListTab* fileListTab() const { return m_fileListTab; }
    PictureSaving* pictureSaving() const { return m_saving; }

    // Controls that other windows read
    QToolBar* ToolBar1;
    QToolBar* ToolBar2;
    QToolButton* BtDirectory;
    QToolButton* BtSettei;
    QToolButton* BtKensaku;
    QToolButton* BtSingle;
    QToolButton* BtMulti;
    QToolButton* BtTable;
    QToolButton* ToolButton4;
    QToolButton* BtStop;
    QToolButton* BtBack;
    QToolButton* BtForward;
    QToolButton* BtSelect;
    TAnimate* Animate1;
    QToolButton* ToolBtHard;
    QToolButton* ToolBtWWW;
    QLabel* LabelTaishou;
    QComboBox* ComboDirectory;
    QComboBox* ComboURL;
    QToolButton* BtTansaku;
    QToolButton* BtWeb;
    QFrame* PanelSystem;
    QPushButton* Button3;
    QTabWidget* PageMain;
    QWidget* TabWeb;
    QWidget* TabHost;
    QWidget* TabLink;
    QWidget* TabLinkImage;
    QWidget* TabList;
    QWidget* TabURL;
    QWidget* TabHTTP;
    QWidget* TabLog;
    QWidget* TabPhoto;
    web::THTML* HTML1;
    std::array<web::THTTP*, 7> HTTP{};
    QLineEdit* EditHttpURL;
    std::array<QLineEdit*, 7> EditHttp{}; // 1 to 6; [0] is EditHttpURL
    QPlainTextEdit* MemoSrc;
    QPlainTextEdit* MemoLink;
    QPlainTextEdit* MemoImageList;
    QPlainTextEdit* MemoLog;
    QPlainTextEdit* MemoError;
    QCheckBox* CheckSakujo;
    QPushButton* Button4;
    TDBEdit* DBEditDBName2; // the catalogue's current DB名称 beside Button4
    QPushButton* Button5;
    QCheckBox* CheckAutoDisp;
    QFrame* PanelCL1;
    QFrame* PanelCL2;
    QFrame* PanelDB2;
    QLineEdit* EditDBName;
    QPushButton* Button17;
    QTabWidget* PagePhoto;
    QWidget* TabToroku;
    QWidget* TabKensaku;
    QWidget* TabShinki;
    QWidget* TabDBSettei;
    QLabel* LabelHokan2;
    TRadioGroup* RadioHyouji2;
    QTableView* DBGridQuery;
    QMenu* PopQuery;
    QAction* Delete3;
    QFrame* STB;
    QFrame* STA;
    std::array<QLabel*, 6> STBPanels{};
    QProgressBar* ProgressBar;
    std::array<QLabel*, 7> STAPanels{};
    QLabel* LabelServer;
    TTimer* TimerTansaku;
    std::array<TTimer*, 7> TimerF{}; // 1 to 6
    TTimer* TimerGazou;
    TTimer* TimerKensaku;

    QAction* Exit1;
    QAction* G1;
    QAction* S1;
    QAction* WebW1;
    QAction* T2;
    QAction* M1;
    QAction* MenuAllClear;
    QAction* H1;
    QAction* S2;
    QAction* D1;
    QAction* J1;
    QAction* MenuHard;
    QAction* MenuWWW;
    QAction* B2;
    QAction* S4;
    QAction* M2;
    QAction* T4;
    QAction* Contents1;
    QAction* K1;
    QAction* About1;

    // The address that the support-board item puts into the URL box.
    static QString supportPageAddress();

    // What the exploration reads and writes here.
    web::CrawlSettings crawlSettings() override;
    bool targetIsWWW() override { return m_targetWWW; }
    QString urlBoxText() override;
    QString directoryBoxText() override;
    bool databaseChosen() override;
    void message(const QString& text) override;
    void reportError(const QString& text) override;
    void setStatus(int panel, const QString& text) override { setStb(panel, text); }
    void setSlotStatus(int panel, const QString& text) override { setSta(panel, text); }
    void clearStatusAndLogs() override { ClearStatusAndLogs(); }
    void clearAllResults() override { MenuAllClearClick(); }
    void setSlotAddress(int slot, const QString& address) override;
    void setPageSource(const QString& text) override;
    void showCounts() override { ShowCounts(); }
    void showFileListTab() override;
    void selectTargetWWW() override { ApplyTarget(true); }
    void showPictureSettings() override;
    void runDiskScan() override;
    void acceptPicture(int slot) override;
    void runBegins() override;
    void repaintWindow() override { update(); }

    // A registration run (see picturedb::PhotoHost): the event loop turns
    // without user input other than "中止", the bar shows its progress.
    bool yieldDuringRun();
    void beginLongRun(int total);
    void longRunProgress(int done);
    void endLongRun();
    // Fetches the picture at a Web address and shows it (the single fetch).
    void fetchSingleImage(const QString& address);
    // The one view window of the single mode.
    viewing::TFormView* sharedViewWindow() const;

signals:
    // "中止" was clicked or chosen, whatever runs.
    void stopClicked();
    // Every text put into a panel of the status bars, also ones soon replaced.
    void statusChanged(int panel, const QString& text);
    void slotStatusChanged(int panel, const QString& text);

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void buildToolBars();
    void buildMenu();
    void buildTabs();
    void buildStatusBars();
    void buildTimers();
    void readValues();
    void writeValues();
    void startHelp(const QStringList& arguments);
    void updateHistoryButtons(const History& h);
    QToolButton* toolButton(QToolBar* bar, const char* name, const QString& caption, const QString& hint,
                            const QIcon& icon, QSize size);

    store::DataMd3& m_dm3;
    store::DataMod& m_dm;
    std::unique_ptr<web::ExplorationTables> m_tables;
    ExplorationTabs* m_explorationTabs = nullptr;
    FileListTab* m_fileListTab = nullptr;
    DatabaseTab* m_database = nullptr;
    PictureSaving* m_saving = nullptr;
    MultiFill* m_multiFill = nullptr;
    bool m_closing = false;
    // A registration run: its total, whether "中止" was pressed, and the
    // filter that lets only "中止" take input meanwhile.
    bool m_longRun = false;
    bool m_longRunStopped = false;
    int m_longRunTotal = 0;
    std::unique_ptr<QObject> m_stopOnlyInput;
    std::unique_ptr<web::Crawler> m_crawler;
    Windows* m_windows = nullptr;
    bool m_targetWWW = false;
    int m_stopIcon = 9;
    QString m_helpFile;
};

} // namespace app
