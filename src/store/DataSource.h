#pragma once

// A data source binds a grid to a handle or a query: a table model that reads
// rows lazily, only those the view asks for. Switched off, it shows nothing and
// ignores the handle, so a handle can be renamed or reopened under it.

#include <QAbstractTableModel>
#include <QPointer>
#include <QStringList>

namespace store {

class Table;
class Query;

class DataSource : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit DataSource(Table* table, QObject* parent = nullptr);
    explicit DataSource(Query* query, QObject* parent = nullptr);

    // The fields shown as columns, by name, with their titles (the name when empty).
    void setColumns(const QStringList& fields, const QStringList& titles = {});
    QStringList columns() const { return m_columns; }
    void setColumnTitle(int column, const QString& title);
    void setColumnField(int column, const QString& field);
    void setReadOnly(bool ro) { m_readOnly = ro; }
    // Only these columns may be edited (all when empty).
    void setEditableColumns(const QList<int>& columns) { m_editable = columns; }
    // Off: an edited cell leaves the handle's record in its edit state, to
    // be written by post() or by the next move of the cursor, or dropped by
    // cancel(). On (the default): every edited cell is written at once.
    void setPostEachEdit(bool on) { m_postEachEdit = on; }

    void setEnabled(bool on);
    bool isEnabled() const { return m_enabled; }

    Table* table() const;
    Query* query() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

    // Moves the handle's cursor to a row of the view.
    void moveTo(int row);

public slots:
    void reset();

private:
    int fieldIndex(int column) const;

    QPointer<Table> m_table;
    QPointer<Query> m_query;
    QStringList m_columns;
    QStringList m_titles;
    bool m_enabled = true;
    bool m_readOnly = false;
    bool m_postEachEdit = true;
    QList<int> m_editable;
};

} // namespace store
