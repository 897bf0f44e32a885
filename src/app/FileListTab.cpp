#include "app/FileListTab.h"

#include "app/FormMain.h"
#include "app/FormSetting.h"
#include "app/Windows.h"
#include "base/Named.h"
#include "base/SettingsStore.h"
#include "controls/DBEdit.h"
#include "controls/DBGrid.h"
#include "controls/MsgBtn.h"
#include "controls/RadioGroup.h"
#include "disk/FileListTable.h"
#include "picturedb/PictureDatabase.h"
#include "store/DataMd3.h"
#include "store/DataMod.h"
#include "store/DataSource.h"
#include "store/Query.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/TableOps.h"
#include "viewing/FitPicture.h"
#include "viewing/SimilarGroups.h"
#include "viewing/TImage.h"
#include "viewing/Thumbnails.h"
#include "web/ExplorationTables.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QCoreApplication>
#include <QtConcurrent/QtConcurrentRun>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>

#include <algorithm>

namespace app {

namespace {

const QString kIndexForOrder[] = {QStringLiteral("作成日"), QStringLiteral("サイズ"), QString(),
                                  QStringLiteral("ファイル名")};

} // namespace

FileListTab::FileListTab(TFormMain& form)
    : QObject(&form)
    , m_form(form)
{
    buildGridPanel();
    buildListBoxPanel();
    m_scan = std::make_unique<disk::DiskScan>(*form.dm3().TaList, *this, form.run.pagesRecorded,
                                              form.run.filesListed);
    m_fingerprinter = std::make_unique<viewing::Fingerprinter>(form.dm3().store());
    connect(m_fingerprinter.get(), &viewing::Fingerprinter::progress, this, &FileListTab::fingerprintingProgress);
    connect(m_fingerprinter.get(), &viewing::Fingerprinter::finished, this, &FileListTab::fingerprintingFinished);
    connect(m_fingerprinter.get(), &viewing::Fingerprinter::skipped, this,
            [this](const QString& path, const QString& error) {
                m_form.LogError(QStringLiteral("ファイルを開けません : ") + path
                                + (error.isEmpty() ? QString() : QStringLiteral(" (") + error + QLatin1Char(')')));
            });
    connect(&m_form, &TFormMain::stopClicked, this, [this] {
        // 類似 waiting for a scan's fingerprints ends here, never started.
        if (m_pending && m_pending->purpose == Purpose::Similar) {
            m_form.endLongRun();
            m_form.setStb(0, QStringLiteral("類似中止"));
        }
        m_pending.reset();
        m_fingerprinter->stop();
        m_groupingStop = true;
    });
    connect(&m_grouping, &QFutureWatcher<SimilarGroups>::finished, this, &FileListTab::groupingFinished);
}

FileListTab::~FileListTab()
{
    m_groupingStop = true;
    m_grouping.waitForFinished();
}

TMsgBitBtn* FileListTab::deleteButton(const char* name, const QString& caption, QWidget* parent)
{
    auto* b = named<TMsgBitBtn>(name, caption, parent);
    b->setDisplayMsg(QStringLiteral("ファイル削除ＯＫ？"));
    b->setMsgDlgType(TMsgBitBtn::Confirmation);
    b->setVisibleButtons(TMsgBitBtn::OK | TMsgBitBtn::Cancel);
    connect(b, &TMsgBitBtn::okClick, this, [this] { DeleteMarkedFiles(); });
    return b;
}

void FileListTab::buildGridPanel()
{
    QFrame* host = m_form.PanelDB2;
    auto* layout = new QHBoxLayout(host);
    layout->setContentsMargins(2, 2, 2, 2);

    // Left: the commands above the grid. Right: the preview with its options
    // and the display order; arranged so the tab fits the window's design size.
    RadioHyouji = new TRadioGroup("RadioHyouji", QStringLiteral("表示順"),
                                  {QStringLiteral("作成日"), QStringLiteral("サイズ"), QStringLiteral("フルパス名"),
                                   QStringLiteral("ファイル名")},
                                  host);
    RadioHyouji->setItemIndex(0);
    RadioHyouji->setColumns(2);
    ButtonDBListDelete = named<QPushButton>("ButtonDBListDelete", QStringLiteral("リスト消去"), host);
    Button2 = named<QPushButton>("Button2", QStringLiteral("全選択(&Z)"), host);
    MsgBitBtn2 = deleteButton("MsgBitBtn2", QStringLiteral("削除(&D)"), host);
    ButtonDBName = named<QPushButton>("ButtonDBName", QStringLiteral("DB名称(&B)"), host);
    DBEditDBName = new TDBEdit("DBEditDBName", host);
    DBEditDBName->setReadOnly(true);
    DBEditDBName->setDataSource(m_form.dm().DtIndex);
    DBEditDBName->setDataField(QStringLiteral("DB名称"));
    Button51 = named<QPushButton>("Button51", QStringLiteral("登録(&I)"), host);
    CheckFileDelete = namedCheckBox("CheckFileDelete", QStringLiteral("登録時にファイル削除"), false, host);
    ButtonSimilar = named<QPushButton>("ButtonSimilar", QStringLiteral("類似(&S)"), host);
    EditSimilar = named<QLineEdit>("EditSimilar", QString::number(kSimilarDefault), host);
    EditSimilar->setToolTip(QStringLiteral("類似とみなす最大の違い (64 ビット中)"));

    store::DataSource* source = m_form.dm3().DtList;
    source->setColumns({QStringLiteral("作成日"), QStringLiteral("サイズ"), QStringLiteral("フルパス名"),
                        QStringLiteral("印")});
    source->setReadOnly(true);
    DBGridList = new TDBGrid("DBGridList", host);
    DBGridList->setDataSource(source);
    DBGridList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    DBGridList->setColumnWidths({56, 42, 214, 22});
    DBGridList->setCompactCells({0});
    DBGridList->setTextElideMode(Qt::ElideMiddle);  // a long path keeps its file name
    PopupList = new QMenu(DBGridList);
    PopupList->setObjectName(QStringLiteral("PopupList"));
    QAction* popupDelete = PopupList->addAction(QStringLiteral("削除"));
    popupDelete->setObjectName(QStringLiteral("PopupListDelete"));
    DBGridList->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(DBGridList, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopupList->popup(DBGridList->viewport()->mapToGlobal(at)); });
    // The pop-up deletes files as the buttons do, so it asks the same question.
    connect(popupDelete, &QAction::triggered, MsgBitBtn2, &QPushButton::click);
    auto* left = new QVBoxLayout();
    auto* buttons = new QGridLayout();
    buttons->addWidget(Button2, 0, 0);
    buttons->addWidget(MsgBitBtn2, 0, 1);
    buttons->addWidget(ButtonDBListDelete, 0, 2);
    buttons->addWidget(ButtonDBName, 1, 0);
    buttons->addWidget(DBEditDBName, 1, 1);
    buttons->addWidget(Button51, 1, 2);
    buttons->addWidget(CheckFileDelete, 2, 0, 1, 2);
    auto* similar = new QHBoxLayout();
    similar->setSpacing(2);
    similar->addWidget(ButtonSimilar, 1);
    similar->addWidget(EditSimilar);
    // Two digits wide: the distance is 0 to 64.
    EditSimilar->setFixedWidth(EditSimilar->fontMetrics().horizontalAdvance(QStringLiteral("000")) + 12);
    buttons->addLayout(similar, 2, 2);
    left->addLayout(buttons);
    left->addWidget(DBGridList, 1);
    layout->addLayout(left, 1);

