#pragma once

// Test data for the picture databases: picture files, rows of the file list
// and of the picture-address list, and databases made directly in the store.

#include <QColor>
#include <QDateTime>
#include <QSize>
#include <QString>

namespace store {
class Store;
class Table;
} // namespace store

// Writes a picture of one colour in a format Qt writes, or GIF; false when
// it could not be written.
bool writePicture(const QString& path, QSize size, const char* format = "JPEG", QColor colour = Qt::darkCyan);

// A row of _List.db (a handle on it) for an existing file.
void addFileRow(store::Table& list, const QString& path, bool marked);
// A row of _LinkIMG.db with the next number.
void addAddressRow(store::Table& links, const QString& address, bool marked, const QDateTime& date);

// A picture database with the standard items: record table, image table and
// catalogue row, as the program's own database creation leaves them.
void makeDatabase(store::Store& s, const QString& name, bool indexMode, const QString& storedPassword = {});

// The whole of a file.
QByteArray fileBytes(const QString& path);
