#include "store/Store.h"

#include "store/FieldCodec.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QStandardPaths>
#include <system_error>

namespace store {

namespace {

// The store's own bookkeeping table: which tables are protected, and by what.
const QString kProtectedTable = QStringLiteral("__protected");

QString newConnectionName()
{
    static std::atomic<int> counter{0};
    return QStringLiteral("quillon-store-%1").arg(++counter);
}

bool isInternal(const QString& table)
{
    return table.compare(kProtectedTable, Qt::CaseInsensitive) == 0
        || table.startsWith(QLatin1String("sqlite_"), Qt::CaseInsensitive);
}

QString secondaryIndexName(const QString& table, const QString& index)
{
    return table + QLatin1Char('#') + index;
}

void execOn(QSqlDatabase& db, const QString& sql, const QVariantList& bind = {})
{
    QSqlQuery q(db);
    // A server prepares only reading and writing statements, not those that
    // define tables or mark savepoints: those without values run as they are.
    if (bind.isEmpty() && db.driverName() == u"QPSQL") {
        if (!q.exec(sql))
            throw detail::sqlError(QStringLiteral("SQL 文を実行できません"), q.lastError());
        return;
    }
    if (!q.prepare(sql))
        throw detail::sqlError(QStringLiteral("SQL 文を準備できません"), q.lastError());
    for (const QVariant& v : bind)
        q.addBindValue(v);
    if (!q.exec())
        throw detail::sqlError(QStringLiteral("SQL 文を実行できません"), q.lastError());
    q.finish();
}

// Runs a group of statements as one unit, inside or outside a batch. A
// server knows savepoints only inside a transaction: outside a batch the
// unit is a transaction of its own there.
class Savepoint {
public:
    Savepoint(QSqlDatabase& db, bool ownTransaction) : m_db(db), m_own(ownTransaction)
    {
        if (m_own) {
            if (!m_db.transaction())
                throw detail::sqlError(QStringLiteral("トランザクションを始められません"), m_db.lastError());
        } else {
            execOn(m_db, QStringLiteral("SAVEPOINT quillon_sp"));
        }
    }
    ~Savepoint()
    {
        if (!m_open)
            return;
        if (m_own) {
            m_db.rollback();
            return;
        }
        try {
            execOn(m_db, QStringLiteral("ROLLBACK TO quillon_sp"));
            execOn(m_db, QStringLiteral("RELEASE quillon_sp"));
        } catch (const StoreError&) {
        }
    }
    void release()
    {
        if (m_own) {
            if (!m_db.commit())
                throw detail::sqlError(QStringLiteral("トランザクションを確定できません"), m_db.lastError());
        } else {
            execOn(m_db, QStringLiteral("RELEASE quillon_sp"));
        }
        m_open = false;
    }

private:
    QSqlDatabase& m_db;
    bool m_own;
    bool m_open = true;
};

// The declared type of a field is kept as its column's comment on a server,
// where columns have the server's own types: text for texts, dates and
// memos (compared and sorted by code, as locally), integers, bytea.
QString serverColumnType(FieldType type)
{
    switch (type) {
    case FieldType::Short:
    case FieldType::Bool:
        return QStringLiteral("SMALLINT");
    case FieldType::Long:
        return QStringLiteral("INTEGER");
    case FieldType::Bytes:
    case FieldType::Graphic:
        return QStringLiteral("BYTEA");
    default:
        return QStringLiteral("TEXT COLLATE \"C\"");
    }
}

// A table of the server's current schema, by its name as held.
const QString kServerTable = QStringLiteral("to_regclass(quote_ident(current_schema()) || '.' || quote_ident(?))");

} // namespace

StoreError::StoreError(const QString& message, Kind kind)
    : std::runtime_error(message.toStdString())
    , m_message(message)
    , m_kind(kind)
{
}

QString Store::fileName()
{
    return QStringLiteral("quillon-store.sqlite");
}

QString Store::photoDirectory()
{
    const QString env = qEnvironmentVariable("QUILLON_PHOTO_DIR");
    if (!env.isEmpty())
        return env;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/Quillon/Photo");
}

Store::Store(const QString& directory)
    : m_directory(directory)
    , m_connection(newConnectionName())
{
    const QString path = filePath();
    if (!QFileInfo(path).isFile())
        throw StoreError(QStringLiteral("テーブルストア %1 が見つかりません").arg(QDir::toNativeSeparators(path)));
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connection);
    m_db.setDatabaseName(path);
    if (!m_db.open()) {
        const QSqlError err = m_db.lastError();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connection);
        throw detail::sqlError(QStringLiteral("テーブルストア %1 を開けません").arg(path), err);
    }
    try {
        run(QStringLiteral("PRAGMA busy_timeout=5000"));
        // WAL with NORMAL sync keeps the file consistent across a crash and
        // makes each small transaction cheap; without WAL neither holds.
        if (pragmaText(QStringLiteral("PRAGMA journal_mode=WAL")).compare(QLatin1String("wal"), Qt::CaseInsensitive)
            != 0)
            throw StoreError(QStringLiteral("ログを先に書く方式 (WAL) にできません"));
        run(QStringLiteral("PRAGMA synchronous=NORMAL"));
        run(QStringLiteral("PRAGMA wal_autocheckpoint=%1").arg(kLogPages));
        // A damaged file stops here, not at some later read. The check reads
        // the whole file: a large store is checked after start-up instead,
        // on a thread of its own (checkFile).
        m_checkDeferred = QFileInfo(path).size() > kCheckAtOpenBytes;
        if (!m_checkDeferred) {
            const QString check = pragmaText(QStringLiteral("PRAGMA quick_check"));
            if (check != u"ok")
                throw StoreError(check);
        }
    } catch (const StoreError& e) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connection);
        throw StoreError(damagedMessage(path, e.message()));
    }
}