    // Right: the preview box, its options and the picture's size.
    auto* right = new QVBoxLayout();
    right->setSpacing(2);
    // The panel shrinks to the picture inside a place of the default size,
    // so the controls below it stay where they are.
    auto* place = new QWidget(host);
    place->setFixedSize(viewing::kFileListPreviewBox);
    PanelImage = new QFrame(place);
    PanelImage->setObjectName(QStringLiteral("PanelImage"));
    PanelImage->setFrameShape(QFrame::Panel);
    PanelImage->setFrameShadow(QFrame::Sunken);
    PanelImage->setFixedSize(viewing::kFileListPreviewBox);
    // The picture control follows its panel, so a fitted panel shows the
    // picture in its own proportions.
    Image = new viewing::TImage(PanelImage);
    Image->setObjectName(QStringLiteral("Image"));
    Image->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    auto* imageLayout = new QVBoxLayout(PanelImage);
    imageLayout->setContentsMargins(0, 1, 0, 0);
    imageLayout->addWidget(Image);
    right->addWidget(place, 0, Qt::AlignLeft | Qt::AlignTop);
    auto* options = new QHBoxLayout();
    CheckStretch = namedCheckBox("CheckStretch", QStringLiteral("伸縮"), true, host);
    CheckHiritsu = namedCheckBox("CheckHiritsu", QStringLiteral("比率調整"), true, host);
    m_form.CheckAutoDisp->setParent(host);
    options->addWidget(CheckStretch);
    options->addWidget(CheckHiritsu);
    options->addWidget(m_form.CheckAutoDisp);
    options->addStretch(1);
    right->addLayout(options);
    auto* size = new QHBoxLayout();
    LabelWidth = named<QLabel>("LabelWidth", QStringLiteral("0"), host);
    LabelHeight = named<QLabel>("LabelHeight", QStringLiteral("0"), host);
    size->addWidget(named<QLabel>("LabelW", QStringLiteral("幅"), host));
    size->addWidget(LabelWidth);
    size->addWidget(named<QLabel>("LabelH", QStringLiteral("高さ"), host));
    size->addWidget(LabelHeight);
    size->addStretch(1);
    right->addLayout(size);
    right->addWidget(RadioHyouji);
    right->addStretch(1);
    layout->addLayout(right);
    Image->setStretch(CheckStretch->isChecked());

