#pragma once

// The Web exploration: the start and end of a run, the six download slots that
// fetch pages and pictures side by side, the taking apart of fetched pages,
// and the single fetch on the slot-0 component. Everything runs on the
// user-interface thread, driven by commands, one-shot timer ticks and the
// retrieval components' events.

#include "web/ExplorationTables.h"
#include "web/PoliteHosts.h"
#include "web/RobotsFetcher.h"
#include "web/RunLog.h"
#include "web/TextUtils.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <memory>

class QTimer;
class TTimer;

namespace store {
class LongWalk;
} // namespace store

namespace web {

class ExplorationTables;
class THTTP;
struct DocOutput;

// The options of a run, read from the settings dialog at the moment of use.
struct CrawlSettings {
    QString maxUrl = QStringLiteral("100");
    QString maxImage = QStringLiteral("20");
    QString uchikiri = QStringLiteral("20");
    QString linkMax = QStringLiteral("3");
    bool followExternal = true;
    bool fileSave = true;
    bool dbSave = false;
    QString saveDirectory;
    int speed = 4;       // slots that may run, 1 to 6
    int kekkaWWW = 0;    // 0 accumulate, 1 clear the tables at each start
    PictureTypes types;
    bool robots = true;   // robots.txt obeyed
    int hostIntervalMs = 0; // least time between two fetches from one site
};

// What the exploration needs from the main window.
class CrawlHost : public RunLog {
public:
    virtual CrawlSettings crawlSettings() = 0;
    virtual bool targetIsWWW() = 0;
    virtual QString urlBoxText() = 0;
    virtual QString directoryBoxText() = 0;
    virtual bool databaseChosen() = 0;
    virtual void message(const QString& text) = 0;      // a modal message box
    virtual void reportError(const QString& text) = 0;  // the general error report
    virtual void setStatus(int panel, const QString& text) = 0;     // STB
    virtual void setSlotStatus(int panel, const QString& text) = 0; // STA
    virtual void setBusy(bool busy) = 0;                // stop icon 8 and the clip / icon 9
    virtual void setStopIcon(int index) = 0;
    virtual void clearStatusAndLogs() = 0;
    virtual void clearAllResults() = 0;                 // 全消去
    virtual void setSlotAddress(int slot, const QString& address) = 0; // EditHttpURL, EditHttp1..6
    virtual void setPageSource(const QString& text) = 0; // MemoSrc
    virtual void showCounts() = 0;
    virtual void showFileListTab() = 0;
    virtual void selectTargetWWW() = 0;
    virtual void showPictureSettings() = 0;            // the settings dialog on "画像設定"
    virtual void runDiskScan() = 0;
    // A received picture, written into the slot's target path, goes to
    // acceptance; AcceptError stops the slot.
    virtual void acceptPicture(int slot) = 0;
    // A run of the exploration or of the picture collection begins.
    virtual void runBegins() {}
    virtual void repaintWindow() = 0;
};

enum class SlotState { Idle = 0, Assigning = 1, Transferring = 2, Received = 3, NoData = 4, Finished = 5 };

struct DownloadSlot {
    SlotState state = SlotState::Idle;
    qint32 ticks = 0;
    qint32 linkNumber = 0;
    qint32 linkLevel = 0;
    QString host;
    QString url;
    QByteArray receivedText; // a page's text; a picture's bytes stay in its file
    qint64 receivedBytes = 0;
    QString targetPath;
    bool free = true;
    bool picture = false;
    // The transfer ended with 429 or 503 and a Retry-After: the link goes
    // back to the queue instead of ending at Mode 2.
    bool retry = false;
    // No link was due: the slot waits for a site's pace or robots.txt.
    bool waiting = false;
    // A received page's links, recorded in slices of kRecordSliceMs; the
    // page is marked handled once the last of them is recorded.
    QList<FoundLink> foundLinks;
    qsizetype linksRecorded = 0;
    bool recordingLinks() const { return linksRecorded < foundLinks.size(); }
};

// The run counters and cursors; all start at 0.
struct RunState {
    qint32 pagesRecorded = 0;
    qint32 pictureLinksFound = 0;
    qint32 picturesReceived = 0;
    qint32 filesListed = 0;
    qint32 lastPageLinkNo = 0;
    qint32 lastImageLinkNo = 0;
    QString startHost;
    bool crawl = true;
    bool collect = false;
    QElapsedTimer clock; // monotonic: a run across midnight shows its true length
};

class Crawler : public QObject {
    Q_OBJECT
public:
    static constexpr int kTickMs = 300;
    // Bodies past these end their transfer as a failure.
    static constexpr qint64 kMaxPageBytes = 16 * 1024 * 1024;
    static constexpr qint64 kMaxPictureBytes = 64 * 1024 * 1024;
    // The page source shows at most this much of a page.
    static constexpr int kMaxPageSourceChars = 1024 * 1024;
    // Addresses that no slot can fetch, passed over in one tick at most.
    static constexpr int kMaxRefusedPerTick = 64;
    // The longest the links of a page are recorded at one go: a page of
    // thousands of links never holds up the event loop for long.
    static constexpr int kRecordSliceMs = 5;
    // The time bound of a slice; negative: the clock never ends one, as on a
    // machine too fast for it to matter (tests).
    void setRecordSliceMs(int ms) { m_recordSliceMs = ms; }
    // Ends a slice after this many links too (0: no count), so that a test
    // cuts a page into slices whatever the machine's speed.
    void setRecordSliceLinks(int links) { m_recordSliceLinks = qMax(0, links); }

    // timers: TimerTansaku first, then TimerF1..TimerF6; http: HTTP0..HTTP6.
    Crawler(CrawlHost& host, ExplorationTables& tables, RunState& run, TTimer* startTimer,
            const std::array<TTimer*, 7>& slotTimers, const std::array<THTTP*, 7>& http, QObject* parent = nullptr);
    ~Crawler() override;

