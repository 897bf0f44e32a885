#include "app/ExplorationTabs.h"

#include "app/FormMain.h"
#include "base/Named.h"
#include "controls/DBGrid.h"
#include "controls/RadioGroup.h"
#include "store/DataMd3.h"
#include "store/DataSource.h"
#include "store/Query.h"
#include "store/Table.h"
#include "store/TableOps.h"
#include "web/ExplorationTables.h"

#include <QBoxLayout>
#include <QGroupBox>
#include <QPushButton>

namespace app {

namespace {

TRadioGroup* orderChoice(const char* name, QWidget* parent)
{
    auto* r = new TRadioGroup(name, QStringLiteral("表示順"), {QStringLiteral("No"), QStringLiteral("URL")}, parent);
    r->setItemIndex(0);
    return r;
}

} // namespace

ExplorationTabs::ExplorationTabs(TFormMain& form, web::ExplorationTables& tables)
    : QObject(&form)
    , m_form(form)
    , m_tables(tables)
{
    store::DataMd3& dm3 = tables.dm3();

    // ホスト
    {
        QWidget* tab = form.TabHost;
        auto* layout = new QVBoxLayout(tab);
        auto* top = new QHBoxLayout();
        RadioHost = orderChoice("RadioHost", tab);
        DBNavigator3 = new TDBNavigator("DBNavigator3", dm3.DtHost, tab);
        ButtonHostDelete = named<QPushButton>("ButtonHostDelete", QStringLiteral("HOSTリスト消去"), tab);
        top->addWidget(RadioHost);
        top->addWidget(DBNavigator3, 0, Qt::AlignBottom);
        top->addStretch(1);
        top->addWidget(ButtonHostDelete, 0, Qt::AlignBottom);
        layout->addLayout(top);
        dm3.DtHost->setColumns({QStringLiteral("Host"), QStringLiteral("Level"), QStringLiteral("Link"),
                                QStringLiteral("URL"), QStringLiteral("Image"), QStringLiteral("System"),
                                QStringLiteral("Date")});
        dm3.DtHost->setReadOnly(true);
        DBGrid3 = new TDBGrid("DBGrid3", tab);
        DBGrid3->setDataSource(dm3.DtHost);
        DBGrid3->setColumnWidths({220, 40, 40, 50, 50, 50, 130});
        DBGrid3->setCompactCells({});
        layout->addWidget(DBGrid3, 1);
        connect(ButtonHostDelete, &QPushButton::clicked, this, &ExplorationTabs::ButtonHostDeleteClick);
        connect(RadioHost, &TRadioGroup::clicked, this, &ExplorationTabs::RadioHostClick);
    }

    // リンク(URL)
    {
        QWidget* tab = form.TabLink;
        auto* layout = new QVBoxLayout(tab);
        auto* top = new QHBoxLayout();
        RadioLink = orderChoice("RadioLink", tab);
        DBNavigator1 = new TDBNavigator("DBNavigator1", dm3.Dtlink, tab);
        ButtonLinkDelete = named<QPushButton>("ButtonLinkDelete", QStringLiteral("ＵＲＬリスト消去"), tab);
        top->addWidget(RadioLink);
        top->addWidget(DBNavigator1, 0, Qt::AlignBottom);
        top->addStretch(1);
        top->addWidget(ButtonLinkDelete, 0, Qt::AlignBottom);
        layout->addLayout(top);
        dm3.Dtlink->setColumns({QStringLiteral("No"), QStringLiteral("Host"), QStringLiteral("URL"),
                                QStringLiteral("Comment"), QStringLiteral("Link")});
        DBGridLink = new TDBGrid("DBGridLink", tab);
        DBGridLink->setDataSource(dm3.Dtlink);
        DBGridLink->setSelectionMode(QAbstractItemView::ExtendedSelection);
        DBGridLink->setColumnWidths({40, 140, 300, 50, 40});
        DBGridLink->setCompactCells({});
        layout->addWidget(DBGridLink, 1);
        connect(ButtonLinkDelete, &QPushButton::clicked, this, &ExplorationTabs::ButtonLinkDeleteClick);
        connect(RadioLink, &TRadioGroup::clicked, this, &ExplorationTabs::RadioLinkClick);
    }

    // 画像(URL): the registration group is already on the tab, at its foot.
    {
        QWidget* tab = form.TabLinkImage;
        auto* layout = qobject_cast<QVBoxLayout*>(tab->layout());
        auto* top = new QHBoxLayout();
        RadioLinkImg = orderChoice("RadioLinkImg", tab);
        DBNavigator2 = new TDBNavigator("DBNavigator2", dm3.DtLinkImg, tab);
        top->addWidget(RadioLinkImg);
        top->addWidget(DBNavigator2, 0, Qt::AlignBottom);
        top->addStretch(1);
        auto* buttons = new QGridLayout();
        Button6 = named<QPushButton>("Button6", QStringLiteral("全選択(&Z)"), tab);
        Button13 = named<QPushButton>("Button13", QStringLiteral("解除(&K)"), tab);
        Button18 = named<QPushButton>("Button18", QStringLiteral("リセット(&R)"), tab);
        Button26 = named<QPushButton>("Button26", QStringLiteral("削除(&D)"), tab);
        ButtonImageDelete = named<QPushButton>("ButtonImageDelete", QStringLiteral("画像リスト消去"), tab);
        buttons->addWidget(Button6, 0, 0);
        buttons->addWidget(Button13, 0, 1);
        buttons->addWidget(Button18, 0, 2);
        buttons->addWidget(Button26, 1, 0);
        buttons->addWidget(ButtonImageDelete, 1, 1, 1, 2);
        top->addLayout(buttons);
        dm3.DtLinkImg->setColumns({QStringLiteral("No"), QStringLiteral("Host"), QStringLiteral("URL"),
                                   QStringLiteral("Comment"), QStringLiteral("Date"), QStringLiteral("印")});
        dm3.DtLinkImg->setColumnTitle(3, QStringLiteral("comment"));
        dm3.DtLinkImg->setReadOnly(true);
        DBGridImage = new TDBGrid("DBGridImage", tab);
        DBGridImage->setDataSource(dm3.DtLinkImg);
        DBGridImage->setColumnWidths({40, 120, 260, 50, 80, 24});
        DBGridImage->setCompactCells({4});
        // Replace the stretch that held the registration group down.
        delete layout->takeAt(0);
        layout->insertLayout(0, top);
        layout->insertWidget(1, DBGridImage, 1);
        connect(DBGridImage, &TDBGrid::cellClicked, this, &ExplorationTabs::DBGridImageCellClick);
        connect(Button6, &QPushButton::clicked, this, &ExplorationTabs::Button6Click);
        connect(Button13, &QPushButton::clicked, this, &ExplorationTabs::Button13Click);
        connect(Button18, &QPushButton::clicked, this, &ExplorationTabs::Button18Click);
        connect(Button26, &QPushButton::clicked, this, &ExplorationTabs::Button26Click);
        connect(ButtonImageDelete, &QPushButton::clicked, this, &ExplorationTabs::ButtonImageDeleteClick);
        connect(RadioLinkImg, &TRadioGroup::clicked, this, &ExplorationTabs::RadioLinkImgClick);
    }
}

void ExplorationTabs::ButtonHostDeleteClick()
{
    store::EmptyTableNow(*m_tables.dm3().TaHost);
}

void ExplorationTabs::ButtonLinkDeleteClick()
{
    store::EmptyTableNow(*m_tables.dm3().TaLink);
    m_form.run.lastPageLinkNo = 0;
}

void ExplorationTabs::ButtonImageDeleteClick()
{
    store::EmptyTableNow(*m_tables.dm3().TaLinkImg);
    m_form.run.lastImageLinkNo = 0;
    m_form.run.pictureLinksFound = 0;
}

void ExplorationTabs::RadioLinkClick()
{
    m_tables.dm3().TaLink->setIndexName(RadioLink->itemIndex() == 1 ? QStringLiteral("KeyURL") : QString());
}

void ExplorationTabs::RadioLinkImgClick()
{
    m_tables.dm3().TaLinkImg->setIndexName(RadioLinkImg->itemIndex() == 1 ? QStringLiteral("KeyURL") : QString());
}

void ExplorationTabs::RadioHostClick()
{
    // The host table has no number: "No" lists hosts by distance, "URL" by name.
    m_tables.dm3().TaHost->setIndexName(RadioHost->itemIndex() == 0 ? QStringLiteral("Link") : QString());
}

void ExplorationTabs::DBGridImageCellClick(const QString& field)
{
    if (field == QStringLiteral("印"))
        store::ToggleMark(*m_tables.dm3().TaLinkImg);
}

void ExplorationTabs::Button6Click()
{
    m_tables.MarkAllImageLinks();
}

void ExplorationTabs::Button13Click()
{
    m_tables.ClearImageMarksAndModes();
}

void ExplorationTabs::Button18Click()
{
    DBGridImage->setVisible(false);
    m_tables.ResetImageModes();
    DBGridImage->setVisible(true);
}

void ExplorationTabs::Button26Click()
{
    store::Table& t = *m_tables.dm3().TaLinkImg;
    if (t.isOpen() && !t.isEmpty())
        t.remove();
}

} // namespace app