QString Store::damagedMessage(const QString& path, const QString& reason)
{
    return QStringLiteral("テーブルストア %1 は壊れているか、ストアではありません (%2)。バックアップから戻してください。")
        .arg(QDir::toNativeSeparators(path), reason);
}

QString Store::checkFile(const QString& path)
{
    QString result;
    const QString connection = newConnectionName();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(path);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY"));
        if (!db.open()) {
            result = db.lastError().text();
        } else {
            QSqlQuery q(db);
            if (!q.exec(QStringLiteral("PRAGMA quick_check")))
                result = q.lastError().text();
            else
                result = q.next() ? q.value(0).toString() : QStringLiteral("no answer");
        }
    }
    QSqlDatabase::removeDatabase(connection);
    return result;
}

QString Store::pragmaText(const QString& pragma)
{
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.exec(pragma))
        throw detail::sqlError(pragma, q.lastError());
    const QString text = q.next() ? q.value(0).toString() : QString();
    q.finish();
    return text;
}

Store::~Store()
{
    if (m_checkpointer.joinable())
        m_checkpointer.join();
    if (m_batchDepth > 0)
        m_db.rollback();
    if (m_server) {
        m_db = QSqlDatabase();
        m_server.reset();
        return;
    }
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connection);
}

void Store::createFile(const QString& filePath)
{
    if (QFileInfo::exists(filePath))
        throw StoreError(QStringLiteral("テーブルストア %1 は既にあります").arg(filePath));
    const QString connection = newConnectionName();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
        db.setDatabaseName(filePath);
        bool ok = db.open();
        QSqlError err = db.lastError();
        if (ok) {
            try {
                execOn(db, QStringLiteral("PRAGMA journal_mode=WAL"));
                execOn(db, QStringLiteral("CREATE TABLE %1 (\"table\" TEXT PRIMARY KEY COLLATE NOCASE, "
                                          "\"password\" TEXT)")
                               .arg(quoted(kProtectedTable)));
            } catch (const StoreError&) {
                ok = false;
                err = db.lastError();
            }
            db.close();
        }
        if (!ok) {
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(connection);
            throw detail::sqlError(QStringLiteral("テーブルストア %1 を作れません").arg(filePath), err);
        }
    }
    QSqlDatabase::removeDatabase(connection);
}

QString Store::filePath() const
{
    return QDir(m_directory).filePath(fileName());
}

QString Store::quoted(const QString& identifier)
{
    QString s = identifier;
    s.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return QLatin1Char('"') + s + QLatin1Char('"');
}

QLatin1String Store::sameAs() const
{
    return m_server ? QLatin1String(" IS NOT DISTINCT FROM ?") : QLatin1String(" IS ?");
}

