#include "web/Crawler.h"

#include "controls/TTimer.h"
#include "store/DataMd3.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/TextToInt.h"
#include "web/Acceptance.h"
#include "web/ExplorationTables.h"
#include "web/THTTP.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QNetworkProxy>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

namespace web {

namespace {

QString str(const QByteArray& bytes)
{
    return QString::fromUtf8(bytes);
}

} // namespace

Crawler::Crawler(CrawlHost& host, ExplorationTables& tables, RunState& run, TTimer* startTimer,
                 const std::array<TTimer*, 7>& slotTimers, const std::array<THTTP*, 7>& http, QObject* parent)
    : QObject(parent)
    , m_host(host)
    , m_tables(tables)
    , m_run(run)
    , m_startTimer(startTimer)
    , m_timers(slotTimers)
    , m_http(http)
{
    connect(m_startTimer, &QTimer::timeout, this, [this] {
        try {
            TimerTansakuTimer();
        } catch (const store::StoreError& e) {
            failRun(e.message());
        }
    });
    for (int n = 1; n <= 6; ++n) {
        // A coarse timer may come up to 5 % late at every tick; the ticks
        // set the pace of the whole run.
        m_timers[n]->setTimerType(Qt::PreciseTimer);
        connect(m_timers[n], &QTimer::timeout, this, [this, n] { TimerFTimer(n); });
        connect(m_http[n], &THTTP::docOutput, this,
                [this, n](THTTP*, const DocOutput& output) { SlotDocOutput(n, output); });
    }
    connect(m_http[0], &THTTP::docOutput, this,
            [this](THTTP*, const DocOutput& output) { SlotDocOutput(0, output); });
    m_pace.start();
    m_robots = new RobotsFetcher(this);
    connect(m_robots, &RobotsFetcher::fetched, this,
            [this](const QString& origin, const RobotsRules& rules, const QString& problem) {
                guarded([&] { robotsFetched(origin, rules, problem); });
            });
    m_slot0Limit = new QTimer(this);
    m_slot0Limit->setSingleShot(true);
    connect(m_slot0Limit, &QTimer::timeout, this, [this] {
        THTTP* http = m_http[0];
        if (!http->busy())
            return;
        const QString address = http->url();
        http->cancel();
        m_host.LogError(QStringLiteral("打ち切り(URL) : ") + address);
        EndRun();
    });
}

Crawler::~Crawler() = default;

void Crawler::guarded(const std::function<void()>& work)
{
    try {
        work();
    } catch (const store::StoreError& e) {
        m_host.reportError(e.message());
    }
}

QString Crawler::saveDirectoryProblem(const CrawlSettings& s)
{
    if (!s.fileSave && !s.dbSave)
        return {};
    if (s.saveDirectory.trimmed().isEmpty())
        return QStringLiteral("画像の保存ディレクトリを指定してください");
    if (!QFileInfo(s.saveDirectory).isDir())
        return QStringLiteral("画像の保存ディレクトリがありません : ") + s.saveDirectory;
    return {};
}

void Crawler::recoverInterruptedRun()
{
    const qint32 lowest = m_tables.ReturnStartedLinks();
    if (lowest > 0)
        m_run.lastPageLinkNo = std::min(m_run.lastPageLinkNo, lowest - 1);
    const CrawlSettings s = m_host.crawlSettings();
    if (s.saveDirectory.isEmpty())
        return;
    QDir dir(s.saveDirectory);
    const QStringList partial = dir.entryList({THTTP::partialFilePrefix() + QStringLiteral("*.part")},
                                              QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : partial)
        QFile::remove(dir.filePath(name));
}

void Crawler::cancelTransfers()
{
    for (int n = 1; n <= 6; ++n) {
        DownloadSlot& slot = m_slots[size_t(n)];
        THTTP* http = m_http[n];
        if (!http->busy())
            continue;
        const QString address = http->url();
        const QString host = http->remoteHost();
        http->cancel();
        slot.state = SlotState::Idle;
        if (slot.picture) {
            m_tables.WriteImageLinkRecord(host, address, 0, WriteOp::Update);
        } else {
            m_tables.WriteLinkRecord(host, address, slot.linkLevel, 0, WriteOp::Update);
            m_run.lastPageLinkNo = std::min(m_run.lastPageLinkNo, slot.linkNumber - 1);
        }
    }
}

// --- Start, stop and end of a run ------------------------------------------------

void Crawler::BtTansakuClick()
{
    if (m_host.targetIsWWW()) {
        if (m_host.urlBoxText().isEmpty()) {
            m_host.message(QStringLiteral("対象ＵＲＬを指定してください"));
            return;
        }
        if (m_host.crawlSettings().dbSave && !m_host.databaseChosen()) {
            m_host.message(QStringLiteral("DB名称を指定してください"));
            return;
        }
        if (const QString problem = saveDirectoryProblem(m_host.crawlSettings()); !problem.isEmpty()) {
            m_host.message(problem);
            return;
        }
    } else {
        if (m_host.directoryBoxText().isEmpty()) {
            m_host.message(QStringLiteral("対象ディレクトリを指定してください"));
            return;
        }
        m_host.showFileListTab();
    }
    BeginRun();
    m_run.crawl = true;
    m_startTimer->setIntervalMs(10);
}

void Crawler::BeginRun()
{
    m_host.clearStatusAndLogs();
    m_host.runBegins();
    m_run.clock.start();
    // What sites asked of an earlier run is asked again.
    const CrawlSettings s = m_host.crawlSettings();
    m_polite.reset({s.robots, std::max(0, s.hostIntervalMs)});
    m_robots->cancelAll();
    const THTTP& http = *m_http[1];
    m_robots->setProxy(http.proxyUse() ? QNetworkProxy(QNetworkProxy::HttpProxy, http.proxyHost(),
                                                       quint16(std::clamp(http.proxyPort(), 0, 65535)))
                                       : QNetworkProxy(QNetworkProxy::NoProxy));
    bool limitOk = false;
    const qint32 limit = store::toInteger(s.uchikiri, &limitOk);
    m_robots->setTimeoutMs(limitOk && limit > 0 ? int(std::min<qint64>(qint64(limit) * 1000, 600000)) : 60000);
    for (int n = 1; n <= 6; ++n)
        m_slots[size_t(n)].free = true;
    m_host.setBusy(true);
}

void Crawler::TimerTansakuTimer()
{
    m_startTimer->setIntervalMs(0);
    m_host.setStatus(0, QStringLiteral("探索開始..."));
    m_host.setStopIcon(8);
    if (m_host.targetIsWWW()) {
        StartWebExploration();
        return;
    }
    try {
        m_host.runDiskScan();
    } catch (const store::StoreError&) {
        // The scan ended on the store's failure: it did not complete.
        m_host.setBusy(false);
        m_host.setStatus(3, QStringLiteral("探索中止"));
        throw;
    }
    m_host.setBusy(false);
}

void Crawler::StartWebExploration()
{
    // A Web run commits at every page and picture: the log is copied into
    // the store file on a thread of its own, not in the middle of a commit.
    if (!m_walk)
        m_walk = std::make_unique<store::LongWalk>(m_tables.dm3().store());
    m_run.pagesRecorded = 0;
    m_run.filesListed = 0;
    m_run.picturesReceived = 0;
    m_run.lastImageLinkNo = 0;
    if (m_host.crawlSettings().kekkaWWW != 0 && !m_run.collect)
        m_host.clearAllResults();
    recoverInterruptedRun();
    const QString address = m_host.urlBoxText();
    m_run.startHost = str(HostOf(address.toUtf8()));
    m_host.setSlotAddress(0, address);
    if (!m_run.collect)
        m_tables.SetStartHost(m_run.startHost);
    m_tables.WriteLinkRecord(QString(), address, 0, 0, WriteOp::Insert);
    StartNextSlot();
}

void Crawler::EndRun()
{
    m_robots->cancelAll();
    m_walk.reset();
    m_host.setBusy(false);
    m_host.setStatus(0, QStringLiteral("探索終了"));
    m_run.crawl = true;
    m_run.collect = false;
    const qint64 elapsed = m_run.clock.isValid() ? m_run.clock.elapsed() / 1000 : 0;
    m_host.setStatus(5, QString::number(elapsed) + QStringLiteral(" 秒"));
}

void Crawler::failRun(const QString& message)
{
    // The store failing (a full disk, a damaged file) ends the whole run:
    // going on would only record more failures.
    BtStopClick();
    m_host.reportError(message);
}

void Crawler::BtStopClick()
{
    for (int n = 1; n <= 6; ++n)
        m_timers[n]->setIntervalMs(0);
    // The transfers in flight stop too, and their links wait to be fetched again.
    try {
        recordAllFoundLinks();
        cancelTransfers();
    } catch (const store::StoreError&) {
        // A failing store: the next run returns the links instead.
    }
    EndRun();
    m_host.setStatus(0, QStringLiteral("探索中止"));
}

bool Crawler::CheckLimits()
{
    const CrawlSettings s = m_host.crawlSettings();
    if (m_run.pagesRecorded >= store::toIntegerOr(s.maxUrl, -1)) {
        m_host.setStatus(0, QStringLiteral("URL Max : ") + s.maxUrl);
        return false;
    }
    const qint32 images = store::toIntegerOr(s.maxImage, -1);
    if (m_run.filesListed >= images || m_run.picturesReceived >= images) {
        m_host.setStatus(3, QStringLiteral("Image Max : ") + s.maxImage);
        m_host.LogNormal(QString::number(m_run.filesListed) + QLatin1Char(' ') + QString::number(m_run.picturesReceived));
        return false;
    }
    return true;
}

// --- Choosing work ------------------------------------------------------------

bool Crawler::NextPageLink(int n)
{
    store::Table& scan = *m_tables.dm3().TaLink3;
    if (!scan.isOpen())
        scan.open();
    scan.setIndexName(QString());
    const CrawlSettings s = m_host.crawlSettings();
    bool passedOver = false;
    const QVariant found = m_tables.NextPageLinkNumber(m_run.lastPageLinkNo + 1, s.followExternal,
                                                       store::toIntegerOr(s.linkMax, 1), dueFilter(passedOver));
    if (found.isNull() || !scan.findKey({found}))
        return false;
    const qint32 distance = scan.fieldByName(QStringLiteral("Link")).asInteger();
    const QString host = scan.fieldByName(QStringLiteral("Host")).asString();
    const QString address = scan.fieldByName(QStringLiteral("URL")).asString();
    const qint32 number = scan.fieldByName(QStringLiteral("No")).asInteger();
    m_tables.WriteLinkRecord(host, address, distance, 1, WriteOp::Update);
    DownloadSlot& slot = m_slots[size_t(n)];
    slot.linkNumber = number;
    // Links passed over come before it: the next pick starts where it did.
    if (!passedOver)
        m_run.lastPageLinkNo = number;
    m_host.LogNormal(QStringLiteral("Found : ") + address);
    m_host.setStatus(4, address);
    slot.host = distance != 0 ? host : m_run.startHost;
    slot.url = address;
    slot.linkLevel = distance;
    return true;
}

bool Crawler::NextImageLink(int n)
{
    store::Table& scan = *m_tables.dm3().TaLinkImg3;
    if (!scan.isOpen())
        scan.open();
    scan.setIndexName(QString());
    bool passedOver = false;
    const QVariant found = m_tables.NextImageLinkNumber(m_run.collect, dueFilter(passedOver));
    if (found.isNull() || !scan.findKey({found}))
        return false;
    const QString address = scan.fieldByName(QStringLiteral("URL")).asString();
    const qint32 number = scan.fieldByName(QStringLiteral("No")).asInteger();
    m_tables.WriteImageLinkRecord(scan.fieldByName(QStringLiteral("Host")).asString(), address, 1, WriteOp::Update);
    m_host.setSlotAddress(n, address);
    DownloadSlot& slot = m_slots[size_t(n)];
    slot.linkNumber = number;
    m_run.lastImageLinkNo = number;
    slot.host = str(HostOf(address.toUtf8()));
    slot.url = address;
    m_host.setStatus(4, address);
    return true;
}

// --- Taking a page apart --------------------------------------------------------

void Crawler::ParseLinks(int n)
{
    DownloadSlot& slot = m_slots[size_t(n)];
    if (slot.receivedText.isEmpty()) {
        m_host.LogNormal(QStringLiteral("HTML ソース無し ") + QString::number(n));
        m_host.setStatus(0, QStringLiteral("HTML ソース無し"));
        return;
    }
    if (slot.host.isEmpty() || slot.url.isEmpty()) {
        m_host.LogError(QStringLiteral("Error grHost or grURL"));
        return;
    }
    const PictureTypes types = m_host.crawlSettings().types;
    slot.foundLinks = ExtractLinks(slot.receivedText, types);
    if (types.markup) {
        const QByteArray page = slot.url.toUtf8();
        for (FoundLink& link : slot.foundLinks)
            link.link = WithPageScheme(link.link, page);
    }
    slot.linksRecorded = 0;
    if (!slot.recordingLinks())
        return;
    m_recording.append(n);
    // A short page is done within its tick; a long one goes on in slices.
    if (m_recording.first() == n && RecordFoundLinks(n))
        m_recording.removeFirst();
    else
        queueNextSlice();
}

bool Crawler::RecordFoundLinks(int n, bool all)
{
    DownloadSlot& slot = m_slots[size_t(n)];
    QElapsedTimer slice;
    slice.start();
    const qsizetype sliceStart = slot.linksRecorded;
    const qsizetype sliceEnd = all || m_recordSliceLinks == 0 ? slot.foundLinks.size()
                                                              : sliceStart + m_recordSliceLinks;
    const int sliceMs = all ? -1 : m_recordSliceMs;
    try {
        ExplorationTables::Recording recording(m_tables);
        while (slot.linksRecorded < sliceEnd && slot.recordingLinks()
               && (sliceMs < 0 || !slice.hasExpired(sliceMs))) {
            const FoundLink& link = slot.foundLinks.at(slot.linksRecorded);
            if (link.picture)
                AddImageLink(n, link.link);
            else
                AddPageLink(n, link.link);
            ++slot.linksRecorded;
        }
        recording.commit();
    } catch (const store::StoreError&) {
        slot.linksRecorded = sliceStart; // none of the slice was kept
        throw;
    }
    if (slot.recordingLinks())
        return false;
    slot.foundLinks.clear();
    slot.linksRecorded = 0;
    return true;
}

void Crawler::queueNextSlice()
{
    if (m_sliceQueued || m_recording.isEmpty())
        return;
    m_sliceQueued = true;
    QTimer::singleShot(0, this, [this] { recordNextSlice(); });
}

void Crawler::recordNextSlice()
{
    m_sliceQueued = false;
    if (m_recording.isEmpty())
        return;
    const int n = m_recording.first();
    try {
        if (RecordFoundLinks(n)) {
            m_recording.removeFirst();
            finishPage(n);
        }
    } catch (const store::StoreError& e) {
        failRun(e.message());
        return;
    }
    queueNextSlice();
}

void Crawler::finishPage(int n)
{
    MarkLinkOutcome(n, 3);
    m_slots[size_t(n)].state = SlotState::Idle;
}

void Crawler::recordAllFoundLinks()
{
    try {
        while (!m_recording.isEmpty()) {
            const int n = m_recording.first();
            RecordFoundLinks(n, true);
            m_recording.removeFirst();
            finishPage(n);
        }
    } catch (const store::StoreError&) {
        // The store fails: the pages stay at Mode 1, and the next run
        // fetches them again.
        for (int n : std::as_const(m_recording)) {
            m_slots[size_t(n)].foundLinks.clear();
            m_slots[size_t(n)].linksRecorded = 0;
        }
        m_recording.clear();
        throw;
    }
}

void Crawler::AddPageLink(int n, const QByteArray& link)
{
    if (!IsFollowablePage(link))
        return;
    const DownloadSlot& slot = m_slots[size_t(n)];
    const QByteArray address = MakeAbsoluteURL({slot.host.toUtf8(), slot.url.toUtf8()}, link);
    const QString host = str(HostOf(address));
    if (host.isEmpty())
        m_host.LogError(QStringLiteral("Error newHost ") + str(link));
    qint32 distance = slot.linkLevel;
    m_tables.EnterHost(host, distance);
    if (m_tables.WriteLinkRecord(host, str(address), distance, 0, WriteOp::Insert)) {
        m_run.pagesRecorded += 1;
        m_host.setStatus(1, QStringLiteral("リンク : %1件").arg(m_run.pagesRecorded));
    }
}

void Crawler::AddImageLink(int n, const QByteArray& link)
{
    const DownloadSlot& slot = m_slots[size_t(n)];
    const QByteArray address = MakeAbsoluteURL({slot.host.toUtf8(), slot.url.toUtf8()}, link);
    if (m_tables.WriteImageLinkRecord(slot.host, str(address), 0, WriteOp::Insert)) {
        m_run.pictureLinksFound += 1;
        m_host.showCounts();
    }
}

// --- Slots --------------------------------------------------------------------------

void Crawler::StartNextSlot()
{
    const int allowed = std::clamp(m_host.crawlSettings().speed, 1, 6);
    for (int i = 1; i <= allowed; ++i) {
        DownloadSlot& slot = m_slots[size_t(i)];
        if (!slot.free)
            continue;
        slot.state = SlotState::Idle;
        slot.ticks = 0;
        slot.free = false;
        armTick(i, true);
        m_host.setSlotStatus(i, QStringLiteral("START"));
        m_host.LogError(QStringLiteral("Timer Start.... (%1)").arg(i));
        return;
    }
    m_host.setSlotStatus(0, QStringLiteral("No More Timer"));
}

ExplorationTables::AddressFilter Crawler::dueFilter(bool& passedOver)
{
    if (!m_polite.holdsBack())
        return {};
    const qint64 now = m_pace.elapsed();
    return [this, now, &passedOver](const QString& address) {
        if (m_polite.gate(address, now) != PoliteHosts::Gate::Wait)
            return true;
        passedOver = true;
        m_waitingLinks = true;
        return false;
    };
}

void Crawler::askForRobots()
{
    for (const QString& origin : m_polite.takeRobotsRequests())
        m_robots->fetch(origin);
}

void Crawler::robotsFetched(const QString& origin, const RobotsRules& rules, const QString& problem)
{
    m_polite.setRobots(origin, rules);
    if (!problem.isEmpty())
        m_host.LogError(QStringLiteral("robots.txt を読めないため、このサイトは探索しません : %1 (%2)").arg(origin, problem));
    // The slots waiting for it look again now.
    for (int n = 1; n <= 6; ++n) {
        if (m_slots[size_t(n)].waiting && m_timers[n]->intervalMs() != 0) {
            m_tickDue[size_t(n)] = m_pace.elapsed();
            m_timers[n]->setIntervalMs(1);
        }
    }
}

void Crawler::armWaiting(int n)
{
    const qint64 now = m_pace.elapsed();
    qint64 at = now + kTickMs;
    if (const std::optional<qint64> due = m_polite.nextDueMs(now))
        at = std::clamp(*due, now + 1, at);
    m_tickDue[size_t(n)] = at;
    m_timers[n]->setIntervalMs(int(at - now));
}

void Crawler::armTick(int n, bool first)
{
    const qint64 now = m_pace.elapsed();
    qint64& due = m_tickDue[size_t(n)];
    // A tick that came late, or whose work took long, is followed by a
    // shorter wait, so that the ticks keep their pace; one that fell a
    // whole tick behind starts the pace again from now.
    due = first ? now + kTickMs : due + kTickMs;
    if (due <= now)
        due = now + kTickMs;
    m_timers[n]->setIntervalMs(int(due - now));
}

void Crawler::TimerFTimer(int n)
{
    m_timers[n]->setIntervalMs(0);
    bool again = false;
    try {
        again = SlotTick(n);
    } catch (const store::StoreError& e) {
        m_slots[size_t(n)].free = true;
        failRun(e.message());
        return;
    } catch (const AcceptError& e) {
        // A picture that cannot be judged stops its slot only.
        m_host.reportError(e.message());
        m_slots[size_t(n)].state = SlotState::Finished;
        m_host.setSlotStatus(n, QStringLiteral("----"));
        m_slots[size_t(n)].free = true;
        CheckAllSlotsEnded();
        return;
    }
    if (again) {
        if (m_slots[size_t(n)].waiting)
            armWaiting(n);
        else
            armTick(n, false);
        return;
    }
    m_host.setSlotStatus(n, QStringLiteral("----"));
    m_slots[size_t(n)].free = true;
    CheckAllSlotsEnded();
}

bool Crawler::pastTimeLimit(qint32 ticks, const QString& limitText)
{
    bool ok = false;
    qint32 limit = store::toInteger(limitText, &ok);
    if (!ok)
        limit = 60;
    return limit < qint64(ticks) * kTickMs / 1000;
}

bool Crawler::SlotTick(int n)
{
    DownloadSlot& slot = m_slots[size_t(n)];
    switch (slot.state) {
    case SlotState::Idle:
        if (!CheckLimits()) {
            slot.state = SlotState::Finished;
            return true;
        }
        slot.state = SlotState::Assigning;
        slot.ticks = 0;
        if (!AssignNextUrl(n))
            slot.state = SlotState::Finished;
        return true;
    case SlotState::Assigning:
        return true;
    case SlotState::Transferring:
        slot.ticks += 1;
        if (pastTimeLimit(slot.ticks, m_host.crawlSettings().uchikiri)) {
            CutOffTransfer(n);
            slot.state = SlotState::Idle;
            slot.ticks = 0;
        }
        return true;
    case SlotState::Received:
        if (slot.recordingLinks())
            return true; // its page's links are still being recorded between turns
        m_host.LogNormal(QStringLiteral("転送完了 (%1)").arg(n));
        if (slot.picture)
            m_host.acceptPicture(n);
        else
            ParseLinks(n);
        if (!slot.recordingLinks())
            finishPage(n);
        return true;
    case SlotState::NoData:
        slot.state = SlotState::Idle;
        if (std::exchange(slot.retry, false)) {
            // Back to the queue; the site is not due before its Retry-After.
            MarkLinkOutcome(n, 0);
            if (!slot.picture)
                m_run.lastPageLinkNo = std::min(m_run.lastPageLinkNo, slot.linkNumber - 1);
            return true;
        }
        MarkLinkOutcome(n, 2);
        return true;
    case SlotState::Finished:
        return false;
    }
    return false;
}

QString Crawler::pictureFileName(qint32 number, const QString& address)
{
    QString name = QString::asprintf("%4.4d", number);
    const qsizetype dot = address.lastIndexOf(QLatin1Char('.'));
    const qsizetype stop = std::max(address.lastIndexOf(QLatin1Char('\\')), address.lastIndexOf(QLatin1Char(':')));
    if (dot >= 0 && dot > stop)
        name += address.mid(dot);
    return name;
}

QString Crawler::pictureFileName(qint32 number, const QString& address, const PictureTypes& types)
{
    const QString name = pictureFileName(number, address);
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0 && viewing::kindOfExtension(QStringView(name).mid(dot), types.markup) != viewing::PictureKind::None)
        return name;
    return QString::asprintf("%4.4d", number);
}

