#include "picturedb/RecordPage.h"

#include "base/Named.h"
#include "controls/DBEdit.h"
#include "controls/DBGrid.h"
#include "controls/MsgBtn.h"
#include "picturedb/Catalogue.h"
#include "picturedb/DatabaseState.h"
#include "picturedb/PhotoHost.h"
#include "store/DataMod.h"
#include "store/DataSource.h"
#include "store/Fingerprints.h"
#include "store/HeldThumbnails.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/TableOps.h"
#include "viewing/FitPicture.h"
#include "viewing/TImage.h"

#include <QCheckBox>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace picturedb {

namespace {

const QString kSerial = QStringLiteral("連番");

} // namespace

RecordPage::RecordPage(PhotoHost& host, Catalogue& catalogue, DatabaseState& state, QWidget* page)
    : QObject(page)
    , m_host(host)
    , m_catalogue(catalogue)
    , m_state(state)
{
    store::DataMod& dm = catalogue.dm();
    // Tight margins: the page fits the main window's design height.
    auto* layout = new QHBoxLayout(page);
    layout->setContentsMargins(2, 2, 2, 2);

    GroupDatabase = named<QGroupBox>("GroupDatabase", QStringLiteral("データベース"), page);
    auto* grid = new QGridLayout(GroupDatabase);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->setVerticalSpacing(3);
    DBEditRenban = new TDBEdit("DBEditRenban", GroupDatabase);
    DBEditKoushinbi = new TDBEdit("DBEditKoushinbi", GroupDatabase);
    DBEditSize = new TDBEdit("DBEditSize", GroupDatabase);
    // Tab moves past the registration date and the size.
    DBEditKoushinbi->setFocusPolicy(Qt::ClickFocus);
    DBEditSize->setFocusPolicy(Qt::ClickFocus);
    LabelNo2 = named<QLabel>("LabelNo2", QStringLiteral("分類"), GroupDatabase);
    LabelNo3 = named<QLabel>("LabelNo3", QStringLiteral("タイトル"), GroupDatabase);
    LabelNo4 = named<QLabel>("LabelNo4", QStringLiteral("ファイル名"), GroupDatabase);
    LabelNo5 = named<QLabel>("LabelNo5", QStringLiteral("説明"), GroupDatabase);
    DBEdit1 = new TDBEdit("DBEdit1", GroupDatabase);
    DBEdit2 = new TDBEdit("DBEdit2", GroupDatabase);
    DBEdit3 = new TDBEdit("DBEdit3", GroupDatabase);
    DBMemo1 = new TDBMemo("DBMemo1", GroupDatabase);
    DBMemo1->setMinimumHeight(40);
    grid->addWidget(new QLabel(QStringLiteral("連番"), GroupDatabase), 0, 0);
    grid->addWidget(DBEditRenban, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("更新日"), GroupDatabase), 0, 2);
    grid->addWidget(DBEditKoushinbi, 0, 3);
    grid->addWidget(new QLabel(QStringLiteral("ｻｲｽﾞ"), GroupDatabase), 1, 0);
    grid->addWidget(DBEditSize, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("ﾊﾞｲﾄ"), GroupDatabase), 1, 2);
    grid->addWidget(LabelNo2, 2, 0);
    grid->addWidget(DBEdit1, 2, 1, 1, 3);
    grid->addWidget(LabelNo3, 3, 0);
    grid->addWidget(DBEdit2, 3, 1, 1, 3);
    grid->addWidget(LabelNo4, 4, 0);
    grid->addWidget(DBEdit3, 4, 1, 1, 3);
    grid->addWidget(LabelNo5, 5, 0, Qt::AlignTop);
    grid->addWidget(DBMemo1, 5, 1, 1, 3);

    ButtonUpdate = named<QPushButton>("ButtonUpdate", QStringLiteral("更新(&U)"), GroupDatabase);
    ButtonCancel = named<QPushButton>("ButtonCancel", QStringLiteral("ｷｬﾝｾﾙ"), GroupDatabase);
    MsgBitBtn3 = named<TMsgBitBtn>("MsgBitBtn3", QStringLiteral("削除(&D)"), GroupDatabase);
    MsgBitBtn3->setDisplayMsg(QStringLiteral("レコード削除 ＯＫ？"));
    MsgBitBtn3->setMsgDlgType(TMsgBitBtn::Confirmation);
    MsgBitBtn3->setVisibleButtons(TMsgBitBtn::OK | TMsgBitBtn::Cancel);
    Button7 = named<QPushButton>("Button7", QStringLiteral("追加(&N)"), GroupDatabase);
    auto* buttons = new QHBoxLayout();
    for (QPushButton* b : {ButtonUpdate, ButtonCancel, static_cast<QPushButton*>(MsgBitBtn3), Button7})
        buttons->addWidget(b);
    grid->addLayout(buttons, 6, 0, 1, 4);
    DBNavigator5 = new TDBNavigator("DBNavigator5", dm.DtPhoto, GroupDatabase);
    LabelHokan = named<QLabel>("LabelHokan", QStringLiteral("（保管形式）"), GroupDatabase);
    LabelHokan->setStyleSheet(QStringLiteral("color: blue"));
    auto* navigation = new QHBoxLayout();
    navigation->addWidget(DBNavigator5);
    navigation->addStretch(1);
    navigation->addWidget(LabelHokan);
    grid->addLayout(navigation, 7, 0, 1, 4);
    grid->setRowStretch(8, 1);
    layout->addWidget(GroupDatabase, 1);

    // Right: the picture in a place of the default box size, which the
    // panel shrinks inside, and its options.
    auto* right = new QVBoxLayout();
    right->setSpacing(2);
    auto* place = new QWidget(page);
    place->setFixedSize(viewing::kRecordPictureBox);
    PanelPhoto = named<QFrame>("PanelPhoto", place);
    PanelPhoto->setFrameShape(QFrame::Panel);
    PanelPhoto->setFrameShadow(QFrame::Sunken);
    PanelPhoto->setFixedSize(viewing::kRecordPictureBox);
    ImagePhoto = named<viewing::TImage>("ImagePhoto", PanelPhoto);
    ImagePhoto->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    auto* photoLayout = new QVBoxLayout(PanelPhoto);
    photoLayout->setContentsMargins(0, 1, 0, 0);
    photoLayout->addWidget(ImagePhoto);
    DBImage = named<viewing::TImage>("DBImage", page);
    DBImage->setVisible(false);
    right->addWidget(place, 0, Qt::AlignLeft | Qt::AlignTop);
    GroupPicture = named<QGroupBox>("GroupPicture", QStringLiteral("画像"), page);
    auto* options = new QHBoxLayout(GroupPicture);
    options->setContentsMargins(4, 2, 4, 2);
    CheckStretch2 = namedCheckBox("CheckStretch2", QStringLiteral("伸縮"), false, GroupPicture);
    CheckHiritsu2 = namedCheckBox("CheckHiritsu2", QStringLiteral("比率調整"), true, GroupPicture);
    Button12 = named<QPushButton>("Button12", QStringLiteral("ファイル書出(&W)"), GroupPicture);
    // Writing the picture out to a file comes with the save dialog.
    Button12->setEnabled(false);
    options->addWidget(CheckStretch2);
    options->addWidget(CheckHiritsu2);
    options->addWidget(Button12);
    right->addWidget(GroupPicture);
    right->addStretch(1);
    layout->addLayout(right);

    for (TDBEdit* e : {DBEditRenban, DBEditKoushinbi, DBEditSize, DBEdit1, DBEdit2, DBEdit3}) {
        e->setDataSource(dm.DtPhoto);
        connect(&e->link(), &TFieldLink::edited, ButtonUpdate, [this] { ButtonUpdate->setEnabled(true); });
    }
    DBMemo1->setDataSource(dm.DtPhoto);
    connect(&DBMemo1->link(), &TFieldLink::edited, ButtonUpdate, [this] { ButtonUpdate->setEnabled(true); });
    DBEditRenban->setDataField(kSerial);
    DBEditKoushinbi->setDataField(QStringLiteral("更新日"));
    DBEditSize->setDataField(QStringLiteral("サイズ"));

    connect(ButtonUpdate, &QPushButton::clicked, this, &RecordPage::ButtonUpdateClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &RecordPage::ButtonCancelClick);
    connect(MsgBitBtn3, &TMsgBitBtn::okClick, this, &RecordPage::DeleteCurrentRecord);
    connect(CheckStretch2, &QCheckBox::clicked, this, &RecordPage::FitPicture);
    connect(CheckHiritsu2, &QCheckBox::clicked, this, &RecordPage::FitPicture);
    // A click on the navigator shows the records it moves to again, also the
    // one it moves to now.
    DBNavigator5->setBeforeMove([this] {
        m_state.ShowOnNavigate = true;
        writeEdits();
    });
    connect(DBNavigator5, &TDBNavigator::storeError, this, [this](const QString& message) { m_host.reportError(message); });
    connect(dm.TaPhoto, &store::Table::cursorMoved, this, [this] {
        m_shownSerial = currentSerial();
        if (m_state.ShowOnNavigate && !m_suspended)
            guarded([this] { ShowCurrentRecord(); });
    });
    connect(dm.TaPhoto, &store::Table::stateChanged, this, [this] {
        // "更新(&U)" settles the browser's file itself once its transaction is in.
        store::Table& records = *m_catalogue.dm().TaPhoto;
        if (m_fileToDelete && records.state() != store::Table::State::Insert && !records.store().inBatch())
            settleFileToDelete(m_fileToDelete->serial);
    });
    ButtonUpdate->setEnabled(false);
}