QLatin1String Store::unsetFirst(bool descending) const
{
    if (!m_server)
        return QLatin1String("");
    return descending ? QLatin1String(" NULLS LAST") : QLatin1String(" NULLS FIRST");
}

QString Store::actual(const QString& table)
{
    if (!m_server)
        return table;
    const QString stored = storedName(table);
    return stored.isEmpty() ? table : stored;
}

QString Store::storedName(const QString& table)
{
    if (table.isEmpty() || isInternal(table))
        return {};
    // Each open and each statement of a handle asks: a server's answer costs
    // a round trip, so the names found are kept until tables change.
    const QString key = stateKey(table);
    if (m_server) {
        const auto known = m_storedNames.constFind(key);
        if (known != m_storedNames.constEnd())
            return *known;
    }
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    q.prepare(m_server ? QStringLiteral("SELECT table_name FROM information_schema.tables WHERE table_schema = "
                                        "current_schema() AND lower(table_name) = lower(?) ORDER BY table_name LIMIT 1")
                       : QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE"));
    q.addBindValue(table);
    if (!q.exec())
        throw detail::sqlError(QStringLiteral("テーブル %1 を調べられません").arg(table), q.lastError());
    const QString name = q.next() ? q.value(0).toString() : QString();
    q.finish();
    if (m_server && !name.isEmpty())
        m_storedNames.insert(key, name);
    return name;
}

void Store::run(const QString& sql, const QVariantList& bind)
{
    execOn(m_db, sql, bind);
}

void Store::exec(const QString& sql, const QVariantList& bind)
{
    try {
        run(sql, bind);
    } catch (...) {
        noteEverythingChanged();
        throw;
    }
    // The statement may have touched any table.
    noteEverythingChanged();
}

void Store::execTouching(const QString& table, const QString& sql, const QVariantList& bind)
{
    try {
        run(sql, bind);
    } catch (...) {
        noteUnknownChange(table);
        throw;
    }
    noteUnknownChange(table);
}

QVariant Store::value(const QString& sql, const QVariantList& bind)
{
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.prepare(sql))
        throw detail::sqlError(QStringLiteral("文を準備できません"), q.lastError());
    for (const QVariant& v : bind)
        q.addBindValue(v);
    if (!q.exec())
        throw detail::sqlError(QStringLiteral("文を実行できません"), q.lastError());
    const QVariant result = q.next() ? q.value(0) : QVariant();
    q.finish();
    return result;
}

// ---- change tracking -------------------------------------------------------

Store::TableState& Store::tableState(const QString& table)
{
    return m_states[stateKey(table)];
}

void Store::noteInsert(const QString& table)
{
    TableState& s = tableState(table);
    ++s.order;
    ++s.content;
    if (s.count >= 0)
        ++s.count;
}

void Store::noteDelete(const QString& table)
{
    TableState& s = tableState(table);
    ++s.order;
    ++s.content;
    if (s.count > 0)
        --s.count;
    else
        s.count = -1;
}

void Store::noteUpdate(const QString& table, bool orderChanged)
{
    TableState& s = tableState(table);
    if (orderChanged)
        ++s.order;
    ++s.content;
}

void Store::noteUnknownChange(const QString& table)
{
    m_storedNames.remove(stateKey(table));
    m_prepared.clear(); // a table's layout may have changed under them
    TableState& s = tableState(table);
    ++s.order;
    ++s.content;
    s.count = -1;
}

void Store::noteEverythingChanged()
{
    m_storedNames.clear();
    m_prepared.clear();
    for (TableState& s : m_states) {
        ++s.order;
        ++s.content;
        s.count = -1;
    }
    m_protectionLoaded = false;
}

// ---- definitions -----------------------------------------------------------

bool Store::tableExists(const QString& table)
{
    return !storedName(table).isEmpty();
}

