#include "disk/DiskScan.h"

#include "store/Store.h"
#include "store/Table.h"
#include "store/TableOps.h"

#include <QDate>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <cstring>
#include <limits>
#include <vector>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace disk {

namespace {

const QString kFullPath = QStringLiteral("フルパス名");
const QString kFileName = QStringLiteral("ファイル名");
const QString kSize = QStringLiteral("サイズ");
const QString kModified = QStringLiteral("作成日");
const QString kScanned = QStringLiteral("探索日");
const QString kMark = QStringLiteral("印");

#ifdef Q_OS_UNIX
// Whether the mode bits let this process read the file, as opening it for
// reading would (access control lists aside).
bool readableByUs(const struct stat& st)
{
    static const uid_t user = ::geteuid();
    if (user == 0)
        return true;
    if (st.st_uid == user)
        return st.st_mode & S_IRUSR;
    static const std::vector<gid_t> groups = [] {
        std::vector<gid_t> g(size_t(std::max(0, ::getgroups(0, nullptr))));
        g.resize(size_t(std::max(0, ::getgroups(int(g.size()), g.data()))));
        g.push_back(::getegid());
        return g;
    }();
    if (std::find(groups.begin(), groups.end(), st.st_gid) != groups.end())
        return st.st_mode & S_IRGRP;
    return st.st_mode & S_IROTH;
}

// An open directory listing, closed on every way out of a level.
class DirectoryListing {
public:
    explicit DirectoryListing(const QString& path) : m_dir(::opendir(QFile::encodeName(path).constData())) {}
    ~DirectoryListing()
    {
        if (m_dir)
            ::closedir(m_dir);
    }
    DirectoryListing(const DirectoryListing&) = delete;
    DirectoryListing& operator=(const DirectoryListing&) = delete;

    bool isOpen() const { return m_dir != nullptr; }
    int fd() const { return ::dirfd(m_dir); }
    const dirent* next() { return ::readdir(m_dir); }

private:
    DIR* m_dir;
};

// Whether the name's extension, from its last "." on and lower-cased, could
// be one of the wanted ones. Those are ASCII, and in UTF-8 no other
// character lower-cases to an ASCII letter of them, so the raw name can rule
// out most files before it is decoded.
bool mayMatch(const char* name, const QStringList& wanted)
{
    const char* dot = std::strrchr(name, '.');
    if (!dot)
        return false;
    const size_t n = std::strlen(dot);
    for (const QString& ext : wanted) {
        if (size_t(ext.size()) != n)
            continue;
        size_t i = 0;
        for (; i < n; ++i) {
            const char c = dot[i] >= 'A' && dot[i] <= 'Z' ? char(dot[i] - 'A' + 'a') : dot[i];
            if (ext[qsizetype(i)] != QLatin1Char(c))
                break;
        }
        if (i == n)
            return true;
    }
    return false;
}
#endif

// Marks the scan as running for its lifetime, also when it is left by an
// exception.
class RunningFlag {
public:
    explicit RunningFlag(bool& flag) : m_flag(flag) { m_flag = true; }
    ~RunningFlag() { m_flag = false; }

private:
    bool& m_flag;
};

} // namespace

DiskScan::DiskScan(store::Table& grid, ScanHost& host)
    : DiskScan(grid, host, m_ownPagesRecorded, m_ownFilesListed)
{
}

DiskScan::DiskScan(store::Table& grid, ScanHost& host, qint32& pagesRecorded, qint32& filesListed)
    : m_grid(grid)
    , m_writer(std::make_unique<store::Table>(grid.store(), grid.tableName()))
    , m_host(host)
    , m_pagesRecorded(pagesRecorded)
    , m_filesListed(filesListed)
{
}

DiskScan::~DiskScan() = default;

QString DiskScan::scanRoot(const QString& directoryBoxText)
{
    // Every key of the list is a full path, whatever the working directory.
    QString root = QFileInfo(directoryBoxText).isRelative() ? QDir::current().absoluteFilePath(directoryBoxText)
                                                           : directoryBoxText;
    if (!root.endsWith(QLatin1Char('/')))
        root += QLatin1Char('/');
    return root;
}

QString DiskScan::extensionOf(const QString& fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : fileName.mid(dot).toLower();
}

