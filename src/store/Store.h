#pragma once

// The table store: every table of the program lives as one SQL table, with
// exactly its own name ("_Link.db", "_host", "Sample_"), in one SQLite file in
// the Photo directory, or, for shared picture databases, in a database of a
// PostgreSQL server. Handles (Table) are cursors over these tables; the few
// places where the two dialects differ ask isServer().

#include "store/ServerConnection.h"

#include <QHash>
#include <QList>
#include <QSet>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

namespace store {

// Every failure of the store surfaces as this exception; its message is shown
// to the user as the store's own error.
class StoreError : public std::runtime_error {
public:
    // Duplicate: a record whose key another record has (a primary key or a
    // unique index). Only that means "already there"; any other error is a
    // failure of the store.
    enum class Kind { Other, Duplicate };

    explicit StoreError(const QString& message, Kind kind = Kind::Other);
    QString message() const { return m_message; }
    bool isDuplicate() const { return m_kind == Kind::Duplicate; }

private:
    QString m_message;
    Kind m_kind;
};

enum class FieldType {
    Text,     // text of a given size
    Short,    // 16-bit integer
    Long,     // 32-bit integer
    Date,     // date only
    DateTime, // date and time
    Memo,     // text without a size
    Bool,     // true/false
    Bytes,    // byte blob
    Graphic,  // graphic blob: a picture kept as encoded bytes
};

struct FieldDef {
    QString name;
    FieldType type = FieldType::Text;
    int size = 0; // text width; passed for other types and ignored
    bool required = false;
    bool operator==(const FieldDef&) const = default;
};

struct IndexDef {
    QString name;       // empty for the primary index
    QStringList fields;
    bool primary = false;
    bool unique = false;
    bool operator==(const IndexDef&) const = default;
};

// One store file. A Store is not copyable; handles keep a reference to it and
// must not outlive it. Single-threaded: every call happens on one thread.
class Store {
public:
    // The file name of the store inside the Photo directory.
    static QString fileName();
    // The directory that the alias Photo names: QUILLON_PHOTO_DIR when set,
    // else Quillon/Photo under the user's data directory.
    static QString photoDirectory();

    // Opens the store file in the directory (which must hold one; the store
    // never creates its file here, see createFile). Throws StoreError.
    explicit Store(const QString& directory = photoDirectory());
    // Opens a database of a PostgreSQL server; throws StoreError with the
    // server's own words when it cannot be reached.
    explicit Store(const ServerSettings& server);
    ~Store();
    Store(const Store&) = delete;
    Store& operator=(const Store&) = delete;

    // Creates a new, empty store file (used by the template tool and tests).
    static void createFile(const QString& filePath);

    QString directory() const { return m_directory; }
    bool isServer() const { return m_server != nullptr; }
    // What the status bar names a server store by: its service or its host.
    QString serverName() const;

    // A store file larger than this is not checked when it opens: reading it
    // all would hold up the start. checkDeferred() then says so, and the
    // caller runs checkFile() on another thread.
    static constexpr qint64 kCheckAtOpenBytes = 4 * 1024 * 1024;
    bool checkDeferred() const { return m_checkDeferred; }
    // "ok", or what SQLite's quick check of the file found; on any thread.
    static QString checkFile(const QString& path);
    static QString damagedMessage(const QString& path, const QString& reason);
    QString filePath() const;
    QSqlDatabase& db() { return m_db; }

    // Definitions
    bool tableExists(const QString& table);
    QStringList tableNames();
    void createTable(const QString& table, const QList<FieldDef>& fields, const QList<IndexDef>& indexes);
    QList<FieldDef> fieldDefs(const QString& table);
    QList<IndexDef> indexDefs(const QString& table);
    void emptyTable(const QString& table);
    void deleteTable(const QString& table);
    void renameTable(const QString& from, const QString& to);
    // Renames fields (from, to) of a table in one transaction: all or none.
    // Names may change places; the resulting names must be distinct.
    void renameFields(const QString& table, const QList<QPair<QString, QString>>& renames);
    qint64 countRows(const QString& table);

    // Passwords: a protected table opens only while its password is registered.
    void protectTable(const QString& table, const QString& password);
    void registerPassword(const QString& password);
    void dropAllPasswords();
    bool mayOpen(const QString& table);

    // Long walks group their posts into one transaction; nested calls join
    // the outer one. Outside a batch every post commits on its own.
    void beginBatch();
    void commitBatch();
    void rollbackBatch();
    bool inBatch() const { return m_batchDepth > 0; }

    // A long walk that commits often (a disk scan turning the event loop, a
    // registration of large pictures) never copies its log into the store
    // file on this thread, which waits for the disk: past kLongWalkLogPages
    // pages of log, and when the walk ends, a connection of a thread of its
    // own copies it while the walk goes on. Nested walks join the outer one.
    //
    // A walk of large values (a registration's pictures) writes each value
    // once: in the log it would be written again when the log is copied. So
    // for such a walk of the local store, while nothing else has the file
    // open, the log gives way to a rollback journal, which holds only the
    // few pages a commit changes and is synced with each commit; the log
    // comes back when the walk ends (or, after a crash, when the store opens).
    void beginLongWalk(bool largeValues = false);
    void endLongWalk() noexcept;
    bool inLongWalk() const { return m_longWalkDepth > 0; }
    // The journal mode the file is in now: "wal", or "delete" during a walk
    // of large values.
    QString journalMode();
    static constexpr int kLogPages = 1000;
    static constexpr int kLongWalkLogPages = 16384;