QStringList Store::tableNames()
{
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.exec(m_server ? QStringLiteral("SELECT table_name FROM information_schema.tables WHERE table_schema = "
                                          "current_schema() AND table_type = 'BASE TABLE' ORDER BY table_name COLLATE \"C\"")
                         : QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' ORDER BY name")))
        throw detail::sqlError(QStringLiteral("テーブルの一覧を読めません"), q.lastError());
    QStringList names;
    while (q.next()) {
        const QString name = q.value(0).toString();
        if (!isInternal(name))
            names << name;
    }
    return names;
}

void Store::createTable(const QString& table, const QList<FieldDef>& fields, const QList<IndexDef>& indexes)
{
    if (table.isEmpty() || isInternal(table))
        throw StoreError(QStringLiteral("テーブル名 '%1' は使えません").arg(table));
    if (fields.isEmpty())
        throw StoreError(QStringLiteral("テーブル %1 にフィールドがありません").arg(table));
    if (tableExists(table))
        throw StoreError(QStringLiteral("テーブル %1 は既にあります").arg(table));

    auto hasField = [&](const QString& name) {
        for (const FieldDef& f : fields)
            if (f.name.compare(name, Qt::CaseInsensitive) == 0)
                return true;
        return false;
    };
    QStringList columns;
    for (const FieldDef& f : fields) {
        if (f.name.isEmpty())
            throw StoreError(QStringLiteral("テーブル %1 に名前のないフィールドがあります").arg(table));
        QString col = quoted(f.name) + QLatin1Char(' ')
            + (m_server ? serverColumnType(f.type) : detail::columnType(f.type, f.size));
        if (f.required)
            col += QLatin1String(" NOT NULL");
        columns << col;
    }
    const IndexDef* primary = nullptr;
    for (const IndexDef& ix : indexes) {
        if (ix.fields.isEmpty())
            throw StoreError(QStringLiteral("テーブル %1 の索引 %2 にフィールドがありません").arg(table, ix.name));
        for (const QString& f : ix.fields)
            if (!hasField(f))
                throw StoreError(QStringLiteral("テーブル %1 の索引のフィールド %2 がありません").arg(table, f));
        if (ix.primary) {
            if (primary)
                throw StoreError(QStringLiteral("テーブル %1 に主索引が二つあります").arg(table));
            primary = &ix;
        } else if (ix.name.isEmpty()) {
            throw StoreError(QStringLiteral("テーブル %1 の副索引に名前がありません").arg(table));
        }
    }
    auto fieldList = [](const QStringList& names) {
        QStringList q;
        for (const QString& n : names)
            q << quoted(n);
        return q.join(QLatin1String(", "));
    };
    // A server has no row numbers of its own: the handles' order needs one.
    if (m_server)
        columns << QStringLiteral("rowid BIGSERIAL UNIQUE");
    if (primary)
        columns << QStringLiteral("PRIMARY KEY (%1)").arg(fieldList(primary->fields));

    Savepoint sp(m_db, m_server && m_batchDepth == 0);
    run(QStringLiteral("CREATE TABLE %1 (%2)").arg(quoted(table), columns.join(QLatin1String(", "))));
    if (m_server) {
        for (const FieldDef& f : fields) {
            run(QStringLiteral("COMMENT ON COLUMN %1.%2 IS '%3'")
                    .arg(quoted(table), quoted(f.name), detail::columnType(f.type, f.size)));
            // Pictures are compressed already: the server need not try.
            if (detail::isBlob(f.type))
                run(QStringLiteral("ALTER TABLE %1 ALTER COLUMN %2 SET STORAGE EXTERNAL").arg(quoted(table), quoted(f.name)));
        }
    }
    for (const IndexDef& ix : indexes) {
        if (ix.primary)
            continue;
        run(QStringLiteral("CREATE %1INDEX %2 ON %3 (%4)")
                .arg(ix.unique ? QStringLiteral("UNIQUE ") : QString(),
                     quoted(secondaryIndexName(table, ix.name)), quoted(table), fieldList(ix.fields)));
    }
    sp.release();
    noteUnknownChange(table);
}

QList<FieldDef> Store::fieldDefs(const QString& tableAsGiven)
{
    const QString table = actual(tableAsGiven);
    if (!tableExists(table))
        throw StoreError(QStringLiteral("テーブル %1 が見つかりません").arg(table));
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (m_server)
        q.prepare(QStringLiteral("SELECT attname, coalesce(col_description(attrelid, attnum), format_type(atttypid, "
                                 "atttypmod)), attnotnull FROM pg_attribute WHERE attrelid = %1 AND attnum > 0 "
                                 "AND NOT attisdropped AND attname <> 'rowid' ORDER BY attnum")
                      .arg(kServerTable));
    else
        q.prepare(QStringLiteral("SELECT name, type, \"notnull\" FROM pragma_table_info(?) ORDER BY cid"));
    q.addBindValue(table);
    if (!q.exec())
        throw detail::sqlError(QStringLiteral("テーブル %1 の定義を読めません").arg(table), q.lastError());
    QList<FieldDef> defs;
    while (q.next()) {
        FieldDef d;
        d.name = q.value(0).toString();
        detail::parseColumnType(q.value(1).toString(), &d.type, &d.size);
        d.required = q.value(2).toInt() != 0;
        defs << d;
    }
    return defs;
}

QList<IndexDef> Store::indexDefs(const QString& tableAsGiven)
{
    const QString table = actual(tableAsGiven);
    if (!tableExists(table))
        throw StoreError(QStringLiteral("テーブル %1 が見つかりません").arg(table));
    QList<IndexDef> defs;
    if (m_server)
        return serverIndexDefs(table);

    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT name FROM pragma_table_info(?) WHERE pk > 0 ORDER BY pk"));
    q.addBindValue(table);
    if (!q.exec())
        throw detail::sqlError(QStringLiteral("テーブル %1 の定義を読めません").arg(table), q.lastError());
    IndexDef primary;
    primary.primary = true;
    primary.unique = true;
    while (q.next())
        primary.fields << q.value(0).toString();
    q.finish();
    if (!primary.fields.isEmpty())
        defs << primary;

    // Secondary indexes in the order they were made.
    QSqlQuery ix(m_db);
    ix.setForwardOnly(true);
    ix.prepare(QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type = 'index' AND tbl_name = ? "
                              "COLLATE NOCASE AND sql IS NOT NULL ORDER BY rowid"));
    ix.addBindValue(table);
    if (!ix.exec())
        throw detail::sqlError(QStringLiteral("テーブル %1 の索引を読めません").arg(table), ix.lastError());
    QList<QPair<QString, bool>> found;
    while (ix.next()) {
        const QString name = ix.value(0).toString();
        const int hash = name.indexOf(QLatin1Char('#'));
        if (hash < 0)
            continue;
        found << qMakePair(name, ix.value(1).toString().startsWith(QLatin1String("CREATE UNIQUE"),
                                                                  Qt::CaseInsensitive));
    }
    ix.finish();
    for (const auto& [name, unique] : found) {
        IndexDef d;
        d.name = name.mid(name.indexOf(QLatin1Char('#')) + 1);
        d.unique = unique;
        QSqlQuery cols(m_db);
        cols.setForwardOnly(true);
        cols.prepare(QStringLiteral("SELECT name FROM pragma_index_info(?) ORDER BY seqno"));
        cols.addBindValue(name);
        if (!cols.exec())
            throw detail::sqlError(QStringLiteral("索引 %1 を読めません").arg(name), cols.lastError());
        while (cols.next())
            d.fields << cols.value(0).toString();
        defs << d;
    }
    return defs;
}