DiskScan::Measure DiskScan::measure(const QString& fullPath)
{
#ifdef Q_OS_UNIX
    return measureAt(AT_FDCWD, QFile::encodeName(fullPath).constData());
#else
    Measure m;
    if (!QFileInfo(fullPath).isFile())
        return m;
    QFile file(fullPath);
    if (!file.open(QIODevice::ReadOnly))
        return m;
    m.size = file.size();
    m.modified = file.fileTime(QFileDevice::FileModificationTime);
    m.ok = true;
    return m;
#endif
}

#ifdef Q_OS_UNIX
DiskScan::Measure DiskScan::measureAt(int directoryFd, const char* nativePath)
{
    Measure m;
    // One stat of the name in its open directory gives the size and the
    // time, and never opens the file: a read-only picture is measured like
    // any other, and a FIFO named like a picture does not wait for a writer.
    // A file we may not read is left out, as an open for reading would.
    struct stat st;
    if (::fstatat(directoryFd, nativePath, &st, 0) != 0 || !S_ISREG(st.st_mode) || !readableByUs(st))
        return m;
    m.size = st.st_size;
    m.modified = QDateTime::fromMSecsSinceEpoch(qint64(st.st_mtim.tv_sec) * 1000 + st.st_mtim.tv_nsec / 1000000);
    m.ok = true;
    return m;
}
#endif

bool DiskScan::AddFileListRow(const QString& root, const QString& path)
{
    const QString full = root + path;
    const Measure m = measure(full);
    const RowResult result = writeRow(full, m);
    if (m_running)
        return result == RowResult::Listed; // the grid is refreshed once the batch is committed
    if (result == RowResult::NotPosted) {
        // A new download under a path already listed: its one row tells
        // the new file's size and dates, not the old one's.
        store::Table& w = *m_writer;
        w.setIndexName(QString());
        if (w.findKey({full})) {
            w.edit();
            w.fieldByName(kSize).setAsInteger(qint32(qMin<qint64>(m.size, std::numeric_limits<qint32>::max())));
            w.fieldByName(kModified).setAsDateTime(m.modified);
            w.fieldByName(kScanned).setAsDate(QDate::currentDate());
            w.post();
        }
    }
    if (result != RowResult::Unmeasurable)
        refreshGrid();
    return result == RowResult::Listed;
}

#ifndef Q_OS_UNIX
DiskScan::RowResult DiskScan::addRow(const QString& root, const QString& path)
{
    const QString full = root + path;
    return writeRow(full, measure(full));
}
#endif

DiskScan::RowResult DiskScan::writeRow(const QString& full, const Measure& m)
{
    if (!m.ok)
        return RowResult::Unmeasurable;

    store::Table& w = *m_writer;
    try {
        if (!w.isOpen()) {
            m_fieldsKnown = false;
            w.open();
        }
        if (!m_fieldsKnown) {
            // Looked up once rather than by name for every row.
            m_fields = {w.fieldByName(kFullPath).index(), w.fieldByName(kFileName).index(),
                        w.fieldByName(kSize).index(),     w.fieldByName(kModified).index(),
                        w.fieldByName(kScanned).index(),  w.fieldByName(kMark).index()};
            m_fieldsKnown = true;
        }
        w.insert();
        w.field(m_fields.fullPath).setAsString(full);
        w.field(m_fields.fileName).setAsString(full.mid(full.lastIndexOf(QLatin1Char('/')) + 1));
        // The column holds 32 bits; a larger file shows the largest size it can.
        w.field(m_fields.size).setAsInteger(qint32(qMin<qint64>(m.size, std::numeric_limits<qint32>::max())));
        w.field(m_fields.modified).setAsDateTime(m.modified);
        w.field(m_fields.scanned).setAsDate(m_running ? m_today : QDate::currentDate());
        w.field(m_fields.mark).setAsString(QString());
        w.post();
    } catch (const store::StoreError& e) {
        w.cancel();
        // A path already listed is not listed again; any other refusal is
        // the store failing, which ends the scan.
        if (e.isDuplicate()) {
            if (m_running)
                m_host.fileSeen(full, m.size, m.modified);
            return RowResult::NotPosted;
        }
        throw;
    }
    ++m_filesListed;
    if (m_running)
        m_host.fileSeen(full, m.size, m.modified);
    return RowResult::Listed;
}

