#include "web/ExplorationTables.h"

#include "store/DataMd3.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/TableOps.h"
#include "web/RunLog.h"
#include "web/TextUtils.h"

#include <QDate>
#include <QSqlQuery>
#include <algorithm>

namespace web {

namespace {

QDateTime today()
{
    return QDateTime(QDate::currentDate(), QTime(0, 0));
}

bool isBlankOrControl(QChar c)
{
    return c.unicode() <= 0x20 || c.unicode() == 0x7F;
}

} // namespace

const std::array<QString, 6>& statusWords()
{
    static const std::array<QString, 6> words{QStringLiteral("----"), QStringLiteral("開始"),
                                              QStringLiteral("エラー"), QStringLiteral("終了"),
                                              QStringLiteral("登録済"), QStringLiteral("除外")};
    return words;
}

static QString wordOf(qint32 mode)
{
    return mode >= 0 && mode < qint32(statusWords().size()) ? statusWords()[size_t(mode)] : QString();
}

// The No of the first row (No, URL) whose address due accepts, null when none
// of the first kMaxPassedOver rows is.
static QVariant firstDue(store::Store& s, const QString& sql, const QVariantList& bind,
                         const ExplorationTables::AddressFilter& due)
{
    QSqlQuery q(s.db());
    q.setForwardOnly(true);
    q.prepare(sql);
    for (const QVariant& v : bind)
        q.addBindValue(v);
    if (!q.exec())
        return {};
    for (int passed = 0; q.next() && passed < ExplorationTables::kMaxPassedOver; ++passed)
        if (due(q.value(1).toString()))
            return q.value(0);
    return {};
}

ExplorationTables::ExplorationTables(store::DataMd3& dm3, RunLog& log)
    : m_dm3(dm3)
    , m_log(log)
{
}

qint32 ExplorationTables::ReturnStartedLinks()
{
    store::Store& s = m_dm3.store();
    const QString links = store::Store::quoted(m_dm3.TaLink->tableName());
    const QString pictures = store::Store::quoted(m_dm3.TaLinkImg->tableName());
    const QVariant lowest = s.value(QStringLiteral("SELECT min(\"No\") FROM %1 WHERE \"Mode\" = 1").arg(links));
    store::Batch batch(s);
    for (const QString& table : {links, pictures})
        s.exec(QStringLiteral("UPDATE %1 SET \"Mode\" = 0, \"Comment\" = ? WHERE \"Mode\" = 1").arg(table),
               {wordOf(0)});
    batch.commit();
    m_dm3.TaLink->refresh();
    m_dm3.TaLinkImg->refresh();
    return lowest.isNull() ? 0 : lowest.toInt();
}

void ExplorationTables::ensureQueueIndexes()
{
    if (m_queueIndexed)
        return;
    // Store-level indexes, unnamed for the handles (which list only their own
    // named indexes); made once in a store that lacks them.
    store::Store& s = m_dm3.store();
    const QString pages = m_dm3.TaLink->tableName();
    const QString pictures = m_dm3.TaLinkImg->tableName();
    s.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (\"Mode\", \"Link\", \"No\")")
               .arg(store::Store::quoted(pages + QStringLiteral(":reach")), store::Store::quoted(pages)));
    s.exec(QStringLiteral("CREATE INDEX IF NOT EXISTS %1 ON %2 (\"Mode\", \"No\")")
               .arg(store::Store::quoted(pictures + QStringLiteral(":queue")), store::Store::quoted(pictures)));
    // The page links' former index, which the one above replaces.
    s.exec(QStringLiteral("DROP INDEX IF EXISTS %1").arg(store::Store::quoted(pages + QStringLiteral(":queue"))));
    m_queueIndexed = true;
}

