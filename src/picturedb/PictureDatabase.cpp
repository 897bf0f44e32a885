#include "picturedb/PictureDatabase.h"

#include "controls/DBGrid.h"
#include "controls/MsgBtn.h"
#include "controls/RadioGroup.h"
#include "store/FixedTables.h"
#include "picturedb/DatabasePages.h"
#include "picturedb/FormDBList.h"
#include "picturedb/FormPassword.h"
#include "picturedb/HeldPictures.h"
#include "picturedb/PasswordHash.h"
#include "picturedb/PhotoHost.h"
#include "picturedb/RecordPage.h"
#include "picturedb/Registration.h"
#include "store/DataMod.h"
#include "store/DataSource.h"
#include "store/Fingerprints.h"
#include "store/HeldThumbnails.h"
#include "store/Query.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/TableOps.h"
#include "viewing/PictureLoader.h"

#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace picturedb {

namespace {

const QString kName = QStringLiteral("DB名称");
const QString kPassword = QStringLiteral("パスワード");
const QString kIndexMode = QStringLiteral("索引");

QString storageModeText(bool indexMode)
{
    return indexMode ? QStringLiteral("索引方式") : QStringLiteral("取込方式");
}

} // namespace

PictureDatabase::PictureDatabase(PhotoHost& host, store::DataMod& dm, QLineEdit* nameBox, QWidget* recordPage,
                                 QWidget* newPage, QWidget* settingsPage)
    : QObject(recordPage)
    , m_host(host)
    , m_dm(dm)
    , m_nameBox(nameBox)
    , m_catalogue(dm)
{
    m_record = new RecordPage(host, m_catalogue, m_state, recordPage);
    m_pages = new DatabasePages(dm, newPage, settingsPage);
    m_backfill = new HashBackfill(m_catalogue, host.localStore(), this);
    connect(m_record->Button7, &QPushButton::clicked, this, &PictureDatabase::Button7Click);
    connect(m_pages->ButtonSettei, &QPushButton::clicked, this,
            [this] { SetDatabasePassword(m_pages->EditPassword->text()); });
    connect(m_pages->RadioKoumoku, &TRadioGroup::clicked, this, &PictureDatabase::RadioKoumokuClick);
    connect(m_pages->ButtonKoushin, &QPushButton::clicked, this, &PictureDatabase::ButtonKoushinClick);
    connect(m_pages->ButtonCancelKoumoku, &QPushButton::clicked, this, [this] { m_dm.TaItem->cancel(); });
    connect(m_pages->Button11, &QPushButton::clicked, this, &PictureDatabase::Button11Click);
    connect(m_pages->ButtonNew, &QPushButton::clicked, this, &PictureDatabase::CreateDatabase);
    connect(m_pages->Button16, &QPushButton::clicked, this, &PictureDatabase::Button16Click);
    connect(m_pages->ButtonCancelKmk, &QPushButton::clicked, this, &PictureDatabase::ButtonCancelKmkClick);
    connect(m_pages->MsgBitBtn4, &TMsgBitBtn::okClick, this, &PictureDatabase::DeleteDatabase);
    connect(m_pages->DBGridShinki, &TDBGrid::appendRequested, this, &PictureDatabase::appendItem);
    connect(m_pages->DBGridShinki, &TDBGrid::deleteRequested, this, &PictureDatabase::deleteItem);
}

PictureDatabase::~PictureDatabase() = default;

void PictureDatabase::startUp()
{
    m_state.FieldLabels.fill(QString());
    m_pages->GroupKoumoku->setVisible(false);
    m_pages->GroupKoumokuCopy->setVisible(false);
    m_record->ButtonUpdate->setEnabled(false);
    m_state.ShowOnNavigate = true;
}

void PictureDatabase::openAtStart()
{
    m_state.DatabaseChosen = OpenDatabase(m_nameBox->text());
}

void PictureDatabase::positionCatalogue(const QString& name)
{
    if (!name.isEmpty() && m_dm.TaIndex->isOpen())
        m_dm.TaIndex->findKey({name});
}

