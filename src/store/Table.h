#pragma once

// A handle on one table: a cursor with an active index, a position and a
// pending edit. Several handles may stand on one table; what one posts the
// others see after refresh().

#include "store/Store.h"

#include <QDate>
#include <QDateTime>
#include <QImage>
#include <QObject>
#include <QSqlQuery>
#include <QVariant>
#include <QVector>
#include <map>
#include <memory>

namespace store {

class Table;

// A field of the current record of a handle (or of its pending edit).
class Field {
public:
    Field(Table* table, int index) : m_table(table), m_index(index) {}

    QString name() const;
    QString displayLabel() const; // the field's name
    FieldType type() const;
    int size() const;
    int index() const { return m_index; }

    QVariant value() const;
    void setValue(const QVariant& v);
    bool isNull() const;
    void clear();

    QString asString() const;          // unset text reads as empty
    void setAsString(const QString& s); // converts for numeric and date fields; bad text raises
    qint32 asInteger() const;           // not a number raises
    void setAsInteger(qint32 v);
    QDateTime asDateTime() const;
    void setAsDateTime(const QDateTime& v);
    QDate asDate() const;
    void setAsDate(const QDate& v);
    bool asBoolean() const;
    void setAsBoolean(bool v);

    // Blob fields
    QByteArray asBytes() const;
    void setAsBytes(const QByteArray& bytes);
    void loadFromFile(const QString& path); // byte for byte; raises when unreadable
    void saveToFile(const QString& path) const;
    // Graphic blob: the picture kept in the field
    QImage asImage() const;
    void setImage(const QImage& image);

private:
    Table* m_table;
    int m_index;
};

class Table : public QObject {
    Q_OBJECT
public:
    enum class State { Inactive, Browse, Edit, Insert };

    explicit Table(Store& store, const QString& tableName = {}, QObject* parent = nullptr);
    ~Table() override;

    Store& store() { return m_store; }

    // Open and close
    void setTableName(const QString& name); // only while closed
    QString tableName() const { return m_tableName; }
    void open();  // raises when the table is missing or protected
    void close(); // drops a pending edit
    bool isOpen() const { return m_state != State::Inactive; }
    State state() const { return m_state; }

    // Cursor. Every move writes a pending edit first (post when changed,
    // cancel when not).
    void first();
    void next();
    void prior();
    void last();
    bool eof() const;   // true after next() past the last record, or on an empty table
    bool bof() const;
    bool isEmpty();
    void refresh();     // re-reads the order; keeps the current record when it still exists
    int recordCount();  // cheap: no walk over the rows
    int recNo() const;  // position in the active order, 0-based; -1 when none
    void moveTo(int recNo);

    // Keys
    void setIndexName(const QString& name); // empty = primary index; raises for an unknown name
    QString indexName() const { return m_indexName; }
    QStringList indexFields() const;
    bool findKey(const QVariantList& values);     // exact match on the leading index fields
    void findNearest(const QVariantList& values); // first record at or after the key (last record when none)
    void cancelRange();                           // no ranges are set by the program; kept for the interface

    // Records
    void insert();   // new record, placed by its key when posted
    void edit();     // on an empty table acts as insert
    void post();     // raises on a duplicate key or a bad value; the state stays so the caller may cancel
    void cancel();
    void remove();   // deletes the current record; the cursor then stands on the following one
    bool modified() const { return m_modified; }

    // Fields
    int fieldCount() const;
    Field field(int index);
    Field fieldByName(const QString& name); // raises when absent
    bool hasField(const QString& name) const;
    QList<FieldDef> fieldDefs() const { return m_fields; }

    // Empty, delete and rename through the handle (the handle must be closed
    // for delete and rename).
    void emptyTable();
    void deleteTable();
    void renameTable(const QString& newName); // the handle then names the new table

    // Used by Field and by the grid model.
    QVariant currentValue(int field) const;
    void setCurrentValue(int field, const QVariant& v);
    QVariantList recordAt(int recNo); // the fields of the record at a position, cached

signals:
    // The order or the content changed (refresh, post, delete, index change).
    void dataChanged();
    // The cursor moved. Sent at once when the position is known without
    // reading the order, else once on the next turn of the event loop.
    void cursorMoved(int recNo);
    void stateChanged();

public:
    // Diagnostics: how often this handle has read its order of rowids.
    int snapshotLoadCount() const { return m_snapshotLoads; }

private:
    friend class Field;
    void requireOpen() const;
    void requireEditing() const;
    const FieldDef& def(int field) const;

    // The active order as rowids, read lazily and kept while the table's
    // order version is unchanged.
    bool snapshotCurrent() const;
    void ensureSnapshot();
    void loadSnapshot();
    int resolvePosition(); // position of the current record, loading the snapshot when needed
    const QList<qint64>& firstRowids(); // the first kPrefixRows of the order, read again when it changed

    void settle(); // writes or drops a pending edit before a move
    QString orderBy(bool descending = false) const;
    QString columnList() const;
    QString fetchSql() const;
    void makeStatementTexts();
    qint64 queryRowid(const QString& where, const QVariantList& bind, bool descending = false);
    void moveToRowid(qint64 rowid, int pos);
    void moveToPosition(int pos);
    QVariantList fetch(qint64 rowid, bool useCache);
    void readCurrent(); // the current record's values from the table
    void keepWritten(const QVariantList& written); // the buffer after an insert, as a re-read would give it
    void clearCurrent();
    void checkBeforePost() const;
    void checkNullKeys() const;
    bool changesOrder() const;
    // On a server, statements with blob values go past Qt's driver, which
    // would send the bytes as text twice their size.
    bool sendsBytes(const QVariantList& values) const;
    Store::ServerAnswer writeOnServer(const QString& sql, const QVariantList& values);
    void finishStatements();
    QSqlQuery& statement(const QString& sql);
    void emitMoved(int knownPosition = -1);

    Store& m_store;
    QString m_tableName;
    QString m_indexName;
    QStringList m_indexFields;
    QList<FieldDef> m_fields;
    QList<IndexDef> m_indexes;
    State m_state = State::Inactive;

    QVector<qint64> m_rowids; // the active order
    bool m_snapshotValid = false;
    // The start of the active order alone, for the first rows a grid shows.
    static constexpr int kPrefixRows = 256;
    QVector<qint64> m_prefix;
    bool m_prefixValid = false;
    quint64 m_prefixVersion = 0;
    quint64 m_snapshotVersion = 0;
    int m_snapshotLoads = 0;
    int m_pos = -1; // position of the current record in m_rowids; -1 when not known yet
    int m_posHint = 0; // last known position, for a current record that vanished
    bool m_eof = true;
    bool m_bof = true;
    qint64 m_currentRowid = -1;
    QVariantList m_current; // values of the current record or the pending edit
    QVector<bool> m_changed;
    bool m_modified = false;
    bool m_movePending = false;

    QHash<qint64, QVariantList> m_cache;
    quint64 m_cacheVersion = 0;
    qint64 m_cacheBytes = 0;
    // Statement texts of the open table and active index.
    QString m_fetchSql;
    QString m_insertSql;
    QString m_orderAsc;
    QString m_orderDesc;
    // Prepared statements of this handle by their text, made on first use.
    std::map<QString, std::unique_ptr<QSqlQuery>> m_statements;
};

} // namespace store
