#include "viewing/Fingerprinter.h"

#include "store/Store.h"
#include "viewing/PerceptualHash.h"

#include <QMetaObject>
#include <QMutexLocker>
#include <QThread>

namespace viewing {

std::optional<store::Fingerprint> computeFingerprint(const QString& path, QString* error)
{
    const auto picture = fingerprintFile(path, error);
    if (!picture)
        return std::nullopt;
    store::Fingerprint f;
    f.sha256 = store::sha256OfFile(path);
    if (f.sha256.isEmpty()) {
        if (error)
            *error = QStringLiteral("読み込めません");
        return std::nullopt;
    }
    f.hash = picture->hash;
    f.pixels = picture->size;
    return f;
}

Fingerprinter::Fingerprinter(store::Store& store, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_table(store)
{
    m_pool.setMaxThreadCount(qMax(1, QThread::idealThreadCount()));
}

Fingerprinter::~Fingerprinter()
{
    m_stop = true;
    m_pool.waitForDone();
}

bool Fingerprinter::start(std::vector<FileStamp> files)
{
    if (m_running)
        return false;
    m_running = true;
    m_stop = false;
    m_files = std::move(files);
    m_results.assign(m_files.size(), std::nullopt);
    m_todo.clear();
    m_answered = 0;
    m_computed = 0;
    for (size_t i = 0; i < m_files.size(); ++i) {
        const FileStamp& f = m_files[i];
        // A fingerprint kept without its hash (bytes seen at the door) is computed again.
        auto kept = m_table.file(f.path, f.size, f.modified);
        if (kept && kept->hash) {
            m_results[i] = std::move(kept);
            ++m_answered;
        } else {
            m_todo.push_back(qsizetype(i));
        }
    }
    m_next = 0;
    QMutexLocker lock(&m_mutex);
    m_outcomes.clear();
    m_workersLeft = int(qMin<qsizetype>(m_pool.maxThreadCount(), qsizetype(m_todo.size())));
    for (int w = 0; w < m_workersLeft; ++w)
        m_pool.start([this] { work(); });
    // The answer of what was found, and the end when nothing is left to compute.
    post();
    return true;
}

void Fingerprinter::stop()
{
    m_stop = true;
}

void Fingerprinter::work()
{
    while (!m_stop) {
        const qsizetype k = m_next++;
        if (k >= qsizetype(m_todo.size()))
            break;
        Outcome o;
        o.index = m_todo[size_t(k)];
        o.fingerprint = computeFingerprint(m_files[size_t(o.index)].path, &o.error);
        QMutexLocker lock(&m_mutex);
        m_outcomes.push_back(std::move(o));
        post();
    }
    QMutexLocker lock(&m_mutex);
    --m_workersLeft;
    post();
}

void Fingerprinter::post()
{
    if (m_posted)
        return;
    m_posted = true;
    QMetaObject::invokeMethod(this, &Fingerprinter::apply, Qt::QueuedConnection);
}

void Fingerprinter::apply()
{
    std::vector<Outcome> taken;
    bool done = false;
    {
        QMutexLocker lock(&m_mutex);
        m_posted = false;
        // A stopped run keeps what was computed, all at once.
        const size_t n = m_stop ? m_outcomes.size() : qMin(m_outcomes.size(), size_t(m_applyPerTurn));
        for (size_t i = 0; i < n; ++i) {
            taken.push_back(std::move(m_outcomes.front()));
            m_outcomes.pop_front();
        }
        if (!m_outcomes.empty())
            post();
        done = m_workersLeft == 0 && m_outcomes.empty();
    }
    if (!m_running)
        return;
    if (!taken.empty()) {
        store::Batch batch(m_store);
        for (Outcome& o : taken) {
            const FileStamp& f = m_files[size_t(o.index)];
            ++m_answered;
            if (!o.fingerprint) {
                emit skipped(f.path, o.error);
                continue;
            }
            m_table.putFile(f.path, f.size, f.modified, *o.fingerprint);
            m_results[size_t(o.index)] = std::move(o.fingerprint);
            ++m_computed;
        }
        batch.commit();
    }
    emit progress(m_answered, qsizetype(m_files.size()));
    if (done) {
        m_running = false;
        emit finished(m_stop);
    }
}

} // namespace viewing