PictureDatabase::Choice PictureDatabase::ChooseDatabase()
{
    m_state.ShowOnNavigate = false;
    try {
        store::openIfClosed(*m_dm.TaIndex);
        TFormDBList* list = m_host.databaseList();
        list->setCatalogue(m_dm.DtIndex);
        if (list->exec() != QDialog::Accepted) {
            positionCatalogue(m_state.CurrentDatabase);
            return Choice::Cancelled;
        }
        const QString name = m_dm.TaIndex->isEmpty() ? QString() : m_dm.TaIndex->fieldByName(kName).asString();
        const bool opened = !name.isEmpty() && OpenDatabase(name);
        // The catalogue's current row names the open database, also after a refusal.
        if (!opened)
            positionCatalogue(m_state.CurrentDatabase);
        m_state.ShowOnNavigate = true;
        return opened ? Choice::Opened : Choice::NotOpened;
    } catch (const store::StoreError& e) {
        m_host.reportError(e.message());
        return Choice::NotOpened;
    }
}

bool PictureDatabase::ButtonDBNameClick()
{
    if (ChooseDatabase() != Choice::Opened)
        return false;
    m_nameBox->setText(m_state.CurrentDatabase);
    m_state.DatabaseChosen = true;
    return true;
}

std::optional<QString> PictureDatabase::checkPassword(const QString& stored)
{
    QLineEdit* box = m_pages->EditPassword;
    const QString typed = box->text();
    if (!typed.isEmpty() && passwordMatches(stored, typed)) {
        box->clear();
        m_pages->CheckPassword->setChecked(false);
        m_pages->CheckPasswordClick();
        return typed;
    }
    TFormPassword* window = m_host.passwordWindow();
    if (!window)
        return std::nullopt;
    window->expect(stored);
    const bool ok = window->exec() == QDialog::Accepted;
    const QString entered = window->EditPassword->text();
    window->expect(QString()); // nothing of the password stays in the window
    if (!ok)
        return std::nullopt;
    return entered;
}

PictureDatabase::Switch PictureDatabase::switchTables(const QString& name, bool* indexMode)
{
    store::Table& catalogue = *m_dm.TaIndex;
    store::openIfClosed(catalogue);
    catalogue.setIndexName(QString());
    if (!catalogue.findKey({name}))
        return Switch::Refused;
    const QString stored = catalogue.fieldByName(kPassword).asString();
    *indexMode = catalogue.fieldByName(kIndexMode).asBoolean();
    if (!stored.isEmpty()) {
        const std::optional<QString> typed = checkPassword(stored);
        if (!typed)
            return Switch::Refused;
        if (!isPasswordHash(stored) && catalogue.findKey({name})) {
            // An old plain password: from now on only its hash is kept.
            catalogue.edit();
            catalogue.fieldByName(kPassword).setAsString(hashPassword(*typed));
            catalogue.post();
        }
    }
    store::Store& store = m_dm.store();
    if (!store.tableExists(name) || !store.tableExists(imageTableName(name))) {
        m_host.message(QStringLiteral("Cannot Change ") + name);
        return Switch::Refused;
    }

    // From here on the handles change tables.
    BindUserFields(QString());
    m_catalogue.ClearItems();
    m_dm.DtPhoto->setEnabled(false);
    m_dm.DtImage->setEnabled(false);
    const QString previous = m_state.CurrentDatabase;
    for (store::Table* t : {m_dm.TaPhoto, m_dm.TaPhoto2, m_dm.TaImage})
        t->close();
    m_dm.TaPhoto->setTableName(name);
    m_dm.TaPhoto2->setTableName(name);
    m_dm.TaImage->setTableName(imageTableName(name));
    m_host.setStatus(0, QString());
    try {
        m_dm.TaPhoto->open();
        m_dm.TaImage->open();
    } catch (const store::StoreError&) {
        // Back to the tables that were open, so that the pages still show them.
        for (store::Table* t : {m_dm.TaPhoto, m_dm.TaPhoto2, m_dm.TaImage})
            t->close();
        m_dm.TaPhoto->setTableName(previous);
        m_dm.TaPhoto2->setTableName(previous);
        m_dm.TaImage->setTableName(previous.isEmpty() ? QString() : imageTableName(previous));
        if (!previous.isEmpty()) {
            try {
                m_dm.TaPhoto->open();
                m_dm.TaImage->open();
                BindUserFields(previous);
                m_catalogue.ListTableItems();
            } catch (const store::StoreError&) {
            }
        }
        m_dm.DtPhoto->setEnabled(true);
        m_dm.DtImage->setEnabled(true);
        throw;
    }
    m_host.setStatus(0, QStringLiteral("ＤＢ切替完了"));
    return Switch::Done;
}