namespace {

// The fingerprints and thumbnails of records, when the store keeps any: a
// store that never kept one gets no table for them here. A thumbnail is
// dropped rather than moved: it is cheap to make again.
struct RecordPrints {
    std::optional<store::Fingerprints> prints;
    std::optional<store::HeldThumbnails> thumbs;
    void moveRecord(const QString& database, qint32 from, qint32 to)
    {
        if (prints)
            prints->moveRecord(database, from, to);
        if (thumbs) {
            thumbs->dropRecord(database, from);
            thumbs->dropRecord(database, to);
        }
    }
    void dropRecord(const QString& database, qint32 serial)
    {
        if (prints)
            prints->dropRecord(database, serial);
        if (thumbs)
            thumbs->dropRecord(database, serial);
    }
};

RecordPrints recordPrints(store::Store& s)
{
    RecordPrints r;
    if (s.tableExists(store::Fingerprints::kRecordTable))
        r.prints.emplace(s);
    if (store::HeldThumbnails::kept(s))
        r.thumbs.emplace(s);
    return r;
}

} // namespace

void RecordPage::deleteFileOnceWritten(qint32 serial, const QString& path)
{
    m_fileToDelete = FileToDelete{m_catalogue.dm().TaPhoto->tableName(), serial, path};
}