    connect(DBGridList, &TDBGrid::cellClicked, this, &FileListTab::DBGridListCellClick);
    connect(RadioHyouji, &TRadioGroup::clicked, this, &FileListTab::RadioHyoujiClick);
    connect(Button2, &QPushButton::clicked, this, &FileListTab::MarkAllFiles);
    connect(ButtonDBName, &QPushButton::clicked, this, [this] { m_form.photo().ButtonDBNameClick(); });
    connect(Button51, &QPushButton::clicked, this, [this] {
        m_form.photo().registerMarkedFiles(*m_form.dm3().TaList, CheckFileDelete->isChecked());
        m_form.ShowCounts();
    });
    connect(ButtonDBListDelete, &QPushButton::clicked, this, &FileListTab::ButtonDBListDeleteClick);
    connect(ButtonSimilar, &QPushButton::clicked, this, &FileListTab::ButtonSimilarClick);
    connect(CheckStretch, &QCheckBox::clicked, this, &FileListTab::CheckStretchClick);
    connect(CheckHiritsu, &QCheckBox::clicked, this, &FileListTab::CheckHiritsuClick);
}

void FileListTab::buildListBoxPanel()
{
    QFrame* host = m_form.PanelCL1;
    auto* layout = new QHBoxLayout(host);
    ListImage = new QListWidget(host);
    ListImage->setObjectName(QStringLiteral("ListImage"));
    layout->addWidget(ListImage, 1);
    auto* buttons = new QVBoxLayout();
    ButtonListAll = named<QPushButton>("ButtonListAll", QStringLiteral("全選択(&Z)"), host);
    MsgBitBtn1 = deleteButton("MsgBitBtn1", QStringLiteral("削除"), host);
    ButtonListClear = named<QPushButton>("ButtonListClear", QStringLiteral("消去(&R)"), host);
    buttons->addWidget(ButtonListAll);
    buttons->addWidget(MsgBitBtn1);
    buttons->addWidget(ButtonListClear);
    layout->addLayout(buttons);
    connect(ButtonListClear, &QPushButton::clicked, this, &FileListTab::ButtonDBListDeleteClick);
    // A click in the list box previews the grid's current row.
    connect(ListImage, &QListWidget::itemClicked, this, [this] { DBGridListCellClick(QString()); });
}

