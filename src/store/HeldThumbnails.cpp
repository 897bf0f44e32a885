#include "store/HeldThumbnails.h"

#include "store/Fingerprints.h"
#include "store/Store.h"
#include "store/TableOps.h"

#include <QDateTime>
#include <QSqlQuery>
#include <QVariant>

namespace store {

const QString HeldThumbnails::kTable = QStringLiteral("_ThumbnailDB");

namespace {

QString q(const QString& name)
{
    return Store::quoted(name);
}

} // namespace

HeldThumbnails::HeldThumbnails(Store& store) : m_store(store)
{
    const auto [blob, int64, caseless] = m_store.sideTypes();
    m_store.execTouching(kTable, QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (\"database\" TEXT%4, \"serial\" INTEGER, "
                                                "\"class\" INTEGER, \"length\" %3, \"sha256\" %2, \"thumbnail\" %2, "
                                                "\"bytes\" %3, \"width\" INTEGER, \"height\" INTEGER, \"format\" TEXT, "
                                                "\"used\" %3, PRIMARY KEY (\"database\", \"serial\", \"class\"))")
                                     .arg(q(kTable), blob, int64, caseless));
    // Eviction's sums and order read this index alone, never the thumbnails.
    m_store.execTouching(kTable, QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (\"used\", \"bytes\")")
                                     .arg(q(kTable + QStringLiteral("_used")), q(kTable)));
}

bool HeldThumbnails::kept(Store& store)
{
    return store.tableExists(kTable);
}

std::optional<PictureKey> HeldThumbnails::keyOf(Store& store, const QString& database, const QString& imageTable,
                                                qint32 serial)
{
    const QString table = store.storedName(imageTable);
    if (table.isEmpty())
        return std::nullopt;
    QSqlQuery lengths(store.db());
    lengths.setForwardOnly(true);
    lengths.prepare(QStringLiteral("SELECT length(%1), length(%2) FROM %3 WHERE %4 = ?")
                        .arg(q(QStringLiteral("画像")), q(QStringLiteral("BMP")), q(table), q(QStringLiteral("連番"))));
    lengths.addBindValue(serial);
    if (!lengths.exec() || !lengths.next())
        return std::nullopt;
    PictureKey key;
    // A picture kept as a bitmap has the marker where the bytes would be.
    const qint64 picture = lengths.value(0).isNull() ? 0 : lengths.value(0).toLongLong();
    key.length = picture > 0 && picture != bitmapMarker().size() ? picture : lengths.value(1).toLongLong();
    if (store.tableExists(Fingerprints::kRecordTable)) {
        if (std::optional<Fingerprint> print = Fingerprints(store).record(database, serial))
            key.sha256 = print->sha256;
    }
    return key;
}

std::optional<HeldThumbnail> HeldThumbnails::find(const QString& database, qint32 serial, int sizeClass,
                                                  const PictureKey& key)
{
    if (!key.complete())
        return std::nullopt;
    QSqlQuery row(m_store.db());
    row.setForwardOnly(true);
    row.prepare(QStringLiteral("SELECT \"thumbnail\", \"width\", \"height\", \"format\" FROM %1 WHERE \"database\" = ? "
                               "AND \"serial\" = ? AND \"class\" = ? AND \"length\" = ? AND \"sha256\" = ?")
                    .arg(q(kTable)));
    for (const QVariant& v : QVariantList{database, serial, sizeClass, key.length, key.sha256})
        row.addBindValue(v);
    if (!row.exec() || !row.next())
        return std::nullopt;
    return HeldThumbnail{row.value(0).toByteArray(), QSize(row.value(1).toInt(), row.value(2).toInt()),
                         row.value(3).toString()};
}

qint64 HeldThumbnails::nextUse()
{
    // Milliseconds, strictly rising even within one: the order of use is what
    // eviction reads, and rows used in one fill keep the order they were used in.
    if (m_lastUse == 0)
        m_lastUse = m_store.value(QStringLiteral("SELECT max(\"used\") FROM %1").arg(q(kTable))).toLongLong();
    m_lastUse = qMax(QDateTime::currentMSecsSinceEpoch(), m_lastUse + 1);
    return m_lastUse;
}

void HeldThumbnails::touch(const QString& database, qint32 serial, int sizeClass)
{
    m_store.execTouching(kTable, QStringLiteral("UPDATE %1 SET \"used\" = ? WHERE \"database\" = ? AND \"serial\" = ? "
                                                "AND \"class\" = ?")
                                     .arg(q(kTable)),
                         {nextUse(), database, serial, sizeClass});
}

void HeldThumbnails::put(const QString& database, qint32 serial, int sizeClass, const PictureKey& key,
                         const HeldThumbnail& thumb)
{
    if (!key.complete() || thumb.encoded.isEmpty())
        return;
    m_store.execTouching(kTable, QStringLiteral("INSERT INTO %1 (\"database\", \"serial\", \"class\", \"length\", \"sha256\", "
                                                "\"thumbnail\", \"bytes\", \"width\", \"height\", \"format\", \"used\") "
                                                "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) "
                                                "ON CONFLICT (\"database\", \"serial\", \"class\") DO UPDATE SET "
                                                "\"length\" = excluded.\"length\", \"sha256\" = excluded.\"sha256\", "
                                                "\"thumbnail\" = excluded.\"thumbnail\", \"bytes\" = excluded.\"bytes\", "
                                                "\"width\" = excluded.\"width\", \"height\" = excluded.\"height\", "
                                                "\"format\" = excluded.\"format\", \"used\" = excluded.\"used\"")
                                     .arg(q(kTable)),
                         {database, serial, sizeClass, key.length, key.sha256, thumb.encoded, qint64(thumb.encoded.size()),
                          thumb.pixels.width(), thumb.pixels.height(), thumb.format, nextUse()});
}

void HeldThumbnails::dropRecord(const QString& database, qint32 serial)
{
    m_store.execTouching(kTable, QStringLiteral("DELETE FROM %1 WHERE \"database\" = ? AND \"serial\" = ?").arg(q(kTable)),
                         {database, serial});
}

void HeldThumbnails::dropDatabase(const QString& database)
{
    m_store.execTouching(kTable, QStringLiteral("DELETE FROM %1 WHERE \"database\" = ?").arg(q(kTable)), {database});
}

qint64 HeldThumbnails::totalBytes()
{
    return m_store.value(QStringLiteral("SELECT sum(\"bytes\") FROM %1").arg(q(kTable))).toLongLong();
}

void HeldThumbnails::evict()
{
    qint64 excess = totalBytes() - m_limit;
    if (excess <= 0)
        return;
    // The oldest uses first, until enough is freed; then one statement drops
    // every row used no later than the last one taken.
    QSqlQuery oldest(m_store.db());
    oldest.setForwardOnly(true);
    oldest.prepare(QStringLiteral("SELECT \"used\", \"bytes\" FROM %1 ORDER BY \"used\"").arg(q(kTable)));
    if (!oldest.exec())
        return;
    std::optional<qint64> until;
    while (excess > 0 && oldest.next()) {
        until = oldest.value(0).toLongLong();
        excess -= oldest.value(1).toLongLong();
    }
    oldest.finish();
    if (until)
        m_store.execTouching(kTable, QStringLiteral("DELETE FROM %1 WHERE \"used\" <= ?").arg(q(kTable)), {*until});
}

} // namespace store
