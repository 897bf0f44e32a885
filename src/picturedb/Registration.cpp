#include "picturedb/Registration.h"

#include "picturedb/Catalogue.h"
#include "picturedb/HeldPictures.h"
#include "store/Fingerprints.h"
#include "store/HeldThumbnails.h"
#include "store/DataMod.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/TableOps.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <limits>

namespace picturedb {

namespace {

const QString kSerial = QStringLiteral("連番");
const QString kKind = QStringLiteral("画像種別");
const QString kSize = QStringLiteral("サイズ");
const QString kDate = QStringLiteral("更新日");
const QString kPicture = QStringLiteral("画像");
const QString kBitmap = QStringLiteral("BMP");

// A pending edit of the record page (a record started from the browser) is
// written before another record takes the next serial.
void settle(store::Table& t)
{
    if (t.state() == store::Table::State::Edit || t.state() == store::Table::State::Insert)
        t.post();
}

void setUserItem(store::Table& records, int item, const QString& text)
{
    const int position = kFirstUserField + item - 1;
    if (position < records.fieldCount())
        records.field(position).setAsString(text);
}

// Positions the image handle on the serial's row, for editing or as a new row.
void editImageRow(Catalogue& catalogue, qint32 serial)
{
    store::Table& images = *catalogue.dm().TaImage;
    if (catalogue.LocateImage(serial)) {
        // A row no record owns takes a new picture: no thumbnail of the old one may stay.
        if (store::HeldThumbnails::kept(images.store()))
            store::HeldThumbnails(images.store()).dropRecord(catalogue.dm().TaPhoto->tableName(), serial);
        images.edit();
    } else {
        images.insert();
        images.fieldByName(kSerial).setAsInteger(serial);
    }
}

// Leaves both handles out of their edit states after a failed write.
void cancelBoth(Catalogue& catalogue)
{
    catalogue.dm().TaImage->cancel();
    catalogue.dm().TaPhoto->cancel();
}

qint32 sizeField(qint64 size)
{
    return recordSize(size);
}

} // namespace

viewing::PictureKind registeredKind(const QString& file, const viewing::PictureTypes& types)
{
    using viewing::PictureKind;
    const PictureKind kind = viewing::kindOfExtension(UpperExtensionOf(file), types.markup);
    if (kind == PictureKind::None)
        return kind;
    if (kind != PictureKind::Jpeg && !(types.anyNew() && types.wants(kind)))
        return PictureKind::None;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return kind;
    return viewing::kindOfSignature(f.read(12)) == kind ? kind : PictureKind::None;
}

bool RegisterFile(Catalogue& catalogue, bool indexMode, const QString& title, const QString& address,
                  const QDate& date, qint64 size, const QString& file, const viewing::PictureTypes& types,
                  bool fingerprint)
{
    return RegisterFileOnce(catalogue, indexMode, title, address, date, size, file, types, nullptr, fingerprint).outcome
        == FileRegistration::Registered;
}

FileRegistration RegisterFileOnce(Catalogue& catalogue, bool indexMode, const QString& title, const QString& address,
                                  const QDate& date, qint64 size, const QString& file,
                                  const viewing::PictureTypes& types, HeldPictures* held, bool fingerprint)
{
    const QString kind = viewing::kindName(registeredKind(file, types));
    if (kind.isEmpty())
        return {};
    store::Table& records = *catalogue.dm().TaPhoto;
    store::openIfClosed(records);
    settle(records);
    // The bytes are hashed only for the duplicate check: without it a
    // registration reads each file once, as ever. A file that cannot be read
    // has no fingerprint; in import mode it fails below, where its bytes are read.
    QByteArray sha;
    std::optional<HeldPictures> own;
    HeldPictures* keeper = held;
    if (held || fingerprint) {
        sha = store::sha256OfFile(file);
        if (held && !sha.isEmpty()) {
            if (const std::optional<qint32> holder = held->find(QFileInfo(file).size(), sha))
                return {FileRegistration::Held, *holder};
        }
        if (!keeper)
            keeper = &own.emplace(catalogue, indexMode);
    }
    store::Batch batch(records.store());
    try {
        const qint32 serial = catalogue.NextRecordSerial();
        if (!indexMode) {
            editImageRow(catalogue, serial);
            catalogue.dm().TaImage->fieldByName(kPicture).loadFromFile(file);
            catalogue.dm().TaImage->post();
        }
        records.insert();
        records.fieldByName(kSerial).setAsInteger(serial);
        records.fieldByName(kSize).setAsInteger(sizeField(size));
        records.fieldByName(kDate).setAsDate(date);
        setUserItem(records, 1, QString());
        setUserItem(records, 2, title);
        setUserItem(records, 3, address.isEmpty() ? file : address);
        setUserItem(records, 4, QString());
        records.fieldByName(kKind).setAsString(kind);
        records.post();
        if (keeper)
            keeper->add(serial, size, sha);
        batch.commit();
        return {FileRegistration::Registered, serial};
    } catch (const store::StoreError&) {
        cancelBoth(catalogue);
        throw;
    }
}

void RegisterAddress(Catalogue& catalogue, const QString& address, const QDate& date)
{
    store::Table& records = *catalogue.dm().TaPhoto;
    store::openIfClosed(records);
    settle(records);
    store::Batch batch(records.store());
    try {
        const qint32 serial = catalogue.NextRecordSerial();
        records.insert();
        records.fieldByName(kSerial).setAsInteger(serial);
        records.fieldByName(kSize).setAsInteger(0);
        records.fieldByName(kDate).setAsDate(date);
        setUserItem(records, 1, QString());
        setUserItem(records, 2, QString());
        setUserItem(records, 3, address);
        setUserItem(records, 4, QString());
        records.fieldByName(kKind).setAsString(QString());
        records.post();
        batch.commit();
    } catch (const store::StoreError&) {
        records.cancel();
        throw;
    }
}

namespace {

// Walks the marked rows: registers each, and with deleteRegistered deletes
// the row of a registered one (afterDelete then runs for it).
WalkResult walkMarkedRows(store::Table& walker, bool deleteRegistered, const GoOn& goOn,
                          const std::function<bool()>& registerRow, const std::function<void()>& afterDelete)
{
    WalkResult result;
    store::openIfClosed(walker);
    walker.refresh();
    if (walker.isEmpty())
        return result;
    walker.first();
    while (!walker.eof()) {
        if (!store::isMarked(walker)) {
            walker.next();
            continue;
        }
        ++result.marked;
        const bool registered = registerRow();
        if (registered)
            ++result.registered;
        bool more = true;
        if (registered && deleteRegistered) {
            more = store::removeAndGoOn(walker);
            if (afterDelete)
                afterDelete();
        } else {
            walker.next();
        }
        if (goOn && !goOn(result.marked)) {
            result.stopped = true;
            break;
        }
        if (!more)
            break;
    }
    return result;
}

} // namespace

WalkResult registerMarkedFiles(Catalogue& catalogue, bool indexMode, store::Table& walker, bool deleteRegistered,
                               const GoOn& goOn, const viewing::PictureTypes& types, bool noDuplicates)
{
    QString path;
    QStringList undeletable;
    std::optional<HeldPictures> held;
    if (noDuplicates)
        held.emplace(catalogue, indexMode);
    int skipped = 0;
    WalkResult result = walkMarkedRows(
        walker, deleteRegistered, goOn,
        [&] {
            path = walker.fieldByName(QStringLiteral("フルパス名")).asString();
            const QString size = walker.fieldByName(kSize).asString();
            const FileRegistration r
                = RegisterFileOnce(catalogue, indexMode, QString(), QString(),
                                   walker.fieldByName(QStringLiteral("作成日")).asDate(),
                                   size.isEmpty() ? 0 : walker.fieldByName(kSize).asInteger(), path, types,
                                   held ? &*held : nullptr);
            if (r.outcome == FileRegistration::Held)
                ++skipped;
            return r.outcome == FileRegistration::Registered;
        },
        [&] {
            // An index-mode record points to the file, which therefore stays.
            if (!indexMode && !QFile::remove(path) && QFileInfo::exists(path))
                undeletable << path;
        });
    result.undeletable = undeletable;
    result.held = skipped;
    return result;
}

WalkResult registerMarkedAddresses(Catalogue& catalogue, store::Table& walker, bool deleteRegistered,
                                   const GoOn& goOn)
{
    return walkMarkedRows(walker, deleteRegistered, goOn, [&] {
        RegisterAddress(catalogue, walker.fieldByName(QStringLiteral("URL")).asString(),
                        walker.fieldByName(QStringLiteral("Date")).asDate());
        return true;
    }, {});
}

qint32 startBrowserRecord(Catalogue& catalogue, bool indexMode, const QString& path, const QImage& bitmap,
                          const viewing::PictureTypes& types, bool fingerprint)
{
    const QFileInfo info(path);
    const qint64 size = info.exists() ? info.size() : 0;
    // A BMP file keeps its bitmap as ever; a kept kind keeps the file's bytes;
    // any other file gets the kind its extension gives and no picture.
    QString kind = ImageKindOf(UpperExtensionOf(path).left(4));
    bool keepBytes = false;
    if (kind != u"BMP") {
        if (const QString kept = viewing::kindName(registeredKind(path, types)); !kept.isEmpty()) {
            kind = kept;
            keepBytes = true;
        }
    }
    store::Table& records = *catalogue.dm().TaPhoto;
    store::Table& images = *catalogue.dm().TaImage;
    store::openIfClosed(images);
    store::openIfClosed(records);
    settle(records);
    std::optional<HeldPictures> held;
    QByteArray sha;
    if (fingerprint) {
        held.emplace(catalogue, indexMode);
        sha = store::sha256OfFile(path);
    }
    const qint32 serial = catalogue.NextRecordSerial();
    try {
        records.insert();
        records.fieldByName(kSerial).setAsInteger(serial);
        editImageRow(catalogue, serial);
        if (!indexMode && kind == u"BMP") {
            images.fieldByName(kBitmap).setImage(bitmap);
            images.fieldByName(kPicture).setAsBytes(store::bitmapMarker());
        } else if (!indexMode && keepBytes) {
            images.fieldByName(kPicture).loadFromFile(path);
        }
        images.post();
        // Kept now under the serial the record starts with; the record page
        // moves or drops it as the record takes another serial or is discarded.
        if (held)
            held->add(serial, size, sha);
        records.fieldByName(kDate).setAsDate(QDate::currentDate());
        if (indexMode)
            setUserItem(records, 3, path);
        records.fieldByName(kKind).setAsString(kind);
        records.fieldByName(kSize).setAsInteger(sizeField(size));
    } catch (const store::StoreError&) {
        cancelBoth(catalogue);
        throw;
    }
    return serial;
}

} // namespace picturedb
