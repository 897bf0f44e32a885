#include "viewing/HeldPreviews.h"

#include "store/Fingerprints.h"
#include "store/Store.h"
#include "viewing/Thumbnails.h"

#include <QBuffer>
#include <QFutureWatcher>
#include <QImageWriter>
#include <QtConcurrent/QtConcurrentRun>

namespace viewing {

std::optional<store::HeldThumbnail> encodeThumbnail(const Picture& decoded, int sizeClass)
{
    if (decoded.isNull() || decoded.isMetafile || decoded.isIcon)
        return std::nullopt;
    QImage image = decoded.image;
    if (image.width() > sizeClass || image.height() > sizeClass)
        image = image.scaled(sizeClass, sizeClass, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    // JPEG is a tenth of PNG's size for photographs and faster to read back.
    const bool alpha = image.hasAlphaChannel();
    QImageWriter writer(&buffer, alpha ? "png" : "jpeg");
    if (!alpha)
        writer.setQuality(90);
    if (!writer.write(image))
        return std::nullopt;
    return store::HeldThumbnail{encoded, decoded.fullSize, decoded.format};
}

std::optional<Picture> decodeThumbnail(const store::HeldThumbnail& thumb)
{
    Picture p;
    if (!p.image.loadFromData(thumb.encoded) || thumb.pixels.isEmpty())
        return std::nullopt;
    p.fullSize = thumb.pixels;
    p.format = thumb.format;
    return p;
}

HeldPreviews::HeldPreviews(store::Store& store, QString database, QString imageTable)
    : m_store(store)
    , m_database(std::move(database))
    , m_imageTable(std::move(imageTable))
{
}

store::HeldThumbnails* HeldPreviews::thumbnails()
{
    if (!m_thumbs && store::HeldThumbnails::kept(m_store))
        m_thumbs.emplace(m_store);
    return m_thumbs ? &*m_thumbs : nullptr;
}

std::optional<store::HeldThumbnail> HeldPreviews::find(qint32 serial, QSize box, store::PictureKey* key)
{
    if (key)
        *key = {};
    if (!thumbnailsEnabled() || !box.isValid() || m_database.isEmpty())
        return std::nullopt;
    const std::optional<store::PictureKey> now = store::HeldThumbnails::keyOf(m_store, m_database, m_imageTable, serial);
    if (!now)
        return std::nullopt;
    if (key)
        *key = *now;
    store::HeldThumbnails* thumbs = thumbnails();
    if (!thumbs)
        return std::nullopt;
    return thumbs->find(m_database, serial, ThumbnailCache::sizeClassFor(box), *now);
}

std::optional<Picture> HeldPreviews::preview(qint32 serial, const QByteArray& bytes, QSize box, QString* error)
{
    if (!thumbnailsEnabled() || !box.isValid() || m_database.isEmpty())
        return loadPictureData(bytes, box, error);
    const int sizeClass = ThumbnailCache::sizeClassFor(box);
    store::PictureKey key{bytes.size(), {}};
    // The cache's troubles never cost the preview: the bytes are decoded as without it.
    try {
        if (const auto now = store::HeldThumbnails::keyOf(m_store, m_database, m_imageTable, serial))
            key.sha256 = now->sha256;
        // The bytes are at hand: their own hash checks a record without a fingerprint.
        if (key.sha256.isEmpty())
            key.sha256 = store::sha256Of(bytes);
        if (store::HeldThumbnails* thumbs = thumbnails()) {
            if (const auto thumb = thumbs->find(m_database, serial, sizeClass, key)) {
                if (std::optional<Picture> shown = decodeThumbnail(*thumb)) {
                    thumbs->touch(m_database, serial, sizeClass);
                    return shown;
                }
            }
        }
    } catch (const store::StoreError&) {
    }
    std::optional<Picture> picture = loadPictureData(bytes, box, error);
    if (!picture)
        return picture;
    if (const std::optional<store::HeldThumbnail> thumb = encodeThumbnail(*picture, sizeClass)) {
        keep(serial, sizeClass, key, *thumb);
        try {
            commit();
        } catch (const store::StoreError&) {
        }
    }
    return picture;
}

void HeldPreviews::keep(qint32 serial, int sizeClass, const store::PictureKey& key, const store::HeldThumbnail& thumb,
                        const QByteArray& bytes)
{
    if (key.length < 0 || (key.sha256.isEmpty() && bytes.isEmpty()))
        return;
    m_kept.append({serial, sizeClass, key, thumb, key.sha256.isEmpty() ? bytes : QByteArray()});
}

QFutureWatcher<void>* HeldPreviews::commitLater(std::shared_ptr<HeldPreviews> previews, QObject* context)
{
    auto* watcher = new QFutureWatcher<void>(context);
    QObject::connect(watcher, &QFutureWatcher<void>::finished, context, [previews, watcher] {
        watcher->deleteLater();
        try {
            previews->commit();
        } catch (const store::StoreError&) {
            // A thumbnail not kept is made again next time; nothing the user must hear of.
        }
    });
    // Hashing sixty large pictures takes a second of a core: never on the
    // thread that paints.
    watcher->setFuture(QtConcurrent::run([previews] {
        for (Kept& k : previews->m_kept) {
            if (k.key.sha256.isEmpty())
                k.key.sha256 = store::sha256Of(std::exchange(k.bytes, {}));
        }
    }));
    return watcher;
}

void HeldPreviews::used(qint32 serial, int sizeClass)
{
    m_used.append({serial, sizeClass});
}

void HeldPreviews::commit()
{
    const QList<Kept> kept = std::exchange(m_kept, {});
    const QList<QPair<qint32, int>> used = std::exchange(m_used, {});
    // The setting may have gone off since the fill looked.
    if (!thumbnailsEnabled() || (kept.isEmpty() && used.isEmpty()))
        return;
    if (!m_thumbs)
        m_thumbs.emplace(m_store);
    store::HeldThumbnails& thumbs = *m_thumbs;
    thumbs.setLimit(m_limit);
    store::Batch batch(m_store);
    for (const auto& [serial, sizeClass] : used)
        thumbs.touch(m_database, serial, sizeClass);
    std::optional<store::Fingerprints> prints;
    for (const Kept& k : kept) {
        if (!k.key.complete())
            continue;
        // Kept only while the picture is still the one the thumbnail shows.
        const std::optional<store::PictureKey> now = store::HeldThumbnails::keyOf(m_store, m_database, m_imageTable, k.serial);
        if (!now || now->length != k.key.length || (!now->sha256.isEmpty() && now->sha256 != k.key.sha256))
            continue;
        if (now->sha256.isEmpty()) {
            if (!prints)
                prints.emplace(m_store);
            prints->putRecord(m_database, k.serial, store::Fingerprint{k.key.sha256, {}, {}});
        }
        thumbs.put(m_database, k.serial, k.sizeClass, k.key, k.thumb);
    }
    thumbs.evict();
    batch.commit();
}

} // namespace viewing
