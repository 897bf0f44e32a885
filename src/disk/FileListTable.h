#pragma once

// Whole-table commands of the file list _List.db: marking every row and
// deleting the marked files together with their rows. They walk a handle of
// their own (TaList2) so the grid's cursor is left alone; the caller refreshes
// the grid afterwards.

#include <QString>
#include <QStringList>

namespace store {
class Table;
}

namespace disk {

// Sets 印 to the mark on every row, in one transaction.
void markAllFiles(store::Table& walker);

struct DeleteResult {
    int deleted = 0;           // rows deleted (their files are gone)
    QStringList undeletable;   // files that exist and could not be removed: their rows stay
};

// Deletes the file of every marked row and then the row. A file that is
// already gone does not keep its row; one that cannot be removed does, so
// the list never claims a file was deleted while it is still on the disk.
DeleteResult deleteMarkedFiles(store::Table& walker);

} // namespace disk
