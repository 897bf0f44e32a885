#include "search/SearchPage.h"

#include "base/Named.h"
#include "controls/DBGrid.h"
#include "controls/RadioGroup.h"
#include "controls/StdArr.h"
#include "controls/RetEdit.h"
#include "controls/TTimer.h"
#include "search/FormPopJouken.h"
#include "search/FormPopKensaku.h"
#include "search/QueryBuilder.h"
#include "search/SearchHost.h"
#include "store/DataMod.h"
#include "store/DataSource.h"
#include "store/Query.h"
#include "store/Store.h"
#include "store/Table.h"
#include "store/TableOps.h"
#include "viewing/FitPicture.h"
#include "viewing/HeldPreviews.h"
#include "viewing/PictureLoader.h"
#include "viewing/Thumbnails.h"
#include "viewing/TImage.h"

#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QVBoxLayout>

namespace search {

namespace {

constexpr int kSlotTops[4] = {15, 44, 72, 101};
const QString kNoField = QStringLiteral("（項目）");

void setCaptionColour(QWidget* w, const char* colour)
{
    w->setStyleSheet(QStringLiteral("color: %1").arg(QLatin1String(colour)));
}

} // namespace

SearchPage::SearchPage(SearchHost& host, store::DataMod& dm, QWidget* page, TTimer* timer)
    : QObject(page)
    , m_host(host)
    , m_dm(dm)
    , m_timer(timer)
{
    auto* layout = new QVBoxLayout(page);
    auto* top = new QHBoxLayout();
    auto* left = new QVBoxLayout();
    auto* heading = new QHBoxLayout();
    LabelHokan2 = named<QLabel>("LabelHokan2", QStringLiteral("（保管形式）"), page);
    setCaptionColour(LabelHokan2, "blue");
    DBNavigator6 = new TDBNavigator("DBNavigator6", dm.DqPhoto, page);
    heading->addWidget(LabelHokan2);
    heading->addStretch(1);
    heading->addWidget(DBNavigator6);
    left->addLayout(heading);

    // The group keeps its design size; its controls stand at their design places.
    GroupKensaku = named<QGroupBox>("GroupKensaku", QStringLiteral("検索条件"), page);
    GroupKensaku->setFixedSize(345, 129);
    Button10 = named<QPushButton>("Button10", QStringLiteral("検索(&K)"), GroupKensaku);
    Button10->setGeometry(184, 16, 75, 25);
    Button9 = named<QPushButton>("Button9", QStringLiteral("消去(&E)"), GroupKensaku);
    Button9->setGeometry(184, 52, 75, 25);
    RadioJouken = new TRadioGroup("RadioJouken", QString(), {QStringLiteral("AND"), QStringLiteral("OR")}, GroupKensaku);
    RadioJouken->setGeometry(264, 20, 76, 57); // wide enough for "AND" in the Japanese font
    RadioJouken->setItemIndex(0);
    left->addWidget(GroupKensaku);
    left->addStretch(1);
    top->addLayout(left);

    QWidget* form = page->window();
    ArButtonKensaku = new TArButton(form, QStringLiteral("ArButtonKensaku"));
    ArButtonKensaku->setArryParent(page);
    ArButtonKensaku->setNumOfArry(4);
    ArEditKeyword = new TArEdit(form, QStringLiteral("ArEditKeyword"));
    ArEditKeyword->setArryParent(page);
    ArEditKeyword->setNumOfArry(4);
    ArButtonKensaku->Loaded();
    ArEditKeyword->Loaded();

    auto* order = new QVBoxLayout();
    CheckShoujun = namedCheckBox("CheckShoujun", QStringLiteral("昇順"), true, page);
    RadioHyouji2 = new TRadioGroup("RadioHyouji2", QStringLiteral("表示順"),
                                   {QStringLiteral("連番"), QStringLiteral("分類"), QStringLiteral("タイトル"),
                                    QStringLiteral("ファイル名"), QStringLiteral("説明")},
                                   page);
    RadioHyouji2->setItemIndex(0);
    order->addWidget(CheckShoujun);
    order->addWidget(RadioHyouji2);
    order->addStretch(1);
    top->addLayout(order);

    PanelKensaku = named<QFrame>("PanelKensaku", page);
    PanelKensaku->setFrameShape(QFrame::Panel);
    PanelKensaku->setFrameShadow(QFrame::Sunken);
    PanelKensaku->setFixedSize(185, 160);
    auto* panelLayout = new QVBoxLayout(PanelKensaku);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    ImageKensaku = new viewing::TImage(PanelKensaku);
    ImageKensaku->setObjectName(QStringLiteral("ImageKensaku"));
    panelLayout->addWidget(ImageKensaku);
    top->addWidget(PanelKensaku, 0, Qt::AlignTop);
    top->addStretch(1);
    layout->addLayout(top);

    auto* count = new QHBoxLayout();
    Label6 = named<QLabel>("Label6", QStringLiteral("検索結果"), page);
    LabelCt = named<QLabel>("LabelCt", QString(), page);
    setCaptionColour(LabelCt, "blue");
    Label11 = named<QLabel>("Label11", QStringLiteral("件"), page);
    count->addWidget(Label6);
    count->addWidget(LabelCt);
    count->addWidget(Label11);
    count->addStretch(1);
    layout->addLayout(count);

    DBGridQuery = named<QTableView>("DBGridQuery", page);
    DBGridQuery->setSelectionBehavior(QAbstractItemView::SelectRows);
    DBGridQuery->setSelectionMode(QAbstractItemView::ExtendedSelection);
    DBGridQuery->setEditTriggers(QAbstractItemView::NoEditTriggers);
    makeCellsCompact(DBGridQuery);
    dm.DqPhoto->setColumns({QStringLiteral("連番"), QString(), QString(), QString(), QStringLiteral("サイズ"),
                            QStringLiteral("更新日")});
    DBGridQuery->setModel(dm.DqPhoto);
    layout->addWidget(DBGridQuery, 1);
    PopQuery = new QMenu(DBGridQuery);
    PopQuery->setObjectName(QStringLiteral("PopQuery"));
    N4 = PopQuery->addAction(QStringLiteral("単独"));
    N4->setObjectName(QStringLiteral("N4"));
    N5 = PopQuery->addAction(QStringLiteral("複数"));
    N5->setObjectName(QStringLiteral("N5"));
    N6 = PopQuery->addSeparator();
    N6->setText(QStringLiteral("----"));
    N6->setObjectName(QStringLiteral("N6"));
    Delete3 = PopQuery->addAction(QStringLiteral("削除"));
    Delete3->setObjectName(QStringLiteral("Delete3"));
    DBGridQuery->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(DBGridQuery, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& at) { PopQuery->popup(DBGridQuery->viewport()->mapToGlobal(at)); });

