#pragma once

// The pictures the open picture database holds, told by their bytes. Only a
// record of the same サイズ can hold the same bytes, so a file is compared
// with those records alone; a record's SHA-256 comes from the side table of
// fingerprints or, for a record that has none yet, from its stored bytes
// (import mode) or its file (index mode), and is then kept there.

#include "store/Fingerprints.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <utility>
#include <vector>

namespace store {
class Store;
}

namespace picturedb {

class Catalogue;

class HeldPictures {
public:
    // The database whose record table the catalogue's record handle holds.
    HeldPictures(Catalogue& catalogue, bool indexMode);

    const QString& database() const { return m_database; }
    // The serial of a record whose picture has exactly these bytes.
    std::optional<qint32> find(qint64 size, const QByteArray& sha256);
    // A record just written with these bytes: its fingerprint is kept, and
    // later finds see it.
    void add(qint32 serial, qint64 size, const QByteArray& sha256);

    // A record's picture as kept: its stored bytes (import mode) or its
    // file (index mode); neither when it has none to read.
    struct Picture {
        QByteArray bytes;
        QString path;
        bool isEmpty() const { return bytes.isEmpty() && path.isEmpty(); }
    };
    Picture pictureOf(qint32 serial);

private:
    bool recordExists(qint32 serial);
    QByteArray shaOfRecord(qint32 serial);
    void loadSizes();

    store::Store& m_store;
    QString m_database;
    bool m_indexMode;
    store::Fingerprints m_prints;
    // (サイズ, 連番) of every record, sorted; read at the first find.
    std::vector<std::pair<qint32, qint32>> m_bySize;
    bool m_loaded = false;
};

// サイズ as a record keeps it.
qint32 recordSize(qint64 bytes);

} // namespace picturedb
