#include "picturedb/HashBackfill.h"

#include "picturedb/Catalogue.h"
#include "picturedb/HeldPictures.h"
#include "store/DataMod.h"
#include "store/Fingerprints.h"
#include "store/Store.h"
#include "viewing/PerceptualHash.h"

#include <QFileInfo>
#include <QMetaObject>

namespace picturedb {

struct HashBackfill::Outcome {
    QString key;       // the failure key
    std::optional<store::Fingerprints::FileKey> file;
    QString database;  // or the record's
    qint32 serial = 0;
    QByteArray expectedSha;
    QByteArray sha;
    std::optional<viewing::PictureFingerprint> print;
};

HashBackfill::HashBackfill(Catalogue& catalogue, store::Store& files, QObject* parent)
    : QObject(parent)
    , m_catalogue(catalogue)
    , m_files(files)
{
    // One worker: the crawl and the window keep the other core.
    m_pool.setMaxThreadCount(1);
}

HashBackfill::~HashBackfill()
{
    m_pool.waitForDone();
}

void HashBackfill::wake(const QString& database, bool indexMode)
{
    m_database = database;
    m_indexMode = indexMode;
    if (m_running) {
        m_again = true;
        return;
    }
    m_running = true;
    m_again = false;
    m_onRecords = false;
    m_afterPath.clear();
    m_afterSerial = 0;
    QMetaObject::invokeMethod(this, &HashBackfill::step, Qt::QueuedConnection);
}

void HashBackfill::step()
{
    Outcome job;
    QByteArray bytes;
    QString path;
    try {
        store::Fingerprints files(m_files);
        while (!m_onRecords && path.isEmpty()) {
            const std::optional<store::Fingerprints::FileKey> next = files.nextFileWithoutHash(m_afterPath);
            if (!next) {
                m_onRecords = true;
                break;
            }
            m_afterPath = next->path;
            const QFileInfo info(next->path);
            if (!info.isFile() || info.size() != next->size
                || info.lastModified().toMSecsSinceEpoch() != next->modified.toMSecsSinceEpoch()) {
                files.dropFile(next->path); // gone or changed since: the row stands for nothing
                continue;
            }
            job.key = QStringLiteral("f:%1:%2:%3").arg(next->path).arg(next->size).arg(next->modified.toMSecsSinceEpoch());
            if (m_failed.contains(job.key))
                continue;
            job.file = next;
            job.expectedSha = next->sha256;
            path = next->path;
        }
        const QString& database = m_database;
        if (m_onRecords && !database.isEmpty()) {
            store::Fingerprints prints(m_catalogue.dm().store());
            HeldPictures held(m_catalogue, m_indexMode);
            while (true) {
                const std::optional<qint32> serial = prints.nextRecordWithoutHash(database, m_afterSerial);
                if (!serial)
                    break;
                m_afterSerial = *serial;
                const std::optional<store::Fingerprint> row = prints.record(database, *serial);
                if (!row)
                    continue;
                job.key = QStringLiteral("r:%1:%2:%3").arg(database).arg(*serial).arg(QString::fromLatin1(row->sha256.toHex()));
                if (m_failed.contains(job.key))
                    continue;
                // A record still being written has nothing to read yet: the next pass sees it.
                HeldPictures::Picture picture = held.pictureOf(*serial);
                if (picture.isEmpty())
                    continue;
                job.database = database;
                job.serial = *serial;
                job.expectedSha = row->sha256;
                bytes = std::move(picture.bytes);
                path = picture.path;
                break;
            }
        }
    } catch (const store::StoreError&) {
        // The store is busy with something that failed: the next wake tries again.
        bytes.clear();
        path.clear();
    }
    if (bytes.isEmpty() && path.isEmpty()) {
        m_running = false;
        if (m_again)
            wake(m_database, m_indexMode);
        return;
    }
    m_pool.start([this, job = std::move(job), bytes = std::move(bytes), path]() mutable {
        job.print = bytes.isEmpty() ? viewing::fingerprintFile(path) : viewing::fingerprintBytes(bytes);
        job.sha = bytes.isEmpty() ? store::sha256OfFile(path) : store::sha256Of(bytes);
        QMetaObject::invokeMethod(this, [this, job = std::move(job)] { finish(job); }, Qt::QueuedConnection);
    });
}

void HashBackfill::finish(const Outcome& outcome)
{
    // Bytes that changed since their row was written are not the row's.
    if (!outcome.print || outcome.sha != outcome.expectedSha) {
        m_failed.insert(outcome.key);
    } else {
        try {
            if (outcome.file)
                store::Fingerprints(m_files).putFileHash(*outcome.file, outcome.print->hash, outcome.print->size);
            else
                store::Fingerprints(m_catalogue.dm().store()).putRecordHash(outcome.database, outcome.serial, outcome.sha, outcome.print->hash,
                                     outcome.print->size);
        } catch (const store::StoreError&) {
            // Not written: the row stays without its hash for the next pass.
        }
    }
    step();
}

} // namespace picturedb
