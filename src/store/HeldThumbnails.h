#pragma once

// Thumbnails of pictures held in picture databases, kept in a side table of
// the store beside the records' fingerprints: one small encoded picture per
// database, serial and size class, valid only while the record's picture has
// the length and SHA-256 it was made from. The table has a size limit; past
// it the rows used longest ago go first.

#include <QByteArray>
#include <QList>
#include <QSize>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace store {

class Store;

// What ties a thumbnail to the picture it shows.
struct PictureKey {
    qint64 length = -1;
    QByteArray sha256; // empty while unknown
    bool complete() const { return length >= 0 && !sha256.isEmpty(); }
    bool operator==(const PictureKey&) const = default;
};

struct HeldThumbnail {
    QByteArray encoded; // PNG or JPEG
    QSize pixels;       // the picture's own size
    QString format;     // the picture's format name
};

class HeldThumbnails {
public:
    static constexpr qint64 kDefaultLimit = 256LL * 1024 * 1024;

    // Creates the side table when the store has none yet.
    explicit HeldThumbnails(Store& store);
    // Whether the store keeps any: where it never did, nothing is to be dropped.
    static bool kept(Store& store);

    // The record's picture as it is now: its length from the image table
    // (without reading the bytes) and its SHA-256 from the record's
    // fingerprint where there is one. None when the image row is missing.
    static std::optional<PictureKey> keyOf(Store& store, const QString& database, const QString& imageTable,
                                           qint32 serial);

    // The thumbnail of the size class, when it was made from the picture
    // the key describes. Reading does not mark it used: touch does.
    std::optional<HeldThumbnail> find(const QString& database, qint32 serial, int sizeClass, const PictureKey& key);
    void touch(const QString& database, qint32 serial, int sizeClass);
    // Replaces the row of the size class; evict() after a group of them.
    void put(const QString& database, qint32 serial, int sizeClass, const PictureKey& key, const HeldThumbnail& thumb);

    void dropRecord(const QString& database, qint32 serial);
    void dropDatabase(const QString& database);

    void setLimit(qint64 bytes) { m_limit = bytes; }
    qint64 limit() const { return m_limit; }
    qint64 totalBytes();
    // Drops the rows used longest ago until the table holds at most the limit.
    void evict();

    static const QString kTable; // "_ThumbnailDB"

private:
    qint64 nextUse();

    Store& m_store;
    qint64 m_limit = kDefaultLimit;
    qint64 m_lastUse = 0;
};

} // namespace store