    connect(Button10, &QPushButton::clicked, this, &SearchPage::StartSearch);
    connect(Button9, &QPushButton::clicked, this, &SearchPage::ClearSearchConditions);
    connect(RadioHyouji2, &TRadioGroup::clicked, this, &SearchPage::StartSearch);
    connect(CheckShoujun, &QCheckBox::clicked, this, &SearchPage::StartSearch);
    connect(ArButtonKensaku, &TArCntrl::OnClick, this, [this](QObject*, int index) { ChooseSearchField(index); });
    connect(m_timer, &QTimer::timeout, this, [this] {
        m_timer->setIntervalMs(0);
        RunSearch();
    });
    connect(DBGridQuery, &QAbstractItemView::clicked, this, &SearchPage::ShowSearchPreview);
    connect(DBNavigator6, &TDBNavigator::clicked, this, [this] { m_host.showOnNavigate(); });
}

void SearchPage::placeSlots()
{
    for (int i = 0; i < 4; ++i) {
        QPushButton* button = ArButtonKensaku->Items(i);
        TRetEdit* edit = ArEditKeyword->Items(i);
        button->setParent(GroupKensaku);
        button->setGeometry(8, kSlotTops[i], 72, 24);
        edit->setParent(GroupKensaku);
        edit->clear();
        edit->setGeometry(88, kSlotTops[i], 90, 20);
        button->show();
        edit->show();
    }
    // Tab order: each field button, then its keyword, then the buttons.
    QWidget* before = nullptr;
    for (int i = 0; i < 4; ++i) {
        for (QWidget* w : {static_cast<QWidget*>(ArButtonKensaku->Items(i)), static_cast<QWidget*>(ArEditKeyword->Items(i))}) {
            if (before)
                QWidget::setTabOrder(before, w);
            before = w;
        }
    }
    QWidget::setTabOrder(before, Button10);
}