    RunState& run() { return m_run; }
    const DownloadSlot& slot(int n) const { return m_slots.at(size_t(n)); }

    // Commands
    void BtTansakuClick();
    void BtStopClick();
    void BtSelectClick();
    // The page of the URL box fetched on HTTP0 (the Web display through a proxy).
    void FetchPageOnSlot0(const QString& address);
    // One picture fetched on HTTP0 into the save directory as "0000" with the
    // address's extension, for display (singlePictureArrived).
    void FetchSingleImage(const QString& address);
    // The single fetch is over: its run ends, unless an exploration runs.
    void EndSingleFetch();
    // Whether an exploration or collection is running.
    bool runActive() const;

    // Run operations
    void BeginRun();
    void EndRun();
    void TimerTansakuTimer();
    void StartWebExploration();
    bool CheckLimits();
    bool NextPageLink(int n);
    bool NextImageLink(int n);
    void ParseLinks(int n);
    // Records the next slice of the slot's found links (all of them when
    // all is true). True once none is left.
    bool RecordFoundLinks(int n, bool all = false);
    void AddPageLink(int n, const QByteArray& link);
    void AddImageLink(int n, const QByteArray& link);

    // Slots
    void StartNextSlot();
    void TimerFTimer(int n);
    bool SlotTick(int n);
    bool AssignNextUrl(int n);
    void StartTransfer(int n);
    void SlotDocOutput(int n, const DocOutput& output);
    void CutOffTransfer(int n);
    void MarkLinkOutcome(int n, qint32 mode);
    void CheckAllSlotsEnded();
    void StartImageCollection();

    // The file name of a downloaded picture: the link number with at least
    // four digits, then the address's extension ("." and what follows, when
    // no "\" or ":" comes after the last ".").
    static QString pictureFileName(qint32 number, const QString& address);
    // The same for an address whose extension names a picture kind; any
    // other address gets the number alone, and its kind's extension once its
    // bytes show what it is.
    static QString pictureFileName(qint32 number, const QString& address, const PictureTypes& types);
    // The directory joined with the name; a root ends with its separator.
    static QString targetPath(const QString& directory, const QString& fileName);
    // Whether a transfer running for the given ticks is past the time limit
    // (seconds in the text; a text that is not a number stands for 60).
    static bool pastTimeLimit(qint32 ticks, const QString& limitText);
    // http:// and https:// addresses are fetched; anything else is refused.
    static bool isWebAddress(const QString& address);
    // Where pictures are saved: the save directory, which must exist. The
    // message that refuses a run otherwise; empty when it may start.
    static QString saveDirectoryProblem(const CrawlSettings& s);

signals:
    // A page arrived on HTTP0 (page mode): its text is in the page source.
    void slot0PageArrived();
    // The single fetch's picture arrived whole in slot(0).targetPath.
    void singlePictureArrived();

private:
    void guarded(const std::function<void()>& work);
    // Ends the run on the store's failure, with its message.
    void failRun(const QString& message);
    // Stops the transfers in flight and gives their links back (Mode 0).
    void cancelTransfers();
    // One slice of the links of the page first in m_recording, then the
    // next slice on the next turn of the event loop: one slice per turn,
    // however many slots received a long page.
    void recordNextSlice();
    void queueNextSlice();
    // The received page is taken apart: marked handled, the slot free for
    // the next link.
    void finishPage(int n);
    // A run that stops keeps every link its pages gave: the rest of them
    // are recorded at once.
    void recordAllFoundLinks();
    // Starts the slot's ticks, or schedules its next one kTickMs after the
    // one before was due, as a repeating timer would.
    void armTick(int n, bool first);
    // Before a run: links a killed run left started are fetched again, and
    // the temporary files of its unfinished downloads go.
    void recoverInterruptedRun();
    // The pick's filter while a site may be held back (none otherwise):
    // links of sites not yet due are passed over.
    ExplorationTables::AddressFilter dueFilter(bool& passedOver);
    // A site's robots.txt arrived: its links may be picked.
    void robotsFetched(const QString& origin, const RobotsRules& rules, const QString& problem);
    void askForRobots();
    // The link just assigned to the slot, given its outcome without a transfer.
    void markAssignedLink(const DownloadSlot& slot, qint32 mode);
    // A waiting slot's next tick: when the first held-back site is due, at
    // most a tick from now.
    void armWaiting(int n);

    CrawlHost& m_host;
    ExplorationTables& m_tables;
    RunState& m_run;
    TTimer* m_startTimer;
    std::array<TTimer*, 7> m_timers;
    std::array<THTTP*, 7> m_http;
    std::array<DownloadSlot, 7> m_slots;
    std::unique_ptr<store::LongWalk> m_walk; // while a run goes on
    QList<int> m_recording; // slots whose page's links are being recorded, first come first
    bool m_sliceQueued = false;
    int m_recordSliceMs = kRecordSliceMs;
    int m_recordSliceLinks = 0;
    PoliteHosts m_polite;
    RobotsFetcher* m_robots = nullptr;
    bool m_waitingLinks = false; // the last pick passed over links of sites not yet due
    QElapsedTimer m_pace;               // the clock of the slots' ticks
    std::array<qint64, 7> m_tickDue{}; // when each slot's next tick is due, on m_pace
    // Slot 0's page fetch has the slots' time limit.
    QTimer* m_slot0Limit = nullptr;
    // The single fetch began its own run (no exploration was running).
    bool m_singleFetchOwnsRun = false;
    // The single fetch's body was no picture.
    bool m_singleFetchRefused = false;
};

} // namespace web