bool PictureDatabase::OpenDatabase(const QString& name)
{
    bool indexMode = false;
    try {
        if (name.isEmpty() || switchTables(name, &indexMode) == Switch::Refused) {
            m_host.message(QStringLiteral("データベース該当なし"));
            return false;
        }
    } catch (const store::StoreError& e) {
        m_host.reportError(e.message());
        return false;
    }
    const bool changed = name != m_state.CurrentDatabase;
    m_state.IndexMode = indexMode;
    m_pages->showStorageMode(indexMode);
    m_record->LabelHokan->setText(storageModeText(indexMode));
    emit storageModeShown(storageModeText(indexMode));
    try {
        BindUserFields(name);
        m_state.CurrentDatabase = name;
        m_nameBox->setText(name);
        // A search result of another database is not this one's.
        if (changed)
            m_dm.QuPhoto->close();
        m_record->ShowRecordPicture();
        m_pages->GroupKoumokuCopy->setVisible(true);
        m_host.setStatus(0, name);
        m_catalogue.ListTableItems();
    } catch (const store::StoreError& e) {
        m_host.reportError(e.message());
    }
    m_dm.DtPhoto->setEnabled(true);
    m_dm.DtImage->setEnabled(true);
    return true;
}

void PictureDatabase::BindUserFields(const QString& name)
{
    QStringList labels;
    if (!name.isEmpty())
        labels = m_catalogue.userFieldLabels();
    m_state.FieldLabels.fill(QString());
    for (int k = 0; k < labels.size() && k < kMaxUserItems; ++k) {
        m_state.FieldLabels[size_t(k)] = labels[k];
        if (k < 4)
            m_host.LogNormal(labels[k] + QLatin1Char(' ') + QString::number(k));
    }
    m_record->bindFields(labels);
    m_host.LogNormal(QStringLiteral("DBEdit3  :") + labels.value(2));
    emit fieldLabelsBound(name, labels);
}

bool PictureDatabase::SetDatabasePassword(const QString& password)
{
    auto fail = [this](const QString& text) {
        if (!text.isEmpty())
            m_host.message(text);
        m_host.setStatus(0, QString());
        return false;
    };
    if (password.isEmpty())
        return fail(QStringLiteral("パスワード未設定"));
    const QString name = m_nameBox->text();
    if (name.isEmpty())
        return fail(QStringLiteral("データベース未設定"));
    try {
        store::Table& catalogue = *m_dm.TaIndex;
        store::openIfClosed(catalogue);
        catalogue.setIndexName(QString());
        if (!catalogue.findKey({name}))
            return fail(QStringLiteral("データベース該当なし"));
        const QString stored = catalogue.fieldByName(kPassword).asString();
        if (stored.isEmpty()) {
            catalogue.edit();
            catalogue.fieldByName(kPassword).setAsString(hashPassword(password));
            catalogue.post();
        } else if (!passwordMatches(stored, password)) {
            return fail(QStringLiteral("パスワードが違います"));
        }
    } catch (const store::StoreError& e) {
        m_host.reportError(e.message());
        return fail(QString());
    }
    m_host.setStatus(0, QStringLiteral("パスワード設定完了"));
    return true;
}