bool DiskScan::RunDiskScan(const QString& directoryBoxText, const ScanSettings& settings)
{
    // yield() runs the event loop, which could start another run; one walk at a time.
    if (m_running)
        return false;
    RunningFlag running(m_running);

    // Preparation.
    if (settings.kekka == 1) {
        m_filesListed = 0;
        if (settings.dbSave)
            store::EmptyTableNow(m_grid);
    }
    m_host.applyDisplayOrder();

    // The scan.
    m_root = scanRoot(directoryBoxText);
    m_pagesRecorded = 0;
    m_filesListed = 0;
    m_wanted = viewing::wantedExtensions(settings);

    // The rows are committed at every turn of the event loop; the log is
    // copied into the store file once, after the walk.
    store::LongWalk walk(m_grid.store());
    m_batch = std::make_unique<store::Batch>(m_grid.store());
    m_today = QDate::currentDate();
    m_sinceYield.start();
    m_entriesSinceYield = 0;
    m_directoriesVisited = 0;
    m_directoriesKnown = 1; // the root
    m_directoriesCounted = true;
    m_stopped = false;
    try {
#ifdef Q_OS_UNIX
        followWalk();
#else
        ScanDirectory(QString());
#endif
        m_batch->commit();
    } catch (...) {
        // Rows already written stay: commit what the batch holds, then let
        // the error go on to the general error report.
        try {
            if (m_batch)
                m_batch->commit();
            refreshGrid();
        } catch (...) {
        }
        m_batch.reset();
        throw;
    }
    m_batch.reset();
    refreshGrid();

    // The final status.
    if (m_pagesRecorded > 0) {
        m_host.showFileList();
        m_host.setStatus(0, QStringLiteral("検索完了 : %1 件").arg(m_pagesRecorded));
    } else {
        m_host.setStatus(0, QStringLiteral("検索該当なし"));
    }
    return true;
}

bool DiskScan::mayEnterDirectory()
{
    // Once stopped, the run stays stopped: the walk enters nothing more.
    m_stopped = m_stopped || m_host.stopRequested();
    if (m_stopped) {
        m_host.setStatus(3, QStringLiteral("探索中止"));
        return false;
    }
    return true;
}

void DiskScan::listFile(const QString& fullPath, RowResult result)
{
    if (result == RowResult::Unmeasurable) {
        // Gone since it was listed, unreadable, or not a regular file.
        m_host.logError(QStringLiteral("ファイルを開けません : ") + fullPath);
        return;
    }
    // A file listed before keeps its row as it is, and the level goes on:
    // a re-scan lists every picture added since. The count is of new rows.
    if (result == RowResult::Listed)
        ++m_pagesRecorded;
}

#ifdef Q_OS_UNIX
// Lists and measures the tree on a thread of its own, in the order the scan
// has always walked it: depth first, each directory's entries as the file
// system gives them, a subdirectory entered where it is met. What it meets
// goes to the scan's thread as events, in chunks through a bounded queue, so
// the reading of directories overlaps the writing of rows.
class DiskScan::Walker {
public:
    struct Event {
        enum Type : quint8 {
            Visit, // a directory opened (its level begins), or one that cannot be
            Pass,  // a hidden directory, counted but not entered
            Enter, // a subdirectory met: its level follows unless the run stops
            File,  // a wanted file
            Leave, // the level ends
        };
        Event(Type t, int entriesMet, qint64 subdirectoriesHeld = 0)
            : type(t)
            , entries(entriesMet)
            , subdirectories(subdirectoriesHeld)
        {
        }
        Type type;
        int entries;               // entries met since the previous event, its own included
        qint64 subdirectories;     // Visit: as directoryVisited takes it
        bool regular = false;       // File: a regular file (else not measured)
        QString fullPath;           // File
        Measure measure;            // File
    };
    enum class Take { Got, Waiting, Done };

    Walker(const QString& root, const QStringList& wanted)
        : m_root(root)
        , m_wanted(wanted)
    {
        m_thread = std::thread([this] {
            walk(QString());
            publish(true);
        });
    }
    ~Walker()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_abort = true;
        }
        m_space.notify_all();
        m_thread.join();
    }
    Walker(const Walker&) = delete;
    Walker& operator=(const Walker&) = delete;

    // From now on every level ends at its next subdirectory, as the scan's
    // own check would end it; the scan passes over what comes beyond.
    void stop() { m_stop.store(true, std::memory_order_relaxed); }

    // The next chunk of events into out; waits up to waitMs (forever when
    // negative) for one.
    Take take(std::vector<Event>& out, int waitMs)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        const auto ready = [this] { return !m_queue.empty() || m_finished; };
        if (!ready()) {
            // The walker hands over what it holds at its next event.
            m_waiting.store(true, std::memory_order_relaxed);
            if (waitMs < 0)
                m_ready.wait(lock, ready);
            else if (!m_ready.wait_for(lock, std::chrono::milliseconds(waitMs), ready))
                return Take::Waiting;
        }
        if (m_queue.empty())
            return Take::Done;
        out = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        m_space.notify_one();
        return Take::Got;
    }

