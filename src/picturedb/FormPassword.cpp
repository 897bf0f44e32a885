#include "picturedb/FormPassword.h"

#include "base/Named.h"
#include "picturedb/PasswordHash.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>

namespace picturedb {

TFormPassword::TFormPassword(QWidget* parent)
    : base::TForm("FormPassword", QStringLiteral("パスワード入力"), QStringLiteral("fmPassword"), QSize(260, 130), parent)
{
    auto* layout = new QGridLayout(this);
    Label1 = named<QLabel>("Label1", QStringLiteral("パスワード"), this);
    EditPassword = named<QLineEdit>("EditPassword", this);
    EditPassword->setEchoMode(QLineEdit::Password);
    EditPassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42"));
    EditPasswd = named<QLineEdit>("EditPasswd", this);
    EditPasswd->setVisible(false);
    BitBtn1 = named<QPushButton>("BitBtn1", QStringLiteral("閉じる(&C)"), this);
    Button1 = named<QPushButton>("Button1", QStringLiteral("ｷｬﾝｾﾙ"), this);
    BitBtn1->setAutoDefault(false);
    Button1->setAutoDefault(false);
    StatusBar1 = named<QStatusBar>("StatusBar1", this);
    StatusBar1->setSizeGripEnabled(false);
    layout->addWidget(Label1, 0, 0);
    layout->addWidget(EditPassword, 0, 1);
    auto* buttons = new QHBoxLayout();
    buttons->addStretch(1);
    buttons->addWidget(BitBtn1);
    buttons->addWidget(Button1);
    layout->addLayout(buttons, 1, 0, 1, 2);
    layout->addWidget(StatusBar1, 2, 0, 1, 2);
    connect(BitBtn1, &QPushButton::clicked, this, &TFormPassword::BitBtn1Click);
    connect(EditPassword, &QLineEdit::returnPressed, this, &TFormPassword::BitBtn1Click);
    connect(Button1, &QPushButton::clicked, this, &QDialog::reject);
    restoreValues();
}

void TFormPassword::expect(const QString& stored)
{
    EditPassword->clear();
    EditPasswd->setText(stored);
    StatusBar1->clearMessage();
    EditPassword->setFocus();
}

void TFormPassword::BitBtn1Click()
{
    if (passwordMatches(EditPasswd->text(), EditPassword->text())) {
        accept();
        return;
    }
    StatusBar1->showMessage(QStringLiteral("パスワード・エラー"));
}

} // namespace picturedb
