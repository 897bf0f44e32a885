#pragma once

// The picture files of a save directory by size, so that a download is
// compared only with the files of its own size: two files can hold the same
// bytes only then. Their SHA-256 is read once and kept in the side table of
// file fingerprints, valid while a file's size and time stay.

#include "store/Fingerprints.h"

#include <QHash>
#include <QString>
#include <QStringList>

namespace store {
class Store;
}

namespace web {

class SavedPictures {
public:
    // Lists the picture files of the directory (not of its subdirectories).
    SavedPictures(store::Store& store, const QString& directory);

    const QString& directory() const { return m_directory; }
    // A listed file other than path whose bytes are exactly these; empty when none.
    QString find(const QString& path, qint64 size, const QByteArray& sha256);
    // A file just saved in the directory, with its bytes' SHA-256.
    void add(const QString& path, qint64 size, const QByteArray& sha256);

private:
    QByteArray shaOf(const QString& path, qint64 size);

    store::Fingerprints m_prints;
    QString m_directory;
    QHash<qint64, QStringList> m_bySize;
};

} // namespace web
