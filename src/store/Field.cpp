// The fields of a handle's current record: reading and writing values with
// their conversions, blobs and pictures.

#include "store/Table.h"

#include "store/FieldCodec.h"
#include "store/TableDetail.h"

#include <QBuffer>
#include <QFile>
#include <limits>

namespace store {

using detail::indexOfField;
using detail::isNullValue;
using detail::normalize;

// ---- Field -----------------------------------------------------------------

QString Field::name() const
{
    return m_table->def(m_index).name;
}

QString Field::displayLabel() const
{
    return name();
}

FieldType Field::type() const
{
    return m_table->def(m_index).type;
}

int Field::size() const
{
    return m_table->def(m_index).size;
}

QVariant Field::value() const
{
    return m_table->currentValue(m_index);
}

void Field::setValue(const QVariant& v)
{
    m_table->setCurrentValue(m_index, v);
}

bool Field::isNull() const
{
    return isNullValue(value());
}

void Field::clear()
{
    setValue(QVariant());
}

QString Field::asString() const
{
    return detail::displayText(m_table->def(m_index), value());
}

void Field::setAsString(const QString& s)
{
    setValue(QVariant(s));
}

qint32 Field::asInteger() const
{
    const FieldDef& d = m_table->def(m_index);
    const QVariant v = value();
    if (isNullValue(v))
        return 0;
    switch (d.type) {
    case FieldType::Short:
    case FieldType::Long: {
        const qlonglong n = v.toLongLong();
        if (n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())
            break;
        return qint32(n);
    }
    case FieldType::Bool:
        return v.toBool() ? 1 : 0;
    case FieldType::Text:
    case FieldType::Memo: {
        bool ok = false;
        const qlonglong n = v.toString().trimmed().toLongLong(&ok);
        if (ok && n >= std::numeric_limits<qint32>::min() && n <= std::numeric_limits<qint32>::max())
            return qint32(n);
        break;
    }
    default:
        break;
    }
    throw StoreError(QStringLiteral("フィールド %1 の値 '%2' は整数ではありません").arg(d.name, asString()));
}

void Field::setAsInteger(qint32 v)
{
    const FieldType t = type();
    if (t == FieldType::Date || t == FieldType::DateTime || detail::isBlob(t))
        throw StoreError(QStringLiteral("フィールド %1 に整数は設定できません").arg(name()));
    setValue(QVariant(v));
}

QDateTime Field::asDateTime() const
{
    const QVariant v = value();
    if (isNullValue(v))
        return {};
    switch (type()) {
    case FieldType::DateTime:
        return v.toDateTime();
    case FieldType::Date:
        return v.toDate().startOfDay();
    case FieldType::Text:
    case FieldType::Memo: {
        bool ok = false;
        const QDateTime dt = detail::parseDateTime(v.toString(), &ok);
        if (ok)
            return dt;
        break;
    }
    default:
        break;
    }
    throw StoreError(QStringLiteral("フィールド %1 の値 '%2' は日時ではありません").arg(name(), asString()));
}

void Field::setAsDateTime(const QDateTime& v)
{
    const FieldType t = type();
    if (t == FieldType::Text || t == FieldType::Memo)
        setValue(detail::displayDateTime(v));
    else if (t == FieldType::Date || t == FieldType::DateTime)
        setValue(v.isValid() ? QVariant(v) : QVariant());
    else
        throw StoreError(QStringLiteral("フィールド %1 に日時は設定できません").arg(name()));
}

QDate Field::asDate() const
{
    if (type() == FieldType::Date) {
        const QVariant v = value();
        return isNullValue(v) ? QDate() : v.toDate();
    }
    return asDateTime().date();
}

void Field::setAsDate(const QDate& v)
{
    const FieldType t = type();
    if (t == FieldType::Text || t == FieldType::Memo)
        setValue(detail::displayDate(v));
    else if (t == FieldType::Date || t == FieldType::DateTime)
        setValue(v.isValid() ? QVariant(v) : QVariant());
    else
        throw StoreError(QStringLiteral("フィールド %1 に日付は設定できません").arg(name()));
}

bool Field::asBoolean() const
{
    const QVariant v = value();
    if (isNullValue(v))
        return false;
    switch (type()) {
    case FieldType::Bool:
        return v.toBool();
    case FieldType::Short:
    case FieldType::Long:
        return v.toLongLong() != 0;
    case FieldType::Text:
    case FieldType::Memo: {
        const QString s = v.toString().trimmed().toLower();
        if (s == u"true" || s == u"t" || s == u"1")
            return true;
        if (s == u"false" || s == u"f" || s == u"0")
            return false;
        break;
    }
    default:
        break;
    }
    throw StoreError(QStringLiteral("フィールド %1 の値 '%2' は真偽値ではありません").arg(name(), asString()));
}

void Field::setAsBoolean(bool v)
{
    const FieldType t = type();
    if (t == FieldType::Date || t == FieldType::DateTime || detail::isBlob(t))
        throw StoreError(QStringLiteral("フィールド %1 に真偽値は設定できません").arg(name()));
    setValue(QVariant(v));
}

QByteArray Field::asBytes() const
{
    const QVariant v = value();
    if (isNullValue(v))
        return {};
    if (detail::isBlob(type()))
        return v.toByteArray();
    return asString().toUtf8();
}

void Field::setAsBytes(const QByteArray& bytes)
{
    setValue(QVariant(bytes));
}

void Field::loadFromFile(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        throw StoreError(QStringLiteral("ファイル %1 を読めません: %2").arg(path, f.errorString()));
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        throw StoreError(QStringLiteral("ファイル %1 を読めません: %2").arg(path, f.errorString()));
    setAsBytes(bytes);
}

void Field::saveToFile(const QString& path) const
{
    const QByteArray bytes = asBytes();
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw StoreError(QStringLiteral("ファイル %1 に書けません: %2").arg(path, f.errorString()));
    if (f.write(bytes) != bytes.size() || !f.flush())
        throw StoreError(QStringLiteral("ファイル %1 に書けません: %2").arg(path, f.errorString()));
    f.close();
    if (f.error() != QFileDevice::NoError)
        throw StoreError(QStringLiteral("ファイル %1 に書けません: %2").arg(path, f.errorString()));
}

QImage Field::asImage() const
{
    return QImage::fromData(asBytes());
}

void Field::setImage(const QImage& image)
{
    if (image.isNull()) {
        clear();
        return;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        throw StoreError(QStringLiteral("フィールド %1 に画像を設定できません").arg(name()));
    setAsBytes(bytes);
}

// ---- Table: fields ---------------------------------------------------------------

int Table::fieldCount() const
{
    return int(m_fields.size());
}

Field Table::field(int index)
{
    def(index);
    return Field(this, index);
}

Field Table::fieldByName(const QString& name)
{
    const int i = indexOfField(m_fields, name);
    if (i < 0)
        throw StoreError(QStringLiteral("テーブル %1 にフィールド %2 はありません").arg(m_tableName, name));
    return Field(this, i);
}

bool Table::hasField(const QString& name) const
{
    return indexOfField(m_fields, name) >= 0;
}

QVariant Table::currentValue(int field) const
{
    if (field < 0 || field >= m_current.size())
        return {};
    return m_current[field];
}

void Table::setCurrentValue(int field, const QVariant& v)
{
    requireEditing();
    const QVariant value = normalize(def(field), v);
    m_current[field] = value;
    m_changed[field] = true;
    m_modified = true;
}

} // namespace store