void SearchPage::StartSearch()
{
    if (TFormPopKensaku* pop = m_host.searchProgress())
        pop->show();
    m_timer->setIntervalMs(1);
}

void SearchPage::RunSearch()
{
    SearchRequest r;
    r.database = m_host.databaseName();
    r.fieldLabels = m_host.fieldLabels();
    for (int i = 0; i < 4; ++i)
        r.slotInputs[size_t(i)] = {SlotField[size_t(i)], ArButtonKensaku->Items(i)->text(), ArEditKeyword->Items(i)->text()};
    r.orJoin = RadioJouken->itemIndex() == 1;
    const int orderItem = qMax(0, RadioHyouji2->itemIndex());
    r.orderColumn = RadioHyouji2->item(orderItem)->text();
    r.ascending = CheckShoujun->isChecked();
    r.server = m_dm.store().isServer();
    const bool done = runStatement(buildSearch(r));
    if (TFormPopKensaku* pop = m_host.searchProgress())
        pop->hide();
    if (done)
        m_host.setStatus(0, HitCount > 0 ? QStringLiteral("検索終了") : QStringLiteral("検索該当なし"));
}

void SearchPage::SearchAgain()
{
    if (!m_dm.QuPhoto->isOpen() || m_lastStatement.sql.isEmpty())
        return;
    const int row = DBGridQuery->currentIndex().row();
    const int column = qMax(0, DBGridQuery->currentIndex().column());
    if (!runStatement(m_lastStatement))
        return;
    const int rows = m_dm.QuPhoto->recordCount();
    if (rows > 0 && row >= 0)
        DBGridQuery->setCurrentIndex(DBGridQuery->model()->index(qMin(row, rows - 1), column));
}

bool SearchPage::runStatement(const SearchStatement& statement)
{
    store::DataSource& source = *m_dm.DqPhoto;
    store::Query& query = *m_dm.QuPhoto;
    source.setEnabled(false);
    int hits = 0;
    try {
        query.close();
        query.clearSql();
        query.setSql(statement.sql);
        for (const auto& [name, value] : statement.params)
            query.setParam(name, value);
        query.open();
        for (query.first(); !query.eof(); query.next())
            ++hits;
        query.first();
    } catch (const store::StoreError& e) {
        // A refused statement leaves a usable screen: the grid back on, the pop-up gone.
        source.setEnabled(true);
        if (TFormPopKensaku* pop = m_host.searchProgress())
            pop->hide();
        m_host.reportError(e.message());
        return false;
    }
    m_lastStatement = statement;
    HitCount = hits;
    LabelCt->setText(QString::number(hits));
    source.setEnabled(true);
    return true;
}

void SearchPage::ClearSearchConditions()
{
    for (int i = 0; i < 4; ++i) {
        QPushButton* button = ArButtonKensaku->Items(i);
        button->setText(kNoField);
        setCaptionColour(button, "black");
        ArEditKeyword->Items(i)->clear();
        SlotField[size_t(i)].clear();
    }
    HitCount = 0;
    LabelCt->clear();
    m_dm.QuPhoto->close();
}

