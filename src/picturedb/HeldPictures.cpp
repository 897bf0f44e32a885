#include "picturedb/HeldPictures.h"

#include "picturedb/Catalogue.h"
#include "store/DataMod.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/TableOps.h"

#include <QFileInfo>
#include <QSqlQuery>
#include <algorithm>
#include <limits>

namespace picturedb {

namespace {

const QString kSerial = QStringLiteral("連番");
const QString kSize = QStringLiteral("サイズ");
const QString kPicture = QStringLiteral("画像");

QString q(const QString& name)
{
    return store::Store::quoted(name);
}

} // namespace

qint32 recordSize(qint64 bytes)
{
    return qint32(std::clamp<qint64>(bytes, 0, std::numeric_limits<qint32>::max()));
}

HeldPictures::HeldPictures(Catalogue& catalogue, bool indexMode)
    : m_store(catalogue.dm().store())
    , m_database(catalogue.dm().TaPhoto->tableName())
    , m_indexMode(indexMode)
    , m_prints(m_store)
{
}

std::optional<qint32> HeldPictures::find(qint64 size, const QByteArray& sha256)
{
    if (m_database.isEmpty() || sha256.isEmpty())
        return std::nullopt;
    // Records fingerprinted already are found by their bytes at once.
    for (qint32 serial : m_prints.recordsWithSha(m_database, sha256)) {
        if (recordExists(serial))
            return serial;
    }
    loadSizes();
    const auto range = std::equal_range(m_bySize.begin(), m_bySize.end(), std::pair{recordSize(size), 0},
                                        [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto it = range.first; it != range.second; ++it) {
        const qint32 serial = it->second;
        std::optional<store::Fingerprint> print = m_prints.record(m_database, serial);
        if (print && !print->sha256.isEmpty())
            continue; // its bytes differ, or the search above had found it
        const QByteArray sha = shaOfRecord(serial);
        if (sha.isEmpty())
            continue;
        store::Fingerprint kept = print.value_or(store::Fingerprint{});
        kept.sha256 = sha;
        m_prints.putRecord(m_database, serial, kept);
        if (sha == sha256)
            return serial;
    }
    return std::nullopt;
}

void HeldPictures::add(qint32 serial, qint64 size, const QByteArray& sha256)
{
    if (m_database.isEmpty())
        return;
    if (!sha256.isEmpty())
        m_prints.putRecord(m_database, serial, store::Fingerprint{sha256, {}, {}});
    else
        m_prints.dropRecord(m_database, serial);
    if (m_loaded) {
        const std::pair<qint32, qint32> entry{recordSize(size), serial};
        m_bySize.insert(std::upper_bound(m_bySize.begin(), m_bySize.end(), entry), entry);
    }
}

bool HeldPictures::recordExists(qint32 serial)
{
    return m_store.value(QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ?").arg(q(m_database), q(kSerial)), {serial})
        .isValid();
}

HeldPictures::Picture HeldPictures::pictureOf(qint32 serial)
{
    if (!m_indexMode) {
        QByteArray bytes
            = m_store.value(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?").arg(q(kPicture), q(imageTableName(m_database)), q(kSerial)),
                            {serial})
                  .toByteArray();
        // A bitmap kept in BMP is not the bytes of any file.
        return store::holdsPictureBytes(bytes) ? Picture{std::move(bytes), {}} : Picture{};
    }
    // Index mode: user item 3 names the picture's file (or its Web address).
    const QList<store::FieldDef> fields = m_store.fieldDefs(m_database);
    if (fields.size() <= kFirstUserField + 2)
        return {};
    const QString path = m_store.value(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                                           .arg(q(fields.at(kFirstUserField + 2).name), q(m_database), q(kSerial)),
                                       {serial})
                             .toString();
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return {};
    return Picture{{}, path};
}

QByteArray HeldPictures::shaOfRecord(qint32 serial)
{
    const Picture picture = pictureOf(serial);
    if (!picture.bytes.isEmpty())
        return store::sha256Of(picture.bytes);
    return picture.path.isEmpty() ? QByteArray() : store::sha256OfFile(picture.path);
}

void HeldPictures::loadSizes()
{
    if (m_loaded)
        return;
    m_loaded = true;
    QSqlQuery query(m_store.db());
    query.setForwardOnly(true);
    if (!query.exec(QStringLiteral("SELECT %1, %2 FROM %3").arg(q(kSize), q(kSerial), q(m_database))))
        return;
    while (query.next())
        m_bySize.emplace_back(query.value(0).toInt(), query.value(1).toInt());
    std::sort(m_bySize.begin(), m_bySize.end());
}

} // namespace picturedb
