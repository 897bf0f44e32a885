// A handle's keys and the editing of its records: finding a key, inserting,
// editing, posting and deleting, emptying and renaming the table.

#include "store/Table.h"

#include "store/FieldCodec.h"
#include "store/TableDetail.h"

#include <QSqlError>
#include <QSqlQuery>
#include <limits>

namespace store {

using detail::indexFieldsOf;
using detail::indexOfField;
using detail::isNullValue;
using detail::normalize;
using detail::toColumn;
using detail::writeError;

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
        where << t.column + m_store.sameAs();
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
            parts << terms[j].column + m_store.sameAs();
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
        alternatives << QLatin1Char('(') + (parts.isEmpty() ? QStringLiteral("1 = 1") : parts.join(QLatin1String(" AND ")))
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
            where << Store::quoted(m_fields[f].name) + m_store.sameAs();
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
        QVariantList written(m_fields.size());
        for (int i = 0; i < m_fields.size(); ++i)
            written[i] = toColumn(m_fields[i], m_current[i]);
        qint64 rowid = -1;
        if (sendsBytes(written)) {
            rowid = writeOnServer(m_insertSql, written).first.toLongLong();
        } else {
            QSqlQuery& q = statement(m_insertSql);
            for (int i = 0; i < written.size(); ++i)
                q.bindValue(i, written[i]);
            if (!m_store.guarded([&] { return q.exec(); })) {
                const QSqlError err = q.lastError();
                q.finish();
                throw writeError(m_tableName, err);
            }
            rowid = m_store.isServer() ? (q.next() ? q.value(0).toLongLong() : -1) : q.lastInsertId().toLongLong();
            q.finish();
        }
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
        const QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE rowid = ?")
                                .arg(Store::quoted(m_tableName), sets.join(QLatin1String(", ")));
        bind << m_currentRowid;
        int affected = 0;
        if (sendsBytes(bind)) {
            affected = writeOnServer(sql, bind).affected;
        } else {
            QSqlQuery& q = statement(sql);
            for (int i = 0; i < bind.size(); ++i)
                q.bindValue(i, bind[i]);
            if (!m_store.guarded([&] { return q.exec(); })) {
                const QSqlError err = q.lastError();
                q.finish();
                throw writeError(m_tableName, err);
            }
            affected = q.numRowsAffected();
            q.finish();
        }
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

bool Table::sendsBytes(const QVariantList& values) const
{
    if (!m_store.isServer())
        return false;
    for (const QVariant& v : values)
        if (v.typeId() == QMetaType::QByteArray && !v.isNull())
            return true;
    return false;
}

Store::ServerAnswer Table::writeOnServer(const QString& sql, const QVariantList& values)
{
    try {
        return m_store.guarded([&] {
            Store::ServerAnswer a = m_store.execOnServer(sql, values);
            // Thrown so that the guard rolls back only this statement.
            if (!a.ok)
                throw a;
            return a;
        });
    } catch (const Store::ServerAnswer& refused) {
        if (refused.state == u"23505")
            throw StoreError(QStringLiteral("テーブル %1 のキーが重複しています: %2").arg(m_tableName, refused.error),
                             StoreError::Kind::Duplicate);
        if (refused.state == u"23502")
            throw StoreError(QStringLiteral("テーブル %1 の必須フィールドに値がありません: %2").arg(m_tableName, refused.error));
        throw StoreError(QStringLiteral("テーブル %1 に書き込めません: %2").arg(m_tableName, refused.error));
    }
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

} // namespace store