private:
    static constexpr size_t kChunkEvents = 512;
    static constexpr size_t kQueuedChunks = 64;

    void put(Event&& e)
    {
        m_chunk.push_back(std::move(e));
        if (m_chunk.size() >= kChunkEvents || m_waiting.load(std::memory_order_relaxed))
            publish(false);
    }
    void publish(bool last)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_space.wait(lock, [this] { return m_queue.size() < kQueuedChunks || m_abort; });
        if (!m_chunk.empty() && !m_abort)
            m_queue.push_back(std::move(m_chunk));
        m_chunk = {};
        m_chunk.reserve(kChunkEvents);
        m_finished = last || m_abort;
        m_waiting.store(false, std::memory_order_relaxed);
        lock.unlock();
        m_ready.notify_one();
    }
    bool aborted()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_abort;
    }

    // One directory level, relativeDir being "" for the root or "a/b/".
    void walk(const QString& relativeDir)
    {
        // A directory that cannot be read yields no entries, which ends the
        // level. Files are measured relative to the open directory, which
        // spares a walk along the whole path for each of them.
        DirectoryListing listing(m_root + relativeDir);
        if (!listing.isOpen()) {
            put({Event::Visit, 0, 0}); // none of its subdirectories will be visited
            put({Event::Leave, 0});
            return;
        }
        const int dirFd = listing.fd();
        {
            // A directory's link count is 2 plus its subdirectories on most
            // file systems; one fstat per directory gives the progress a
            // total without a second walk. Fewer than 2: the count is not kept.
            struct stat self;
            put({Event::Visit, 0,
                  ::fstat(dirFd, &self) == 0 && self.st_nlink >= 2 ? qint64(self.st_nlink) - 2 : -1});
        }
        int entries = 0;
        while (const dirent* entry = listing.next()) {
            const char* raw = entry->d_name;
            if (raw[0] == '.' && (raw[1] == 0 || (raw[1] == '.' && raw[2] == 0)))
                continue;
            ++entries;

            unsigned char type = entry->d_type;
            struct stat st;
            if (type == DT_UNKNOWN && ::fstatat(dirFd, raw, &st, AT_SYMLINK_NOFOLLOW) == 0)
                type = IFTODT(st.st_mode);
            const bool linked = type == DT_LNK;
            bool isDir = type == DT_DIR;
            bool isFile = type == DT_REG;
            // A link counts as what it points to; a broken one as neither.
            if (linked && ::fstatat(dirFd, raw, &st, 0) == 0) {
                isDir = S_ISDIR(st.st_mode);
                isFile = S_ISREG(st.st_mode);
            }

            if (isDir) {
                // A linked directory is not entered: a link to an enclosing
                // directory would list the same files again and again.
                if (linked)
                    continue;
                if (raw[0] == '.') {
                    put({Event::Pass, std::exchange(entries, 0)}); // counted in the link count, never entered
                    continue;
                }
                put({Event::Enter, std::exchange(entries, 0)});
                if (m_stop.load(std::memory_order_relaxed) || aborted())
                    break;
                walk(relativeDir + QFile::decodeName(raw) + QLatin1Char('/'));
                continue;
            }

            if (!mayMatch(raw, m_wanted))
                continue;
            const QString name = QFile::decodeName(raw);
            const QString ext = extensionOf(name);
            if (ext.isEmpty() || !m_wanted.contains(ext))
                continue;
            // The entry's type comes with the directory listing; a pipe or a
            // device is not opened at all.
            Event e{Event::File, std::exchange(entries, 0)};
            e.regular = isFile;
            e.fullPath = m_root + relativeDir + name;
            if (isFile)
                e.measure = measureAt(dirFd, raw);
            put(std::move(e));
        }
        put({Event::Leave, entries});
    }

    const QString m_root;
    const QStringList m_wanted;
    std::thread m_thread;
    std::vector<Event> m_chunk;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_waiting{false};
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::condition_variable m_space;
    std::deque<std::vector<Event>> m_queue;
    bool m_finished = false;
    bool m_abort = false;
};

