#pragma once

// The array of picture controls.

#include "controls/ArrCtrl.h"

namespace viewing {

class TImage;

class TArImage : public TArCntrl
{
    Q_OBJECT
public:
    TArImage(QWidget* owner, const QString& name);
    // Element i as a picture; nullptr out of range or for an accepted ancestor.
    TImage* Items(int i) const;
    QWidget* CreateCntrl(QWidget* owner) override;
};

} // namespace viewing
