#include "search/FormPopJouken.h"

#include "base/Named.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace search {

TFormPopJouken::TFormPopJouken(QWidget* parent)
    : base::TForm("FormPopJouken", QStringLiteral("検索項目選択"), QStringLiteral("PopJouke"), QSize(212, 260), parent)
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    ListBox = new QListWidget(this);
    ListBox->setObjectName(QStringLiteral("ListBox"));
    layout->addWidget(ListBox, 1);
    auto* bottom = new QWidget(this);
    bottom->setFixedHeight(33);
    auto* buttons = new QHBoxLayout(bottom);
    buttons->setContentsMargins(4, 2, 4, 2);
    Button1 = named<QPushButton>("Button1", QStringLiteral("ｷｬﾝｾﾙ"), bottom);
    BitBtn1 = named<QPushButton>("BitBtn1", QStringLiteral("閉じる(&X)"), bottom);
    buttons->addStretch(1);
    buttons->addWidget(Button1);
    buttons->addWidget(BitBtn1);
    layout->addWidget(bottom);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(Button1, &QPushButton::clicked, this, &QDialog::reject);
    connect(ListBox, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
    ListBox->installEventFilter(this);
    restoreValues();
}

bool TFormPopJouken::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == ListBox && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            accept();
            return true;
        }
    }
    return base::TForm::eventFilter(watched, event);
}

} // namespace search
