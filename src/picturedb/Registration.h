#pragma once

// Registering pictures into the open picture database: one picture file,
// one picture address, and the walks over the marked rows of the file list
// and the picture-address list. Each record is written in a transaction of
// its own, so a store error ends a walk with every earlier record kept; a
// list row (and a file) is deleted only after its record has committed.

#include "viewing/PictureKind.h"

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
class HeldPictures;

// The kind a picture file is registered as, or None when it is not
// registered. Its extension names the kind (".jpeg", ".jpe" and ".jfif"
// with markup) and its first bytes must agree. JPEG is always kept; the other
// kinds only when they are ticked and the new types are in use (PNG, WebP,
// AVIF or markup ticked), so that with none of those ticked only JPEG is kept.
// A file that cannot be read passes here and fails where its bytes are read.
viewing::PictureKind registeredKind(const QString& file, const viewing::PictureTypes& types);

// Registers a picture file of a kind registeredKind accepts: in import mode
// its bytes go into the image table as they are. False, with nothing
// written, for any other file. title and address become user items 2 and 3
// (the file's path when address is empty). With fingerprint, the record's
// fingerprint (the file's SHA-256) is kept with it; the duplicate check finds
// the bytes of a record without one when it needs them.
bool RegisterFile(Catalogue& catalogue, bool indexMode, const QString& title, const QString& address,
                  const QDate& date, qint64 size, const QString& file, const viewing::PictureTypes& types = {},
                  bool fingerprint = false);

struct FileRegistration {
    enum Outcome { Registered, NotKept, Held };
    Outcome outcome = NotKept;
    qint32 serial = 0; // the new record's, or the one holding the same bytes
};

// RegisterFile that, given held, registers no file whose bytes held already
// has (Held, with that record's serial); a record written joins held (its
// fingerprint kept, as with fingerprint).
FileRegistration RegisterFileOnce(Catalogue& catalogue, bool indexMode, const QString& title, const QString& address,
                                  const QDate& date, qint64 size, const QString& file,
                                  const viewing::PictureTypes& types, HeldPictures* held, bool fingerprint = false);

// Registers a picture address: サイズ 0, no kind, the address in user item 3.
void RegisterAddress(Catalogue& catalogue, const QString& address, const QDate& date);

struct WalkResult {
    int marked = 0;          // marked rows seen
    int registered = 0;      // records written
    int held = 0;            // files not registered: the database holds their bytes
    bool stopped = false;    // goOn() asked to stop
    QStringList undeletable; // registered files that could not be deleted
};

// Called after each marked row with the number of marked rows handled so
// far; false stops the walk there.
using GoOn = std::function<bool(int handled)>;

// The marked rows of the file list, walked on a handle of their own. With
// deleteRegistered each registered row is deleted, and in import mode its
// file too (an index-mode record points to the file, which therefore stays).
// With noDuplicates a file whose bytes the database holds, or an earlier row
// of the walk brought, is skipped and its row stays.
WalkResult registerMarkedFiles(Catalogue& catalogue, bool indexMode, store::Table& walker, bool deleteRegistered,
                               const GoOn& goOn, const viewing::PictureTypes& types = {}, bool noDuplicates = false);

// The marked rows of the picture-address list; with deleteRegistered each
// registered row is deleted.
WalkResult registerMarkedAddresses(Catalogue& catalogue, store::Table& walker, bool deleteRegistered,
                                   const GoOn& goOn);

// Starts a record for a file chosen in the picture browser: the image row
// (import mode: the bitmap with "www" for a BMP file, the file's bytes for a
// kind registeredKind accepts, else no picture) is written, the record is
// left in insert state for the user to complete; with fingerprint, the file's
// fingerprint is kept under its serial. Answers its serial; a file that cannot be read
// raises and leaves nothing.
qint32 startBrowserRecord(Catalogue& catalogue, bool indexMode, const QString& path, const QImage& bitmap,
                          const viewing::PictureTypes& types = {}, bool fingerprint = false);

} // namespace picturedb
