#include "viewing/ExtArr.h"

#include "viewing/TImage.h"

namespace viewing {

TArImage::TArImage(QWidget* owner, const QString& name)
    : TArCntrl(owner, name, &TImage::staticMetaObject)
{
}

TImage* TArImage::Items(int i) const
{
    return qobject_cast<TImage*>(control(i));
}

QWidget* TArImage::CreateCntrl(QWidget* owner)
{
    return new TImage(owner);
}

} // namespace viewing
