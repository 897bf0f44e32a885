// The store's half that only a PostgreSQL server needs: the connection, the
// guarded statements of a transaction, writes whose values travel as bytes,
// the search's trigram indexes and the writers' lock.

#include "store/Store.h"

#include "store/FieldCodec.h"

#include <QSqlDriver>
#include <libpq-fe.h>

#include <vector>

namespace store {

Store::Store(const ServerSettings& server)
    : m_server(std::make_unique<ServerConnection>(server))
    , m_serverSettings(server)
{
    if (!m_server->open())
        throw StoreError(QStringLiteral("サーバーに接続できません : ") + m_server->error());
    m_db = m_server->database();
    // The server's notices ("already exists, skipping") are no news here.
    run(QStringLiteral("SET client_min_messages TO warning"));
}

QString Store::serverName() const
{
    return m_server ? m_serverSettings.displayName() : QString();
}

void Store::beginGuard()
{
    run(QStringLiteral("SAVEPOINT quillon_guard"));
}

void Store::endGuard(bool ok)
{
    if (ok) {
        run(QStringLiteral("RELEASE quillon_guard"));
        return;
    }
    try {
        run(QStringLiteral("ROLLBACK TO quillon_guard"));
        run(QStringLiteral("RELEASE quillon_guard"));
    } catch (const StoreError&) {
        // The connection is gone; the batch fails at its end.
    }
}

namespace {

void answerError(Store::ServerAnswer& answer, PGconn* connection, const PGresult* result)
{
    answer.error = QString::fromUtf8(result ? PQresultErrorMessage(result) : PQerrorMessage(connection)).trimmed();
    if (const char* state = result ? PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr)
        answer.state = QString::fromLatin1(state);
}

} // namespace

Store::ServerAnswer Store::execOnServer(const QString& sql, const QVariantList& bind)
{
    ServerAnswer answer;
    const QVariant handle = m_db.driver()->handle();
    // Qt's driver hands out its libpq connection under libpq's struct name.
    PGconn* connection = handle.isValid() && (qstrcmp(handle.typeName(), "pg_conn*") == 0
                                              || qstrcmp(handle.typeName(), "PGconn*") == 0)
                             ? *static_cast<PGconn* const*>(handle.constData())
                             : nullptr;
    if (!connection) {
        answer.error = QStringLiteral("サーバーへの接続がありません");
        return answer;
    }
    QByteArray text;
    int n = 0;
    for (QChar c : sql) {
        if (c == u'?')
            text += '$' + QByteArray::number(++n);
        else
            text += QString(c).toUtf8();
    }
    std::vector<QByteArray> values(bind.size());
    std::vector<const char*> pointers(bind.size(), nullptr);
    std::vector<int> lengths(bind.size(), 0);
    std::vector<int> formats(bind.size(), 0);
    for (qsizetype i = 0; i < bind.size(); ++i) {
        const QVariant& v = bind[i];
        if (!v.isValid() || v.isNull())
            continue;
        if (v.typeId() == QMetaType::QByteArray) {
            values[i] = v.toByteArray();
            formats[i] = 1;
        } else {
            values[i] = v.toString().toUtf8();
        }
        pointers[i] = values[i].constData();
        lengths[i] = int(values[i].size());
    }
    // Prepared once: the server then plans it once, generically, where each
    // unprepared run would copy a picture's bytes into its plan twice.
    if (connection != m_preparedOn) {
        m_prepared.clear();
        m_preparedOn = connection;
    }
    auto prepared = m_prepared.constFind(text);
    if (prepared == m_prepared.constEnd()) {
        const QByteArray name = "quillon_write_" + QByteArray::number(++m_preparedCount);
        PGresult* made = PQprepare(connection, name.constData(), text.constData(), int(bind.size()), nullptr);
        const bool ok = PQresultStatus(made) == PGRES_COMMAND_OK;
        if (!ok)
            answerError(answer, connection, made);
        PQclear(made);
        if (!ok)
            return answer;
        prepared = m_prepared.insert(text, name);
    }
    PGresult* result = PQexecPrepared(connection, prepared->constData(), int(bind.size()), pointers.data(),
                                      lengths.data(), formats.data(), 0);
    const ExecStatusType status = PQresultStatus(result);
    answer.ok = status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
    if (answer.ok) {
        answer.affected = QByteArray(PQcmdTuples(result)).toInt();
        if (PQntuples(result) > 0 && PQnfields(result) > 0 && !PQgetisnull(result, 0, 0))
            answer.first = QString::fromUtf8(PQgetvalue(result, 0, 0));
    } else {
        answerError(answer, connection, result);
    }
    PQclear(result);
    return answer;
}

void Store::indexForSearch(const QString& table, const QStringList& fields)
{
    if (!m_server || fields.isEmpty())
        return;
    run(QStringLiteral("CREATE EXTENSION IF NOT EXISTS pg_trgm"));
    // The search compares every item as text: the index holds that text.
    for (const QString& f : fields)
        run(QStringLiteral("CREATE INDEX ON %1 USING gin ((CAST(%2 AS TEXT)) gin_trgm_ops)")
                .arg(quoted(table), quoted(f)));
    noteUnknownChange(table);
}

void Store::lockForWriting(const QString& table)
{
    if (m_server && m_batchDepth > 0)
        run(QStringLiteral("SELECT pg_advisory_xact_lock(hashtext(lower(?)))"), {table});
}

} // namespace store
