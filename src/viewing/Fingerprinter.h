#pragma once

// Fingerprints of many files without holding the window: those the store
// keeps (same size and modification time) are answered at once, the others
// are computed on worker threads and written to the store on the window's
// thread, a few at each turn of the event loop, each turn in one transaction.

#include "store/Fingerprints.h"

#include <QDateTime>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QThreadPool>
#include <atomic>
#include <deque>
#include <optional>
#include <vector>

namespace store {
class Store;
}

namespace viewing {

// A file as listed: its full path with the size and time it was seen with.
struct FileStamp {
    QString path;
    qint64 size = 0;
    QDateTime modified;
};

// The SHA-256 of a file's bytes with its perceptual hash and pixel size;
// none when it cannot be read or decoded (error says why).
std::optional<store::Fingerprint> computeFingerprint(const QString& path, QString* error = nullptr);

class Fingerprinter : public QObject {
    Q_OBJECT
public:
    explicit Fingerprinter(store::Store& store, QObject* parent = nullptr);
    // Stops a run and waits for the file each worker is on.
    ~Fingerprinter() override;

    // Starts a run over files; false, doing nothing, while one goes on.
    // finished() follows in every case, also when nothing is to compute.
    bool start(std::vector<FileStamp> files);
    // The workers end after the file they are on; what they computed is
    // still kept, then finished(true).
    void stop();
    bool isRunning() const { return m_running; }

    // The run's fingerprints, one per file given, in that order; none for a
    // file skipped or not reached.
    const std::vector<std::optional<store::Fingerprint>>& results() const { return m_results; }
    const std::vector<FileStamp>& files() const { return m_files; }
    // How many of the run's fingerprints were computed rather than found.
    qsizetype computed() const { return m_computed; }

    // How many computed fingerprints are written at one turn of the event
    // loop; the rest wait for the next turn.
    static constexpr int kApplyPerTurn = 32;
    void setApplyPerTurn(int count) { m_applyPerTurn = qMax(1, count); }

signals:
    // done of total files answered (found, computed or skipped).
    void progress(qsizetype done, qsizetype total);
    void skipped(const QString& path, const QString& error);
    void finished(bool stopped);

private:
    struct Outcome {
        qsizetype index = 0;
        std::optional<store::Fingerprint> fingerprint;
        QString error;
    };

    void work();
    void post(); // with m_mutex held
    void apply();

    store::Store& m_store;
    store::Fingerprints m_table;
    QThreadPool m_pool;
    int m_applyPerTurn = kApplyPerTurn;

    // The run; m_files and m_todo stay unchanged while workers read them.
    std::vector<FileStamp> m_files;
    std::vector<std::optional<store::Fingerprint>> m_results;
    std::vector<qsizetype> m_todo; // indexes of the files to compute
    std::atomic<qsizetype> m_next{0};
    std::atomic<bool> m_stop{false};
    bool m_running = false;
    qsizetype m_answered = 0;
    qsizetype m_computed = 0;

    QMutex m_mutex; // guards what follows
    std::deque<Outcome> m_outcomes;
    int m_workersLeft = 0;
    bool m_posted = false;
};

} // namespace viewing
