#include "picturedb/FormDBList.h"

#include "base/Named.h"
#include "controls/DBGrid.h"
#include "store/DataSource.h"
#include "store/Table.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace picturedb {

TFormDBList::TFormDBList(QWidget* parent)
    : base::TForm("FormDBList", QStringLiteral("データベースリスト"), QStringLiteral("fmDBList"), QSize(250, 300), parent)
{
    auto* layout = new QVBoxLayout(this);
    DBGrid1 = new TDBGrid("DBGrid1", this);
    DBGrid1->setSelectionMode(QAbstractItemView::SingleSelection);
    DBGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    DBGrid1->horizontalHeader()->setStretchLastSection(true);
    DBGrid1->installEventFilter(this);
    layout->addWidget(DBGrid1, 1);
    auto* buttons = new QHBoxLayout();
    BitBtn1 = named<QPushButton>("BitBtn1", QStringLiteral("閉じる(&C)"), this);
    Button1 = named<QPushButton>("Button1", QStringLiteral("ｷｬﾝｾﾙ"), this);
    for (QPushButton* b : {BitBtn1, Button1}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
        connect(b, &QPushButton::clicked, this, &QDialog::reject);
    }
    buttons->addStretch(1);
    layout->addLayout(buttons);
    connect(DBGrid1, &TDBGrid::cellDoubleClicked, this, &QDialog::accept);
    restoreValues();
}

void TFormDBList::setCatalogue(store::DataSource* catalogue)
{
    if (DBGrid1->dataSource() != catalogue) {
        catalogue->setColumns({QStringLiteral("DB名称")});
        catalogue->setReadOnly(true);
        DBGrid1->setDataSource(catalogue);
    }
    // The list opens on the catalogue's current row, the open database.
    if (store::Table* t = catalogue->table(); t && t->isOpen() && t->recNo() >= 0)
        DBGrid1->setCurrentIndex(catalogue->index(t->recNo(), 0));
}

bool TFormDBList::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == DBGrid1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            accept();
            return true;
        }
    }
    return base::TForm::eventFilter(watched, event);
}

} // namespace picturedb