void SearchPage::ChooseSearchField(int slot)
{
    TFormPopJouken* chooser = m_host.fieldChooser();
    if (!chooser || slot < 0 || slot > 3)
        return;
    const QStringList labels = m_host.fieldLabels();
    chooser->ListBox->clear();
    chooser->ListBox->addItems(labels);
    const bool ok = chooser->exec() == QDialog::Accepted;
    const QList<QListWidgetItem*> chosen = chooser->ListBox->selectedItems();
    if (!ok || chosen.isEmpty())
        return;
    const int k = chooser->ListBox->row(chosen.constFirst());
    QPushButton* button = ArButtonKensaku->Items(slot);
    button->setText(chosen.constFirst()->text());
    setCaptionColour(button, "blue");
    ArEditKeyword->Items(slot)->setFocus();
    SlotField[size_t(slot)] = labels.value(k);
}

void SearchPage::renameSlotFields(const QStringList& before, const QStringList& after)
{
    for (int i = 0; i < 4; ++i) {
        QString& field = SlotField[size_t(i)];
        const qsizetype k = field.isEmpty() ? -1 : before.indexOf(field);
        if (k < 0 || k >= after.size() || after[k] == field)
            continue;
        field = after[k];
        ArButtonKensaku->Items(i)->setText(field);
    }
}

bool SearchPage::moveToGridRow()
{
    store::Query& query = *m_dm.QuPhoto;
    const int row = DBGridQuery->currentIndex().row();
    if (row < 0 || row >= query.recordCount())
        return false;
    query.moveTo(row);
    return true;
}

qint32 SearchPage::selectedSerial()
{
    return m_dm.QuPhoto->isOpen() && moveToGridRow() ? currentSerial() : 0;
}

std::optional<viewing::Picture> SearchPage::viewPicture()
{
    const qint32 serial = selectedSerial();
    if (serial == 0)
        return std::nullopt;
    if (m_host.indexMode()) {
        const QString where = currentItem3();
        m_host.locateRecordAndImage(serial);
        // A picture at a Web address is known only as the preview fetched it.
        if (where.startsWith(QLatin1String("http")))
            return ImageKensaku->hasPicture() ? std::optional(ImageKensaku->picture()) : std::nullopt;
        return viewing::loadPicture(where);
    }
    if (!m_host.locateRecordAndImage(serial))
        return std::nullopt;
    return viewing::loadPictureData(store::imageRowPicture(*m_dm.TaImage));
}

qint32 SearchPage::currentSerial() const
{
    store::Query& query = *m_dm.QuPhoto;
    if (!query.isOpen() || query.eof())
        return 0;
    return query.value(0).toInt();
}

QString SearchPage::currentItem3() const
{
    store::Query& query = *m_dm.QuPhoto;
    // Columns 4 to 7 are the user items.
    return query.isOpen() && !query.eof() ? query.value(6).toString() : QString();
}

void SearchPage::ShowSearchPreview()
{
    store::Query& query = *m_dm.QuPhoto;
    if (!query.isOpen() || !moveToGridRow())
        return;
    const qint32 serial = currentSerial();
    if (m_host.indexMode()) {
        const QString where = currentItem3();
        if (where.startsWith(QLatin1String("http"))) {
            m_host.fetchSingleImage(where);
        } else {
            const auto picture = viewing::loadPreview(where, viewing::kSearchPreviewBox);
            if (!picture) {
                m_host.message(QStringLiteral("画像が見つかりません"));
                return;
            }
            ImageKensaku->setPicture(*picture);
        }
        FitSearchPreview();
        m_host.locateRecordAndImage(serial);
        return;
    }
    if (!m_host.locateRecordAndImage(serial))
        return;
    // Decoded from the image row in memory, by its bytes whatever 画像種別
    // says; a picture that cannot be read leaves the preview as it was.
    const QByteArray bytes = store::imageRowPicture(*m_dm.TaImage);
    viewing::HeldPreviews held(m_dm.store(), m_dm.TaPhoto->tableName(), m_dm.TaImage->tableName());
    if (const auto picture = held.preview(serial, bytes, viewing::kSearchPreviewBox))
        ImageKensaku->setPicture(*picture);
    FitSearchPreview();
}

void SearchPage::FitSearchPreview()
{
    viewing::FitPicture(*ImageKensaku, *PanelKensaku, m_host.previewStretch(), m_host.previewKeepRatio(),
                        viewing::kSearchPreviewBox);
}

} // namespace search