QString Crawler::targetPath(const QString& directory, const QString& fileName)
{
    // A root ("/", or a drive root such as "C:\") already ends with its separator.
    if (directory.endsWith(QLatin1Char('/')) || directory.endsWith(QLatin1Char('\\')))
        return directory + fileName;
    return directory + QLatin1Char('/') + fileName;
}

bool Crawler::isWebAddress(const QString& address)
{
    return address.startsWith(QLatin1String("http://")) || address.startsWith(QLatin1String("https://"));
}

bool Crawler::AssignNextUrl(int n)
{
    DownloadSlot& slot = m_slots[size_t(n)];
    const CrawlSettings s = m_host.crawlSettings();
    slot.waiting = false;
    for (int refused = 0; refused < kMaxRefusedPerTick; ++refused) {
        bool found = false;
        m_waitingLinks = false;
        if (s.fileSave || s.dbSave) {
            found = NextImageLink(n);
            if (found)
                slot.picture = true;
        }
        if (!found && m_run.crawl) {
            found = NextPageLink(n);
            if (found)
                slot.picture = false;
        }
        askForRobots();
        if (!found) {
            // Links of sites not yet due: the slot waits for them.
            slot.waiting = m_waitingLinks;
            slot.state = slot.waiting ? SlotState::Idle : SlotState::Finished;
            return true;
        }
        if (!isWebAddress(slot.url)) {
            // No slot can fetch it: an error, and the slot takes the next link.
            m_host.LogError(QStringLiteral("Irigal URL : ") + slot.url);
            markAssignedLink(slot, 2);
            continue;
        }
        if (m_polite.holdsBack() && m_polite.gate(slot.url, m_pace.elapsed()) == PoliteHosts::Gate::Excluded) {
            // Handled: robots.txt keeps it out, as it will the next time.
            m_host.LogError(QStringLiteral("robots.txt により除外 ") + slot.url);
            markAssignedLink(slot, 5);
            continue;
        }
        m_polite.fetchStarted(slot.url, m_pace.elapsed());
        if (slot.picture) {
            slot.targetPath = targetPath(s.saveDirectory, pictureFileName(slot.linkNumber, slot.url, s.types));
            m_host.setSlotStatus(n, QStringLiteral("IMAGE"));
            m_host.LogError(QStringLiteral("Assign %1 %2").arg(n).arg(slot.targetPath));
        } else {
            m_host.setSlotStatus(n, QStringLiteral("TEXT"));
        }
        m_host.setSlotAddress(n, slot.url);
        StartTransfer(n);
        StartNextSlot();
        return true;
    }
    // Many refused addresses in a row: the next tick goes on with the rest.
    slot.state = SlotState::Idle;
    return true;
}

