#include "store/TableOps.h"

#include "store/Store.h"
#include "store/Table.h"

namespace store {

namespace {

const QString kMarkField = QStringLiteral("印");

} // namespace

QString markText()
{
    return QStringLiteral("〆");
}

QByteArray bitmapMarker()
{
    return QByteArrayLiteral("www");
}

bool holdsPictureBytes(const QByteArray& picture)
{
    return !picture.isEmpty() && picture != bitmapMarker();
}

QByteArray imageRowPicture(Table& images)
{
    QByteArray picture = images.fieldByName(QStringLiteral("画像")).asBytes();
    if (holdsPictureBytes(picture))
        return picture;
    return images.fieldByName(QStringLiteral("BMP")).asBytes();
}

void openIfClosed(Table& t)
{
    if (!t.isOpen())
        t.open();
}

qint32 NextSerial(Table& cursor)
{
    openIfClosed(cursor);
    cursor.setIndexName(QString());
    cursor.last();
    if (cursor.isEmpty())
        return 1;
    Field first = cursor.field(0);
    if (first.asString().isEmpty())
        return 1;
    return first.asInteger() + 1;
}

void EmptyTableNow(Table& cursor)
{
    cursor.close();
    cursor.store().emptyTable(cursor.tableName());
    cursor.open();
}

int CountRecords(Table& cursor)
{
    openIfClosed(cursor);
    return cursor.recordCount();
}

void ToggleMark(Table& cursor)
{
    openIfClosed(cursor);
    if (cursor.isEmpty())
        return;
    const bool marked = !cursor.fieldByName(kMarkField).asString().isEmpty();
    cursor.edit();
    cursor.fieldByName(kMarkField).setAsString(marked ? QString() : markText());
    cursor.post();
}

bool isMarked(Table& cursor)
{
    return cursor.fieldByName(kMarkField).asString() == markText();
}

int CountMarked(Table& cursor)
{
    Store& s = cursor.store();
    return s.value(QStringLiteral("SELECT count(*) FROM %1 WHERE %2 = ?")
                       .arg(Store::quoted(cursor.tableName()), Store::quoted(kMarkField)),
                   {markText()})
        .toInt();
}

bool removeAndGoOn(Table& walker)
{
    // After deleting the last row the cursor stands on the new last row,
    // which the walk has seen already.
    const bool wasLast = walker.recNo() == walker.recordCount() - 1;
    walker.remove();
    return !wasLast && !walker.eof();
}

} // namespace store
