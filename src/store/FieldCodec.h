#pragma once

// How field values travel between callers, the handle's record buffer and the
// SQL columns. Internal to the store.
//
// Buffer values are "normal": null QVariant for an unset field (an empty text
// or an empty blob counts as unset), QString for text and memo, int (or
// qlonglong while out of 32-bit range, refused on post) for integers, QDate,
// QDateTime, bool, QByteArray for blobs.
//
// Columns keep dates as "yyyy-MM-dd" and date-times as
// "yyyy-MM-ddTHH:mm:ss.zzz" texts, so that text order is time order, and
// true/false as 0/1.

#include "store/Store.h"

#include <QDate>
#include <QDateTime>
#include <QVariant>

namespace store::detail {

// Declared column type of a field type ("VARCHAR(40)", "SMALLINT", ...).
QString columnType(FieldType type, int size);
// Reverse of columnType; size is the text width, 0 for other types.
void parseColumnType(const QString& declared, FieldType* type, int* size);

bool isBlob(FieldType type);
bool isInteger(FieldType type);

// Any caller value to a buffer value; throws StoreError when it cannot be
// converted (a text that is not a number for an integer field, ...).
QVariant normalize(const FieldDef& def, const QVariant& value);
// Buffer value to column value and back.
QVariant toColumn(const FieldDef& def, const QVariant& value);
QVariant fromColumn(const FieldDef& def, const QVariant& raw);

// The text of a buffer value as the fields and grids show it.
QString displayText(const FieldDef& def, const QVariant& value);
QString displayDate(const QDate& d);
QString displayDateTime(const QDateTime& dt);

// The column texts of a date and a date-time.
QString columnDate(const QDate& d);
QString columnDateTime(const QDateTime& dt);

QDate parseDate(const QString& text, bool* ok);
QDateTime parseDateTime(const QString& text, bool* ok);

// A store error for a failed statement: what we were doing plus SQLite's
// own message.
StoreError sqlError(const QString& what, const class QSqlError& error,
                    StoreError::Kind kind = StoreError::Kind::Other);

} // namespace store::detail
