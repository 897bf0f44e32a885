#include "store/Table.h"

#include "store/FieldCodec.h"

#include <QBuffer>
#include <QFile>
#include <QMetaMethod>
#include <QSqlError>
#include <QSqlQuery>
#include <limits>

namespace store {

using detail::fromColumn;
using detail::normalize;
using detail::toColumn;

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

bool isNullValue(const QVariant& v)
{
    return !v.isValid() || v.isNull();
}

int indexOfField(const QList<FieldDef>& fields, const QString& name)
{
    for (int i = 0; i < fields.size(); ++i)
        if (fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

// The fields of the named index: empty name = primary (no primary key: none,
// the order is then the insertion order). False for an unknown name.
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
    if (text.contains(QLatin1String("UNIQUE constraint failed"), Qt::CaseInsensitive))
        return detail::sqlError(QStringLiteral("テーブル %1 のキーが重複しています").arg(table), error,
                                StoreError::Kind::Duplicate);
    if (text.contains(QLatin1String("NOT NULL constraint failed"), Qt::CaseInsensitive))
        return detail::sqlError(QStringLiteral("テーブル %1 の必須フィールドに値がありません").arg(table), error);
    return detail::sqlError(QStringLiteral("テーブル %1 に書き込めません").arg(table), error);
}

} // namespace

// ---- Field -----------------------------------------------------------------

QString Field::name() const
{
    return m_table->def(m_index).name;
}

QString Field::displayLabel() const
{
    return name();
}

FieldType Field::type() const
{
    return m_table->def(m_index).type;
}

int Field::size() const
{
    return m_table->def(m_index).size;
}

QVariant Field::value() const
{
    return m_table->currentValue(m_index);
}

void Field::setValue(const QVariant& v)
{
    m_table->setCurrentValue(m_index, v);
}

bool Field::isNull() const
{
    return isNullValue(value());
}

void Field::clear()
{
    setValue(QVariant());
}

QString Field::asString() const
{
    return detail::displayText(m_table->def(m_index), value());
}

void Field::setAsString(const QString& s)
{
    setValue(QVariant(s));
}

qint32 Field::asInteger() const
{
    const FieldDef& d = m_table->def(m_index);
    const QVariant v = value();
    if (isNullValue(v))
        return 0;
    switch (d.type) {
    case FieldType::Short:
    case FieldType::Long: {
        const qlonglong n = v.toLongLong();
        if (n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())
            break;
        return qint32(n);
    }
    case FieldType::Bool:
        return v.toBool() ? 1 : 0;
    case FieldType::Text:
    case FieldType::Memo: {
        bool ok = false;
        const qlonglong n = v.toString().trimmed().toLongLong(&ok);
        if (ok && n >= std::numeric_limits<qint32>::min() && n <= std::numeric_limits<qint32>::max())
            return qint32(n);
        break;
    }
    default:
        break;
    }
    throw StoreError(QStringLiteral("フィールド %1 の値 '%2' は整数ではありません").arg(d.name, asString()));
}

void Field::setAsInteger(qint32 v)
{
    const FieldType t = type();
    if (t == FieldType::Date || t == FieldType::DateTime || detail::isBlob(t))
        throw StoreError(QStringLiteral("フィールド %1 に整数は設定できません").arg(name()));
    setValue(QVariant(v));
}

QDateTime Field::asDateTime() const
{
    const QVariant v = value();
    if (isNullValue(v))
        return {};
    switch (type()) {
    case FieldType::DateTime:
        return v.toDateTime();
    case FieldType::Date:
        return v.toDate().startOfDay();
    case FieldType::Text:
    case FieldType::Memo: {
        bool ok = false;
        const QDateTime dt = detail::parseDateTime(v.toString(), &ok);
        if (ok)
            return dt;
        break;
    }
    default:
        break;
    }
    throw StoreError(QStringLiteral("フィールド %1 の値 '%2' は日時ではありません").arg(name(), asString()));
}

void Field::setAsDateTime(const QDateTime& v)
{
    const FieldType t = type();
    if (t == FieldType::Text || t == FieldType::Memo)
        setValue(detail::displayDateTime(v));
    else if (t == FieldType::Date || t == FieldType::DateTime)
        setValue(v.isValid() ? QVariant(v) : QVariant());
    else
        throw StoreError(QStringLiteral("フィールド %1 に日時は設定できません").arg(name()));
}

QDate Field::asDate() const
{
    if (type() == FieldType::Date) {
        const QVariant v = value();
        return isNullValue(v) ? QDate() : v.toDate();
    }
    return asDateTime().date();
}

void Field::setAsDate(const QDate& v)
{
    const FieldType t = type();
    if (t == FieldType::Text || t == FieldType::Memo)
        setValue(detail::displayDate(v));
    else if (t == FieldType::Date || t == FieldType::DateTime)
        setValue(v.isValid() ? QVariant(v) : QVariant());
    else
        throw StoreError(QStringLiteral("フィールド %1 に日付は設定できません").arg(name()));
}

bool Field::asBoolean() const
{
    const QVariant v = value();
    if (isNullValue(v))
        return false;
    switch (type()) {
    case FieldType::Bool:
        return v.toBool();
    case FieldType::Short:
    case FieldType::Long:
        return v.toLongLong() != 0;
    case FieldType::Text:
    case FieldType::Memo: {
        const QString s = v.toString().trimmed().toLower();
        if (s == u"true" || s == u"t" || s == u"1")
            return true;
        if (s == u"false" || s == u"f" || s == u"0")
            return false;
        break;
    }
    default:
        break;
    }
    throw StoreError(QStringLiteral("フィールド %1 の値 '%2' は真偽値ではありません").arg(name(), asString()));
}

void Field::setAsBoolean(bool v)
{
    const FieldType t = type();
    if (t == FieldType::Date || t == FieldType::DateTime || detail::isBlob(t))
        throw StoreError(QStringLiteral("フィールド %1 に真偽値は設定できません").arg(name()));
    setValue(QVariant(v));
}

QByteArray Field::asBytes() const
{
    const QVariant v = value();
    if (isNullValue(v))
        return {};
    if (detail::isBlob(type()))
        return v.toByteArray();
    return asString().toUtf8();
}

void Field::setAsBytes(const QByteArray& bytes)
{
    setValue(QVariant(bytes));
}

void Field::loadFromFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw StoreError(QStringLiteral("ファイル %1 を読めません: %2").arg(path, f.errorString()));
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw StoreError(QStringLiteral("ファイル %1 を読めません: %2").arg(path, f.errorString()));
    setAsBytes(bytes);
}

