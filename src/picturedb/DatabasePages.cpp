#include "picturedb/DatabasePages.h"

#include "base/Named.h"
#include "controls/DBGrid.h"
#include "controls/RadioGroup.h"
#include "store/DataMod.h"
#include "store/DataSource.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace picturedb {

namespace {

const QStringList kStorageModes{QStringLiteral("取込方式"), QStringLiteral("索引方式")};

} // namespace

DatabasePages::DatabasePages(store::DataMod& dm, QWidget* newPage, QWidget* settingsPage)
    : QObject(newPage)
{
    // The item list's grids: 項目連番 titled "No".
    dm.DtItem->setColumns(
        {QStringLiteral("項目連番"), QStringLiteral("項目名"), QStringLiteral("属性"), QStringLiteral("幅"),
         QStringLiteral("KEY")},
        {QStringLiteral("No")});

    auto* newLayout = new QHBoxLayout(newPage);
    auto* newLeft = new QVBoxLayout();
    RadioHokan = new TRadioGroup("RadioHokan", QStringLiteral("画像の保管"), kStorageModes, newPage);
    RadioHokan->setItemIndex(0);
    newLeft->addWidget(RadioHokan);
    newLeft->addStretch(1);
    newLayout->addLayout(newLeft);
    GroupKoumoku = named<QGroupBox>("GroupKoumoku", QStringLiteral("項目一覧 "), newPage);
    auto* itemsLayout = new QVBoxLayout(GroupKoumoku);
    DBGridShinki = new TDBGrid("DBGridShinki", GroupKoumoku);
    DBGridShinki->setDataSource(dm.DtItem);
    DBGridShinki->setColumnHidden(4, true);
    itemsLayout->addWidget(DBGridShinki);
    newLayout->addWidget(GroupKoumoku, 1);

    auto* settingsLayout = new QHBoxLayout(settingsPage);
    GroupKoumokuCopy =
        named<QGroupBox>("GroupKoumokuCopy", QStringLiteral("項目一覧 (項目名の変更のみ可能）"), settingsPage);
    auto* copyLayout = new QVBoxLayout(GroupKoumokuCopy);
    DBGrid1 = new TDBGrid("DBGrid1", GroupKoumokuCopy);
    DBGrid1->setDataSource(dm.DtItem);
    copyLayout->addWidget(DBGrid1);
    settingsLayout->addWidget(GroupKoumokuCopy, 1);

    auto* settingsRight = new QVBoxLayout();
    RadioHokanDisp = new TRadioGroup("RadioHokanDisp", QStringLiteral("画像の保管"), kStorageModes, settingsPage);
    RadioHokanDisp->setItemIndex(0);
    RadioHokanDisp->setEnabled(false);
    settingsRight->addWidget(RadioHokanDisp);
    GroupPassword = named<QGroupBox>("GroupPassword", QStringLiteral("パスワード設定"), settingsPage);
    auto* passwordLayout = new QGridLayout(GroupPassword);
    CheckPassword = namedCheckBox("CheckPassword", QStringLiteral("利用する"), false, GroupPassword);
    LabelPass = named<QLabel>("LabelPass", QStringLiteral("パスワード"), GroupPassword);
    EditPassword = named<QLineEdit>("EditPassword", GroupPassword);
    EditPassword->setEchoMode(QLineEdit::Password);
    EditPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    ButtonSettei = named<QPushButton>("ButtonSettei", QStringLiteral("設定(&S)"), GroupPassword);
    passwordLayout->addWidget(CheckPassword, 0, 0, 1, 2);
    passwordLayout->addWidget(LabelPass, 1, 0);
    passwordLayout->addWidget(EditPassword, 1, 1);
    passwordLayout->addWidget(ButtonSettei, 2, 1, Qt::AlignRight);
    settingsRight->addWidget(GroupPassword);
    settingsRight->addStretch(1);
    settingsLayout->addLayout(settingsRight);

    for (QWidget* w : {static_cast<QWidget*>(LabelPass), static_cast<QWidget*>(EditPassword),
                       static_cast<QWidget*>(ButtonSettei)})
        w->setVisible(false);
    connect(CheckPassword, &QCheckBox::clicked, this, &DatabasePages::CheckPasswordClick);
}

void DatabasePages::showStorageMode(bool indexMode)
{
    RadioHokan->setItemIndex(indexMode ? 1 : 0);
    RadioHokanDisp->setItemIndex(indexMode ? 1 : 0);
}

void DatabasePages::CheckPasswordClick()
{
    const bool on = CheckPassword->isChecked();
    if (!on)
        EditPassword->clear();
    LabelPass->setVisible(on);
    EditPassword->setVisible(on);
    ButtonSettei->setVisible(on);
    if (on)
        EditPassword->setFocus();
}

} // namespace picturedb
