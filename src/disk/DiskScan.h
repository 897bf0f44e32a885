#pragma once

// The hard-disk exploration: a depth-first walk from a start directory that
// lists every picture file of the wanted types in the file list _List.db.
// No widgets here; the main window supplies the stop check, the status panels
// and the event-loop turns through ScanHost.

#include "viewing/PictureKind.h"

#include <QDate>
#include <QDateTime>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <memory>

namespace store {
class Batch;
class Table;
} // namespace store

namespace disk {

// The settings the scan reads at its start. A file is listed by its
// extension, one that names a ticked type (viewing::wantedExtensions).
struct ScanSettings : viewing::PictureTypes {
    int kekka = 0;    // RadioKekka: 0 "結果を累積する", 1 "毎回クリアする"
    bool dbSave = false; // CheckDBSave
};

// How far a running scan has come.
struct ScanProgress {
    qint32 directoriesVisited = 0; // entered, or passed over as hidden
    // The directories visited and the subdirectories they are known to hold
    // (from each directory's link count, where the file system keeps it so);
    // 0 when that is not known.
    qint32 directoriesKnown = 0;
    qint32 filesMatched = 0; // pages recorded so far
};

// What the scan needs from the main window.
class ScanHost {
public:
    virtual ~ScanHost() = default;
    // True once BtStop shows its idle icon: the run was stopped.
    virtual bool stopRequested() = 0;
    // Sets a panel of the status bar STB.
    virtual void setStatus(int panel, const QString& text) = 0;
    // Lets the event loop run (repaint, the stop button). The rows written so
    // far are committed before each call.
    virtual void yield() = 0;
    // How far the scan has come, told just before each yield().
    virtual void progress(const ScanProgress& /*p*/) {}
    // A line for the error log (a file that was skipped).
    virtual void logError(const QString& line) = 0;
    // After the preparation: RadioHyouji's display order on the grid's handle.
    virtual void applyDisplayOrder() {}
    // The scan found something: bring the "ファイルリスト" tab to the front.
    virtual void showFileList() {}
    // A file of the run, newly listed or listed before, as measured.
    virtual void fileSeen(const QString& /*fullPath*/, qint64 /*size*/, const QDateTime& /*modified*/) {}
};

class DiskScan {
public:
    // grid: the file list's grid handle (TaList). Rows are written through a
    // handle of the scan's own, so the grid's cursor stays where the user
    // left it; the grid is refreshed at every turn of the event loop and
    // after every single row.
    DiskScan(store::Table& grid, ScanHost& host);
    // The same, raising the run counters of the caller (files newly listed
    // by the scan, rows added) instead of counters of its own.
    DiskScan(store::Table& grid, ScanHost& host, qint32& pagesRecorded, qint32& filesListed);
    ~DiskScan();
    DiskScan(const DiskScan&) = delete;
    DiskScan& operator=(const DiskScan&) = delete;

    // The whole hard-disk run: the preparation (emptying per RadioKekka and
    // CheckDBSave), the scan and the final status. The directory box text
    // must not be empty (the caller refuses that). A call made while a scan
    // is running (from an event handled in yield()) does nothing and answers
    // false; otherwise true.
    bool RunDiskScan(const QString& directoryBoxText, const ScanSettings& settings);

    // Writes one row for the file root + path; the root is empty for a full
    // path. False when the file could not be measured or the row could not
    // be posted (a path that is already listed): nothing is written then.
    bool AddFileListRow(const QString& root, const QString& path);

    // The run counters this scan raises: files newly listed by the scan (the
    // count of "検索完了"), rows added.
    qint32 pagesRecorded() const { return m_pagesRecorded; }
    qint32 filesListed() const { return m_filesListed; }
    void resetFilesListed() { m_filesListed = 0; }

    bool isRunning() const { return m_running; }

    // The scan root for a directory box text: the text with one trailing "/"
    // (kept when it is there already), made absolute.
    static QString scanRoot(const QString& directoryBoxText);

    // The extension as matched: from the last "." of the name on, lower-cased;
    // empty when the name has no ".".
    static QString extensionOf(const QString& fileName);

    // How often the scan yields: after this many directory entries, or after
    // this many milliseconds, whichever comes first. Each turn commits, and
    // a commit writes again every index page it touched, so on a fast disk
    // the time decides.
    static constexpr int kYieldEntries = 10000;
    static constexpr int kYieldMilliseconds = 20;
    // Yields after fewer entries, so that a small tree shows its progress.
    void setYieldEntries(int entries) { m_yieldEntries = qMax(1, entries); }
    // The time bound; negative: only the count ends a slice, as on a machine
    // too fast for the clock to matter (tests).
    void setYieldMilliseconds(int ms) { m_yieldMilliseconds = ms; }

private:
    enum class RowResult { Listed, NotPosted, Unmeasurable };

    struct Measure {
        bool ok = false;
        qint64 size = 0;
        QDateTime modified;
    };
    static Measure measure(const QString& fullPath);
#ifdef Q_OS_UNIX
    // path relative to an open directory (or absolute).
    static Measure measureAt(int directoryFd, const char* nativePath);
#endif

#ifdef Q_OS_UNIX
    // The walk of the tree on a thread of its own (Walker), which lists and
    // measures while this thread writes the rows, in the walk's order.
    class Walker;
    void followWalk();
#else
    // One directory level, relativeDir being "" for the root or "a/b/".
    void ScanDirectory(const QString& relativeDir);
    RowResult addRow(const QString& root, const QString& path);
#endif
    // A subdirectory met: false when the run was stopped (the level ends).
    bool mayEnterDirectory();
    // A wanted file met and written (or not).
    void listFile(const QString& fullPath, RowResult result);
    RowResult writeRow(const QString& fullPath, const Measure& m);
    void refreshGrid();
    void entrySeen();
    void yieldNow();
    // A directory entered or passed over, with how many subdirectories it
    // holds (-1 when not known).
    void directoryVisited(qint64 subdirectories);
    ScanProgress currentProgress() const;

    store::Table& m_grid;
    std::unique_ptr<store::Table> m_writer;
    struct FieldIndexes {
        int fullPath = 0, fileName = 0, size = 0, modified = 0, scanned = 0, mark = 0;
    } m_fields; // of the writer, taken after it opens
    bool m_fieldsKnown = false;
    ScanHost& m_host;
    qint32 m_ownPagesRecorded = 0;
    qint32 m_ownFilesListed = 0;
    qint32& m_pagesRecorded;
    qint32& m_filesListed;
    bool m_running = false;

    // State of the running scan.
    QString m_root;
    QStringList m_wanted;
    std::unique_ptr<store::Batch> m_batch;
    QDate m_today; // the day the rows are written, taken again at every turn
    QElapsedTimer m_sinceYield;
    int m_entriesSinceYield = 0;
    int m_yieldEntries = kYieldEntries;
    int m_yieldMilliseconds = kYieldMilliseconds;
    qint32 m_directoriesVisited = 0;
    qint32 m_directoriesKnown = 0;
    bool m_directoriesCounted = true; // every link count so far was usable
    bool m_stopped = false;           // the run was stopped: no directory is entered again
};

} // namespace disk
