#pragma once

// The exploration data module: the handles on the page-link, picture-link,
// host and file-list tables. Several handles stand on one table so that the
// grid's position is not disturbed by the exploration's own walks.

#include <QObject>

namespace store {

class Store;
class Table;
class DataSource;

class DataMd3 : public QObject {
    Q_OBJECT
public:
    // The password that protects the four exploration tables.
    static QString fixedTablePassword();

    // Registers the password and opens _List.db, _Link.db, _LinkIMG.db and
    // _host; a missing table raises StoreError naming it.
    explicit DataMd3(Store& store, QObject* parent = nullptr);
    ~DataMd3() override;

    Store& store() { return m_store; }

    Table* TaLink;      // grid on the page-link tab, order switching
    Table* TaLink2;     // inserts and updates
    Table* TaLink3;     // next serial, next page link
    Table* TaLinkImg;   // grid on the picture-link tab, marking, deleting
    Table* TaLinkImg2;  // inserts, updates, clearing marks
    Table* TaLinkImg3;  // next serial, next picture link, reset
    Table* TaHost;      // grid on the host tab, host entry
    Table* TaList;      // file-list grid
    Table* TaList2;     // whole-table walks of the file list
    DataSource* Dtlink;
    DataSource* DtLinkImg;
    DataSource* DtHost;
    DataSource* DtList;

private:
    Store& m_store;
};

// Raises StoreError naming the table when the store does not hold it.
void requireTable(Store& store, const QString& table);

} // namespace store
