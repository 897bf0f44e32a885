#pragma once

// Perceptual hashes for the fingerprints that downloads and registrations
// keep at the door with their SHA-256 only. One picture at a time is hashed
// on a worker thread, so the window never waits and no more than one
// picture's bytes are held however fast pictures arrive. Saved files come
// first, then the records of the open picture database.

#include <QObject>
#include <QSet>
#include <QString>
#include <QThreadPool>

namespace store {
class Store;
}

namespace picturedb {

class Catalogue;

class HashBackfill : public QObject {
    Q_OBJECT
public:
    // Records' fingerprints live with the catalogue's store, files' in the
    // local store (the same one unless the databases are on a server).
    HashBackfill(Catalogue& catalogue, store::Store& files, QObject* parent = nullptr);
    // Waits for the picture in hand.
    ~HashBackfill() override;

    // Looks for fingerprints without a hash: the saved files', then the
    // records' of database (open in the catalogue; none when empty), whose
    // pictures are read as indexMode says. Woken during a pass, it passes
    // once more.
    void wake(const QString& database, bool indexMode);

private:
    struct Outcome;
    void step();
    void finish(const Outcome& outcome);

    Catalogue& m_catalogue;
    store::Store& m_files;
    QThreadPool m_pool;
    bool m_running = false;
    bool m_again = false;
    QString m_database;
    bool m_indexMode = false;
    bool m_onRecords = false;
    QString m_afterPath;
    qint32 m_afterSerial = 0;
    // Pictures that cannot be decoded are not tried again in this session.
    QSet<QString> m_failed;
};

} // namespace picturedb