void DiskScan::followWalk()
{
    using Event = Walker::Event;
    Walker walker(m_root, m_wanted);
    std::vector<Event> chunk;
    int skipping = 0; // levels still open of those a stop ended
    for (;;) {
        // While the walker has nothing yet, the event loop still turns on time.
        const int wait = m_yieldMilliseconds < 0
            ? -1
            : int(qMax<qint64>(0, m_yieldMilliseconds - m_sinceYield.elapsed()));
        const Walker::Take taken = walker.take(chunk, wait);
        if (taken == Walker::Take::Done)
            return;
        if (taken == Walker::Take::Waiting) {
            yieldNow();
            continue;
        }
        for (Event& e : chunk) {
            if (skipping > 0) {
                if (e.type == Event::Visit)
                    ++skipping;
                else if (e.type == Event::Leave)
                    --skipping;
                continue;
            }
            for (int i = 0; i < e.entries; ++i)
                entrySeen();
            switch (e.type) {
            case Event::Visit:
                directoryVisited(e.subdirectories);
                break;
            case Event::Pass:
                directoryVisited(0);
                break;
            case Event::Enter:
                if (!mayEnterDirectory()) {
                    // The rest of this level is passed over, its subdirectory too.
                    walker.stop();
                    skipping = 1;
                }
                break;
            case Event::File:
                listFile(e.fullPath, e.regular ? writeRow(e.fullPath, e.measure) : RowResult::Unmeasurable);
                break;
            case Event::Leave:
                break;
            }
        }
    }
}
#else
void DiskScan::ScanDirectory(const QString& relativeDir)
{
    // Unsorted: entries come in the order the file system gives them. A
    // directory that cannot be read yields no entries, which ends the level.
    QDirIterator it(m_root + relativeDir, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    directoryVisited(-1); // no link counts here: the progress shows no total
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        const QString name = info.fileName();
        entrySeen();

        if (info.isDir()) {
            if (name.startsWith(QLatin1Char('.')))
                continue;
            // A linked directory is not entered: a link to an enclosing
            // directory would list the same files again and again.
            if (info.isSymLink())
                continue;
            if (!mayEnterDirectory())
                return;
            ScanDirectory(relativeDir + name + QLatin1Char('/'));
            continue;
        }

        const QString ext = extensionOf(name);
        if (ext.isEmpty() || !m_wanted.contains(ext))
            continue;
        // The entry's type comes with the directory listing; a pipe or a
        // device is not opened at all.
        const RowResult r = info.isFile() ? addRow(m_root, relativeDir + name) : RowResult::Unmeasurable;
        listFile(m_root + relativeDir + name, r);
    }
}
#endif

void DiskScan::refreshGrid()
{
    if (m_grid.isOpen())
        m_grid.refresh();
}

void DiskScan::entrySeen()
{
    if (++m_entriesSinceYield >= m_yieldEntries
        || (m_yieldMilliseconds >= 0 && m_sinceYield.hasExpired(m_yieldMilliseconds)))
        yieldNow();
}

void DiskScan::directoryVisited(qint64 subdirectories)
{
    ++m_directoriesVisited;
    if (subdirectories < 0)
        m_directoriesCounted = false;
    else if (m_directoriesCounted)
        m_directoriesKnown = qint32(qMin<qint64>(qint64(m_directoriesKnown) + subdirectories,
                                                 std::numeric_limits<qint32>::max()));
}

ScanProgress DiskScan::currentProgress() const
{
    ScanProgress p;
    p.directoriesVisited = m_directoriesVisited;
    // A total below what was visited is a link count that lied.
    if (m_directoriesCounted && m_directoriesKnown >= m_directoriesVisited)
        p.directoriesKnown = m_directoriesKnown;
    p.filesMatched = m_pagesRecorded;
    return p;
}

void DiskScan::yieldNow()
{
    // Committed first, so that the grid shows the rows while the loop runs;
    // the progress is told before the grid, so both agree when it repaints.
    m_batch->commit();
    m_batch.reset();
    m_host.progress(currentProgress());
    refreshGrid();
    m_host.yield();
    m_batch = std::make_unique<store::Batch>(m_grid.store());
    m_today = QDate::currentDate();
    m_entriesSinceYield = 0;
    m_sinceYield.start();
}

} // namespace disk