QList<IndexDef> Store::serverIndexDefs(const QString& table)
{
    // Primary first, then the secondary indexes ("table#name") in the order made.
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT c.relname, i.indisprimary, i.indisunique, "
                             "array_to_string(ARRAY(SELECT a.attname FROM unnest(i.indkey::int2[]) WITH ORDINALITY "
                             "AS k(n, o) JOIN pg_attribute a ON a.attrelid = i.indrelid AND a.attnum = k.n "
                             "ORDER BY k.o), chr(1)) FROM pg_index i JOIN pg_class c ON c.oid = i.indexrelid "
                             "WHERE i.indrelid = %1 ORDER BY NOT i.indisprimary, c.oid")
                  .arg(kServerTable));
    q.addBindValue(table);
    if (!q.exec())
        throw detail::sqlError(QStringLiteral("テーブル %1 の索引を読めません").arg(table), q.lastError());
    QList<IndexDef> defs;
    while (q.next()) {
        const QString name = q.value(0).toString();
        IndexDef d;
        d.primary = q.value(1).toBool();
        d.unique = q.value(2).toBool();
        if (!d.primary) {
            const int hash = name.indexOf(QLatin1Char('#'));
            if (hash < 0)
                continue; // the row numbers' index, the search's trigram indexes
            d.name = name.mid(hash + 1);
        }
        d.fields = q.value(3).toString().split(QChar(1), Qt::SkipEmptyParts);
        defs << d;
    }
    return defs;
}

