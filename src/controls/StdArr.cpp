#include "controls/StdArr.h"

#include "controls/RetEdit.h"

#include <QLabel>
#include <QPushButton>

TArLabel::TArLabel(QWidget* owner, const QString& name)
    : TArCntrl(owner, name, &QLabel::staticMetaObject)
{
}

QLabel* TArLabel::Items(int i) const
{
    return qobject_cast<QLabel*>(control(i));
}

QWidget* TArLabel::CreateCntrl(QWidget* owner)
{
    return new QLabel(owner);
}

TArEdit::TArEdit(QWidget* owner, const QString& name)
    : TArSub1(owner, name, &TRetEdit::staticMetaObject)
{
}

TRetEdit* TArEdit::Items(int i) const
{
    return qobject_cast<TRetEdit*>(control(i));
}

QWidget* TArEdit::CreateCntrl(QWidget* owner)
{
    return new TRetEdit(owner);
}

TArButton::TArButton(QWidget* owner, const QString& name)
    : TArWinCtrl(owner, name, &QPushButton::staticMetaObject)
{
}

QPushButton* TArButton::Items(int i) const
{
    return qobject_cast<QPushButton*>(control(i));
}

QWidget* TArButton::CreateCntrl(QWidget* owner)
{
    return new QPushButton(owner);
}
