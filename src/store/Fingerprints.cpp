#include "store/Fingerprints.h"

#include "store/Store.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSqlQuery>
#include <QVariant>

namespace store {

const QString Fingerprints::kFileTable = QStringLiteral("_Fingerprint");
const QString Fingerprints::kRecordTable = QStringLiteral("_FingerprintDB");

namespace {

// The perceptual hash is kept as a signed 64-bit integer, SQLite's own.
QVariant hashValue(const std::optional<quint64>& hash)
{
    return hash ? QVariant(qint64(*hash)) : QVariant(QMetaType(QMetaType::LongLong));
}

Fingerprint fingerprintOf(const QSqlQuery& q, int first)
{
    Fingerprint f;
    f.sha256 = q.value(first).toByteArray();
    if (!q.value(first + 1).isNull()) {
        f.hash = quint64(q.value(first + 1).toLongLong());
        f.pixels = QSize(q.value(first + 2).toInt(), q.value(first + 3).toInt());
    }
    return f;
}

// Modification times compare as milliseconds since the epoch, in UTC.
qint64 timeValue(const QDateTime& t)
{
    return t.toMSecsSinceEpoch();
}

} // namespace

Fingerprints::Fingerprints(Store& store) : m_store(store)
{
    const auto [blob, int64, caseless] = m_store.sideTypes();
    m_store.execTouching(kFileTable, QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (\"path\" TEXT PRIMARY KEY, \"size\" %3, "
                                "\"modified\" %3, \"sha256\" %2, \"hash\" %3, \"width\" INTEGER, "
                                "\"height\" INTEGER)")
                     .arg(Store::quoted(kFileTable), blob, int64));
    m_store.execTouching(kFileTable, QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (\"sha256\")")
                     .arg(Store::quoted(kFileTable + QStringLiteral("_sha256")), Store::quoted(kFileTable)));
    m_store.execTouching(kRecordTable, QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (\"database\" TEXT%4, \"serial\" INTEGER, "
                                "\"sha256\" %2, \"hash\" %3, \"width\" INTEGER, \"height\" INTEGER, "
                                "PRIMARY KEY (\"database\", \"serial\"))")
                     .arg(Store::quoted(kRecordTable), blob, int64, caseless));
    m_store.execTouching(kRecordTable, QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (\"database\", \"sha256\")")
                     .arg(Store::quoted(kRecordTable + QStringLiteral("_sha256")), Store::quoted(kRecordTable)));
    // Rows still waiting for their hash are few among many: partial indexes find them without a full read.
    m_store.execTouching(kFileTable, QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (\"path\") WHERE \"hash\" IS NULL")
                     .arg(Store::quoted(kFileTable + QStringLiteral("_nohash")), Store::quoted(kFileTable)));
    m_store.execTouching(kRecordTable, QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (\"database\", \"serial\") "
                                                      "WHERE \"hash\" IS NULL")
                     .arg(Store::quoted(kRecordTable + QStringLiteral("_nohash")), Store::quoted(kRecordTable)));
}

std::optional<Fingerprint> Fingerprints::file(const QString& path, qint64 size, const QDateTime& modified)
{
    QSqlQuery q(m_store.db());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT \"sha256\", \"hash\", \"width\", \"height\" FROM %1 "
                             "WHERE \"path\" = ? AND \"size\" = ? AND \"modified\" = ?")
                  .arg(Store::quoted(kFileTable)));
    q.addBindValue(path);
    q.addBindValue(size);
    q.addBindValue(timeValue(modified));
    if (!q.exec() || !q.next())
        return std::nullopt;
    return fingerprintOf(q, 0);
}

void Fingerprints::putFile(const QString& path, qint64 size, const QDateTime& modified, const Fingerprint& f)
{
    m_store.execTouching(kFileTable, QStringLiteral("INSERT INTO %1 (\"path\", \"size\", \"modified\", \"sha256\", \"hash\", "
                                "\"width\", \"height\") VALUES (?, ?, ?, ?, ?, ?, ?) ON CONFLICT (\"path\") DO UPDATE SET "
                                "\"size\" = excluded.\"size\", \"modified\" = excluded.\"modified\", \"sha256\" = excluded.\"sha256\", "
                                "\"hash\" = excluded.\"hash\", \"width\" = excluded.\"width\", \"height\" = excluded.\"height\"")
                     .arg(Store::quoted(kFileTable)),
                 {path, size, timeValue(modified), f.sha256, hashValue(f.hash), f.pixels.width(), f.pixels.height()});
}

QStringList Fingerprints::filesWithSha(const QByteArray& sha256)
{
    QSqlQuery q(m_store.db());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT \"path\" FROM %1 WHERE \"sha256\" = ? ORDER BY \"path\"").arg(Store::quoted(kFileTable)));
    q.addBindValue(sha256);
    QStringList out;
    if (q.exec())
        while (q.next())
            out << q.value(0).toString();
    return out;
}

std::optional<Fingerprint> Fingerprints::record(const QString& database, qint32 serial)
{
    QSqlQuery q(m_store.db());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT \"sha256\", \"hash\", \"width\", \"height\" FROM %1 "
                             "WHERE \"database\" = ? AND \"serial\" = ?")
                  .arg(Store::quoted(kRecordTable)));
    q.addBindValue(database);
    q.addBindValue(serial);
    if (!q.exec() || !q.next())
        return std::nullopt;
    return fingerprintOf(q, 0);
}