void Store::emptyTable(const QString& tableAsGiven)
{
    const QString table = actual(tableAsGiven);
    if (!tableExists(table))
        throw StoreError(QStringLiteral("テーブル %1 が見つかりません").arg(table));
    run(QStringLiteral("DELETE FROM %1").arg(quoted(table)));
    noteUnknownChange(table);
    tableState(table).count = 0;
}

void Store::deleteTable(const QString& tableAsGiven)
{
    const QString table = actual(tableAsGiven);
    if (!tableExists(table))
        throw StoreError(QStringLiteral("テーブル %1 が見つかりません").arg(table));
    Savepoint sp(m_db, m_server && m_batchDepth == 0);
    run(QStringLiteral("DROP TABLE %1").arg(quoted(table)));
    if (m_db.tables().contains(kProtectedTable, Qt::CaseInsensitive))
        run(QStringLiteral("DELETE FROM %1 WHERE lower(\"table\") = lower(?)").arg(quoted(kProtectedTable)), {table});
    sp.release();
    noteUnknownChange(table);
    m_protectionLoaded = false;
}

void Store::renameTable(const QString& fromAsGiven, const QString& to)
{
    const QString from = actual(fromAsGiven);
    if (!tableExists(from))
        throw StoreError(QStringLiteral("テーブル %1 が見つかりません").arg(from));
    if (to.isEmpty() || isInternal(to))
        throw StoreError(QStringLiteral("テーブル名 '%1' は使えません").arg(to));
    if (tableExists(to))
        throw StoreError(QStringLiteral("テーブル %1 は既にあります").arg(to));
    const QList<IndexDef> indexes = indexDefs(from);

    Savepoint sp(m_db, m_server && m_batchDepth == 0);
    // Secondary indexes carry the table's name in theirs; make them anew.
    for (const IndexDef& ix : indexes)
        if (!ix.primary)
            run(QStringLiteral("DROP INDEX %1").arg(quoted(secondaryIndexName(from, ix.name))));
    run(QStringLiteral("ALTER TABLE %1 RENAME TO %2").arg(quoted(from), quoted(to)));
    for (const IndexDef& ix : indexes) {
        if (ix.primary)
            continue;
        QStringList cols;
        for (const QString& f : ix.fields)
            cols << quoted(f);
        run(QStringLiteral("CREATE %1INDEX %2 ON %3 (%4)")
                .arg(ix.unique ? QStringLiteral("UNIQUE ") : QString(), quoted(secondaryIndexName(to, ix.name)),
                     quoted(to), cols.join(QLatin1String(", "))));
    }
    if (m_db.tables().contains(kProtectedTable, Qt::CaseInsensitive))
        run(QStringLiteral("UPDATE %1 SET \"table\" = ? WHERE lower(\"table\") = lower(?)").arg(quoted(kProtectedTable)),
            {to, from});
    sp.release();
    noteUnknownChange(from);
    noteUnknownChange(to);
    m_protectionLoaded = false;
}

void Store::renameFields(const QString& tableAsGiven, const QList<QPair<QString, QString>>& renames)
{
    const QString table = actual(tableAsGiven);
    QStringList names;
    for (const FieldDef& f : fieldDefs(table))
        names << f.name;
    const QStringList before = names;
    for (const auto& [from, to] : renames) {
        const qsizetype at = before.indexOf(from);
        if (at < 0)
            throw StoreError(QStringLiteral("テーブル %1 にフィールド %2 はありません").arg(table, from));
        if (to.isEmpty())
            throw StoreError(QStringLiteral("テーブル %1 に名前のないフィールドは作れません").arg(table));
        names[at] = to;
    }
    for (qsizetype i = 0; i < names.size(); ++i)
        for (qsizetype j = 0; j < i; ++j)
            if (names[i].compare(names[j], Qt::CaseInsensitive) == 0)
                throw StoreError(QStringLiteral("テーブル %1 にフィールド %2 が二つになります").arg(table, names[i]));

    // Through names of their own first, so that two fields may swap names.
    auto rename = [&](const QString& from, const QString& to) {
        run(QStringLiteral("ALTER TABLE %1 RENAME COLUMN %2 TO %3").arg(quoted(table), quoted(from), quoted(to)));
    };
    auto passing = [&](qsizetype k) {
        QString name = QStringLiteral("#%1").arg(k);
        while (before.contains(name, Qt::CaseInsensitive) || names.contains(name, Qt::CaseInsensitive))
            name.prepend(QLatin1Char('#'));
        return name;
    };
    Savepoint sp(m_db, m_server && m_batchDepth == 0);
    for (qsizetype k = 0; k < renames.size(); ++k)
        rename(renames[k].first, passing(k));
    for (qsizetype k = 0; k < renames.size(); ++k)
        rename(passing(k), renames[k].second);
    sp.release();
    noteUnknownChange(table);
}