void Field::saveToFile(const QString& path) const
{
    const QByteArray bytes = asBytes();
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw StoreError(QStringLiteral("ファイル %1 に書けません: %2").arg(path, f.errorString()));
    if (f.write(bytes) != bytes.size() || !f.flush())
        throw StoreError(QStringLiteral("ファイル %1 に書けません: %2").arg(path, f.errorString()));
    f.close();
    if (f.error() != QFileDevice::NoError)
        throw StoreError(QStringLiteral("ファイル %1 に書けません: %2").arg(path, f.errorString()));
}

QImage Field::asImage() const
{
    return QImage::fromData(asBytes());
}

void Field::setImage(const QImage& image)
{
    if (image.isNull()) {
        clear();
        return;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        throw StoreError(QStringLiteral("フィールド %1 に画像を設定できません").arg(name()));
    setAsBytes(bytes);
}

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
    if (!m_store.tableExists(m_tableName))
        throw StoreError(QStringLiteral("テーブル %1 が見つかりません").arg(m_tableName));
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
            terms << Store::quoted(f) + dir;
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

// ---- Table: keys -----------------------------------------------------------------

void Table::setIndexName(const QString& name)
{
    QStringList fields;
    if (!isOpen()) {
        if (!m_tableName.isEmpty() && m_store.tableExists(m_tableName)
            && !indexFieldsOf(m_store.indexDefs(m_tableName), name, &fields))
            throw StoreError(QStringLiteral("テーブル %1 に索引 %2 はありません").arg(m_tableName, name));
        m_indexName = name;
        return;
    }
    if (!indexFieldsOf(m_indexes, name, &fields))
        throw StoreError(QStringLiteral("テーブル %1 に索引 %2 はありません").arg(m_tableName, name));
    settle();
    // The same order again: nothing to read anew, nothing for a view to redo.
    if (name == m_indexName && fields == m_indexFields)
        return;
    m_indexName = name;
    m_indexFields = fields;
    makeStatementTexts();
    m_snapshotValid = false;
    m_prefixValid = false;
    m_pos = -1;
    emit dataChanged();
    emitMoved();
}

QStringList Table::indexFields() const
{
    return m_indexFields;
}

namespace {

struct KeyTerm {
    QString column;
    QVariant value; // column form; null for an unset key value
};

QList<KeyTerm> keyTerms(const QList<FieldDef>& fields, const QStringList& indexFields, const QVariantList& values,
                        const QString& table)
{
    if (indexFields.isEmpty())
        throw StoreError(QStringLiteral("テーブル %1 の現在の索引にはキーがありません").arg(table));
    if (values.size() > indexFields.size())
        throw StoreError(QStringLiteral("テーブル %1 の索引のフィールドより多くの値が指定されました").arg(table));
    QList<KeyTerm> terms;
    for (int i = 0; i < values.size(); ++i) {
        const int f = indexOfField(fields, indexFields[i]);
        if (f < 0)
            throw StoreError(QStringLiteral("テーブル %1 にフィールド %2 はありません").arg(table, indexFields[i]));
        terms << KeyTerm{Store::quoted(fields[f].name), toColumn(fields[f], normalize(fields[f], values[i]))};
    }
    return terms;
}

} // namespace

bool Table::findKey(const QVariantList& values)
{
    requireOpen();
    settle();
    if (values.isEmpty())
        return false;
    const QList<KeyTerm> terms = keyTerms(m_fields, m_indexFields, values, m_tableName);
    QStringList where;
    QVariantList bind;
    for (const KeyTerm& t : terms) {
        // IS rather than =, so that an unset key value finds an unset field.
        where << t.column + QLatin1String(" IS ?");
        bind << t.value;
    }
    const qint64 rowid = queryRowid(where.join(QLatin1String(" AND ")), bind);
    if (rowid < 0)
        return false;
    moveToRowid(rowid, -1);
    m_eof = m_bof = false;
    emitMoved();
    return true;
}

void Table::findNearest(const QVariantList& values)
{
    requireOpen();
    settle();
    if (values.isEmpty()) {
        first();
        return;
    }
    const QList<KeyTerm> terms = keyTerms(m_fields, m_indexFields, values, m_tableName);
    // (k1, k2, ...) >= (v1, v2, ...) in the index order. With every value set
    // a row-value comparison says it (and uses the index); an unset value
    // sorts before every set one, which needs the comparison written out.
    bool anyUnset = false;
    for (const KeyTerm& t : terms)
        anyUnset = anyUnset || isNullValue(t.value);
    QStringList alternatives;
    QVariantList bind;
    if (!anyUnset) {
        QStringList columns, marks;
        for (const KeyTerm& t : terms) {
            columns << t.column;
            marks << QStringLiteral("?");
            bind << t.value;
        }
        alternatives << QStringLiteral("(%1) >= (%2)").arg(columns.join(QLatin1String(", ")), marks.join(QLatin1String(", ")));
    }
    for (int i = 0; anyUnset && i <= terms.size(); ++i) {
        QStringList parts;
        for (int j = 0; j < i && j < terms.size(); ++j) {
            parts << terms[j].column + QLatin1String(" IS ?");
            bind << terms[j].value;
        }
        if (i < terms.size()) {
            if (isNullValue(terms[i].value)) {
                parts << terms[i].column + QLatin1String(" IS NOT NULL");
            } else {
                parts << terms[i].column + QLatin1String(" > ?");
                bind << terms[i].value;
            }
        }
        alternatives << QLatin1Char('(') + (parts.isEmpty() ? QStringLiteral("1") : parts.join(QLatin1String(" AND ")))
                + QLatin1Char(')');
    }
    qint64 rowid = queryRowid(alternatives.join(QLatin1String(" OR ")), bind);
    if (rowid < 0)
        rowid = queryRowid({}, {}, true);
    moveToRowid(rowid, -1);
    m_eof = m_bof = rowid < 0;
    emitMoved();
}

void Table::cancelRange()
{
}

// ---- Table: records ------------------------------------------------------------

void Table::insert()
{
    requireOpen();
    settle();
    m_state = State::Insert;
    m_current = QVariantList(m_fields.size());
    m_changed = QVector<bool>(m_fields.size(), false);
    m_modified = false;
    emit stateChanged();
}

void Table::edit()
{
    requireOpen();
    if (m_state != State::Browse)
        return;
    if (m_currentRowid < 0) {
        insert();
        return;
    }
    // Edit the record as it stands in the table now, not as this handle last
    // read it.
    const QVariantList fresh = fetch(m_currentRowid, false);
    if (fresh.isEmpty())
        throw StoreError(QStringLiteral("テーブル %1 の現在のレコードは削除されています").arg(m_tableName));
    m_current = fresh;
    m_changed = QVector<bool>(m_fields.size(), false);
    m_modified = false;
    m_state = State::Edit;
    emit stateChanged();
}

void Table::checkBeforePost() const
{
    for (int i = 0; i < m_fields.size(); ++i) {
        const FieldDef& f = m_fields[i];
        const QVariant& v = m_current[i];
        if (isNullValue(v)) {
            if (f.required)
                throw StoreError(QStringLiteral("テーブル %1 のフィールド %2 は必須です").arg(m_tableName, f.name));
            continue;
        }
        qlonglong lo = 0, hi = 0;
        if (f.type == FieldType::Short) {
            lo = std::numeric_limits<qint16>::min();
            hi = std::numeric_limits<qint16>::max();
        } else if (f.type == FieldType::Long) {
            lo = std::numeric_limits<qint32>::min();
            hi = std::numeric_limits<qint32>::max();
        } else {
            continue;
        }
        const qlonglong n = v.toLongLong();
        if (n < lo || n > hi)
            throw StoreError(QStringLiteral("テーブル %1 のフィールド %2 の値 %3 は範囲外です")
                                 .arg(m_tableName, f.name)
                                 .arg(n));
    }
}

void Table::checkNullKeys() const
{
    // SQLite lets unset values repeat in a key; a key is a key here, unset or not.
    for (const IndexDef& ix : m_indexes) {
        if (!ix.primary && !ix.unique)
            continue;
        bool hasNull = false;
        bool touched = m_state == State::Insert;
        for (const QString& name : ix.fields) {
            const int f = indexOfField(m_fields, name);
            if (f < 0)
                continue;
            hasNull = hasNull || isNullValue(m_current[f]);
            touched = touched || m_changed[f];
        }
        if (!hasNull || !touched)
            continue;
        QStringList where;
        QVariantList bind;
        for (const QString& name : ix.fields) {
            const int f = indexOfField(m_fields, name);
            if (f < 0)
                continue;
            where << Store::quoted(m_fields[f].name) + QLatin1String(" IS ?");
            bind << toColumn(m_fields[f], m_current[f]);
        }
        if (m_state == State::Edit) {
            where << QStringLiteral("rowid <> ?");
            bind << m_currentRowid;
        }
        QSqlQuery q(m_store.db());
        q.setForwardOnly(true);
        q.prepare(QStringLiteral("SELECT 1 FROM %1 WHERE %2 LIMIT 1")
                      .arg(Store::quoted(m_tableName), where.join(QLatin1String(" AND "))));
        for (const QVariant& v : bind)
            q.addBindValue(v);
        if (!q.exec())
            throw detail::sqlError(QStringLiteral("テーブル %1 を読めません").arg(m_tableName), q.lastError());
        const bool duplicate = q.next();
        q.finish();
        if (duplicate)
            throw StoreError(QStringLiteral("テーブル %1 のキーが重複しています").arg(m_tableName),
                             StoreError::Kind::Duplicate);
    }
}

bool Table::changesOrder() const
{
    for (int i = 0; i < m_fields.size(); ++i) {
        if (!m_changed[i])
            continue;
        for (const IndexDef& ix : m_indexes)
            for (const QString& name : ix.fields)
                if (name.compare(m_fields[i].name, Qt::CaseInsensitive) == 0)
                    return true;
    }
    return false;
}

void Table::post()
{
    requireOpen();
    if (m_state == State::Browse)
        return;
    if (m_state == State::Edit && !m_modified) {
        m_state = State::Browse;
        emit stateChanged();
        return;
    }
    checkBeforePost();
    checkNullKeys();

    if (m_state == State::Insert) {
        QSqlQuery& q = statement(m_insertSql);
        QVariantList written(m_fields.size());
        for (int i = 0; i < m_fields.size(); ++i) {
            written[i] = toColumn(m_fields[i], m_current[i]);
            q.bindValue(i, written[i]);
        }
        if (!q.exec()) {
            const QSqlError err = q.lastError();
            q.finish();
            throw writeError(m_tableName, err);
        }
        const qint64 rowid = q.lastInsertId().toLongLong();
        q.finish();
        m_store.noteInsert(m_tableName);
        m_state = State::Browse;
        // The new record is what was just written: keep the buffer rather
        // than read the row back.
        keepWritten(written);
        m_currentRowid = rowid;
        m_pos = -1;
    } else {
        QStringList sets;
        QVariantList bind;
        for (int i = 0; i < m_fields.size(); ++i) {
            if (!m_changed[i])
                continue;
            sets << Store::quoted(m_fields[i].name) + QLatin1String(" = ?");
            bind << toColumn(m_fields[i], m_current[i]);
        }
        const bool orderChanged = changesOrder();
        QSqlQuery& q = statement(QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?")
                                     .arg(Store::quoted(m_tableName), sets.join(QLatin1String(", "))));
        bind << m_currentRowid;
        for (int i = 0; i < bind.size(); ++i)
            q.bindValue(i, bind[i]);
        if (!q.exec()) {
            const QSqlError err = q.lastError();
            q.finish();
            throw writeError(m_tableName, err);
        }
        const int affected = q.numRowsAffected();
        q.finish();
        if (affected == 0)
            throw StoreError(QStringLiteral("テーブル %1 の現在のレコードは削除されています").arg(m_tableName));
        m_store.noteUpdate(m_tableName, orderChanged);
        m_state = State::Browse;
        readCurrent();
    }
    m_eof = m_bof = false;
    emit stateChanged();
    emit dataChanged();
    emitMoved();
}

void Table::cancel()
{
    if (m_state != State::Edit && m_state != State::Insert)
        return;
    m_state = State::Browse;
    readCurrent();
    emit stateChanged();
}

void Table::remove()
{
    requireOpen();
    if (m_state != State::Browse)
        cancel();
    if (m_currentRowid < 0)
        throw StoreError(QStringLiteral("テーブル %1 に削除するレコードがありません").arg(m_tableName));
    int pos = resolvePosition();

    QSqlQuery& q = statement(QStringLiteral("DELETE FROM %1 WHERE rowid = ?").arg(Store::quoted(m_tableName)));
    q.bindValue(0, m_currentRowid);
    if (!q.exec()) {
        const QSqlError err = q.lastError();
        q.finish();
        throw writeError(m_tableName, err);
    }
    const int affected = q.numRowsAffected();
    q.finish();

    if (affected > 0) {
        m_store.noteDelete(m_tableName);
        if (pos >= 0) {
            // Our own order stays right without a reread.
            m_rowids.remove(pos);
            m_snapshotVersion = m_store.tableState(m_tableName).order;
            m_store.tableState(m_tableName).count = m_rowids.size();
        }
    }
    if (pos < 0) {
        ensureSnapshot();
        pos = m_posHint;
    }
    if (m_rowids.isEmpty()) {
        clearCurrent();
        m_eof = m_bof = true;
    } else {
        moveToPosition(qMin(pos, int(m_rowids.size()) - 1));
        m_eof = m_bof = false;
    }
    emit dataChanged();
    emitMoved();
}

void Table::emptyTable()
{
    if (!isOpen()) {
        m_store.emptyTable(m_tableName);
        return;
    }
    const bool wasEditing = m_state != State::Browse;
    m_state = State::Browse;
    m_store.emptyTable(m_tableName);
    m_snapshotValid = false;
    m_prefixValid = false;
    m_rowids.clear();
    m_cache.clear();
    m_cacheBytes = 0;
    clearCurrent();
    m_eof = m_bof = true;
    if (wasEditing)
        emit stateChanged();
    emit dataChanged();
    emitMoved();
}

void Table::deleteTable()
{
    if (isOpen())
        throw StoreError(QStringLiteral("開いているテーブル %1 は削除できません").arg(m_tableName));
    m_store.deleteTable(m_tableName);
}

void Table::renameTable(const QString& newName)
{
    if (isOpen())
        throw StoreError(QStringLiteral("開いているテーブル %1 の名前は変えられません").arg(m_tableName));
    m_store.renameTable(m_tableName, newName);
    m_tableName = newName;
}

// ---- Table: fields ---------------------------------------------------------------

int Table::fieldCount() const
{
    return int(m_fields.size());
}

Field Table::field(int index)
{
    def(index);
    return Field(this, index);
}

Field Table::fieldByName(const QString& name)
{
    const int i = indexOfField(m_fields, name);
    if (i < 0)
        throw StoreError(QStringLiteral("テーブル %1 にフィールド %2 はありません").arg(m_tableName, name));
    return Field(this, i);
}

bool Table::hasField(const QString& name) const
{
    return indexOfField(m_fields, name) >= 0;
}

QVariant Table::currentValue(int field) const
{
    if (field < 0 || field >= m_current.size())
        return {};
    return m_current[field];
}

void Table::setCurrentValue(int field, const QVariant& v)
{
    requireEditing();
    const QVariant value = normalize(def(field), v);
    m_current[field] = value;
    m_changed[field] = true;
    m_modified = true;
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