void RecordPage::settleFileToDelete(std::optional<qint32> serial)
{
    if (!m_fileToDelete)
        return;
    const FileToDelete pending = *m_fileToDelete;
    m_fileToDelete.reset();
    if (!serial)
        return;
    bool written = false;
    try {
        store::Store& s = m_catalogue.dm().store();
        written = s.value(QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ?").arg(store::Store::quoted(pending.table),
                                                                           store::Store::quoted(kSerial)),
                          {*serial})
                      .isValid();
    } catch (const store::StoreError&) {
        // A table gone with its database: the record was not kept.
    }
    if (written)
        emit fileOfWrittenRecord(pending.path);
}

void RecordPage::guarded(const std::function<void()>& f)
{
    try {
        f();
    } catch (const store::StoreError& e) {
        m_host.reportError(e.message());
    }
}

std::optional<qint32> RecordPage::currentSerial()
{
    store::Table& records = *m_catalogue.dm().TaPhoto;
    if (!records.isOpen())
        return std::nullopt;
    if (records.state() == store::Table::State::Browse && records.isEmpty())
        return std::nullopt;
    store::Field serial = records.fieldByName(kSerial);
    if (serial.asString().isEmpty())
        return std::nullopt;
    try {
        return serial.asInteger();
    } catch (const store::StoreError&) {
        return std::nullopt;
    }
}

bool RecordPage::LocateImage(qint32 serial)
{
    try {
        store::openIfClosed(*m_catalogue.dm().TaImage);
    } catch (const store::StoreError&) {
        m_host.setStatus(0, QStringLiteral("画像ファイル Cannot Open"));
        return false;
    }
    return m_catalogue.LocateImage(serial);
}

