#pragma once

// The one-line query: SQL text whose parameters are named ":target0" to
// ":target3", each set as text. Double-quoted table and field names, Like (or
// ILIKE on a server) with "%" and "order by ... desc" are all the dialect
// needs. The whole result is read at once.

#include "store/Store.h"

#include <QObject>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>
#include <QVector>

namespace store {

class Query : public QObject {
    Q_OBJECT
public:
    explicit Query(Store& store, QObject* parent = nullptr);

    void setSql(const QString& oneLine);  // closes the query
    QString sql() const { return m_sql; }
    void clearSql();
    void setParam(const QString& name, const QString& text); // name without the colon
    void open();  // raises with the store's message when the statement is refused
    void close();
    bool isOpen() const { return m_open; }

    void first();
    void next();
    bool eof() const;
    int recNo() const { return m_pos; }
    void moveTo(int recNo);
    int recordCount() const { return m_rowCount; }

    int fieldCount() const { return int(m_columns.size()); }
    QStringList fieldNames() const { return m_columns; }
    QVariant value(int column) const;
    QVariant value(const QString& column) const; // raises when absent
    QVariantList recordAt(int recNo) const;

signals:
    void dataChanged();
    void cursorMoved(int recNo);

private:
    // A server's statement goes through the generic SQL layer.
    void openOnServer();
    void setResult(const QStringList& columns, QVector<QVariant>&& cells, int rowCount);

    Store& m_store;
    QString m_sql;
    QHash<QString, QString> m_params;
    bool m_open = false;
    QStringList m_columns;
    // The rows one after another, fieldCount() values each.
    QVector<QVariant> m_cells;
    int m_rowCount = 0;
    int m_pos = -1;
    bool m_eof = true;
};

} // namespace store
