#include "store/Query.h"

#include "store/FieldCodec.h"

#include <QRegularExpression>
#include <QSet>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlRecord>

#include <memory>
#include <sqlite3.h>

namespace store {

namespace {

// The table a statement reads from, so that its columns can be read back with
// their field types (dates as dates). Only the first table after "from".
QString sourceTable(const QString& sql)
{
    static const QRegularExpression from(QStringLiteral(R"re(\bfrom\s+(?:"((?:[^"]|"")+)"|([^\s,;()"]+)))re"),
                                         QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = from.match(sql);
    if (!m.hasMatch())
        return {};
    if (!m.captured(1).isEmpty())
        return m.captured(1).replace(QLatin1String("\"\""), QLatin1String("\""));
    return m.captured(2);
}

// The field of each result column, found by name; none for a column that
// is no field of the table (an expression, NULL).
QList<const FieldDef*> typesOf(const QStringList& columns, const QList<FieldDef>& defs)
{
    QList<const FieldDef*> types(columns.size(), nullptr);
    for (int i = 0; i < columns.size(); ++i)
        for (const FieldDef& d : defs)
            if (d.name.compare(columns[i], Qt::CaseInsensitive) == 0)
                types[i] = &d;
    return types;
}

} // namespace

Query::Query(Store& store, QObject* parent)
    : QObject(parent)
    , m_store(store)
{
}

void Query::setSql(const QString& oneLine)
{
    close();
    m_sql = oneLine;
    // Parameters belong to a statement; a new statement starts without values.
    m_params.clear();
}

void Query::clearSql()
{
    close();
    m_sql.clear();
    m_params.clear();
}

void Query::setParam(const QString& name, const QString& text)
{
    m_params.insert(name.startsWith(QLatin1Char(':')) ? name.mid(1) : name, text);
}

namespace {

// The connection's own handle: the statement is stepped through directly,
// which reads a large result about twice as fast as the generic SQL layer.
sqlite3* handleOf(QSqlDatabase& db)
{
    const QVariant h = db.driver()->handle();
    if (!h.isValid() || qstrcmp(h.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3* const*>(h.constData());
}

StoreError refused(sqlite3* db)
{
    return StoreError(QStringLiteral("問い合わせを実行できません: ") + QString::fromUtf8(sqlite3_errmsg(db)));
}

QVariant columnValue(sqlite3_stmt* st, int i)
{
    switch (sqlite3_column_type(st, i)) {
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(st, i)));
    case SQLITE_FLOAT:
        return QVariant(sqlite3_column_double(st, i));
    case SQLITE_TEXT:
        return QVariant(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, i)),
                                          sqlite3_column_bytes(st, i)));
    case SQLITE_BLOB: {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(st, i));
        return QVariant(QByteArray(data, sqlite3_column_bytes(st, i)));
    }
    default:
        return {};
    }
}

} // namespace

void Query::openOnServer()
{
    // The field types first: while a result is being read no other statement
    // may run on the connection.
    QList<FieldDef> defs;
    const QString table = sourceTable(m_sql);
    if (!table.isEmpty() && m_store.tableExists(table))
        defs = m_store.fieldDefs(table);
    QSqlQuery q(m_store.db());
    q.setForwardOnly(true);
    if (!q.prepare(m_sql))
        throw StoreError(QStringLiteral("問い合わせを実行できません: ") + q.lastError().text());
    // Every parameter is bound; one without a value stays unset (NULL).
    static const QRegularExpression param(QStringLiteral(R"((?<![:\w]):([A-Za-z_]\w*))"));
    QSet<QString> seen;
    for (auto it = param.globalMatch(m_sql); it.hasNext();) {
        const QString name = it.next().captured(1);
        if (seen.contains(name))
            continue;
        seen.insert(name);
        const auto value = m_params.constFind(name);
        q.bindValue(QLatin1Char(':') + name,
                    value == m_params.constEnd() ? QVariant(QMetaType::fromType<QString>()) : QVariant(*value));
    }
    if (!q.exec())
        throw StoreError(QStringLiteral("問い合わせを実行できません: ") + q.lastError().text());
    QStringList columns;
    const QSqlRecord record = q.record();
    for (int i = 0; i < record.count(); ++i)
        columns << record.fieldName(i);
    const QList<const FieldDef*> types = typesOf(columns, defs);
    QVector<QVariant> cells;
    int rowCount = 0;
    while (q.next()) {
        for (int i = 0; i < columns.size(); ++i) {
            QVariant v = q.value(i);
            cells.append(types[i] ? detail::fromColumn(*types[i], v) : std::move(v));
        }
        ++rowCount;
    }
    if (q.lastError().isValid())
        throw StoreError(QStringLiteral("問い合わせを実行できません: ") + q.lastError().text());
    if (!q.isSelect())
        m_store.noteEverythingChanged();
    setResult(columns, std::move(cells), rowCount);
}

void Query::setResult(const QStringList& columns, QVector<QVariant>&& cells, int rowCount)
{
    m_columns = columns;
    m_cells = std::move(cells);
    m_rowCount = rowCount;
    m_open = true;
    m_pos = m_rowCount == 0 ? -1 : 0;
    m_eof = m_rowCount == 0;
    emit dataChanged();
    emit cursorMoved(m_pos);
}

void Query::open()
{
    close();
    if (m_store.isServer()) {
        openOnServer();
        return;
    }
    sqlite3* db = handleOf(m_store.db());
    if (!db)
        throw StoreError(QStringLiteral("問い合わせを実行できません: ストアが開いていません"));
    const QByteArray sql = m_sql.toUtf8();
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &raw, nullptr) != SQLITE_OK)
        throw refused(db);
    const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> st(raw, sqlite3_finalize);
    if (!st)
        throw StoreError(QStringLiteral("問い合わせを実行できません: 文がありません"));
    // A parameter without a value stays unset (NULL).
    for (int p = 1; p <= sqlite3_bind_parameter_count(st.get()); ++p) {
        const char* name = sqlite3_bind_parameter_name(st.get(), p);
        if (!name || name[0] != ':')
            continue;
        const auto it = m_params.constFind(QString::fromUtf8(name + 1));
        if (it == m_params.constEnd())
            continue;
        const QByteArray text = it->toUtf8();
        sqlite3_bind_text(st.get(), p, text.constData(), int(text.size()), SQLITE_TRANSIENT);
    }

