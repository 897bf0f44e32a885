#pragma once

// Previews of pictures held in a picture database's image table through the
// thumbnails the store keeps beside the records (store::HeldThumbnails): a
// valid one is shown instead of decoding the picture, and a decode made for a
// preview leaves one for next time. With thumbnails off (the setting
// "サムネイルを保存する") none is read or written.

#include "store/HeldThumbnails.h"
#include "viewing/PictureLoader.h"

#include <QList>
#include <QString>

#include <memory>
#include <optional>

class QObject;
template <typename T>
class QFutureWatcher;

namespace store {
class Store;
}

namespace viewing {

// The thumbnail of a decoded picture for a size class: scaled down to fit it,
// JPEG, or PNG where the picture has alpha. None for a picture that the views
// do not show as pixels (a metafile, an icon).
std::optional<store::HeldThumbnail> encodeThumbnail(const Picture& decoded, int sizeClass);
std::optional<Picture> decodeThumbnail(const store::HeldThumbnail& thumb);

class HeldPreviews {
public:
    HeldPreviews(store::Store& store, QString database, QString imageTable);

    // The kept thumbnail of the record for a box, valid for its picture as
    // it is now, still encoded (decodeThumbnail, on any thread); none with
    // thumbnails off or without a box. *key: the
    // picture's key to keep a new thumbnail under (its SHA-256 may be
    // unknown: then the fill hashes the bytes it reads).
    std::optional<store::HeldThumbnail> find(qint32 serial, QSize box, store::PictureKey* key = nullptr);

    // The preview of the record whose picture's bytes are at hand: the kept
    // thumbnail when valid, else the bytes decoded for the box, leaving their
    // thumbnail behind.
    std::optional<Picture> preview(qint32 serial, const QByteArray& bytes, QSize box, QString* error = nullptr);

    // Waiting to be written by commit(): a thumbnail made elsewhere (a fill's
    // workers) and the use of one that was found. A key without its SHA-256
    // takes the hash of bytes, which commitLater computes.
    void keep(qint32 serial, int sizeClass, const store::PictureKey& key, const store::HeldThumbnail& thumb,
              const QByteArray& bytes = {});
    void used(qint32 serial, int sizeClass);
    // Writes what waits in one transaction, then evicts down to the limit. A
    // record without a fingerprint gets the SHA-256 its thumbnail was kept
    // under, so that later looks need not read its bytes.
    void commit();
    // The same once the hashes still wanting are computed on a worker: the
    // commit runs on the context's thread, unless the context is gone by then.
    // The watcher (the context's child) says when.
    static QFutureWatcher<void>* commitLater(std::shared_ptr<HeldPreviews> previews, QObject* context);

    // For tests; the store's default otherwise.
    void setLimit(qint64 bytes) { m_limit = bytes; }

private:
    // The side table, once the store has one.
    store::HeldThumbnails* thumbnails();

    struct Kept {
        qint32 serial;
        int sizeClass;
        store::PictureKey key;
        store::HeldThumbnail thumb;
        QByteArray bytes; // to hash, while the key has no SHA-256
    };

    store::Store& m_store;
    QString m_database;
    QString m_imageTable;
    qint64 m_limit = store::HeldThumbnails::kDefaultLimit;
    QList<Kept> m_kept;
    QList<QPair<qint32, int>> m_used;
    std::optional<store::HeldThumbnails> m_thumbs;
};

} // namespace viewing
