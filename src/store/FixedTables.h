#pragma once

// The tables that come with the program: the exploration tables and the
// picture-database catalogue, item list and models. The template store is
// made from these layouts by the build; the program itself never creates them.

#include "store/Store.h"

#include <QList>
#include <QString>
#include <QVariant>

namespace store {

struct FixedTableLayout {
    QString name;
    QList<FieldDef> fields;
    QList<IndexDef> indexes;
    QString password;        // empty when the table is not protected
    QList<QVariantList> rows; // initial records, values in field order
};

// The password of the four exploration tables.
QString explorationTablePassword();

QList<FixedTableLayout> fixedTableLayouts();

// The layout of a picture database's image table (its name is the database's
// name followed by "_"): the owner's serial, the picture bytes, a bitmap.
QList<FieldDef> imageTableFields();
QList<IndexDef> imageTableIndexes();

// The picture database that the template holds, empty and with the standard
// items, so that a first start opens it.
QString sampleDatabaseName();

// Creates every fixed table with its indexes, rows and protection in the store.
void createFixedTables(Store& store);
// The picture-database tables alone (catalogue, item list, models and the
// sample database), for a server that shares them; all or nothing.
void createPictureTables(Store& store);
// Whether the store holds every picture-database table: a server that
// lacks them is initialised only when the user asks.
bool hasPictureTables(Store& store);

} // namespace store
