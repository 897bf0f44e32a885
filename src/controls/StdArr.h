#pragma once

// Arrays of labels, one-line edits and push buttons.

#include "controls/ArrCtrl.h"

class QLabel;
class QPushButton;
class TRetEdit;

class TArLabel : public TArCntrl
{
    Q_OBJECT
public:
    TArLabel(QWidget* owner, const QString& name);
    // Element i as a label; nullptr out of range or for an accepted ancestor.
    QLabel* Items(int i) const;
    QWidget* CreateCntrl(QWidget* owner) override;
};

class TArEdit : public TArSub1
{
    Q_OBJECT
public:
    TArEdit(QWidget* owner, const QString& name);
    TRetEdit* Items(int i) const;
    QWidget* CreateCntrl(QWidget* owner) override;
};

class TArButton : public TArWinCtrl
{
    Q_OBJECT
public:
    TArButton(QWidget* owner, const QString& name);
    QPushButton* Items(int i) const;
    QWidget* CreateCntrl(QWidget* owner) override;
};