void Crawler::StartTransfer(int n)
{
    DownloadSlot& slot = m_slots[size_t(n)];
    slot.state = SlotState::Transferring;
    slot.ticks = 0;
    slot.receivedBytes = 0;
    THTTP* http = m_http[n];
    if (http->busy())
        http->cancel();
    http->setMaxBodySize(slot.picture ? kMaxPictureBytes : kMaxPageBytes);
    if (slot.picture) {
        http->setReplaceExisting(false);
        http->setDocOutputFileName(slot.targetPath);
        // Whatever the address says, the bytes tell what was received.
        const PictureTypes types = m_host.crawlSettings().types;
        http->setOutputCheck([types](const QByteArray& head, const QByteArray& contentType, const QString& fileName) {
            return judgeDownload(head, contentType, fileName, types);
        });
    }
    http->getDoc(slot.url);
}

void Crawler::SlotDocOutput(int n, const DocOutput& output)
{
    DownloadSlot& slot = m_slots[size_t(n)];
    m_host.setStatus(n == 0 ? 5 : 3, QString::asprintf("Bytes: %lld", static_cast<long long>(output.bytesTransferred)));
    switch (output.state) {
    case 1:
        slot.receivedText.clear();
        slot.receivedBytes = 0;
        m_host.setPageSource(QString());
        break;
    case 3:
        // A picture is written into its file; only a page's text is kept.
        if (!slot.picture)
            slot.receivedText.append(output.piece);
        slot.receivedBytes = output.bytesTransferred;
        break;
    case 5: {
        const bool whole = output.error.isEmpty() && output.bytesTransferred > 0;
        if (!output.error.isEmpty())
            m_host.LogError(QStringLiteral("転送失敗 (%1) %2 : %3").arg(n).arg(m_http[n]->url(), output.error));
        if (n == 0) {
            m_slot0Limit->stop();
            if (!whole) {
                m_host.LogNormal(QStringLiteral("  No Data"));
                if (slot.picture) {
                    EndSingleFetch();
                    if (std::exchange(m_singleFetchRefused, false))
                        m_host.reportError(QStringLiteral("画像を表示できません : ")
                                           + QDir::toNativeSeparators(slot.targetPath));
                } else {
                    EndRun();
                }
            } else if (slot.picture) {
                slot.targetPath = m_http[0]->savedFileName();
                emit singlePictureArrived();
            } else {
                QString text = QString::fromUtf8(slot.receivedText);
                text.truncate(kMaxPageSourceChars);
                text.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
                m_host.setPageSource(text);
                slot.host = m_http[0]->remoteHost();
                slot.url = m_http[0]->url();
                EndRun();
                emit slot0PageArrived();
            }
            break;
        }
        if (!whole) {
            m_host.LogNormal(QStringLiteral("  No Data"));
            slot.receivedText.clear();
            slot.state = SlotState::NoData;
            const int status = m_http[n]->statusCode();
            if (status == 429 || status == 503) {
                const std::optional<int> wait = retryAfterMs(m_http[n]->retryAfter(), QDateTime::currentDateTimeUtc());
                if (wait && m_polite.retryLater(slot.url, m_pace.elapsed() + *wait)) {
                    slot.retry = true;
                    m_host.LogError(QStringLiteral("再取得待ち (Retry-After %1 秒) ").arg((*wait + 999) / 1000) + slot.url);
                }
            }
            return;
        }
        if (slot.picture) {
            // The name the picture took: a file already there keeps its own.
            slot.targetPath = m_http[n]->savedFileName();
            m_run.picturesReceived += 1;
        }
        slot.state = SlotState::Received;
        break;
    }
    default:
        break;
    }
    m_host.repaintWindow();
}

