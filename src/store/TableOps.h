#pragma once

// Small operations that any handle offers the program's walks: the next
// serial number, emptying and counting a table, and the mark of the lists.

#include <QByteArray>
#include <QString>

namespace store {

class Table;

// The text of 印 in a marked row of the file list or the picture-link list.
QString markText();

void openIfClosed(Table& t);

// The highest number of the primary key's first field plus 1; 1 for an
// empty table.
qint32 NextSerial(Table& cursor);
void EmptyTableNow(Table& cursor);
int CountRecords(Table& cursor);
// Sets or clears the mark of the current row.
void ToggleMark(Table& cursor);
// Whether the current row holds exactly the mark.
bool isMarked(Table& cursor);
// The rows of the handle's table that isMarked would answer true for, in
// one statement rather than a walk.
int CountMarked(Table& cursor);

// Deletes the current row of a walk. True when the row that followed is now
// current; false when the deleted row was the last, so the walk is over.
bool removeAndGoOn(Table& walker);

// What 画像 of a picture database's image-table row holds in place of a
// picture file's bytes when its picture is the bitmap in BMP.
QByteArray bitmapMarker();
// Whether 画像 holds a picture file's own bytes: neither empty nor the marker.
bool holdsPictureBytes(const QByteArray& picture);
// The picture of the image table's current row for the picture loader: the
// bytes in 画像 when it holds a picture file's bytes, whatever its kind,
// else the bitmap in BMP.
QByteArray imageRowPicture(Table& images);

} // namespace store