void FileListTab::RunDiskScan()
{
    disk::ScanSettings settings;
    if (TFormSetting* d = m_form.windows() ? m_form.windows()->FormSetting : nullptr) {
        static_cast<viewing::PictureTypes&>(settings) = d->pictureTypes();
        settings.kekka = d->RadioKekka->itemIndex();
        settings.dbSave = d->CheckDBSave->isChecked();
    }
    // The bar goes on every way out, but not when this call was a second
    // run refused while the first one goes on.
    struct HideProgress {
        FileListTab& tab;
        ~HideProgress()
        {
            if (!tab.m_scan->isRunning())
                tab.m_form.hideProgress();
        }
    } hide{*this};
    if (m_scan->isRunning()) {
        m_scan->RunDiskScan(m_form.directoryBoxText(), settings); // refused
        m_form.ShowCounts();
        return;
    }
    // The fingerprints of an earlier scan give way; this scan's come after it.
    if (m_fingerprinter->isRunning() && m_purpose == Purpose::Scan) {
        m_pending.reset();
        m_fingerprinter->stop();
    }
    m_seen.clear();
    m_collecting = checkNoDuplicate();
    struct StopCollecting {
        FileListTab& tab;
        ~StopCollecting() { tab.m_collecting = false; }
    } stopCollecting{*this};
    m_scan->RunDiskScan(m_form.directoryBoxText(), settings);
    m_form.ShowCounts();
    // A stopped scan is stopped as a whole.
    if (m_collecting && !stopRequested() && !m_seen.empty())
        fingerprint(std::move(m_seen), Purpose::Scan);
    m_seen = {};
}

bool FileListTab::checkNoDuplicate() const
{
    TFormSetting* d = m_form.windows() ? m_form.windows()->FormSetting : nullptr;
    return d && d->noDuplicates();
}

void FileListTab::fileSeen(const QString& fullPath, qint64 size, const QDateTime& modified)
{
    if (m_collecting)
        m_seen.push_back({fullPath, size, modified});
}

void FileListTab::fingerprint(std::vector<viewing::FileStamp> files, Purpose purpose)
{
    if (m_fingerprinter->isRunning()) {
        m_pending = Pending{std::move(files), purpose};
        m_fingerprinter->stop();
        return;
    }
    m_purpose = purpose;
    m_fingerprinter->start(std::move(files));
}

void FileListTab::fingerprintingProgress(qsizetype done, qsizetype total)
{
    if (m_purpose == Purpose::Similar)
        m_form.longRunProgress(int(done));
    else
        m_form.showProgress(int(done), int(total), QStringLiteral("%1 / %2 件").arg(done).arg(total));
}

void FileListTab::fingerprintingFinished(bool stopped)
{
    const Purpose purpose = m_purpose;
    if (purpose == Purpose::Similar) {
        if (stopped) {
            m_form.endLongRun();
            m_form.setStb(0, QStringLiteral("類似中止"));
            m_form.LogNormal(QStringLiteral("類似中止 : %1 / %2 件")
                                 .arg(std::count_if(m_fingerprinter->results().begin(),
                                                    m_fingerprinter->results().end(),
                                                    [](const auto& r) { return r.has_value(); }))
                                 .arg(m_fingerprinter->files().size()));
        } else {
            startGrouping();
        }
    } else if (!m_scan->isRunning()) {
        m_form.hideProgress();
    }
    if (m_pending) {
        Pending next = std::move(*m_pending);
        m_pending.reset();
        fingerprint(std::move(next.files), next.purpose);
    }
}

int FileListTab::similarDistance() const
{
    bool ok = false;
    const int bits = EditSimilar->text().trimmed().toInt(&ok);
    return ok && bits >= 0 && bits <= 64 ? bits : kSimilarDefault;
}