template <class Walk>
void PictureDatabase::runRegistration(store::Table& grid, bool pictures, Walk walk)
{
    // One run at a time; the run lets the window paint between records.
    if (m_registering)
        return;
    m_registering = true;
    m_record->setDisplaySuspended(true);
    WalkResult result;
    int total = 0;
    try {
        store::Table walker(grid.store(), grid.tableName());
        // With pictures (import mode), each picture is written once.
        store::LongWalk longWalk(m_dm.store(), pictures);
        total = store::CountMarked(walker);
        // Ended on every way out, before any message box, which would
        // otherwise take no clicks.
        struct LongRun {
            PhotoHost& host;
            LongRun(PhotoHost& h, int total) : host(h) { host.beginLongRun(total); }
            ~LongRun() { host.endLongRun(); }
        } longRun(m_host, total);
        result = walk(walker, [this](int handled) {
            m_host.longRunProgress(handled);
            return m_host.yieldDuringRun();
        });
    } catch (const store::StoreError& e) {
        m_host.reportError(e.message());
        result.registered = -1;
    }
    m_record->setDisplaySuspended(false);
    m_registering = false;
    for (const QString& path : result.undeletable)
        m_host.reportError(QStringLiteral("ファイルを削除できません : ") + path);
    if (result.marked == 0 && result.registered == 0) {
        m_host.message(QStringLiteral("リストに印をつけて下さい"));
        return;
    }
    try {
        m_record->ShowRecordPicture();
        grid.refresh();
    } catch (const store::StoreError& e) {
        m_host.reportError(e.message());
    }
    fillMissingHashes();
    if (result.registered < 0)
        return;
    if (result.stopped)
        m_host.LogNormal(QStringLiteral("登録中止 : %1 / %2 件").arg(result.marked).arg(total));
    if (m_host.noDuplicates())
        m_host.setStatus(0, QStringLiteral("登録完了 %1件 (重複 %2件)").arg(result.registered).arg(result.held));
    else
        m_host.setStatus(0, QStringLiteral("登録完了 %1件").arg(result.registered));
}

void PictureDatabase::registerMarkedFiles(store::Table& grid, bool deleteRegistered)
{
    if (m_state.CurrentDatabase.isEmpty()) {
        m_host.message(QStringLiteral("DB名称を選択してください"));
        return;
    }
    const bool indexMode = m_state.IndexMode;
    const viewing::PictureTypes types = m_host.pictureTypes();
    const bool noDuplicates = m_host.noDuplicates();
    runRegistration(grid, !indexMode, [&](store::Table& walker, const GoOn& goOn) {
        return picturedb::registerMarkedFiles(m_catalogue, indexMode, walker, deleteRegistered, goOn, types,
                                              noDuplicates);
    });
}

void PictureDatabase::registerMarkedAddresses(store::Table& grid, bool deleteRegistered)
{
    if (!m_state.DatabaseChosen) {
        m_host.message(QStringLiteral("DB名称を選択してください"));
        return;
    }
    if (!m_state.IndexMode) {
        m_host.message(QStringLiteral("登録できるのは、索引方式のデータベースのみです"));
        return;
    }
    runRegistration(grid, false, [&](store::Table& walker, const GoOn& goOn) {
        return picturedb::registerMarkedAddresses(m_catalogue, walker, deleteRegistered, goOn);
    });
}

void PictureDatabase::RegisterFromBrowser(const QString& path, const viewing::Picture& preview, bool deleteFile)
{
    m_state.ShowOnNavigate = false;
    if (m_state.CurrentDatabase.isEmpty()) {
        m_host.message(QStringLiteral("DB名称を指定してください"));
        return;
    }
    m_host.setStatus(0, path);
    // The bitmap of a BMP file whole, also when the preview was decoded smaller.
    QImage bitmap = preview.image;
    if (preview.image.size() != preview.fullSize) {
        if (const auto full = viewing::loadPicture(path))
            bitmap = full->image;
    }
    qint32 serial = 0;
    try {
        if (m_host.noDuplicates()) {
            if (const std::optional<qint32> holder = recordHolding(QFileInfo(path).size(), store::sha256OfFile(path))) {
                m_host.message(QStringLiteral("同じ画像が登録済みです : %1 #%2").arg(m_state.CurrentDatabase).arg(*holder));
                m_state.ShowOnNavigate = true;
                return;
            }
        }
        serial = startBrowserRecord(m_catalogue, m_state.IndexMode, path, bitmap, m_host.pictureTypes(),
                                    m_host.noDuplicates());
    } catch (const store::StoreError& e) {
        m_host.reportError(e.message());
        return;
    }
    m_host.LogNormal(QString::number(serial));
    fillMissingHashes();
    m_record->startedRecord(serial);
    if (deleteFile && !m_state.IndexMode)
        m_record->deleteFileOnceWritten(serial, path);
    m_record->showPicture(preview);
    m_state.ShowOnNavigate = true;
    m_record->ButtonUpdate->setEnabled(false);
}

