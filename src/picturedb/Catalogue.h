#pragma once

// The catalogue of picture databases and the small operations on the record,
// image, item and model tables that the picture-database windows call. All
// work on the handles of the picture data module; store errors pass to the
// caller unless an operation says otherwise.

#include "store/Store.h"

#include <QList>
#include <QString>
#include <optional>

namespace store {
class DataMod;
class Table;
} // namespace store

namespace picturedb {

// Attribute letters of user items: A text, S 32-bit integer, D date, M memo.
std::optional<store::FieldType> TypeOfAttribute(const QString& letter);
// The letter of a field type read back from a record table; empty for any
// type that no letter creates.
QString AttributeOfType(store::FieldType type);

// The picture kind of an upper-case extension with its dot: ".JPG" JPEG,
// ".GIF" GIF, ".BMP" BMP, else the up to three characters after the dot.
QString ImageKindOf(const QString& extension);
// The upper-case extension of a path, from its last "." on; empty when none.
QString UpperExtensionOf(const QString& path);
// The path without everything up to and including its last directory separator.
QString FileNameOf(const QString& path);

// Database names: not beginning or ending with "_" (fixed tables begin with
// it, image tables end with it).
bool isValidDatabaseName(const QString& name);
QString imageTableName(const QString& database);

// Why user items cannot take new names, or empty when they can: after[k] is
// the new name of user item k + 1, before[k] its name now, systemNames those
// of the fields before the user items. Only changed names are judged.
QString ItemNameRefusal(const QStringList& systemNames, const QStringList& before, const QStringList& after);

// The system fields of a record table come first; user item k (from 1) is
// the field at position kFirstUserField + k - 1.
inline constexpr int kFirstUserField = 5;
inline constexpr int kMaxUserItems = 16;

class Catalogue {
public:
    explicit Catalogue(store::DataMod& dm);

    store::DataMod& dm() { return m_dm; }

    // Record table
    bool LocateRecord(qint32 serial);
    qint32 NextRecordSerial();
    // Image table: the row of a serial. Opening failures raise.
    bool LocateImage(qint32 serial);

    // Catalogue _INDEX.DB
    bool AddCatalogueEntry(const QString& name, const QString& password, bool indexMode);
    bool CatalogueHas(const QString& name);
    void RemoveCatalogueEntries(const QString& name);

    // Item list _ITEM.DB
    bool PutItem(const QString& itemName, const QString& letter, qint32 width, qint32 number);
    // Appends the field of a user item to a record layout being built; false
    // (nothing appended) for a letter other than A, S, D and M: the caller
    // then shows "属性エラー".
    static bool AddUserField(QList<store::FieldDef>& layout, const QString& itemName, const QString& letter,
                             qint32 width);
    // Rebuilds the item list from the open record table's user items.
    void ListTableItems();
    // Empties the item list and fills it with the standard items of _Model.DB.
    bool LoadStandardItems();
    // Closes, empties and reopens the item list.
    void ClearItems();

    // The labels of the open record table's user items, in table order, at
    // most kMaxUserItems.
    QStringList userFieldLabels();

private:
    store::DataMod& m_dm;
};

} // namespace picturedb
