#pragma once

// The open picture database and the commands around it: choosing and opening
// a database with its password, binding the pages to its items, setting a
// password, and registering pictures from the lists and the browser.

#include "picturedb/Catalogue.h"
#include "picturedb/DatabaseState.h"
#include "picturedb/HashBackfill.h"

#include <QDate>
#include <QObject>
#include <QStringList>
#include <optional>

class QLineEdit;
class QTabWidget;

namespace store {
class DataMod;
class Table;
} // namespace store

namespace viewing {
struct Picture;
}

namespace picturedb {

class DatabasePages;
class PhotoHost;
class RecordPage;

class PictureDatabase : public QObject {
    Q_OBJECT
public:
    // Builds the record page and the two database pages into the given pages;
    // nameBox is the database name box above them.
    PictureDatabase(PhotoHost& host, store::DataMod& dm, QLineEdit* nameBox, QWidget* recordPage,
                    QWidget* newPage, QWidget* settingsPage);
    ~PictureDatabase() override;

    DatabaseState& state() { return m_state; }
    Catalogue& catalogue() { return m_catalogue; }
    RecordPage* record() const { return m_record; }
    DatabasePages* pages() const { return m_pages; }

    // The start-up steps of the database screens, then, once the secondary
    // windows exist, the opening of the database in the name box.
    void startUp();
    void openAtStart();

    enum class Choice { Cancelled, Opened, NotOpened };
    // The database list; the chosen database is opened.
    Choice ChooseDatabase();
    // The chooser step of the "DB名称(&B)" buttons of the lists, of the
    // settings dialog and of Enter in the name box: the name box and
    // DatabaseChosen follow a database that opened, and stay otherwise.
    bool ButtonDBNameClick();
    // Opens a database: its password, its tables, the pages bound to its
    // items. A refusal leaves the open database open, named and bound.
    bool OpenDatabase(const QString& name);
    void BindUserFields(const QString& name);
    bool SetDatabasePassword(const QString& password);

    // "登録(&I)" of the file list: its marked rows, walked on a handle of
    // their own; grid is the list's grid handle, refreshed afterwards.
    void registerMarkedFiles(store::Table& grid, bool deleteRegistered);
    // "登録(&I)" of the picture-address list.
    void registerMarkedAddresses(store::Table& grid, bool deleteRegistered);
    // The browser's "登録(&N)": a new record for the file, left for the user
    // to complete on the record page. With deleteFile the file goes once that
    // record is written (RecordPage::fileOfWrittenRecord), never in index
    // mode, where the record points to it.
    void RegisterFromBrowser(const QString& path, const viewing::Picture& preview, bool deleteFile = false);
    // A downloaded picture accepted for the database: registered with the
    // slot's host as title and its address. Without keepFile the file goes
    // once it is registered. False when it was not registered (no database
    // open, a file of a kind not kept, see registeredKind).
    bool RegisterDownloaded(const QString& title, const QString& address, const QDate& date, qint64 size,
                            const QString& file, bool keepFile);
    // The serial of a record of the open database whose picture has exactly
    // these bytes (none while no database is open).
    std::optional<qint32> recordHolding(qint64 size, const QByteArray& sha256);
    // With 同じ画像は保存・登録しない, the perceptual hashes missing from the
    // fingerprints kept at the door (saved files, records of the open
    // database) are computed in the background.
    void fillMissingHashes();
    // "追加(&N)" of the record page: the browser, once a database is named.
    void Button7Click();
    // 新規データベース and ＤＢ設定/削除
    bool CheckNewDatabaseName(const QString& name);
    void RadioKoumokuClick();
    void ButtonKoushinClick();
    void Button11Click();
    // "DB新規(&N)": the record and image tables and the catalogue row, all or
    // nothing, then the new database opened.
    void CreateDatabase();
    void Button16Click();
    void ButtonCancelKmkClick();
    // "DB削除": the database of the name box, its tables and its catalogue
    // row, all or nothing, after its password when it has one.
    void DeleteDatabase();

    // Whether a registration run is going on.
    bool isRegistering() const { return m_registering; }

signals:
    // The labels of the user items of the database opened, or renamed, by
    // that name (none while none is open).
    void fieldLabelsBound(const QString& database, const QStringList& labels);
    // "取込方式" or "索引方式" for the open database.
    void storageModeShown(const QString& text);

private:
    enum class Switch { Done, Refused };
    Switch switchTables(const QString& name, bool* indexMode);
    // The password that opened a protected database: typed in the settings
    // page's box or in the password window; nothing when refused.
    std::optional<QString> checkPassword(const QString& stored);
    void positionCatalogue(const QString& name);
    // No database is open any more.
    void closeDatabase();
    // The item names that differ from the record table's become its fields'
    // names, or a refusal changes nothing.
    void renameItems();
    void appendItem();
    void deleteItem();
    // pictures: the records take pictures' bytes (import mode).
    template <class Walk>
    void runRegistration(store::Table& grid, bool pictures, Walk walk);

    PhotoHost& m_host;
    store::DataMod& m_dm;
    QLineEdit* m_nameBox;
    Catalogue m_catalogue;
    DatabaseState m_state;
    RecordPage* m_record;
    DatabasePages* m_pages;
    HashBackfill* m_backfill;
    bool m_registering = false;
};

} // namespace picturedb