    const int count = sqlite3_column_count(st.get());
    QStringList columns;
    for (int i = 0; i < count; ++i)
        columns << QString::fromUtf8(sqlite3_column_name(st.get(), i));
    const bool reads = sqlite3_stmt_readonly(st.get());
    QList<FieldDef> defs;
    if (reads && count > 0) {
        const QString table = sourceTable(m_sql);
        if (!table.isEmpty() && m_store.tableExists(table))
            defs = m_store.fieldDefs(table);
    }
    const QList<const FieldDef*> types = typesOf(columns, defs);

    QVector<QVariant> cells;
    int rowCount = 0;
    int rc;
    while ((rc = sqlite3_step(st.get())) == SQLITE_ROW) {
        for (int i = 0; i < count; ++i) {
            QVariant v = columnValue(st.get(), i);
            cells.append(types[i] ? detail::fromColumn(*types[i], v) : std::move(v));
        }
        ++rowCount;
    }
    if (rc != SQLITE_DONE)
        throw refused(db);
    if (!reads)
        m_store.noteEverythingChanged();
    setResult(columns, std::move(cells), rowCount);
}

void Query::close()
{
    if (!m_open)
        return;
    m_open = false;
    m_cells.clear();
    m_rowCount = 0;
    m_columns.clear();
    m_pos = -1;
    m_eof = true;
    emit dataChanged();
}

void Query::first()
{
    if (!m_open)
        throw StoreError(QStringLiteral("問い合わせは開いていません"));
    m_pos = m_rowCount == 0 ? -1 : 0;
    m_eof = m_rowCount == 0;
    emit cursorMoved(m_pos);
}

void Query::next()
{
    if (!m_open)
        throw StoreError(QStringLiteral("問い合わせは開いていません"));
    if (m_pos + 1 < m_rowCount) {
        ++m_pos;
        m_eof = false;
        emit cursorMoved(m_pos);
    } else {
        m_eof = true;
    }
}

bool Query::eof() const
{
    return !m_open || m_eof;
}

void Query::moveTo(int recNo)
{
    if (!m_open)
        throw StoreError(QStringLiteral("問い合わせは開いていません"));
    if (m_rowCount == 0)
        return;
    m_pos = qBound(0, recNo, m_rowCount - 1);
    m_eof = false;
    emit cursorMoved(m_pos);
}

QVariant Query::value(int column) const
{
    if (!m_open || m_pos < 0 || m_pos >= m_rowCount || column < 0 || column >= m_columns.size())
        return {};
    return m_cells[qsizetype(m_pos) * m_columns.size() + column];
}

QVariant Query::value(const QString& column) const
{
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns[i].compare(column, Qt::CaseInsensitive) == 0)
            return value(i);
    throw StoreError(QStringLiteral("問い合わせの結果に列 %1 はありません").arg(column));
}

QVariantList Query::recordAt(int recNo) const
{
    if (!m_open || recNo < 0 || recNo >= m_rowCount)
        return {};
    const qsizetype width = m_columns.size();
    return QVariantList(m_cells.cbegin() + recNo * width, m_cells.cbegin() + (recNo + 1) * width);
}

} // namespace store