void Crawler::CutOffTransfer(int n)
{
    const DownloadSlot& slot = m_slots[size_t(n)];
    THTTP* http = m_http[n];
    const QString address = http->url();
    const QString host = http->remoteHost();
    if (slot.picture)
        m_tables.WriteImageLinkRecord(host, address, 2, WriteOp::Update);
    else
        m_tables.WriteLinkRecord(host, address, slot.linkLevel, 2, WriteOp::Update);
    http->cancel();
    m_host.LogError(QStringLiteral("打ち切り(URL) : ") + address);
}

void Crawler::markAssignedLink(const DownloadSlot& slot, qint32 mode)
{
    if (slot.picture)
        m_tables.WriteImageLinkRecord(slot.host, slot.url, mode, WriteOp::Update);
    else
        m_tables.WriteLinkRecord(slot.host, slot.url, slot.linkLevel, mode, WriteOp::Update);
}

void Crawler::MarkLinkOutcome(int n, qint32 mode)
{
    const DownloadSlot& slot = m_slots[size_t(n)];
    THTTP* http = m_http[n];
    if (slot.picture)
        m_tables.WriteImageLinkRecord(http->remoteHost(), http->url(), mode, WriteOp::Update);
    else
        m_tables.WriteLinkRecord(http->remoteHost(), http->url(), slot.linkLevel, mode, WriteOp::Update);
}