std::optional<viewing::Picture> RecordPage::recordPicture(QSize box, QString* error)
{
    const std::optional<qint32> serial = currentSerial();
    if (!serial)
        return std::nullopt;
    store::Table& records = *m_catalogue.dm().TaPhoto;
    if (m_state.IndexMode) {
        const int item3 = kFirstUserField + 2;
        const QString path = item3 < records.fieldCount() ? records.field(item3).asString() : QString();
        if (path.isEmpty())
            return std::nullopt;
        return viewing::loadPicture(path, box, error);
    }
    if (!LocateImage(*serial))
        return std::nullopt;
    store::Table& images = *m_catalogue.dm().TaImage;
    // The stored bytes decide, whatever 画像種別 says: a picture file's bytes
    // of any kind, else the bitmap.
    const QByteArray bytes = images.fieldByName(QStringLiteral("画像")).asBytes();
    if (store::holdsPictureBytes(bytes))
        return viewing::loadPictureData(bytes, box, error);
    auto bitmap = viewing::loadPictureData(images.fieldByName(QStringLiteral("BMP")).asBytes(), box, error);
    if (bitmap)
        DBImage->setPicture(*bitmap);
    else
        DBImage->clear();
    return bitmap;
}

void RecordPage::ShowRecordPicture()
{
    store::openIfClosed(*m_catalogue.dm().TaPhoto);
    if (!currentSerial()) {
        clearPicture();
    } else if (const auto picture = recordPicture(viewing::kRecordPictureBox, nullptr)) {
        // A picture that cannot be read leaves the one shown before.
        ImagePhoto->setPicture(*picture);
    }
    FitPicture();
    ButtonUpdate->setEnabled(false);
}

void RecordPage::ShowCurrentRecord()
{
    store::Table& records = *m_catalogue.dm().TaPhoto;
    if (!records.isOpen())
        return;
    if (!currentSerial()) {
        clearPicture();
        FitPicture();
        return;
    }
    if (m_state.IndexMode) {
        const int item3 = kFirstUserField + 2;
        const QString where = item3 < records.fieldCount() ? records.field(item3).asString() : QString();
        if (where.startsWith(QLatin1String("http"))) {
            m_host.fetchSingleImage(where);
        } else if (!where.isEmpty()) {
            QString error;
            if (const auto picture = viewing::loadPicture(where, viewing::kRecordPictureBox, &error))
                ImagePhoto->setPicture(*picture);
            else
                m_host.reportError(error);
        }
        FitPicture();
        PanelPhoto->setVisible(true);
        m_host.setStatus(0, QString());
        return;
    }
    if (LocateImage(*currentSerial())) {
        ShowRecordPicture();
        m_host.setStatus(0, QString());
    } else {
        m_host.setStatus(0, QStringLiteral("CallGazou Error"));
    }
}

void RecordPage::clearPicture()
{
    ImagePhoto->clear();
    DBImage->clear();
}

void RecordPage::showPicture(const viewing::Picture& picture)
{
    ImagePhoto->setPicture(picture);
    PanelPhoto->setVisible(true);
    FitPicture();
}

void RecordPage::FitPicture()
{
    viewing::FitPicture(*ImagePhoto, *PanelPhoto, CheckStretch2->isChecked(), CheckHiritsu2->isChecked(),
                        viewing::kRecordPictureBox);
}

void RecordPage::writeEdits()
{
    for (TDBEdit* e : {DBEditRenban, DBEditKoushinbi, DBEditSize, DBEdit1, DBEdit2, DBEdit3})
        e->updateRecord();
    DBMemo1->updateRecord();
}

void RecordPage::ButtonUpdateClick()
{
    store::Table& records = *m_catalogue.dm().TaPhoto;
    store::Table& images = *m_catalogue.dm().TaImage;
    if (!records.isOpen())
        return;
    const std::optional<qint32> before = m_shownSerial;
    try {
        writeEdits();
        store::Batch batch(records.store());
        records.post();
        // The image row belongs to the record by its serial: a new 連番
        // takes it along, in the same transaction as the record.
        const std::optional<qint32> after = currentSerial();
        if (before && after && *before != *after)
            recordPrints(records.store()).moveRecord(records.tableName(), *before, *after);
        if (!m_state.IndexMode && before && after && *before != *after) {
            // A row at the new serial belongs to no record (the post has
            // just shown no other record has it): one left by a discarded record.
            if (m_catalogue.LocateImage(*after))
                images.remove();
            if (m_catalogue.LocateImage(*before)) {
                images.edit();
                images.fieldByName(kSerial).setAsInteger(*after);
                images.post();
            }
        }
        batch.commit();
        m_shownSerial = after;
        settleFileToDelete(after);
    } catch (const store::StoreError&) {
        records.cancel();
        images.cancel();
        // After a rolled-back transaction the handles read the table again.
        records.refresh();
        settleFileToDelete(std::nullopt);
        const QString error = QStringLiteral("登録エラー ： キーを確認してください");
        m_host.message(error);
        ButtonUpdate->setEnabled(false);
        // Nothing was written: the status keeps the error, never "更新完了".
        // Set after the box, whose loop shows the record again (which
        // clears the status).
        m_host.setStatus(0, error);
        return;
    }
    ButtonUpdate->setEnabled(false);
    m_host.setStatus(0, QStringLiteral("更新完了"));
}