qint64 Store::countRows(const QString& tableAsGiven)
{
    const QString table = actual(tableAsGiven);
    TableState& s = tableState(table);
    if (s.count >= 0)
        return s.count;
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT count(*) FROM %1").arg(quoted(table))) || !q.next())
        throw detail::sqlError(QStringLiteral("テーブル %1 を数えられません").arg(table), q.lastError());
    const qint64 n = q.value(0).toLongLong();
    q.finish();
    tableState(table).count = n;
    return n;
}

// ---- passwords -------------------------------------------------------------

void Store::loadProtection()
{
    if (m_protectionLoaded)
        return;
    m_protection.clear();
    if (m_db.tables().contains(kProtectedTable, Qt::CaseInsensitive)) {
        QSqlQuery q(m_db);
        q.setForwardOnly(true);
        if (!q.exec(QStringLiteral("SELECT \"table\", \"password\" FROM %1").arg(quoted(kProtectedTable))))
            throw detail::sqlError(QStringLiteral("保護の情報を読めません"), q.lastError());
        while (q.next())
            m_protection.insert(stateKey(q.value(0).toString()), q.value(1).toString());
    }
    m_protectionLoaded = true;
}

QString Store::protectionOf(const QString& table)
{
    loadProtection();
    return m_protection.value(stateKey(table));
}

Store::SideTypes Store::sideTypes() const
{
    if (m_server)
        return {QStringLiteral("BYTEA"), QStringLiteral("BIGINT"), QString()};
    return {QStringLiteral("BLOB"), QStringLiteral("INTEGER"), QStringLiteral(" COLLATE NOCASE")};
}

void Store::protectTable(const QString& tableAsGiven, const QString& password)
{
    const QString table = actual(tableAsGiven);
    if (!tableExists(table))
        throw StoreError(QStringLiteral("テーブル %1 が見つかりません").arg(table));
    run(QStringLiteral("CREATE TABLE IF NOT EXISTS %1 (\"table\" TEXT PRIMARY KEY%2, \"password\" TEXT)")
            .arg(quoted(kProtectedTable), sideTypes().caseless));
    Savepoint sp(m_db, m_server && m_batchDepth == 0);
    run(QStringLiteral("DELETE FROM %1 WHERE lower(\"table\") = lower(?)").arg(quoted(kProtectedTable)), {table});
    if (!password.isEmpty())
        run(QStringLiteral("INSERT INTO %1 (\"table\", \"password\") VALUES (?, ?)").arg(quoted(kProtectedTable)),
            {table, password});
    sp.release();
    m_protectionLoaded = false;
}

void Store::registerPassword(const QString& password)
{
    if (!password.isEmpty())
        m_passwords.insert(password);
}

void Store::dropAllPasswords()
{
    m_passwords.clear();
}

bool Store::mayOpen(const QString& table)
{
    const QString password = protectionOf(table);
    return password.isEmpty() || m_passwords.contains(password);
}

// ---- batches ---------------------------------------------------------------

void Store::beginBatch()
{
    if (m_batchDepth == 0) {
        if (m_longWalkDepth == 0)
            restoreLog(); // refused when the walk of large values ended
        if (!m_db.transaction())
            throw detail::sqlError(QStringLiteral("トランザクションを始められません"), m_db.lastError());
        m_rollbackOnly = false;
    }
    ++m_batchDepth;
}