    // Runs one statement; throws StoreError with the SQL error on failure.
    void exec(const QString& sql, const QVariantList& bind = {});
    // The same for a statement that changes only this table, so that handles
    // of other tables keep what they have read (side tables written in the
    // middle of a walk).
    void execTouching(const QString& table, const QString& sql, const QVariantList& bind = {});
    // The first column of the first row a reading statement answers; null
    // when it answers no row.
    QVariant value(const QString& sql, const QVariantList& bind = {});

    static QString quoted(const QString& identifier);
    // The words of a side table's columns in this store's dialect: a server
    // has its own names for blobs and 64-bit integers, and no NOCASE.
    struct SideTypes {
        QString blob;
        QString int64;
        QString caseless; // " COLLATE NOCASE" locally, empty on a server
    };
    SideTypes sideTypes() const;

    // Dialect: a comparison that finds an unset value too (" IS ?"), and the
    // place of unset values in an order (first, as the local store has it).
    QLatin1String sameAs() const;
    QLatin1String unsetFirst(bool descending) const;

    // On a server: the search's "%keyword%" conditions on these fields use a
    // trigram index instead of reading every row. Nothing locally.
    void indexForSearch(const QString& table, const QStringList& fields);
    // On a server, inside a batch: other writers of the table wait until this
    // one commits (serials taken as "highest + 1"). Nothing locally, where
    // the store has one writer.
    void lockForWriting(const QString& table);
    // On a server, a statement that fails inside a batch must not end the
    // whole transaction: run it through this, which rolls only it back.
    template <class F>
    auto guarded(F&& f) -> decltype(f());
    // A writing statement on a server, its values sent as they are (blobs
    // as bytes, not as text, which would double them): "?" marks them.
    struct ServerAnswer {
        bool ok = false;
        QVariant first; // the first column of the first row (RETURNING)
        int affected = 0;
        QString error;
        QString state; // the server's SQLSTATE
    };
    ServerAnswer execOnServer(const QString& sql, const QVariantList& bind);
    // The table's name as the store holds it (the store's names ignore
    // letter case); empty when there is none.
    QString storedName(const QString& table);

private:
    friend class Table;
    friend class Query;

    // What handles need to know about a table's rows: "order" changes when
    // rows come or go or an indexed field changes (a handle's snapshot of
    // rowids is then stale), "content" on every write (cached records are
    // then stale); count is the row count when known, -1 otherwise.
    struct TableState {
        quint64 order = 0;
        quint64 content = 0;
        qint64 count = -1;
    };
    TableState& tableState(const QString& table);
    void noteInsert(const QString& table);
    void noteDelete(const QString& table);
    void noteUpdate(const QString& table, bool orderChanged);
    void noteUnknownChange(const QString& table);
    void noteEverythingChanged();

    void run(const QString& sql, const QVariantList& bind = {});
    // The first column of the first row a pragma answers.
    QString pragmaText(const QString& pragma);
    void loadProtection();
    QString protectionOf(const QString& table);
    static QString stateKey(const QString& table) { return table.toLower(); }

    QList<IndexDef> serverIndexDefs(const QString& table);
    // The name as held on a server, where names keep their letter case.
    QString actual(const QString& table);
    // The server's own half of a guarded statement.
    void beginGuard();
    void endGuard(bool ok);

    QString m_directory;
    std::unique_ptr<ServerConnection> m_server;
    ServerSettings m_serverSettings;
    bool m_checkDeferred = false;
    QString m_connection;
    QSqlDatabase m_db;
    QSet<QString> m_passwords;
    int m_batchDepth = 0;
    bool m_rollbackOnly = false;
    int m_longWalkDepth = 0;
    bool m_logSetAside = false; // a walk of large values runs on a rollback journal
    void restoreLog() noexcept;
    // Asks the copying thread for one more copy of the log, starting it when
    // it is not running.
    void checkpointInBackground();
    qint64 m_longWalkLogBytes = 0;
    std::thread m_checkpointer;
    struct CheckpointState {
        std::mutex mutex;
        bool running = false;
        bool wanted = false;
    };
    std::shared_ptr<CheckpointState> m_checkpoint = std::make_shared<CheckpointState>();
    QHash<QString, TableState> m_states;
    QHash<QString, QString> m_storedNames; // state key -> name, on a server
    // Writing statements prepared on the server connection: text -> name.
    QHash<QByteArray, QByteArray> m_prepared;
    const void* m_preparedOn = nullptr;
    int m_preparedCount = 0;
    bool m_protectionLoaded = false;
    QHash<QString, QString> m_protection; // state key -> password
};

template <class F>
auto Store::guarded(F&& f) -> decltype(f())
{
    if (!m_server || m_batchDepth == 0)
        return f();
    beginGuard();
    try {
        if constexpr (std::is_void_v<decltype(f())>) {
            f();
            endGuard(true);
        } else {
            auto result = f();
            endGuard(true);
            return result;
        }
    } catch (...) {
        endGuard(false);
        throw;
    }
}

// Makes local-time conversions cheap for the whole process: every date-time
// a table reads or writes converts to local time. It sets an environment
// variable, so call it at the start of the process, before any thread.
void useCheapLocalTimeZone();

// RAII form of beginLongWalk/endLongWalk.
class LongWalk {
public:
    explicit LongWalk(Store& s, bool largeValues = false) : m_store(s) { m_store.beginLongWalk(largeValues); }
    ~LongWalk() { m_store.endLongWalk(); }
    LongWalk(const LongWalk&) = delete;
    LongWalk& operator=(const LongWalk&) = delete;

private:
    Store& m_store;
};

// RAII form of beginBatch/commitBatch; rolls back when left by an exception.
class Batch {
public:
    explicit Batch(Store& s) : m_store(s) { m_store.beginBatch(); }
    ~Batch();
    void commit();
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

private:
    Store& m_store;
    bool m_done = false;
};

} // namespace store