bool PictureDatabase::RegisterDownloaded(const QString& title, const QString& address, const QDate& date,
                                         qint64 size, const QString& file, bool keepFile)
{
    if (m_state.CurrentDatabase.isEmpty())
        return false;
    if (!RegisterFile(m_catalogue, m_state.IndexMode, title, address, date, size, file, m_host.pictureTypes(),
                      m_host.noDuplicates()))
        return false;
    if (!keepFile)
        QFile::remove(file);
    return true;
}

void PictureDatabase::fillMissingHashes()
{
    if (m_host.noDuplicates())
        m_backfill->wake(m_state.CurrentDatabase.isEmpty() ? QString() : m_dm.TaPhoto->tableName(), m_state.IndexMode);
}

std::optional<qint32> PictureDatabase::recordHolding(qint64 size, const QByteArray& sha256)
{
    if (m_state.CurrentDatabase.isEmpty())
        return std::nullopt;
    store::openIfClosed(*m_dm.TaPhoto);
    return HeldPictures(m_catalogue, m_state.IndexMode).find(size, sha256);
}

void PictureDatabase::Button7Click()
{
    if (m_nameBox->text().isEmpty()) {
        m_host.message(QStringLiteral("DB名称を指定してください"));
        return;
    }
    m_host.showFileBrowser();
}

// ---- 新規データベース -----------------------------------------------------------

bool PictureDatabase::CheckNewDatabaseName(const QString& name)
{
    // A quote is refused too: a name is also a table name in statements.
    if (name.startsWith(u'_') || name.endsWith(u'_') || name.contains(u'"')) {
        m_host.message(QStringLiteral("ＤＢ名称不正"));
        return false;
    }
    if (name.isEmpty()) {
        m_host.message(QStringLiteral("ＤＢ名称を設定してください"));
        return false;
    }
    // Any table of the name, whatever its letter case, is taken: the store
    // does not tell "sample" from "Sample".
    store::Store& s = m_dm.store();
    if (m_catalogue.CatalogueHas(name) || s.tableExists(name) || s.tableExists(imageTableName(name))) {
        m_host.message(QStringLiteral("ＤＢが既に存在します"));
        return false;
    }
    return true;
}

void PictureDatabase::RadioKoumokuClick()
{
    const bool user = m_pages->RadioKoumoku->itemIndex() == 1;
    if (user) {
        try {
            m_catalogue.LoadStandardItems();
        } catch (const store::StoreError& e) {
            m_host.reportError(e.message());
        }
        m_pages->ButtonCancelKoumoku->setEnabled(false);
    }
    m_pages->GroupKoumoku->setVisible(user);
}

void PictureDatabase::ButtonKoushinClick()
{
    try {
        m_dm.TaItem->post();
    } catch (const store::StoreError&) {
        m_dm.TaItem->cancel();
    }
    m_host.setStatus(0, QStringLiteral("項目設定完了...  「ＤＢ新規」でＤＢが作成できます"));
}

void PictureDatabase::Button11Click()
{
    m_nameBox->clear();
    m_pages->RadioKoumoku->setItemIndex(0);
    m_pages->GroupKoumoku->setVisible(false);
}

void PictureDatabase::appendItem()
{
    try {
        store::Table& items = *m_dm.TaItem;
        store::openIfClosed(items);
        const qint32 number = store::NextSerial(items);
        m_catalogue.PutItem(QString(), QStringLiteral("A"), 20, number);
        items.refresh();
    } catch (const store::StoreError& e) {
        m_host.reportError(e.message());
    }
}

void PictureDatabase::deleteItem()
{
    try {
        store::Table& items = *m_dm.TaItem;
        if (items.isOpen() && !items.isEmpty())
            items.remove();
    } catch (const store::StoreError& e) {
        m_host.reportError(e.message());
    }
}