QVariant ExplorationTables::NextPageLinkNumber(qint32 from, bool followExternal, qint32 linkMax, const AddressFilter& due)
{
    ensureQueueIndexes();
    // Distances 0 to reach - 1 may be followed. One probe of the (Mode,
    // Link, No) index per distance finds the first row of each: the rows at
    // Mode 0 too far to be followed, which a crawl gathers by the thousand,
    // are never walked. Distances past kProbedDistances share one range.
    constexpr qint32 kProbedDistances = 16;
    const qint32 reach = followExternal ? std::max(linkMax, 1) : 1;
    const QString table = store::Store::quoted(m_dm3.TaLink->tableName());
    QVariant first;
    auto consider = [&first](const QVariant& found) {
        if (!found.isNull() && (first.isNull() || found.toLongLong() < first.toLongLong()))
            first = found;
    };
    // plain: the probe's own statement for the first row alone.
    const auto probe = [&](const QString& condition, const QString& plain, const QVariantList& bind) {
        if (due)
            return firstDue(m_dm3.store(),
                            QStringLiteral("SELECT \"No\", \"URL\" FROM %1 WHERE %2 ORDER BY \"No\"").arg(table, condition),
                            bind, due);
        return m_dm3.store().value(plain.arg(table, condition), bind);
    };
    for (qint32 d = 0; d < std::min(reach, kProbedDistances); ++d)
        consider(probe(QStringLiteral("\"Mode\" = 0 AND \"Link\" = ? AND \"No\" >= ?"),
                       QStringLiteral("SELECT \"No\" FROM %1 WHERE %2 ORDER BY \"No\" LIMIT 1"), {d, from}));
    if (reach > kProbedDistances)
        consider(probe(QStringLiteral("\"Mode\" = 0 AND \"Link\" >= ? AND \"Link\" < ? AND \"No\" >= ?"),
                       QStringLiteral("SELECT min(\"No\") FROM %1 WHERE %2"), {kProbedDistances, reach, from}));
    return first;
}

QVariant ExplorationTables::NextImageLinkNumber(bool markedOnly, const AddressFilter& due)
{
    ensureQueueIndexes();
    const QString table = store::Store::quoted(m_dm3.TaLinkImg->tableName());
    const QString condition = markedOnly ? QStringLiteral("\"Mode\" = 0 AND \"印\" = ?") : QStringLiteral("\"Mode\" = 0");
    const QVariantList bind = markedOnly ? QVariantList{QStringLiteral("〆")} : QVariantList{};
    if (due)
        return firstDue(m_dm3.store(), QStringLiteral("SELECT \"No\", \"URL\" FROM %1 WHERE %2 ORDER BY \"No\"").arg(table, condition),
                        bind, due);
    return m_dm3.store().value(QStringLiteral("SELECT \"No\" FROM %1 WHERE %2 ORDER BY \"No\" LIMIT 1").arg(table, condition),
                               bind);
}

bool ExplorationTables::DeleteImageLinkByURL(const QString& address)
{
    store::Table& grid = *m_dm3.TaLinkImg;
    store::openIfClosed(grid);
    grid.setIndexName(QStringLiteral("KeyURL"));
    if (!grid.findKey({address}))
        return false;
    grid.remove();
    return true;
}

QString ExplorationTables::keyAddress(const QString& address)
{
    QString a = QString::fromUtf8(NormalizeURL(address.toUtf8()));
    qsizetype begin = 0;
    qsizetype end = a.size();
    while (begin < end && isBlankOrControl(a.at(begin)))
        ++begin;
    while (end > begin && isBlankOrControl(a.at(end - 1)))
        --end;
    return a.mid(begin, end - begin);
}

