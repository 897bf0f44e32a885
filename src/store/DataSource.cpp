#include "store/DataSource.h"

#include "store/FieldCodec.h"
#include "store/Query.h"
#include "store/Table.h"

namespace store {

namespace {

QString displayOf(const QVariant& v, const FieldDef* def)
{
    if (!v.isValid() || v.isNull())
        return {};
    if (def) {
        if (def->type == FieldType::Bytes)
            return QStringLiteral("(BLOB)");
        if (def->type == FieldType::Graphic)
            return QStringLiteral("(GRAPHIC)");
        return detail::displayText(*def, v);
    }
    switch (v.typeId()) {
    case QMetaType::QDate:
        return detail::displayDate(v.toDate());
    case QMetaType::QDateTime:
        return detail::displayDateTime(v.toDateTime());
    case QMetaType::Bool:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case QMetaType::QByteArray:
        return QStringLiteral("(BLOB)");
    default:
        return v.toString();
    }
}

} // namespace

DataSource::DataSource(Table* table, QObject* parent)
    : QAbstractTableModel(parent)
    , m_table(table)
{
    if (table)
        connect(table, &Table::dataChanged, this, [this] {
            if (m_enabled)
                reset();
        });
}

DataSource::DataSource(Query* query, QObject* parent)
    : QAbstractTableModel(parent)
    , m_query(query)
{
    if (query)
        connect(query, &Query::dataChanged, this, [this] {
            if (m_enabled)
                reset();
        });
}

Table* DataSource::table() const
{
    return m_table;
}

Query* DataSource::query() const
{
    return m_query;
}

void DataSource::setColumns(const QStringList& fields, const QStringList& titles)
{
    beginResetModel();
    m_columns = fields;
    m_titles = titles;
    endResetModel();
}

void DataSource::setColumnTitle(int column, const QString& title)
{
    if (column < 0)
        return;
    while (m_titles.size() <= column)
        m_titles << QString();
    m_titles[column] = title;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

void DataSource::setColumnField(int column, const QString& field)
{
    if (column < 0 || column >= m_columns.size())
        return;
    beginResetModel();
    m_columns[column] = field;
    endResetModel();
}

void DataSource::setEnabled(bool on)
{
    if (on == m_enabled)
        return;
    beginResetModel();
    m_enabled = on;
    endResetModel();
}

void DataSource::reset()
{
    beginResetModel();
    endResetModel();
}

int DataSource::fieldIndex(int column) const
{
    if (column < 0)
        return -1;
    if (m_columns.isEmpty())
        return column < columnCount() ? column : -1;
    if (column >= m_columns.size())
        return -1;
    const QString& name = m_columns[column];
    if (m_table) {
        const QList<FieldDef> defs = m_table->fieldDefs();
        for (int i = 0; i < defs.size(); ++i)
            if (defs[i].name.compare(name, Qt::CaseInsensitive) == 0)
                return i;
    } else if (m_query) {
        const QStringList names = m_query->fieldNames();
        for (int i = 0; i < names.size(); ++i)
            if (names[i].compare(name, Qt::CaseInsensitive) == 0)
                return i;
    }
    return -1;
}

int DataSource::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() || !m_enabled)
        return 0;
    try {
        if (m_table)
            return m_table->isOpen() ? m_table->recordCount() : 0;
        if (m_query)
            return m_query->isOpen() ? m_query->recordCount() : 0;
    } catch (const StoreError&) {
    }
    return 0;
}

int DataSource::columnCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    if (!m_columns.isEmpty())
        return int(m_columns.size());
    if (m_table)
        return m_table->fieldCount();
    if (m_query)
        return m_query->fieldCount();
    return 0;
}

QVariant DataSource::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !m_enabled || (role != Qt::DisplayRole && role != Qt::EditRole))
        return {};
    const int f = fieldIndex(index.column());
    if (f < 0)
        return {};
    try {
        if (m_table && m_table->isOpen()) {
            const QList<FieldDef> defs = m_table->fieldDefs();
            if (f >= defs.size())
                return {};
            // The record being edited shows its pending values.
            if (m_table->state() == Table::State::Edit && index.row() == m_table->recNo())
                return displayOf(m_table->currentValue(f), &defs[f]);
            const QVariantList row = m_table->recordAt(index.row());
            if (f >= row.size())
                return {};
            return displayOf(row[f], &defs[f]);
        }
        if (m_query && m_query->isOpen())
            return displayOf(m_query->recordAt(index.row()).value(f), nullptr);
    } catch (const StoreError&) {
        // A view asks from inside the event loop; a failed read shows blank.
    }
    return {};
}

QVariant DataSource::headerData(int section, Qt::Orientation o, int role) const
{
    if (o != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, o, role);
    if (section >= 0 && section < m_titles.size() && !m_titles[section].isEmpty())
        return m_titles[section];
    if (section >= 0 && section < m_columns.size())
        return m_columns[section];
    if (m_table) {
        const QList<FieldDef> defs = m_table->fieldDefs();
        if (section >= 0 && section < defs.size())
            return defs[section].name;
    } else if (m_query) {
        const QStringList names = m_query->fieldNames();
        if (section >= 0 && section < names.size())
            return names[section];
    }
    return {};
}

Qt::ItemFlags DataSource::flags(const QModelIndex& index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (!index.isValid() || m_readOnly || !m_table)
        return f;
    if (!m_editable.isEmpty() && !m_editable.contains(index.column()))
        return f;
    const int field = fieldIndex(index.column());
    const QList<FieldDef> defs = m_table->fieldDefs();
    if (field >= 0 && field < defs.size() && !detail::isBlob(defs[field].type))
        f |= Qt::ItemIsEditable;
    return f;
}

bool DataSource::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || m_readOnly || !m_table || !m_table->isOpen() || !m_enabled)
        return false;
    const int f = fieldIndex(index.column());
    if (f < 0)
        return false;
    try {
        m_table->moveTo(index.row());
        m_table->edit();
        Field field = m_table->field(f);
        if (value.typeId() == QMetaType::QString)
            field.setAsString(value.toString());
        else
            field.setValue(value);
        if (m_postEachEdit)
            m_table->post();
        else
            emit dataChanged(index, index);
        return true;
    } catch (const StoreError&) {
        try {
            m_table->cancel();
        } catch (const StoreError&) {
        }
        return false;
    }
}

void DataSource::moveTo(int row)
{
    if (m_table && m_table->isOpen())
        m_table->moveTo(row);
    else if (m_query && m_query->isOpen())
        m_query->moveTo(row);
}

} // namespace store
