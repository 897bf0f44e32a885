#include "store/Query.h"

#include "store/FieldCodec.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlRecord>

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

// The named parameters of a statement, outside quoted names and texts.
QStringList parameterNames(const QString& sql)
{
    QStringList names;
    QChar quote;
    for (int i = 0; i < sql.size(); ++i) {
        const QChar c = sql.at(i);
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            continue;
        }
        if (c == u'\'' || c == u'"') {
            quote = c;
            continue;
        }
        if (c != u':' || i + 1 >= sql.size())
            continue;
        int j = i + 1;
        while (j < sql.size() && (sql.at(j).isLetterOrNumber() || sql.at(j) == u'_'))
            ++j;
        if (j > i + 1) {
            const QString name = sql.mid(i + 1, j - i - 1);
            if (!names.contains(name))
                names << name;
            i = j - 1;
        }
    }
    return names;
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

void Query::open()
{
    close();
    QSqlQuery q(m_store.db());
    q.setForwardOnly(true);
    if (!q.prepare(m_sql))
        throw detail::sqlError(QStringLiteral("問い合わせを実行できません"), q.lastError());
    // Binding a name that the statement lacks is an error, so bind only those
    // that it names; one without a value is unset.
    for (const QString& name : parameterNames(m_sql)) {
        const auto it = m_params.constFind(name);
        q.bindValue(QLatin1Char(':') + name, it != m_params.constEnd() ? QVariant(*it) : QVariant());
    }
    if (!q.exec())
        throw detail::sqlError(QStringLiteral("問い合わせを実行できません"), q.lastError());

    const QSqlRecord rec = q.record();
    QStringList columns;
    for (int i = 0; i < rec.count(); ++i)
        columns << rec.fieldName(i);

    QList<const FieldDef*> types(columns.size(), nullptr);
    QList<FieldDef> defs;
    if (q.isSelect()) {
        const QString table = sourceTable(m_sql);
        if (!table.isEmpty() && m_store.tableExists(table))
            defs = m_store.fieldDefs(table);
        for (int i = 0; i < columns.size(); ++i)
            for (const FieldDef& d : defs)
                if (d.name.compare(columns[i], Qt::CaseInsensitive) == 0)
                    types[i] = &d;
    }

    QVector<QVariantList> rows;
    while (q.next()) {
        QVariantList row;
        row.reserve(columns.size());
        for (int i = 0; i < columns.size(); ++i)
            row << (types[i] ? detail::fromColumn(*types[i], q.value(i)) : q.value(i));
        rows << row;
    }
    if (q.lastError().isValid())
        throw detail::sqlError(QStringLiteral("問い合わせを実行できません"), q.lastError());
    const bool wrote = !q.isSelect();
    q.finish();
    if (wrote)
        m_store.noteEverythingChanged();

    m_columns = columns;
    m_rows = rows;
    m_open = true;
    m_pos = m_rows.isEmpty() ? -1 : 0;
    m_eof = m_rows.isEmpty();
    emit dataChanged();
    emit cursorMoved(m_pos);
}

void Query::close()
{
    if (!m_open)
        return;
    m_open = false;
    m_rows.clear();
    m_columns.clear();
    m_pos = -1;
    m_eof = true;
    emit dataChanged();
}

void Query::first()
{
    if (!m_open)
        throw StoreError(QStringLiteral("問い合わせは開いていません"));
    m_pos = m_rows.isEmpty() ? -1 : 0;
    m_eof = m_rows.isEmpty();
    emit cursorMoved(m_pos);
}

void Query::next()
{
    if (!m_open)
        throw StoreError(QStringLiteral("問い合わせは開いていません"));
    if (m_pos + 1 < m_rows.size()) {
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
    if (m_rows.isEmpty())
        return;
    m_pos = qBound(0, recNo, int(m_rows.size()) - 1);
    m_eof = false;
    emit cursorMoved(m_pos);
}

QVariant Query::value(int column) const
{
    if (!m_open || m_pos < 0 || m_pos >= m_rows.size())
        return {};
    return m_rows[m_pos].value(column);
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
    if (!m_open || recNo < 0 || recNo >= m_rows.size())
        return {};
    return m_rows[recNo];
}

} // namespace store