void RecordPage::ButtonCancelClick()
{
    store::Table& records = *m_catalogue.dm().TaPhoto;
    store::Table& images = *m_catalogue.dm().TaImage;
    const bool discardsNewRecord = records.isOpen() && records.state() == store::Table::State::Insert;
    const std::optional<qint32> serial = m_shownSerial;
    records.cancel();
    images.cancel();
    ButtonUpdate->setEnabled(false);
    if (!discardsNewRecord)
        return;
    guarded([&] {
        // A record started from the browser has its image row written
        // already; discarding the record discards that row too.
        if (serial && !m_catalogue.LocateRecord(*serial)) {
            if (m_catalogue.LocateImage(*serial))
                images.remove();
            recordPrints(records.store()).dropRecord(records.tableName(), *serial);
        }
        m_shownSerial = currentSerial();
        if (m_state.ShowOnNavigate)
            ShowCurrentRecord();
    });
}

void RecordPage::DeleteCurrentRecord()
{
    store::Table& records = *m_catalogue.dm().TaPhoto;
    if (records.isOpen() && records.state() == store::Table::State::Insert) {
        // A record not written yet: deleting it means discarding it, never
        // deleting the record the cursor stood on before.
        ButtonCancelClick();
        m_host.setStatus(0, QStringLiteral("削除完了"));
        return;
    }
    const std::optional<qint32> serial = currentSerial();
    bool deleted = false;
    if (serial) {
        try {
            const QString database = records.tableName();
            records.remove();
            deleted = true;
            // A later record may take the serial: the fingerprint goes with the record.
            recordPrints(records.store()).dropRecord(database, *serial);
        } catch (const store::StoreError&) {
        }
    }
    if (!deleted) {
        m_host.message(QStringLiteral("削除失敗"));
        return;
    }
    m_host.setStatus(0, QStringLiteral("削除完了"));
    try {
        if (LocateImage(*serial)) {
            m_catalogue.dm().TaImage->remove();
            m_host.setStatus(0, QStringLiteral("削除完了 画像"));
        }
    } catch (const store::StoreError&) {
        m_host.message(QStringLiteral("削除失敗 画像"));
    }
}

void RecordPage::DeleteRecordOf(qint32 serial)
{
    guarded([&] {
        if (!m_catalogue.LocateRecord(serial))
            return;
        DeleteCurrentRecord();
        m_host.setStatus(0, QStringLiteral("削除完了"));
    });
}

std::optional<viewing::Picture> RecordPage::viewPicture()
{
    std::optional<viewing::Picture> picture;
    if (!currentSerial())
        return picture;
    guarded([&] { picture = recordPicture(QSize(), nullptr); });
    if (!picture && ImagePhoto->hasPicture())
        picture = ImagePhoto->picture();
    return picture;
}

QString RecordPage::userItem(int k)
{
    store::Table& records = *m_catalogue.dm().TaPhoto;
    const int p = kFirstUserField + k - 1;
    return records.isOpen() && p < records.fieldCount() && currentSerial() ? records.field(p).asString() : QString();
}

void RecordPage::bindFields(const QStringList& labels)
{
    const std::array<QLabel*, 4> captions{LabelNo2, LabelNo3, LabelNo4, LabelNo5};
    for (int k = 0; k < 4; ++k)
        captions[size_t(k)]->setText(labels.value(k));
    DBEdit1->setDataField(labels.value(0));
    DBEdit2->setDataField(labels.value(1));
    DBEdit3->setDataField(labels.value(2));
    DBMemo1->setDataField(labels.value(3));
}

} // namespace picturedb