void PictureDatabase::CreateDatabase()
{
    m_state.ShowOnNavigate = false;
    const QString name = m_nameBox->text();
    if (!CheckNewDatabaseName(name))
        return;
    const bool standard = m_pages->RadioKoumoku->itemIndex() == 0;
    store::Store& s = m_dm.store();
    try {
        QList<store::FieldDef> layout;
        if (standard) {
            layout = s.fieldDefs(m_dm.TaModelDB->tableName());
        } else {
            using T = store::FieldType;
            // The system fields; 連番 and サイズ hold 32 bits.
            layout = {{QStringLiteral("連番"), T::Long, 0, true},
                      {QStringLiteral("画像種別"), T::Text, 4, false},
                      {QStringLiteral("サイズ"), T::Long, 0, false},
                      {QStringLiteral("パスワード"), T::Text, 16, false},
                      {QStringLiteral("更新日"), T::Date, 0, false}};
            store::Table& items = *m_dm.TaItem;
            store::openIfClosed(items);
            items.post();
            items.setIndexName(QString());
            for (items.first(); !items.eof() && !items.isEmpty(); items.next()) {
                const QString width = items.fieldByName(QStringLiteral("幅")).asString();
                if (!Catalogue::AddUserField(layout, items.fieldByName(QStringLiteral("項目名")).asString(),
                                             items.fieldByName(QStringLiteral("属性")).asString(),
                                             width.isEmpty() ? 0 : width.toInt())) {
                    m_host.message(QStringLiteral("属性エラー"));
                    return;
                }
            }
            m_pages->ButtonCancelKoumoku->setEnabled(false);
            m_host.setStatus(0, QStringLiteral("テーブル項目 更新完了"));
        }
        // Both tables and the catalogue row, or none of them.
        store::Batch batch(s);
        s.createTable(name, layout, {store::IndexDef{QString(), {QStringLiteral("連番")}, true, true}});
        s.createTable(imageTableName(name), store::imageTableFields(), store::imageTableIndexes());
        QStringList userItems;
        for (qsizetype k = kFirstUserField; k < layout.size(); ++k)
            userItems << layout[k].name;
        s.indexForSearch(name, userItems);
        if (standard && !m_catalogue.LoadStandardItems()) {
            m_host.message(QStringLiteral("Model DB Not Found"));
            return;
        }
        const QString password = m_pages->EditPassword->text();
        if (!m_catalogue.AddCatalogueEntry(name, password.isEmpty() ? QString() : hashPassword(password),
                                           m_pages->RadioHokan->itemIndex() == 1)) {
            m_host.message(QStringLiteral("AddIndex Error"));
            return;
        }
        batch.commit();
    } catch (const store::StoreError& e) {
        m_host.reportError(e.message());
        return;
    }
    if (!OpenDatabase(name)) {
        m_host.message(QStringLiteral("HenkouDB Error"));
        return;
    }
    m_state.ShowOnNavigate = true;
    m_host.message(QStringLiteral("新規ＤＢセットアップ完了"));
    m_host.showRecordPage();
}

// ---- ＤＢ設定/削除 ---------------------------------------------------------------

void PictureDatabase::Button16Click()
{
    try {
        m_dm.TaItem->post();
    } catch (const store::StoreError&) {
        m_dm.TaItem->cancel();
    }
    try {
        renameItems();
        BindUserFields(m_state.CurrentDatabase);
    } catch (const store::StoreError& e) {
        m_host.reportError(e.message());
    }
}