void Store::commitBatch()
{
    if (m_batchDepth == 0)
        throw StoreError(QStringLiteral("トランザクションが始まっていません"));
    if (--m_batchDepth > 0)
        return;
    if (m_rollbackOnly) {
        m_rollbackOnly = false;
        m_db.rollback();
        noteEverythingChanged();
        throw StoreError(QStringLiteral("内側の取り消しにより、トランザクションは取り消されました"));
    }
    if (!m_db.commit()) {
        const QSqlError err = m_db.lastError();
        m_db.rollback();
        noteEverythingChanged();
        throw detail::sqlError(QStringLiteral("トランザクションを確定できません"), err);
    }
    if (!m_server && m_longWalkDepth > 0 && QFileInfo(filePath() + QStringLiteral("-wal")).size() > m_longWalkLogBytes)
        checkpointInBackground();
}

void Store::rollbackBatch()
{
    if (m_batchDepth == 0)
        return;
    if (--m_batchDepth > 0) {
        // Only the outermost level may end the transaction; it will roll back.
        m_rollbackOnly = true;
        return;
    }
    m_rollbackOnly = false;
    m_db.rollback();
    noteEverythingChanged();
}

void Store::beginLongWalk(bool largeValues)
{
    // A server copies its own log.
    if (m_longWalkDepth == 0 && !m_server) {
        run(QStringLiteral("PRAGMA wal_autocheckpoint=0"));
        QSqlQuery q(m_db);
        const qint64 pageSize = q.exec(QStringLiteral("PRAGMA page_size")) && q.next() ? q.value(0).toLongLong() : 4096;
        m_longWalkLogBytes = kLongWalkLogPages * pageSize;
        bool copying = false;
        {
            std::lock_guard<std::mutex> lock(m_checkpoint->mutex);
            copying = m_checkpoint->running;
        }
        // Leaving the log copies it into the file and needs the file to
        // ourselves: not while the copying thread has it open, nor inside a
        // transaction. Refused, the walk simply keeps the log.
        if (largeValues && !copying && m_batchDepth == 0 && !m_logSetAside) {
            try {
                m_logSetAside = pragmaText(QStringLiteral("PRAGMA journal_mode=DELETE")) == u"delete";
            } catch (const StoreError&) {
            }
        }
    }
    ++m_longWalkDepth;
}

void Store::endLongWalk() noexcept
{
    if (m_longWalkDepth == 0 || --m_longWalkDepth > 0 || m_server)
        return;
    restoreLog();
    try {
        run(QStringLiteral("PRAGMA wal_autocheckpoint=%1").arg(kLogPages));
    } catch (const StoreError&) {
    }
    checkpointInBackground();
}

void Store::restoreLog() noexcept
{
    if (!m_logSetAside || m_batchDepth > 0)
        return;
    try {
        m_logSetAside = pragmaText(QStringLiteral("PRAGMA journal_mode=WAL")).compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0;
    } catch (const StoreError&) {
    }
}

QString Store::journalMode()
{
    return pragmaText(QStringLiteral("PRAGMA journal_mode")).toLower();
}

void Store::checkpointInBackground()
{
    const std::shared_ptr<CheckpointState> state = m_checkpoint;
    {
        std::lock_guard<std::mutex> lock(state->mutex);
        state->wanted = true;
        // The running copy sees the wish and copies once more.
        if (state->running)
            return;
        state->running = true;
    }
    if (m_checkpointer.joinable())
        m_checkpointer.join(); // finished: it cleared running
    const QString path = filePath();
    const QString connection = m_connection + QStringLiteral("-checkpoint");
    try {
        m_checkpointer = std::thread([path, connection, state] {
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
                db.setDatabaseName(path);
                const bool open = db.open();
                for (;;) {
                    {
                        std::lock_guard<std::mutex> lock(state->mutex);
                        if (!state->wanted || !open) {
                            state->running = false;
                            break;
                        }
                        state->wanted = false;
                    }
                    // Passive: copies what no reader still needs, waits for no
                    // one, and lets the writer go on meanwhile.
                    QSqlQuery q(db);
                    q.exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)"));
                    q.finish();
                }
                db.close();
            }
            QSqlDatabase::removeDatabase(connection);
        });
    } catch (const std::system_error&) {
        // No thread to be had: the next commit past the bound copies the log.
        std::lock_guard<std::mutex> lock(state->mutex);
        state->running = false;
    }
}

Batch::~Batch()
{
    if (!m_done) {
        try {
            m_store.rollbackBatch();
        } catch (...) {
        }
    }
}

void Batch::commit()
{
    if (m_done)
        return;
    m_done = true;
    m_store.commitBatch();
}

} // namespace store