void Crawler::CheckAllSlotsEnded()
{
    for (int n = 1; n <= 6; ++n) {
        if (m_timers[n]->intervalMs() != 0 || m_http[n]->transferState() != 0)
            return;
    }
    m_host.setStatus(0, QStringLiteral("All Timer End"));
    m_host.setStatus(5, QString::number(m_run.clock.isValid() ? m_run.clock.elapsed() / 1000 : 0)
                            + QStringLiteral(" 秒"));
    EndRun();
}

void Crawler::BtSelectClick()
{
    m_host.selectTargetWWW();
    guarded([this] { StartImageCollection(); });
}

void Crawler::StartImageCollection()
{
    if (m_tables.CountMarkedImageLinks() == 0) {
        m_host.message(QStringLiteral("ダウンロードしたい画像のＵＲＬに印をつけてください"));
        return;
    }
    const CrawlSettings s = m_host.crawlSettings();
    if (!s.dbSave && !s.fileSave) {
        m_host.message(QStringLiteral("画像を保存する設定（ファイル or ＤＢ）を指定してください"));
        m_host.showPictureSettings();
        return;
    }
    if (const QString problem = saveDirectoryProblem(s); !problem.isEmpty()) {
        m_host.message(problem);
        m_host.showPictureSettings();
        return;
    }
    m_run.collect = true;
    m_run.crawl = false;
    BeginRun();
    m_host.setStatus(0, QStringLiteral("画像収集開始.."));
    m_startTimer->setIntervalMs(10);
}