void Fingerprints::putRecord(const QString& database, qint32 serial, const Fingerprint& f)
{
    m_store.execTouching(kRecordTable, QStringLiteral("INSERT INTO %1 (\"database\", \"serial\", \"sha256\", \"hash\", \"width\", "
                                "\"height\") VALUES (?, ?, ?, ?, ?, ?) ON CONFLICT (\"database\", \"serial\") DO UPDATE SET "
                                "\"sha256\" = excluded.\"sha256\", \"hash\" = excluded.\"hash\", \"width\" = excluded.\"width\", "
                                "\"height\" = excluded.\"height\"")
                     .arg(Store::quoted(kRecordTable)),
                 {database, serial, f.sha256, hashValue(f.hash), f.pixels.width(), f.pixels.height()});
}

QList<qint32> Fingerprints::recordsWithSha(const QString& database, const QByteArray& sha256)
{
    QSqlQuery q(m_store.db());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT \"serial\" FROM %1 WHERE \"database\" = ? AND \"sha256\" = ? ORDER BY \"serial\"")
                  .arg(Store::quoted(kRecordTable)));
    q.addBindValue(database);
    q.addBindValue(sha256);
    QList<qint32> out;
    if (q.exec())
        while (q.next())
            out << q.value(0).toInt();
    return out;
}

void Fingerprints::dropRecord(const QString& database, qint32 serial)
{
    m_store.execTouching(kRecordTable, QStringLiteral("DELETE FROM %1 WHERE \"database\" = ? AND \"serial\" = ?").arg(Store::quoted(kRecordTable)),
                 {database, serial});
}

void Fingerprints::moveRecord(const QString& database, qint32 from, qint32 to)
{
    dropRecord(database, to);
    m_store.execTouching(kRecordTable,
                         QStringLiteral("UPDATE %1 SET \"serial\" = ? WHERE \"database\" = ? AND \"serial\" = ?")
                             .arg(Store::quoted(kRecordTable)),
                         {to, database, from});
}

void Fingerprints::dropDatabase(const QString& database)
{
    m_store.execTouching(kRecordTable, QStringLiteral("DELETE FROM %1 WHERE \"database\" = ?").arg(Store::quoted(kRecordTable)), {database});
}

void Fingerprints::renameDatabase(const QString& from, const QString& to)
{
    m_store.execTouching(kRecordTable, QStringLiteral("UPDATE %1 SET \"database\" = ? WHERE \"database\" = ?").arg(Store::quoted(kRecordTable)),
                 {to, from});
}

std::optional<Fingerprints::FileKey> Fingerprints::nextFileWithoutHash(const QString& afterPath)
{
    QSqlQuery q(m_store.db());
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT \"path\", \"size\", \"modified\", \"sha256\" FROM %1 "
                             "WHERE \"hash\" IS NULL AND \"path\" > ? ORDER BY \"path\" LIMIT 1")
                  .arg(Store::quoted(kFileTable)));
    q.addBindValue(afterPath.isNull() ? QStringLiteral("") : afterPath); // a null string binds as NULL
    if (!q.exec() || !q.next())
        return std::nullopt;
    return FileKey{q.value(0).toString(), q.value(1).toLongLong(),
                   QDateTime::fromMSecsSinceEpoch(q.value(2).toLongLong(), Qt::UTC), q.value(3).toByteArray()};
}

std::optional<qint32> Fingerprints::nextRecordWithoutHash(const QString& database, qint32 afterSerial)
{
    const QVariant serial = m_store.value(QStringLiteral("SELECT \"serial\" FROM %1 WHERE \"database\" = ? "
                                                         "AND \"hash\" IS NULL AND \"serial\" > ? ORDER BY \"serial\" LIMIT 1")
                                              .arg(Store::quoted(kRecordTable)),
                                          {database, afterSerial});
    return serial.isValid() ? std::optional<qint32>(serial.toInt()) : std::nullopt;
}

void Fingerprints::putFileHash(const FileKey& key, quint64 hash, QSize pixels)
{
    m_store.execTouching(kFileTable, QStringLiteral("UPDATE %1 SET \"hash\" = ?, \"width\" = ?, \"height\" = ? WHERE \"path\" = ? "
                                                    "AND \"size\" = ? AND \"modified\" = ? AND \"sha256\" = ?")
                                         .arg(Store::quoted(kFileTable)),
                         {qint64(hash), pixels.width(), pixels.height(), key.path, key.size, timeValue(key.modified),
                          key.sha256});
}

void Fingerprints::putRecordHash(const QString& database, qint32 serial, const QByteArray& sha256, quint64 hash,
                                 QSize pixels)
{
    m_store.execTouching(kRecordTable, QStringLiteral("UPDATE %1 SET \"hash\" = ?, \"width\" = ?, \"height\" = ? "
                                                      "WHERE \"database\" = ? AND \"serial\" = ? AND \"sha256\" = ?")
                                           .arg(Store::quoted(kRecordTable)),
                         {qint64(hash), pixels.width(), pixels.height(), database, serial, sha256});
}

void Fingerprints::dropFile(const QString& path)
{
    m_store.execTouching(kFileTable, QStringLiteral("DELETE FROM %1 WHERE \"path\" = ?").arg(Store::quoted(kFileTable)), {path});
}

QByteArray sha256Of(const QByteArray& bytes)
{
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

QByteArray sha256OfFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QCryptographicHash h(QCryptographicHash::Sha256);
    if (!h.addData(&f))
        return {};
    return h.result();
}

} // namespace store