void FileListTab::readValues(base::SettingsStore& s)
{
    EditSimilar->setText(s.readString(base::SettingsStore::Setting, QStringLiteral("fmSetting.Similar"),
                                      QString::number(kSimilarDefault)));
}

void FileListTab::writeValues(base::SettingsStore& s)
{
    s.writeString(base::SettingsStore::Setting, QStringLiteral("fmSetting.Similar"), EditSimilar->text());
}

void FileListTab::ButtonSimilarClick()
{
    // The rows in the grid's order, which decides the picture kept of equals.
    store::Table& walker = *m_form.dm3().TaList2;
    store::Table& grid = *m_form.dm3().TaList;
    std::vector<viewing::FileStamp> files;
    try {
        store::openIfClosed(walker);
        const QString primary = walker.indexName();
        walker.setIndexName(grid.isOpen() ? grid.indexName() : QString());
        walker.refresh();
        for (walker.first(); !walker.eof(); walker.next()) {
            const QString path = walker.fieldByName(QStringLiteral("フルパス名")).asString();
            const QFileInfo info(path);
            if (!info.isFile()) {
                m_form.LogError(QStringLiteral("ファイルを開けません : ") + path);
                continue;
            }
            files.push_back({path, info.size(), info.lastModified()});
        }
        walker.setIndexName(primary);
    } catch (const store::StoreError& e) {
        m_form.reportError(e.message());
        return;
    }
    // As during a registration, only "中止" takes input until the marks are set.
    m_form.beginLongRun(int(files.size()));
    fingerprint(std::move(files), Purpose::Similar);
}

void FileListTab::startGrouping()
{
    // The rows with a hash, in row order; the grouping reads its own copy of the hashes.
    m_similar = {};
    std::vector<quint64> hashes;
    const auto& files = m_fingerprinter->files();
    const auto& results = m_fingerprinter->results();
    for (size_t i = 0; i < results.size(); ++i) {
        if (results[i] && results[i]->hash) {
            hashes.push_back(*results[i]->hash);
            m_similar.push_back({files[i], results[i]->pixels});
        }
    }
    m_groupingStop = false;
    m_grouping.setFuture(QtConcurrent::run([this, hashes = std::move(hashes), d = similarDistance()] {
        return viewing::nearGroups(hashes, d, &m_groupingStop);
    }));
}

void FileListTab::groupingFinished()
{
    m_form.endLongRun();
    if (m_groupingStop) {
        m_form.setStb(0, QStringLiteral("類似中止"));
        return;
    }
    try {
        markSimilar(m_grouping.result());
    } catch (const store::StoreError& e) {
        m_form.reportError(e.message());
    }
}

void FileListTab::markSimilar(const std::vector<std::vector<qsizetype>>& groups)
{
    store::Table& walker = *m_form.dm3().TaList2;
    store::openIfClosed(walker);
    const QString order = walker.indexName();
    walker.setIndexName(QString()); // by path
    qsizetype marked = 0;
    store::Batch batch(walker.store());
    for (const auto& group : groups) {
        // The largest by pixels, then by bytes, stays unmarked; of equals the first row.
        auto largerThan = [&](qsizetype a, qsizetype b) {
            const QSize pa = m_similar[size_t(a)].pixels, pb = m_similar[size_t(b)].pixels;
            const qint64 areaA = qint64(pa.width()) * pa.height(), areaB = qint64(pb.width()) * pb.height();
            if (areaA != areaB)
                return areaA > areaB;
            return m_similar[size_t(a)].file.size > m_similar[size_t(b)].file.size;
        };
        // The members come in row order.
        qsizetype keep = group.front();
        for (qsizetype member : group)
            if (largerThan(member, keep))
                keep = member;
        for (qsizetype member : group) {
            if (member == keep || !walker.findKey({m_similar[size_t(member)].file.path}))
                continue;
            walker.edit();
            walker.fieldByName(QStringLiteral("印")).setAsString(store::markText());
            walker.post();
            ++marked;
        }
    }
    batch.commit();
    walker.setIndexName(order);
    m_form.dm3().TaList->refresh();
    m_form.setStb(0, QStringLiteral("類似 : %1 組 %2 件").arg(groups.size()).arg(marked));
}