bool ExplorationTables::writeRecord(store::Table& writer, store::Table& serials, store::Table& grid,
                                    const QString& host, const QString& address, const qint32* link, qint32 mode,
                                    WriteOp op, bool logUpdates)
{
    if (address.isEmpty())
        return false;
    const QString key = keyAddress(address);
    store::openIfClosed(writer);
    if (op == WriteOp::Insert) {
        const auto last = m_lastNumbers.constFind(&serials);
        const qint32 number = last != m_lastNumbers.cend() ? *last + 1 : NextSerial(serials);
        writer.insert();
        writer.fieldByName(QStringLiteral("No")).setAsInteger(number);
        if (link)
            writer.fieldByName(QStringLiteral("Link")).setAsInteger(*link);
        writer.fieldByName(QStringLiteral("URL")).setAsString(key);
        writer.fieldByName(QStringLiteral("Host")).setAsString(host);
        writer.fieldByName(QStringLiteral("Date")).setAsDateTime(today());
        writer.fieldByName(QStringLiteral("Mode")).setAsInteger(mode);
        writer.fieldByName(QStringLiteral("Comment")).setAsString(wordOf(mode));
        try {
            writer.post();
        } catch (const store::StoreError& e) {
            writer.cancel();
            // A second record with the same address: nothing is recorded.
            // Any other refusal is the store failing, not a duplicate.
            if (e.isDuplicate())
                return false;
            throw;
        }
        if (m_recording)
            m_lastNumbers.insert(&serials, number);
        else
            grid.refresh();
        return true;
    }

    writer.setIndexName(QStringLiteral("KeyURL"));
    if (!writer.findKey({key})) {
        if (logUpdates)
            m_log.LogError(QStringLiteral("Error ") + key);
        return false;
    }
    writer.edit();
    writer.fieldByName(QStringLiteral("Mode")).setAsInteger(mode);
    writer.fieldByName(QStringLiteral("Comment")).setAsString(wordOf(mode));
    try {
        writer.post();
    } catch (const store::StoreError&) {
        writer.cancel();
        throw;
    }
    if (!m_recording)
        grid.refresh();
    if (logUpdates)
        m_log.LogNormal(QStringLiteral("Update Done ") + key + QLatin1Char(' ') + wordOf(mode));
    return true;
}

ExplorationTables::Recording::Recording(ExplorationTables& tables)
    : m_tables(tables)
{
    Q_ASSERT(!m_tables.m_recording);
    m_batch = std::make_unique<store::Batch>(m_tables.m_dm3.store());
    m_tables.m_recording = true;
    for (store::Table* grid : {m_tables.m_dm3.TaLink, m_tables.m_dm3.TaLinkImg, m_tables.m_dm3.TaHost})
        grid->blockSignals(true);
}

void ExplorationTables::Recording::commit()
{
    store::Table& hosts = *m_tables.m_dm3.TaHost;
    if (!m_tables.m_hostsSeen.isEmpty())
        hosts.setIndexName(QString());
    for (auto it = m_tables.m_hostsSeen.cbegin(); it != m_tables.m_hostsSeen.cend(); ++it) {
        if (it->unwrittenLinks == 0 || !hosts.findKey({it.key()}))
            continue;
        hosts.edit();
        store::Field urls = hosts.fieldByName(QStringLiteral("URL"));
        urls.setAsInteger(urls.asInteger() + it->unwrittenLinks);
        hosts.post();
    }
    m_batch->commit();
    end();
}

ExplorationTables::Recording::~Recording()
{
    if (m_tables.m_recording) {
        m_batch.reset(); // rolled back
        end();
    }
}

void ExplorationTables::Recording::end()
{
    m_tables.m_recording = false;
    m_tables.m_hostsSeen.clear();
    m_tables.m_lastNumbers.clear();
    for (store::Table* grid : {m_tables.m_dm3.TaLink, m_tables.m_dm3.TaLinkImg, m_tables.m_dm3.TaHost}) {
        grid->blockSignals(false);
        try {
            if (grid->isOpen())
                grid->refresh();
        } catch (const store::StoreError&) {
            // The store failing is reported by the work that ended here.
        }
    }
}

bool ExplorationTables::WriteLinkRecord(const QString& host, const QString& address, qint32 link, qint32 mode,
                                        WriteOp op)
{
    return writeRecord(*m_dm3.TaLink2, *m_dm3.TaLink3, *m_dm3.TaLink, host, address, &link, mode, op, false);
}

bool ExplorationTables::WriteImageLinkRecord(const QString& host, const QString& address, qint32 mode, WriteOp op)
{
    return writeRecord(*m_dm3.TaLinkImg2, *m_dm3.TaLinkImg3, *m_dm3.TaLinkImg, host, address, nullptr, mode, op,
                       true);
}

