#pragma once

// What the parts of a table handle share: the look-ups of fields and
// indexes, and the store's error for a refused write. Not for use outside
// the store.

#include "store/Store.h"

#include <QList>
#include <QSqlError>
#include <QStringList>
#include <QVariant>

namespace store::detail {

inline bool isNullValue(const QVariant& v)
{
    return !v.isValid() || v.isNull();
}

// The position of a field by its name, letter case ignored; -1 when absent.
int indexOfField(const QList<FieldDef>& fields, const QString& name);

// The fields of the named index: empty name = primary (no primary key: none,
// the order is then the insertion order). False for an unknown name.
bool indexFieldsOf(const QList<IndexDef>& indexes, const QString& name, QStringList* fields);

// A refused insert or update: a duplicate key, a missing required value or
// any other failure of the store.
StoreError writeError(const QString& table, const QSqlError& error);

} // namespace store::detail