bool FileListTab::stopRequested()
{
    return m_form.stopIconIndex() == 9;
}

void FileListTab::setStatus(int panel, const QString& text)
{
    m_form.setStb(panel, text);
}

void FileListTab::yield()
{
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

void FileListTab::progress(const disk::ScanProgress& p)
{
    m_form.showProgress(p.directoriesVisited, p.directoriesKnown,
                        QStringLiteral("%1 ディレクトリ / %2 件").arg(p.directoriesVisited).arg(p.filesMatched));
}

void FileListTab::logError(const QString& line)
{
    m_form.LogError(line);
}

void FileListTab::showFileList()
{
    m_form.showFileListTab();
}

void FileListTab::DBGridListCellClick(const QString& field)
{
    if (field == QStringLiteral("印")) {
        store::Table& t = *m_form.dm3().TaList;
        if (t.isOpen() && !t.isEmpty())
            store::ToggleMark(t);
        return;
    }
    PreviewListFile();
}

QString FileListTab::currentPath() const
{
    store::Table& t = *m_form.dm3().TaList;
    if (!t.isOpen() || t.isEmpty() || t.recNo() < 0)
        return QString();
    return t.fieldByName(QStringLiteral("フルパス名")).asString();
}

QString FileListTab::currentFileName() const
{
    store::Table& t = *m_form.dm3().TaList;
    if (!t.isOpen() || t.isEmpty() || t.recNo() < 0)
        return QString();
    return t.fieldByName(QStringLiteral("ファイル名")).asString();
}

void FileListTab::PreviewListFile()
{
    const QString path = currentPath();
    m_form.setStb(4, path);
    if (path.isEmpty())
        return;
    // Decoded no larger than the box can show; the labels still get the true size.
    const auto picture = viewing::loadPreview(path, viewing::kFileListPreviewBox);
    if (!picture)
        return;
    Image->setPicture(*picture);
    m_previewPath = path;
    FitPicture();
}

void FileListTab::FitPicture()
{
    if (viewing::FitPicture(*Image, *PanelImage, CheckStretch->isChecked(), CheckHiritsu->isChecked(),
                            viewing::kFileListPreviewBox)) {
        const QSize size = Image->pictureSize();
        LabelWidth->setText(QString::number(size.width()));
        LabelHeight->setText(QString::number(size.height()));
    }
}

void FileListTab::CheckStretchClick()
{
    FitPicture();
}

void FileListTab::CheckHiritsuClick()
{
    DBGridListCellClick(DBGridList->selectedField());
}

void FileListTab::RadioHyoujiClick()
{
    const int item = RadioHyouji->itemIndex();
    if (item < 0 || item > 3)
        return;
    store::Table& t = *m_form.dm3().TaList;
    if (!t.isOpen())
        t.open();
    t.setIndexName(kIndexForOrder[item]);
}

void FileListTab::MarkAllFiles()
{
    disk::markAllFiles(*m_form.dm3().TaList2);
    m_form.dm3().TaList->refresh();
}

void FileListTab::DeleteMarkedFiles()
{
    const disk::DeleteResult result = disk::deleteMarkedFiles(*m_form.dm3().TaList2);
    for (const QString& path : result.undeletable)
        m_form.LogError(QStringLiteral("削除できません : ") + path);
    if (result.deleted == 0) {
        if (result.undeletable.isEmpty())
            m_form.message(QStringLiteral("リストを選択してください"));
        else
            m_form.reportError(QStringLiteral("ファイルを削除できません : ") + result.undeletable.first());
        return;
    }
    m_form.dm3().TaList->refresh();
    PreviewListFile();
    m_form.setStb(0, QStringLiteral("削除完了 : %1 件").arg(result.deleted));
}

void FileListTab::ButtonDBListDeleteClick()
{
    try {
        store::EmptyTableNow(*m_form.dm3().TaList);
    } catch (const store::StoreError& e) {
        m_form.reportError(e.message());
    }
}

} // namespace app