void PictureDatabase::renameItems()
{
    const QString name = m_state.CurrentDatabase;
    if (name.isEmpty())
        return;
    store::Table& records = *m_dm.TaPhoto;
    store::openIfClosed(records);
    QStringList system;
    QStringList before;
    for (const store::FieldDef& f : records.fieldDefs())
        (system.size() < kFirstUserField ? system : before) << f.name;
    QStringList after = before;
    {
        // Rows edited before the last one were written when the grid left them.
        store::Table items(m_dm.store(), m_dm.TaItem->tableName());
        items.open();
        for (items.first(); !items.isEmpty() && !items.eof(); items.next()) {
            const QString number = items.fieldByName(QStringLiteral("項目連番")).asString();
            const int k = number.isEmpty() ? -1 : number.toInt() - 1;
            if (k >= 0 && k < after.size())
                after[k] = items.fieldByName(QStringLiteral("項目名")).asString();
        }
    }
    QList<QPair<QString, QString>> renames;
    for (qsizetype k = 0; k < before.size(); ++k)
        if (after[k] != before[k])
            renames << qMakePair(before[k], after[k]);
    if (renames.isEmpty())
        return;
    QString refusal = ItemNameRefusal(system, before, after);
    // Closing the record table would drop an unwritten record.
    if (refusal.isEmpty() && records.state() != store::Table::State::Browse)
        refusal = QStringLiteral("編集中のレコードを更新またはｷｬﾝｾﾙしてください");
    if (!refusal.isEmpty()) {
        m_catalogue.ListTableItems(); // the item list shows the fields' names again
        m_host.message(refusal);
        return;
    }

    // Handles read a table's layout when they open: the record table's are
    // closed around the change, the record page's data source off, and the
    // search's result, which names the old fields, is closed.
    const QString serial = records.isEmpty() ? QString() : records.fieldByName(QStringLiteral("連番")).asString();
    m_dm.QuPhoto->close();
    m_dm.DtPhoto->setEnabled(false);
    records.close();
    m_dm.TaPhoto2->close();
    store::Store& s = m_dm.store();
    QString failure;
    try {
        store::Batch batch(s);
        s.renameFields(name, renames);
        m_catalogue.ListTableItems();
        batch.commit();
    } catch (const store::StoreError& e) {
        failure = e.message();
    }
    try {
        // Opened again also after a rollback, which may have come after it opened.
        records.close();
        records.open();
        if (!failure.isEmpty())
            m_catalogue.ListTableItems();
        if (!serial.isEmpty())
            m_catalogue.LocateRecord(serial.toInt());
    } catch (const store::StoreError& e) {
        failure = e.message();
    }
    m_dm.DtPhoto->setEnabled(true);
    if (!failure.isEmpty())
        m_host.reportError(failure);
}

void PictureDatabase::ButtonCancelKmkClick()
{
    m_dm.TaItem->cancel();
}

void PictureDatabase::closeDatabase()
{
    BindUserFields(QString());
    m_dm.QuPhoto->close();
    for (store::Table* t : {m_dm.TaPhoto, m_dm.TaPhoto2, m_dm.TaImage}) {
        t->close();
        t->setTableName(QString());
    }
    m_state.CurrentDatabase.clear();
    m_state.DatabaseChosen = false;
    m_record->clearPicture();
    m_record->FitPicture();
    m_record->LabelHokan->setText(QStringLiteral("（保管形式）"));
    emit storageModeShown(QStringLiteral("（保管形式）"));
    m_pages->GroupKoumokuCopy->setVisible(false);
}

void PictureDatabase::DeleteDatabase()
{
    const QString name = m_nameBox->text();
    if (name.isEmpty()) {
        m_host.message(QStringLiteral("データベース名称を指定してください"));
        return;
    }
    store::Store& s = m_dm.store();
    try {
        store::Table& catalogue = *m_dm.TaIndex;
        store::openIfClosed(catalogue);
        catalogue.setIndexName(QString());
        // Only a database of the catalogue: no other table goes by its name.
        if (!catalogue.findKey({name})) {
            m_host.message(QStringLiteral("データベース該当なし"));
            return;
        }
        const QString stored = catalogue.fieldByName(QStringLiteral("パスワード")).asString();
        if (!stored.isEmpty() && !checkPassword(stored))
            return;
        if (name == m_state.CurrentDatabase)
            closeDatabase();
        // Fingerprints and thumbnails go with the database; a store that never
        // kept any gets no table for them.
        std::optional<store::Fingerprints> prints;
        if (s.tableExists(store::Fingerprints::kRecordTable))
            prints.emplace(s);
        std::optional<store::HeldThumbnails> thumbs;
        if (store::HeldThumbnails::kept(s))
            thumbs.emplace(s);
        store::Batch batch(s);
        m_catalogue.RemoveCatalogueEntries(name);
        if (prints)
            prints->dropDatabase(name);
        if (thumbs)
            thumbs->dropDatabase(name);
        for (const QString& table : {name, imageTableName(name)}) {
            if (s.tableExists(table))
                s.deleteTable(table);
        }
        batch.commit();
        m_catalogue.ClearItems();
        m_dm.TaItem->close();
    } catch (const store::StoreError& e) {
        m_host.reportError(e.message());
        return;
    }
    m_host.message(QStringLiteral("削除完了"));
}

} // namespace picturedb
