#pragma once

// The picture data module: the catalogue, item list and model tables, the
// handles on the open picture database's record and image tables, and the
// search query with its data source.

#include <QObject>

namespace store {

class Store;
class Table;
class Query;
class DataSource;

class DataMod : public QObject {
    Q_OBJECT
public:
    // Checks that the fixed picture tables are there; a missing one raises
    // StoreError naming it. Tables are opened by the operations that use them.
    explicit DataMod(Store& store, QObject* parent = nullptr);
    ~DataMod() override;

    Store& store() { return m_store; }

    Table* TaIndex;    // _INDEX.DB, the catalogue
    Table* TaItem;     // _ITEM.DB, the item list
    Table* TaModel;    // _Model.DB, the standard items
    Table* TaModelDB;  // _PHOTO.DB, the standard record layout
    Table* TaPhoto;    // record table of the open database
    Table* TaPhoto2;   // second handle on the record table (next serial)
    Table* TaImage;    // image table of the open database
    Query* QuPhoto;    // the search
    DataSource* DtIndex;
    DataSource* DtItem;
    DataSource* DtPhoto;
    DataSource* DtImage;
    DataSource* DqPhoto;

private:
    Store& m_store;
};

} // namespace store
