#pragma once

// Registering pictures into the open picture database: one picture file,
// one picture address, and the walks over the marked rows of the file list
// and the picture-address list. Each record is written in a transaction of
// its own, so a store error ends a walk with every earlier record kept; a
// list row (and a file) is deleted only after its record has committed.

#include <QDate>
#include <QImage>
#include <QString>
#include <QStringList>
#include <functional>

namespace store {
class Table;
}

namespace picturedb {

class Catalogue;

// Registers a JPEG file: in import mode its bytes go into the image table.
// False, with nothing written, for a file whose kind is not JPEG. title and
// address become user items 2 and 3 (the file's path when address is empty).
bool RegisterFile(Catalogue& catalogue, bool indexMode, const QString& title, const QString& address,
                  const QDate& date, qint64 size, const QString& file);

// Registers a picture address: サイズ 0, no kind, the address in user item 3.
void RegisterAddress(Catalogue& catalogue, const QString& address, const QDate& date);

struct WalkResult {
    int marked = 0;          // marked rows seen
    int registered = 0;      // records written
    bool stopped = false;    // goOn() asked to stop
    QStringList undeletable; // registered files that could not be deleted
};

// Called after each marked row with the number of marked rows handled so
// far; false stops the walk there.
using GoOn = std::function<bool(int handled)>;

// The marked rows of the file list, walked on a handle of their own. With
// deleteRegistered each registered row is deleted, and in import mode its
// file too (an index-mode record points to the file, which therefore stays).
WalkResult registerMarkedFiles(Catalogue& catalogue, bool indexMode, store::Table& walker, bool deleteRegistered,
                               const GoOn& goOn);

// The marked rows of the picture-address list; with deleteRegistered each
// registered row is deleted.
WalkResult registerMarkedAddresses(Catalogue& catalogue, store::Table& walker, bool deleteRegistered,
                                   const GoOn& goOn);

// Starts a record for a file chosen in the picture browser: the image row
// (import mode: the JPEG bytes, or the bitmap with "www" for a BMP file) is
// written, the record is left in insert state for the user to complete.
// Answers its serial; a file that cannot be read raises and leaves nothing.
qint32 startBrowserRecord(Catalogue& catalogue, bool indexMode, const QString& path, const QImage& bitmap);

} // namespace picturedb
