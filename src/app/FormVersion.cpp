#include "app/FormVersion.h"

#include "app/Icons.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace app {

TFormVersion::TFormVersion(QWidget* parent)
    : base::TForm("FormVersion", QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"), QString(), QSize(298, 150), parent)
{
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout();
    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("ProgramIcon"));
    icon->setPixmap(icons::program().pixmap(32, 32));
    auto* texts = new QVBoxLayout();
    auto* product = new QLabel(QStringLiteral("Quillon"), this);
    product->setObjectName(QStringLiteral("ProductName"));
    QFont bold = product->font();
    bold.setBold(true);
    bold.setPointSize(bold.pointSize() + 4);
    product->setFont(bold);
    auto* version = new QLabel(QStringLiteral("Version 1.00"), this);
    version->setObjectName(QStringLiteral("Version"));
    texts->addWidget(product);
    texts->addWidget(version);
    row->addWidget(icon, 0, Qt::AlignTop);
    row->addLayout(texts, 1);
    layout->addLayout(row);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("OKButton"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    layout->addWidget(ok, 0, Qt::AlignHCenter);
    setFixedSize(sizeHint().expandedTo(QSize(298, 150)));
}

int TFormVersion::exec()
{
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
    return base::TForm::exec();
}

} // namespace app
