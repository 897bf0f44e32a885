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

DiskScan::RowResult DiskScan::addRow(const QString& root, const QString& path)
{
    const QString full = root + path;
    return writeRow(full, measure(full));
}

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
    try {
        ScanDirectory(QString());
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

bool DiskScan::enterDirectory(const QString& relativeDir, const QString& name)
{
    if (m_host.stopRequested()) {
        m_host.setStatus(3, QStringLiteral("探索中止"));
        return false;
    }
    ScanDirectory(relativeDir + name + QLatin1Char('/'));
    return true;
}

void DiskScan::listFile(const QString& relativeDir, const QString& name, RowResult result)
{
    const QString path = relativeDir + name;
    if (result == RowResult::Unmeasurable) {
        // Gone since it was listed, unreadable, or not a regular file.
        m_host.logError(QStringLiteral("ファイルを開けません : ") + m_root + path);
        return;
    }
    // A file listed before keeps its row as it is, and the level goes on:
    // a re-scan lists every picture added since. The count is of new rows.
    if (result == RowResult::Listed)
        ++m_pagesRecorded;
}

#ifdef Q_OS_UNIX
void DiskScan::ScanDirectory(const QString& relativeDir)
{
    // Unsorted: entries come in the order the file system gives them. A
    // directory that cannot be read yields no entries, which ends the level.
    // Files are measured relative to the open directory, which spares a walk
    // along the whole path for each of them.
    DirectoryListing listing(m_root + relativeDir);
    if (!listing.isOpen()) {
        directoryVisited(0); // none of its subdirectories will be visited
        return;
    }
    const int dirFd = listing.fd();
    {
        // A directory's link count is 2 plus its subdirectories on most
        // file systems; one fstat per directory gives the progress a total
        // without a second walk. Fewer than 2 means the count is not kept.
        struct stat self;
        directoryVisited(::fstat(dirFd, &self) == 0 && self.st_nlink >= 2 ? qint64(self.st_nlink) - 2 : -1);
    }
    while (const dirent* entry = listing.next()) {
        const char* raw = entry->d_name;
        if (raw[0] == '.' && (raw[1] == 0 || (raw[1] == '.' && raw[2] == 0)))
            continue;
        entrySeen();

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
                directoryVisited(0); // counted in the link count, never entered
                continue;
            }
            if (!enterDirectory(relativeDir, QFile::decodeName(raw)))
                return;
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
        const RowResult r = isFile ? writeRow(m_root + relativeDir + name, measureAt(dirFd, raw))
                                   : RowResult::Unmeasurable;
        listFile(relativeDir, name, r);
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
            if (!enterDirectory(relativeDir, name))
                return;
            continue;
        }

        const QString ext = extensionOf(name);
        if (ext.isEmpty() || !m_wanted.contains(ext))
            continue;
        // The entry's type comes with the directory listing; a pipe or a
        // device is not opened at all.
        const RowResult r = info.isFile() ? addRow(m_root, relativeDir + name) : RowResult::Unmeasurable;
        listFile(relativeDir, name, r);
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
