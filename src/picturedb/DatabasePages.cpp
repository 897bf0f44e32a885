#include "picturedb/DatabasePages.h"

#include "base/Named.h"
#include "controls/DBGrid.h"
#include "controls/MsgBtn.h"
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
// No, 項目名, 属性, 幅, KEY: the whole list fits beside the page's other controls.
const QList<int> kItemColumnWidths{40, 160, 50, 50, 50};

} // namespace

DatabasePages::DatabasePages(store::DataMod& dm, QWidget* newPage, QWidget* settingsPage)
    : QObject(newPage)
{
    // The item list's grids: 項目連番 titled "No".
    dm.DtItem->setColumns(
        {QStringLiteral("項目連番"), QStringLiteral("項目名"), QStringLiteral("属性"), QStringLiteral("幅"),
         QStringLiteral("KEY")},
        {QStringLiteral("No")});

    // Items are edited in place; an edit waits for "更新(&U)" or the next row.
    dm.DtItem->setPostEachEdit(false);
    auto* newLayout = new QHBoxLayout(newPage);
    auto* newLeft = new QVBoxLayout();
    RadioHokan = new TRadioGroup("RadioHokan", QStringLiteral("画像の保管"), kStorageModes, newPage);
    RadioHokan->setItemIndex(0);
    RadioKoumoku = new TRadioGroup("RadioKoumoku", QStringLiteral("項目の設定"),
                                   {QStringLiteral("システム標準"), QStringLiteral("ユーザー指定")}, newPage);
    RadioKoumoku->setItemIndex(0);
    ButtonNew = named<QPushButton>("ButtonNew", QStringLiteral("DB新規(&N)"), newPage);
    Button11 = named<QPushButton>("Button11", QStringLiteral("ｸﾘｱ"), newPage);
    newLeft->addWidget(RadioHokan);
    newLeft->addWidget(RadioKoumoku);
    newLeft->addWidget(ButtonNew);
    newLeft->addWidget(Button11);
    newLeft->addStretch(1);
    newLayout->addLayout(newLeft);
    GroupKoumoku = named<QGroupBox>("GroupKoumoku", QStringLiteral("項目一覧 "), newPage);
    auto* itemsLayout = new QVBoxLayout(GroupKoumoku);
    DBGridShinki = new TDBGrid("DBGridShinki", GroupKoumoku);
    DBGridShinki->setDataSource(dm.DtItem);
    DBGridShinki->setColumnHidden(4, true);
    DBGridShinki->setEditingKeys(true);
    DBGridShinki->setColumnWidths(kItemColumnWidths);
    itemsLayout->addWidget(DBGridShinki);
    auto* itemButtons = new QHBoxLayout();
    ButtonKoushin = named<QPushButton>("ButtonKoushin", QStringLiteral("更新(&U)"), GroupKoumoku);
    ButtonDelete = named<QPushButton>("ButtonDelete", QStringLiteral("項目削除"), GroupKoumoku);
    ButtonTsuika = named<QPushButton>("ButtonTsuika", QStringLiteral("項目追加"), GroupKoumoku);
    ButtonCancelKoumoku = named<QPushButton>("ButtonCancelKoumoku", QStringLiteral("ｷｬﾝｾﾙ"), GroupKoumoku);
    ButtonDelete->setEnabled(false);
    ButtonTsuika->setEnabled(false);
    for (QPushButton* b : {ButtonKoushin, ButtonDelete, ButtonTsuika, ButtonCancelKoumoku})
        itemButtons->addWidget(b);
    itemsLayout->addLayout(itemButtons);
    newLayout->addWidget(GroupKoumoku, 1);
    // With the item group hidden the left column keeps its width.
    newLayout->addStretch(0);

    auto* settingsLayout = new QHBoxLayout(settingsPage);
    GroupKoumokuCopy =
        named<QGroupBox>("GroupKoumokuCopy", QStringLiteral("項目一覧 (項目名の変更のみ可能）"), settingsPage);
    auto* copyLayout = new QVBoxLayout(GroupKoumokuCopy);
    DtItemCopy = new store::DataSource(dm.TaItem, this);
    DtItemCopy->setObjectName(QStringLiteral("DtItemCopy"));
    DtItemCopy->setColumns(dm.DtItem->columns(), {QStringLiteral("No")});
    DtItemCopy->setEditableColumns({1});
    DtItemCopy->setPostEachEdit(false);
    DBGrid1 = new TDBGrid("DBGrid1", GroupKoumokuCopy);
    DBGrid1->setDataSource(DtItemCopy);
    DBGrid1->setColumnWidths(kItemColumnWidths);
    copyLayout->addWidget(DBGrid1);
    auto* copyButtons = new QHBoxLayout();
    Button16 = named<QPushButton>("Button16", QStringLiteral("更新(&U)"), GroupKoumokuCopy);
    ButtonCancelKmk = named<QPushButton>("ButtonCancelKmk", QStringLiteral("ｷｬﾝｾﾙ"), GroupKoumokuCopy);
    ButtonAdd = named<QPushButton>("ButtonAdd", QStringLiteral("項目追加"), GroupKoumokuCopy);
    ButtonAdd->setVisible(false);
    copyButtons->addWidget(Button16);
    copyButtons->addWidget(ButtonCancelKmk);
    copyButtons->addWidget(ButtonAdd);
    copyButtons->addStretch(1);
    copyLayout->addLayout(copyButtons);
    settingsLayout->addWidget(GroupKoumokuCopy, 1);

    auto* settingsRight = new QVBoxLayout();
    RadioHokanDisp = new TRadioGroup("RadioHokanDisp", QStringLiteral("画像の保管"), kStorageModes, settingsPage);
    RadioHokanDisp->setItemIndex(0);
    RadioHokanDisp->setEnabled(false);
    settingsRight->addWidget(RadioHokanDisp);
    GroupPassword = named<QGroupBox>("GroupPassword", QStringLiteral("パスワード設定"), settingsPage);
    // Wide enough for its box, so that showing the box moves nothing.
    GroupPassword->setMinimumWidth(210);
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
    MsgBitBtn4 = named<TMsgBitBtn>("MsgBitBtn4", QStringLiteral("DB削除"), settingsPage);
    MsgBitBtn4->setDisplayMsg(QStringLiteral("データベース削除 ＯＫ？"));
    MsgBitBtn4->setMsgDlgType(TMsgBitBtn::Confirmation);
    MsgBitBtn4->setVisibleButtons(TMsgBitBtn::OK | TMsgBitBtn::Cancel);
    settingsRight->addWidget(MsgBitBtn4);
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