void ExplorationTables::SetStartHost(const QString& host)
{
    store::Table& hosts = *m_dm3.TaHost;
    store::openIfClosed(hosts);

    // A start host already known at another distance becomes the distance-0
    // host; the previous start host gives way, as it would be overwritten.
    hosts.setIndexName(QString());
    if (hosts.findKey({host}) && hosts.fieldByName(QStringLiteral("Link")).asInteger() != 0) {
        hosts.setIndexName(QStringLiteral("Link"));
        if (hosts.findKey({0}))
            hosts.remove();
        hosts.setIndexName(QString());
        hosts.findKey({host});
        hosts.edit();
    } else {
        hosts.setIndexName(QStringLiteral("Link"));
        hosts.findNearest({0});
        if (hosts.isEmpty() || hosts.fieldByName(QStringLiteral("Link")).asInteger() == 0)
            hosts.edit();
        else
            hosts.insert();
    }
    hosts.fieldByName(QStringLiteral("Level")).setAsInteger(0);
    hosts.fieldByName(QStringLiteral("Host")).setAsString(host);
    hosts.fieldByName(QStringLiteral("Date")).setAsDateTime(today());
    hosts.fieldByName(QStringLiteral("URL")).setAsInteger(0);
    hosts.fieldByName(QStringLiteral("Image")).setAsInteger(0);
    hosts.fieldByName(QStringLiteral("Link")).setAsInteger(0);
    hosts.post();
}

bool ExplorationTables::EnterHost(const QString& host, qint32& distance)
{
    if (m_recording) {
        const auto seen = m_hostsSeen.find(host);
        if (seen != m_hostsSeen.end()) {
            seen->unwrittenLinks += 1;
            distance = seen->distance;
            return false;
        }
    }
    store::Table& hosts = *m_dm3.TaHost;
    store::openIfClosed(hosts);
    hosts.setIndexName(QString());
    if (hosts.findKey({host})) {
        hosts.edit();
        store::Field urls = hosts.fieldByName(QStringLiteral("URL"));
        urls.setAsInteger(urls.asInteger() + 1);
        distance = hosts.fieldByName(QStringLiteral("Link")).asInteger();
        hosts.post();
        if (m_recording)
            m_hostsSeen.insert(host, {distance, 0});
        return false;
    }
    hosts.insert();
    hosts.fieldByName(QStringLiteral("Host")).setAsString(host);
    hosts.fieldByName(QStringLiteral("Level")).setAsInteger(0);
    hosts.fieldByName(QStringLiteral("Date")).setAsDateTime(today());
    hosts.fieldByName(QStringLiteral("URL")).setAsInteger(0);
    hosts.fieldByName(QStringLiteral("Image")).setAsInteger(0);
    distance = distance + 1;
    hosts.fieldByName(QStringLiteral("Link")).setAsInteger(distance);
    hosts.post();
    if (m_recording)
        m_hostsSeen.insert(host, {distance, 0});
    return true;
}

void ExplorationTables::MarkAllImageLinks()
{
    store::Table& grid = *m_dm3.TaLinkImg;
    store::openIfClosed(grid);
    store::Batch batch(grid.store());
    for (grid.first(); !grid.eof(); grid.next()) {
        grid.edit();
        grid.fieldByName(QStringLiteral("印")).setAsString(store::markText());
        grid.post();
    }
    batch.commit();
}

void ExplorationTables::ClearImageMarksAndModes()
{
    store::Table& t = *m_dm3.TaLinkImg2;
    store::openIfClosed(t);
    store::Batch batch(t.store());
    for (t.first(); !t.eof(); t.next()) {
        t.edit();
        t.fieldByName(QStringLiteral("印")).setAsString(QString());
        t.fieldByName(QStringLiteral("Mode")).setAsInteger(0);
        t.fieldByName(QStringLiteral("Comment")).setAsString(wordOf(0));
        t.post();
    }
    batch.commit();
    m_dm3.TaLinkImg->refresh();
}

void ExplorationTables::ResetImageModes()
{
    store::Table& t = *m_dm3.TaLinkImg3;
    store::openIfClosed(t);
    store::Batch batch(t.store());
    for (t.first(); !t.eof(); t.next()) {
        t.edit();
        t.fieldByName(QStringLiteral("Mode")).setAsInteger(0);
        t.fieldByName(QStringLiteral("Comment")).setAsString(wordOf(0));
        t.post();
    }
    batch.commit();
    m_dm3.TaLinkImg->refresh();
}

int ExplorationTables::CountMarkedImageLinks()
{
    store::Table& t = *m_dm3.TaLinkImg3;
    store::openIfClosed(t);
    int count = 0;
    for (t.first(); !t.eof(); t.next()) {
        if (t.fieldByName(QStringLiteral("印")).asString() == store::markText())
            ++count;
    }
    return count;
}

} // namespace web