bool Crawler::runActive() const
{
    if (m_startTimer->intervalMs() != 0)
        return true;
    for (int n = 1; n <= 6; ++n) {
        if (m_timers[n]->intervalMs() != 0 || m_http[n]->busy())
            return true;
    }
    return false;
}

void Crawler::FetchSingleImage(const QString& address)
{
    if (address.right(4).toLower() != u".jpg") {
        m_host.message(QStringLiteral("画像リストの画像ファイルを選択してください"));
        return;
    }
    CrawlSettings s = m_host.crawlSettings();
    s.fileSave = true;
    if (const QString problem = saveDirectoryProblem(s); !problem.isEmpty()) {
        m_host.message(problem);
        return;
    }
    DownloadSlot& slot = m_slots[0];
    slot.picture = true;
    m_host.setSlotAddress(0, address);
    m_host.LogNormal(QStringLiteral("url :") + address);
    m_host.LogNormal(QStringLiteral("http:") + address);
    m_host.setStatus(0, address);
    slot.targetPath = targetPath(s.saveDirectory, QStringLiteral("0000") + address.right(4));
    // An exploration that is running keeps its slots, logs and kind of run.
    m_singleFetchOwnsRun = !runActive();
    if (m_singleFetchOwnsRun)
        BeginRun();
    slot.url = address;
    THTTP* http = m_http[0];
    if (http->busy())
        http->cancel();
    http->setMaxBodySize(kMaxPictureBytes);
    // The one file meant to be overwritten: each single fetch shows the latest.
    http->setReplaceExisting(true);
    http->setDocOutputFileName(slot.targetPath);
    // Any picture the viewer can show, under the one name; no other body
    // takes the place of the previous picture.
    m_singleFetchRefused = false;
    http->setOutputCheck([this](const QByteArray& head, const QByteArray& contentType, const QString& fileName) {
        PictureTypes any;
        any.gif = any.bmp = any.png = any.webp = any.avif = true;
        OutputVerdict verdict = judgeDownload(head, contentType, fileName, any);
        m_singleFetchRefused = !verdict.refusal.isEmpty();
        verdict.fileName = fileName;
        return verdict;
    });
    m_host.setStatus(0, QStringLiteral("イメージ転送中"));
    http->getDoc(address);
    m_host.setStatus(4, str(NormalizeURL(address.toUtf8())));
}

void Crawler::EndSingleFetch()
{
    if (m_singleFetchOwnsRun)
        EndRun();
    m_singleFetchOwnsRun = false;
}

void Crawler::FetchPageOnSlot0(const QString& address)
{
    DownloadSlot& slot = m_slots[0];
    slot.picture = false;
    m_host.setSlotAddress(0, address);
    if (address.isEmpty()) {
        m_host.LogNormal(QStringLiteral("EdtiHTTPURL ブランク"));
        return;
    }
    THTTP* http = m_http[0];
    if (http->busy())
        http->cancel();
    slot.url = address;
    m_run.clock.start();
    m_host.setBusy(true);
    http->setMaxBodySize(kMaxPageBytes);
    http->getDoc(address);
    bool ok = false;
    qint32 limit = store::toInteger(m_host.crawlSettings().uchikiri, &ok);
    if (!ok)
        limit = 60;
    m_slot0Limit->start(std::clamp(limit, 1, 24 * 3600) * 1000);
    m_host.setStatus(4, str(NormalizeURL(address.toUtf8())));
}

} // namespace web
