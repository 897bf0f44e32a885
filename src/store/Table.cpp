// A handle's opening, its order of rows and its cursor; the keys and the
// editing of records are in TableEditing.cpp, the fields in Field.cpp.

#include "store/Table.h"

#include "store/FieldCodec.h"
#include "store/TableDetail.h"

#include <QMetaMethod>
#include <QSqlError>
#include <QSqlQuery>

namespace store {

using detail::fromColumn;
using detail::indexFieldsOf;
using detail::isNullValue;

namespace detail {

int indexOfField(const QList<FieldDef>& fields, const QString& name)
{
    for (int i = 0; i < fields.size(); ++i)
        if (fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

bool indexFieldsOf(const QList<IndexDef>& indexes, const QString& name, QStringList* fields)
{
    fields->clear();
    for (const IndexDef& ix : indexes) {
        if (name.isEmpty() ? ix.primary : (!ix.primary && ix.name.compare(name, Qt::CaseInsensitive) == 0)) {
            *fields = ix.fields;
            return true;
        }
    }
    return name.isEmpty();
}

StoreError writeError(const QString& table, const QSqlError& error)
{
    const QString text = error.databaseText();
    // SQLite's words, or the server's SQLSTATE.
    if (text.contains(QLatin1String("UNIQUE constraint failed"), Qt::CaseInsensitive)
        || error.nativeErrorCode() == u"23505")
        return sqlError(QStringLiteral("テーブル %1 のキーが重複しています").arg(table), error, StoreError::Kind::Duplicate);
    if (text.contains(QLatin1String("NOT NULL constraint failed"), Qt::CaseInsensitive)
        || error.nativeErrorCode() == u"23502")
        return sqlError(QStringLiteral("テーブル %1 の必須フィールドに値がありません").arg(table), error);
    return sqlError(QStringLiteral("テーブル %1 に書き込めません").arg(table), error);
}

} // namespace detail

namespace {

// Records read for grids are kept for a while; pictures make rows large, so
// the cache is bounded by bytes as well as by rows.
constexpr int kMaxCacheRows = 512;
constexpr qint64 kMaxCacheBytes = 32 * 1024 * 1024;

qint64 approximateBytes(const QVariantList& row)
{
    qint64 n = 0;
    for (const QVariant& v : row) {
        n += 16;
        if (v.typeId() == QMetaType::QByteArray)
            n += v.toByteArray().size();
        else if (v.typeId() == QMetaType::QString)
            n += 2 * v.toString().size();
    }
    return n;
}

} // namespace

// ---- Table: open and close ---------------------------------------------------

Table::Table(Store& store, const QString& tableName, QObject* parent)
    : QObject(parent)
    , m_store(store)
    , m_tableName(tableName)
{
}

Table::~Table()
{
    finishStatements();
}

void Table::finishStatements()
{
    m_statements.clear();
}

QSqlQuery& Table::statement(const QString& sql)
{
    auto it = m_statements.find(sql);
    if (it == m_statements.end()) {
        // Update statements vary with the fields changed; keep the set small.
        if (m_statements.size() >= 64)
            m_statements.clear();
        auto q = std::make_unique<QSqlQuery>(m_store.db());
        q->setForwardOnly(true);
        if (!q->prepare(sql))
            throw detail::sqlError(QStringLiteral("テーブル %1 を読めません").arg(m_tableName), q->lastError());
        it = m_statements.emplace(sql, std::move(q)).first;
    }
    return *it->second;
}

void Table::requireOpen() const
{
    if (m_state == State::Inactive)
        throw StoreError(QStringLiteral("テーブル %1 は開いていません").arg(m_tableName));
}

void Table::requireEditing() const
{
    requireOpen();
    if (m_state == State::Browse)
        throw StoreError(QStringLiteral("テーブル %1 は編集状態ではありません").arg(m_tableName));
}

const FieldDef& Table::def(int field) const
{
    if (field < 0 || field >= m_fields.size())
        throw StoreError(QStringLiteral("テーブル %1 にフィールド番号 %2 はありません").arg(m_tableName).arg(field));
    return m_fields[field];
}

void Table::setTableName(const QString& name)
{
    if (isOpen())
        throw StoreError(QStringLiteral("開いているテーブル %1 の名前は変えられません").arg(m_tableName));
    m_tableName = name;
}

void Table::open()
{
    if (isOpen())
        return;
    if (m_tableName.isEmpty())
        throw StoreError(QStringLiteral("テーブル名が指定されていません"));
    const QString stored = m_store.storedName(m_tableName);
    if (stored.isEmpty())
        throw StoreError(QStringLiteral("テーブル %1 が見つかりません").arg(m_tableName));
    // A server's names keep their letter case: statements use the name held.
    if (m_store.isServer())
        m_tableName = stored;
    if (!m_store.mayOpen(m_tableName))
        throw StoreError(QStringLiteral("テーブル %1 はパスワードで保護されています").arg(m_tableName));

    const QList<FieldDef> fields = m_store.fieldDefs(m_tableName);
    const QList<IndexDef> indexes = m_store.indexDefs(m_tableName);
    QStringList indexFields;
    if (!indexFieldsOf(indexes, m_indexName, &indexFields))
        throw StoreError(QStringLiteral("テーブル %1 に索引 %2 はありません").arg(m_tableName, m_indexName));
    m_fields = fields;
    m_indexes = indexes;
    m_indexFields = indexFields;
    makeStatementTexts();

    finishStatements();
    // Prepared here so that a table the store cannot read fails the open.
    try {
        statement(fetchSql());
    } catch (...) {
        finishStatements();
        throw;
    }

    m_state = State::Browse;
    m_snapshotValid = false;
    m_prefixValid = false;
    m_rowids.clear();
    m_cache.clear();
    m_cacheBytes = 0;
    try {
        const qint64 rowid = queryRowid({}, {});
        moveToRowid(rowid, rowid >= 0 ? 0 : -1);
    } catch (...) {
        m_state = State::Inactive;
        finishStatements();
        throw;
    }
    m_eof = m_bof = m_currentRowid < 0;
    emit stateChanged();
    emit dataChanged();
    emitMoved();
}

void Table::close()
{
    if (!isOpen())
        return;
    m_state = State::Inactive;
    finishStatements();
    m_rowids.clear();
    m_snapshotValid = false;
    m_prefixValid = false;
    m_cache.clear();
    m_cacheBytes = 0;
    m_currentRowid = -1;
    m_pos = -1;
    m_current.clear();
    m_changed.clear();
    m_modified = false;
    m_eof = m_bof = true;
    emit stateChanged();
    emit dataChanged();
}

// ---- Table: order and positions ------------------------------------------------

QString Table::columnList() const
{
    QStringList cols;
    for (const FieldDef& f : m_fields)
        cols << Store::quoted(f.name);
    return cols.join(QLatin1String(", "));
}

QString Table::orderBy(bool descending) const
{
    return descending ? m_orderDesc : m_orderAsc;
}

void Table::makeStatementTexts()
{
    auto order = [this](bool descending) {
        const QLatin1String dir = descending ? QLatin1String(" DESC") : QLatin1String("");
        QStringList terms;
        for (const QString& f : m_indexFields)
            terms << Store::quoted(f) + dir + m_store.unsetFirst(descending);
        terms << QLatin1String("rowid") + dir;
        return terms.join(QLatin1String(", "));
    };
    m_orderAsc = order(false);
    m_orderDesc = order(true);
    QStringList marks;
    for (int i = 0; i < m_fields.size(); ++i)
        marks << QStringLiteral("?");
    m_insertSql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                      .arg(Store::quoted(m_tableName), columnList(), marks.join(QLatin1String(", ")));
    // A server says the new row's number only when asked.
    if (m_store.isServer())
        m_insertSql += QLatin1String(" RETURNING rowid");
    m_fetchSql = QStringLiteral("SELECT %1 FROM %2 WHERE rowid = ?").arg(columnList(), Store::quoted(m_tableName));
}

qint64 Table::queryRowid(const QString& where, const QVariantList& bind, bool descending)
{
    QString sql = QStringLiteral("SELECT rowid FROM %1").arg(Store::quoted(m_tableName));
    if (!where.isEmpty())
        sql += QLatin1String(" WHERE ") + where;
    sql += QLatin1String(" ORDER BY ") + orderBy(descending) + QLatin1String(" LIMIT 1");
    QSqlQuery& q = statement(sql);
    for (int i = 0; i < bind.size(); ++i)
        q.bindValue(i, bind[i]);
    if (!q.exec()) {
        const QSqlError err = q.lastError();
        q.finish();
        throw detail::sqlError(QStringLiteral("テーブル %1 を読めません").arg(m_tableName), err);
    }
    const qint64 rowid = q.next() ? q.value(0).toLongLong() : -1;
    q.finish();
    return rowid;
}

QString Table::fetchSql() const
{
    return m_fetchSql;
}

bool Table::snapshotCurrent() const
{
    return m_snapshotValid && m_snapshotVersion == m_store.tableState(m_tableName).order;
}

void Table::ensureSnapshot()
{
    if (!snapshotCurrent())
        loadSnapshot();
}

void Table::loadSnapshot()
{
    const quint64 version = m_store.tableState(m_tableName).order;
    QSqlQuery q(m_store.db());
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT rowid FROM %1 ORDER BY %2").arg(Store::quoted(m_tableName), orderBy())))
        throw detail::sqlError(QStringLiteral("テーブル %1 を読めません").arg(m_tableName), q.lastError());
    m_rowids.clear();
    const qint64 known = m_store.tableState(m_tableName).count;
    if (known > 0)
        m_rowids.reserve(known);
    while (q.next())
        m_rowids.append(q.value(0).toLongLong());
    q.finish();
    m_store.tableState(m_tableName).count = m_rowids.size();
    m_snapshotValid = true;
    m_snapshotVersion = version;
    m_pos = -1;
    ++m_snapshotLoads;
}

int Table::resolvePosition()
{
    if (m_currentRowid < 0)
        return -1;
    ensureSnapshot();
    if (m_pos >= 0 && m_pos < m_rowids.size() && m_rowids[m_pos] == m_currentRowid)
        return m_pos;
    m_pos = int(m_rowids.indexOf(m_currentRowid));
    if (m_pos >= 0)
        m_posHint = m_pos;
    return m_pos;
}

QVariantList Table::fetch(qint64 rowid, bool useCache)
{
    const quint64 content = m_store.tableState(m_tableName).content;
    if (m_cacheVersion != content) {
        m_cache.clear();
        m_cacheBytes = 0;
        m_cacheVersion = content;
    }
    if (useCache) {
        const auto it = m_cache.constFind(rowid);
        if (it != m_cache.constEnd())
            return *it;
    }
    QSqlQuery& q = statement(fetchSql());
    q.bindValue(0, rowid);
    if (!q.exec()) {
        const QSqlError err = q.lastError();
        q.finish();
        throw detail::sqlError(QStringLiteral("テーブル %1 を読めません").arg(m_tableName), err);
    }
    QVariantList row;
    if (q.next()) {
        row.reserve(m_fields.size());
        for (int i = 0; i < m_fields.size(); ++i)
            row << fromColumn(m_fields[i], q.value(i));
    }
    q.finish();
    if (!row.isEmpty()) {
        const qint64 bytes = approximateBytes(row);
        if (m_cache.size() >= kMaxCacheRows || m_cacheBytes + bytes > kMaxCacheBytes) {
            m_cache.clear();
            m_cacheBytes = 0;
        }
        if (bytes <= kMaxCacheBytes / 4) {
            m_cache.insert(rowid, row);
            m_cacheBytes += bytes;
        }
    }
    return row;
}

void Table::clearCurrent()
{
    m_currentRowid = -1;
    m_pos = -1;
    m_current = QVariantList(m_fields.size());
    m_changed = QVector<bool>(m_fields.size(), false);
    m_modified = false;
}

void Table::readCurrent()
{
    m_changed = QVector<bool>(m_fields.size(), false);
    m_modified = false;
    if (m_currentRowid < 0) {
        m_current = QVariantList(m_fields.size());
        return;
    }
    m_current = fetch(m_currentRowid, true);
    if (m_current.isEmpty())
        m_current = QVariantList(m_fields.size());
}

void Table::keepWritten(const QVariantList& written)
{
    // Every buffer value reads back from its column as itself, except dates
    // beyond the four-digit years, which do not read back, and a date-time
    // of another kind than local time: the column keeps its clock reading,
    // which reads back as local time. Those few take the reading path.
    for (int i = 0; i < m_fields.size(); ++i) {
        const QVariant& v = m_current[i];
        const FieldType type = m_fields[i].type;
        if (isNullValue(v) || (type != FieldType::Date && type != FieldType::DateTime))
            continue;
        const QDateTime dt = type == FieldType::DateTime ? v.toDateTime() : QDateTime();
        const int year = type == FieldType::Date ? v.toDate().year() : dt.date().year();
        if (year < 1 || year > 9999 || (type == FieldType::DateTime && dt.timeSpec() != Qt::LocalTime))
            m_current[i] = fromColumn(m_fields[i], written[i]);
    }
    m_changed = QVector<bool>(m_fields.size(), false);
    m_modified = false;
}

void Table::moveToRowid(qint64 rowid, int pos)
{
    m_currentRowid = rowid;
    m_pos = rowid >= 0 ? pos : -1;
    if (m_pos >= 0)
        m_posHint = m_pos;
    readCurrent();
}

void Table::moveToPosition(int pos)
{
    moveToRowid(m_rowids[pos], pos);
}

void Table::emitMoved(int knownPosition)
{
    static const QMetaMethod signal = QMetaMethod::fromSignal(&Table::cursorMoved);
    if (!isSignalConnected(signal))
        return;
    if (knownPosition >= 0 || m_currentRowid < 0 || snapshotCurrent()) {
        emit cursorMoved(knownPosition >= 0 ? knownPosition : recNo());
        return;
    }
    // Working out the position means reading the whole order. A burst of
    // moves (a refresh after every write of an exploration) gets one signal,
    // on the next turn of the event loop, with the position at that time.
    if (m_movePending)
        return;
    m_movePending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_movePending = false;
            if (isOpen())
                emit cursorMoved(recNo());
        },
        Qt::QueuedConnection);
}

// ---- Table: cursor ---------------------------------------------------------------

void Table::settle()
{
    if (m_state == State::Edit || m_state == State::Insert) {
        if (m_modified)
            post();
        else
            cancel();
    }
}

void Table::first()
{
    requireOpen();
    settle();
    qint64 rowid;
    if (snapshotCurrent())
        rowid = m_rowids.isEmpty() ? -1 : m_rowids.first();
    else
        rowid = queryRowid({}, {});
    moveToRowid(rowid, 0);
    m_eof = m_bof = rowid < 0;
    emitMoved(rowid >= 0 ? 0 : -1);
}

void Table::last()
{
    requireOpen();
    settle();
    qint64 rowid;
    int pos = -1;
    if (snapshotCurrent()) {
        rowid = m_rowids.isEmpty() ? -1 : m_rowids.last();
        pos = int(m_rowids.size()) - 1;
    } else {
        rowid = queryRowid({}, {}, true);
    }
    moveToRowid(rowid, pos);
    m_eof = m_bof = rowid < 0;
    emitMoved(rowid >= 0 ? recordCount() - 1 : -1);
}

void Table::next()
{
    requireOpen();
    settle();
    if (m_currentRowid < 0) {
        m_eof = m_bof = true;
        return;
    }
    int pos = resolvePosition();
    if (pos < 0) {
        // The current record was deleted through another handle: stand on
        // the record that now holds its place.
        if (m_rowids.isEmpty()) {
            clearCurrent();
            m_eof = m_bof = true;
        } else {
            moveToPosition(qMin(m_posHint, int(m_rowids.size()) - 1));
            m_eof = m_bof = false;
        }
        emitMoved();
        return;
    }
    if (pos + 1 < m_rowids.size()) {
        moveToPosition(pos + 1);
        m_eof = m_bof = false;
        emitMoved();
    } else {
        m_eof = true;
        m_bof = false;
    }
}

void Table::prior()
{
    requireOpen();
    settle();
    if (m_currentRowid < 0) {
        m_eof = m_bof = true;
        return;
    }
    int pos = resolvePosition();
    if (pos < 0) {
        if (m_rowids.isEmpty()) {
            clearCurrent();
            m_eof = m_bof = true;
        } else {
            moveToPosition(qBound(0, m_posHint - 1, int(m_rowids.size()) - 1));
            m_eof = m_bof = false;
        }
        emitMoved();
        return;
    }
    if (pos > 0) {
        moveToPosition(pos - 1);
        m_eof = m_bof = false;
        emitMoved();
    } else {
        m_bof = true;
        m_eof = false;
    }
}

bool Table::eof() const
{
    return m_eof;
}

bool Table::bof() const
{
    return m_bof;
}

bool Table::isEmpty()
{
    return recordCount() == 0;
}

int Table::recordCount()
{
    if (!isOpen())
        return 0;
    if (snapshotCurrent())
        return int(m_rowids.size());
    return int(m_store.countRows(m_tableName));
}

int Table::recNo() const
{
    if (!isOpen())
        return -1;
    auto* self = const_cast<Table*>(this);
    // A cursor among the first rows of an order, where a grid's cursor
    // mostly stands, is placed without reading the whole order.
    if (m_currentRowid >= 0 && !self->snapshotCurrent()) {
        const qsizetype at = self->firstRowids().indexOf(m_currentRowid);
        if (at >= 0)
            return int(at);
    }
    return self->resolvePosition();
}

void Table::moveTo(int recNo)
{
    requireOpen();
    settle();
    ensureSnapshot();
    if (m_rowids.isEmpty()) {
        clearCurrent();
        m_eof = m_bof = true;
    } else {
        moveToPosition(qBound(0, recNo, int(m_rowids.size()) - 1));
        m_eof = m_bof = false;
    }
    emitMoved();
}

void Table::refresh()
{
    requireOpen();
    settle();
    m_snapshotValid = false;
    m_prefixValid = false;
    m_cache.clear();
    m_cacheBytes = 0;
    // Other writers of a server table write without telling this store.
    if (m_store.isServer())
        m_store.noteUnknownChange(m_tableName);
    // The row count stays: the store keeps it through every write it makes,
    // and counting a large table again costs a walk of it.
    if (m_currentRowid >= 0) {
        const QVariantList row = fetch(m_currentRowid, false);
        if (!row.isEmpty()) {
            m_current = row;
            m_pos = -1;
        } else {
            ensureSnapshot();
            if (m_rowids.isEmpty())
                clearCurrent();
            else
                moveToPosition(qMin(m_posHint, int(m_rowids.size()) - 1));
        }
    } else {
        const qint64 rowid = queryRowid({}, {});
        moveToRowid(rowid, 0);
    }
    m_eof = m_bof = m_currentRowid < 0;
    emit dataChanged();
    emitMoved();
}

const QList<qint64>& Table::firstRowids()
{
    const quint64 version = m_store.tableState(m_tableName).order;
    if (!m_prefixValid || m_prefixVersion != version) {
        QSqlQuery q(m_store.db());
        q.setForwardOnly(true);
        if (!q.exec(QStringLiteral("SELECT rowid FROM %1 ORDER BY %2 LIMIT %3")
                        .arg(Store::quoted(m_tableName), orderBy())
                        .arg(kPrefixRows)))
            throw detail::sqlError(QStringLiteral("テーブル %1 を読めません").arg(m_tableName), q.lastError());
        m_prefix.clear();
        while (q.next())
            m_prefix.append(q.value(0).toLongLong());
        q.finish();
        m_prefixValid = true;
        m_prefixVersion = version;
    }
    return m_prefix;
}

QVariantList Table::recordAt(int recNo)
{
    if (!isOpen())
        return {};
    // The first rows of an order, which a grid shows when it opens, come
    // from a short read of its start: a grid on a million rows then opens
    // without reading them all. Rows further on need the whole order.
    if (!snapshotCurrent() && recNo >= 0 && recNo < kPrefixRows) {
        const QList<qint64>& first = firstRowids();
        return recNo < first.size() ? fetch(first[recNo], true) : QVariantList();
    }
    ensureSnapshot();
    if (recNo < 0 || recNo >= m_rowids.size())
        return {};
    return fetch(m_rowids[recNo], true);
}

} // namespace store
